// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Canvas.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/Surface.h"

namespace mv {
namespace {

TRect InkBox(const TImage& img) {
  TRect r{img.Width, img.Height, 0, 0};
  for (int y = 0; y < img.Height; ++y)
    for (int x = 0; x < img.Width; ++x)
      if (img.At(x, y) != 0) {
        r.Left = std::min(r.Left, x);
        r.Top = std::min(r.Top, y);
        r.Right = std::max(r.Right, x + 1);
        r.Bottom = std::max(r.Bottom, y + 1);
      }
  return r;
}

// Font files this process holds open.
int OpenFontFiles() {
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink(e.path(), ec).string();
    for (const char* ext : {".ttf", ".otf", ".TTF", ".OTF", ".pfb"})
      if (!ec && target.size() > 4 && target.compare(target.size() - 4, 4, ext) == 0) ++n;
  }
  return n;
}

TEST(Canvas, FontsCloseWithTheLastCanvas) {
  {
    TSurface s(100, 40);
    TCanvas& c = s.Canvas();
    for (const char* font : {"Staccato222 BT", "Arial", "Comic Sans MS"}) {
      c.SetFont(font, 16, true);
      c.TextOut(0, 0, "Marovane");
    }
    TImage other(10, 10);
    TCanvas second(other);  // shares the open fonts
    second.SetFont("Arial", 16, true);
    EXPECT_GT(second.TextWidth("M"), 0);
    EXPECT_GT(OpenFontFiles(), 0);
  }
  EXPECT_EQ(OpenFontFiles(), 0);
  // And they open again for the next canvas.
  TImage img(10, 10);
  TCanvas c(img);
  c.SetFont("Arial", 12, false);
  EXPECT_GT(c.TextWidth("M"), 0);
}

TEST(Canvas, DrawsTextBelowAndRightOfPosition) {
  for (const char* font : {"Staccato222 BT", "Arial", "Comic Sans MS", "No Such Font"}) {
    TSurface s(200, 80);
    TCanvas& c = s.Canvas();
    c.SetFont(font, 16, true);
    c.SetColor(clWhite);
    c.TextOut(10, 20, "Marovane");
    TRect ink = InkBox(s.Pixels());
    ASSERT_LT(ink.Left, ink.Right) << font << ": nothing drawn";
    EXPECT_GE(ink.Left, 10) << font;
    EXPECT_GE(ink.Top, 20) << font;
    EXPECT_LT(ink.Top, 20 + 21) << font;
    int w = c.TextWidth("Marovane");
    EXPECT_LE(ink.Right, 10 + w + 2) << font;
    EXPECT_GT(ink.Right - ink.Left, w / 2) << font;
  }
}

TEST(Canvas, WidthGrowsWithTextAndSize) {
  TImage img(10, 10);
  TCanvas c(img);
  c.SetFont("Arial", 12, false);
  int one = c.TextWidth("M"), three = c.TextWidth("MMM");
  EXPECT_GT(one, 0);
  EXPECT_GT(three, 2 * one);
  EXPECT_EQ(c.TextWidth(""), 0);
  c.SetFont("Arial", 24, false);
  EXPECT_GT(c.TextWidth("MMM"), three);
}

TEST(Canvas, TextIsClippedAndColoured) {
  TSurface s(40, 20);
  TCanvas& c = s.Canvas();
  c.SetFont("Arial", 22, true);
  c.SetColor(clRed);
  c.TextOut(-15, -10, "HHHHHHHHHH");  // runs off every edge
  bool red = false;
  for (uint32_t p : s.Pixels().Pixels) {
    EXPECT_EQ(p & 0x00FFFF, 0u) << "only shades of red over black";
    red |= p == clRed;
  }
  EXPECT_TRUE(red);
}

TEST(Canvas, FrameRectWithWidePen) {
  TImage img(12, 12);
  TCanvas c(img);
  c.SetColor(clWhite);
  c.SetPenWidth(3);
  c.FrameRect({3, 3, 9, 9});
  // The 3-pixel pen straddles the edge: one pixel outside, two inside.
  EXPECT_EQ(img.At(2, 5), clWhite);
  EXPECT_EQ(img.At(4, 5), clWhite);
  EXPECT_EQ(img.At(5, 5), 0u);
  EXPECT_EQ(img.At(1, 5), 0u);
  EXPECT_EQ(img.At(9, 5), clWhite);
  EXPECT_EQ(img.At(10, 5), 0u);
  EXPECT_EQ(img.At(5, 2), clWhite);
  EXPECT_EQ(img.At(5, 9), clWhite);
  c.FrameRect({-5, -5, 30, 30});  // off the picture: clipped, no crash
}

}  // namespace
}  // namespace mv

