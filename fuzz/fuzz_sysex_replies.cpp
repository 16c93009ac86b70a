// Reads the input as a Push system-exclusive message and as a bare body, checks what the
// readers make of it, and checks that every command built from its bytes stays framed with
// seven-bit data.

#include "core/PushSysEx.h"
#include "fuzz/Check.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace {

using namespace corvane;

void checkReplies(std::span<const std::uint8_t> body) {
    if (const auto reply = PushSysEx::reply(body)) {
        check(body.size() >= 2);
        if (const auto* led = reply->as<PushSysEx::Reply::LEDBrightness>()) check(led->value == body[1]);
        if (const auto* display = reply->as<PushSysEx::Reply::DisplayBrightness>())
            check(display->value >= 0 && display->value <= 255);
        if (const auto* mode = reply->as<PushSysEx::Reply::Aftertouch>()) check(rawValue(mode->mode) == body[1]);
        if (const auto* entry = reply->as<PushSysEx::Reply::VelocityCurveEntry>())
            check(entry->index == body[1] && entry->velocity == body[2]);
    }

    if (const auto entry = PushSysEx::decodePaletteEntry(body)) {
        for (int channel : {entry->red, entry->green, entry->blue, entry->white}) check(channel >= 0 && channel <= 255);
        // Writing the entry back gives the same bytes whenever they were a well-formed reply.
        bool wellFormed = entry->index < 0x80;
        for (std::size_t i = 2; i < 10; i += 2) wellFormed = wellFormed && body[i] < 0x80 && body[i + 1] <= 1;
        if (wellFormed) {
            auto written = *PushSysEx::body(PushSysEx::setPalette(*entry));
            written[0] = PushSysEx::getPaletteEntry;
            check(std::equal(written.begin(), written.end(), body.begin()));
        }
    }
}

bool sevenBitFrame(const Bytes& message) {
    const auto body = PushSysEx::body(message);
    if (!body) return false;
    for (std::uint8_t b : *body)
        if (b >= 0x80) return false;
    return true;
}

void checkCommands(std::span<const std::uint8_t> data) {
    int value = 0;
    std::memcpy(&value, data.data(), std::min(sizeof value, data.size()));
    std::vector<int> values;
    for (std::size_t i = 0; i + sizeof(int) <= data.size() && values.size() < 20; i += sizeof(int)) {
        int v;
        std::memcpy(&v, data.data() + i, sizeof v);
        values.push_back(v);
    }
    check(sevenBitFrame(PushSysEx::ledBrightness(value)));
    check(sevenBitFrame(PushSysEx::displayBrightness(value)));
    check(sevenBitFrame(PushSysEx::velocityCurveChunk(value, values)));
    check(sevenBitFrame(PushSysEx::queryVelocityCurveEntry(value)));
    const PushSysEx::PaletteEntry entry{.index = static_cast<std::uint8_t>(value),
                                        .red = values.size() > 0 ? values[0] : 0,
                                        .green = values.size() > 1 ? values[1] : 0,
                                        .blue = values.size() > 2 ? values[2] : 0,
                                        .white = values.size() > 3 ? values[3] : 0};
    check(sevenBitFrame(PushSysEx::setPalette(entry)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    if (const auto body = PushSysEx::body(bytes)) {
        check(!body->empty());
        check(PushSysEx::message(*body) == Bytes(bytes.begin(), bytes.end()));
        checkReplies(*body);
    }
    checkReplies(bytes);
    checkCommands(bytes);
    return 0;
}
