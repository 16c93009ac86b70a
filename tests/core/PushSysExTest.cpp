#include "core/PushSysEx.h"

#include <gtest/gtest.h>

#include <vector>

using namespace corvane;
using namespace corvane::PushSysEx;

namespace {

Bytes framed(std::initializer_list<std::uint8_t> body) {
    Bytes bytes{0xF0, 0x00, 0x21, 0x1D, 0x01, 0x01};
    for (std::uint8_t b : body) bytes.push_back(b);
    bytes.push_back(0xF7);
    return bytes;
}

}  // namespace

TEST(PushSysExFraming, BodyUnwrapsWhatMessageWraps) {
    const Bytes body{0x07, 0x40};
    EXPECT_EQ(message(body), framed({0x07, 0x40}));
    EXPECT_EQ(PushSysEx::body(message(body)), body);
}

TEST(PushSysExFraming, BodyRefusesEmptyShortForeignAndUnterminatedMessages) {
    EXPECT_EQ(PushSysEx::body(framed({})), std::nullopt);  // 7 bytes, empty body
    EXPECT_EQ(PushSysEx::body(Bytes{}), std::nullopt);
    EXPECT_EQ(PushSysEx::body(Bytes{0xF0, 0x7D, 0x01, 0x02, 0x03, 0x04, 0x05, 0xF7}), std::nullopt);
    EXPECT_EQ(PushSysEx::body(Bytes{0xF0, 0x00, 0x21, 0x1D, 0x01, 0x02, 0x07, 0xF7}), std::nullopt);
    EXPECT_EQ(PushSysEx::body(Bytes{0xF0, 0x00, 0x21, 0x1D, 0x01, 0x01, 0x07, 0x40}), std::nullopt);
}

TEST(PushSysExCommands, BrightnessIsClampedToThePushRange) {
    EXPECT_EQ(ledBrightness(64), framed({0x06, 0x40}));
    EXPECT_EQ(ledBrightness(200), framed({0x06, 0x7F}));
    EXPECT_EQ(ledBrightness(-5), framed({0x06, 0x00}));
    EXPECT_EQ(displayBrightness(255), framed({0x08, 0x7F, 0x01}));
    EXPECT_EQ(displayBrightness(300), framed({0x08, 0x7F, 0x01}));
    EXPECT_EQ(displayBrightness(128), framed({0x08, 0x00, 0x01}));
    EXPECT_EQ(displayBrightness(-1), framed({0x08, 0x00, 0x00}));
}

