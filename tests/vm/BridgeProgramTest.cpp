// The built corvane-bridge program as the user starts it, more than once, on a real kernel's
// sequencer: a second client of it plays the Push 3, a third the Cubase script's notes input.

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <thread>
#include <utility>

#include "core/PushInputDecoder.h"
#include "core/PushSysEx.h"
#include "tests/support/ReadFile.h"
#include "tests/vm/RealKernel.h"
#include "tests/vm/ReceivedRuns.h"
#include "tests/vm/SequencerPeer.h"
#include "tests/support/TemporaryFolder.h"

extern char** environ;

namespace corvane::vm {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// One corvane-bridge process, its standard error in a file; killed if still running at the end.
class BridgeProcess {
public:
    BridgeProcess(const fs::path& home, const fs::path& errors) : errors_(errors) {
        std::vector<std::string> environment;
        for (char** entry = environ; *entry != nullptr; ++entry) {
            const std::string_view text(*entry);
            if (text.starts_with("DISPLAY=") || text.starts_with("WAYLAND_DISPLAY=") ||
                text.starts_with("XDG_"))
                continue;
            environment.emplace_back(text);
        }
        environment.push_back("XDG_RUNTIME_DIR=" + (home / "runtime").string());
        environment.push_back("XDG_STATE_HOME=" + (home / "state").string());
        environment.push_back("XDG_CONFIG_HOME=" + (home / "config").string());
        std::vector<char*> envp;
        for (auto& entry : environment) envp.push_back(entry.data());
        envp.push_back(nullptr);
        std::string program = CORVANE_BRIDGE_PROGRAM;
        std::string option = "--no-menu-bar";
        char* argv[] = {program.data(), option.data(), nullptr};
        // Made before the fork: the child of a threaded process may only make system calls.
        const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(err, STDERR_FILENO);
            ::execve(argv[0], argv, envp.data());
            ::_exit(127);
        }
        ::close(err);
    }
    ~BridgeProcess() { kill(SIGKILL); }

    pid_t pid() const { return pid_; }
    std::string errors() const { return readFile(errors_); }

    // The exit status once it has ended within `time`.
    std::optional<int> waitForExit(std::chrono::milliseconds time) {
        for (const auto until = std::chrono::steady_clock::now() + time; pid_ > 0;) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (std::chrono::steady_clock::now() > until) return std::nullopt;
            std::this_thread::sleep_for(10ms);
        }
        return std::nullopt;
    }

    // As a debugger or an overloaded machine stops it: nothing of it runs until resume().
    // Returns once the kernel has stopped it.
    bool stop() {
        ::kill(pid_, SIGSTOP);
        const std::string stat = "/proc/" + std::to_string(pid_) + "/stat";
        for (const auto until = std::chrono::steady_clock::now() + 5s;
             std::chrono::steady_clock::now() < until;) {
            // The state follows the parenthesised command name.
            const std::string text = readFile(stat);
            const auto name = text.rfind(')');
            if (name != std::string::npos && name + 2 < text.size() && text[name + 2] == 'T') return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    }
    void resume() { ::kill(pid_, SIGCONT); }

    void kill(int signal) {
        if (pid_ <= 0) return;
        ::kill(pid_, signal);
        ::waitpid(pid_, nullptr, 0);
        pid_ = 0;
    }

private:
    fs::path errors_;
    pid_t pid_ = -1;
};

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

bool endsWith(const Bytes& bytes, const Bytes& tail) {
    return bytes.size() >= tail.size() && std::equal(tail.begin(), tail.end(), bytes.end() - tail.size());
}

// The LED values the Push shows after these bytes, by status byte and number: the note-ons and
// controllers among them. Data bytes are below 0x80, system-exclusive ones too, so every status
// byte found is one.
using LEDTable = std::map<std::pair<std::uint8_t, std::uint8_t>, std::uint8_t>;

LEDTable ledTable(const Bytes& bytes) {
    LEDTable table;
    for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
        const std::uint8_t kind = bytes[i] & 0xF0;
        if (kind != 0x90 && kind != 0xB0) continue;
        table[{bytes[i], bytes[i + 1]}] = bytes[i + 2];
        i += 2;
    }
    return table;
}

// Each control the host was last sent, by status byte and number (0 for a pitch bend or channel
// pressure), from bytes decoded with running status off.
using ControlTable = std::map<std::pair<std::uint8_t, std::uint8_t>, int>;

