#include "platform/Blit.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace mv
