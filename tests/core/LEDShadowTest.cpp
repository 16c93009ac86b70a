#include <gtest/gtest.h>

#include "core/LEDShadow.h"

namespace corvane {
namespace {

using Messages = std::vector<MIDIMessage>;

TEST(LEDShadow, AnimationsReplayAfterTheSteadyValues) {
    LEDShadow shadow;
    shadow.record(MIDIMessage::controlChange(3, 85, 9));
    shadow.record(MIDIMessage::controlChange(0, 85, 127));  // ends the animation
    shadow.record(MIDIMessage::controlChange(3, 85, 9));
    shadow.record(MIDIMessage::controlChange(1, 85, 4));
    EXPECT_EQ(shadow.replay(),
              (Messages{MIDIMessage::controlChange(0, 85, 127), MIDIMessage::controlChange(1, 85, 4),
                        MIDIMessage::controlChange(3, 85, 9)}));
    EXPECT_EQ(shadow.count(), 3u);

    shadow.record(MIDIMessage::controlChange(0, 85, 0));
    EXPECT_EQ(shadow.replay(), (Messages{MIDIMessage::controlChange(0, 85, 0)}));
    EXPECT_EQ(shadow.count(), 1u);
}

TEST(LEDShadow, ReplaysControlChangesBeforeNotesInAscendingOrder) {
    LEDShadow shadow;
    shadow.record(MIDIMessage::noteOn(0, 36, 5));
    shadow.record(MIDIMessage::noteOff(0, 40, 64));  // a note-off is value 0
    shadow.record(MIDIMessage::noteOn(0, 20, 7));
    shadow.record(MIDIMessage::controlChange(0, 20, 8));
    shadow.record(MIDIMessage::noteOn(2, 20, 9));
    shadow.record(MIDIMessage::controlChange(5, 3, 1));
    EXPECT_EQ(shadow.replay(),
              (Messages{MIDIMessage::controlChange(0, 20, 8), MIDIMessage::noteOn(0, 20, 7),
                        MIDIMessage::noteOn(0, 36, 5), MIDIMessage::noteOn(0, 40, 0),
                        MIDIMessage::controlChange(5, 3, 1), MIDIMessage::noteOn(2, 20, 9)}));
}

TEST(LEDShadow, IgnoresOtherMessagesAndForgetsEverythingOnReset) {
    LEDShadow shadow;
    shadow.record(MIDIMessage::pitchBend(0, 100));
    shadow.record(MIDIMessage::programChange(0, 3));
    shadow.record(MIDIMessage::polyPressure(0, 40, 9));
    shadow.record(MIDIMessage::sysex({0xF0, 0x7D, 0xF7}));
    EXPECT_EQ(shadow.count(), 0u);

    shadow.record(MIDIMessage::noteOn(0, 36, 5));
    shadow.record(MIDIMessage::noteOn(4, 36, 5));
    shadow.reset();
    EXPECT_EQ(shadow, LEDShadow());
    EXPECT_TRUE(shadow.replay().empty());
}

}  // namespace
}  // namespace corvane
