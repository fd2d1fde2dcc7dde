// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>  // before platform/Image.h, which uses size_t
#include <cstdint>
#include <vector>

#include "platform/Image.h"

namespace mv {

// Decodes a packed device-independent bitmap (information or core header,
// palette, pixels; no file header) into 0x00RRGGBB top-down rows. Empty data
// gives an empty picture. Throws EArchiveError: "DIB is invalid",
// "Bitcount in invalid (%d)", "PixelFormat in invalid".
TImage DecodeDib(const uint8_t* data, size_t size);
// The same for a whole bitmap file ("BM" file header, then the DIB).
TImage DecodeBmpFile(const uint8_t* data, size_t size);

// Packs a picture as an uncompressed bottom-up DIB with a 40-byte header,
// 24 or 32 bits per pixel.
std::vector<uint8_t> EncodeDib(const TImage& image, int bits = 24);

}  // namespace mv
