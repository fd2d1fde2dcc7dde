// SPDX-License-Identifier: GPL-3.0-or-later
// What the window's own events do: closing, losing the focus, minimising
// and maximising, on the screens where each matters.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>

#include "app/tests/AppFixture.h"
#include "platform/Keys.h"
#include "ui/MenuSprites.h"

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
      {"options", "10 key-down DOWN\n11 key-up DOWN\n12 key-down DOWN\n13 key-up DOWN\n"
                  "14 key-down ENTER\n15 key-up ENTER\n30 close\n",
       "Exit?"},
      {"game", kStart + "200 close\n", "Game"},
  };
  for (const Case& c : cases) {
    TAppRun run(std::string("close-") + c.name, c.script);
    run.Frames(240);
    EXPECT_EQ(run.Game().Screens().Name(), c.screen_after) << c.name;
    EXPECT_FALSE(run.Form->Closed()) << c.name;
    if (std::string(c.screen_after) == "Exit?") {
      EXPECT_TRUE(run.Game().Screens().Button(7)) << c.name << ": the question stands over the main menu";
      EXPECT_FALSE(run.Game().Screens().Background(TScreen::Options)) << c.name;
      EXPECT_FALSE(run.Game().Screens().Background(TScreen::HiScores)) << c.name;
    }
  }
  // NO on the question leaves the main menu with item 7 selected; YES closes.
  TAppRun no("close-no", "10 close\n20 key-down N\n21 key-up N\n");
  no.Frames(30);
  EXPECT_EQ(no.Game().Screens().Name(), "Menu");
  EXPECT_EQ(no.Game().Screens().Selection(), 7);
  TAppRun yes("close-yes", "10 close\n20 key-down Y\n21 key-up Y\n");
  yes.Frames(30);
  EXPECT_TRUE(yes.Form->Closed());
}

// A single-player game started from the menu and past its level banner.
void StartSinglePlayerGame(TAppRun& run) {
  TGame& g = run.Game();
  ASSERT_TRUE(run.RunUntil([&] { return g.Screens().Name() == "Game" && !g.World().Timer2().Enabled(); }, 400));
}

// The lost game's skeleton rising, as a caught fish with no lives starts it.
void LoseTheGame(TAppRun& run) {
  TGame& g = run.Game();
  g.World().LocalPlayer()->SetScore(0);
  g.Screens().SetCurrent(TScreen::Skeleton);
  new TSkelet(g.World());
}

