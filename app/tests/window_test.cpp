// What the window's own events do: closing, losing the focus, minimising
// and maximising, on the screens where each matters.
#include <gtest/gtest.h>

#include <fstream>

#include "app/tests/AppFixture.h"

namespace mv::test {
namespace {

const std::string kStart = "3 key-down DOWN\n4 key-up DOWN\n6 key-down ENTER\n7 key-up ENTER\n";

TEST(Window, CloseAsksExceptWhereAGameOrItsEndIsOpen) {
  struct Case {
    const char* name;
    std::string script;
    const char* screen_after;
  };
  const std::vector<Case> cases = {
      {"menu", "10 close\n", "Exit?"},
      {"high scores", "10 key-down DOWN\n11 key-up DOWN\n12 key-down DOWN\n13 key-up DOWN\n"
                      "14 key-down DOWN\n15 key-up DOWN\n16 key-down ENTER\n17 key-up ENTER\n30 close\n",
       "Exit?"},
      {"game", kStart + "200 close\n", "Game"},
  };
  for (const Case& c : cases) {
    TAppRun run(std::string("close-") + c.name, c.script);
    run.Frames(240);
    EXPECT_EQ(run.Game().CurrentScreen, c.screen_after) << c.name;
    EXPECT_FALSE(run.Form->Closed()) << c.name;
  }
  // NO on the question leaves the main menu with item 7 selected; YES closes.
  TAppRun no("close-no", "10 close\n20 key-down N\n21 key-up N\n");
  no.Frames(30);
  EXPECT_EQ(no.Game().CurrentScreen, "Menu");
  EXPECT_EQ(no.Game().Selection, 7);
  TAppRun yes("close-yes", "10 close\n20 key-down Y\n21 key-up Y\n");
  yes.Frames(30);
  EXPECT_TRUE(yes.Form->Closed());
}

TEST(Window, LosingTheFocusOrMinimisingPausesASinglePlayerGame) {
  for (const char* event : {"deactivate", "minimise"}) {
    TAppRun run(std::string("pause-") + event, kStart + "300 " + event + "\n");
    TGame& g = run.Game();
    run.Frames(299);
    ASSERT_FALSE(g.Paused);
    run.Frames(400);  // far past the 2 s hold: only the player resumes
    EXPECT_TRUE(g.Paused) << event;
    EXPECT_TRUE(g.Timer2.Enabled()) << event;
    EXPECT_EQ(g.CurrentScreen, "Game");
    g.FormKeyUp('P', 0);
    EXPECT_FALSE(g.Paused);
    EXPECT_FALSE(g.Timer2.Enabled());
  }
}

TEST(Window, MaximiseGoesFullScreenAndSavesAtOnce) {
  TAppRun run("maximise", "");
  TGame& g = run.Game();
  auto stored_windowed = [&] {
    std::ifstream in(run.Config, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(bytes.size(), 244u);
    return bytes.size() > 2 ? int(bytes[2]) : -1;
  };
  g.SettingsRecord.Windowed = 1;
  ASSERT_TRUE(g.SaveSettingsReported());
  ASSERT_EQ(stored_windowed(), 1);
  g.SysMaximise();
  EXPECT_EQ(g.SettingsRecord.Windowed, 0);
  EXPECT_TRUE(g.Host.FullScreen());
  EXPECT_EQ(stored_windowed(), 0) << "the full-screen switch is saved";
}

}  // namespace
}  // namespace mv::test
