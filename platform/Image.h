// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mv {

// Storage for pixels and whole files, left uninitialised. A megabyte and more
// (backgrounds, sheets, the surface, the archives read at start-up) is mapped
// in huge pages where the system has them: the game reads and decodes tens of
// megabytes at start-up, and taking them a small page at a time cost more
// than the reading and decoding.
void* AllocateBuffer(size_t bytes);
void FreeBuffer(void* p, size_t bytes);

template <class T>
struct TPixelAllocator {
  using value_type = T;
  TPixelAllocator() = default;
  template <class U>
  TPixelAllocator(const TPixelAllocator<U>&) {}
  T* allocate(size_t n) { return static_cast<T*>(AllocateBuffer(n * sizeof(T))); }
  void deallocate(T* p, size_t n) { FreeBuffer(p, n * sizeof(T)); }
  friend bool operator==(const TPixelAllocator&, const TPixelAllocator&) { return true; }
};

using TPixels = std::vector<uint32_t, TPixelAllocator<uint32_t>>;

// A decoded picture in the surface's own pixel format (0x00RRGGBB, rows top
// to bottom, no padding), so blits never convert.
struct TImage {
  int Width = 0;
  int Height = 0;
  TPixels Pixels;

  TImage() = default;
  TImage(int w, int h, uint32_t fill = 0) : Width(w), Height(h), Pixels(size_t(w) * h, fill) {}
  bool Empty() const { return Width <= 0 || Height <= 0; }
  uint32_t* Row(int y) { return Pixels.data() + size_t(y) * Width; }
  const uint32_t* Row(int y) const { return Pixels.data() + size_t(y) * Width; }
  uint32_t& At(int x, int y) { return Pixels[size_t(y) * Width + x]; }
  uint32_t At(int x, int y) const { return Pixels[size_t(y) * Width + x]; }
};

}  // namespace mv
