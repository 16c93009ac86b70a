#pragma once
// What the host is left holding by the messages sent to it on the notes port: the notes sounding
// and the controls away from rest (a pedal down, a bend, pressure). It can bring all of them back
// to rest when no finger can be known to hold them any more, and it keeps what the host may not
// have heard, to send again until the host takes it: the latest value of every control (whatever
// it is) and every note-off that its full input refused, or that it took and then lost with the
// rest of its queue. A note-on the host did not hear is not played late.
//
// Fixed tables sized for every channel, note and controller: sending allocates nothing and takes
// no lock, so it may run on the real-time note-repeat thread. Not thread-safe: its owner guards it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace corvane {

class HeldAtHost {
public:
    // Sends one message; false when the host's full input refused it, which also costs the host
    // what it had queued. A later send may go through.
    using Send = std::function<bool(std::span<const std::uint8_t>)>;

    explicit HeldAtHost(Send send);
    HeldAtHost(const HeldAtHost&) = delete;
    HeldAtHost& operator=(const HeldAtHost&) = delete;

    // Sends one whole message and notes what it leaves held. A newer message for a note or
    // control replaces one of it still waiting to be sent again, unless it is a note-on the host
    // refused: the host still holds what it held. True when the host took it.
    bool send(std::span<const std::uint8_t> bytes);

    // A note-off for every note sounding and a return to rest for every control away from it:
    // controllers, channel and poly pressure to 0, pitch bend to the centre.
    void bringToRest();

    // Sends up to `atMost` of the waiting messages again, oldest first, stopping at the first the
    // host refuses.
    struct Resent {
        std::size_t sent = 0;  // taken by the host
        bool refused = false;
    };
    Resent resend(std::size_t atMost);
    bool resendWaiting() const { return !waiting_.empty(); }

    // The most events a client's input can hold (the kernel's largest input pool): what a host
    // loses when its input overflows is among the last this many it took.
    static constexpr std::uint32_t lossWindow = 2000;

private:
    struct Entry {
        std::uint32_t takenAt = 0;  // the send count when the host last took a message for it
        std::array<std::uint8_t, 3> last{};
        std::uint8_t length = 0;  // of `last`; 0 when nothing was sent for it
        bool waiting = false;     // `last` is a message the host may not have heard
        bool listed = false;      // in `waiting_`, where it stays until resend() reaches it
    };

    static std::optional<std::size_t> indexOf(std::span<const std::uint8_t> bytes);
    static bool isEnding(std::span<const std::uint8_t> bytes);
    // Whether the host must hear `bytes` again if it may not have: every control value, but of
    // notes only the endings.
    static bool worthSendingAgain(std::span<const std::uint8_t> bytes);
    static std::array<std::uint8_t, 3> restOf(std::size_t index, std::uint8_t& length);
    void wait(std::size_t index);
    void hostLostQueue();

    const Send send_;
    std::vector<Entry> entries_;
    std::vector<std::uint16_t> waiting_;  // indexes, in the order their messages began waiting
    std::uint32_t taken_ = 0;             // messages the host took
    std::uint32_t lossMarkedAt_ = 0;      // `taken_` when a lost queue was last accounted for
};

}  // namespace corvane
