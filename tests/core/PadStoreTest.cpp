#include "core/PadStore.h"

#include <gtest/gtest.h>

#include <map>

#include "core/PadEngine.h"
#include "core/Tempo.h"

using namespace corvane;

namespace {

using Stored = std::map<std::string, SettingValue>;

PadSettings loadFrom(const Stored& stored) {
    return PadStore::load([&stored](const std::string& key) -> std::optional<SettingValue> {
        auto it = stored.find(key);
        if (it == stored.end()) return std::nullopt;
        return it->second;
    });
}

Stored storedOf(const SettingPairs& pairs) {
    Stored stored;
    for (const auto& [key, value] : pairs) stored[key] = value;
    return stored;
}

}  // namespace

TEST(PadStoreLoad, EmptyStoreGivesTheDefaults) {
    EXPECT_EQ(loadFrom({}), PadSettings{});
}

TEST(PadStoreLoad, ValuesRoundTrip) {
    PadSettings s;
    s.root = 11;
    s.scaleIndex = 34;
    s.inKey = false;
    s.layout = NoteLayout::thirdsRight;
    s.fixed = true;
    s.drums = true;
    s.octave = -3;
    const SettingPairs pairs = PadStore::values(s);
    ASSERT_EQ(pairs.size(), 7u);
    EXPECT_EQ(pairs[0], (std::pair<std::string, SettingValue>{"pads.root", std::int64_t{11}}));
    EXPECT_EQ(pairs[1], (std::pair<std::string, SettingValue>{"pads.scaleName", std::string("Messiaen 7")}));
    EXPECT_EQ(pairs[2], (std::pair<std::string, SettingValue>{"pads.inKey", false}));
    EXPECT_EQ(pairs[3], (std::pair<std::string, SettingValue>{"pads.drums", true}));
    EXPECT_EQ(pairs[4], (std::pair<std::string, SettingValue>{"pads.noteLayout", std::int64_t{3}}));
    EXPECT_EQ(pairs[5], (std::pair<std::string, SettingValue>{"pads.fixed", true}));
    EXPECT_EQ(pairs[6], (std::pair<std::string, SettingValue>{"pads.octave", std::int64_t{-3}}));
    EXPECT_EQ(loadFrom(storedOf(pairs)), s);

    // Values alone never write an older key, so they win over whatever earlier versions left.
    Stored withOld = storedOf(PadStore::values(PadSettings{}));
    withOld["pads.layout"] = std::int64_t{2};
    withOld["pads.scale"] = std::int64_t{13};
    EXPECT_EQ(loadFrom(withOld), PadSettings{});
}

TEST(PadStoreLoad, OlderCombinedModeIsReadOnlyWithoutInKey) {
    EXPECT_TRUE(loadFrom({{"pads.layout", std::int64_t{2}}}).drums);
    EXPECT_TRUE(loadFrom({{"pads.layout", std::int64_t{2}}}).inKey);
    EXPECT_FALSE(loadFrom({{"pads.layout", std::int64_t{1}}}).inKey);
    EXPECT_EQ(loadFrom({{"pads.layout", std::int64_t{7}}}), PadSettings{});

    const PadSettings current = loadFrom({{"pads.layout", std::int64_t{2}}, {"pads.inKey", true}});
    EXPECT_FALSE(current.drums);
    // Drums are read only together with inKey.
    EXPECT_FALSE(loadFrom({{"pads.drums", true}}).drums);
}

