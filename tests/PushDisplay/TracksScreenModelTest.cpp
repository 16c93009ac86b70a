#include "PushDisplay/TracksScreenModel.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/RemoteState.h"
#include "core/StateKeys.h"

namespace corvane {
namespace {

using namespace StateKeys;
using Unit = TimelinePosition::Unit;
using Range = TracksScreenModel::Range;

class TracksScreenModelTest : public ::testing::Test {
protected:
    void text(StateKey key, std::string value) { state.set(key, StateValue::string(std::move(value))); }
    void number(StateKey key, std::int64_t value) { state.set(key, StateValue::number(value)); }

    TracksScreenModel at(std::string time) {
        text(Transport::timeText, std::move(time));
        return TracksScreenModel(state);
    }

    RemoteState state;
};

TEST_F(TracksScreenModelTest, AnEmptyStateGivesTheDefaults) {
    const TracksScreenModel model(state);
    EXPECT_EQ(model, TracksScreenModel());
    ASSERT_EQ(model.rows.size(), 8u);
    for (const auto& row : model.rows) EXPECT_EQ(row, TracksScreenModel::Row());
    EXPECT_EQ(model.positionText, "");
    EXPECT_FALSE(model.unit);
    EXPECT_EQ(model.windowStart, 0.0);
    EXPECT_EQ(model.windowEnd, 1.0);
    EXPECT_FALSE(model.playhead);
    EXPECT_FALSE(model.cycleRange);
}

TEST_F(TracksScreenModelTest, HeaderTextsAndFlagsComeFromTheTransport) {
    text(Transport::tempoText, "120.00");
    text(Session::bankText, "1–8 of 14");
    number(Transport::playing, 1);
    number(Transport::recording, 0);
    number(Transport::cycle, 5);
    const auto model = at("  5.  1. 1.   0 ");
    EXPECT_EQ(model.positionText, "5. 1. 1. 0");
    EXPECT_EQ(model.tempoText, "120.00");
    EXPECT_EQ(model.bankText, "1–8 of 14");
    EXPECT_TRUE(model.playing);
    EXPECT_FALSE(model.recording);
    EXPECT_TRUE(model.cycle);
    EXPECT_EQ(model.playhead, 16.0);  // parsed from the raw text

    // Only blanks are normalised; a value of another kind reads as absent.
    EXPECT_EQ(at("a\t\tb  c").positionText, "a\t\tb c");
    number(Transport::tempoText, 120);
    EXPECT_EQ(TracksScreenModel(state).tempoText, "");
}

TEST_F(TracksScreenModelTest, TheWindowJumpsOneStepAtATimeWithThePlayheadAQuarterIn) {
    struct Case {
        const char* time;
        Unit unit;
        double start, end, playhead;
    } cases[] = {
        {"5.1.1.0", Unit::beats, 0, 64, 16},
        {"6.1.1.0", Unit::beats, 4, 68, 20},
        {"5.4.4.72", Unit::beats, 0, 64, 19.9},
        {"1.4.1.0", Unit::beats, 0, 64, 3},
        {"11.3.1.0", Unit::beats, 24, 88, 42},
        {"0:01:40", Unit::seconds, 92, 124, 100},
        {"0:01:40.999", Unit::seconds, 92, 124, 100.999},
        {"0:00:05", Unit::seconds, 0, 32, 5},
        {"-0:00:05", Unit::seconds, 0, 32, -5},
        {"-3.1.1.0", Unit::beats, 0, 64, -8},
    };
    for (const auto& c : cases) {
        const auto model = at(c.time);
        SCOPED_TRACE(c.time);
        EXPECT_EQ(model.unit, c.unit);
        EXPECT_EQ(model.windowStart, c.start);
        EXPECT_EQ(model.windowEnd, c.end);
        EXPECT_EQ(model.windowEnd - model.windowStart, TracksScreenModel::span(c.unit));
        ASSERT_TRUE(model.playhead);
        EXPECT_NEAR(*model.playhead, c.playhead, 1e-12);
    }
    EXPECT_EQ(TracksScreenModel::span(Unit::beats), 64.0);
    EXPECT_EQ(TracksScreenModel::span(Unit::seconds), 32.0);
}

TEST_F(TracksScreenModelTest, AHugePositionStillGetsAWholeWindowOfDistinctMarks) {
    const struct {
        const char* time;
        Unit unit;
        double step;
    } cases[] = {
        {"1e17:00", Unit::seconds, 1},
        {"0:1e300", Unit::seconds, 1},
        {"9223372036854775807.1.1.0", Unit::beats, 4},
        {"4503599627370496.1.1.0", Unit::beats, 4},
    };
    for (const auto& c : cases) {
        const auto model = at(c.time);
        SCOPED_TRACE(c.time);
        ASSERT_EQ(model.unit, c.unit);
        EXPECT_EQ(model.playhead, TimelinePosition::parse(c.time)->value);
        EXPECT_EQ(model.windowEnd - model.windowStart, TracksScreenModel::span(c.unit));
        EXPECT_GE(model.windowStart, 0.0);
        EXPECT_EQ(std::fmod(model.windowStart, c.step), 0.0);
        // Every step across the window lands on a time of its own, in order.
        for (double t = model.windowStart; t < model.windowEnd; t += c.step) ASSERT_LT(t, t + c.step);
    }
}

TEST_F(TracksScreenModelTest, AnUnreadablePositionLeavesNoTimelineAndReadsNoCycle) {
    text(Transport::cycleStartText, "1.1.1.0");
    text(Transport::cycleEndText, "5.1.1.0");
    const auto model = at("441000 samples");
    EXPECT_EQ(model.positionText, "441000 samples");
    EXPECT_FALSE(model.unit);
    EXPECT_FALSE(model.playhead);
    EXPECT_FALSE(model.cycleRange);
    EXPECT_EQ(model.windowStart, 0.0);
    EXPECT_EQ(model.windowEnd, 1.0);
}

TEST_F(TracksScreenModelTest, ACycleRangeNeedsBothEndsAscendingInThePositionsUnit) {
    text(Transport::cycleStartText, "3.1.1.0");
    text(Transport::cycleEndText, "7. 1. 1. 0");
    EXPECT_EQ(at("5.1.1.0").cycleRange, (Range{8, 24}));  // kept while cycle is off

    const auto range = [&](const char* start, const char* end) {
        text(Transport::cycleStartText, start);
        text(Transport::cycleEndText, end);
        return at("5.1.1.0").cycleRange;
    };
    EXPECT_FALSE(range("3.1.1.0", "3.1.1.0"));
    EXPECT_FALSE(range("7.1.1.0", "3.1.1.0"));
    EXPECT_FALSE(range("0:00:01", "0:00:09"));
    EXPECT_FALSE(range("3.1.1.0", "0:00:09"));
    EXPECT_FALSE(range("oops", "7.1.1.0"));
    EXPECT_FALSE(range("3.1.1.0", "oops"));
    EXPECT_EQ(range("-2.1.1.0", "2.1.1.0"), (Range{-4, 4}));

    state.clearObject(Object::transport);
    text(Transport::cycleEndText, "7.1.1.0");
    EXPECT_FALSE(at("5.1.1.0").cycleRange);
}

TEST_F(TracksScreenModelTest, RowsComeFromTheEightBankChannels) {
    for (int i = 0; i < 8; ++i) {
        number(bankChannel(i, ChannelField::exists), i != 5);
        text(bankChannel(i, ChannelField::name), "Track " + std::to_string(i + 1));
        number(bankChannel(i, ChannelField::meter), i * 2340);
    }
    state.set(bankChannel(0, ChannelField::color), StateValue::color(RGB{251, 192, 45}));
    number(bankChannel(1, ChannelField::color), 7);
    number(bankChannel(2, ChannelField::mute), 1);
    number(bankChannel(3, ChannelField::solo), 1);
    number(bankChannel(4, ChannelField::recordArm), 1);
    number(bankChannel(6, ChannelField::selected), 1);
    number(bankChannel(7, ChannelField::meter), 16383);
    number(selectedTrack(ChannelField::mute), 1);  // not a bank channel

    const TracksScreenModel model(state);
    ASSERT_EQ(model.rows.size(), 8u);
    EXPECT_EQ(model.rows[0].color, DisplayColor(251, 192, 45));
    EXPECT_FALSE(model.rows[1].color);
    EXPECT_EQ(model.rows[0].meter, 0.0);
    EXPECT_EQ(model.rows[3].meter, 7020 / 16383.0);
    EXPECT_EQ(model.rows[7].meter, 1.0);
    EXPECT_FALSE(model.rows[5].exists);
    EXPECT_EQ(model.rows[5].name, "Track 6");
    for (int i = 0; i < 8; ++i) {
        const auto& row = model.rows[static_cast<std::size_t>(i)];
        SCOPED_TRACE(i);
        EXPECT_EQ(row.name, "Track " + std::to_string(i + 1));
        EXPECT_EQ(row.mute, i == 2);
        EXPECT_EQ(row.solo, i == 3);
        EXPECT_EQ(row.recordArm, i == 4);
        EXPECT_EQ(row.selected, i == 6);
    }
}

}  // namespace
}  // namespace corvane
