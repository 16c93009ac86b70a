#pragma once
// The bridge between the Push 3 and the Cubase script: it owns the ports, the pad player, the
// display scheduler and monitor, the host state and the on-device UI state, routes MIDI both
// ways, watches the script's heartbeat, keeps the Push's LEDs and display in step and publishes
// its status.
//
// Shared-owned: create() is the only way to make one. Every callback, timer and deferred work
// item it hands out holds it weakly and does nothing once it is gone, and its last owner letting
// go off the main thread hands the destruction to the main queue. Its destructor stops the
// display monitor and the ports before the pad player and the scheduler, and touches no
// hardware beyond releasing it (shutdown() is the orderly stop). Most of it runs on the main
// queue; the receive callbacks of its ports run on the receive thread, and the pad player's
// sends (notes and pad LEDs) also on the note-repeat thread, where a refused one only leaves
// word for the main queue.
//
// Implementation split by concern: Bridge.cpp (start-up, ports, MIDI traffic, shutdown),
// BridgeHost.cpp (host messages, the Cubase connection, watchdog, status), BridgeLEDs.cpp (button
// LEDs and pad colours), BridgeDisplay.cpp (display attachment, screen choice, status model),
// BridgeLocal.cpp (input handled on the device itself), BridgePages.cpp (the setup and scale pages
// and the Push's settings), BridgePopups.cpp (the transient value popups).

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "PushDisplay/Canvas.h"
#include "PushDisplay/DisplayScheduler.h"
#include "PushDisplay/Popup.h"
#include "PushDisplay/StatusModel.h"
#include "bridge/BridgeEnvironment.h"
#include "bridge/BridgeOptions.h"
#include "core/BridgeMessage.h"
#include "core/BridgeStatus.h"
#include "core/Expected.h"
#include "core/HostMessage.h"
#include "core/LEDShadow.h"
#include "core/LEDTarget.h"
#include "core/LocalUI.h"
#include "core/Log.h"
#include "core/MIDIMessage.h"
#include "core/MIDIStreamParser.h"
#include "core/PadPlayer.h"
#include "core/ProtocolError.h"
#include "core/PushInput.h"
#include "core/PushPreferences.h"
#include "core/PushSysEx.h"
#include "core/RemoteState.h"
#include "core/RepeatTimer.h"
#include "hardware/MIDIClient.h"
#include "hardware/MIDIDevicePort.h"
#include "hardware/USBDisplayMonitor.h"
#include "hardware/VirtualMIDIPort.h"
#include "platform/MainQueueSignal.h"
#include "platform/PIMutex.h"
#include "platform/RepeatingTimer.h"
#include "platform/WorkItem.h"

namespace corvane {

// The screen the display shows, first match wins: the scale page, the setup page, the status
// screen (Cubase away, just connected, or a protocol problem), then the host's page.
enum class BridgeScreen { scale, setup, status, track, mix, device, tracks };

class Bridge : public std::enable_shared_from_this<Bridge> {
public:
    static constexpr std::string_view clientName = "Corvane Bridge";
    static constexpr std::string_view controlPortName = "Corvane";
    static constexpr std::int32_t controlUniqueID = 0x50464301;  // its destination is one higher
    static constexpr std::string_view notesPortName = "Corvane Notes";
    static constexpr std::int32_t notesUniqueID = 0x50464311;
    static constexpr int displayProductID = 0x1969;
    // Largest system-exclusive message read from either side, F0 included.
    static constexpr std::int64_t maxSysexLength = 0x10000;

    // Messages counted on the two paths; never reset.
    struct Counters {
        std::int64_t midiFromPush = 0;    // from the Push, passed to the script
        std::int64_t midiToPush = 0;      // channel messages from the script, passed to the Push
        std::int64_t midiToCubase = 0;    // sent on "Corvane" for the Push
        std::int64_t midiFromCubase = 0;  // everything received on "Corvane"
        bool operator==(const Counters&) const = default;
    };

    // Builds the bridge and starts it: ports, display, watchdog, first LED update, the saved
    // Push settings, hello to the script. Main queue. Throws MIDIError when the MIDI client or a
    // port cannot be made.
    static std::shared_ptr<Bridge> create(BridgeOptions options, BridgeEnvironment environment);
    ~Bridge();
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // The orderly stop before the process exits: notes off, the script told, the Push's palette
    // and LEDs put back, the display let go, the log flushed. Does not exit.
    void shutdown();

