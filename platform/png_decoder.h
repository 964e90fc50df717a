// The quick path for plain PNG files (8-bit RGBA, not interlaced, no colour management),
// the kind the program's own layout images are: libdeflate inflates the image data in
// one go straight into the bitmap's buffer, and the rows are unfiltered, swapped to BGRA
// and premultiplied there, in place. Other PNGs go to the general decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "scene/material/bitmap.h"

namespace sphaerix {

// Decodes a plain PNG into pixels for a AWidth x AHeight bitmap (32-bit BGRA,
// premultiplied exactly as the general decoder does it). Returns false, touching
// nothing, when the file is a PNG of another kind; raises EBitmapLoadingFailed for a
// plain PNG whose data is damaged.
bool DecodePlainPng(const std::uint8_t* AData, std::size_t ASize, TBitmapPixels& APixels, int& AWidth,
                    int& AHeight);

// The same pixels a row at a time, top row first, for a reader that keeps less than the
// whole picture: ASizeKnown(width, height) comes first, then ARow once per row with its
// pixels (valid during the call). The rows are inflated a few at a time, so only a few
// rows are held here. Returns false, calling nothing, when the file is a PNG of another
// kind; raises EBitmapLoadingFailed for a plain PNG whose data is damaged (rows may
// have been handed out by then).
bool DecodePlainPngRows(const std::uint8_t* AData, std::size_t ASize,
                        const std::function<void(int, int)>& ASizeKnown,
                        const std::function<void(const std::uint32_t*)>& ARow);

// True when AData starts with the PNG signature.
bool IsPng(const std::uint8_t* AData, std::size_t ASize);

}  // namespace sphaerix
