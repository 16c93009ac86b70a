#pragma once
// The Push 3 display's wire format, its timing and the device's USB identity.

#include <array>
#include <cstdint>

namespace corvane::DisplayFormat {

inline constexpr int width = 960;
inline constexpr int height = 160;
inline constexpr int bytesPerPixel = 2;
inline constexpr int lineBytes = 2048;
inline constexpr int fillerBytes = lineBytes - width * bytesPerPixel;
inline constexpr int frameBytes = height * lineBytes;

// Sent unchanged ahead of every pixel block; never shaped.
inline constexpr std::array<std::uint8_t, 16> header{0xFF, 0xCC, 0xAA, 0x88, 0, 0, 0, 0,
                                                     0,    0,    0,    0,    0, 0, 0, 0};

// Every byte i of the pixel block is XORed with xorPattern[i % 4].
inline constexpr std::array<std::uint8_t, 4> xorPattern{0xE7, 0xF3, 0xE7, 0xFF};
inline constexpr std::uint32_t xorWord = 0xFFE7F3E7;

inline constexpr int chunkBytes = 16384;
inline constexpr double keepAliveInterval = 0.25;

inline constexpr int usbVendorID = 0x2982;
inline constexpr int push3ProductID = 0x1969;
inline constexpr int push2ProductID = 0x1967;
inline constexpr int displayInterfaceNumber = 0;
inline constexpr int displayEndpoint = 1;

static_assert(fillerBytes == 128);
static_assert(frameBytes == 327680);
static_assert(frameBytes % chunkBytes == 0);

}  // namespace corvane::DisplayFormat
