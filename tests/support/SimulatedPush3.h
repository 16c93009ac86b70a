#pragma once
// An Ableton Push 3 on the simulated MIDI system, playing the device's side of its Live Port: it
// answers the identity request and its system-exclusive queries from the values it holds, takes
// the settings and palette entries it is sent, keeps the value of every LED, records everything
// it receives, and sends any control on demand. Thread-safe: what it receives is handled on the
// system's delivery thread, and tests may call it from any thread (the waits from the main one).
//
// Plugging it in or out is a set-up change: the bridge hears of it on the main queue, so pump
// (system->settle(), or a wait below) before expecting the bridge to have bound or unbound it.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/LEDTarget.h"
#include "core/MIDIMessage.h"
#include "core/PushMIDIMap.h"
#include "core/PushSettingTypes.h"
#include "core/PushSysEx.h"
#include "tests/support/SimulatedMIDISystem.h"

namespace corvane {

class SimulatedPush3 {
public:
    static constexpr const char* portName = "Ableton Push 3 Live Port";
    static constexpr const char* userPortName = "Ableton Push 3 User Port";
    static constexpr const char* genericPortName = "Ableton Push 3 MIDI 1";
    static constexpr const char* genericUserPortName = "Ableton Push 3 MIDI 2";

    // The names its two ports, the Live Port and then the User Port, get from the kernel: after
    // their jacks (Linux 5.13 on), or generic, the card name and the port's number (older kernels).
    enum class PortNaming { jacks, generic };

    // One LED value as the Push holds it. Channel 0 is the steady value; channels 1-15 are
    // animation layers over it.
    struct LED {
        bool isNote = false;  // lit by a note number rather than a controller number
        std::uint8_t number = 0;
        std::uint8_t channel = 0;
        std::uint8_t value = 0;
        bool operator==(const LED&) const = default;
    };

    // Plugged in at once unless `plugged` is false; a fresh unique ID unless one is given (the
    // destination's is the source's + 1).
    explicit SimulatedPush3(std::shared_ptr<SimulatedMIDISystem> system, bool plugged = true,
                            std::optional<std::int32_t> uniqueID = {});
    // Unplugs.
    ~SimulatedPush3();
    SimulatedPush3(const SimulatedPush3&) = delete;
    SimulatedPush3& operator=(const SimulatedPush3&) = delete;

    // ---- Plugging. Plugging in again makes new endpoints, with a fresh unique ID unless one is
    // given (ALSA gives a re-plugged device a new one). Unplugging is a power cycle: the LEDs go
    // dark and the palette returns to the factory one; the settings stay. Both do nothing when
    // the device already is in that state.

    void plug(std::optional<std::int32_t> uniqueID = {});
    // Plugs in again at the endpoints of the last plug, as ALSA gives ports made again soon (the
    // device re-enumerated while the machine slept) the client:port addresses they had. A fresh
    // unique ID unless one is given: the last plug's plays a return the bridge did not hear of.
    void plugBack(std::optional<std::int32_t> uniqueID = {});
    void unplug();
    bool isPlugged() const;
    // The current endpoints of the Live Port (or the User Port, which plays nothing and answers
    // nothing); both 0 while unplugged.
    SimulatedMIDISystem::Device device() const;
    SimulatedMIDISystem::Device userPort() const;
    // Takes effect at the next plug; jacks unless set.
    void setPortNaming(PortNaming naming);
    // The source's unique ID of the current (or last) plug.
    std::int32_t uniqueID() const;

    // ---- Controls, sent on the live channel as the Push sends them. Nothing is sent while
    // unplugged. Rows, columns and indices are 0-7 (row 0 is the bottom row, scene button 0 the
    // top one); deltas are clamped to -64...63 and sent as seven-bit two's complement.

