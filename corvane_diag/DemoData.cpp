#include "corvane_diag/DemoData.h"

namespace corvane::DemoData {

namespace {

using namespace StateKeys;

constexpr std::array<Slot, 8> trackSlots{{
    {"Volume", "-4.19 dB", 0.62, false},
    {"Pan", "L12", 0.44, true},
    {"FX 1-Reverb", "-12.0 dB", 0.4, false},
    {"FX 2-Delay", "-18.5 dB", 0.3, false},
    {},
    {},
    {},
    {},
}};

constexpr std::array<Slot, 8> mixSlots{{
    {"Volume", "-4.19 dB", 0.62, false},
    {"Volume", "-6.02 dB", 0.55, false},
    {"Volume", "0.00 dB", 0.72, false},
    {"Volume", "-3.1 dB", 0.64, false},
    {"Volume", "-8.4 dB", 0.48, false},
    {"Volume", "-12.0 dB", 0.38, false},
    {"Volume", "-5.5 dB", 0.58, false},
    {"Volume", "-∞ dB", 0.0, false},
}};

constexpr std::array<Slot, 8> deviceSlots{{
    {"Cutoff", "1.84 kHz", 0.55, false},
    {"Resonance", "32 %", 0.32, false},
    {"Env Amount", "+18", 0.64, true},
    {"Attack", "12 ms", 0.1, false},
    {"Decay", "420 ms", 0.4, false},
    {"Sustain", "70 %", 0.7, false},
    {"Release", "1.2 s", 0.5, false},
    {"Volume", "-3.0 dB", 0.8, false},
}};

void text(RemoteState& state, StateKey key, std::string_view value) {
    state.set(key, StateValue::string(std::string(value)));
}
void number(RemoteState& state, StateKey key, std::int64_t value) {
    state.set(key, StateValue::number(value));
}
void color(RemoteState& state, StateKey key, RGB value) { state.set(key, StateValue::color(value)); }

}  // namespace

void populate(RemoteState& state, const std::string& position) {
    text(state, Session::hostName, "Cubase");
    text(state, Session::hostVersion, "15.0.30");
    number(state, Session::page, static_cast<std::int64_t>(Page::tracks));
    text(state, Session::bankText, "1–8 of 14");

    text(state, Transport::timeText, position);
    text(state, Transport::timeFormat, "Bars+Beats");
    text(state, Transport::tempoText, "120.00 BPM");
    text(state, Transport::cycleStartText, "5. 1. 1.   0");
    text(state, Transport::cycleEndText, "13. 1. 1.   0");
    number(state, Transport::cycle, 1);
    number(state, Transport::playing, 1);

    for (int i = 0; i < 8; ++i) {
        const Track& track = tracks[static_cast<std::size_t>(i)];
        number(state, bankChannel(i, ChannelField::exists), 1);
        text(state, bankChannel(i, ChannelField::name), track.name);
        color(state, bankChannel(i, ChannelField::color), track.color);
        number(state, bankChannel(i, ChannelField::meter), meters[static_cast<std::size_t>(i)]);
    }
    number(state, bankChannel(4, ChannelField::selected), 1);
    number(state, bankChannel(2, ChannelField::mute), 1);
    number(state, bankChannel(4, ChannelField::recordArm), 1);
    number(state, bankChannel(6, ChannelField::solo), 1);

    text(state, selectedTrack(ChannelField::name), "Lead Vocal");
    color(state, selectedTrack(ChannelField::color), {251, 192, 45});
    number(state, selectedTrack(ChannelField::volume), 10251);
    text(state, selectedTrack(ChannelField::volumeText), "-4.19 dB");
    number(state, selectedTrack(ChannelField::recordArm), 1);
    number(state, selectedTrack(ChannelField::readAutomation), 1);

    text(state, Device::name, "Retrologue");
    text(state, Device::bankTitle, "Bank 1 of 12");
    text(state, Master::name, "Stereo Out");
    text(state, Master::volumeText, "-2.40 dB");
    number(state, Master::volume, 11800);
}

void slots(RemoteState& state, Page page) {
    const std::array<Slot, 8>& chosen = page == Page::mix      ? mixSlots
                                        : page == Page::device ? deviceSlots
                                                               : trackSlots;
    for (int i = 0; i < 8; ++i) {
        const Slot& slot = chosen[static_cast<std::size_t>(i)];
        if (slot.title.empty()) continue;
        text(state, parameter(i, ParameterField::title), slot.title);
        text(state, parameter(i, ParameterField::valueText), slot.valueText);
        number(state, parameter(i, ParameterField::value), static_cast<std::int64_t>(slot.value * 16383));
        number(state, parameter(i, ParameterField::bipolar), slot.bipolar ? 1 : 0);
    }
}

}  // namespace corvane::DemoData