TEST(PadStoreLoad, OlderScaleIndexIsMigrated) {
    const PadSettings chromaticOld = loadFrom({{"pads.scale", std::int64_t{13}}});
    EXPECT_EQ(chromaticOld.scaleIndex, 0);
    EXPECT_FALSE(chromaticOld.inKey);

    EXPECT_EQ(loadFrom({{"pads.scale", std::int64_t{10}}}).scaleIndex, 11);  // Minor Pentatonic
    EXPECT_EQ(loadFrom({{"pads.scale", std::int64_t{14}}}).scaleIndex, 0);
    EXPECT_EQ(loadFrom({{"pads.scale", std::int64_t{-1}}}).scaleIndex, 0);

    EXPECT_EQ(loadFrom({{"pads.scaleName", std::string("Dorian")}, {"pads.scale", std::int64_t{13}}}),
              loadFrom({{"pads.scaleName", std::string("Dorian")}}));
    EXPECT_EQ(loadFrom({{"pads.scaleName", std::string("Dorian")}}).scaleIndex, 2);
    // A name that is no longer in the list falls back to the older index.
    EXPECT_EQ(loadFrom({{"pads.scaleName", std::string("Gone")}, {"pads.scale", std::int64_t{2}}}).scaleIndex, 2);
}

TEST(PadStoreLoad, OutOfRangeAndWrongTypesLoadSafely) {
    EXPECT_EQ(loadFrom({{"pads.root", std::int64_t{14}}}).root, 11);
    EXPECT_EQ(loadFrom({{"pads.root", std::int64_t{-2}}}).root, 0);
    EXPECT_EQ(loadFrom({{"pads.octave", std::int64_t{-7}}}).octave, -3);
    EXPECT_EQ(loadFrom({{"pads.octave", 1e300}}).octave, 4);
    EXPECT_EQ(loadFrom({{"pads.octave", 2.9}}).octave, 2);
    EXPECT_EQ(loadFrom({{"pads.noteLayout", std::int64_t{9}}}).layout, NoteLayout::fourthsUp);
    EXPECT_EQ(loadFrom({{"pads.noteLayout", std::int64_t{5}}}).layout, NoteLayout::sequentialRight);

    const PadSettings odd = loadFrom({
        {"pads.root", std::string("3")},
        {"pads.scaleName", std::int64_t{2}},
        {"pads.inKey", std::int64_t{0}},
        {"pads.drums", 1.0},
        {"pads.fixed", std::string("yes")},
    });
    EXPECT_EQ(odd.root, 0);
    EXPECT_EQ(odd.scaleIndex, 0);
    EXPECT_FALSE(odd.inKey);
    EXPECT_TRUE(odd.drums);
    EXPECT_FALSE(odd.fixed);
}

TEST(PadStoreDeath, ValuesNeedAValidScale) {
    PadSettings s;
    s.scaleIndex = -1;
    EXPECT_DEATH(PadStore::values(s), "scale index");
}

TEST(TempoText, ReadsTheLeadingNumber) {
    EXPECT_EQ(Tempo::bpm("120.00"), 120.0);
    EXPECT_EQ(Tempo::bpm("120 BPM"), 120.0);
    EXPECT_EQ(Tempo::bpm("96.5bpm"), 96.5);
    EXPECT_EQ(Tempo::bpm("20"), 20.0);
    EXPECT_EQ(Tempo::bpm("999"), 999.0);
}

TEST(TempoText, AbsentOutsideTwentyToNineHundredNinetyNineOrUnreadable) {
    EXPECT_EQ(Tempo::bpm(std::nullopt), std::nullopt);
    EXPECT_EQ(Tempo::bpm(""), std::nullopt);
    EXPECT_EQ(Tempo::bpm("."), std::nullopt);
    EXPECT_EQ(Tempo::bpm("12.5"), std::nullopt);
    EXPECT_EQ(Tempo::bpm("1000"), std::nullopt);
    EXPECT_EQ(Tempo::bpm("1.2.3"), std::nullopt);
    EXPECT_EQ(Tempo::bpm("120.0.0"), std::nullopt);
    EXPECT_EQ(Tempo::bpm(" 120"), std::nullopt);
    EXPECT_EQ(Tempo::bpm("-120"), std::nullopt);
    EXPECT_EQ(Tempo::bpm("1e2"), std::nullopt);
    EXPECT_EQ(Tempo::bpm(std::string(400, '9')), std::nullopt);
}
