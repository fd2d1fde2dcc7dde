// SPDX-License-Identifier: GPL-3.0-or-later
// The built menu pictures against the texts the game writes over them, where
// and how the game writes them: every text stands on a background it can be
// read on, and the pictures leave each other's parts in sight.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "media/Archive.h"
#include "platform/Canvas.h"
#include "platform/Surface.h"

namespace mv {
namespace {

TPictureCollection& Menus() {
  static TPictureCollection list;
  if (!list.FindOrNull("Qtns")) {
    LoadPictureArchive(std::string(MV_BINARY_DIR) + "/Data/MData.dxg", list);
    list.Restore();
  }
  return list;
}

struct TPlaced {
  const char* Name;
  int X, Y;
  int Pattern = 0;
};

// The screen as the game builds it: water, then the pictures in order.
void Compose(TSurface& s, const std::vector<TPlaced>& pictures) {
  s.Fill(0x167FA6);
  for (const TPlaced& p : pictures) Menus().Find(p.Name).DrawPattern(s, p.X, p.Y, p.Pattern);
}

double Luminance(TColor c) {
  auto lin = [](unsigned v) {
    const double s = v / 255.0;
    return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin(c >> 16 & 0xFF) + 0.7152 * lin(c >> 8 & 0xFF) + 0.0722 * lin(c & 0xFF);
}

double Contrast(TColor a, TColor b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct TText {
  const char* Font;
  int Size;
  bool Bold;
  TColor Color;
  int X, Y;
  const char* Text;
};

// Share of the text's letter pixels whose background gives at least 3:1, the
// least that large text needs to be read.
double ReadableShare(const TSurface& screen, const TText& t) {
  TSurface ink;
  ink.Fill(0);
  ink.Canvas().SetFont(t.Font, t.Size, t.Bold);
  ink.Canvas().SetColor(0xFFFFFF);
  ink.Canvas().TextOut(t.X, t.Y, t.Text);
  int letters = 0, readable = 0;
  for (int y = 0; y < ink.Height(); ++y)
    for (int x = 0; x < ink.Width(); ++x) {
      if ((ink.Pixels().At(x, y) & 0xFF) < 128) continue;
      ++letters;
      if (Contrast(t.Color, screen.Pixels().At(x, y) & 0xFFFFFF) >= 3.0) ++readable;
    }
  // No letters at all: the game's fonts are missing, and nothing here is checked.
  return letters ? double(readable) / letters : -1.0;
}

constexpr TColor kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000;
const char* const kDisplay = "Staccato222 BT";

TEST(MenuArt, EveryTextStandsOnABackgroundItCanBeReadOn) {
  struct TScreen {
    const char* Name;
    std::vector<TPlaced> Pictures;
    std::vector<TText> Texts;
  };
  const std::vector<TPlaced> question = {{"Qtns", 210, 170}};
  const std::vector<TScreen> screens = {
      {"game over", {{"Qtns", 210, 170, 1}}, {{kDisplay, 25, true, kWhite, 305, 280, "GAME OVER"}}},
      {"exit",
       question,
       {{kDisplay, 24, true, kBlack, 320, 260, "EXIT GAME?"},
        {kDisplay, 22, true, kWhite, 335, 310, "YES"},
        {kDisplay, 22, true, kBlack, 410, 310, "NO"},
        {kDisplay, 22, true, kBlack, 335, 310, "YES"},
        {kDisplay, 22, true, kWhite, 410, 310, "NO"}}},
      {"send",
       question,
       {{kDisplay, 16, false, kBlack, 270, 260, "SEND THE RESULT TO WORLD'S"},
        {kDisplay, 16, false, kBlack, 270, 280, "       HIGHSCORES PAGE?"}}},
      {"name entry",
       question,
       {{kDisplay, 16, true, kBlack, 290, 340, "Your Scores is     12345"},
        {kDisplay, 16, true, kBlack, 270, 240, "PLEASE ENTER YOUR NAME"},
        {kDisplay, 16, true, kBlack, 270, 260, "    THEN PRESS \"ENTER\""},
        {kDisplay, 22, true, kWhite, 300, 300, "Reef Diver|"}}},
      {"address entry",
       question,
       {{kDisplay, 16, true, kBlack, 270, 240, "  PLEASE ENTER HOST-IP"},
        {kDisplay, 16, true, kBlack, 270, 260, "    THEN PRESS \"ENTER\""},
        {kDisplay, 22, true, kWhite, 300, 300, "192.168.100.200|"}}},
      {"clear",
       question,
       {{kDisplay, 16, false, kRed, 300, 250, "DO YOU WANT TO CLEAR"},
        {kDisplay, 16, false, kRed, 300, 280, "THE HIGH SCORE TABLE?"},
        {kDisplay, 22, true, kWhite, 335, 310, "YES"},
        {kDisplay, 22, true, kBlack, 410, 310, "NO"}}},
      {"options",
       {{"FonOpt", 19, 135}},
       {{kDisplay, 22, true, kWhite, 176, 210, "WINDOW"},
        {kDisplay, 22, true, kBlack, 315, 210, "FULL SCREEN"},
        {kDisplay, 22, true, kBlack, 176, 210, "WINDOW"},
        {kDisplay, 22, true, kWhite, 315, 210, "FULL SCREEN"},
        {kDisplay, 22, true, kWhite, 176, 275, "ON"},
        {kDisplay, 22, true, kBlack, 236, 275, "OFF"},
        {kDisplay, 22, true, kWhite, 268, 390, "Reefworks"}}},
      {"lobby help",
       {{"FonMP", 19, 134}, {"HScrBack", 24, 520}},
       {{"Arial", 12, true, kBlack, 25, 557, "Choose the game in the schedule to your left and enter the name"},
        {"Arial", 12, true, kBlack, 25, 575, "It is necessary to wait until all players are ready, then press"}}},
      {"room help",
       {{"FonMP2", 19, 135}, {"HScrBack", 24, 520}},
       {{"Arial", 12, true, kBlack, 25, 557, "Press READY."},
        {"Arial", 12, true, kBlack, 25, 575, "It is necessary to wait until all players are ready, then press"}}},
      {"high scores",
       {{"FonHScr", 19, 135}},
       {{kDisplay, 16, false, kRed, 50, 215, "1        Anonymous"},
        {kDisplay, 16, false, kBlack, 50, 239, "2        Anonymous"},
        {kDisplay, 16, false, kBlack, 390, 431, "0000000100"}}},
  };
  for (const TScreen& screen : screens) {
    SCOPED_TRACE(screen.Name);
    TSurface s;
    Compose(s, screen.Pictures);
    for (const TText& t : screen.Texts) {
      const double share = ReadableShare(s, t);
      ASSERT_GE(share, 0.0) << "no letters drawn for \"" << t.Text << "\": is the font " << t.Font << " installed?";
      EXPECT_GE(share, 0.95) << t.Text;
    }
  }
}

// Pixels of the screen `with` the extra pictures that differ from it without
// them, inside the box.
int Covered(const std::vector<TPlaced>& base, const std::vector<TPlaced>& extra, const TRect& box) {
  TSurface without, with;
  Compose(without, base);
  std::vector<TPlaced> all = base;
  all.insert(all.end(), extra.begin(), extra.end());
  Compose(with, all);
  int n = 0;
  for (int y = box.Top; y < box.Bottom; ++y)
    for (int x = box.Left; x < box.Right; ++x) n += without.Pixels().At(x, y) != with.Pixels().At(x, y);
  return n;
}

TEST(MenuArt, PicturesLeaveTheirNeighboursInSight) {
  // The lit BACK of the lobby and the room ends above their help bar.
  EXPECT_EQ(Covered({{"FonMP", 19, 134}}, {{"HScrBack", 24, 520}}, {0, 554, 800, 600}), 0);
  EXPECT_EQ(Covered({{"FonMP2", 19, 135}}, {{"HScrBack", 24, 520}}, {0, 554, 800, 600}), 0);
  // Help pages keep off the rims of the panel they lie on.
  for (int page = 1; page <= 6; ++page) {
    SCOPED_TRACE(page);
    const std::string name = "Hlp" + std::to_string(page);
    EXPECT_EQ(Covered({{"FonHelp", 19, 135}}, {{name.c_str(), 19, 187}}, {19, 187, 31, 457}), 0);
    EXPECT_EQ(Covered({{"FonHelp", 19, 135}}, {{name.c_str(), 19, 187}}, {769, 187, 781, 457}), 0);
  }
}

}  // namespace
}  // namespace mv
