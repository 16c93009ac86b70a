#include "core/MIDIStreamParser.h"

#include <gtest/gtest.h>

#include <span>
#include <vector>

#include "core/Hex.h"

namespace corvane {
namespace {

class MIDIStreamParserTest : public ::testing::Test {
protected:
    std::vector<MIDIMessage> feed(Bytes bytes) {
        std::vector<MIDIMessage> out;
        parser.feed(bytes, [&](const MIDIMessage& m) { out.push_back(m); });
        return out;
    }

    MIDIStreamParser parser;
};

using Messages = std::vector<MIDIMessage>;

TEST_F(MIDIStreamParserTest, ChannelMessagesUseRunningStatus) {
    EXPECT_EQ(feed({0x90, 0x3C, 0x64, 0x3C, 0x00}),
              (Messages{MIDIMessage::noteOn(0, 60, 100), MIDIMessage::noteOn(0, 60, 0)}));
    EXPECT_EQ(feed({0xC5, 0x07, 0x08}),
              (Messages{MIDIMessage::programChange(5, 7), MIDIMessage::programChange(5, 8)}));
    EXPECT_EQ(feed({0xE0, 0x00, 0x40}), (Messages{MIDIMessage::pitchBend(0, 8192)}));
    EXPECT_EQ(feed({0xAF, 0x24, 0x10, 0x25, 0x11, 0xD3, 0x05, 0xB1, 0x47, 0x01, 0x82, 0x3C, 0x40}),
              (Messages{MIDIMessage::polyPressure(15, 36, 16), MIDIMessage::polyPressure(15, 37, 17),
                        MIDIMessage::channelPressure(3, 5), MIDIMessage::controlChange(1, 71, 1),
                        MIDIMessage::noteOff(2, 60, 64)}));
}

TEST_F(MIDIStreamParserTest, RepeatedStatusBytesAndPacketSplitsChangeNothing) {
    const Bytes stream{0xA0, 0x24, 0x10, 0xA0, 0x25, 0x11, 0xA1, 0x26, 0x12, 0x27, 0xF8, 0x13, 0xC0,
                       0x01, 0xC0, 0x02, 0x03, 0xE0, 0x00, 0x40, 0x7F, 0x7F, 0xA1, 0x28};
    const Messages expected{MIDIMessage::polyPressure(0, 0x24, 0x10), MIDIMessage::polyPressure(0, 0x25, 0x11),
                            MIDIMessage::polyPressure(1, 0x26, 0x12), MIDIMessage::other({0xF8}),
                            MIDIMessage::polyPressure(1, 0x27, 0x13), MIDIMessage::programChange(0, 1),
                            MIDIMessage::programChange(0, 2),         MIDIMessage::programChange(0, 3),
                            MIDIMessage::pitchBend(0, 8192),          MIDIMessage::pitchBend(0, 16383)};
    EXPECT_EQ(feed(stream), expected);
    EXPECT_EQ(feed({0x29}), (Messages{MIDIMessage::polyPressure(1, 0x28, 0x29)}));
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        MIDIStreamParser split;
        Messages out;
        split.feed(std::span(stream).first(cut), [&](const MIDIMessage& m) { out.push_back(m); });
        split.feed(std::span(stream).subspan(cut), [&](const MIDIMessage& m) { out.push_back(m); });
        EXPECT_EQ(out, expected) << "cut after " << cut << " bytes";
    }
}

TEST_F(MIDIStreamParserTest, EveryMessageParsesBackFromItsBytes) {
    const Messages all{MIDIMessage::noteOff(1, 2, 3),        MIDIMessage::noteOn(15, 127, 0),
                       MIDIMessage::polyPressure(4, 5, 6),   MIDIMessage::controlChange(7, 8, 9),
                       MIDIMessage::programChange(10, 11),   MIDIMessage::channelPressure(12, 13),
                       MIDIMessage::pitchBend(14, 16383),    MIDIMessage::sysex({0xF0, 0x01, 0xF7}),
                       MIDIMessage::other({0xF8}),           MIDIMessage::other({0xF1, 0x22}),
                       MIDIMessage::other({0xF2, 0x01, 0x02}), MIDIMessage::other({0xF3, 0x05}),
                       MIDIMessage::other({0xF6}),           MIDIMessage::other({0xF7})};
    for (const auto& m : all) EXPECT_EQ(feed(m.bytes()), Messages{m}) << describe(m);
}

TEST_F(MIDIStreamParserTest, RealTimeBytesPassThroughWithoutDisturbing) {
    EXPECT_EQ(feed({0x90, 0x3C, 0xF8, 0x64}),
              (Messages{MIDIMessage::other({0xF8}), MIDIMessage::noteOn(0, 60, 100)}));
    EXPECT_EQ(feed({0xF0, 0x01, 0xFE, 0x02, 0xFA, 0xF7}),
              (Messages{MIDIMessage::other({0xFE}), MIDIMessage::other({0xFA}),
                        MIDIMessage::sysex({0xF0, 0x01, 0x02, 0xF7})}));
    EXPECT_EQ(feed({0xF2, 0x01, 0xFF, 0x02}),
              (Messages{MIDIMessage::other({0xFF}), MIDIMessage::other({0xF2, 0x01, 0x02})}));
}

TEST_F(MIDIStreamParserTest, SystemCommonClearsStatus) {
    EXPECT_EQ(feed({0xF2, 0x01, 0x02, 0x03}), (Messages{MIDIMessage::other({0xF2, 0x01, 0x02})}));
    EXPECT_EQ(parser.status(), 0);
    EXPECT_EQ(feed({0xF1, 0x10, 0x11, 0xF3, 0x04}),
              (Messages{MIDIMessage::other({0xF1, 0x10}), MIDIMessage::other({0xF3, 0x04})}));
    EXPECT_EQ(feed({0x90, 0x3C, 0xF6, 0x64}), (Messages{MIDIMessage::other({0xF6})}));
    EXPECT_EQ(feed({0xF7}), (Messages{MIDIMessage::other({0xF7})}));
}

TEST_F(MIDIStreamParserTest, StrayAndUndefinedDataBytesYieldNothing) {
    EXPECT_TRUE(feed({0x3C, 0x64}).empty());
    // Undefined system common: what follows is dropped, however long, and no status remains.
    Bytes flood{0xF4};
    flood.resize(100000, 0x11);
    EXPECT_TRUE(feed(flood).empty());
    EXPECT_EQ(parser.status(), 0);
    EXPECT_TRUE(feed({0xF5, 0x01, 0x02, 0x03}).empty());
    EXPECT_EQ(feed({0x90, 0x3C, 0x64}), (Messages{MIDIMessage::noteOn(0, 60, 100)}));
}

TEST_F(MIDIStreamParserTest, InterruptedSysexIsDroppedAndTheStatusByteStarts) {
    EXPECT_EQ(feed({0xF0, 0x01, 0x02, 0x90, 0x3C, 0x64}), (Messages{MIDIMessage::noteOn(0, 60, 100)}));
    EXPECT_FALSE(parser.inSysex());
    EXPECT_EQ(feed({0xF0, 0x01, 0xF0, 0x02, 0xF7}), (Messages{MIDIMessage::sysex({0xF0, 0x02, 0xF7})}));
    // F0 cancels running status.
    EXPECT_EQ(feed({0x90, 0xF0, 0xF7, 0x3C, 0x64}), (Messages{MIDIMessage::sysex({0xF0, 0xF7})}));
}

TEST_F(MIDIStreamParserTest, MessagesSplitOverPacketsAreEmittedOnceAtTheEnd) {
    EXPECT_TRUE(feed({0xF0, 0x7D}).empty());
    EXPECT_TRUE(parser.inSysex());
    EXPECT_EQ(feed({0x50, 0x43, 0x01, 0x03, 0xF7}),
              (Messages{MIDIMessage::sysex({0xF0, 0x7D, 0x50, 0x43, 0x01, 0x03, 0xF7})}));
    EXPECT_TRUE(feed({0xB0}).empty());
    EXPECT_TRUE(feed({0x47}).empty());
    EXPECT_EQ(feed({0x7F}), (Messages{MIDIMessage::controlChange(0, 0x47, 0x7F)}));
}

TEST_F(MIDIStreamParserTest, OverlongSysexIsTruncatedAtTheCap) {
    parser.setMaxSysexLength(4);
    EXPECT_EQ(feed({0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0xF7}),
              (Messages{MIDIMessage::sysex({0xF0, 0x01, 0x02, 0x03, 0xF7})}));

    MIDIStreamParser standard;
    EXPECT_EQ(standard.maxSysexLength(), 65536);
    Bytes big{0xF0};
    big.resize(70000, 0x55);
    big.push_back(0xF7);
    std::vector<MIDIMessage> out;
    standard.feed(big, [&](const MIDIMessage& m) { out.push_back(m); });
    ASSERT_EQ(out.size(), 1u);
    const Bytes& kept = out[0].as<MIDIMessage::Sysex>()->bytes;
    EXPECT_EQ(kept.size(), 65537u);
    EXPECT_EQ(kept.back(), 0xF7);
    EXPECT_EQ(kept[65535], 0x55);
}

TEST(Hex, BytesAreTwoUpperCaseDigitsJoinedByBlanks) {
    EXPECT_EQ(Hex::byte(10), "0A");
    EXPECT_EQ(Hex::byte(247), "F7");
    EXPECT_EQ(Hex::byte(0), "00");
    EXPECT_EQ(Hex::bytes(Bytes{0xF0, 0x0A}), "F0 0A");
    EXPECT_EQ(Hex::bytes(Bytes{}), "");
}

TEST(MIDIMessageDescribe, ReadsLikeTheFactory) {
    EXPECT_EQ(describe(MIDIMessage::noteOn(0, 60, 100)), "noteOn(0, 60, 100)");
    EXPECT_EQ(describe(MIDIMessage::pitchBend(3, 8192)), "pitchBend(3, 8192)");
    EXPECT_EQ(describe(MIDIMessage::sysex({0xF0, 0x7D, 0xF7})), "sysex([F0 7D F7])");
}

}  // namespace
}  // namespace corvane
