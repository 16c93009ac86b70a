#include "corvane_diag/MPEProbeCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "core/PushSysEx.h"
#include "corvane_diag/CommandRun.h"
#include "corvane_diag/HardwareCommands.h"
#include "corvane_diag/PushPort.h"
#include "corvane_diag/TextFormat.h"

namespace corvane {

namespace {

using TextFormat::join;

constexpr std::uint8_t mpeMode = 2;
constexpr std::size_t noteOrderLimit = 32;
constexpr std::uint8_t slideController = 74;
constexpr double confirmDelay = 0.2;
constexpr double confirmTimeout = 2.5;
constexpr double firstAnswerTimeout = 2.0;
constexpr double silenceTimeout = 180.0;

enum class Phase { reading, confirmingMode, watching, restoring, verifying };

struct ControllerRange {
    std::uint8_t low, high;
    int count;
};

struct ChannelStats {
    int noteOns = 0;
    int noteOffs = 0;
    std::set<std::uint8_t> notes;
    int polyPressure = 0;
    int channelPressure = 0;
    std::uint8_t channelPressurePeak = 0;
    std::map<std::uint8_t, ControllerRange> ccs;
    int bendCount = 0;
    std::uint16_t bendLow = 8192;
    std::uint16_t bendHigh = 8192;
};

double semitones(int rawOffset) { return static_cast<double>(rawOffset) / 8192 * 48; }

class MPEProbe {
public:
    MPEProbe(CommandRun& run, double seconds)
        : run_(run), seconds_(seconds), wholeSeconds_(static_cast<std::int64_t>(seconds)) {}

    int start() {
        port_ = openPushNow(run_,
                            everyMessagePath(run_, [this](const MIDIMessage& message) { handle(message); }));
        if (!port_) return run_.status();
        run_.catchInterrupt([this] { interrupted(); });
        run_.print("Reading your aftertouch mode before changing anything…");
        askMode();
        run_.after(firstAnswerTimeout, [this] {
            if (phase_ != Phase::reading) return;
            run_.print("The Push didn't answer the aftertouch question (SysEx 0x1F). Nothing was changed.");
            run_.finish(1);
        });
        return run_.wait();
    }

private:
    void askMode() { sendBody(*port_, Bytes{PushSysEx::getAftertouchMode}); }
    void setMode(std::uint8_t mode) { sendBody(*port_, Bytes{PushSysEx::setAftertouchMode, mode}); }

    static std::string modeText(std::uint8_t mode) {
        return std::to_string(mode) + " (" + aftertouchModeName(mode) + ")";
    }

    void handle(const MIDIMessage& message) {
        if (const auto* sysex = message.as<MIDIMessage::Sysex>()) {
            auto body = PushSysEx::body(sysex->bytes);
            if (body && body->size() >= 2 && (*body)[0] == PushSysEx::getAftertouchMode)
                modeReply((*body)[1]);
            return;
        }
        record(message);
    }

