#include "core/PushInputDecoder.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

using PushMIDIMap::Button;
namespace Decoder = PushInputDecoder;

PushInput cc(std::uint8_t controller, std::uint8_t value, std::uint8_t channel = 0) {
    return Decoder::decode(MIDIMessage::controlChange(channel, controller, value));
}
PushInput on(std::uint8_t note, std::uint8_t velocity, std::uint8_t channel = 0) {
    return Decoder::decode(MIDIMessage::noteOn(channel, note, velocity));
}
PushInput off(std::uint8_t note, std::uint8_t velocity = 64) {
    return Decoder::decode(MIDIMessage::noteOff(0, note, velocity));
}
bool unmapped(const MIDIMessage& message) {
    return Decoder::decode(message) == PushInput::unmapped(message);
}

TEST(PushInputDecoderNumbers, RelativeDeltaIsSevenBitTwosComplement) {
    EXPECT_EQ(Decoder::relativeDelta(1), 1);
    EXPECT_EQ(Decoder::relativeDelta(127), -1);
    EXPECT_EQ(Decoder::relativeDelta(64), -64);
    EXPECT_EQ(Decoder::relativeDelta(63), 63);
    EXPECT_EQ(Decoder::relativeDelta(0), 0);
    EXPECT_EQ(Decoder::relativeDelta(0x81), 1);  // the top bit is ignored
}

TEST(PushInputDecoderNumbers, PadPositionAndNoteAreInverse) {
    EXPECT_FALSE(Decoder::padPosition(35));
    EXPECT_FALSE(Decoder::padPosition(100));
    EXPECT_EQ(Decoder::padPosition(36), (Decoder::PadPosition{0, 0}));
    EXPECT_EQ(Decoder::padPosition(50), (Decoder::PadPosition{1, 6}));
    EXPECT_EQ(Decoder::padPosition(99), (Decoder::PadPosition{7, 7}));
    for (unsigned note = 36; note <= 99; ++note) {
        const auto p = Decoder::padPosition(note);
        ASSERT_TRUE(p);
        EXPECT_EQ(Decoder::padNote(p->row, p->column), note);
    }
}

TEST(PushInputDecoderEncoders, TurnsGiveIndexAndDelta) {
    EXPECT_EQ(cc(71, 1), PushInput::trackEncoder(0, 1));
    EXPECT_EQ(cc(71, 127), PushInput::trackEncoder(0, -1));
    EXPECT_EQ(cc(78, 65), PushInput::trackEncoder(7, -63));
    EXPECT_EQ(cc(74, 3), PushInput::trackEncoder(3, 3));
    EXPECT_EQ(cc(79, 2), PushInput::volumeEncoder(2));
    EXPECT_EQ(cc(14, 126), PushInput::tempoEncoder(-2));
    EXPECT_EQ(cc(70, 64), PushInput::jogWheel(-64));
}

TEST(PushInputDecoderTouches, NoteOnTouchesAndNoteOffOrVelocityZeroReleases) {
    for (std::uint8_t n = 0; n < 8; ++n) {
        EXPECT_EQ(on(n, 127), PushInput::trackEncoderTouch(n, true));
        EXPECT_EQ(on(n, 0), PushInput::trackEncoderTouch(n, false));
        EXPECT_EQ(off(n), PushInput::trackEncoderTouch(n, false));
    }
    EXPECT_EQ(on(3, 1), PushInput::trackEncoderTouch(3, true));
    EXPECT_EQ(on(8, 127), PushInput::volumeEncoderTouch(true));
    EXPECT_EQ(off(8), PushInput::volumeEncoderTouch(false));
    EXPECT_EQ(on(10, 127), PushInput::tempoEncoderTouch(true));
    EXPECT_EQ(on(10, 0), PushInput::tempoEncoderTouch(false));
    EXPECT_EQ(on(11, 127), PushInput::jogWheelTouch(true));
    EXPECT_EQ(off(11), PushInput::jogWheelTouch(false));
    EXPECT_EQ(on(12, 127), PushInput::touchStripTouch(true));
    EXPECT_EQ(off(12), PushInput::touchStripTouch(false));
    EXPECT_EQ(on(13, 127), PushInput::dpadCentreTouch(true));
    EXPECT_EQ(off(13), PushInput::dpadCentreTouch(false));
}

TEST(PushInputDecoderButtons, DisplayButtonsPressWhenEitherTopBitIsSet) {
    for (std::uint8_t i = 0; i < 8; ++i) {
        EXPECT_EQ(cc(102 + i, 127), PushInput::upperDisplayButton(i, true));
        EXPECT_EQ(cc(20 + i, 0), PushInput::lowerDisplayButton(i, false));
    }
    EXPECT_EQ(cc(102, 64), PushInput::upperDisplayButton(0, true));
    EXPECT_EQ(cc(102, 63), PushInput::upperDisplayButton(0, false));
    EXPECT_EQ(cc(27, 0x80), PushInput::lowerDisplayButton(7, true));
}

