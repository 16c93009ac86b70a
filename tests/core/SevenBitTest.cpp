#include "core/SevenBit.h"

#include <gtest/gtest.h>

#include <random>

namespace corvane {
namespace {

TEST(SevenBitPack, GroupsOfSevenBehindALeadByte) {
    EXPECT_TRUE(SevenBit::pack(Bytes{}).empty());
    EXPECT_EQ(SevenBit::pack(Bytes{229, 57, 53}), (Bytes{0x01, 0x65, 0x39, 0x35}));
    EXPECT_EQ(SevenBit::pack(Bytes{0x80, 1, 2, 3, 4, 5, 0xFF, 0x81}),
              (Bytes{0x41, 0x00, 1, 2, 3, 4, 5, 0x7F, 0x01, 0x01}));
}

TEST(SevenBitPack, RoundTripsAtEveryLengthNearAGroupBoundary) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (std::size_t n = 0; n <= 30; ++n) {
        for (int trial = 0; trial < 20; ++trial) {
            Bytes data(n);
            for (auto& b : data) b = static_cast<std::uint8_t>(byte(random));
            const Bytes packed = SevenBit::pack(data);
            ASSERT_EQ(packed.size(), n + (n + 6) / 7);
            for (auto b : packed) ASSERT_LT(b, 0x80);
            ASSERT_EQ(SevenBit::unpack(packed), data) << "length " << n;
        }
    }
}

TEST(SevenBitUnpack, EndsAnywhereAndRefusesEightBitBytes) {
    EXPECT_EQ(SevenBit::unpack(Bytes{0x01}), Bytes{});  // a lead byte alone adds nothing
    EXPECT_EQ(SevenBit::unpack(Bytes{0x03, 0x10, 0x20}), (Bytes{0x90, 0xA0}));
    EXPECT_EQ(SevenBit::unpack(Bytes{0x00, 1, 2, 3, 4, 5, 6, 7, 0x00}), (Bytes{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(SevenBit::unpack(Bytes{0x80, 0x01}), std::nullopt);
    EXPECT_EQ(SevenBit::unpack(Bytes{0x00, 0x01, 0x80}), std::nullopt);
}

TEST(SevenBitNumbers, FourteenBitsHighFirstAndClamped) {
    EXPECT_EQ(SevenBit::encode14(1000), (std::array<std::uint8_t, 2>{0x07, 0x68}));
    EXPECT_EQ(SevenBit::encode14(-5), (std::array<std::uint8_t, 2>{0x00, 0x00}));
    EXPECT_EQ(SevenBit::encode14(20000), (std::array<std::uint8_t, 2>{0x7F, 0x7F}));
    EXPECT_EQ(SevenBit::decode14(0x07, 0x68), 1000);
    EXPECT_EQ(SevenBit::decode14(0xFF, 0xFF), 16383);  // masked, not refused
}

TEST(SevenBitStrings, CutAtACharacterBoundary) {
    const std::string ascii(300, 'a');
    EXPECT_EQ(SevenBit::decodeString(SevenBit::encodeString(ascii, 255)), std::string(255, 'a'));

    // "ü" is two bytes: at 254 ASCII bytes the 256th byte is its continuation byte.
    const std::string umlaut = std::string(254, 'a') + "\xC3\xBC" + "b";
    EXPECT_EQ(SevenBit::decodeString(SevenBit::encodeString(umlaut, 255)), std::string(254, 'a'));
    const std::string fits = std::string(253, 'a') + "\xC3\xBC" + "b";
    EXPECT_EQ(SevenBit::decodeString(SevenBit::encodeString(fits, 255)), std::string(253, 'a') + "\xC3\xBC");
    // A four-byte character straddling the cut goes whole.
    const std::string emoji = std::string(253, 'a') + "\xF0\x9F\x8E\xB9";
    EXPECT_EQ(SevenBit::decodeString(SevenBit::encodeString(emoji, 255)), std::string(253, 'a'));
    // Nothing fits before the first boundary.
    EXPECT_TRUE(SevenBit::encodeString("\xF0\x9F\x8E\xB9", 3).empty());
    EXPECT_TRUE(SevenBit::encodeString("abc", 0).empty());
}

TEST(SevenBitStrings, InvalidUTF8DecodesWithReplacements) {
    EXPECT_EQ(SevenBit::decodeString(SevenBit::pack(Bytes{'a', 0xFF, 'b'})), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(SevenBit::decodeString(Bytes{0x00, 0x80}), std::nullopt);
    EXPECT_EQ(SevenBit::decodeString(Bytes{}), "");
}

}  // namespace
}  // namespace corvane
