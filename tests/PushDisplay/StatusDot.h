#pragma once
// The connection's status dot, as the status screen and the setup page's diagnostics draw it.

#include <gtest/gtest.h>

#include "tests/PushDisplay/ScreenPicture.h"

namespace corvane::testing {

// A 12-pixel dot of that colour, antialiased at its edge.
inline void expectDot(const Picture& picture, Rect area, DisplayColor color, int left, int top) {
    const Box dot = picture.ink(area);
    EXPECT_EQ(dot.minX, left);
    EXPECT_EQ(dot.maxX, left + 11);
    EXPECT_EQ(dot.minY, top);
    EXPECT_EQ(dot.maxY, top + 11);
    EXPECT_EQ(picture.strongest(area), color);
}

}  // namespace corvane::testing
