#include "core/PadEngine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/RepeatRate.h"

using namespace corvane;

namespace {

int noteOf(int row, int column, const PadSettings& settings) {
    const auto n = PadEngine::note(row, column, settings);
    return n ? int{*n} : -1;
}

PadSettings chromatic(std::int64_t root, bool fixed = false) {
    PadSettings s;
    s.inKey = false;
    s.root = root;
    s.fixed = fixed;
    return s;
}

}  // namespace

TEST(PadEngineNotes, DefaultGridStepsThroughMajorInFourths) {
    const PadSettings s;
    EXPECT_EQ(noteOf(0, 0, s), 36);
    EXPECT_EQ(noteOf(0, 1, s), 38);
    EXPECT_EQ(noteOf(1, 0, s), 41);
    EXPECT_EQ(noteOf(0, 7, s), 48);  // degree 0 of the next octave
    EXPECT_EQ(noteOf(7, 7, s), 36 + 12 * 4 + 0);  // position 28 = four octaves up
}

TEST(PadEngineNotes, ChromaticFollowsTheRootUnlessFixed) {
    for (int row = 0; row < 8; ++row) {
        for (int column = 0; column < 8; ++column) {
            EXPECT_EQ(noteOf(row, column, chromatic(2)), 38 + column + 5 * row);
            EXPECT_EQ(noteOf(row, column, chromatic(2, true)), 36 + column + 5 * row);
        }
    }
}

TEST(PadEngineNotes, FixedInKeyStartsOnTheLowestScaleToneAboveC) {
    PadSettings s;
    s.root = 2;  // D major: C♯ D E F♯ G A B
    s.fixed = true;
    const int expected[]{37, 38, 40, 42, 43, 45, 47, 49};
    for (int column = 0; column < 8; ++column) EXPECT_EQ(noteOf(0, column, s), expected[column]);
    s.fixed = false;
    EXPECT_EQ(noteOf(0, 0, s), 38);
    EXPECT_EQ(noteOf(0, 1, s), 40);
}

TEST(PadEngineNotes, RotatedLayoutsSwapRowsAndColumns) {
    PadSettings s;
    s.layout = NoteLayout::fourthsRight;
    EXPECT_EQ(noteOf(1, 0, s), 38);
    EXPECT_EQ(noteOf(0, 1, s), 41);
    s.layout = NoteLayout::thirdsUp;
    EXPECT_EQ(noteOf(1, 0, s), 40);
    s.inKey = false;
    s.layout = NoteLayout::thirdsRight;
    EXPECT_EQ(noteOf(0, 1, s), 40);
    EXPECT_EQ(noteOf(1, 0, s), 37);
}

TEST(PadEngineNotes, SequentialLayoutsStepEightInKeyAndChromatic) {
    PadSettings s;
    s.layout = NoteLayout::sequentialUp;
    EXPECT_EQ(noteOf(1, 0, s), 50);  // position 8: one octave and one degree up
    s.layout = NoteLayout::sequentialRight;
    EXPECT_EQ(noteOf(0, 1, s), 50);
    s.inKey = false;
    EXPECT_EQ(noteOf(0, 1, s), 44);
    s.layout = NoteLayout::sequentialUp;
    EXPECT_EQ(noteOf(7, 7, s), 36 + 63);
}

TEST(PadEngineNotes, DrumBlocksRiseByFourPerRow) {
    PadSettings s;
    s.drums = true;
    EXPECT_EQ(noteOf(0, 0, s), 36);
    EXPECT_EQ(noteOf(1, 0, s), 40);
    EXPECT_EQ(noteOf(3, 3, s), 51);
    EXPECT_EQ(noteOf(0, 4, s), 52);
    EXPECT_EQ(noteOf(4, 0, s), 68);
    EXPECT_EQ(noteOf(7, 7, s), 99);
    s.octave = 1;  // a drum octave is 16 notes
    EXPECT_EQ(noteOf(0, 0, s), 52);
}

