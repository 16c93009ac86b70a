#include "core/Router.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

Route cc(std::uint8_t controller, std::uint8_t channel = 0) {
    return Router::route(MIDIMessage::controlChange(channel, controller, 127));
}
Route note(std::uint8_t n, std::uint8_t channel = 0) {
    return Router::route(MIDIMessage::noteOn(channel, n, 100));
}

TEST(RouterSets, HoldExactlyTheirMembers) {
    for (unsigned n : {58u, 31u, 54u, 55u, 30u, 57u, 56u, 36u, 39u, 43u})
        EXPECT_TRUE(Router::localCCs.contains(n)) << n;
    EXPECT_EQ(Router::localCCs.count(), 15);
    for (unsigned n : {0u, 7u, 8u, 10u}) EXPECT_TRUE(Router::forwardedTouchNotes.contains(n)) << n;
    EXPECT_EQ(Router::forwardedTouchNotes.count(), 10);
    EXPECT_FALSE(Router::forwardedTouchNotes.contains(9));
}

TEST(RouterPerformance, PlayedMessagesStayHere) {
    EXPECT_EQ(Router::route(MIDIMessage::pitchBend(0, 8192)), Route::performance);
    EXPECT_EQ(Router::route(MIDIMessage::pitchBend(5, 0)), Route::performance);
    EXPECT_EQ(Router::route(MIDIMessage::polyPressure(0, 40, 9)), Route::performance);
    EXPECT_EQ(Router::route(MIDIMessage::polyPressure(0, 3, 9)), Route::performance);
    EXPECT_EQ(Router::route(MIDIMessage::channelPressure(2, 9)), Route::performance);
    EXPECT_EQ(cc(Router::sustainPedalCC), Route::performance);
    EXPECT_EQ(cc(71, 1), Route::performance);
    EXPECT_EQ(cc(58, 1), Route::performance);
    EXPECT_EQ(note(36), Route::performance);
    EXPECT_EQ(note(99), Route::performance);
    EXPECT_EQ(note(9, 1), Route::performance);
    EXPECT_EQ(Router::route(MIDIMessage::noteOff(0, 60, 0)), Route::performance);
}

TEST(RouterControl, ScriptControlsAndEncoderTouchesGoToTheScript) {
    EXPECT_EQ(cc(102), Route::control);
    EXPECT_EQ(cc(20), Route::control);
    EXPECT_EQ(cc(71), Route::control);
    EXPECT_EQ(cc(85), Route::control);
    EXPECT_EQ(cc(4), Route::control);
    EXPECT_EQ(cc(200), Route::control);
    for (std::uint8_t n : {0, 3, 7, 8, 10}) EXPECT_EQ(note(n), Route::control) << int(n);
    EXPECT_EQ(Router::route(MIDIMessage::noteOff(0, 3, 0)), Route::control);
}

TEST(RouterLocal, DeviceButtonsStayOnTheDevice) {
    for (std::uint8_t c : {58, 31, 54, 55, 30, 57, 56, 36, 43}) EXPECT_EQ(cc(c), Route::local) << int(c);
}

TEST(RouterDrop, UnusedNotesAndSystemMessagesAreDropped) {
    for (std::uint8_t n : {9, 11, 12, 13, 20, 100, 127}) EXPECT_EQ(note(n), Route::drop) << int(n);
    EXPECT_EQ(note(250), Route::drop);
    EXPECT_EQ(Router::route(MIDIMessage::programChange(0, 1)), Route::drop);
    EXPECT_EQ(Router::route(MIDIMessage::sysex({0xF0, 0x7E, 0xF7})), Route::drop);
    EXPECT_EQ(Router::route(MIDIMessage::other({0xFE})), Route::drop);
}

TEST(RouterRepeat, SceneButtonsGoToTheScriptOnlyWithRepeatOff) {
    const auto scene = MIDIMessage::controlChange(0, 40, 127);
    EXPECT_EQ(Router::route(scene, false), Route::control);
    EXPECT_EQ(Router::route(scene, true), Route::local);
    const auto scale = MIDIMessage::controlChange(0, 58, 127);
    EXPECT_EQ(Router::route(scale, false), Route::local);
    EXPECT_EQ(Router::route(scale, true), Route::local);
    EXPECT_EQ(Router::route(MIDIMessage::controlChange(1, 40, 127), false), Route::performance);
    EXPECT_EQ(Router::route(MIDIMessage::noteOn(0, 40, 1), false), Route::performance);
    EXPECT_EQ(Router::route(MIDIMessage::controlChange(0, 102, 127), true), Route::control);
}

TEST(RouteNames, PrintAsDeclared) {
    EXPECT_EQ(name(Route::performance), "performance");
    EXPECT_EQ(name(Route::control), "control");
    EXPECT_EQ(name(Route::local), "local");
    EXPECT_EQ(name(Route::drop), "drop");
}

}  // namespace
}  // namespace corvane
