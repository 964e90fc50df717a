// A GIF writer of our own: Qt reads GIF but cannot write it.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/material/bitmap.h"

namespace sphaerix {

// The GIF89a file for ABitmap: its exact colours when there are at most 256 (a
// transparent entry counted), else a 6 x 7 x 6 colour cube with Floyd-Steinberg
// dithering. Raises EBitmapSavingFailed for an empty bitmap or a side above 65535.
std::vector<std::uint8_t> EncodeGif(const TBitmap& ABitmap);

}  // namespace sphaerix
