// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>  // before platform/Image.h, which uses size_t
#include <cstdint>
#include <vector>

#include "platform/Image.h"

namespace mv {

// Decodes a JPEG file image into 0x00RRGGBB rows. Any decoder fault throws
// EArchiveError "JPEG error #%d" (the decoder's message code).
TImage DecodeJpeg(const uint8_t* data, size_t size);
// Encodes a picture as a baseline JPEG file image (quality 1..100).
std::vector<uint8_t> EncodeJpeg(const TImage& image, int quality = 90);

}  // namespace mv
