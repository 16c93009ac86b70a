#include <gtest/gtest.h>

#include "corvane_diag/Arguments.h"
#include "tests/diag/DiagHarness.h"
#include "tests/support/SimulatedPush3.h"

namespace corvane {
namespace {

TEST(ArgumentsTest, OptionIsTheElementAfterItsFirstOccurrence) {
    Arguments arguments({"--from", "--to", "5", "--from", "7", "--raw"});
    EXPECT_EQ(arguments.option("--from"), "--to");
    EXPECT_EQ(arguments.integer("--from"), std::nullopt);  // "--to" does not convert
    EXPECT_EQ(arguments.integer("--to"), 5);
    EXPECT_EQ(arguments.option("--raw"), std::nullopt);  // last element
    EXPECT_EQ(arguments.option("--index"), std::nullopt);
    EXPECT_TRUE(arguments.flag("--raw"));
    EXPECT_FALSE(arguments.flag("--drums"));
}

TEST(ArgumentsTest, NumbersReadWithoutTheLocale) {
    EXPECT_EQ(parseInteger("-12"), -12);
    EXPECT_EQ(parseInteger("+12"), 12);
    EXPECT_EQ(parseInteger("12x"), std::nullopt);
    EXPECT_EQ(parseInteger(""), std::nullopt);
    EXPECT_EQ(parseInteger("+-1"), std::nullopt);
    EXPECT_EQ(parseInteger("1.5"), std::nullopt);
    EXPECT_EQ(parseNumber("2.5"), 2.5);
    EXPECT_EQ(parseNumber("2,5"), std::nullopt);
    EXPECT_EQ(parseNumber("x"), std::nullopt);
}

class DispatchTest : public ::testing::Test {
protected:
    DiagHarness diag;
};

TEST_F(DispatchTest, NoCommandOrAnUnknownOnePrintsTheUsageAndExitsWith2) {
    EXPECT_EQ(diag.run({}), 2);
    ASSERT_EQ(diag.lines.size(), 31u);
    EXPECT_EQ(diag.lines[0], "usage: corvane-diag <command> [options]");
    EXPECT_EQ(diag.lines[1], "");
    EXPECT_EQ(diag.lines[30],
              "                      Step through refresh rates to find how often Push needs a frame.");
    for (std::size_t i = 2; i < diag.lines.size(); ++i) EXPECT_EQ(diag.lines[i].substr(0, 2), "  ") << i;

    const auto usage = diag.lines;
    diag.lines.clear();
    EXPECT_EQ(diag.run({"help"}), 2);
    EXPECT_EQ(diag.lines, usage);
    diag.lines.clear();
    EXPECT_EQ(diag.run({"Identity"}), 2);  // names match exactly
    EXPECT_EQ(diag.lines, usage);
}

TEST_F(DispatchTest, PaletteRangeComesFromFromAndTo) {
    SimulatedPush3 push(diag.midi);
    auto firstQuery = [&] { return push.commandsReceived().at(0); };

    EXPECT_EQ(diag.run({"palette", "--from", "5"}), 0);
    EXPECT_EQ(diag.lines.size(), 123u);
    EXPECT_EQ(firstQuery(), (Bytes{0x04, 5}));

    push.clearReceived();
    diag.lines.clear();
    EXPECT_EQ(diag.run({"palette", "--to", "3"}), 0);
    EXPECT_EQ(diag.lines.size(), 4u);
    EXPECT_EQ(firstQuery(), (Bytes{0x04, 0}));

    push.clearReceived();
    diag.lines.clear();
    EXPECT_EQ(diag.run({"palette", "--from", "x", "--to", "1"}), 0);  // x falls back to 0
    EXPECT_EQ(diag.lines.size(), 2u);
}

TEST_F(DispatchTest, PaletteIndicesThatCannotTravelAreRefusedBeforeAnythingIsSent) {
    SimulatedPush3 push(diag.midi);
    EXPECT_EQ(diag.run({"palette", "--to", "200"}), 1);
    EXPECT_EQ(diag.run({"palette", "--from", "9", "--to", "3"}), 1);
    EXPECT_EQ(diag.run({"palette-test", "--index", "128"}), 1);
    EXPECT_EQ(diag.run({"palette-test", "--index", "-1"}), 1);
    diag.midi->settle();
    EXPECT_TRUE(push.received().empty());
    for (const auto& line : diag.lines) EXPECT_EQ(line.rfind("error: ", 0), 0u) << line;
}

TEST_F(DispatchTest, PaletteTestWithoutAValueUsesEntry94) {
    SimulatedPush3 push(diag.midi);
    EXPECT_EQ(diag.run({"palette-test", "--index"}), 0);
    EXPECT_EQ(push.commandsReceived().at(0), (Bytes{0x04, 94}));
}

}  // namespace
}  // namespace corvane
