// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>

namespace mv {

// Right and bottom edges are exclusive.
struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

inline TRect Bounds(int x, int y, int w, int h) { return {x, y, x + w, y + h}; }

// Strict test: rectangles that only touch do not overlap.
inline bool OverlapRect(const TRect& a, const TRect& b) {
  return a.Left < b.Right && a.Right > b.Left && a.Top < b.Bottom && a.Bottom > b.Top;
}

// Colours are 0x00RRGGBB; surface pixels are the same with the top byte unused.
using TColor = uint32_t;
constexpr TColor clBlack = 0x000000, clWhite = 0xFFFFFF, clRed = 0xFF0000;
// The desktop's colour for selected items.
constexpr TColor clHighlight = 0x4FC3F7;  // light enough to read on deep water

}  // namespace mv
