#include "corvane_diag/SettingsCommands.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <system_error>
#include <variant>

#include "core/PushSysEx.h"
#include "core/TextPieces.h"
#include "corvane_diag/AbletonQuery.h"
#include "corvane_diag/Arguments.h"
#include "corvane_diag/CommandRun.h"
#include "corvane_diag/PushPort.h"
#include "corvane_diag/TextFormat.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"
#include "platform/UserFile.h"

namespace corvane {

namespace VelocityCurve {

std::filesystem::path backupFile(const DiagEnvironment& environment) {
    return environment.dataDirectory / "velocity-curve-backup.txt";
}

std::string backupText(const std::vector<int>& values) {
    std::string text;
    for (std::size_t i = 0; i < values.size(); ++i) text += (i > 0 ? " " : "") + std::to_string(values[i]);
    return text;
}

Expected<std::vector<int>, BackupProblem> parseBackup(const std::string& text) {
    constexpr std::string_view space = " \t\n\r\v\f";
    auto problem = [](int line, std::string what) {
        return Unexpected(BackupProblem{line, std::move(what)});
    };
    std::vector<int> values;
    int valuesLine = 0;
    int line = 0;
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
        std::size_t lineEnd = text.find('\n', lineStart);
        if (lineEnd == std::string::npos) lineEnd = text.size();
        const std::string_view lineText(text.data() + lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
        ++line;
        for (std::string_view piece : textPieces(lineText, " ")) {
            const std::size_t first = piece.find_first_not_of(space);
            if (first == std::string_view::npos) continue;
            piece = piece.substr(first, piece.find_last_not_of(space) - first + 1);
            if (valuesLine == 0) valuesLine = line;
            if (line != valuesLine)
                return problem(line, "values after the end of line " + std::to_string(valuesLine));
            const auto value = parseInteger(piece);
            if (!value) return problem(line, "\"" + printableText(piece) + "\" is not a number");
            if (*value < 1 || *value > 127)
                return problem(line, std::to_string(*value) + " is not a velocity from 1 to 127");
            if (values.size() == static_cast<std::size_t>(length))
                return problem(line, "the saved curve has more than 128 entries");
            values.push_back(static_cast<int>(*value));
        }
    }
    if (values.size() != static_cast<std::size_t>(length)) {
        return problem(std::max(valuesLine, 1),
                       "the saved curve has " + std::to_string(values.size()) + " entries, not 128");
    }
    return values;
}

std::vector<Bytes> curveChunks(const std::vector<int>& values) {
    std::vector<Bytes> chunks;
    for (int start = 0; start < length; start += 16)
        chunks.push_back(PushSysEx::velocityCurveChunk(start, std::span(values).subspan(start, 16)));
    return chunks;
}

std::vector<std::string> curveLines(const std::vector<std::optional<int>>& curve) {
    std::vector<std::string> lines{"pad velocity curve (velocity for weights 0 g, 32 g, … 4064 g):"};
    int missing = 0;
    for (int row = 0; row < length; row += 16) {
        std::string line = "  " + TextFormat::rightAligned(row, 3) + ":";
        for (int i = row; i < row + 16; ++i) {
            const std::optional<int> value = i < static_cast<int>(curve.size()) ? curve[i] : std::nullopt;
            if (!value) ++missing;
            line += (i > row ? " " : "") + (value ? TextFormat::rightAligned(*value, 3) : std::string("  ?"));
        }
        lines.push_back(line);
    }
    if (missing >= 1) lines.push_back("  " + std::to_string(missing) + " entries didn't answer (SysEx 0x21)");
    return lines;
}

}  // namespace VelocityCurve

namespace {

using VelocityCurve::curveChunks;

Bytes entryQuery(int index) { return {PushSysEx::getVelocityCurveEntry, static_cast<std::uint8_t>(index)}; }

std::vector<Bytes> curveQueries() {
    std::vector<Bytes> queries;
    for (int i = 0; i < VelocityCurve::length; ++i) queries.push_back(entryQuery(i));
    return queries;
}

std::vector<Bytes> bodies(const std::vector<Bytes>& messages) {
    std::vector<Bytes> result;
    for (const Bytes& message : messages) result.push_back(PushSysEx::body(message).value_or(Bytes{}));
    return result;
}

void printCurve(CommandRun& run, const std::vector<std::optional<int>>& curve) {
    for (const std::string& line : VelocityCurve::curveLines(curve)) run.print(line);
}

std::string percent(int value, int full) {
    return std::to_string(std::lround(static_cast<double>(value) * 100 / full)) + " %";
}

// The velocity-curve entry a Push reply carries, if it is one.
std::optional<PushSysEx::Reply::VelocityCurveEntry> curveEntry(const MIDIMessage& message) {
    auto body = pushBody(message);
    if (!body) return std::nullopt;
    auto reply = PushSysEx::reply(*body);
    if (!reply) return std::nullopt;
    if (const auto* entry = reply->as<PushSysEx::Reply::VelocityCurveEntry>()) return *entry;
    return std::nullopt;
}

class VelocityTest {
public:
    explicit VelocityTest(CommandRun& run)
        : run_(run), backup_(VelocityCurve::backupFile(run.environment())) {}

