// What the Push's display shows: each screen of the screen choice as it arrives over USB, drawn
// from the bridge's current state, with the popup over it while it lasts.

#include <gtest/gtest.h>

#include <array>
#include <functional>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/FrameEncoder.h"
#include "PushDisplay/MixScreen.h"
#include "PushDisplay/ScaleScreen.h"
#include "PushDisplay/SetupScreen.h"
#include "PushDisplay/TrackPageScreen.h"
#include "PushDisplay/TracksScreen.h"
#include "PushDisplay/TracksScreenModel.h"
#include "core/PadEngine.h"
#include "core/StateKeys.h"
#include "tests/bridge/BridgeHarness.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using Button = PushMIDIMap::Button;
namespace Field = StateKeys::ChannelField;

class BridgeScreenTest : public BridgeHarness {
protected:
    void SetUp() override {
        BridgeHarness::SetUp();
        options.heartbeatTimeout = 600;  // the script stays connected however long a test takes
        usb->plug();
    }

    // The shaped pixel block of a picture drawn here.
    std::vector<std::uint8_t> picture(const std::function<void(Canvas&)>& draw) {
        Canvas canvas;
        draw(canvas);
        PushFrame frame;
        canvas.withPixels([&](std::span<const std::uint8_t> pixels, std::size_t bytesPerRow) {
            FrameEncoder(options.pixelOrder).encode(pixels, bytesPerRow, frame);
        });
        return frame.bytes;
    }

    // Until the display has been sent exactly this picture.
    bool shows(const std::function<void(Canvas&)>& draw) {
        const std::vector<std::uint8_t> expected = picture(draw);
        return pumpUntil([&] {
            const auto frame = usb->lastFrame();
            return frame && frame->pixels == expected;
        });
    }

    std::array<bool, 8> touched{};
};

TEST_F(BridgeScreenTest, TheHostPagesAreDrawnFromTheCurrentStateWithTheTouchedEncoders) {
    start();
    connectCubase();
    waitForHostPage();
    ASSERT_TRUE(shows([&](Canvas& c) { TrackPageScreen::draw(c, bridge->state(), touched); }));

    script->setString(StateKeys::selectedTrack(Field::name), "Bass");
    push->touchEncoder(2);
    settle();
    touched[2] = true;
    EXPECT_TRUE(shows([&](Canvas& c) { TrackPageScreen::draw(c, bridge->state(), touched); }));

    script->setNumber(StateKeys::Session::page, static_cast<int>(StateKeys::Page::mix));
    EXPECT_TRUE(shows([&](Canvas& c) { MixScreen::draw(c, bridge->state(), touched); }));

    // The overview is built anew from the state at each draw.
    script->setNumber(StateKeys::Session::page, static_cast<int>(StateKeys::Page::tracks));
    script->setString(StateKeys::bankChannel(0, Field::name), "Drums");
    script->setFlag(StateKeys::bankChannel(0, Field::exists), true);
    settle();
    ASSERT_EQ(bridge->screen(), BridgeScreen::tracks);
    EXPECT_TRUE(shows([&](Canvas& c) { TracksScreen::draw(c, TracksScreenModel(bridge->state())); }));
    script->setString(StateKeys::bankChannel(0, Field::name), "Kit");
    settle();
    EXPECT_TRUE(shows([&](Canvas& c) { TracksScreen::draw(c, TracksScreenModel(bridge->state())); }));
}

TEST_F(BridgeScreenTest, TheDevicesOwnPagesComeBeforeTheHostsAndThePopupGoesOverThem) {
    start();
    connectCubase();
    waitForHostPage();

    tap(Button::scale);
    EXPECT_TRUE(shows([&](Canvas& c) { ScaleScreen::draw(c, bridge->local().pads); }));

    tap(Button::octaveUp);
    const auto range = *PadEngine::range(bridge->local().pads);
    const Popup octave("OCTAVE", PadSettings::noteName(range.low) + " – " + PadSettings::noteName(range.high));
    EXPECT_TRUE(shows([&](Canvas& c) {
        ScaleScreen::draw(c, bridge->local().pads);
        octave.draw(c);
    }));
    // Gone again once it has expired, with nothing else to redraw for.
    EXPECT_TRUE(shows([&](Canvas& c) { ScaleScreen::draw(c, bridge->local().pads); }));

    tap(Button::setup);
    EXPECT_TRUE(shows([&](Canvas& c) { SetupScreen::draw(c, bridge->local().setup, bridge->statusModel()); }));
    tap(Button::setup);
    EXPECT_TRUE(shows([&](Canvas& c) { TrackPageScreen::draw(c, bridge->state(), touched); }));
}

TEST_F(BridgeScreenTest, TheScalePageWinsOverAProtocolProblemAndTheStatusScreenOverTheHostPage) {
    start();
    connectCubase();
    waitForHostPage();
    tap(Button::scale);
    script->sendBytes({0xF0, 0x7D, 0x50, 0x43, 0x02, 0x03, 0xF7});  // a version 2 heartbeat
    ASSERT_TRUE(pumpUntil([&] { return bridge->protocolProblem().has_value(); }));
    EXPECT_EQ(bridge->screen(), BridgeScreen::scale);
    tap(Button::setup);
    EXPECT_EQ(bridge->screen(), BridgeScreen::setup);
    tap(Button::setup);
    EXPECT_EQ(bridge->screen(), BridgeScreen::status);
}

}  // namespace
}  // namespace corvane
