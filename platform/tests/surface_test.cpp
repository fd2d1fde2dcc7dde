// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Surface.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/Blit.h"
#include "platform/Canvas.h"

namespace mv {
namespace {

TImage Noise(std::mt19937& rng, int w, int h) {
  TImage img(w, h);
  for (uint32_t& p : img.Pixels) p = uint32_t(rng());
  return img;
}

// Random frames on a surface, and the same steps drawn the plain way on a
// picture of its size: fills, backgrounds laid at places that cover the
// surface and places that do not, draws inside rectangles, texts, writes
// anywhere, backgrounds changed (with a new stamp). Whenever looked at, the
// surface holds what the plain picture holds.
TEST(Surface, PutOffFillsAndKeptBackgroundsLeaveWhatPlainDrawsLeave) {
  std::mt19937 rng(11);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int W = 64, H = 48;
  TImage back[2] = {Noise(rng, 80, 60), Noise(rng, W, H)};
  std::shared_ptr<const void> stamp[2] = {std::make_shared<char>(0), std::make_shared<char>(0)};
  for (int run = 0; run < 30; ++run) {
    SCOPED_TRACE(run);
    TSurface s(W, H);
    TImage plain(W, H);
    TCanvas plain_canvas(plain);
    for (int step = 0; step < 200; ++step) {
      SCOPED_TRACE(step);
      switch (pick(0, 9)) {
        case 0:
        case 1: {
          const TColor c = pick(0, 2) ? clBlack : TColor(rng());
          s.Fill(c);
          std::fill(plain.Pixels.begin(), plain.Pixels.end(), c & 0xFFFFFF);
          break;
        }
        case 2:
        case 3:
        case 4: {
          const int k = pick(0, 1);
          const TImage& b = back[k];
          // Mostly the whole picture, at times a part; mostly placed to
          // cover, at times a few pixels short of an edge.
          const TRect src = pick(0, 3) ? TRect{0, 0, b.Width, b.Height}
                                       : TRect{pick(0, 8), pick(0, 6), b.Width - pick(0, 8), b.Height - pick(0, 6)};
          int x = -pick(0, std::max(0, src.Width() - W)), y = -pick(0, std::max(0, src.Height() - H));
          if (pick(0, 4) == 0) (pick(0, 1) ? x : y) += pick(-3, 3);
          const bool covers = x <= 0 && y <= 0 && x + src.Width() >= W && y + src.Height() >= H;
          ASSERT_EQ(s.Cover(x, y, b, src, stamp[k]), covers) << x << "," << y;
          if (!covers) BlitKeyed(s.PixelsIn(x, y, src.Width(), src.Height()), x, y, b, src, false, 0);
          BlitKeyed(plain, x, y, b, src, false, 0);
          break;
        }
        case 5:
        case 6: {
          const TRect r = Bounds(pick(-10, W), pick(-10, H), pick(0, 30), pick(0, 30));
          TImage& px = s.PixelsIn(r);
          for (int y = std::max(r.Top, 0); y < std::min(r.Bottom, H); ++y)
            for (int x = std::max(r.Left, 0); x < std::min(r.Right, W); ++x)
              px.At(x, y) = plain.At(x, y) = uint32_t(rng());
          break;
        }
        case 7: {
          const int x = pick(-20, W), y = pick(-10, H), size = pick(8, 14), pen = pick(1, 3);
          const TColor colour = TColor(rng()) & 0xFFFFFF;
          const bool text = pick(0, 1);
          for (TCanvas* c : {&s.Canvas(), &plain_canvas}) {
            c->SetFont("Arial", size, false);
            c->SetColor(colour);
            c->SetPenWidth(pen);
            if (text) {
              c->TextOut(x, y, "Wg8");
            } else {
              c->FrameRect(Bounds(x, y, 20, 12));
            }
          }
          break;
        }
        case 8: {
          const int x = pick(0, W - 1), y = pick(0, H - 1);
          s.Pixels().At(x, y) = plain.At(x, y) = uint32_t(rng());
          break;
        }
        case 9: {
          const int k = pick(0, 1);
          back[k].At(pick(0, back[k].Width - 1), pick(0, back[k].Height - 1)) = uint32_t(rng());
          stamp[k] = std::make_shared<char>(0);
          break;
        }
      }
      // Looked at now and then only: a look makes a put-off fill happen.
      if (pick(0, 7) == 0) {
        ASSERT_EQ(s.Read().Pixels, plain.Pixels);
      }
    }
    ASSERT_EQ(s.Read().Pixels, plain.Pixels);
  }
}

// The stamp is what tells the surface the background is the same: a second
// cover under the same stamp copies back only what was drawn over the first
// (pixels changed behind the stamp's back stay unseen elsewhere), while a new
// stamp, a fill that was looked at or a write through Pixels() has it copy
// everything.
TEST(Surface, SecondCoverUnderTheSameStampCopiesBackOnlyWhatWasDrawnOver) {
  struct Case {
    const char* Name;
    void (*Between)(TSurface&);
    bool NewStamp, AllNew;
  } cases[] = {
      {"same stamp", [](TSurface&) {}, false, false},
      {"looked at", [](TSurface& s) { (void)s.Read(); }, false, false},
      {"new stamp", [](TSurface&) {}, true, true},
      {"filled and looked at", [](TSurface& s) { s.Fill(clWhite), (void)s.Read(); }, false, true},
      {"written through Pixels()", [](TSurface& s) { s.Pixels().At(7, 3) = 0x222222; }, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TSurface s(8, 4);
    TImage back(8, 4, 0x111111);
    auto stamp = std::make_shared<char>(0);
    s.Fill(clBlack);
    ASSERT_TRUE(s.Cover(0, 0, back, {0, 0, 8, 4}, stamp));
    s.PixelsIn(2, 1, 3, 2).At(3, 2) = 0xABCDEF;
    c.Between(s);
    std::fill(back.Pixels.begin(), back.Pixels.end(), 0x333333);
    s.Fill(clBlack);
    ASSERT_TRUE(s.Cover(0, 0, back, {0, 0, 8, 4}, c.NewStamp ? std::make_shared<char>(0) : stamp));
    const TImage& px = s.Read();
    EXPECT_EQ(px.At(2, 1), 0x333333u);  // drawn over: copied back
    EXPECT_EQ(px.At(4, 2), 0x333333u);
    EXPECT_EQ(px.At(0, 0), c.AllNew ? 0x333333u : 0x111111u);
    EXPECT_EQ(px.At(5, 1), c.AllNew ? 0x333333u : 0x111111u);
  }
}

}  // namespace
}  // namespace mv
