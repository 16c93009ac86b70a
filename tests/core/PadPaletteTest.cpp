#include "core/PadPalette.h"

#include <gtest/gtest.h>

using namespace corvane;

TEST(PadPaletteColors, GreyAndBlackAreNotUsed) {
    EXPECT_EQ(PadPalette::brightened(RGB{0, 0, 0}), std::nullopt);
    EXPECT_EQ(PadPalette::brightened(RGB{40, 40, 40}), std::nullopt);
    EXPECT_EQ(PadPalette::brightened(RGB{255, 220, 220}), std::nullopt);  // 0.137 from grey
    EXPECT_EQ(PadPalette::entries(std::nullopt), std::nullopt);
    EXPECT_EQ(PadPalette::entries(RGB{200, 200, 190}), std::nullopt);
}

TEST(PadPaletteColors, BrightenedKeepsTheRatios) {
    EXPECT_EQ(PadPalette::brightened(RGB{100, 50, 0}), (RGB{255, 128, 0}));
    EXPECT_EQ(PadPalette::brightened(RGB{250, 200, 200}), (RGB{255, 204, 204}));  // exactly 0.2: kept
    EXPECT_EQ(PadPalette::brightened(RGB{1, 0, 0}), (RGB{255, 0, 0}));
    EXPECT_EQ(PadPalette::brightened(RGB{229, 57, 53}), (RGB{255, 63, 59}));
}

TEST(PadPaletteColors, EntriesFillTheTwoSlots) {
    const auto entries = PadPalette::entries(RGB{100, 50, 0});
    ASSERT_TRUE(entries);
    EXPECT_EQ(*entries, (std::vector<PushSysEx::PaletteEntry>{
                            {.index = 94, .red = 255, .green = 128, .blue = 0, .white = 127},
                            {.index = 95, .red = 77, .green = 38, .blue = 0, .white = 32},
                        }));
    EXPECT_EQ(PadPalette::trackColors.root, 94);
    EXPECT_EQ(PadPalette::trackColors.alternate, 95);
}