    BridgeStatus status() const;
    // Called on the main queue whenever the status changes.
    void setOnStatusChange(std::function<void(const BridgeStatus&)> handler);
    // The tray menu's "Diagnostics on Push": opens the setup page on its diagnostics tab, or
    // closes it when that tab is showing. Main queue.
    void toggleDiagnostics();

    // Main queue, for the status and setup screens and for tests.
    StatusModel statusModel() const;
    BridgeScreen screen() const;
    // The popup as it would be drawn now; absent when there is none or it has expired.
    std::optional<Popup> visiblePopup() const;
    const RemoteState& state() const { return state_; }
    const LocalUI& local() const { return local_; }
    bool cubaseConnected() const { return cubaseConnected_; }
    const std::optional<std::string>& protocolProblem() const { return protocolProblem_; }
    Counters counters() const;
    DisplayStats displayStats() const;

private:
    using HostResult = Expected<HostMessage, ProtocolError>;

    Bridge(BridgeOptions options, BridgeEnvironment environment);

    // Bridge.cpp
    void start();
    void setUpPorts();
    void pushConnectionChanged(bool connected);
    void setUpPush();
    void handleFromPush(const MIDIMessage& message);    // receive thread
    void handleFromCubase(const MIDIMessage& message);  // receive thread
    void inputLost();                                   // receive thread
    void letGoOfHeldButtons();
    // False when the Push's full input refused the bytes. Any thread.
    bool sendToPush(std::span<const std::uint8_t> bytes);
    void sendToScript(const BridgeMessage& message);
    // Records an LED value and sends it, under the shadow's lock, so that every LED reaches the
    // Push in the order its values were recorded. Any thread.
    void sendLED(const MIDIMessage& message);
    // Sends up to `count` recorded LEDs from `cursor` on, each read and sent under the shadow's
    // lock (so never older than a value sent meanwhile); adds them to `sent`. Stops at a refusal
    // and then returns false.
    bool sendRecordedLEDs(LEDShadow::Cursor& cursor, std::size_t count, std::size_t& sent);
    std::vector<MIDIMessage> replayLEDs() const;
    bool pushConnected() const;
    // Work for later on the main queue, skipped once the bridge is gone.
    void onMain(std::function<void(Bridge&)> work);
    WorkItem onMainAfter(double seconds, std::function<void(Bridge&)> work);

    // BridgeHost.cpp
    void handleHost(const HostResult& result, const Bytes& raw);
    void setCubaseConnected(bool connected);
    void startWatchdog();
    void watchdogTick();
    void publishStatus();
    std::string hostDescription() const;

    // BridgeLEDs.cpp
    void updateLEDs();
    void scheduleLEDUpdate();
    void updatePadColors();
    void pushSendDropped();  // any thread
    void startReplay();
    void replayStep();

    // Bridge.cpp: what the host refused of the notes port
    void notesRefused();  // any thread
    void startResend();
    void resendStep();

    // BridgeDisplay.cpp
    void setUpDisplay();
    void draw(Canvas& canvas);
    std::vector<std::string> diagnosticsLines() const;

    // BridgeLocal.cpp
    void handleLocal(const PushInput& input);
    // Each of these says whether the input changed anything the device shows.
    bool trackEncoderTurned(std::int64_t index, std::int64_t delta);
    bool jogWheelTurned(std::int64_t delta);
    bool upperDisplayButtonPressed(std::int64_t index);
    bool lowerDisplayButtonPressed(std::int64_t index);
    bool sceneButtonPressed(std::int64_t index);
    bool buttonChanged(PushMIDIMap::Button button, bool pressed);
    // Hand the device's own toggles to the pad player.
    void applyRepeat();
    void applyAccent();
    void stepOctave(int step);
    void applyPadSettings();
    void latch(bool& flag, bool pressed, std::optional<double>& since);

    // BridgePages.cpp
    void setSetup(bool open, std::optional<SetupTab> tab);
    void setScaleOverlay(bool show);
    void updateIntercept();
    bool setupChoice(std::int64_t index);
    bool setupBrightness(std::int64_t knob, std::int64_t delta);
    bool scaleEncoder(std::int64_t index, std::int64_t delta);
    void savePushPreferences();
    // The saved settings sent to the Push, then asked back so that the setup page shows its own.
    void restorePushPreferences();
    void queryPushSettings();
    void handlePushSysEx(const Bytes& body);

    // BridgePopups.cpp
    void showPopup(std::function<Popup(const Bridge&)> make);
    void showMessage(std::string title, std::string value);
    void showMasterPopup();
    void showTempoPopup();
    void showOctavePopup();

    static double now();

