// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Canvas.h"

#include <gtest/gtest.h>

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
