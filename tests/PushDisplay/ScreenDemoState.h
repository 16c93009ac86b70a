#pragma once
// A host state with every key the host pages read, as a busy session would send it.

#include <string>

#include "core/RemoteState.h"
#include "core/StateKeys.h"

namespace corvane::testing {

inline void fillDemoState(RemoteState& state) {
    using namespace StateKeys;
    namespace CF = ChannelField;
    namespace PF = ParameterField;
    auto text = [&](StateKey key, std::string value) { state.set(key, StateValue::string(std::move(value))); };
    auto number = [&](StateKey key, std::int64_t value) { state.set(key, StateValue::number(value)); };

    text(Transport::tempoText, "128.00");
    number(Transport::playing, 1);
    number(Transport::recording, 1);
    number(Transport::cycle, 1);
    number(Session::mixMode, 2);
    number(Session::lowerMode, 0);
    number(Session::deviceMode, 1);
    text(Device::name, "Frequency 2");
    text(Device::bankTitle, "Bank 1: EQ Bands");

    text(selectedTrack(CF::name), "Lead Vocal (Double Tracked)");
    state.set(selectedTrack(CF::color), StateValue::color({230, 90, 60}));
    number(selectedTrack(CF::mute), 1);
    number(selectedTrack(CF::readAutomation), 1);
    number(selectedTrack(CF::writeAutomation), 1);

    const char* names[] = {"Kick", "Snare", "Hi-Hat", "Bass Synth", "Pad Strings Ensemble", "Lead Vocal", "FX", "Master Bus"};
    const char* titles[] = {"Gain 1", "Freq 1", "Q 1", "Gain 2", "Freq 2", "Q 2", "Gain 3", "Output Level Trim"};
    const char* values[] = {"+3.5 dB", "120 Hz", "1.40", "-6.0 dB", "2.40 kHz", "0.71", "0.0 dB", "-12.25 dB"};
    for (int i = 0; i < 8; ++i) {
        number(bankChannel(i, CF::exists), 1);
        text(bankChannel(i, CF::name), names[i]);
        state.set(bankChannel(i, CF::color),
                  StateValue::color({std::uint8_t(40 + 25 * i), std::uint8_t(200 - 20 * i), std::uint8_t(90 + 18 * i)}));
        number(bankChannel(i, CF::meter), 16383 * (i + 2) / 10);
        number(bankChannel(i, CF::selected), i == 5);
        number(bankChannel(i, CF::mute), i == 2);
        number(bankChannel(i, CF::solo), i == 5);
        number(bankChannel(i, CF::recordArm), i == 5 || i == 3);
        text(parameter(i, PF::title), titles[i]);
        text(parameter(i, PF::valueText), values[i]);
        number(parameter(i, PF::value), 16383 * (i + 1) / 9);
        number(parameter(i, PF::bipolar), i % 3 == 0);
        text(parameter(i, PF::owner), "Frequency 2");
    }
}

}  // namespace corvane::testing
