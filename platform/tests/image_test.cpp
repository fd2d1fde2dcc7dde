// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Image.h"

#include <gtest/gtest.h>

#include <utility>

namespace mv {
namespace {

uint32_t Pattern(size_t i) { return uint32_t(i * 2654435761u); }

// The first `n` pixels (all when 0) hold the pattern.
bool HoldsPattern(const TImage& img, size_t n = 0) {
  if (n == 0) n = img.Pixels.size();
  for (size_t i = 0; i < n; ++i)
    if (img.Pixels[i] != Pattern(i)) return false;
  return true;
}

// Small pictures and those big enough for huge pages (from a megabyte) are
// the same to their users: copied, moved, grown across the line, shrunk and
// swapped, each keeps its pixels.
TEST(Image, PicturesOfEverySizeKeepTheirPixels) {
  const std::pair<int, int> sizes[] = {{1, 1}, {300, 46}, {511, 512}, {512, 512}, {800, 600}, {2049, 1100}};
  for (auto [w, h] : sizes) {
    SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
    TImage a(w, h, 0x123456);
    for (uint32_t p : a.Pixels) ASSERT_EQ(p, 0x123456u);
    for (size_t i = 0; i < a.Pixels.size(); ++i) a.Pixels[i] = Pattern(i);
    TImage b = a;
    EXPECT_TRUE(HoldsPattern(b));
    TImage c = std::move(b);
    EXPECT_TRUE(HoldsPattern(c));
    const size_t n = c.Pixels.size();
    c.Pixels.resize(n + (size_t(1) << 19), 7);  // past a megabyte more
    EXPECT_TRUE(HoldsPattern(c, n));
    EXPECT_EQ(c.Pixels.back(), 7u);
    c.Pixels.resize(n);
    c.Pixels.shrink_to_fit();
    EXPECT_TRUE(HoldsPattern(c));
    TImage d(1, 1);
    std::swap(c, d);
    EXPECT_TRUE(HoldsPattern(d));
    EXPECT_EQ(c.Pixels.size(), 1u);
    a = d;
    EXPECT_TRUE(HoldsPattern(a));
  }
}

}  // namespace
}  // namespace mv
