// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Picture sources for dxgtool: PNG and SVG in, PNG out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Image.h"
#include "platform/Types.h"

namespace dxg {

// Straight (not premultiplied) colour plus coverage per pixel.
struct TArt {
  mv::TImage Color;            // 0x00RRGGBB
  std::vector<uint8_t> Alpha;  // one per pixel
};

// Both throw std::runtime_error naming the file and the fault.
TArt LoadPng(const std::string& path);
TArt RenderSvg(const std::string& path);
void SavePngFile(const mv::TImage& image, const std::string& path);

// Hard-edged keying: coverage >= 128 is opaque, the rest becomes `key`, so
// no half-blended key colour fringes the shape. Opaque pixels that happen to
// equal the key are nudged one step so they stay visible. Without
// transparency the art is composited over black.
mv::TImage KeyOut(const TArt& art, bool transparent, mv::TColor key);

// Flips every pattern left to right in place; pattern order is kept.
void MirrorPatterns(mv::TImage& image, int pattern_w, int pattern_h, int skip_w, int skip_h);

}  // namespace dxg
