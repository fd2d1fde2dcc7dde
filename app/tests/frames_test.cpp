// Every picture of a seeded, scripted game drawn the fast way (runs of drawn
// pixels, wide fills) against the same game with every picture tested pixel
// by pixel: the frames are the same, byte for byte, frame after frame.
#include <gtest/gtest.h>

#include <cstring>

#include "app/Autopilot.h"
#include "app/tests/AppFixture.h"

namespace mv::test {
namespace {

void DrawPixelByPixel(TGame& g) {
  for (TPictureCollection* list : {&g.DXImageList1, &g.GameImgs})
    for (int i = 0; i < list->Count(); ++i) list->Items(i).DrawFromSpans = false;
}

TEST(Frames, SameWithRunsAsWithPixelByPixelDraws) {
  // A while on the menu, then a game: the autopilot plays until frame 1800,
  // then leaves the fish to the others so that it blinks, dies and the game
  // ends on its table.
  const char* script =
      "40 key-down DOWN\n41 key-up DOWN\n"
      "60 key-down ENTER\n61 key-up ENTER\n";
  TAppRun fast("frames-runs", script, 100000, 5), slow("frames-pixels", script, 100000, 5);
  TGame& a = fast.Game();
  TGame& b = slow.Game();
  std::string screens, last;
  bool blinked = false;
  uint32_t frames = 0;
  for (uint32_t frame = 1; frame <= 4000; ++frame) {
    DrawPixelByPixel(b);  // pictures loaded later are drawn the old way too
    if (frame < 1800) {
      AutoSteer(a);
      AutoSteer(b);
    }
    const bool more = fast.Form->StepFrame();
    ASSERT_EQ(more, slow.Form->StepFrame());
    const TImage& pa = a.Host.Surface().Pixels();
    const TImage& pb = b.Host.Surface().Pixels();
    ASSERT_EQ(a.CurrentScreen, b.CurrentScreen) << "frame " << frame;
    ASSERT_TRUE(pa.Pixels.size() == pb.Pixels.size() &&
                std::memcmp(pa.Pixels.data(), pb.Pixels.data(), pa.Pixels.size() * 4) == 0)
        << "frame " << frame << " on " << a.CurrentScreen << " differs: see "
        << fast.Shot("differs.png") << " and " << slow.Shot("differs.png");
    if (a.CurrentScreen != last) {
      if (!last.empty()) screens += " ";
      screens += last = a.CurrentScreen;
    }
    if (TPlayer* p = a.LocalPlayer(); p && p->Dying) blinked = true;
    frames = frame;
    if (!more || a.CurrentScreen == "GameOver2") break;
  }
  // The frames compared cover the menu, play, a fish dying and the end.
  EXPECT_EQ(screens, "Menu Game Scelet GameOver2");
  EXPECT_TRUE(blinked);
  std::printf("%u frames compared\n", frames);
}

}  // namespace
}  // namespace mv::test
