#include "core/MIDIMessage.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(MIDIMessageBytes, ChannelMessagesCarryTheirStatusAndData) {
    EXPECT_EQ(MIDIMessage::noteOff(1, 60, 64).bytes(), (Bytes{0x81, 60, 64}));
    EXPECT_EQ(MIDIMessage::noteOn(15, 127, 0).bytes(), (Bytes{0x9F, 127, 0}));
    EXPECT_EQ(MIDIMessage::polyPressure(2, 36, 90).bytes(), (Bytes{0xA2, 36, 90}));
    EXPECT_EQ(MIDIMessage::controlChange(0, 71, 1).bytes(), (Bytes{0xB0, 71, 1}));
    EXPECT_EQ(MIDIMessage::programChange(5, 7).bytes(), (Bytes{0xC5, 7}));
    EXPECT_EQ(MIDIMessage::channelPressure(9, 100).bytes(), (Bytes{0xD9, 100}));
}

TEST(MIDIMessageBytes, PitchBendSplitsItsFourteenBitValue) {
    EXPECT_EQ(MIDIMessage::pitchBend(3, 16383).bytes(), (Bytes{0xE3, 0x7F, 0x7F}));
    EXPECT_EQ(MIDIMessage::pitchBend(0, 8192).bytes(), (Bytes{0xE0, 0x00, 0x40}));
}

TEST(MIDIMessageBytes, SysexAndOtherAreSentAsStored) {
    EXPECT_EQ(MIDIMessage::sysex({0xF0, 0x7D, 0xF7}).bytes(), (Bytes{0xF0, 0x7D, 0xF7}));
    EXPECT_EQ(MIDIMessage::other({0xF8}).bytes(), (Bytes{0xF8}));
    EXPECT_NE(MIDIMessage::sysex({0xF8}), MIDIMessage::other({0xF8}));
}

}  // namespace
}  // namespace corvane
