#include "core/RemoteState.h"

#include <gtest/gtest.h>

#include "core/StateKeys.h"

namespace corvane {
namespace {

using namespace StateKeys;

class RemoteStateTest : public ::testing::Test {
protected:
    RemoteState state;
};

TEST_F(RemoteStateTest, ChangesAreReportedOnlyWhenAValueReallyChanges) {
    const auto volume = bankChannel(0, ChannelField::volume);
    EXPECT_TRUE(state.apply(HostMessage::setNumber(volume, 1000)));
    EXPECT_EQ(state.generation(), 1u);
    EXPECT_FALSE(state.apply(HostMessage::setNumber(volume, 1000)));
    EXPECT_EQ(state.generation(), 1u);
    EXPECT_TRUE(state.apply(HostMessage::setNumber(volume, 1001)));
    EXPECT_EQ(state.generation(), 2u);

    const auto name = selectedTrack(ChannelField::name);
    EXPECT_TRUE(state.apply(HostMessage::setString(name, "Bass")));
    EXPECT_FALSE(state.apply(HostMessage::setString(name, "Bass")));
    EXPECT_FALSE(state.set(name, StateValue::string("Bass")));
    const auto color = selectedTrack(ChannelField::color);
    EXPECT_TRUE(state.apply(HostMessage::setColor(color, RGB{1, 2, 3})));
    EXPECT_FALSE(state.apply(HostMessage::setColor(color, RGB{1, 2, 3})));
    EXPECT_TRUE(state.set(color, StateValue::color(RGB{1, 2, 4})));
    EXPECT_EQ(state.generation(), 5u);
    EXPECT_EQ(state.color(color), (RGB{1, 2, 4}));
}

TEST_F(RemoteStateTest, AValueOfAnotherKindReplacesTheOld) {
    const auto key = Transport::playing;
    state.set(key, StateValue::number(1));
    EXPECT_TRUE(state.flag(key));
    EXPECT_TRUE(state.apply(HostMessage::setString(key, "1")));
    EXPECT_EQ(state.generation(), 2u);
    EXPECT_EQ(state.number(key), std::nullopt);
    EXPECT_FALSE(state.flag(key));
    EXPECT_EQ(state.string(key), "1");
}

TEST_F(RemoteStateTest, ClearObjectDropsOneObjectAtOnce) {
    for (std::uint8_t f = 0; f < 18; ++f) {
        state.set(bankChannel(0, f), StateValue::number(f));
        state.set(bankChannel(1, f), StateValue::number(f));
    }
    state.set(StateKey(127, 5), StateValue::number(1));
    const auto before = state.generation();
    EXPECT_TRUE(state.apply(HostMessage::clearObject(16)));
    EXPECT_EQ(state.generation(), before + 1);
    EXPECT_EQ(state.values().size(), 19u);
    EXPECT_EQ(state.number(bankChannel(0, 3)), std::nullopt);
    EXPECT_EQ(state.number(bankChannel(1, 3)), 3);

    EXPECT_FALSE(state.apply(HostMessage::clearObject(16)));
    EXPECT_FALSE(state.apply(HostMessage::clearObject(200)));
    EXPECT_EQ(state.generation(), before + 1);
    EXPECT_TRUE(state.apply(HostMessage::clearObject(127)));
    EXPECT_EQ(state.values().size(), 18u);
}

TEST_F(RemoteStateTest, RemoveAllAndLifeCycleMessages) {
    state.removeAll();
    EXPECT_EQ(state.generation(), 0u);
    for (const auto& m : {HostMessage::hello("1"), HostMessage::log(1, "x"), HostMessage::goodbye(),
                          HostMessage::heartbeat()}) {
        EXPECT_FALSE(state.apply(m));
    }
    EXPECT_EQ(state.generation(), 0u);
    state.set(Master::name, StateValue::string("Stereo Out"));
    state.removeAll();
    EXPECT_TRUE(state.values().empty());
    EXPECT_EQ(state.generation(), 2u);
}

TEST_F(RemoteStateTest, ReadersGiveNothingForAbsentKeysOrOtherKinds) {
    state.set(Master::volume, StateValue::number(8192));
    state.set(Master::name, StateValue::string("Out"));
    EXPECT_DOUBLE_EQ(*state.normalized(Master::volume), 8192.0 / 16383.0);
    EXPECT_GT(*state.normalized(Master::volume), 0.5);
    EXPECT_EQ(state.normalized(Master::name), std::nullopt);
    EXPECT_EQ(state.string(Master::volume), std::nullopt);
    EXPECT_EQ(state.color(Master::volume), std::nullopt);
    EXPECT_EQ(state.number(Master::volumeText), std::nullopt);
    EXPECT_FALSE(state.flag(Master::name));
    EXPECT_FALSE(state.flag(Master::volumeText));
    state.set(Master::volume, StateValue::number(-3));
    EXPECT_TRUE(state.flag(Master::volume));
}

TEST_F(RemoteStateTest, CurrentPageFallsBackToTrack) {
    EXPECT_EQ(currentPage(state), Page::track);
    state.set(Session::page, StateValue::number(3));
    EXPECT_EQ(currentPage(state), Page::tracks);
    state.set(Session::page, StateValue::number(2));
    EXPECT_EQ(currentPage(state), Page::device);
    for (const auto& v : {StateValue::number(7), StateValue::number(-1), StateValue::string("2")}) {
        state.set(Session::page, v);
        EXPECT_EQ(currentPage(state), Page::track);
    }
    EXPECT_EQ(pageFromRawValue(1), Page::mix);
    EXPECT_EQ(pageFromRawValue(4), std::nullopt);
}

TEST(StateKeys, ChannelAndParameterKeys) {
    EXPECT_EQ(bankChannel(7, 12), StateKey(23, 12));
    EXPECT_EQ(parameter(0, 3), StateKey(32, 3));
    EXPECT_EQ(selectedTrack(ChannelField::instrumentOpen), StateKey(2, 17));
    EXPECT_EQ(Transport::cycleEndText, StateKey(1, 8));
}

TEST(StateKeysDeathTest, IndexOutsideTheBankStopsTheProgram) {
    EXPECT_DEATH(bankChannel(8, 0), "bankChannel index must be 0-7 \\(got 8\\)");
    EXPECT_DEATH(parameter(-1, 0), "parameter index must be 0-7 \\(got -1\\)");
}

}  // namespace
}  // namespace corvane