    int start() {
        port_ = openPushNow(run_,
                            everyMessagePath(run_, [this](const MIDIMessage& message) { handle(message); }));
        if (!port_) return run_.status();
        run_.catchInterrupt([this] { interrupted(); });
        run_.print("Reading your velocity curve (128 entries)…");
        sendBody(*port_, entryQuery(0));
        run_.after(3.0, [this] {
            if (phase_ != Phase::reading) return;
            run_.print("The Push didn't answer the velocity-curve question (SysEx 0x21) after " +
                       std::to_string(next_) + " of 128 entries.");
            run_.print("Nothing was changed.");
            run_.finish(1);
        });
        return run_.wait();
    }

private:
    enum class Phase { reading, yours, test, verifying };

    void handle(const MIDIMessage& message) {
        if (const auto* on = message.as<MIDIMessage::NoteOn>()) {
            if (on->velocity > 0 && on->note >= 36 && on->note <= 99 &&
                (phase_ == Phase::yours || phase_ == Phase::test)) {
                run_.print("     pad " + std::to_string(on->note - 36) + "  velocity " +
                           std::to_string(on->velocity));
            }
            return;
        }
        if (auto entry = curveEntry(message)) received(entry->index, entry->velocity);
    }

    void received(int index, int velocity) {
        if (index != next_ || (phase_ != Phase::reading && phase_ != Phase::verifying)) return;
        std::vector<int>& curve = phase_ == Phase::reading ? yours_ : readBack_;
        curve[index] = velocity;
        if (index < VelocityCurve::length - 1) {
            ++next_;
            sendBody(*port_, entryQuery(next_));
            return;
        }
        if (phase_ == Phase::reading) {
            curveRead();
        } else if (readBack_ == yours_) {
            run_.print("PASS: the Push took the test curve, and your curve is back exactly as it was.");
            run_.finish(0);
        } else {
            run_.print("The curve read back differs from yours; run: corvane-diag velocity-restore");
            run_.finish(1);
        }
    }

    void curveRead() {
        const std::filesystem::perms readable = std::filesystem::perms::owner_read |
                                                std::filesystem::perms::owner_write |
                                                std::filesystem::perms::group_read |
                                                std::filesystem::perms::others_read;
        if (auto failure = replaceFile(backup_, VelocityCurve::backupText(yours_), readable)) {
            run_.print("Couldn't save your curve (" + failure->error.message() + "); nothing was changed.");
            run_.finish(1);
            return;
        }
        run_.print("Saved your velocity curve to " + backup_.string());
        phase_ = Phase::yours;
        run_.print("1/2  Hit some pads (10 s): these velocities follow YOUR curve.");
        run_.after(10.0, [this] {
            if (phase_ != Phase::yours) return;
            for (const Bytes& chunk : curveChunks(std::vector<int>(VelocityCurve::length, 127)))
                port_->send(chunk);
            run_.print("2/2  Test curve on: every hit should now show 127 (10 s).");
            phase_ = Phase::test;
            run_.after(10.0, [this] { restoreAndVerify(); });
        });
    }

    void restoreAndVerify() {
        if (phase_ != Phase::yours && phase_ != Phase::test) return;
        for (const Bytes& chunk : curveChunks(yours_)) port_->send(chunk);
        run_.print("Your curve is written back; reading it to check…");
        phase_ = Phase::verifying;
        next_ = 0;
        sendBody(*port_, entryQuery(0));
        run_.timeOut(3.0, [] {
            return "Couldn't read the curve back to confirm; run: corvane-diag velocity-restore";
        });
    }

