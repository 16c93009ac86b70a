#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "PushDisplay/Layout.h"

namespace corvane {
namespace {

TEST(LayoutTest, ColumnsAndSpans) {
    EXPECT_EQ(Layout::column(0, 5, 30), (Rect{0, 5, 120, 30}));
    EXPECT_EQ(Layout::column(7, 0, 160), (Rect{840, 0, 120, 160}));
    EXPECT_EQ(Layout::span(5, 2, 10, 20), (Rect{240, 10, 480, 20}));
    EXPECT_EQ(Layout::span(2, 5, 10, 20), Layout::span(5, 2, 10, 20));
    EXPECT_EQ(Layout::span(3, 3, 0, 1), Layout::column(3, 0, 1));
    EXPECT_DEATH(Layout::column(8, 0, 1), "column outside");
    EXPECT_DEATH(Layout::span(-1, 0, 0, 1), "column outside");
}

TEST(LayoutTest, ColumnIndexTruncatesAndClamps) {
    EXPECT_EQ(Layout::columnIndex(-5), 0);
    EXPECT_EQ(Layout::columnIndex(959.9), 7);
    EXPECT_EQ(Layout::columnIndex(5000), 7);
    EXPECT_EQ(Layout::columnIndex(240), 2);
    EXPECT_EQ(Layout::columnIndex(239.9), 1);
    EXPECT_EQ(Layout::columnIndex(std::numeric_limits<double>::infinity()), 7);
    EXPECT_EQ(Layout::columnIndex(std::nan("")), 0);
}

}  // namespace
}  // namespace corvane