TEST(PadEngineNotes, NotesOutsideTheMIDIRangeAndPadsOffTheGridAreAbsent) {
    PadSettings s;
    s.drums = true;
    s.octave = PadSettingsLimits::minOctave;  // base -12
    EXPECT_EQ(noteOf(2, 3, s), -1);
    EXPECT_EQ(noteOf(3, 0, s), 0);
    s.octave = PadSettingsLimits::maxOctave;  // base 100
    EXPECT_EQ(noteOf(1, 3, s), 107);
    EXPECT_EQ(noteOf(7, 7, s), -1);

    PadSettings high = chromatic(11);
    high.octave = PadSettingsLimits::maxOctave;
    EXPECT_EQ(noteOf(0, 0, high), 95);
    EXPECT_EQ(noteOf(7, 0, high), -1);  // 130

    EXPECT_EQ(noteOf(-1, 0, PadSettings{}), -1);
    EXPECT_EQ(noteOf(0, 8, PadSettings{}), -1);
}

TEST(PadEngineRange, CoversThePlayableNotes) {
    EXPECT_EQ(PadEngine::range(PadSettings{}), (PadEngine::NoteRange{36, 84}));
    EXPECT_EQ(PadEngine::range(chromatic(0)), (PadEngine::NoteRange{36, 78}));

    PadSettings drums;
    drums.drums = true;
    drums.octave = -3;
    EXPECT_EQ(PadEngine::range(drums), (PadEngine::NoteRange{0, 51}));
    drums.octave = 4;
    EXPECT_EQ(PadEngine::range(drums), (PadEngine::NoteRange{100, 127}));

    PadSettings low;
    low.octave = -3;
    EXPECT_EQ(PadEngine::range(low), (PadEngine::NoteRange{0, 48}));
    PadSettings top = chromatic(11);
    top.octave = 4;
    EXPECT_EQ(PadEngine::range(top), (PadEngine::NoteRange{95, 127}));
}

TEST(PadEngineRange, AbsentWhenNoPadPlays) {
    // Octave 12 lies far outside what callers allow, but nothing then sounds at all.
    PadSettings s;
    s.octave = 12;
    EXPECT_EQ(PadEngine::range(s), std::nullopt);
    s.drums = true;
    EXPECT_EQ(PadEngine::range(s), std::nullopt);
}

TEST(PadEngineColors, ScaleGridShowsRootAndScaleTones) {
    const PadColors colors = PadColors::standard;
    const PadSettings s;
    EXPECT_EQ(PadEngine::color(0, 0, s, colors), 125);
    EXPECT_EQ(PadEngine::color(0, 1, s, colors), 122);
    EXPECT_EQ(PadEngine::color(0, 7, s, colors), 125);

    // Chromatic: out-of-scale pads are dark.
    const PadSettings c = chromatic(0);
    EXPECT_EQ(PadEngine::color(0, 0, c, colors), 125);
    EXPECT_EQ(PadEngine::color(0, 1, c, colors), 0);
    EXPECT_EQ(PadEngine::color(0, 2, c, colors), 122);

    // Fixed chromatic in D: the grid starts on C, which D major lacks.
    const PadSettings d = chromatic(2, true);
    EXPECT_EQ(PadEngine::color(0, 0, d, colors), 0);
    EXPECT_EQ(PadEngine::color(0, 1, d, colors), 122);  // C♯
    EXPECT_EQ(PadEngine::color(0, 2, d, colors), 125);  // D
}

TEST(PadEngineColors, DrumBlocksAreACheckerboardAndSilentPadsAreOff) {
    PadSettings s;
    s.drums = true;
    const PadColors colors{.root = 94, .alternate = 95, .scale = 122, .pressed = 126};
    EXPECT_EQ(PadEngine::color(0, 0, s, colors), colors.root);
    EXPECT_EQ(PadEngine::color(0, 4, s, colors), colors.alternate);
    EXPECT_EQ(PadEngine::color(4, 0, s, colors), colors.alternate);
    EXPECT_EQ(PadEngine::color(7, 7, s, colors), colors.root);
    s.octave = -3;
    EXPECT_EQ(PadEngine::color(0, 0, s, colors), 0);

    PadSettings top = chromatic(11);
    top.octave = 4;
    EXPECT_EQ(PadEngine::color(7, 0, top, colors), 0);
}