TEST(PushSysExCommands, AftertouchAndPreamp) {
    EXPECT_EQ(aftertouchMode(AftertouchMode::channel), framed({0x1E, 0x00}));
    EXPECT_EQ(aftertouchMode(AftertouchMode::mpe), framed({0x1E, 0x02}));

    const Bytes input1 = preamp(0, Preamp::instrument);
    EXPECT_EQ(input1.size(), 23u);
    EXPECT_EQ(input1, framed({0x37, 0x1A, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(preamp(1, Preamp::high), framed({0x37, 0x1B, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PushSysExCommands, VelocityCurveChunkMasksStartClampsValuesAndTakesSixteen) {
    const std::vector<int> values{0, 200, 64};
    EXPECT_EQ(velocityCurveChunk(130, values), framed({0x20, 0x02, 0x01, 0x7F, 0x40}));

    std::vector<int> many(20);
    for (int i = 0; i < 20; ++i) many[static_cast<std::size_t>(i)] = i + 1;
    const Bytes chunk = velocityCurveChunk(16, many);
    ASSERT_EQ(chunk.size(), 6u + 2u + 16u + 1u);
    EXPECT_EQ(chunk[7], 16);
    EXPECT_EQ(chunk[8], 1);
    EXPECT_EQ(chunk[23], 16);

    EXPECT_EQ(velocityCurveChunk(0, std::vector<int>{}), framed({0x20, 0x00}));
    EXPECT_EQ(queryVelocityCurveEntry(129), framed({0x21, 0x01}));
    EXPECT_EQ(queryPaletteEntry(94), framed({0x04, 94}));
}

TEST(PushSysExCommands, PaletteReapplyAndQueries) {
    const PaletteEntry entry{.index = 94, .red = 255, .green = 128, .blue = 0, .white = 127};
    EXPECT_EQ(setPalette(entry), (Bytes{0xF0, 0x00, 0x21, 0x1D, 0x01, 0x01, 0x03, 0x5E, 0x7F, 0x01, 0x00,
                                        0x01, 0x00, 0x00, 0x7F, 0x00, 0xF7}));
    const PaletteEntry wild{.index = 200, .red = -4, .green = 999, .blue = 1, .white = 0};
    EXPECT_EQ(setPalette(wild), framed({0x03, 0x48, 0x00, 0x00, 0x7F, 0x01, 0x01, 0x00, 0x00, 0x00}));

    EXPECT_EQ(reapply(), framed({0x05}));
    EXPECT_EQ(settingsQueries(), (std::vector<Bytes>{framed({0x07}), framed({0x09}), framed({0x1F})}));
}

TEST(PushSysExReplies, SettingsReplies) {
    EXPECT_EQ(reply(Bytes{0x07, 0x40}), Reply::ledBrightness(64));
    EXPECT_EQ(reply(Bytes{0x09, 0x7F, 0x01}), Reply::displayBrightness(255));
    EXPECT_EQ(reply(Bytes{0x09, 0x00, 0x01}), Reply::displayBrightness(128));
    EXPECT_EQ(reply(Bytes{0x1F, 0x01}), Reply::aftertouchMode(AftertouchMode::poly));
    EXPECT_EQ(reply(Bytes{0x21, 0x05, 0x63}), Reply::velocityCurveEntry(5, 0x63));
    // Longer replies are read from their start.
    EXPECT_EQ(reply(Bytes{0x07, 0x10, 0x55, 0x66}), Reply::ledBrightness(16));
}

TEST(PushSysExReplies, ShortUnknownAndForeignRepliesAreAbsent) {
    EXPECT_EQ(reply(Bytes{}), std::nullopt);
    EXPECT_EQ(reply(Bytes{0x07}), std::nullopt);
    EXPECT_EQ(reply(Bytes{0x09, 0x7F}), std::nullopt);
    EXPECT_EQ(reply(Bytes{0x1F}), std::nullopt);
    EXPECT_EQ(reply(Bytes{0x1F, 0x03}), std::nullopt);
    EXPECT_EQ(reply(Bytes{0x21, 0x05}), std::nullopt);
    EXPECT_EQ(reply(Bytes{0x06, 0x40}), std::nullopt);  // a command, not a reply
    EXPECT_EQ(reply(Bytes{0x04, 0x5E, 0, 0, 0, 0, 0, 0, 0, 0}), std::nullopt);
}

TEST(PushSysExReplies, PaletteEntryRoundTripsAndRefusesShortBodies) {
    const PaletteEntry entry{.index = 95, .red = 77, .green = 38, .blue = 255, .white = 32};
    Bytes query = *PushSysEx::body(setPalette(entry));
    query[0] = getPaletteEntry;  // the reply has the set command's layout
    EXPECT_EQ(decodePaletteEntry(query), entry);

    EXPECT_EQ(decodePaletteEntry(Bytes{0x04, 0x5E, 0x7F, 0x01, 0x00, 0x01, 0x00, 0x00, 0x7F}), std::nullopt);
    EXPECT_EQ(decodePaletteEntry(Bytes{0x03, 0x5E, 0x7F, 0x01, 0x00, 0x01, 0x00, 0x00, 0x7F, 0x00}), std::nullopt);
    EXPECT_EQ(decodePaletteEntry(Bytes{}), std::nullopt);
}
