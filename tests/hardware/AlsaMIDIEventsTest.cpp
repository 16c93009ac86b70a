#include <gtest/gtest.h>

#include <vector>

#include "hardware/AlsaMIDIEvents.h"
#include "hardware/AlsaPortIdentities.h"

namespace corvane {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The byte runs a receiver gets for one send: each event as it would arrive, decoded.
std::vector<Bytes> roundTrip(const Bytes& bytes, std::vector<int>* types = nullptr) {
    AlsaEventEncoder encoder;
    AlsaEventDecoder decoder;
    std::vector<Bytes> runs;
    encoder.encode(bytes, [&](snd_seq_event_t& event) {
        if (types != nullptr) types->push_back(event.type);
        Bytes run;
        EXPECT_TRUE(decoder.decode(event, run));
        runs.push_back(run);
    });
    return runs;
}

TEST(AlsaMIDIEvents, ChannelMessagesKeepTheirBytesWithoutRunningStatus) {
    std::vector<int> types;
    EXPECT_EQ(roundTrip({0x90, 60, 100, 0x90, 60, 0, 0xB3, 7, 127, 0xE0, 0x00, 0x40}, &types),
              (std::vector<Bytes>{{0x90, 60, 100}, {0x90, 60, 0}, {0xB3, 7, 127}, {0xE0, 0x00, 0x40}}));
    // A note-on with velocity 0 stays a note-on.
    EXPECT_EQ(types[1], SND_SEQ_EVENT_NOTEON);
    // Running status within one send: every message comes out whole.
    EXPECT_EQ(roundTrip({0x90, 60, 100, 61, 101}), (std::vector<Bytes>{{0x90, 60, 100}, {0x90, 61, 101}}));
    EXPECT_EQ(roundTrip({0xC5, 7, 0xD9, 100, 0xA2, 36, 90, 0x80, 1, 2}),
              (std::vector<Bytes>{{0xC5, 7}, {0xD9, 100}, {0xA2, 36, 90}, {0x80, 1, 2}}));
}

TEST(AlsaMIDIEvents, SystemExclusiveTravelsInPiecesThatEveryReceiverHasRoomFor) {
    Bytes sysex{0xF0, 0x00, 0x21, 0x1D};
    for (int i = 0; i < 5000; ++i) sysex.push_back(static_cast<std::uint8_t>(i & 0x7F));
    sysex.push_back(0xF7);
    std::vector<int> types;
    auto runs = roundTrip(sysex, &types);
    ASSERT_EQ(runs.size(), (sysex.size() + 255) / 256);
    Bytes joined;
    for (const auto& run : runs) {
        EXPECT_LE(run.size(), AlsaEventEncoder::largestEvent);
        joined.insert(joined.end(), run.begin(), run.end());
    }
    EXPECT_EQ(joined, sysex);
    EXPECT_EQ(types, std::vector<int>(runs.size(), SND_SEQ_EVENT_SYSEX));

    EXPECT_EQ(roundTrip({0xF0, 0x7D, 0xF7, 0xB0, 1, 2}),
              (std::vector<Bytes>{{0xF0, 0x7D, 0xF7}, {0xB0, 1, 2}}));
}

TEST(AlsaMIDIEvents, PiecesAndStrayBytesArriveAsTheyWereSent) {
    // A system-exclusive message split over two sends, as the parser downstream expects it.
    EXPECT_EQ(roundTrip({0xF0, 0x00, 0x21}), (std::vector<Bytes>{{0xF0, 0x00, 0x21}}));
    EXPECT_EQ(roundTrip({0x1D, 0x01, 0xF7}), (std::vector<Bytes>{{0x1D, 0x01, 0xF7}}));
    // An incomplete message, an undefined status byte, a stray end.
    EXPECT_EQ(roundTrip({0x90, 60}), (std::vector<Bytes>{{0x90, 60}}));
    EXPECT_EQ(roundTrip({0x90, 60, 0xB0, 1, 2}), (std::vector<Bytes>{{0x90, 60}, {0xB0, 1, 2}}));
    EXPECT_EQ(roundTrip({0xF4, 0xF7, 0xF8, 0xFE}), (std::vector<Bytes>{{0xF4}, {0xF7}, {0xF8}, {0xFE}}));
}

TEST(AlsaMIDIEvents, RealTimeBytesInsideAMessageStaySeparate) {
    EXPECT_EQ(roundTrip({0x90, 60, 0xF8, 100}), (std::vector<Bytes>{{0xF8}, {0x90, 60, 100}}));
    EXPECT_EQ(roundTrip({0xF2, 0x10, 0x20, 0xF6}), (std::vector<Bytes>{{0xF2, 0x10, 0x20}, {0xF6}}));
}

TEST(AlsaMIDIEvents, EventsWithoutMIDIDecodeToNothing) {
    AlsaEventDecoder decoder;
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    event.type = SND_SEQ_EVENT_PORT_START;
    Bytes run{1, 2};
    EXPECT_FALSE(decoder.decode(event, run));
    EXPECT_TRUE(run.empty());
}

TEST(AlsaPortIdentities, ForeignPortsGetAFreshIDEachTimeTheyAppear) {
    AlsaPortIdentities ids;
    auto push = AlsaPortIdentities::address(24, 0);
    auto user = AlsaPortIdentities::address(24, 1);

    // A port listed before its announcement is read keeps the ID it was listed with.
    std::int32_t first = ids.uniqueID(push);
    EXPECT_NE(first, 0);
    ids.portStarted(push);
    EXPECT_EQ(ids.uniqueID(push), first);
    EXPECT_NE(ids.uniqueID(user), first);

    ids.portExited(push);
    ids.portStarted(push);
    std::int32_t second = ids.uniqueID(push);
    EXPECT_NE(second, first);
    EXPECT_NE(second, 0);

    std::int32_t userBefore = ids.uniqueID(user);
    ids.clientExited(24);
    EXPECT_NE(ids.uniqueID(push), second);
    EXPECT_NE(ids.uniqueID(user), userBefore);
}

TEST(AlsaPortIdentities, OurVirtualEndpointsKeepTheirIDs) {
    AlsaPortIdentities ids;
    auto control = AlsaPortIdentities::address(128, 2);
    ids.setFixed(control, 0x50464301);
    ids.portStarted(control);
    ids.portExited(control);
    EXPECT_EQ(ids.uniqueID(control), 0x50464301);
    ids.removeFixed(control);
    EXPECT_NE(ids.uniqueID(control), 0x50464301);
}

}  // namespace
}  // namespace corvane
