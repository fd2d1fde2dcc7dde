// SPDX-License-Identifier: GPL-3.0-or-later
// The high-score table as drawn: names from the settings file in their
// 1-byte code page, and scores as the unsigned values the table sorts by.
#include <gtest/gtest.h>

#include "app/tests/AppFixture.h"
#include "platform/Canvas.h"

namespace mv::test {
namespace {

// The table screen of a fresh program whose best two entries are given. Two
// runs with the same seed draw the same pictures, so they differ only in text.
TImage TableScreen(const std::string& name1, uint32_t score2) {
  TAppRun run("hiscore-text", "");
  TGame& g = run.Game();
  g.SettingsRecord.HiScores[0].Name.Assign(name1);
  g.SettingsRecord.HiScores[0].ScoreCode = ScoreCodeOf(4000000000u);
  g.SettingsRecord.HiScores[1].Name.Assign("B");
  g.SettingsRecord.HiScores[1].ScoreCode = ScoreCodeOf(score2);
  g.Screens().ShowHiScores();
  run.Frames(2);
  EXPECT_EQ(g.Screens().Name(), "HiScores");
  return g.Host.Surface().Pixels();
}

// Columns where the two pictures differ within rows [top, bottom).
std::pair<int, int> DiffColumns(const TImage& a, const TImage& b, int top, int bottom) {
  int left = a.Width, right = -1;
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < a.Width; ++x)
      if (a.At(x, y) != b.At(x, y)) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
  return {left, right};
}

int TableTextWidth(const std::string& utf8) {
  TImage scratch(8, 8);
  TCanvas c(scratch);
  c.SetFont("Staccato222 BT", 16, false);
  return c.TextWidth(utf8);
}

TEST(HiScoreText, NamesInTheFileCodePageAreDrawnAsThoseLetters) {
  // "J\xFC" is "Jü" in the file's code page; as UTF-8 it is no letter at all.
  const TImage umlaut = TableScreen("J\xFCrgen", 5);
  const TImage plain = TableScreen("Jurgen", 5);
  // Entry 1's row: only the letter u and its dots may differ, so "rgen"
  // stands where it stands after a plain u.
  const auto [left, right] = DiffColumns(umlaut, plain, 215, 239);
  ASSERT_LE(left, right) << "the umlaut drew nothing of its own";
  const int x0 = 50, before = TableTextWidth("1        J"), after = TableTextWidth("1        J\xC3\xBC");
  // A few pixels of slack: script letters reach over their neighbours.
  EXPECT_GE(left, x0 + before - 6);
  EXPECT_LE(right, x0 + after + 6);
}

TEST(HiScoreText, ScoresFrom2To31UpAreShownUnsigned) {
  // 2147483648 and 2147483647 share their first nine digits: only the last
  // one may differ on the screen, never a sign in front of them.
  const TImage high = TableScreen("A", 2147483648u);
  const TImage low = TableScreen("A", 2147483647u);
  const auto [left, right] = DiffColumns(high, low, 239, 263);
  ASSERT_LE(left, right);
  EXPECT_GE(left, 390 + TableTextWidth("214748364") - 6);
  EXPECT_LE(right, 390 + TableTextWidth("2147483648") + 6);
}

}  // namespace
}  // namespace mv::test
