#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/BridgeStatus.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

BridgeStatus allConnected() {
    BridgeStatus status;
    status.cubaseConnected = true;
    status.pushConnected = true;
    status.displayAttached = true;
    return status;
}

TEST(BridgeStatusFresh, ShowsEverythingWaitingUnderTheProblemLight) {
    BridgeStatus status;
    EXPECT_EQ(status.light(), BridgeStatus::Light::problem);
    EXPECT_EQ(status.menuLines(), (Lines{"Cubase: waiting", "Push MIDI: waiting", "Push display: waiting"}));
    EXPECT_EQ(status.tooltip(), "Corvane: waiting for Cubase \u00B7 Push MIDI waiting");
}

TEST(BridgeStatusLight, FollowsPushThenProblemThenCubase) {
    BridgeStatus status;
    status.pushConnected = true;
    EXPECT_EQ(status.light(), BridgeStatus::Light::waiting);
    status.cubaseConnected = true;
    EXPECT_EQ(status.light(), BridgeStatus::Light::ok);
    status.problem = "display: busy";
    EXPECT_EQ(status.light(), BridgeStatus::Light::problem);
    status.problem.reset();
    status.pushConnected = false;
    EXPECT_EQ(status.light(), BridgeStatus::Light::problem);
}

TEST(BridgeStatusTexts, NameTheHostOnlyWhenThereIsOne) {
    BridgeStatus status = allConnected();
    EXPECT_EQ(status.menuLines(),
              (Lines{"Cubase: connected", "Push MIDI: connected", "Push display: attached"}));
    status.host = "Cubase 13.0.41";
    EXPECT_EQ(status.menuLines()[0], "Cubase: connected (Cubase 13.0.41)");
    EXPECT_EQ(status.tooltip(), "Corvane: Cubase connected \u00B7 Push connected");
}

TEST(BridgeStatusTexts, ProblemIsCutInTheMenuAndWholeInTheTooltip) {
    BridgeStatus status = allConnected();
    std::string problem;
    for (int i = 0; i < 200; ++i) problem += static_cast<char>('a' + i % 26);
    status.problem = problem;
    Lines lines = status.menuLines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[3], "Problem: " + problem.substr(0, 90));
    EXPECT_EQ(status.tooltip(), "Corvane: Cubase connected \u00B7 Push connected \u00B7 " + problem);

    status.problem = "";
    EXPECT_EQ(status.menuLines().back(), "Problem: ");
    EXPECT_EQ(status.tooltip(), "Corvane: Cubase connected \u00B7 Push connected \u00B7 ");
}

TEST(BridgeStatusEquality, ComparesEveryField) {
    BridgeStatus a = allConnected();
    BridgeStatus b = a;
    EXPECT_EQ(a, b);
    b.displayAttached = false;
    EXPECT_EQ(a.tooltip(), b.tooltip());
    EXPECT_NE(a, b);
    b = a;
    b.diagnostics = true;
    EXPECT_NE(a, b);
    b = a;
    b.problem = "";
    EXPECT_NE(a, b);
}

std::string repeated(const std::string& piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += piece;
    return text;
}

TEST(BridgeStatusCharacters, CountsWholeMultiByteCharacters) {
    EXPECT_EQ(prefixOfCharacters(repeated("\u00E9", 100), 90), repeated("\u00E9", 90));
    EXPECT_EQ(prefixOfCharacters(repeated("\u266F", 100), 90), repeated("\u266F", 90));
    EXPECT_EQ(prefixOfCharacters(repeated("\U0001F3B9", 100), 90), repeated("\U0001F3B9", 90));
    EXPECT_EQ(prefixOfCharacters("short", 90), "short");
    EXPECT_EQ(prefixOfCharacters("", 90), "");
}

TEST(BridgeStatusCharacters, KeepsMarksJoinersAndModifiersWithTheirCharacter) {
    const std::string decomposed = "e\u0301\u0323";                           // e with two marks
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // one joined emoji
    const std::string waving = "\U0001F44B\U0001F3FD";                        // with skin tone
    const std::string flag = "\U0001F1E9\U0001F1EA";                          // two regional indicators
    const std::string hangul = "\u1112\u1161\u11AB";                          // conjoining jamo
    for (const std::string& character : {decomposed, family, waving, flag, hangul}) {
        EXPECT_EQ(prefixOfCharacters(repeated(character, 100), 90), repeated(character, 90)) << character;
        EXPECT_EQ(prefixOfCharacters("x" + character + "y", 2), "x" + character);
    }
    EXPECT_EQ(prefixOfCharacters(repeated("\U0001F1E9", 5), 2), repeated("\U0001F1E9", 4));
    EXPECT_EQ(prefixOfCharacters("a\r\nb", 2), "a\r\n");
}

TEST(BridgeStatusCharacters, CountsStrayBytesOneEach) {
    EXPECT_EQ(prefixOfCharacters("\xFF\xFE"
                                 "abc",
                                 3),
              "\xFF\xFE"
              "a");
    EXPECT_EQ(prefixOfCharacters("ab\xE2\x99", 3), "ab\xE2");
}

TEST(BridgeStatusCharacters, MenuCutFallsBetweenCharacters) {
    BridgeStatus status;
    status.problem = repeated("a\u0308", 89) + "\U0001F44D\U0001F3FB" + "tail";
    EXPECT_EQ(status.menuLines().back(), "Problem: " + repeated("a\u0308", 89) + "\U0001F44D\U0001F3FB");
}

}  // namespace
}  // namespace corvane
