// SPDX-License-Identifier: GPL-3.0-or-later
// A seeded, scripted game with its pictures drawn through runs of drawn
// pixels (the frame's fill left out under a background covering it, the
// background copied back only where drawn over) against the same game with
// every pixel tested for the key and every frame filled and drawn whole: the
// frames are the same, byte for byte, frame after frame.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "world/Autopilot.h"
#include "app/tests/AppFixture.h"

namespace mv::test {
namespace {

void DrawPixelByPixel(TGame& g) {
  for (TPictureCollection* list : {&g.DXImageList1, &g.GameImgs})
    for (int i = 0; i < list->Count(); ++i) list->Items(i).DrawFromSpans = false;
}

TEST(Frames, SameWithRunsAsWithPixelByPixelDraws) {
  // A tour of the menu's screens (options, high scores, help, the exit
  // question), then a game: the autopilot plays until frame 1000, then leaves
  // the fish to the others so that it blinks, dies and the game is over.
  std::string script;
  int at = 20;
  for (const char* key : {"DOWN", "DOWN", "ENTER", "ESC", "DOWN", "ENTER", "ESC", "DOWN", "ENTER",
                          "ESC", "ESC", "N", "DOWN", "ENTER"}) {
    script += std::to_string(at) + " key-down " + key + "\n";
    script += std::to_string(at + 1) + " key-up " + key + "\n";
    at += std::string(key) == "DOWN" ? 5 : 30;
  }
  TAppRun fast("frames-runs", script, 100000, 5), slow("frames-pixels", script, 100000, 5);
  TGame& a = fast.Game();
  TGame& b = slow.Game();
  std::string screens, last;
  bool blinked = false;
  uint32_t frames = 0;
  for (uint32_t frame = 1; frame <= 6000; ++frame) {
    DrawPixelByPixel(b);  // pictures loaded later are drawn the old way too
    if (frame < 1000) {
      AutoSteer(a.World());
      AutoSteer(b.World());
    }
    const bool more = fast.Form->StepFrame();
    ASSERT_EQ(more, slow.Form->StepFrame());
    const TImage& pa = a.Host.Surface().Read();
    const TImage& pb = b.Host.Surface().Read();
    ASSERT_EQ(a.Screens().Name(), b.Screens().Name()) << "frame " << frame;
    ASSERT_TRUE(pa.Pixels.size() == pb.Pixels.size() &&
                std::memcmp(pa.Pixels.data(), pb.Pixels.data(), pa.Pixels.size() * 4) == 0)
        << "frame " << frame << " on " << a.Screens().Name() << " differs: see "
        << fast.Shot("differs.png") << " and " << slow.Shot("differs.png");
    if (a.Screens().Name() != last) {
      if (!last.empty()) screens += " ";
      screens += last = a.Screens().Name();
    }
    if (TPlayer* p = a.World().LocalPlayer(); p && p->Dying) blinked = true;
    frames = frame;
    if (!more || a.Screens().Name() == "GameOver2") break;
  }
  // The frames compared cover the menu, play, a fish dying and the end.
  EXPECT_EQ(screens, "Menu Options Menu HiScores Menu Help Menu Exit? Menu Game Scelet GameOver2");
  EXPECT_TRUE(blinked);
  std::printf("%u frames compared\n", frames);
}

}  // namespace
}  // namespace mv::test
