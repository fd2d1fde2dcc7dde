#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mv {

// A decoded picture in the surface's own pixel format (0x00RRGGBB, rows top
// to bottom, no padding), so blits never convert.
struct TImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;

  TImage() = default;
  TImage(int w, int h, uint32_t fill = 0) : Width(w), Height(h), Pixels(size_t(w) * h, fill) {}
  bool Empty() const { return Width <= 0 || Height <= 0; }
  uint32_t* Row(int y) { return Pixels.data() + size_t(y) * Width; }
  const uint32_t* Row(int y) const { return Pixels.data() + size_t(y) * Width; }
  uint32_t& At(int x, int y) { return Pixels[size_t(y) * Width + x]; }
  uint32_t At(int x, int y) const { return Pixels[size_t(y) * Width + x]; }
};

}  // namespace mv