    void modeReply(std::uint8_t mode) {
        switch (phase_) {
            case Phase::reading:
                savedMode_ = mode;
                run_.print("Your aftertouch mode: " + modeText(mode));
                if (mode != mpeMode) {
                    run_.print("Setting mode 2 (MPE) …");
                    setMode(mpeMode);
                    phase_ = Phase::confirmingMode;
                    run_.after(confirmDelay, [this] { askMode(); });
                    run_.after(confirmTimeout, [this] {
                        if (phase_ != Phase::confirmingMode) return;
                        run_.print("The Push never confirmed mode 2. Restoring and stopping.");
                        restoreAndVerify();
                    });
                } else {
                    run_.print("Already in MPE — probing without writing anything.");
                    readBack_ = mpeMode;
                    phase_ = Phase::watching;
                    run_.print("");
                    startWatching();
                }
                break;
            case Phase::confirmingMode:
                readBack_ = mode;
                if (mode != mpeMode) {
                    run_.print("The Push reports mode " + modeText(mode) +
                               " after being told 2: it refused MPE.");
                    restoreAndVerify();
                } else {
                    run_.print("Confirmed: the Push is in mode 2 (MPE).");
                    phase_ = Phase::watching;
                    run_.print("");
                    startWatching();
                }
                break;
            case Phase::watching:
            case Phase::restoring:
                break;
            case Phase::verifying:
                printSummary();
                run_.print("");
                if (savedMode_ && *savedMode_ == mode) {
                    run_.print("Restored: your aftertouch mode is " + modeText(mode) + " again.");
                    run_.print(
                        "Note: §4.2 warns 0x1E may also touch the Push's Expression/Sensitivity settings — "
                        "worth a "
                        "look.");
                    run_.finish(0);
                } else {
                    run_.print("Restore MISMATCH: wanted " +
                               (savedMode_ ? std::to_string(*savedMode_) : "?") + ", the Push reports " +
                               std::to_string(mode) + ".");
                    run_.finish(1);
                }
                break;
        }
    }

    void startWatching() {
        const std::string n = std::to_string(wholeSeconds_);
        run_.print("Take your time — the " + n + " s only start on your first pad hit. Do all four:");
        run_.print("  1. hold a single pad and press into it (per-note pressure)");
        run_.print("  2. hold three or four pads at once (member-channel allocation)");
        run_.print("  3. slide a finger up and down on a held pad (CC 74)");
        run_.print("  4. slide a finger left and right on a held pad, as far as it goes (per-note bend)");
        run_.print("Ctrl-C stops early and still restores your mode.");
        run_.after(silenceTimeout, [this] {
            if (phase_ != Phase::watching || windowStarted_) return;
            run_.print("Three minutes with no MIDI at all. Restoring your mode.");
            restoreAndVerify();
        });
    }

    void record(const MIDIMessage& message) {
        if (phase_ != Phase::watching) return;
        if (!windowStarted_) {
            windowStarted_ = true;
            run_.print("Heard you — collecting for " + std::to_string(wholeSeconds_) + " s from now.");
            run_.after(seconds_, [this] { restoreAndVerify(); });
        }
        if (const auto* on = message.as<MIDIMessage::NoteOn>()) {
            ChannelStats& channel = stats_[on->channel];
            if (on->velocity > 0) {
                ++channel.noteOns;
                channel.notes.insert(on->note);
                if (noteOrder_.size() < noteOrderLimit) noteOrder_.emplace_back(on->channel, on->note);
            } else {
                ++channel.noteOffs;
            }
        } else if (const auto* off = message.as<MIDIMessage::NoteOff>()) {
            ++stats_[off->channel].noteOffs;
        } else if (const auto* poly = message.as<MIDIMessage::PolyPressure>()) {
            ChannelStats& channel = stats_[poly->channel];
            ++channel.polyPressure;
            channel.notes.insert(poly->note);
        } else if (const auto* cc = message.as<MIDIMessage::ControlChange>()) {
            auto& ccs = stats_[cc->channel].ccs;
            auto found = ccs.find(cc->controller);
            if (found == ccs.end()) {
                ccs.emplace(cc->controller, ControllerRange{cc->value, cc->value, 1});
            } else {
                found->second.low = std::min(found->second.low, cc->value);
                found->second.high = std::max(found->second.high, cc->value);
                ++found->second.count;
            }
        } else if (const auto* pressure = message.as<MIDIMessage::ChannelPressure>()) {
            ChannelStats& channel = stats_[pressure->channel];
            ++channel.channelPressure;
            channel.channelPressurePeak = std::max(channel.channelPressurePeak, pressure->pressure);
        } else if (const auto* bend = message.as<MIDIMessage::PitchBend>()) {
            ChannelStats& channel = stats_[bend->channel];
            ++channel.bendCount;
            channel.bendLow = std::min(channel.bendLow, bend->value);
            channel.bendHigh = std::max(channel.bendHigh, bend->value);
        }
    }

