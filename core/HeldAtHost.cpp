#include "core/HeldAtHost.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr std::size_t channels = 16;
constexpr std::size_t perChannel = 128;
// Where each kind of note or control starts in the table.
constexpr std::size_t notes = 0;
constexpr std::size_t polyPressures = notes + channels * perChannel;
constexpr std::size_t controllers = polyPressures + channels * perChannel;
constexpr std::size_t channelPressures = controllers + channels * perChannel;
constexpr std::size_t pitchBends = channelPressures + channels;
constexpr std::size_t tableSize = pitchBends + channels;

constexpr std::uint8_t bendCentreLow = 0x00, bendCentreHigh = 0x40;

}  // namespace

HeldAtHost::HeldAtHost(Send send) : send_(std::move(send)), entries_(tableSize) {
    waiting_.reserve(tableSize);
}

std::optional<std::size_t> HeldAtHost::indexOf(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return std::nullopt;
    const std::size_t channel = bytes[0] & 0x0F;
    switch (bytes[0] & 0xF0) {
        case 0x80:
        case 0x90:
            if (bytes.size() != 3) return std::nullopt;
            return notes + channel * perChannel + (bytes[1] & 0x7F);
        case 0xA0:
            if (bytes.size() != 3) return std::nullopt;
            return polyPressures + channel * perChannel + (bytes[1] & 0x7F);
        case 0xB0:
            if (bytes.size() != 3) return std::nullopt;
            return controllers + channel * perChannel + (bytes[1] & 0x7F);
        case 0xD0:
            if (bytes.size() != 2) return std::nullopt;
            return channelPressures + channel;
        case 0xE0:
            if (bytes.size() != 3) return std::nullopt;
            return pitchBends + channel;
        default:
            return std::nullopt;
    }
}

bool HeldAtHost::worthSendingAgain(std::span<const std::uint8_t> bytes) {
    const std::uint8_t kind = bytes[0] & 0xF0;
    return (kind != 0x80 && kind != 0x90) || isEnding(bytes);
}

bool HeldAtHost::isEnding(std::span<const std::uint8_t> bytes) {
    switch (bytes[0] & 0xF0) {
        case 0x80:
            return true;
        case 0xD0:
            return bytes[1] == 0;
        case 0xE0:
            return bytes[1] == bendCentreLow && bytes[2] == bendCentreHigh;
        default:
            return bytes[2] == 0;  // note-on, poly pressure, controller
    }
}

std::array<std::uint8_t, 3> HeldAtHost::restOf(std::size_t index, std::uint8_t& length) {
    length = 3;
    if (index >= pitchBends)
        return {static_cast<std::uint8_t>(0xE0 | (index - pitchBends)), bendCentreLow, bendCentreHigh};
    if (index >= channelPressures) {
        length = 2;
        return {static_cast<std::uint8_t>(0xD0 | (index - channelPressures)), 0, 0};
    }
    std::size_t base = notes;
    std::uint8_t status = 0x80;
    if (index >= controllers) {
        base = controllers;
        status = 0xB0;
    } else if (index >= polyPressures) {
        base = polyPressures;
        status = 0xA0;
    }
    const std::size_t offset = index - base;
    return {static_cast<std::uint8_t>(status | offset / perChannel),
            static_cast<std::uint8_t>(offset % perChannel), 0};
}

bool HeldAtHost::send(std::span<const std::uint8_t> bytes) {
    const bool taken = send_(bytes);
    if (taken) ++taken_;
    if (const auto index = indexOf(bytes); index && (taken || worthSendingAgain(bytes))) {
        Entry& entry = entries_[*index];
        std::copy(bytes.begin(), bytes.end(), entry.last.begin());
        entry.length = static_cast<std::uint8_t>(bytes.size());
        entry.waiting = false;
        if (taken) {
            entry.takenAt = taken_;
        } else {
            wait(*index);
        }
    }
    if (!taken) hostLostQueue();
    return taken;
}

void HeldAtHost::wait(std::size_t index) {
    Entry& entry = entries_[index];
    if (entry.waiting) return;
    entry.waiting = true;
    // Listed already when it waited before and was replaced since: it keeps its place.
    if (entry.listed) return;
    entry.listed = true;
    waiting_.push_back(static_cast<std::uint16_t>(index));
}

// The host's input overflowed: at its next read the kernel throws away everything queued, and
// values and note-offs it took lately may be among that.
void HeldAtHost::hostLostQueue() {
    // A flood of refusals with nothing taken in between loses nothing more.
    if (taken_ == lossMarkedAt_) return;
    lossMarkedAt_ = taken_;
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        const Entry& entry = entries_[index];
        if (entry.length == 0 || entry.waiting || entry.takenAt == 0) continue;
        if (taken_ - entry.takenAt >= lossWindow) continue;
        if (worthSendingAgain(std::span(entry.last.data(), entry.length))) wait(index);
    }
}

void HeldAtHost::bringToRest() {
    for (std::size_t index = 0; index < entries_.size(); ++index) {
        const Entry& entry = entries_[index];
        if (entry.length == 0 || isEnding(std::span(entry.last.data(), entry.length))) continue;
        std::uint8_t length = 0;
        const std::array<std::uint8_t, 3> rest = restOf(index, length);
        send(std::span(rest.data(), length));
    }
}

HeldAtHost::Resent HeldAtHost::resend(std::size_t atMost) {
    Resent resent;
    std::size_t done = 0;
    // By position: a refusal may add more to the end, within the room reserved for every entry.
    for (; done < waiting_.size() && resent.sent < atMost; ++done) {
        Entry& entry = entries_[waiting_[done]];
        if (entry.waiting) {
            const std::array<std::uint8_t, 3> message = entry.last;
            if (!send(std::span(message.data(), entry.length))) {
                resent.refused = true;
                break;
            }
            ++resent.sent;
        }
        entry.listed = false;
    }
    waiting_.erase(waiting_.begin(), waiting_.begin() + static_cast<std::ptrdiff_t>(done));
    return resent;
}

}  // namespace corvane