ControlTable controlTable(const Bytes& bytes) {
    ControlTable table;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const std::uint8_t kind = bytes[i] & 0xF0;
        if (kind == 0xD0 && i + 1 < bytes.size()) {
            table[{bytes[i], 0}] = bytes[i + 1];
            i += 1;
        } else if (kind == 0xE0 && i + 2 < bytes.size()) {
            table[{bytes[i], 0}] = bytes[i + 1] | bytes[i + 2] << 7;
            i += 2;
        } else if ((kind == 0xA0 || kind == 0xB0) && i + 2 < bytes.size()) {
            table[{bytes[i], bytes[i + 1]}] = bytes[i + 2];
            i += 2;
        }
    }
    return table;
}

// Whether these bytes end the note: a note-off, or a note-on of velocity 0.
bool endsNote(const Bytes& bytes, std::uint8_t channel, std::uint8_t note) {
    for (std::size_t i = 0; i + 2 < bytes.size(); ++i) {
        const bool off = bytes[i] == (0x80 | channel) || (bytes[i] == (0x90 | channel) && bytes[i + 2] == 0);
        if (off && bytes[i + 1] == note) return true;
    }
    return false;
}

class RealBridgeProgram : public ::testing::Test {
protected:
    void SetUp() override {
        CORVANE_REQUIRE(sequencerMissing());
        home = newTemporaryFolder("corvane-vm-program");
        ASSERT_FALSE(home.empty());
        fs::create_directories(home / "runtime");
        fs::permissions(home / "runtime", fs::perms::owner_all);
        push = std::make_unique<SequencerPeer>();
    }
    void TearDown() override {
        push.reset();
        if (!home.empty()) fs::remove_all(home);
    }

    std::unique_ptr<BridgeProcess> start(const std::string& name) {
        return std::make_unique<BridgeProcess>(home, home / (name + ".stderr"));
    }

    // True once the Push has been lit, given its settings and asked for the rest, and then
    // left alone for a moment.
    bool waitUntilSetUp() {
        const Bytes lastQuestion = PushSysEx::settingsQueries().back();
        for (const auto until = std::chrono::steady_clock::now() + 30s;  // a bound for a slow guest
             std::chrono::steady_clock::now() < until;) {
            const Bytes before = push->received();
            std::this_thread::sleep_for(300ms);
            const Bytes after = push->received();
            if (after == before && endsWith(after, lastQuestion)) return true;
        }
        return false;
    }

    // More pad notes from the Push than a stopped bridge's input holds; how many were refused.
    std::size_t floodFromPush() {
        std::size_t refused = 0;
        const std::uint8_t other = PushInputDecoder::padNote(0, 0);
        for (int i = 0; i < 1050; ++i) {
            refused += push->send(Bytes{0x90, other, 100});
            refused += push->send(Bytes{0x80, other, 0});
        }
        return refused;
    }

    // A program reading every "Corvane Notes", as Cubase does.
    std::unique_ptr<SequencerPeer> listenToNotes(std::size_t inputPool = 2000) {
        auto notes = std::make_unique<SequencerPeer>("Cubase", "Tessaly Notes In", inputPool);
        for (const auto& port : portsNamed("Corvane Bridge", "Corvane Notes"))
            notes->connectFrom(port.address);
        return notes;
    }

