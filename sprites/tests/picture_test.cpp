// SPDX-License-Identifier: GPL-3.0-or-later
#include "sprites/PictureCollection.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/Blit.h"

namespace mv {
namespace {

constexpr TColor kKey = 0xFF00FF;
constexpr TColor kBack = 0x123456;

TEST(PictureItem, PatternsAreCutRowByRowWithSkips) {
  struct Case {
    const char* what;
    int w, h, pw, ph, skip_w, skip_h;
    int count;
    int probe;
    TRect rect;
  } cases[] = {
      {"no pattern size: the whole picture", 20, 10, 0, 0, 0, 0, 1, 0, {0, 0, 20, 10}},
      {"pattern as large as the picture", 20, 10, 20, 10, 0, 0, 1, 0, {0, 0, 20, 10}},
      {"grid", 20, 10, 4, 5, 0, 0, 10, 6, {4, 5, 8, 10}},
      {"partial column left out", 22, 10, 4, 10, 0, 0, 5, 4, {16, 0, 20, 10}},
      {"skips between patterns", 20, 11, 4, 5, 1, 1, 8, 5, {5, 6, 9, 11}},
      {"skip with no room for a second", 8, 5, 4, 5, 5, 0, 1, 0, {0, 0, 4, 5}},
      {"pattern wider than the picture", 10, 10, 11, 0, 0, 0, 0, 0, {}},
      {"empty picture", 0, 0, 0, 0, 0, 0, 0, 0, {}},
      {"skip cancelling the width", 10, 10, 3, 0, -3, 0, 0, 0, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPictureCollectionItem it;
    it.Picture = TImage(c.w, c.h);
    it.PatternWidth = c.pw;
    it.PatternHeight = c.ph;
    it.SkipWidth = c.skip_w;
    it.SkipHeight = c.skip_h;
    EXPECT_EQ(it.PatternCount(), 0);
    EXPECT_FALSE(it.Ready());
    it.Restore();
    EXPECT_TRUE(it.Ready());
    EXPECT_EQ(it.PatternCount(), c.count);
    if (c.count > 0) {
      EXPECT_EQ(it.PatternRect(c.probe), c.rect);
    }
  }
}

// A 16 x 16 two-pattern strip: the left half of each pattern is key, the
// right half solid (pattern 0 green, pattern 1 blue).
TPictureCollectionItem& Strip(TPictureCollectionItem& it) {
  it.Picture = TImage(32, 16, kKey);
  for (int y = 0; y < 16; y++)
    for (int x = 8; x < 16; x++) {
      it.Picture.At(x, y) = 0x00FF00;
      it.Picture.At(x + 16, y) = 0x0000FF;
    }
  it.PatternWidth = 16;
  it.TransparentColor = kKey;
  it.Restore();
  return it;
}

TEST(PictureItem, ImpossiblePatternSizeIsAnErrorNamingThePicture) {
  struct Case {
    int pw, ph, skip_w, skip_h;
    bool fits;
  } cases[] = {
      {2147483647, 0, 1, 0, false},
      {0, 2147483647, 0, 1, false},
      {0, 0, 2147483647, 0, false},  // the whole picture's width plus the gap
      {2147483647, 2147483647, 0, 0, true},  // too large to cut, but no overflow: no patterns
      {2147483646, 0, 1, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pw << " + " << c.skip_w << " by " << c.ph << " + " << c.skip_h);
    TPictureCollection list;
    TPictureCollectionItem& item = list.Add();
    list.SetName(item, "BigFish");
    item.Picture = TImage(8, 8, kBack);
    item.PatternWidth = c.pw;
    item.PatternHeight = c.ph;
    item.SkipWidth = c.skip_w;
    item.SkipHeight = c.skip_h;
    if (c.fits) {
      EXPECT_NO_THROW(item.Restore());
      EXPECT_EQ(item.PatternCount(), 0);
    } else {
      try {
        item.Restore();
        ADD_FAILURE() << "no error";
      } catch (const EPictureCollectionError& e) {
        EXPECT_NE(std::string(e.what()).find("Image 'BigFish': impossible pattern size"), std::string::npos)
            << e.what();
      }
    }
    TSurface s(8, 8);
    item.DrawPattern(s, 0, 0, 0);  // draws nothing, and reads nothing it should not
  }
}

TEST(PictureItem, DrawPatternLeavesOutTheKeyOnlyWhenTransparent) {
  TPictureCollectionItem it;
  Strip(it);
  for (bool transparent : {true, false}) {
    SCOPED_TRACE(transparent);
    it.Transparent = transparent;
    TSurface s(40, 20);
    s.Fill(kBack);
    it.DrawPattern(s, 2, 1, 1);
    EXPECT_EQ(s.Pixels().At(2, 1), transparent ? kBack : kKey);
    EXPECT_EQ(s.Pixels().At(10, 1), 0x0000FFu);
    EXPECT_EQ(s.Pixels().At(17, 16), 0x0000FFu);
    EXPECT_EQ(s.Pixels().At(18, 1), kBack);
    EXPECT_EQ(s.Pixels().At(10, 0), kBack);
  }
}

TEST(PictureItem, NothingIsDrawnWhenNotReadyOrOutOfRange) {
  struct Case {
    const char* what;
    bool restore;
    int pattern;
  } cases[] = {
      {"not ready", false, 0}, {"negative", true, -1}, {"past the end", true, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPictureCollectionItem it;
    if (c.restore) {
      Strip(it);
    } else {
      it.Picture = TImage(16, 16, 0x00FF00);
      it.Transparent = false;
    }
    TSurface s(40, 20);
    s.Fill(kBack);
    it.DrawPattern(s, 0, 0, c.pattern);
    it.DrawPatternStretched(s, {0, 0, 8, 8}, c.pattern);
    it.DrawPatternStretched(s, {0, 0, 30, 20}, c.pattern);
    it.DrawPatternAlpha(s, {0, 0, 8, 8}, c.pattern, 255);
    for (uint32_t p : s.Pixels().Pixels) ASSERT_EQ(p, kBack);
  }
}

TEST(PictureItem, PictureReplacedAfterRestoreIsNotReadPastItsEnd) {
  TPictureCollectionItem it;
  Strip(it);
  it.Picture = TImage(4, 4, 0x00FF00);  // smaller than what was cut
  TSurface s(40, 20);
  s.Fill(kBack);
  it.DrawPattern(s, 0, 0, 1);
  it.DrawPatternStretched(s, {0, 0, 8, 8}, 1);
  for (uint32_t p : s.Pixels().Pixels) ASSERT_EQ(p, kBack);
  it.PatternWidth = 0;  // the new picture is one pattern
  it.Restore();
  it.DrawPattern(s, 0, 0, 0);
  EXPECT_EQ(s.Pixels().At(3, 3), 0x00FF00u);
}

// Drawn through the cache of smooth copies, a pattern whose edges line up
// with the scale covers the same pixels, in the same colours, as a direct
// stretch of the whole pattern.
TEST(PictureItem, CachedStretchMatchesADirectStretch) {
  struct Case {
    TRect r;
    int pattern;
    int alpha;  // 0: stretched draw
    bool cached;
  } cases[] = {
      {{3, 2, 11, 10}, 0, 0, true},      // half size
      {{-2, -1, 2, 3}, 1, 0, true},      // quarter, clipped at the corner
      {{30, 15, 38, 23}, 1, 0, true},    // clipped at the far edges
      {{0, 0, 16, 16}, 0, 0, false},     // same size: no copy needed
      {{0, 0, 32, 20}, 1, 0, false},     // upscale
      {{0, 0, 8, 32}, 0, 0, false},      // taller than the pattern
      {{4, 4, 12, 12}, 1, 128, true},    // blended
      {{4, 4, 20, 20}, 0, 200, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.r.Left << "," << c.r.Top << " " << c.r.Width() << "x"
                                    << c.r.Height() << " alpha " << c.alpha);
    TPictureCollectionItem it;
    Strip(it);
    TSurface via_item(40, 24), direct(40, 24);
    via_item.Fill(kBack);
    direct.Fill(kBack);
    const TRect src = it.PatternRect(c.pattern);
    if (c.alpha == 0) {
      it.DrawPatternStretched(via_item, c.r, c.pattern);
      BlitStretched(direct.Pixels(), c.r, it.Picture, src, true, kKey);
    } else {
      it.DrawPatternAlpha(via_item, c.r, c.pattern, c.alpha);
      BlitAlpha(direct.Pixels(), c.r, it.Picture, src, true, kKey, uint8_t(c.alpha));
    }
    EXPECT_EQ(via_item.Pixels().Pixels, direct.Pixels().Pixels);
    EXPECT_NE(via_item.Pixels().Pixels, TSurface(40, 24).Pixels().Pixels);
    EXPECT_EQ(it.CachedCopies() > 0, c.cached);
  }
}

TEST(PictureItem, CopiesAreKeptPerPatternAndSizeAndDroppedOnRestore) {
  TPictureCollectionItem it;
  Strip(it);
  TSurface s(40, 24);
  for (int round = 0; round < 2; round++) {
    it.DrawPatternStretched(s, {0, 0, 8, 8}, 0);
    it.DrawPatternStretched(s, {0, 0, 8, 8}, 1);
    it.DrawPatternAlpha(s, {0, 0, 4, 4}, 1, 100);
  }
  EXPECT_EQ(it.CachedCopies(), 3);
  it.Restore();
  EXPECT_EQ(it.CachedCopies(), 0);
  // The cache stays bounded however many sizes are asked for.
  for (int w = 1; w <= 16; w++)
    for (int h = 1; h <= 16; h++) it.DrawPatternStretched(s, {0, 0, w, h}, 0);
  EXPECT_GT(it.CachedCopies(), 0);
  EXPECT_LE(it.CachedCopies(), 64);
}

// Two items over the same random sheet, one drawing through its runs of drawn
// pixels and one testing every pixel: every draw of either kind, at its own
// size, shrunk through the cached copies, grown, blended and clipped, leaves
// the same pixels.
TEST(PictureItem, DrawsFromSpansMatchPixelByPixelDraws) {
  std::mt19937 rng(7);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int sheet = 0; sheet < 40; ++sheet) {
    SCOPED_TRACE(sheet);
    TPictureCollectionItem fast, slow;
    const int pw = pick(1, 24), ph = pick(1, 24), cols = pick(1, 3), rows = pick(1, 2);
    TImage pic(pw * cols, ph * rows);
    // Blobs of colour on the key, so runs have edges like a sprite's.
    for (int y = 0; y < pic.Height; ++y)
      for (int x = 0; x < pic.Width; ++x) {
        const int dx = x % pw - pw / 2, dy = y % ph - ph / 2;
        const bool inside = dx * dx * 4 + dy * dy * 4 < pw * ph + pick(-20, 20);
        pic.At(x, y) = inside && pick(0, 15) ? uint32_t(pick(0, 0xFFFFFF)) : kKey;
      }
    const bool transparent = pick(0, 5) != 0;
    for (auto* it : {&fast, &slow}) {
      it->Picture = pic;
      it->PatternWidth = pw;
      it->PatternHeight = ph;
      it->Transparent = transparent;
      it->TransparentColor = kKey;
      it->Restore();
    }
    slow.DrawFromSpans = false;
    TSurface a(60, 50), b(60, 50);
    for (size_t i = 0; i < a.Pixels().Pixels.size(); ++i)
      a.Pixels().Pixels[i] = b.Pixels().Pixels[i] = uint32_t(pick(0, 0xFFFFFF));
    for (int draw = 0; draw < 60; ++draw) {
      const int pattern = pick(0, fast.PatternCount() - 1);
      const int w = pick(0, 3) == 0 ? pw : pick(1, pw * 2), h = pick(0, 3) == 0 ? ph : pick(1, ph * 2);
      const TRect r = Bounds(pick(-w, 60), pick(-h, 50), w, h);
      const int kind = pick(0, 2), alpha = pick(0, 2) == 0 ? 255 : pick(1, 254);
      for (auto [it, s] : {std::pair{&fast, &a}, std::pair{&slow, &b}}) {
        if (kind == 0) it->DrawPattern(*s, r.Left, r.Top, pattern);
        else if (kind == 1) it->DrawPatternStretched(*s, r, pattern);
        else it->DrawPatternAlpha(*s, r, pattern, alpha);
      }
      ASSERT_EQ(a.Pixels().Pixels, b.Pixels().Pixels)
          << "draw " << draw << " kind " << kind << " pattern " << pattern << " to " << r.Left
          << "," << r.Top << " " << w << "x" << h << " of " << pw << "x" << ph;
    }
  }
}

// Frames as the game draws them, a fill, an opaque background, sprites over
// it, through items drawing from runs against items testing every pixel:
// with the background over the whole surface, partly off it, short of an
// edge or left out, drawn again after the sprites, or its pixels changed and
// the item restored between frames, every frame comes out the same.
TEST(PictureItem, FramesOverAKeptBackgroundMatchPixelByPixelDraws) {
  std::mt19937 rng(5);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int W = 48, H = 32;
  TPictureCollectionItem back[2], sprite[2];
  TImage sheet(16, 8);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 16; ++x) sheet.At(x, y) = (x % 8 - 4) * (x % 8 - 4) + (y - 4) * (y - 4) < 12 ? uint32_t(rng()) : kKey;
  TImage backdrop(2 * W + 8, H + 6);  // two backgrounds side by side
  for (uint32_t& p : backdrop.Pixels) p = uint32_t(rng());
  for (int i = 0; i < 2; ++i) {
    back[i].Picture = backdrop;
    back[i].PatternWidth = W + 4;
    back[i].Transparent = pick(0, 1) == 0;  // keyed or not, it has no keyed pixel
    back[i].TransparentColor = kKey;
    back[i].Restore();
    sprite[i].Picture = sheet;
    sprite[i].PatternWidth = 8;
    sprite[i].TransparentColor = kKey;
    sprite[i].Restore();
  }
  back[1].DrawFromSpans = sprite[1].DrawFromSpans = false;
  TSurface fast(W, H), slow(W, H);
  for (int frame = 0; frame < 400; ++frame) {
    SCOPED_TRACE(frame);
    const int kind = pick(0, 9);
    if (kind == 0) {  // new pixels, and the items told so
      const int x = pick(0, backdrop.Width - 1), y = pick(0, backdrop.Height - 1);
      backdrop.At(x, y) = uint32_t(rng());
      for (auto& b : back) b.Picture.At(x, y) = backdrop.At(x, y), b.Restore();
    }
    const int pattern = pick(0, 1);
    // Mostly covering the surface (from 0..4 pixels left and 0..6 up), at
    // times short of an edge or not drawn at all.
    int x = -pick(0, 4), y = -pick(0, 6);
    if (kind == 1) x += pick(1, 3);
    if (kind == 2) y = pick(-8, 8);
    const bool with_back = kind != 3;
    for (auto [s, i] : {std::pair{&fast, 0}, std::pair{&slow, 1}}) {
      s->Fill(kind == 4 ? 0x0A0B0C : clBlack);
      if (with_back) back[i].DrawPattern(*s, x, y, pattern);
    }
    for (int n = pick(0, 6); n > 0; --n) {
      const TRect r = Bounds(pick(-8, W), pick(-8, H), pick(4, 12), pick(4, 10));
      const int what = pick(0, 3), p = pick(0, 1);
      for (auto [s, i] : {std::pair{&fast, 0}, std::pair{&slow, 1}}) {
        if (what == 0) sprite[i].DrawPattern(*s, r.Left, r.Top, p);
        else if (what == 1) sprite[i].DrawPatternStretched(*s, r, p);
        else if (what == 2) sprite[i].DrawPatternAlpha(*s, r, p, 128);
        else back[i].DrawPattern(*s, x, y, pattern);  // a background drawn again
      }
    }
    ASSERT_EQ(fast.Read().Pixels, slow.Read().Pixels) << "background at " << x << "," << y;
  }
}

// Runs found for one picture are not used for another: swapped, re-keyed,
// cut differently or switched to opaque after drawing, it draws as it now is.
TEST(PictureItem, SpansFollowThePictureTheKeyAndTheCut) {
  struct Case {
    const char* what;
    void (*change)(TPictureCollectionItem&);
    TColor at_left, at_right;  // pixels (2, 2) and (10, 2) after drawing pattern 1
  } cases[] = {
      {"unchanged", [](TPictureCollectionItem&) {}, kBack, 0x0000FF},
      {"picture swapped",
       [](TPictureCollectionItem& it) { it.Picture = TImage(32, 16, 0x654321); }, 0x654321,
       0x654321},
      {"key changed", [](TPictureCollectionItem& it) { it.TransparentColor = 0x0000FF; }, kKey,
       kBack},
      {"made opaque", [](TPictureCollectionItem& it) { it.Transparent = false; }, kKey, 0x0000FF},
      {"cut shifted", [](TPictureCollectionItem& it) { it.SkipWidth = -8; }, 0x00FF00, kBack},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TPictureCollectionItem it;
    Strip(it);
    TSurface s(40, 24);
    it.DrawPattern(s, 0, 0, 1);
    it.DrawPatternAlpha(s, {0, 0, 16, 16}, 1, 255);
    it.DrawPatternStretched(s, {0, 0, 8, 8}, 1);
    c.change(it);
    for (int i = 0; i < 2; ++i) {
      s.Fill(kBack);
      if (i == 0) it.DrawPattern(s, 0, 0, 1);
      if (i == 1) it.DrawPatternAlpha(s, {0, 0, 16, 16}, 1, 255);
      EXPECT_EQ(s.Pixels().At(2, 2), c.at_left) << i;
      EXPECT_EQ(s.Pixels().At(10, 2), c.at_right) << i;
    }
  }
}

// ------------------------------------------------------------ name index

TEST(PictureList, HashByteOfLowerCaseNames) {
  struct Case {
    const char* name;
    int hash;
  } cases[] = {
      {"", 0},
      {"a", 16},
      {"ab", (32 + 'a' + 'a') % 256},
      {"fonmenu", (16 * 7 + 'f' + 'n') % 256},
      {"r8fish", (16 * 6 + 'r' + 's') % 256},
  };
  for (auto c : cases) EXPECT_EQ(TPictureCollection::HashName(c.name), c.hash) << c.name;
}

TEST(PictureList, FindIgnoresCaseAndPrefersTheItemNamedLast) {
  TPictureCollection list;
  auto& menu = list.Add();
  list.SetName(menu, "FonMenu");
  auto& ab = list.Add();
  list.SetName(ab, "ab");
  auto& ac = list.Add();  // same bucket as "ab"
  list.SetName(ac, "AC");
  list.Add();  // unnamed items are never found
  for (const char* n : {"fonmenu", "FONMENU", "FonMenu"}) EXPECT_EQ(&list.Find(n), &menu) << n;
  EXPECT_EQ(&list.Find("Ab"), &ab);
  EXPECT_EQ(&list.Find("ac"), &ac);

  auto& newer = list.Add();
  list.SetName(newer, "fonMENU");
  EXPECT_EQ(&list.Find("FonMenu"), &newer);
  list.SetName(menu, "FonMenu");  // named again: newest of its chain
  EXPECT_EQ(&list.Find("FonMenu"), &menu);
  list.SetName(menu, "Table");  // leaves its old chain
  EXPECT_EQ(&list.Find("FonMenu"), &newer);
  EXPECT_EQ(&list.Find("table"), &menu);
  EXPECT_EQ(menu.Name(), "Table");

  EXPECT_EQ(list.FindOrNull("FonMenu2"), nullptr);
  EXPECT_EQ(list.FindOrNull(""), nullptr);
  try {
    list.Find("Obj9");
    FAIL() << "no error";
  } catch (const EPictureCollectionError& e) {
    EXPECT_STREQ(e.what(), "Image 'Obj9' not found");
  }
  TPictureCollectionItem stranger;
  EXPECT_THROW(list.SetName(stranger, "Obj9"), EPictureCollectionError);
  EXPECT_EQ(list.FindOrNull("Obj9"), nullptr);

  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.FindOrNull("table"), nullptr);
}

TEST(PictureList, RestorePreparesEveryItem) {
  TPictureCollection list;
  for (int i = 0; i < 3; i++) {
    auto& it = list.Add();
    it.Picture = TImage(10 * (i + 1), 10);
    it.PatternWidth = 10;
  }
  list.Restore();
  for (int i = 0; i < 3; i++) {
    EXPECT_TRUE(list.Items(i).Ready());
    EXPECT_EQ(list.Items(i).PatternCount(), i + 1);
  }
}

}  // namespace
}  // namespace mv
