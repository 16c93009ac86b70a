#include "corvane_diag/HardwareCommands.h"

#include <algorithm>
#include <optional>

#include "core/Hex.h"
#include "core/PushInputDecoder.h"
#include "corvane_diag/AbletonQuery.h"
#include "corvane_diag/CommandRun.h"
#include "corvane_diag/InputDescription.h"
#include "corvane_diag/PushPort.h"
#include "corvane_diag/TextFormat.h"

namespace corvane {

namespace {

constexpr std::uint8_t identityRequest[] = {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};

bool isIdentityReply(const MIDIMessage& message) {
    const auto* sysex = message.as<MIDIMessage::Sysex>();
    if (!sysex) return false;
    const Bytes& b = sysex->bytes;
    return b.size() >= 5 && b[1] == 0x7E && b[3] == 0x06 && b[4] == 0x02;
}

void printIdentity(CommandRun& run, const Bytes& reply) {
    run.print("identity reply: " + Hex::bytes(reply));
    if (reply.size() < 15) return;
    const std::span<const std::uint8_t> bytes(reply);
    run.print("  manufacturer " + Hex::bytes(bytes.subspan(5, 3)) + "  family " +
              Hex::bytes(bytes.subspan(8, 2)) + "  member " + Hex::bytes(bytes.subspan(10, 2)));
    // The build is bytes 14 and 15, low seven bits first; the closing F7 is never one of them.
    std::string build = "?";
    if (reply[14] < 0x80) {
        const bool high = reply.size() >= 16 && reply[15] < 0x80;
        build = std::to_string(reply[14] | (high ? reply[15] << 7 : 0));
    }
    run.print("  firmware " + std::to_string(reply[12]) + "." + std::to_string(reply[13]) + " build " +
              build);
}

std::string paletteLine(const PushSysEx::PaletteEntry& entry) {
    return TextFormat::rightAligned(entry.index, 3) + "  #" + TextFormat::hexByte(entry.red) +
           TextFormat::hexByte(entry.green) + TextFormat::hexByte(entry.blue) + "  white " +
           TextFormat::rightAligned(entry.white, 3);
}

// What the monitor prints before a message's description: its bytes in 12 columns.
std::string rawColumn(const MIDIMessage& message) {
    std::string hex = Hex::bytes(message.bytes());
    hex.resize(12, ' ');
    return hex;
}

}  // namespace

std::string aftertouchModeName(std::uint8_t mode) {
    switch (mode) {
        case 0:
            return "channel pressure";
        case 1:
            return "polyphonic aftertouch";
        case 2:
            return "MPE";
        default:
            return "unknown";
    }
}

std::string paletteEntryText(const PushSysEx::PaletteEntry& entry) {
    return "PaletteEntry(index: " + std::to_string(entry.index) + ", red: " + std::to_string(entry.red) +
           ", green: " + std::to_string(entry.green) + ", blue: " + std::to_string(entry.blue) +
           ", white: " + std::to_string(entry.white) + ")";
}

int identityCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    auto port = openPushNow(*run, receivePath<Bytes>(
                                      *run,
                                      [](const MIDIMessage& message) -> std::optional<Bytes> {
                                          if (!isIdentityReply(message)) return std::nullopt;
                                          return message.as<MIDIMessage::Sysex>()->bytes;
                                      },
                                      [&run = *run](Bytes reply) {
                                          printIdentity(run, reply);
                                          run.finish(0);
                                      }));
    if (!port) return run->status();
    port->send(identityRequest);
    run->timeOut(2.0, [] { return "no identity reply within 2 s"; });
    return run->wait();
}

int paletteCommand(DiagEnvironment& environment, const std::vector<int>& indices) {
    auto run = CommandRun::create(environment);
    int printed = 0;
    std::vector<Bytes> queries;
    for (int index : indices)
        queries.push_back({PushSysEx::getPaletteEntry, static_cast<std::uint8_t>(index)});
    auto engine = AbletonQuery::start(
        *run, std::move(queries),
        [&](const Bytes& body) {
            if (auto entry = PushSysEx::decodePaletteEntry(body)) {
                ++printed;
                run->print(paletteLine(*entry));
            }
        },
        [&] { run->finish(0); });
    if (!engine) return run->status();
    run->timeOut(3.0, [&] {
        return "timed out after " + std::to_string(printed) + " of " + std::to_string(indices.size()) +
               " entries";
    });
    return run->wait();
}

int aftertouchCommand(DiagEnvironment& environment) {
    auto run = CommandRun::create(environment);
    auto engine = AbletonQuery::start(
        *run, {{PushSysEx::getAftertouchMode}},
        [&](const Bytes& body) {
            if (body.size() >= 2 && body[0] == PushSysEx::getAftertouchMode) {
                run->print("aftertouch mode " + std::to_string(body[1]) + " (" + aftertouchModeName(body[1]) +
                           ")");
            }
        },
        [&] { run->finish(0); });
    if (!engine) return run->status();
    run->timeOut(2.0, [] { return "no reply within 2 s"; });
    return run->wait();
}

int paletteTestCommand(DiagEnvironment& environment, std::uint8_t index) {
    auto run = CommandRun::create(environment);
    const PushSysEx::PaletteEntry test{.index = index, .red = 255, .green = 0, .blue = 255, .white = 64};
    std::vector<PushSysEx::PaletteEntry> received;
    std::shared_ptr<MIDIDevicePort> port;

    auto handle = [&](PushSysEx::PaletteEntry entry) {
        received.push_back(entry);
        if (received.size() == 1) {
            port->send(PushSysEx::setPalette(test));
            port->send(PushSysEx::queryPaletteEntry(index));
            return;
        }
        const PushSysEx::PaletteEntry& original = received.front();
        port->send(PushSysEx::setPalette(original));
        port->send(PushSysEx::reapply());
        run->print("original  " + paletteEntryText(original));
        run->print("after set " + paletteEntryText(entry));
        if (entry.red == test.red && entry.green == test.green && entry.blue == test.blue &&
            entry.white == test.white) {
            run->print("PASS: palette writes take effect (original restored)");
            run->finish(0);
        } else {
            run->print("FAIL: read-back differs");
            run->finish(1);
        }
    };
    port = openPushNow(*run, receivePath<PushSysEx::PaletteEntry>(
                                 *run,
                                 [](const MIDIMessage& message) -> std::optional<PushSysEx::PaletteEntry> {
                                     auto body = pushBody(message);
                                     if (!body) return std::nullopt;
                                     return PushSysEx::decodePaletteEntry(*body);
                                 },
                                 handle));
    if (!port) return run->status();
    port->send(PushSysEx::queryPaletteEntry(index));
    run->timeOut(3.0, [&] {
        std::string line = "timed out (" + std::to_string(received.size()) + " replies)";
        if (received.empty()) return line + "; nothing was changed";
        // The test colour may be in the entry by now: the colour read at the start goes back.
        port->send(PushSysEx::setPalette(received.front()));
        port->send(PushSysEx::reapply());
        return line + "; palette entry " + std::to_string(index) + " put back as it was";
    });
    return run->wait();
}

int midiMonitorCommand(DiagEnvironment& environment, bool raw) {
    auto run = CommandRun::create(environment);
    auto client = makeClient(*run);
    if (!client) return run->status();
    auto port = connectPush(*run, client, [&run = *run, raw](const MIDIMessage& message) {
        std::string line = describe(PushInputDecoder::decode(message));
        run.print(raw ? rawColumn(message) + "  " + line : line);
    });
    if (!port) return run->status();
    return run->wait();
}

}  // namespace corvane
