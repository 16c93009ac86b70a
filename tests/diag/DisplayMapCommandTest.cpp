#include <gtest/gtest.h>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/ControlMapScreen.h"
#include "PushDisplay/FrameEncoder.h"
#include "tests/diag/DiagHarness.h"
#include "tests/support/SimulatedPush3.h"

namespace corvane {
namespace {

using Lines = std::vector<std::string>;

std::vector<std::uint8_t> picture(const ControlMapModel& model) {
    Canvas canvas;
    ControlMapScreen::draw(canvas, model);
    PushFrame frame;
    canvas.withPixels([&](std::span<const std::uint8_t> pixels, std::size_t bytesPerRow) {
        FrameEncoder().encode(pixels, bytesPerRow, frame);
    });
    return frame.bytes;
}

TEST(DisplayMapCommandTest, ColumnsFollowTheControlsAndLitControlsGoDarkOnCtrlC) {
    DiagHarness diag;
    SimulatedPush3 push(diag.midi);
    diag.usb->plug();
    diag.when("display-map running", [&] {
        for (int i = 0; i < 10; ++i) push.turnEncoder(0, -1);
        push.touchEncoder(1);
        push.turnEncoder(1, 63);
        push.turnEncoder(1, 63);
        push.touchEncoder(1, false);
        push.pressLowerDisplayButton(1);
        push.releaseLowerDisplayButton(1);
        push.pressUpperDisplayButton(7);
        push.pressPad(0, 0, 100);
        push.pressPad(0, 1, 101);
        push.releasePad(0, 1);
    });
    ControlMapModel expected;
    expected.encoderValue[0] = 54;
    expected.encoderLastDelta[0] = -1;
    expected.encoderValue[1] = 127;
    expected.upperPressed[7] = true;
    const std::vector<std::uint8_t> expectedPicture = picture(expected);

    // Ctrl-C once the last change has reached the display.
    std::vector<MIDIMessage> beforeCtrlC;
    diag.when("pad row 1 col 2 off", [&] {
        diag.poll(
            [&] {
                auto frame = diag.usb->lastFrame();
                return frame && frame->pixels == expectedPicture;
            },
            [&] {
                diag.midi->waitForDeliveries();
                beforeCtrlC = push.received();
                push.clearReceived();
                diag.interrupt();
            });
    });
    EXPECT_EQ(diag.run({"display-map"}), 0);

    const Lines expectedStart{"Push MIDI connected", "Push display attached",
                              "display-map running — Ctrl-C to exit"};
    ASSERT_GE(diag.lines.size(), 3u);
    EXPECT_EQ(Lines(diag.lines.begin(), diag.lines.begin() + 3), expectedStart);
    EXPECT_TRUE(diag.printed("track encoder 1 -1"));
    EXPECT_TRUE(diag.printed("lower display button 2 down"));
    EXPECT_TRUE(diag.printed("pad row 1 col 2 on vel 101"));
    ASSERT_GE(diag.lines.size(), 3u);
    EXPECT_EQ(diag.lines[diag.lines.size() - 3], "");
    const std::string statistics = diag.lines[diag.lines.size() - 2];
    EXPECT_TRUE(statistics.starts_with("frames rendered ")) << statistics;
    EXPECT_NE(statistics.find(", errors 0, last render "), std::string::npos) << statistics;

    using M = MIDIMessage;
    EXPECT_EQ(beforeCtrlC, (std::vector<M>{M::controlChange(0, 21, 125), M::controlChange(0, 21, 0),
                                           M::controlChange(0, 109, 126), M::noteOn(0, 36, 126),
                                           M::noteOn(0, 37, 127), M::noteOn(0, 37, 0)}));
    // Ctrl-C turns off exactly what was touched: the pads, then the display buttons.
    diag.midi->waitForDeliveries();
    EXPECT_EQ(push.received(), (std::vector<M>{M::noteOn(0, 36, 0), M::noteOn(0, 37, 0),
                                               M::controlChange(0, 21, 0), M::controlChange(0, 109, 0)}));

    ASSERT_TRUE(diag.usb->lastFrame());
    EXPECT_TRUE(diag.usb->lastFrame()->pixels == expectedPicture);
}

TEST(DisplayMapCommandTest, CtrlCPrintsTheStatisticsThenStopsTheMonitorWhichClosesTheDisplay) {
    DiagHarness diag;
    diag.usb->plug();
    diag.when("display-map running", [&] { diag.interrupt(); });
    EXPECT_EQ(diag.run({"display-map"}), 0);
    ASSERT_EQ(diag.lines.size(), 6u);
    EXPECT_EQ(Lines(diag.lines.begin(), diag.lines.begin() + 4),
              (Lines{"Waiting for Ableton Push 3 Live Port…", "Push display attached",
                     "display-map running — Ctrl-C to exit", ""}));
    EXPECT_TRUE(diag.lines[4].starts_with("frames rendered ")) << diag.lines[4];
    EXPECT_EQ(diag.lines[5], "Push display detached");
    EXPECT_EQ(diag.usb->openInterfaces(), 0);
}

TEST(DisplayMapCommandTest, RunsWithoutADisplayAndWaitsForThePush) {
    DiagHarness diag;
    diag.when("display-map running", [&] { diag.interrupt(); });
    EXPECT_EQ(diag.run({"display-map"}), 0);
    ASSERT_EQ(diag.lines.size(), 4u);
    EXPECT_EQ(diag.lines[0], "Waiting for Ableton Push 3 Live Port…");
    EXPECT_EQ(diag.lines[1], "display-map running — Ctrl-C to exit");
    EXPECT_TRUE(diag.lines[3].starts_with("frames rendered 0, sent 0 (keep-alive 0), errors 0"))
        << diag.lines[3];
}

}  // namespace
}  // namespace corvane