    void pressPad(int row, int column, std::uint8_t velocity = 100);
    void releasePad(int row, int column);  // a note-off
    void padPressure(int row, int column, std::uint8_t pressure);
    void channelPressure(std::uint8_t pressure);
    void turnEncoder(int index, int delta);
    void touchEncoder(int index, bool touched = true);  // touches are note-ons, releases velocity 0
    void turnVolumeEncoder(int delta);
    void touchVolumeEncoder(bool touched = true);
    void turnTempoEncoder(int delta);
    void touchTempoEncoder(bool touched = true);
    void turnJogWheel(int delta);
    void touchJogWheel(bool touched = true);
    void pressButton(PushMIDIMap::Button button);  // value 127; a release is value 0
    void releaseButton(PushMIDIMap::Button button);
    void pressSceneButton(int index);
    void releaseSceneButton(int index);
    void pressUpperDisplayButton(int index);
    void releaseUpperDisplayButton(int index);
    void pressLowerDisplayButton(int index);
    void releaseLowerDisplayButton(int index);
    void touchStrip(std::uint16_t value);  // pitch bend, 0...16383
    void touchStripTouch(bool touched = true);
    void touchDpadCentre(bool touched = true);
    void pedal(bool down);  // the sustain pedal
    void send(const MIDIMessage& message);
    void send(Bytes bytes);  // as they are, one packet

    // ---- What it holds. Setters play the user changing it on the device.

    // The reply to the identity request (F0 7E 7F 06 01 F7, or one addressed to `deviceID`).
    static constexpr std::uint8_t deviceID = 0x01;
    static Bytes defaultIdentityReply();
    Bytes identityReply() const;
    void setIdentityReply(Bytes reply);

    // While false, no query (identity included) is answered; commands are still taken.
    void setAnswersQueries(bool answers);
    // Answers the next `count` queries, then falls silent as with setAnswersQueries(false).
    void answerQueries(std::size_t count);
    // While false, system-exclusive commands that would change the device are ignored, as by a
    // device that refuses them; queries are still answered.
    void setTakesWrites(bool takes);

    int ledBrightness() const;  // 0...127
    void setLEDBrightness(int value);
    int displayBrightness() const;  // 0...255
    void setDisplayBrightness(int value);
    std::uint8_t aftertouchMode() const;  // raw: any byte can be held, to play a confused device
    void setAftertouchMode(AftertouchMode mode);
    void setAftertouchModeRaw(std::uint8_t raw);
    // The preamp raw value of input 0 or 1.
    std::uint8_t preamp(int input) const;
    std::array<std::uint8_t, 128> velocityCurve() const;
    void setVelocityCurve(const std::array<std::uint8_t, 128>& curve);

    // Palette entries as stored (what a query answers, written by set-palette commands) and as
    // shown (the stored ones as of the last reapply).
    static PushSysEx::PaletteEntry factoryPaletteEntry(std::uint8_t index);
    PushSysEx::PaletteEntry paletteEntry(std::uint8_t index) const;
    PushSysEx::PaletteEntry shownPaletteEntry(std::uint8_t index) const;
    // Stores and shows the entry.
    void setPaletteEntry(const PushSysEx::PaletteEntry& entry);
    int reapplyCount() const;

    // ---- LEDs. 0 is off, and is what an LED never set shows.

    std::uint8_t ledCC(std::uint8_t controller, std::uint8_t channel = 0) const;
    std::uint8_t ledNote(std::uint8_t note, std::uint8_t channel = 0) const;
    std::uint8_t led(const LEDTarget& target, std::uint8_t channel = 0) const;
    std::uint8_t ledButton(PushMIDIMap::Button button, std::uint8_t channel = 0) const;
    std::uint8_t ledPad(int row, int column, std::uint8_t channel = 0) const;
    std::uint8_t ledSceneButton(int index, std::uint8_t channel = 0) const;
    // Every LED not at 0, on any channel: controllers before notes, by number, then by channel.
    std::vector<LED> litLEDs() const;

    // ---- What it received (across plugs) and sent, in order.

    std::vector<MIDIMessage> received() const;
    std::size_t receivedCount() const;
    // Every system-exclusive message, F0 to F7.
    std::vector<Bytes> receivedSysex() const;
    // The bodies of the Push system-exclusive commands (between header and F7).
    std::vector<Bytes> commandsReceived() const;
    // Every byte run it sent: controls and replies.
    std::vector<Bytes> sent() const;
    void clearReceived();  // received messages and sent runs

    // ---- Waiting, on the main thread: pumps the main queue until the condition holds; false
    // after `timeout`.

    bool waitForMessages(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    bool waitUntil(const std::function<bool()>& condition,
                   std::chrono::milliseconds timeout = std::chrono::seconds(5));

    struct State;

private:
    void plugIn(std::optional<std::int32_t> uniqueID, bool back);

    std::shared_ptr<State> state_;
};

}  // namespace corvane
