#include <gtest/gtest.h>

#include "PushDisplay/DisplayColor.h"

namespace corvane {
namespace {

TEST(DisplayColorTest, HexIgnoresTopByte) {
    EXPECT_EQ(DisplayColor::hex(0x3FA9F5), DisplayColor(0x3F, 0xA9, 0xF5));
    EXPECT_EQ(DisplayColor::hex(0xFF3FA9F5), DisplayColor::hex(0x3FA9F5));
}

TEST(DisplayColorTest, MixingRoundsHalvesAwayAndClamps) {
    const DisplayColor background = DisplayColor::hex(0x0B0D10), panel = DisplayColor::hex(0x161A20);
    EXPECT_EQ(background.mixed(panel, 0.5), DisplayColor::hex(0x111418));
    EXPECT_EQ(background.mixed(panel, 0.0), background);
    EXPECT_EQ(background.mixed(panel, 1.0), panel);
    EXPECT_EQ(DisplayColor(0, 0, 0).mixed(DisplayColor::hex(0x808080), 2.0), DisplayColor(255, 255, 255));
    EXPECT_EQ(DisplayColor(100, 0, 255).mixed(DisplayColor(0, 100, 255), -1.0), DisplayColor(200, 0, 255));
}

}  // namespace
}  // namespace corvane
