#include "core/TimelinePosition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

namespace corvane {
namespace {

using Unit = TimelinePosition::Unit;

std::optional<TimelinePosition> beats(double value) { return TimelinePosition{Unit::beats, value}; }
std::optional<TimelinePosition> seconds(double value) { return TimelinePosition{Unit::seconds, value}; }

TEST(TimelinePositionTest, BarsAndBeatsCountQuarterNotesFromBarOne) {
    EXPECT_EQ(TimelinePosition::parse("1. 1. 1.   0"), beats(0));
    EXPECT_EQ(TimelinePosition::parse("2.1.1.0"), beats(4));
    EXPECT_EQ(TimelinePosition::parse("1.2.3.240"), beats(2.0));
    EXPECT_EQ(TimelinePosition::parse("3.1.1"), beats(8));
    EXPECT_EQ(TimelinePosition::parse(" \t 5. 1. 1.   0\t "), beats(16));
    EXPECT_EQ(TimelinePosition::parse("1.1.1.1"), beats(1.0 / 480));
}

TEST(TimelinePositionTest, ClocksCountSecondsWithFramesAtThirtyPerSecond) {
    EXPECT_EQ(TimelinePosition::parse("0:01:30.500"), seconds(90.5));
    EXPECT_EQ(TimelinePosition::parse("1:00:00:15"), seconds(3600.5));
    EXPECT_EQ(TimelinePosition::parse("12:30"), seconds(750));
    EXPECT_EQ(TimelinePosition::parse("0: 01 :30"), seconds(90));
    EXPECT_EQ(TimelinePosition::parse("::1:30"), seconds(90));  // empty pieces dropped
}

TEST(TimelinePositionTest, ALeadingMinusNegates) {
    EXPECT_EQ(TimelinePosition::parse("-0:00:02"), seconds(-2));
    EXPECT_EQ(TimelinePosition::parse("--0:00:02"), seconds(-2));
    const auto zero = TimelinePosition::parse("-1. 1. 1. 0");
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->unit, Unit::beats);
    EXPECT_EQ(zero->value, 0.0);
    EXPECT_TRUE(std::signbit(zero->value));
    EXPECT_EQ(TimelinePosition::parse("-2. 1. 1. 0"), beats(-4));
    // Minus signs at either end of a piece are stripped and do not negate.
    EXPECT_EQ(TimelinePosition::parse("2.1-.1.0"), beats(4));
}

TEST(TimelinePositionTest, OtherFormatsGiveNoPosition) {
    for (const char* text : {"", "   ", "\t \t", "1:2:3:4:5", "1.2", "1.2.3.4.5", "abc", "1.x.1.0", "1:x",
                             "44100", ":", "...", "1.1.1.0x", "0x10:00", "1.1.--.0", "1:+-2", "1 :2 3"})
        EXPECT_EQ(TimelinePosition::parse(text), std::nullopt) << '"' << text << '"';
}

TEST(TimelinePositionTest, NumbersThatCannotBePlacedGiveNoPosition) {
    for (const char* text : {"inf:00", "0:nan", "1e400:00", "1e305:0:0", "99999999999999999999.1.1.0"})
        EXPECT_EQ(TimelinePosition::parse(text), std::nullopt) << text;
    // Huge but finite stays readable: the bar count runs in floating point.
    const auto far = TimelinePosition::parse("9223372036854775807.1.1.0");
    ASSERT_TRUE(far);
    EXPECT_DOUBLE_EQ(far->value, 4 * 9223372036854775806.0);
}

TEST(TimelinePositionTest, ReadsWithoutTheLocale) {
    // A decimal comma is never a decimal point.
    EXPECT_EQ(TimelinePosition::parse("0:01:30,5"), std::nullopt);
    EXPECT_EQ(TimelinePosition::parse("+0:+1:30.25"), seconds(90.25));
}

}  // namespace
}  // namespace corvane