// ---- outlined text, and the record of what a text painted

namespace mv {
namespace {

constexpr TColor kWater = 0x1E5A96, kLabelRed = 0xFF0000;

TEST(Contrast, RatiosOfKnownPairs) {
  EXPECT_NEAR(ContrastRatio(clWhite, clBlack), 21.0, 0.01);
  EXPECT_NEAR(ContrastRatio(clBlack, clWhite), 21.0, 0.01);
  EXPECT_NEAR(ContrastRatio(kWater, kWater), 1.0, 1e-9);
  EXPECT_NEAR(ContrastRatio(0x767676, clWhite), 4.54, 0.01);
  EXPECT_NEAR(ContrastRatio(clRed, clBlack), 5.25, 0.01);
  EXPECT_LT(ContrastRatio(kLabelRed, kWater), 2.0);  // the name labels' fault
}

// A red 12 pt name over blue water, as the world draws its labels.
struct TLabel {
  TSurface Surface{160, 40};
  TCanvas& C = Surface.Canvas();
  TLabel() {
    Surface.Fill(kWater);
    C.SetFont("Staccato222 BT", 12, false);
    C.SetColor(kLabelRed);
    C.SetRecording(true);
  }
};

TEST(Canvas, AnOutlineMakesATextReadOnAnyBackground) {
  TLabel plain, ringed;
  plain.C.TextOut(10, 8, "GUEST");
  ringed.C.TextOutOutlined(10, 8, "GUEST", clBlack);
  const auto p = plain.C.TakeRecords(), r = ringed.C.TakeRecords();
  ASSERT_EQ(p.size(), 1u);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_TRUE(r[0].Outlined);
  const TReadability bare = MeasureText(p[0], plain.Surface.Read()), ring = MeasureText(r[0], ringed.Surface.Read());
  EXPECT_GT(bare.Pixels, 40);
  EXPECT_EQ(ring.Pixels, bare.Pixels) << "the outline adds no letter pixels";
  EXPECT_LT(bare.Share3(), 0.05);
  EXPECT_GE(ring.Share3(), 0.95);
  // Same place, same width: the world can swap one call for the other.
  EXPECT_EQ(plain.C.TextWidth("GUEST"), ringed.C.TextWidth("GUEST"));
  EXPECT_EQ(r[0].X, p[0].X);
}

TEST(Canvas, TheOutlineRingsEveryLetterAndNoMore) {
  for (int width : {1, 2, 3}) {
    SCOPED_TRACE(width);
    TLabel plain, ringed;
    plain.C.TextOut(10, 8, "Wo");
    ringed.C.TextOutOutlined(10, 8, "Wo", clBlack, width);
    const TImage &a = plain.Surface.Read(), &b = ringed.Surface.Read();
    // How far each pixel lies from the letters (in whole pixels, either axis).
    auto reach = [&](int x, int y) {
      int best = 99;
      for (int dy = -5; dy <= 5; ++dy)
        for (int dx = -5; dx <= 5; ++dx) {
          const int sx = x + dx, sy = y + dy;
          if (sx >= 0 && sy >= 0 && sx < a.Width && sy < a.Height && a.At(sx, sy) != kWater)
            best = std::min(best, std::max(std::abs(dx), std::abs(dy)));
        }
      return best;
    };
    int ring = 0, widest = 0;
    for (int y = 0; y < b.Height; ++y)
      for (int x = 0; x < b.Width; ++x) {
        if (a.At(x, y) != kWater || b.At(x, y) == kWater) continue;
        ++ring;
        const int r = reach(x, y);
        widest = std::max(widest, r);
        EXPECT_LE(r, width + 1) << x << "," << y;
        EXPECT_GT(ContrastRatio(b.At(x, y), kLabelRed), ContrastRatio(kWater, kLabelRed)) << "the ring is dark";
      }
    EXPECT_GT(ring, 0);
    EXPECT_GE(widest, width) << "the ring reaches its full width";
  }
}

TEST(Canvas, RecordsEachLetterPixelWithWhatLayBeneath) {
  TSurface s(300, 70);
  // Two backgrounds: black up to x 110, white from there.
  TImage& px = s.Pixels();
  for (int y = 0; y < 70; ++y)
    for (int x = 0; x < 300; ++x) px.At(x, y) = x < 110 ? clBlack : clWhite;
  TCanvas& c = s.Canvas();
  c.SetFont("Arial", 16, true);
  c.SetColor(0x808080);
  c.TextOut(10, 40, "no record");
  c.SetRecording(true);
  c.SetColor(0xC0C0C0);
  c.TextOut(60, 5, "HHHHHHHHHH");
  c.SetFont("Staccato222 BT", 20, false);
  c.SetColor(clWhite);
  c.TextOutOutlined(5, 5, "ab", clBlack);
  auto rec = c.TakeRecords();
  ASSERT_EQ(rec.size(), 2u);
  EXPECT_TRUE(c.TakeRecords().empty()) << "taking empties the record";
  const TTextRecord& h = rec[0];
  EXPECT_EQ(h.Text, "HHHHHHHHHH");
  EXPECT_EQ(h.Font, "Arial");
  EXPECT_EQ(h.Size, 16);
  EXPECT_TRUE(h.Bold);
  EXPECT_EQ(h.Color, 0xC0C0C0u);
  EXPECT_FALSE(h.Outlined);
  int black = 0, white = 0;
  auto by_x = h.Pixels;
  std::sort(by_x.begin(), by_x.end(), [](const auto& a, const auto& b) { return a.X < b.X; });
  for (size_t i = 0; i < by_x.size(); ++i) {
    const auto& p = by_x[i];
    EXPECT_EQ(p.Under, p.X < 110 ? clBlack : clWhite) << p.X;
    if (i > 0) {
      EXPECT_GE(p.Letter, by_x[i - 1].Letter) << "letters run left to right";
    }
    (p.Under == clBlack ? black : white)++;
  }
  EXPECT_EQ(by_x.front().Letter, 0);
  EXPECT_EQ(by_x.back().Letter, 9);
  EXPECT_GT(black, 0);
  EXPECT_GT(white, 0);
  // Light grey reads on black, not on white.
  const TReadability r = MeasureText(h, s.Read());
  EXPECT_EQ(r.AtLeast3, black);
  EXPECT_GE(r.WorstLetter, 4) << "a letter over the white half";
  EXPECT_EQ(r.WorstLetterShare, 0);
  // White letters with a black ring: what lies beneath each letter pixel is the ring.
  const TTextRecord& ab = rec[1];
  EXPECT_TRUE(ab.Outlined);
  EXPECT_EQ(ab.OutlineColor, clBlack);
  for (const auto& p : ab.Pixels) EXPECT_GE(ContrastRatio(p.Under, clWhite), 3) << p.X << "," << p.Y;
  c.SetRecording(false);
  c.TextOut(60, 5, "H");
  EXPECT_TRUE(c.TakeRecords().empty());
}

TEST(Canvas, ALetterPaintedOverLaterIsNotRead) {
  TLabel l;
  l.C.SetColor(clWhite);
  l.C.TextOut(10, 8, "MMMM");
  l.C.SetColor(kWater);
  l.C.SetPenWidth(40);
  l.C.FrameRect({0, 0, 40, 40});  // covers the first letters
  const auto rec = l.C.TakeRecords();
  ASSERT_EQ(rec.size(), 1u);
  const TReadability r = MeasureText(rec[0], l.Surface.Read());
  EXPECT_GT(r.Hidden, 0);
  EXPECT_EQ(r.AtLeast3, r.Pixels - r.Hidden);
  EXPECT_EQ(r.WorstLetter, 0);
}

}  // namespace
}  // namespace mv
