#include "core/Router.h"

#include "core/Overloaded.h"

#include <array>

namespace corvane::Router {

namespace {

using PushMIDIMap::liveChannel;

// Routes of controllers and notes on the live channel.
struct RouteTable {
    std::array<Route, 128> controllers{};
    std::array<Route, 128> notes{};
    constexpr RouteTable() {
        for (unsigned n = 0; n < 128; ++n) {
            controllers[n] = n == sustainPedalCC ? Route::performance
                             : localCCs.contains(n) ? Route::local
                                                    : Route::control;
            notes[n] = PushMIDIMap::padNotes.contains(n)  ? Route::performance
                       : forwardedTouchNotes.contains(n) ? Route::control
                                                          : Route::drop;
        }
    }
};

constexpr RouteTable table;

Route routeControl(const MIDIMessage::ControlChange& m) {
    if (m.channel != liveChannel) return Route::performance;
    return m.controller < 128 ? table.controllers[m.controller] : Route::control;
}

Route routeNote(std::uint8_t channel, std::uint8_t note) {
    if (channel != liveChannel) return Route::performance;
    return note < 128 ? table.notes[note] : Route::drop;
}

}  // namespace

Route route(const MIDIMessage& message) {
    return std::visit(Overloaded{
                          [](const MIDIMessage::PolyPressure&) { return Route::performance; },
                          [](const MIDIMessage::ChannelPressure&) { return Route::performance; },
                          [](const MIDIMessage::PitchBend&) { return Route::performance; },
                          [](const MIDIMessage::ControlChange& m) { return routeControl(m); },
                          [](const MIDIMessage::NoteOn& m) { return routeNote(m.channel, m.note); },
                          [](const MIDIMessage::NoteOff& m) { return routeNote(m.channel, m.note); },
                          [](const auto&) { return Route::drop; },
                      },
                      message.value);
}

Route route(const MIDIMessage& message, bool repeatOn) {
    const Route first = route(message);
    if (first == Route::local && !repeatOn) {
        const auto* cc = message.as<MIDIMessage::ControlChange>();
        if (cc != nullptr && PushMIDIMap::sceneButtonCCs.contains(cc->controller)) return Route::control;
    }
    return first;
}

}  // namespace corvane::Router
