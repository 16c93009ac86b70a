#include "core/SetupState.h"

#include <gtest/gtest.h>

#include <map>

#include "core/PushPreferences.h"
#include "core/PushPreferencesStore.h"
#include "core/PushSysEx.h"

using namespace corvane;

namespace {

SettingReader readerOf(const std::map<std::string, SettingValue>& stored) {
    return [stored](const std::string& key) -> std::optional<SettingValue> {
        auto it = stored.find(key);
        if (it == stored.end()) return std::nullopt;
        return it->second;
    };
}

}  // namespace

TEST(SetupStateSteps, PercentRoundsHalfAwayFromZero) {
    EXPECT_EQ(SetupState::percent(128, 255), 50);
    EXPECT_EQ(SetupState::percent(255, 255), 100);
    EXPECT_EQ(SetupState::percent(0, 127), 0);
    EXPECT_EQ(SetupState::percent(1, 200), 1);  // 0.5
}

TEST(SetupStateSteps, SteppedStaysBetweenTenAndHundredPercent) {
    EXPECT_EQ(SetupState::stepped(std::nullopt, 255, -5), 242);
    EXPECT_EQ(SetupState::stepped(255, 255, 3), 255);
    EXPECT_EQ(SetupState::stepped(26, 255, -1), 26);
    EXPECT_EQ(SetupState::stepped(0, 255, -20), 26);
    EXPECT_EQ(SetupState::stepped(127, 127, -10), 114);
    EXPECT_EQ(SetupState::stepped(64, 127, 1), 65);  // 50 % + 1
}

TEST(SetupStateDeath, PercentOfNothingIsAProgrammingError) {
    EXPECT_DEATH(SetupState::percent(10, 0), "positive maximum");
}

TEST(PushPreferencesTest, MessagesAndValuesCarryOnlyWhatIsSet) {
    PushPreferences preferences;
    EXPECT_TRUE(preferences.messages().empty());
    EXPECT_TRUE(PushPreferencesStore::values(preferences).empty());

    preferences.preamps[1] = Preamp::high;
    preferences.ledBrightness = 64;
    EXPECT_EQ(preferences.messages(), (std::vector<Bytes>{PushSysEx::preamp(1, Preamp::high),
                                                          PushSysEx::ledBrightness(64)}));
    EXPECT_EQ(PushPreferencesStore::values(preferences),
              (SettingPairs{{"push.preamp2", std::int64_t{2}}, {"push.ledBrightness", std::int64_t{64}}}));
}

TEST(PushPreferencesTest, MessagesFollowTheApplyOrder) {
    PushPreferences preferences{.preamps = {Preamp::line, Preamp::instrument},
                                .aftertouch = AftertouchMode::poly,
                                .displayBrightness = 200,
                                .ledBrightness = 100};
    EXPECT_EQ(preferences.messages(),
              (std::vector<Bytes>{PushSysEx::preamp(0, Preamp::line), PushSysEx::preamp(1, Preamp::instrument),
                                  PushSysEx::aftertouchMode(AftertouchMode::poly),
                                  PushSysEx::displayBrightness(200), PushSysEx::ledBrightness(100)}));
}

TEST(PushPreferencesStoreTest, ValuesRoundTripThroughAReader) {
    const PushPreferences preferences{.preamps = {Preamp::instrument, std::nullopt},
                                      .aftertouch = AftertouchMode::mpe,
                                      .displayBrightness = 0,
                                      .ledBrightness = 127};
    std::map<std::string, SettingValue> stored;
    for (const auto& [key, value] : PushPreferencesStore::values(preferences)) stored[key] = value;
    EXPECT_EQ(PushPreferencesStore::load(readerOf(stored)), preferences);
    EXPECT_EQ(PushPreferencesStore::load(readerOf({})), PushPreferences{});
}

TEST(PushPreferencesStoreTest, OutOfRangeAndWrongTypesLoadSafely) {
    const auto loaded = PushPreferencesStore::load(readerOf({
        {"push.preamp1", std::int64_t{3}},
        {"push.preamp2", 1.9},  // truncated to 1
        {"push.aftertouch", std::int64_t{5}},
        {"push.displayBrightness", std::int64_t{-40}},
        {"push.ledBrightness", std::int64_t{300}},
    }));
    EXPECT_EQ(loaded.preamps[0], std::nullopt);
    EXPECT_EQ(loaded.preamps[1], Preamp::instrument);
    EXPECT_EQ(loaded.aftertouch, std::nullopt);
    EXPECT_EQ(loaded.displayBrightness, 0);
    EXPECT_EQ(loaded.ledBrightness, 127);

    const auto odd = PushPreferencesStore::load(readerOf({
        {"push.aftertouch", std::int64_t{-1}},
        {"push.preamp1", true},  // reads as 1
        {"push.ledBrightness", std::string("64")},
        {"push.displayBrightness", 1e300},
    }));
    EXPECT_EQ(odd.aftertouch, std::nullopt);
    EXPECT_EQ(odd.preamps[0], Preamp::instrument);
    EXPECT_EQ(odd.ledBrightness, std::nullopt);
    EXPECT_EQ(odd.displayBrightness, 255);
}