    void restoreAndVerify() {
        if (phase_ != Phase::confirmingMode && phase_ != Phase::watching) return;
        if (!savedMode_) {
            run_.finish(130);
            return;
        }
        const std::uint8_t saved = *savedMode_;
        phase_ = Phase::restoring;
        run_.print("");
        run_.print("Window over. Writing your aftertouch mode (" + std::to_string(saved) + ", " +
                   aftertouchModeName(saved) + ") back…");
        setMode(saved);
        phase_ = Phase::verifying;
        run_.after(confirmDelay, [this] { askMode(); });
        run_.after(confirmTimeout, [this] {
            if (phase_ != Phase::verifying) return;
            printSummary();
            run_.print("");
            run_.print("The Push didn't confirm the restore. Check it with: corvane-diag aftertouch");
            run_.finish(1);
        });
    }

    void interrupted() {
        switch (phase_) {
            case Phase::reading:
            case Phase::restoring:
            case Phase::verifying:
                run_.finish(130);
                break;
            case Phase::confirmingMode:
            case Phase::watching:
                restoreAndVerify();
                break;
        }
    }

    std::string modeLine() const {
        if (!readBack_) return "  mode 2 accepted:        unknown, the Push never answered the read-back";
        return "  mode 2 accepted:        " + (*readBack_ == mpeMode
                                                   ? std::string("YES, read back as 2 (MPE)")
                                                   : "NO — read back " + modeText(*readBack_));
    }

    static std::string channelParts(const ChannelStats& channel) {
        std::vector<std::string> parts;
        if (channel.noteOns >= 1) {
            std::vector<std::string> notes;
            for (std::uint8_t note : channel.notes) notes.push_back(std::to_string(note));
            parts.push_back(std::to_string(channel.noteOns) + " note-on / " +
                            std::to_string(channel.noteOffs) + " off, notes " + join(notes, ","));
        }
        if (channel.polyPressure >= 1)
            parts.push_back("polyPressure ×" + std::to_string(channel.polyPressure));
        if (channel.channelPressure >= 1) {
            parts.push_back("channelPressure ×" + std::to_string(channel.channelPressure) + " peak " +
                            std::to_string(channel.channelPressurePeak));
        }
        if (channel.bendCount >= 1) {
            parts.push_back("bend ×" + std::to_string(channel.bendCount) + " raw " +
                            std::to_string(channel.bendLow) + "…" + std::to_string(channel.bendHigh) + " (" +
                            TextFormat::fixed(semitones(channel.bendLow - 8192), 1) + "…" +
                            TextFormat::signedFixed(semitones(channel.bendHigh - 8192), 1) + " st at ±48)");
        }
        for (const auto& [controller, range] : channel.ccs) {
            parts.push_back("CC " + std::to_string(controller) + " ×" + std::to_string(range.count) + " " +
                            std::to_string(range.low) + "…" + std::to_string(range.high) +
                            (controller == slideController ? " (MPE slide)" : ""));
        }
        return parts.empty() ? "—" : join(parts, "; ");
    }