    void interrupted() {
        switch (phase_) {
            case Phase::reading:
                run_.finish(130);
                break;
            case Phase::yours:
            case Phase::test:
                restoreAndVerify();
                break;
            case Phase::verifying:
                break;
        }
    }

    CommandRun& run_;
    const std::filesystem::path backup_;
    std::vector<int> yours_ = std::vector<int>(VelocityCurve::length, 0);
    std::vector<int> readBack_ = std::vector<int>(VelocityCurve::length, 0);
    Phase phase_ = Phase::reading;
    int next_ = 0;
    std::shared_ptr<MIDIDevicePort> port_;
};

}  // namespace

int pushSettingsCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    std::vector<std::optional<int>> curve(VelocityCurve::length);
    std::vector<Bytes> queries = bodies(PushSysEx::settingsQueries());
    for (Bytes& query : curveQueries()) queries.push_back(std::move(query));
    auto engine = AbletonQuery::start(
        *run, std::move(queries),
        [&](const Bytes& body) {
            auto reply = PushSysEx::reply(body);
            if (!reply) return;
            using R = PushSysEx::Reply;
            if (const auto* led = reply->as<R::LEDBrightness>()) {
                run->print("LED brightness      " + std::to_string(led->value) + " of 127 (" +
                           percent(led->value, 127) + ")");
            } else if (const auto* display = reply->as<R::DisplayBrightness>()) {
                run->print("display brightness  " + std::to_string(display->value) + " of 255 (" +
                           percent(display->value, 255) + ")");
            } else if (const auto* aftertouch = reply->as<R::Aftertouch>()) {
                run->print("aftertouch mode     " + std::to_string(rawValue(aftertouch->mode)) + " (" +
                           std::string(name(aftertouch->mode)) + ")");
            } else if (const auto* entry = reply->as<R::VelocityCurveEntry>()) {
                if (entry->index >= 0 && entry->index < VelocityCurve::length)
                    curve[entry->index] = entry->velocity;
            }
        },
        [&] {
            printCurve(*run, curve);
            run->finish(0);
        });
    if (!engine) return run->status();
    run->after(4.0, [&] {
        run->print("timed out waiting for the Push; what it answered:");
        printCurve(*run, curve);
        run->finish(1);
    });
    return run->wait();
}

int velocityTestCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    VelocityTest test(*run);
    return test.start();
}

int velocityRestoreCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    const std::filesystem::path path = VelocityCurve::backupFile(environment);
    // A folder, a FIFO, a device or a huge file in its place is no saved curve either.
    const auto text = UserFile::read(path, VelocityCurve::maxBackupMebibytes);
    if (std::holds_alternative<UserFile::Unusable>(text)) {
        run->print("No saved curve at " + path.string());
        return 1;
    }
    auto parsed = VelocityCurve::parseBackup(std::get<std::string>(text));
    if (!parsed) {
        // Nothing goes to the Push from a file that is not a curve.
        run->print("error: " + path.string() + ", line " + std::to_string(parsed.error().line) + ": " +
                   parsed.error().problem);
        return 1;
    }
    const std::vector<int> values = std::move(*parsed);
    std::vector<std::optional<int>> readBack(VelocityCurve::length);
    auto engine = AbletonQuery::start(
        *run, curveQueries(),
        [&](const Bytes& body) {
            auto reply = PushSysEx::reply(body);
            if (!reply) return;
            if (const auto* entry = reply->as<PushSysEx::Reply::VelocityCurveEntry>()) {
                if (entry->index >= 0 && entry->index < VelocityCurve::length)
                    readBack[entry->index] = entry->velocity;
            }
        },
        [&] {
            bool equal = true;
            for (int i = 0; i < VelocityCurve::length; ++i)
                equal = equal && readBack[i].value_or(-1) == values[i];
            if (equal) {
                run->print("Restored: the Push has the saved curve.");
                run->finish(0);
            } else {
                run->print("Written, but the read-back differs:");
                printCurve(*run, readBack);
                run->finish(1);
            }
        },
        bodies(curveChunks(values)));
    if (!engine) return run->status();
    run->timeOut(4.0, [] { return "timed out reading the curve back"; });
    return run->wait();
}

}  // namespace corvane