TEST(PadEngineScales, TableAndLookups) {
    const auto& scales = PadEngine::scales();
    ASSERT_EQ(scales.size(), 35u);
    std::set<std::string> names;
    for (const Scale& scale : scales) {
        names.insert(scale.name);
        ASSERT_FALSE(scale.intervals.empty());
        EXPECT_EQ(scale.intervals.front(), 0) << scale.name;
        EXPECT_TRUE(std::is_sorted(scale.intervals.begin(), scale.intervals.end())) << scale.name;
        EXPECT_LT(scale.intervals.back(), 12) << scale.name;
    }
    EXPECT_EQ(names.size(), 35u);
    EXPECT_EQ(scales[34].name, "Messiaen 7");
    EXPECT_EQ(PadEngine::scaleIndex("Dorian"), 2);
    EXPECT_EQ(PadEngine::scaleIndex("Minor Pentatonic"), 11);
    EXPECT_EQ(PadEngine::scaleIndex("dorian"), std::nullopt);
    EXPECT_EQ(PadEngine::scaleIndex("Chromatic"), std::nullopt);
    for (auto legacy : PadEngine::legacyScaleNames) {
        if (legacy == "Chromatic") continue;
        EXPECT_TRUE(PadEngine::scaleIndex(legacy)) << legacy;
    }
}

TEST(PadSettingsText, NoteNamesAndSummary) {
    EXPECT_EQ(PadSettings::noteName(60), "C3");
    EXPECT_EQ(PadSettings::noteName(36), "C1");
    EXPECT_EQ(PadSettings::noteName(1), "C♯-2");
    EXPECT_EQ(PadSettings::noteName(0), "C-2");
    EXPECT_EQ(PadSettings::noteName(127), "G8");

    PadSettings s;
    EXPECT_EQ(s.summary(), "C Major · In Key 4ths ↑");
    s.root = 10;
    s.scaleIndex = 2;
    s.inKey = false;
    s.layout = NoteLayout::sequentialRight;
    s.fixed = true;
    EXPECT_EQ(s.summary(), "B♭ Dorian · Chromatic Sequent → · Fixed");
    s.drums = true;
    EXPECT_EQ(s.summary(), "Drums");
}

TEST(PadSettingsDeath, OutOfRangeArgumentsStopTheProgram) {
    EXPECT_DEATH(PadSettings::noteName(128), "outside 0...127");
    EXPECT_DEATH(PadSettings::noteName(-1), "outside 0...127");
    PadSettings badRoot;
    badRoot.root = 12;
    EXPECT_DEATH((void)badRoot.rootName(), "root outside");
    EXPECT_DEATH((void)PadEngine::note(0, 0, badRoot), "root outside");
    PadSettings badScale;
    badScale.scaleIndex = 35;
    EXPECT_DEATH((void)badScale.scale(), "scale index");
    EXPECT_DEATH((void)PadEngine::note(0, 0, badScale), "scale index");
}

TEST(PadModelEnums, LayoutsAndRepeatRates) {
    EXPECT_EQ(next(NoteLayout::sequentialRight), NoteLayout::fourthsUp);

    EXPECT_EQ(repeatRateFromSceneButton(8), std::nullopt);
    EXPECT_EQ(repeatRateFromSceneButton(-1), std::nullopt);
    EXPECT_EQ(repeatRateFromSceneButton(3), RepeatRate::sixteenth);
    EXPECT_EQ(repeatRateFromSceneButton(0), RepeatRate::thirtySecondTriplet);
    for (RepeatRate rate : allRepeatRates) EXPECT_EQ(repeatRateFromSceneButton(sceneButton(rate)), rate);
    EXPECT_DOUBLE_EQ(beats(RepeatRate::quarterTriplet), 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(beats(RepeatRate::thirtySecondTriplet), 1.0 / 12.0);
}
