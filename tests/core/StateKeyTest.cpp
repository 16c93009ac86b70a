#include "core/StateKey.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace corvane {
namespace {

TEST(StateKey, DescriptionIsHexObjectDotField) {
    EXPECT_EQ(StateKey(2, 10).description(), "02.0A");
    EXPECT_EQ(StateKey(127, 0).description(), "7F.00");
}

TEST(StateKey, ComparesAndHashesOnBothBytes) {
    EXPECT_EQ(StateKey(1, 2), StateKey(1, 2));
    EXPECT_NE(StateKey(1, 2), StateKey(2, 1));
    EXPECT_LT(StateKey(1, 127), StateKey(2, 0));
    std::unordered_set<StateKey> keys{StateKey(1, 2), StateKey(2, 1), StateKey(1, 2)};
    EXPECT_EQ(keys.size(), 2u);
    std::unordered_set<RGB> colors{RGB{1, 2, 3}, RGB{3, 2, 1}, RGB{1, 2, 3}};
    EXPECT_EQ(colors.size(), 2u);
}

TEST(StateKeyDeathTest, ByteOf128OrMoreStopsTheProgram) {
    const std::uint8_t big = 128;
    EXPECT_DEATH(StateKey(big, 0), "StateKey object must be below 128 \\(got 128\\)");
    EXPECT_DEATH(StateKey(0, 200), "StateKey field must be below 128 \\(got 200\\)");
}

}  // namespace
}  // namespace corvane
