// What the host must hear again after its input refused messages or threw away its queue.

#include "core/HeldAtHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "tests/support/ThreadWatch.h"

namespace corvane {
namespace {

// One message; a two-byte one ends in 0.
using Bytes = std::array<std::uint8_t, 3>;

// A host whose input takes a given number of messages more, then refuses until it is given room.
// It keeps what it took without allocating.
class Host {
public:
    Host() { taken.reserve(100'000); }

    bool offer(std::span<const std::uint8_t> bytes) {
        if (room == 0) return false;
        if (room != unlimited) --room;
        Bytes message{};
        std::copy(bytes.begin(), bytes.end(), message.begin());
        taken.push_back(message);
        return true;
    }

    static constexpr std::size_t unlimited = std::numeric_limits<std::size_t>::max();
    std::size_t room = unlimited;
    std::vector<Bytes> taken;
    HeldAtHost held{[this](std::span<const std::uint8_t> bytes) { return offer(bytes); }};

    bool send(const Bytes& bytes) {
        const bool twoBytes = (bytes[0] & 0xF0) == 0xD0;
        return held.send(std::span(bytes.data(), twoBytes ? 2 : 3));
    }

    // Everything waiting, sent again with room for all of it, in batches of `batch`.
    const std::vector<Bytes>& resendAll(std::size_t batch = 64) {
        room = unlimited;
        taken.clear();
        for (int pass = 0; pass < 100 && held.resendWaiting(); ++pass) held.resend(batch);
        return taken;
    }
};

const Bytes pedalDown{0xB0, 64, 127}, bendUp{0xE0, 0x7F, 0x7F}, pressure{0xD0, 50, 0}, polyPressure{0xA0, 60, 70};

TEST(HeldAtHost, TheLatestRefusedValueOfEveryControlGoesAgainWhateverItIsAndNoRefusedNoteOnPlaysLate) {
    Host host;
    host.room = 0;
    for (const Bytes& bytes : {pedalDown, bendUp, pressure, polyPressure, Bytes{0xB1, 1, 5}, Bytes{0x90, 60, 100},
                               Bytes{0x80, 62, 0}, Bytes{0xB1, 1, 9}})
        EXPECT_FALSE(host.send(bytes));

    // In the order they first waited; the controller with its latest value in its first place.
    EXPECT_EQ(host.resendAll(), (std::vector<Bytes>{pedalDown, bendUp, pressure, polyPressure, Bytes{0xB1, 1, 9},
                                                    Bytes{0x80, 62, 0}}));
    EXPECT_FALSE(host.held.resendWaiting());
}

// A second stall: values the host took, changed since the first, went with its queue.
TEST(HeldAtHost, WhatTheHostTookLatelyAndThenLostWithItsQueueGoesAgainExceptNoteOns) {
    Host host;
    host.send(Bytes{0xB0, 7, 0});  // long enough ago to have been read
    for (int i = 0; i < static_cast<int>(HeldAtHost::lossWindow); ++i) host.send(Bytes{0xB2, 1, 0});
    for (const Bytes& bytes : {pedalDown, bendUp, Bytes{0x90, 63, 100}, Bytes{0x81, 61, 0}, Bytes{0xB0, 1, 0}})
        ASSERT_TRUE(host.send(bytes));
    host.room = 0;
    EXPECT_FALSE(host.send(Bytes{0x90, 65, 100}));

    EXPECT_EQ(host.resendAll(),
              (std::vector<Bytes>{Bytes{0x81, 61, 0}, Bytes{0xB0, 1, 0}, Bytes{0xB0, 64, 127}, Bytes{0xB2, 1, 0},
                                  bendUp}));
}

// A newer message the host took leaves nothing to send again; a refused note-on leaves the
// note-off it followed waiting, since the host still sounds the note.
TEST(HeldAtHost, ANewerValueTheHostTookReplacesWhatWaitedButARefusedNoteOnDoesNot) {
    Host host;
    host.room = 0;
    host.send(pedalDown);
    host.send(Bytes{0x80, 60, 0});
    host.send(Bytes{0x80, 62, 0});
    host.send(Bytes{0x90, 62, 100});
    host.room = Host::unlimited;
    host.send(Bytes{0xB0, 64, 0});
    host.send(Bytes{0x90, 60, 90});

    EXPECT_EQ(host.resendAll(), (std::vector<Bytes>{Bytes{0x80, 62, 0}}));
}

// Batches of at most the size asked, oldest first, stopping at the first refusal; what went is
// forgotten, so the waiting list ends and sending again allocates nothing.
TEST(HeldAtHost, SendsAgainInBatchesOfAtMostTheSizeAskedAndForgetsWhatWent) {
    Host host;
    host.room = 0;
    std::vector<Bytes> refused;
    for (std::uint8_t channel = 1; channel <= 2; ++channel) {
        for (std::uint8_t controller = 0; controller < 75; ++controller) {
            refused.push_back(Bytes{static_cast<std::uint8_t>(0xB0 | channel), controller, 1});
            host.send(refused.back());
        }
    }

    // Everything the host is offered from here on is counted, and nothing it does allocates.
    std::size_t allocations = 0;
    const auto counted = [&](const auto& work) {
        ThreadWatch watch;
        work();
        allocations += watch.allocations();
    };
    host.room = Host::unlimited;
    HeldAtHost::Resent resent;
    counted([&] { resent = host.held.resend(64); });
    EXPECT_EQ(resent.sent, 64u);
    EXPECT_FALSE(resent.refused);
    EXPECT_EQ(host.taken, std::vector<Bytes>(refused.begin(), refused.begin() + 64));

    // The host takes five and refuses the sixth: it lost its queue, those five with it.
    host.room = 5;
    counted([&] { resent = host.held.resend(64); });
    EXPECT_EQ(resent.sent, 5u);
    EXPECT_TRUE(resent.refused);

    counted([&] { host.resendAll(40); });
    EXPECT_FALSE(host.held.resendWaiting());
    host.room = Host::unlimited;
    counted([&] { resent = host.held.resend(64); });
    EXPECT_EQ(resent.sent, 0u);
    EXPECT_EQ(allocations, 0u);
    std::vector<Bytes> again = host.taken;
    std::sort(again.begin(), again.end());
    std::sort(refused.begin(), refused.end());
    EXPECT_EQ(again, refused);  // each once
}

}  // namespace
}  // namespace corvane