TEST(PushInputDecoderButtons, SceneButtonsCountFromTheTop) {
    EXPECT_EQ(cc(43, 127), PushInput::sceneButton(0, true));
    EXPECT_EQ(cc(36, 0), PushInput::sceneButton(7, false));
    EXPECT_EQ(cc(40, 127), PushInput::sceneButton(3, true));
}

TEST(PushInputDecoderButtons, EveryNamedButtonPressesAndReleases) {
    for (auto b : PushMIDIMap::allButtons) {
        const auto c = PushMIDIMap::controller(b);
        EXPECT_EQ(cc(c, 127), PushInput::button(b, true)) << int(c);
        EXPECT_EQ(cc(c, 64), PushInput::button(b, true)) << int(c);
        EXPECT_EQ(cc(c, 63), PushInput::button(b, false)) << int(c);
        EXPECT_EQ(cc(c, 0), PushInput::button(b, false)) << int(c);
    }
    EXPECT_EQ(cc(85, 127), PushInput::button(Button::play, true));
    EXPECT_EQ(cc(64, 127), PushInput::button(Button::footswitch1, true));
}

TEST(PushInputDecoderPads, NotesGiveRowColumnAndVelocity) {
    EXPECT_EQ(on(36, 100), PushInput::pad(0, 0, 100));
    EXPECT_EQ(on(99, 5), PushInput::pad(7, 7, 5));
    EXPECT_EQ(on(43, 0), PushInput::pad(0, 7, 0));
    EXPECT_EQ(off(50, 99), PushInput::pad(1, 6, 0));
}

TEST(PushInputDecoderPads, PressureAndTouchStrip) {
    EXPECT_EQ(Decoder::decode(MIDIMessage::polyPressure(0, 44, 77)), PushInput::padPressure(1, 0, 77));
    EXPECT_EQ(Decoder::decode(MIDIMessage::channelPressure(0, 90)), PushInput::channelPressure(90));
    EXPECT_EQ(Decoder::decode(MIDIMessage::pitchBend(0, 8192)), PushInput::touchStrip(8192));
    EXPECT_EQ(Decoder::decode(MIDIMessage::pitchBend(0, 16383)), PushInput::touchStrip(16383));
}

TEST(PushInputDecoderUnmapped, EverythingElseComesBackAsReceived) {
    EXPECT_TRUE(unmapped(MIDIMessage::controlChange(0, 4, 1)));
    EXPECT_TRUE(unmapped(MIDIMessage::controlChange(0, 200, 1)));
    EXPECT_TRUE(unmapped(MIDIMessage::controlChange(1, 71, 1)));
    EXPECT_TRUE(unmapped(MIDIMessage::noteOn(0, 9, 127)));
    EXPECT_TRUE(unmapped(MIDIMessage::noteOn(0, 20, 127)));
    EXPECT_TRUE(unmapped(MIDIMessage::noteOn(0, 100, 127)));
    EXPECT_TRUE(unmapped(MIDIMessage::noteOn(0, 250, 127)));
    EXPECT_TRUE(unmapped(MIDIMessage::noteOff(0, 9, 0)));
    EXPECT_TRUE(unmapped(MIDIMessage::noteOn(1, 36, 127)));
    EXPECT_TRUE(unmapped(MIDIMessage::polyPressure(0, 20, 5)));
    EXPECT_TRUE(unmapped(MIDIMessage::polyPressure(2, 40, 5)));
    EXPECT_TRUE(unmapped(MIDIMessage::channelPressure(3, 5)));
    EXPECT_TRUE(unmapped(MIDIMessage::pitchBend(1, 8192)));
    EXPECT_TRUE(unmapped(MIDIMessage::programChange(0, 3)));
    EXPECT_TRUE(unmapped(MIDIMessage::sysex({0xF0, 0x00, 0x21, 0x1D, 0xF7})));
    EXPECT_TRUE(unmapped(MIDIMessage::other({0xF8})));
}

TEST(PushInputDecoderUnmapped, OnlyMappedControllersAndNotesDecode) {
    int controllers = 0;
    int notes = 0;
    for (unsigned n = 0; n < 128; ++n) {
        const auto byte = static_cast<std::uint8_t>(n);
        controllers += cc(byte, 1).is<PushInput::Unmapped>() ? 0 : 1;
        notes += on(byte, 1).is<PushInput::Unmapped>() ? 0 : 1;
    }
    EXPECT_EQ(controllers, 8 + 8 + 8 + 8 + 3 + 54);
    EXPECT_EQ(notes, 8 + 5 + 64);
}

}  // namespace
}  // namespace corvane
