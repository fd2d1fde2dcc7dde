// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "app/Game.h"
#include "media/Archive.h"
#include "media/WaveCollection.h"
#include "net/tests/LocalSession.h"
#include "platform/Host.h"
#include "platform/Keys.h"
#include "ui/MenuSprites.h"
#include "world/Sprites.h"

namespace mv {

// A headless game on the main menu, built as start-up builds it, with the
// real picture archives and a settings file of its own in a fresh folder.
// Effects are short silent waves under the game's names, so a test can see
// which ones started; effects and music are off unless a test turns them on.
class UiFixture : public ::testing::Test {
 protected:
  // Script lines for the headless host (e.g. Caps Lock pressed at frame 1).
  virtual std::string Script() const { return ""; }

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    for (char& c : name)
      if (!std::isalnum(static_cast<unsigned char>(c))) c = '-';
    Dir = std::filesystem::temp_directory_path() / ("mv-ui-" + std::to_string(getpid()) + "-" + name);
    std::filesystem::remove_all(Dir);
    std::filesystem::create_directories(Dir);

    THeadlessOptions host_options;
    host_options.Frames = 1u << 30;
    if (!Script().empty()) {
      host_options.ScriptFile = (Dir / "script.txt").string();
      std::ofstream(host_options.ScriptFile) << Script();
    }
    std::string error;
    Host = CreateHeadlessHost(host_options, error);
    ASSERT_TRUE(Host) << error;

    TGameOptions options;
    options.DataDir = MV_BINARY_DIR;
    options.ConfigPath = (Dir / "Config.cfg").string();
    options.SeedFromClock = false;
    options.Seed = 7;
    options.AudioOut = "none";
    // Sessions stay in this process: nothing the lobby does leaves it.
    options.MakeSession = [this] { return Hub.Endpoint(); };
    Game = std::make_unique<TGame>(*Host, options);
    const std::string data = std::string(MV_BINARY_DIR) + "/Data/";
    LoadPictureArchive(data + "MData.dxg", Game->DXImageList1);
    LoadPictureArchive(data + "GData.dxg", Game->GameImgs);
    Game->DXImageList1.Restore();
    Game->GameImgs.Restore();
    Game->Mixer.OpenOffline();
    for (const char* effect : {"Beep", "Ham1", "Ham2", "Ham3", "Die", "Big", "Aaaa", "Over", "Level"}) {
      TWaveCollectionItem& item = Game->DXWaveList1.Add();
      item.Wave.Samples.assign(22050, 0);
      Game->DXWaveList1.SetName(item, effect);
    }

    Game->SettingsRecord.SetDefaults();
    Game->SettingsRecord.SoundOn = 0;
    Game->SettingsRecord.MusicOn = 0;
    Game->SettingsRecord.Windowed = 1;
    Game->World().ShowMenuBackground();
    Game->Screens().Start();
    Collect();
  }

  void TearDown() override {
    Game.reset();
    Host.reset();
    std::filesystem::remove_all(Dir);
  }

  // What happens between two frames: dead sprites go.
  void Collect() { Game->DXSpriteEngine1.CollectDead(); }

  // Synthetic releases (from clicks) reach the key handler as later events.
  void Pump() {
    THostEvent e;
    for (int guard = 0; guard < 16 && Host->PollEvent(e); ++guard) {
      if (e.Type == THostEvent::Quit) break;
      if (e.Type == THostEvent::KeyUp) Game->FormKeyUp(e.Key, e.Shift);
      Collect();
    }
    Collect();
  }

  // Releases keys given by name, e.g. "Down Down Enter".
  void Keys(const std::string& names, uint8_t shift = 0) {
    std::istringstream in(names);
    std::string n;
    while (in >> n) {
      const uint16_t code = KeyCodeFromName(n.c_str());
      ASSERT_NE(code, 0) << "unknown key " << n;
      Game->FormKeyUp(code, shift);
      Pump();
    }
  }

  void MoveTo(int x, int y) {
    Host->WarpPointer(x, y);
    Game->DXDraw1MouseMove(0, x, y);
  }
  void ClickAt(int x, int y) {
    MoveTo(x, y);
    Game->DXDraw1Click();
    Pump();
  }

  // Highlight slots now visible (live sprites only).
  std::set<int> VisibleHighlights() const {
    std::set<int> shown;
    for (int k = 1; k <= 7; ++k)
      if (const TMenuB* b = Game->Screens().Button(size_t(k)); b && b->Visible) shown.insert(k);
    return shown;
  }

  int Beeps() { return Game->DXWaveList1.Find("Beep").PlayingCount(); }

  std::string ConfigPath() const { return (Dir / "Config.cfg").string(); }

  std::filesystem::path Dir;
  test::TLocalSessionHub Hub;
  std::unique_ptr<THost> Host;
  std::unique_ptr<TGame> Game;
};

}  // namespace mv