    const BridgeOptions options_;
    Log& log_;
    const std::shared_ptr<SettingsStore> settings_;
    std::shared_ptr<MIDIBackend> midiBackend_;
    std::function<RealtimeGrant()> promoteRepeatThread_;
    std::shared_ptr<MIDIClient> client_;
    std::shared_ptr<MIDIDevicePort> push_;
    std::unique_ptr<VirtualMIDIPort> control_;
    std::unique_ptr<VirtualMIDIPort> notes_;
    // Set once every port is made, cleared by shutdown(); the receive threads pass nothing on
    // while it is false.
    std::atomic<bool> portsReady_{false};
    // After shutdown() no deferred work, timer or device change reaches the Push or the script
    // again: the process is about to end, and nothing may play or light up before it does.
    bool stopped_ = false;
    std::shared_ptr<DisplayScheduler> scheduler_;
    std::unique_ptr<USBDisplayMonitor> displayMonitor_;

    // Receive thread only.
    MIDIStreamParser fromPush_{maxSysexLength};
    MIDIStreamParser fromCubase_{maxSysexLength};

    // Set by the first send the Push refused since the replay last looked; sends come from the
    // receive thread, the note-repeat thread and the main queue.
    std::atomic<bool> pushSendDropped_{false};
    // Set by the first note the host refused since the resend last looked.
    std::atomic<bool> notesRefused_{false};
    // Raised as each flag is set, to start a replay or resend on the main queue: the sending
    // thread allocates nothing and waits for nothing, as a real-time one must not.
    std::optional<MainQueueSignal> pushRefusal_;
    std::optional<MainQueueSignal> notesRefusal_;

    // Main queue.
    RemoteState state_;
    bool cubaseConnected_ = false;
    double connectedAt_;
    double lastHeartbeat_;
    std::string scriptVersion_;
    std::optional<std::string> protocolProblem_;
    std::optional<std::string> displayProblem_;
    std::optional<BridgeStatus> lastStatus_;
    std::function<void(const BridgeStatus&)> onStatusChange_;
    std::array<bool, 8> touched_{};
    LocalUI local_;
    RepeatingTimer watchdog_;
    // The transient popup: made anew at each draw, so it shows the current value, until it expires.
    struct ShownPopup {
        std::function<Popup(const Bridge&)> make;
        double expiresAt;
    };
    std::optional<ShownPopup> popup_;
    LEDValues ledsSent_;
    bool ledUpdatePending_ = false;
    // Sending again what a reader refused: batches that a reader reading as usual takes without
    // its input filling, a short pace between them, and a pause after a refusal.
    struct RetryPacing {
        static constexpr std::size_t firstBatch = 64;
        static constexpr double pace = 0.025;
        static constexpr double pause = 0.25;
    };
    // After the Push refused messages: everything it shows, sent again in batches it can take,
    // from the top whenever it refuses again, until one whole pass goes through.
    struct PushReplay {
        bool running = false;
        LEDShadow::Cursor cursor;
        std::size_t sent = 0;   // in this pass
        std::size_t batch = 0;  // LEDs at a time; smaller after a batch the Push could not take whole
        WorkItem next;
    };
    PushReplay replay_;
    // After the host refused notes: the note-offs and control values it refused or lost, sent
    // again in batches it can take until none is left.
    struct NotesResend {
        bool running = false;
        std::size_t batch = 0;
        std::size_t sent = 0;
        WorkItem next;
    };
    NotesResend resend_;
    // Turns of the track encoders on the scale page, until they add up to a step.
    std::array<std::int64_t, 8> scaleEncoderAccumulator_{};
    std::optional<double> accentPressedAt_;
    std::optional<double> repeatPressedAt_;
    std::optional<std::vector<PushSysEx::PaletteEntry>> paletteWritten_;
    bool paletteTouched_ = false;
    std::set<std::uint8_t> paletteRequested_;
    std::map<std::uint8_t, PushSysEx::PaletteEntry> paletteOriginals_;
    PushPreferences pushPreferences_;

    std::unique_ptr<PadPlayer> pads_;
    std::unique_ptr<RepeatTimer> repeatTimer_;

    // Written on the main queue, read on the Push's receive thread.
    mutable std::mutex interceptLock_;
    bool interceptControls_ = false;
    bool scenesPickRepeatRates_ = false;

    // Inherits priority: the pad player records its LEDs here holding its own lock, which the
    // real-time note-repeat thread may be waiting for.
    mutable PIMutex ledLock_;
    LEDShadow ledShadow_;

    mutable std::mutex counterLock_;
    Counters counters_;
};

}  // namespace corvane
