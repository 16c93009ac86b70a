#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge/CommandLine.h"

namespace corvane {
namespace {

const std::filesystem::path logFile = "/logs/corvane/bridge.log";
const std::string usageText =
    "usage: corvane-bridge [--verbose] [--log-midi] [--quiet] [--no-menu-bar] [--pixel-order bgr565|rgb565] "
    "[--max-fps N]\n\nLogs: /logs/corvane/bridge.log\n";

CommandLine::Parsed parse(std::vector<std::string> arguments) { return CommandLine::parse(arguments, logFile); }

CommandLine::Run run(std::vector<std::string> arguments) {
    auto parsed = parse(std::move(arguments));
    EXPECT_TRUE(std::holds_alternative<CommandLine::Run>(parsed));
    return std::holds_alternative<CommandLine::Run>(parsed) ? std::get<CommandLine::Run>(parsed)
                                                            : CommandLine::Run{};
}

TEST(CommandLine, NoArgumentsRunWithTheDefaults) {
    const CommandLine::Run defaults = run({});
    EXPECT_EQ(defaults.options, (BridgeOptions{PixelOrder::bgr565, 30.0, 5.0}));
    EXPECT_TRUE(defaults.menuBar);
    EXPECT_FALSE(defaults.verbose);
    EXPECT_FALSE(defaults.logMIDI);
    EXPECT_FALSE(defaults.quiet);
}

TEST(CommandLine, FlagsSetWhatTheyName) {
    const CommandLine::Run all = run({"--verbose", "--log-midi", "--quiet", "--no-menu-bar"});
    EXPECT_TRUE(all.verbose);
    EXPECT_TRUE(all.logMIDI);
    EXPECT_TRUE(all.quiet);
    EXPECT_FALSE(all.menuBar);
    EXPECT_TRUE(run({"-v"}).verbose);
}

TEST(CommandLine, PixelOrderTakesItsTwoNamesAndConsumesAnythingElse) {
    EXPECT_EQ(run({"--pixel-order", "rgb565"}).options.pixelOrder, PixelOrder::rgb565);
    EXPECT_EQ(run({"--pixel-order", "rgb565", "--pixel-order", "bgr565"}).options.pixelOrder, PixelOrder::bgr565);
    // An unknown value is swallowed, not read as the next option.
    EXPECT_EQ(run({"--pixel-order", "RGB565"}).options.pixelOrder, PixelOrder::bgr565);
    EXPECT_EQ(run({"--pixel-order", "--quiet"}).quiet, false);
    // A missing value changes nothing and does not fail.
    EXPECT_EQ(run({"--quiet", "--pixel-order"}).options.pixelOrder, PixelOrder::bgr565);
}

TEST(CommandLine, MaxFPSIsClampedToOneToSixty) {
    EXPECT_EQ(run({"--max-fps", "24.5"}).options.maxFPS, 24.5);
    EXPECT_EQ(run({"--max-fps", "0"}).options.maxFPS, 1.0);
    EXPECT_EQ(run({"--max-fps", "-3"}).options.maxFPS, 1.0);
    EXPECT_EQ(run({"--max-fps", "500"}).options.maxFPS, 60.0);
    EXPECT_EQ(run({"--max-fps", "nan"}).options.maxFPS, 60.0);
    EXPECT_EQ(run({"--max-fps", "inf"}).options.maxFPS, 60.0);
    EXPECT_EQ(run({"--max-fps", "abc"}).options.maxFPS, 30.0);
    EXPECT_EQ(run({"--max-fps", "20fps"}).options.maxFPS, 30.0);
    EXPECT_EQ(run({"--max-fps", ""}).options.maxFPS, 30.0);
    EXPECT_EQ(run({"--max-fps", "+-5"}).options.maxFPS, 30.0);
    EXPECT_EQ(run({"--max-fps"}).options.maxFPS, 30.0);
    EXPECT_EQ(run({"--max-fps", "10", "--max-fps", "20"}).options.maxFPS, 20.0);
}

TEST(CommandLine, MaxFPSBeyondTheRangeOfADoubleIsStillANumber) {
    EXPECT_EQ(run({"--max-fps", "1e309"}).options.maxFPS, 60.0);
    EXPECT_EQ(run({"--max-fps", "1.5e999"}).options.maxFPS, 60.0);
    EXPECT_EQ(run({"--max-fps", "1" + std::string(400, '0')}).options.maxFPS, 60.0);
    EXPECT_EQ(run({"--max-fps", "-1e309"}).options.maxFPS, 1.0);
    EXPECT_EQ(run({"--max-fps", "1e-400"}).options.maxFPS, 1.0);
    EXPECT_EQ(run({"--max-fps", "-1e-400"}).options.maxFPS, 1.0);
    EXPECT_EQ(run({"--max-fps", "0." + std::string(400, '0') + "1"}).options.maxFPS, 1.0);
    EXPECT_EQ(run({"--max-fps", "1e309x"}).options.maxFPS, 30.0);
}

TEST(CommandLine, NumbersAreReadWithoutTheLocale) {
    // A comma is never a decimal point, whatever the user's locale says.
    EXPECT_EQ(run({"--max-fps", "12,5"}).options.maxFPS, 30.0);
    EXPECT_EQ(run({"--max-fps", "12.5"}).options.maxFPS, 12.5);
}

TEST(CommandLine, HelpPrintsTheUsageAndSucceeds) {
    EXPECT_EQ(parse({"--help"}), CommandLine::Parsed(CommandLine::Exit{usageText, 0}));
    EXPECT_EQ(parse({"--quiet", "-h"}), CommandLine::Parsed(CommandLine::Exit{usageText, 0}));
}

TEST(CommandLine, AnUnrecognisedArgumentPrintsTheUsageAndFailsWithTwo) {
    EXPECT_EQ(parse({"--frobnicate"}), CommandLine::Parsed(CommandLine::Exit{usageText, 2}));
    EXPECT_EQ(parse({"--VERBOSE"}), CommandLine::Parsed(CommandLine::Exit{usageText, 2}));
    EXPECT_EQ(parse({"--frobnicate", "--version"}), CommandLine::Parsed(CommandLine::Exit{usageText, 2}));
}

TEST(CommandLine, VersionEndsTheReadingAtOnce) {
    EXPECT_EQ(parse({"--version"}), CommandLine::Parsed(CommandLine::Exit{"0.4.3\n", 0}));
    EXPECT_EQ(parse({"--version", "--frobnicate"}), CommandLine::Parsed(CommandLine::Exit{"0.4.3\n", 0}));
}

}  // namespace
}  // namespace corvane