    // Until the bridge says this on standard error at least once; a bound for a slow guest.
    static bool waitForError(BridgeProcess& bridge, const std::string& text) {
        for (const auto until = std::chrono::steady_clock::now() + 30s;
             std::chrono::steady_clock::now() < until;) {
            if (bridge.errors().find(text) != std::string::npos) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }

    // A pad pressed and released plays a note and ends it.
    bool padPlays(SequencerPeer& notes) {
        notes.clearReceived();
        const std::uint8_t pad = PushInputDecoder::padNote(4, 4);
        push->send(Bytes{0x90, pad, 90});
        const Bytes played = notes.waitForReceived(3, 30s);
        push->send(Bytes{0x80, pad, 0});
        return played.size() >= 3 && (played[0] & 0xF0) == 0x90 && played[2] == 90;
    }

    fs::path home;
    std::unique_ptr<SequencerPeer> push;
};

TEST_F(RealBridgeProgram, ASecondStartLeavesThePushToTheFirstAndAKilledFirstBlocksNoOne) {
    auto first = start("first");
    ASSERT_TRUE(waitUntilSetUp()) << first->errors();
    ASSERT_EQ(portsNamed("Corvane Bridge", "Corvane Notes").size(), 1u);
    push->clearReceived();

    auto second = start("second");
    // Only a bound: an emulated guest on a busy machine may take seconds to load a program.
    EXPECT_EQ(second->waitForExit(30s), std::optional<int>(0));
    EXPECT_EQ(second->errors(),
              "corvane-bridge is already running (process " + std::to_string(first->pid()) + ")\n");
    std::this_thread::sleep_for(300ms);
    EXPECT_TRUE(push->received().empty())
        << "the second bridge sent the Push " << push->received().size() << " bytes";
    EXPECT_EQ(portsNamed("Corvane Bridge", "Corvane Notes").size(), 1u);

    // One pad press, one note, as Cubase hears it when it listens to every "Corvane Notes".
    SequencerPeer notes("Cubase", "Tessaly Notes In");
    for (const auto& port : portsNamed("Corvane Bridge", "Corvane Notes")) notes.connectFrom(port.address);
    push->send(Bytes{0x90, PushInputDecoder::padNote(0, 0), 100});
    const Bytes played = notes.waitForReceived(3);
    ASSERT_EQ(played.size(), 3u);
    EXPECT_EQ(played[0], 0x90);
    EXPECT_EQ(played[2], 100);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(notes.received().size(), 3u) << "more than one note-on for one pad press";
    push->send(Bytes{0x80, PushInputDecoder::padNote(0, 0), 0});

    first->kill(SIGKILL);
    push->clearReceived();
    auto third = start("third");
    EXPECT_TRUE(waitUntilSetUp()) << third->errors();
    EXPECT_EQ(third->errors().find("already running"), std::string::npos) << third->errors();
    EXPECT_FALSE(third->waitForExit(0ms).has_value()) << "the new bridge stopped";
    third->kill(SIGTERM);
}

// The bridge was stopped with a pad held; the pad's release, and more than the bridge's input
// holds, came meanwhile: the kernel threw all of it away.
TEST_F(RealBridgeProgram, AHeldPadWhoseReleaseWasLostInAnInputOverrunStopsSounding) {
    auto bridge = start("bridge");
    ASSERT_TRUE(waitUntilSetUp()) << bridge->errors();
    SequencerPeer notes("Cubase", "Tessaly Notes In");
    for (const auto& port : portsNamed("Corvane Bridge", "Corvane Notes")) notes.connectFrom(port.address);
    const std::uint8_t pad = PushInputDecoder::padNote(7, 7);
    push->send(Bytes{0x90, pad, 100});
    const Bytes played = notes.waitForReceived(3);
    ASSERT_EQ(played.size(), 3u);
    ASSERT_EQ(played[0] & 0xF0, 0x90);

    ASSERT_TRUE(bridge->stop());
    std::size_t refused = push->send(Bytes{0x80, pad, 0});
    refused += floodFromPush();
    EXPECT_GT(refused, 0u) << "the bridge's input never filled";
    bridge->resume();

    const Bytes heard = notes.waitForReceived(6, 30s);  // a bound for a slow guest
    ASSERT_EQ(heard.size(), 6u) << "the note still sounds";
    EXPECT_EQ(Bytes(heard.begin() + 3, heard.end()),
              (Bytes{static_cast<std::uint8_t>(0x80 | (played[0] & 0x0F)), played[1], 0}));
}

// The Push read nothing for a while, and the kernel threw away what it had queued for it.
TEST_F(RealBridgeProgram, APushThatReadNothingForAWhileGetsItsLEDsBackOnceItReadsAgain) {
    push = std::make_unique<SequencerPeer>("Ableton Push 3", push3PortName, 500);
    auto bridge = start("bridge");
    ASSERT_TRUE(waitUntilSetUp()) << bridge->errors();
    LEDTable expected = ledTable(push->received());
    // The last thing the Push is to show: a pad held down.
    const std::uint8_t pad = PushInputDecoder::padNote(7, 7);
    push->clearReceived();
    push->send(Bytes{0x90, pad, 100});
    const LEDTable pressed = ledTable(push->waitForReceived(3));
    ASSERT_EQ(pressed.size(), 1u);
    ASSERT_EQ(pressed.begin()->first.second, pad);
    push->send(Bytes{0x80, pad, 0});
    ASSERT_EQ(push->waitForReceived(6).size(), 6u);

    push->setReading(false);
    const std::uint8_t other = PushInputDecoder::padNote(0, 0);
    for (int i = 0; i < 400; ++i) {
        push->send(Bytes{0x90, other, 100});
        push->send(Bytes{0x80, other, 0});
    }
    push->send(Bytes{0x90, pad, 100});
    expected[pressed.begin()->first] = pressed.begin()->second;
    // A slow guest may take its time to fill the Push's input: until it has, nothing was lost.
    for (const auto until = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < until && occurrences(bridge->errors(), "MIDI send dropped") == 0;)
        std::this_thread::sleep_for(50ms);
    ASSERT_GT(occurrences(bridge->errors(), "MIDI send dropped"), 0u) << "the Push's input never filled";
    push->clearReceived();
    push->setReading(true);

    for (const auto until = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < until && ledTable(push->received()) != expected;)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(ledTable(push->received()), expected);
    // Hundreds of refused sends, a line or two in the log.
    EXPECT_LE(occurrences(bridge->errors(), "MIDI send dropped"), 2u) << bridge->errors();
}

// The bridge was stopped with the sustain pedal down, the touch strip at its top and a pad
// pressed hard; their releases, and more than the bridge's input holds, came meanwhile.
TEST_F(RealBridgeProgram, APedalABendAndPressureWhoseReleasesWereLostInAnOverrunGoBackToRest) {
    auto bridge = start("bridge");
    ASSERT_TRUE(waitUntilSetUp()) << bridge->errors();
    auto notes = listenToNotes();
    const std::uint8_t pad = PushInputDecoder::padNote(7, 7);
    push->send(Bytes{0xB0, 64, 127});
    push->send(Bytes{0xE0, 0x7F, 0x7F});
    push->send(Bytes{0x90, pad, 100});
    push->send(Bytes{0xD0, 96});
    const Bytes held = notes->waitForReceived(11, 30s);
    ASSERT_EQ(held.size(), 11u);
    const ControlTable before = controlTable(held);
    ASSERT_EQ(before.at({0xB0, 64}), 127);

    ASSERT_TRUE(bridge->stop());
    std::size_t refused = push->send(Bytes{0xD0, 0});
    refused += push->send(Bytes{0x80, pad, 0});
    refused += push->send(Bytes{0xE0, 0x00, 0x40});
    refused += push->send(Bytes{0xB0, 64, 0});
    refused += floodFromPush();
    EXPECT_GT(refused, 0u) << "the bridge's input never filled";
    bridge->resume();

    const ControlTable rest{{{0xB0, 64}, 0}, {{0xD0, 0}, 0}, {{0xE0, 0}, 8192}};
    for (const auto until = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < until && controlTable(notes->received()) != rest;)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(controlTable(notes->received()), rest);
    EXPECT_TRUE(endsNote(notes->received(), held[6] & 0x0F, held[7]));
}

// The program reading "Corvane Notes" stopped reading while a pad was released and more notes
// came than its input holds: the kernel threw its queue away, the pad's note-off with it or
// refused. However slowly the machine runs the bridge, notes go on coming until that input has
// filled.
TEST_F(RealBridgeProgram, ANoteOffAStalledHostLostReachesItOnceItReadsAgain) {
    auto bridge = start("bridge");
    ASSERT_TRUE(waitUntilSetUp()) << bridge->errors();
    auto notes = listenToNotes(200);
    const std::uint8_t pad = PushInputDecoder::padNote(7, 7);
    push->send(Bytes{0x90, pad, 100});
    const Bytes played = notes->waitForReceived(3, 30s);
    ASSERT_EQ(played.size(), 3u);

    notes->setReading(false);
    push->send(Bytes{0x80, pad, 0});
    const std::uint8_t other = PushInputDecoder::padNote(0, 0);
    const std::uint8_t marker = PushInputDecoder::padNote(1, 7);
    const auto filled = [&] { return bridge->errors().find("MIDI send dropped") != std::string::npos; };
    // In bursts the bridge's own input holds, each once the bridge has passed the last one on:
    // the Push has the LEDs of the marker pad pressed and let go after it.
    for (const auto until = std::chrono::steady_clock::now() + 180s;
         !filled() && std::chrono::steady_clock::now() < until;) {
        push->clearReceived();
        for (int i = 0; i < 100; ++i) {
            push->send(Bytes{0x90, other, 100});
            push->send(Bytes{0x80, other, 0});
        }
        push->send(Bytes{0x90, marker, 100});
        push->send(Bytes{0x80, marker, 0});
        // A bound only: a burst the bridge lost in an overrun of its own input lights nothing.
        for (const auto burstUntil = std::chrono::steady_clock::now() + 10s;
             !filled() && std::chrono::steady_clock::now() < burstUntil;) {
            const Bytes lit = push->received();
            std::size_t markerLEDs = 0;
            for (std::size_t i = 0; i + 2 < lit.size(); ++i) {
                if (lit[i] == 0x90 && lit[i + 1] == marker) ++markerLEDs;
            }
            if (markerLEDs >= 2) break;
            std::this_thread::sleep_for(20ms);
        }
    }
    ASSERT_TRUE(filled()) << "the host's input never filled";
    notes->clearReceived();
    notes->setReading(true);

    for (const auto until = std::chrono::steady_clock::now() + 60s;
         std::chrono::steady_clock::now() < until &&
         !endsNote(notes->received(), played[0] & 0x0F, played[1]);)
        std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(endsNote(notes->received(), played[0] & 0x0F, played[1])) << "the note still sounds";
}

// The bridge was stopped while more than its input holds came from the Push, which stayed where
// it was. The pedal and a pad pressed once it reads again stay held at the host, through the
// bridge's handling of the loss, and the Push is set up again without being taken for re-plugged.
TEST_F(RealBridgeProgram, AfterAnOverrunWithTheSamePushWhatIsPlayedThenStaysHeldAndNoReplugIsLogged) {
    auto bridge = start("bridge");
    ASSERT_TRUE(waitUntilSetUp()) << bridge->errors();
    auto notes = listenToNotes();

    ASSERT_TRUE(bridge->stop());
    ASSERT_GT(floodFromPush(), 0u) << "the bridge's input never filled";
    push->clearReceived();
    bridge->resume();
    // Each sent again until taken, so at the first moment the kernel has thrown the bridge's
    // queue away: read, most likely, before the bridge's main queue has handled the loss.
    const auto sendUntilTaken = [&](const Bytes& bytes) {
        for (const auto until = std::chrono::steady_clock::now() + 30s;
             std::chrono::steady_clock::now() < until;) {
            if (push->send(bytes) == 0) return true;
            std::this_thread::sleep_for(1ms);
        }
        return false;
    };
    ASSERT_TRUE(sendUntilTaken(Bytes{0xB0, 64, 127})) << "the bridge's input never took more";
    ASSERT_TRUE(sendUntilTaken(Bytes{0x90, PushInputDecoder::padNote(7, 7), 100}));

    std::optional<std::pair<std::uint8_t, std::uint8_t>> played;  // channel and note
    for (const auto until = std::chrono::steady_clock::now() + 30s;
         std::chrono::steady_clock::now() < until && !played;) {
        const Bytes heard = notes->received();
        for (std::size_t i = 0; i + 2 < heard.size(); ++i) {
            if ((heard[i] & 0xF0) == 0x90 && heard[i + 2] > 0)
                played = {static_cast<std::uint8_t>(heard[i] & 0x0F), heard[i + 1]};
        }
        if (!played) std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(played) << "the pad played nothing";
    // The set-up sent again shows that the bridge has handled the loss.
    EXPECT_TRUE(waitUntilSetUp()) << bridge->errors();
    const ControlTable controls = controlTable(notes->received());
    EXPECT_EQ(controls.count({0xB0, 64}) > 0 ? controls.at({0xB0, 64}) : -1, 127) << "the pedal was let go";
    EXPECT_FALSE(endsNote(notes->received(), played->first, played->second)) << "the note was ended";
    EXPECT_EQ(occurrences(bridge->errors(), "Push MIDI disconnected"), 0u) << bridge->errors();
    EXPECT_EQ(occurrences(bridge->errors(), "Push MIDI connected"), 1u) << bridge->errors();
    push->send(Bytes{0x80, PushInputDecoder::padNote(7, 7), 0});
    push->send(Bytes{0xB0, 64, 0});
}

// The Push went away and came back at the same address while the bridge was stopped: without
// anything lost, and with the bridge's input overflowing first so that the kernel's notices of
// the change were lost with it. Either way the bridge binds it again and sets it up whole.
TEST_F(RealBridgeProgram, APushReplugWhileTheBridgeWasStoppedIsFoundAndSetUpAgain) {
    auto bridge = start("bridge");
    ASSERT_TRUE(waitUntilSetUp()) << bridge->errors();
    auto notes = listenToNotes();
    const auto address = push->address();
    const std::size_t wholeSetUp = ledTable(push->received()).size();
    for (const bool overflow : {false, true}) {
        SCOPED_TRACE(overflow ? "with an overrun" : "without an overrun");
        ASSERT_TRUE(bridge->stop());
        if (overflow) {
            ASSERT_GT(floodFromPush(), 0u) << "the bridge's input never filled";
        }
        push->removePort();
        push->addPort();
        ASSERT_EQ(push->address(), address);
        push->clearReceived();
        std::this_thread::sleep_for(overflow ? 300ms : 3s);
        bridge->resume();

        EXPECT_TRUE(waitUntilSetUp()) << bridge->errors();
        EXPECT_GE(ledTable(push->received()).size(), wholeSetUp) << "not the whole set-up";
        EXPECT_TRUE(padPlays(*notes));
    }
}

}  // namespace
}  // namespace corvane::vm