    void printSummary() {
        run_.print("");
        run_.print("=== what arrived, by channel (MIDI channel numbers, 1-based) ===");
        if (stats_.empty()) {
            run_.print("  nothing at all — not one message, not even a button CC on channel 1.");
            run_.print("");
            run_.print("=== verdict: INCONCLUSIVE ===");
            run_.print(modeLine());
            run_.print("  everything else:        unanswered. The probe heard no MIDI, so it cannot tell");
            run_.print("                          MPE-absent from pads-not-played or port-not-sending.");
            run_.print("  next:                   check the Push sends anything at all first:");
            run_.print("                            corvane-diag midi-monitor");
            run_.print("                          press a button or pad; if that is silent too, the Live");
            run_.print("                          Port is not emitting (standalone mode?) and the probe");
            run_.print("                          cannot work until it is.");
            return;
        }
        for (const auto& [channel, stats] : stats_) {
            run_.print("  ch " + std::to_string(channel + 1) + ":  " + channelParts(stats));
        }
        if (!noteOrder_.empty()) {
            std::vector<std::string> entries;
            for (const auto& [channel, note] : noteOrder_)
                entries.push_back("ch" + std::to_string(channel + 1) + "/n" + std::to_string(note));
            run_.print("");
            run_.print("=== note-on channel order (first " + std::to_string(noteOrder_.size()) + ") ===");
            run_.print("  " + join(entries, " → "));
        }

        std::vector<std::string> noteChannels, memberChannels, pressureChannels, slideChannels, bendChannels;
        double widestBend = -1;
        for (const auto& [channel, stats] : stats_) {
            if (stats.noteOns < 1) continue;
            const std::string name = std::to_string(channel + 1);
            noteChannels.push_back(name);
            if (channel == 0) continue;
            memberChannels.push_back(name);
            if (stats.channelPressure >= 1) pressureChannels.push_back(name);
            if (stats.ccs.contains(slideController)) slideChannels.push_back(name);
            if (stats.bendCount >= 1) {
                bendChannels.push_back(name);
                const int reach = std::max(std::abs(stats.bendLow - 8192), std::abs(stats.bendHigh - 8192));
                widestBend = std::max(widestBend, semitones(reach));
            }
        }
        auto listOr = [](const std::string& prefix, const std::vector<std::string>& channels,
                         const char* separator, const std::string& none) {
            return channels.empty() ? none : prefix + join(channels, separator);
        };

        run_.print("");
        run_.print("=== verdict ===");
        run_.print(modeLine());
        run_.print("  channels carrying notes: " + listOr("", noteChannels, ", ", "none"));
        run_.print("  member channels (≠1):    " +
                   listOr("", memberChannels, ", ",
                          "none — notes stayed on channel 1, so this is NOT MPE behaviour"));
        run_.print("  per-note pressure:       " +
                   listOr("channelPressure on ch ", pressureChannels, ",", "absent"));
        run_.print("  per-note slide (CC 74):  " + listOr("on ch ", slideChannels, ",", "absent"));
        run_.print("  per-note bend:           " + listOr("on ch ", bendChannels, ",", "absent"));
        if (!bendChannels.empty()) {
            run_.print("  widest bend seen:        " + TextFormat::fixed(widestBend, 1) +
                       " semitones at the assumed ±48 range");
            run_.print(
                "                           (if you bent a pad fully and this is far under 48, the range "
                "differs)");
        }
        auto first = stats_.find(0);
        const bool controlsOnFirst = first != stats_.end() && !first->second.ccs.empty();
        run_.print("  controls still on ch 1:  " +
                   std::string(controlsOnFirst ? "yes" : "no CC traffic on channel 1 during the window"));
    }

    CommandRun& run_;
    const double seconds_;
    const std::int64_t wholeSeconds_;
    Phase phase_ = Phase::reading;
    std::optional<std::uint8_t> savedMode_;
    std::optional<std::uint8_t> readBack_;
    std::map<std::uint8_t, ChannelStats> stats_;
    bool windowStarted_ = false;
    std::vector<std::pair<std::uint8_t, std::uint8_t>> noteOrder_;
    std::shared_ptr<MIDIDevicePort> port_;
};

}  // namespace

int mpeProbeCommand(DiagEnvironment& environment, double seconds) {
    auto run = CommandRun::create(environment);
    // The window is printed in whole seconds, so it must be finite and fit an integer.
    constexpr double largest = static_cast<double>(std::numeric_limits<std::int32_t>::max());
    if (!std::isfinite(seconds) || seconds < 0 || seconds > largest) {
        run->print("error: --seconds must be a number of seconds from 0 to " +
                   std::to_string(std::numeric_limits<std::int32_t>::max()));
        return 1;
    }
    MPEProbe probe(*run, seconds);
    return probe.start();
}

}  // namespace corvane
