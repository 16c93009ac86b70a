#include "platform/SettingValue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace corvane {
namespace {

TEST(SettingValueNumbers, ReadByTheNumberRules) {
    EXPECT_EQ(Settings::integer(SettingValue{true}), 1);
    EXPECT_EQ(Settings::integer(SettingValue{false}), 0);
    EXPECT_EQ(Settings::integer(SettingValue{std::int64_t{-7}}), -7);
    EXPECT_EQ(Settings::integer(SettingValue{2.9}), 2);
    EXPECT_EQ(Settings::integer(SettingValue{-2.9}), -2);
    EXPECT_EQ(Settings::integer(SettingValue{1e300}), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(Settings::integer(SettingValue{-1e300}), std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(Settings::integer(SettingValue{std::nan("")}), std::nullopt);
    EXPECT_EQ(Settings::integer(SettingValue{std::string("3")}), std::nullopt);
    EXPECT_EQ(Settings::integer(std::nullopt), std::nullopt);
}

TEST(SettingValueNumbers, BooleansAndTextTakeOnlyTheirKinds) {
    EXPECT_EQ(Settings::boolean(SettingValue{std::int64_t{5}}), true);
    EXPECT_EQ(Settings::boolean(SettingValue{0.0}), false);
    EXPECT_EQ(Settings::boolean(SettingValue{std::string("true")}), std::nullopt);
    EXPECT_EQ(Settings::text(SettingValue{std::string("Dorian")}), "Dorian");
    EXPECT_EQ(Settings::text(SettingValue{std::int64_t{1}}), std::nullopt);
}

}  // namespace
}  // namespace corvane