TEST(Window, CloseDoesNothingWhileAGameOrItsEndIsOpen) {
  struct Case {
    const char* name;
    std::function<void(TAppRun&)> reach;
    const char* screen;
  };
  const std::vector<Case> cases = {
      {"enter name", [](TAppRun& r) { r.Game().Screens().OpenQuestion(TScreen::EnterName); }, "EnterName"},
      {"send", [](TAppRun& r) { r.Game().Screens().OpenQuestion(TScreen::Send); }, "Send"},
      {"exit game question", [](TAppRun& r) { r.Game().FormKeyUp(VK_ESCAPE, 0); }, "ExitGame?"},
      {"skeleton", [](TAppRun& r) { LoseTheGame(r); }, "Scelet"},
      {"game over",
       [](TAppRun& r) {
         LoseTheGame(r);
         ASSERT_TRUE(r.RunUntil([&] { return r.Game().Screens().Name() == "GameOver2"; }, 200));
       },
       "GameOver2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TAppRun run(std::string("close-in-game-") + c.name, kStart);
    TGame& g = run.Game();
    StartSinglePlayerGame(run);
    c.reach(run);
    ASSERT_EQ(g.Screens().Name(), c.screen);
    bool can_close = true;
    g.FormCloseQuery(can_close);
    EXPECT_FALSE(can_close);
    EXPECT_EQ(g.Screens().Name(), c.screen);
    EXPECT_FALSE(g.Screens().Button(7)) << "no main menu under the game";
  }

  // Past the close, the lost game still ends the ordinary way: the game-over
  // screen keeps itself until a key, then the menu without the game's fish.
  TAppRun run("close-then-game-over", kStart);
  TGame& g = run.Game();
  StartSinglePlayerGame(run);
  LoseTheGame(run);
  bool can_close = true;
  g.FormCloseQuery(can_close);
  ASSERT_TRUE(run.RunUntil([&] { return g.Screens().Name() == "GameOver2"; }, 200));
  g.FormCloseQuery(can_close);
  run.Frames(400);  // two game-over timer ticks and more
  EXPECT_EQ(g.Screens().Name(), "GameOver2");
  EXPECT_TRUE(g.Screens().Timer3().Enabled());
  g.FormKeyUp(VK_SPACE, 0);
  EXPECT_EQ(g.Screens().Name(), "Menu");
  run.Frames(3);
  EXPECT_FALSE(g.World().LocalPlayer());
  run.Frames(400);
  EXPECT_EQ(g.Screens().Name(), "Menu") << "the game-over timer stopped with the game";
}

TEST(Window, LosingTheFocusOrMinimisingPausesASinglePlayerGame) {
  for (const char* event : {"deactivate", "minimise"}) {
    TAppRun run(std::string("pause-") + event, kStart + "300 " + event + "\n");
    TGame& g = run.Game();
    run.Frames(299);
    ASSERT_FALSE(g.World().Paused());
    run.Frames(400);  // far past the 2 s hold: only the player resumes
    EXPECT_TRUE(g.World().Paused()) << event;
    EXPECT_TRUE(g.World().Timer2().Enabled()) << event;
    EXPECT_EQ(g.Screens().Name(), "Game");
    g.FormKeyUp('P', 0);
    EXPECT_FALSE(g.World().Paused());
    EXPECT_FALSE(g.World().Timer2().Enabled());
  }
}

TEST(Window, OnlyASinglePlayerGameIsPausedByTheWindow) {
  struct Case {
    const char* name;
    bool single, in_game;
    void (TGame::*event)();
    bool paused;
  };
  const std::vector<Case> cases = {
      {"minimise, single-player game", true, true, &TGame::SysMinimise, true},
      {"minimise, multiplayer game", false, true, &TGame::SysMinimise, false},
      {"minimise, menu", true, false, &TGame::SysMinimise, false},
      {"deactivate, single-player game", true, true, &TGame::FormDeactivate, true},
      {"deactivate, multiplayer game", false, true, &TGame::FormDeactivate, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TAppRun run("window-pause", c.in_game ? kStart : "");
    TGame& g = run.Game();
    if (c.in_game) StartSinglePlayerGame(run);
    g.World().SetSinglePlayer(c.single);
    (g.*c.event)();
    EXPECT_EQ(g.World().Paused(), c.paused);
    EXPECT_EQ(g.World().Timer2().Enabled(), c.paused);
  }
}

TEST(StartUp, SettingsAreWrittenAtOnceWhenMissingOrFullScreen) {
  TAppRun run("startup", "");
  namespace fs = std::filesystem;
  ASSERT_TRUE(fs::exists(run.Config)) << "a first start writes the defaults";
  EXPECT_EQ(fs::file_size(run.Config), 244u);
  EXPECT_EQ(run.Game().Screens().Name(), "Menu");

  struct Case {
    uint8_t windowed;
    bool full_screen, rewritten;
  };
  for (const Case& c : {Case{1, false, false}, Case{0, true, true}}) {
    SCOPED_TRACE(int(c.windowed));
    run.Game().SettingsRecord.Windowed = c.windowed;
    ASSERT_TRUE(run.Game().SaveSettingsReported());
    auto old_time = fs::last_write_time(run.Config) - std::chrono::hours(1);
    fs::last_write_time(run.Config, old_time);
    run.Restart("");
    EXPECT_EQ(run.Game().Host.FullScreen(), c.full_screen);
    EXPECT_EQ(fs::last_write_time(run.Config) != old_time, c.rewritten);
    EXPECT_EQ(run.Game().SettingsRecord.Windowed, c.windowed);
  }
}

TEST(StartUp, MissingMenuMusicSwitchesMusicOffUntilTheNextSave) {
  namespace fs = std::filesystem;
  // The program's folder with every archive but no music modules.
  fs::path dir = fs::path(MV_BINARY_DIR) / "test-runs" / "startup-no-music";
  fs::remove_all(dir);
  fs::create_directories(dir / "Data");
  fs::create_directories(dir / "Sound");
  for (const char* f : {"Data/MData.dxg", "Data/GData.dxg", "Sound/GSnd.dxg"})
    fs::copy_file(fs::path(MV_BINARY_DIR) / f, dir / f);
  THeadlessOptions ho;
  ho.Frames = 10;
  std::string error;
  auto host = CreateHeadlessHost(ho, error);
  ASSERT_TRUE(host) << error;
  TGameOptions go;
  go.DataDir = dir.string();
  go.SeedFromClock = false;
  go.AudioOut = "none";
  go.Session.AllowBroadcast = false;
  TForm1 form(std::move(host), go);
  ASSERT_TRUE(form.Create(error)) << error;
  TGame& g = form.Game();
  EXPECT_EQ(g.Screens().Name(), "Menu");
  EXPECT_EQ(g.SettingsRecord.MusicOn, 0);
  TSettingsRecord stored;
  LoadSettings(g.ConfigPath, stored);
  EXPECT_EQ(stored.MusicOn, 1) << "the switch is saved with the next save only";
  ASSERT_TRUE(g.SaveSettingsReported());
  LoadSettings(g.ConfigPath, stored);
  EXPECT_EQ(stored.MusicOn, 0);
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
