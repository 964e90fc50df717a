// 32-bit colours: alpha in the top byte, then red, green, blue (ARGB, as written 0xAARRGGBB).
#pragma once

#include <cstdint>

namespace sphaerix {

using TAlphaColor = std::uint32_t;

constexpr TAlphaColor claNull = 0x00000000;
constexpr TAlphaColor claWhite = 0xFFFFFFFF;
constexpr TAlphaColor claBlack = 0xFF000000;
constexpr TAlphaColor claAqua = 0xFF00FFFF;

constexpr std::uint8_t AlphaOf(TAlphaColor c) { return static_cast<std::uint8_t>(c >> 24); }
constexpr std::uint8_t RedOf(TAlphaColor c) { return static_cast<std::uint8_t>(c >> 16); }
constexpr std::uint8_t GreenOf(TAlphaColor c) { return static_cast<std::uint8_t>(c >> 8); }
constexpr std::uint8_t BlueOf(TAlphaColor c) { return static_cast<std::uint8_t>(c); }

}  // namespace sphaerix
