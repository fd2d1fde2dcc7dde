// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Blit.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/Surface.h"

namespace mv {
namespace {

constexpr TColor kKey = 0xFF00FF;

// 3x3 source: pixel value 1..9 row by row, with the centre keyed.
TImage Source() {
  TImage s(3, 3);
  for (int i = 0; i < 9; ++i) s.Pixels[i] = uint32_t(i + 1);
  s.At(1, 1) = kKey;
  return s;
}

// Renders a 4x4 destination as a string of digits ('.' for untouched).
std::string Dump(const TImage& d) {
  std::string out;
  for (int y = 0; y < d.Height; ++y) {
    for (int x = 0; x < d.Width; ++x) {
      uint32_t p = d.At(x, y);
      out += p == 0 ? '.' : p == kKey ? 'K' : char('0' + p);
    }
    out += '/';
  }
  return out;
}

TEST(BlitKeyed, ClipsAtEveryEdgeAndSkipsKey) {
  struct Case {
    const char* Name;
    int X, Y;
    TRect Src;
    bool Keyed;
    const char* Expect;
  } cases[] = {
      {"inside", 0, 0, {0, 0, 3, 3}, true, "123./4.6./789./..../"},
      {"unkeyed", 0, 0, {0, 0, 3, 3}, false, "123./4K6./789./..../"},
      {"left", -2, 0, {0, 0, 3, 3}, true, "3.../6.../9.../..../"},
      {"top", 1, -2, {0, 0, 3, 3}, true, ".789/..../..../..../"},
      {"right", 3, 1, {0, 0, 3, 3}, true, "..../...1/...4/...7/"},
      {"bottom", 0, 3, {0, 0, 3, 3}, true, "..../..../..../123./"},
      {"all outside", 4, 0, {0, 0, 3, 3}, true, "..../..../..../..../"},
      {"sub-rect", 0, 0, {1, 1, 3, 3}, true, ".6../89../..../..../"},
      {"src past picture", 0, 0, {2, -1, 5, 2}, false, "..../3.../6.../..../"},
  };
  for (const auto& c : cases) {
    TImage d(4, 4);
    BlitKeyed(d, c.X, c.Y, Source(), c.Src, c.Keyed, kKey);
    EXPECT_EQ(Dump(d), c.Expect) << c.Name;
  }
}

TEST(BlitKeyed, KeyComparesLow24BitsOnly) {
  TImage s(2, 1);
  s.Pixels = {0xAAFF00FF, 0x00000005};
  TImage d(2, 1);
  BlitKeyed(d, 0, 0, s, {0, 0, 2, 1}, true, 0x12FF00FF);
  EXPECT_EQ(d.At(0, 0), 0u);
  EXPECT_EQ(d.At(1, 0), 5u);
}

TEST(BlitStretched, DoublesAndClips) {
  TImage s(2, 2);
  s.Pixels = {1, 2, 3, kKey};
  TImage d(4, 4);
  BlitStretched(d, {0, 0, 4, 4}, s, {0, 0, 2, 2}, true, kKey);
  EXPECT_EQ(Dump(d), "1122/1122/33../33../");
  TImage e(4, 4);
  BlitStretched(e, {-2, 2, 2, 6}, s, {0, 0, 2, 2}, false, kKey);
  EXPECT_EQ(Dump(e), "..../..../22../22../");
}

TEST(BlitStretched, HalvesBySampling) {
  TImage s(4, 1);
  s.Pixels = {1, 2, 3, 4};
  TImage d(2, 1);
  BlitStretched(d, {0, 0, 2, 1}, s, {0, 0, 4, 1}, false, kKey);
  // Each output pixel samples inside its own half of the source.
  EXPECT_TRUE(d.At(0, 0) == 1 || d.At(0, 0) == 2);
  EXPECT_TRUE(d.At(1, 0) == 3 || d.At(1, 0) == 4);
}

TEST(BlitAlpha, BlendsOverDestination) {
  TImage s(2, 1);
  s.Pixels = {0xFFFFFF, kKey};
  TImage d(2, 1, 0x000000);
  BlitAlpha(d, {0, 0, 2, 1}, s, {0, 0, 2, 1}, true, kKey, 128);
  for (int sh : {0, 8, 16}) {
    int c = int((d.At(0, 0) >> sh) & 0xFF);
    EXPECT_NEAR(c, 128, 1);
  }
  EXPECT_EQ(d.At(1, 0), 0u) << "key pixel must stay out";

  TImage o(1, 1, 0x102030);
  BlitAlpha(o, {0, 0, 1, 1}, s, {0, 0, 1, 1}, true, kKey, 255);
  EXPECT_EQ(o.At(0, 0), 0xFFFFFFu);
  BlitAlpha(o, {0, 0, 1, 1}, TImage(1, 1, 0x000000), {0, 0, 1, 1}, false, kKey, 0);
  EXPECT_EQ(o.At(0, 0), 0xFFFFFFu);
}

TEST(ScaleSmooth, AveragesOnlyOpaqueAndKeepsEdgesClean) {
  // 4x4: a 2x2 opaque red block in the top-left corner, one opaque blue
  // pixel bottom-right, rest key.
  TImage s(4, 4, kKey);
  s.At(0, 0) = s.At(1, 0) = s.At(0, 1) = s.At(1, 1) = 0xFF0000;
  s.At(3, 3) = 0x0000FF;
  TImage out = ScaleSmooth(s, {0, 0, 4, 4}, 2, 2, true, kKey);
  ASSERT_EQ(out.Width, 2);
  ASSERT_EQ(out.Height, 2);
  EXPECT_EQ(out.At(0, 0), 0xFF0000u);
  EXPECT_EQ(out.At(1, 0), kKey);
  EXPECT_EQ(out.At(0, 1), kKey);
  EXPECT_EQ(out.At(1, 1), kKey) << "a quarter-opaque area stays transparent";

  // Half opaque: red and green mixed without any magenta bleeding in.
  TImage h(2, 2, kKey);
  h.At(0, 0) = 0xFF0000;
  h.At(1, 0) = 0x00FF00;
  TImage one = ScaleSmooth(h, {0, 0, 2, 2}, 1, 1, true, kKey);
  EXPECT_EQ(one.At(0, 0), 0x808000u);
}

TEST(ScaleSmooth, UnkeyedAverageAndOddRatio) {
  TImage s(3, 1);
  s.Pixels = {0x000000, 0x000090, 0x000030};
  TImage out = ScaleSmooth(s, {0, 0, 3, 1}, 1, 1, false, kKey);
  EXPECT_EQ(out.At(0, 0), 0x000040u);
  TImage two = ScaleSmooth(s, {0, 0, 3, 1}, 2, 1, false, kKey);
  // Left output covers 1.5 pixels: (0 + 0.5 * 0x90) / 1.5 = 0x30.
  EXPECT_EQ(two.At(0, 0), 0x000030u);
  EXPECT_EQ(two.At(1, 0), 0x000050u);
}

// The plain way to draw a picture rectangle at its own size: every pixel
// tested for the key, clipped one pixel at a time. `alpha` below 0 copies
// as a keyed draw does; 0..255 blends as an alpha draw does.
void PixelByPixel(TImage& dst, int x, int y, const TImage& src, const TRect& r, bool keyed,
                  TColor key, int alpha) {
  for (int row = 0; row < r.Height(); ++row)
    for (int col = 0; col < r.Width(); ++col) {
      const int dx = x + col, dy = y + row;
      if (dx < 0 || dy < 0 || dx >= dst.Width || dy >= dst.Height) continue;
      const uint32_t p = src.At(r.Left + col, r.Top + row);
      if (keyed && (p & 0xFFFFFF) == (key & 0xFFFFFF)) continue;
      uint32_t& d = dst.At(dx, dy);
      if (alpha < 0) {
        d = p;
      } else if (alpha >= 255) {
        d = p & 0xFFFFFF;
      } else if (alpha > 0) {
        uint32_t out = 0;
        for (int sh : {0, 8, 16}) {
          const uint32_t s = p >> sh & 0xFF, o = d >> sh & 0xFF;
          out |= ((s * uint32_t(alpha) + o * (255 - uint32_t(alpha)) + 0x80) >> 8 & 0xFF) << sh;
        }
        d = out;
      }
    }
}

// Pictures with rows all keyed, all drawn, and mixed, stray bits in the
// unused top byte, drawn anywhere in, across and past a destination.
TEST(BlitSpans, DrawExactlyWhatPixelByPixelDraws) {
  std::mt19937 rng(19);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int trial = 0; trial < 3000; ++trial) {
    SCOPED_TRACE(trial);
    const TColor key = pick(0, 3) == 0 ? 0 : kKey;
    TImage src(pick(1, 40), pick(1, 30));
    for (int y = 0; y < src.Height; ++y) {
      const int kind = pick(0, 3), density = pick(0, 100);
      for (int x = 0; x < src.Width; ++x) {
        const bool keyed_here = kind == 0 || (kind == 2 && pick(0, 99) < density);
        const uint32_t top = pick(0, 7) == 0 ? uint32_t(pick(1, 255)) << 24 : 0;
        src.At(x, y) = top | (keyed_here ? key : uint32_t(pick(0, 0xFFFFFF)));
      }
    }
    const int l = pick(0, src.Width - 1), t = pick(0, src.Height - 1);
    const TRect r{l, t, pick(l + 1, src.Width), pick(t + 1, src.Height)};
    const bool keyed = pick(0, 4) != 0;
    TImage dst(pick(1, 50), pick(1, 40));
    for (uint32_t& p : dst.Pixels) p = uint32_t(pick(0, 0xFFFFFF));
    const int x = pick(-r.Width() - 3, dst.Width + 3), y = pick(-r.Height() - 3, dst.Height + 3);
    const int alpha = pick(0, 3) == 0 ? -1 : pick(0, 2) == 0 ? (pick(0, 1) ? 0 : 255) : pick(1, 254);

    const TSpans spans(src, r, keyed, key ^ (uint32_t(pick(0, 255)) << 24));
    TImage want = dst, got = dst;
    PixelByPixel(want, x, y, src, r, keyed, key, alpha);
    const bool drawn = alpha < 0 ? BlitSpans(got, x, y, src, r, spans)
                                 : BlitSpansAlpha(got, x, y, src, r, spans, uint8_t(alpha));
    ASSERT_TRUE(drawn);
    ASSERT_EQ(got.Pixels, want.Pixels) << "picture " << src.Width << "x" << src.Height << " rect "
                                       << r.Left << "," << r.Top << "-" << r.Right << ","
                                       << r.Bottom << " at " << x << "," << y << " on "
                                       << dst.Width << "x" << dst.Height << " alpha " << alpha;
    // The per-pixel blits of the game agree with the reference as well.
    TImage old = dst;
    if (alpha < 0) BlitKeyed(old, x, y, src, r, keyed, key);
    else BlitAlpha(old, Bounds(x, y, r.Width(), r.Height()), src, r, keyed, key, uint8_t(alpha));
    ASSERT_EQ(old.Pixels, want.Pixels);
  }
}

TEST(BlitSpans, RefuseSpansOfAnotherRectangle) {
  TImage src(8, 8, 0x123456), dst(10, 10, 0x111111);
  const TSpans spans(src, {0, 0, 4, 4}, false, kKey);
  EXPECT_EQ(spans.RunCount(), 4u);
  struct Case {
    const char* Name;
    TRect R;
  } cases[] = {
      {"wider", {0, 0, 5, 4}}, {"shorter", {0, 0, 4, 3}}, {"left of the picture", {-1, 0, 3, 4}},
      {"past the bottom", {4, 5, 8, 9}},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(BlitSpans(dst, 0, 0, src, c.R, spans)) << c.Name;
    EXPECT_FALSE(BlitSpansAlpha(dst, 0, 0, src, c.R, spans, 128)) << c.Name;
  }
  for (uint32_t p : dst.Pixels) ASSERT_EQ(p, 0x111111u);
  // Spans asked for outside the picture hold nothing and fit nothing.
  const TSpans outside(src, {6, 6, 10, 10}, true, kKey);
  EXPECT_EQ(outside.Width(), 0);
  EXPECT_FALSE(BlitSpans(dst, 0, 0, src, {6, 6, 10, 10}, outside));
  // A position far off the surface draws nothing and does not overflow.
  for (int x : {INT32_MIN, INT32_MIN + 2, 0, INT32_MAX - 2, INT32_MAX})
    for (int y : {INT32_MIN, 0, INT32_MAX}) {
      if (x == 0 && y == 0) continue;
      EXPECT_TRUE(BlitSpans(dst, x, y, src, {0, 0, 4, 4}, spans));
      EXPECT_TRUE(BlitSpansAlpha(dst, x, y, src, {0, 0, 4, 4}, spans, 100));
    }
  for (uint32_t p : dst.Pixels) ASSERT_EQ(p, 0x111111u);
}

TEST(SurfaceFill, SetsEveryPixelToTheColourLow24Bits) {
  struct Case {
    int W, H;
    TColor Color;
  } cases[] = {{800, 600, clBlack}, {800, 600, 0x12345678}, {1, 1, clWhite}, {7, 3, 0x0A0B0C},
               {17, 1, 0xFF000000}, {33, 5, clHighlight}};
  for (const auto& c : cases) {
    TSurface s(c.W, c.H);
    for (uint32_t& p : s.Pixels().Pixels) p = 0xDEADBEEF;
    s.Fill(c.Color);
    for (uint32_t p : s.Pixels().Pixels) ASSERT_EQ(p, c.Color & 0xFFFFFF) << c.W << "x" << c.H;
  }
}

}  // namespace
}  // namespace mv
