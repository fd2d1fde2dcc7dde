#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "media/Archive.h"
#include "platform/Host.h"
#include "world/Game.h"
#include "world/Sprites.h"

namespace mv {

// A headless game with the real picture archives, a single-player fish in
// the middle of level 1 and the hold already over. Frames are driven by the
// move and collect passes only; nothing is spawned unless a test asks.
class WorldFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    Host = CreateHeadlessHost({}, error);
    ASSERT_TRUE(Host) << error;
    TGameOptions options;
    options.DataDir = MV_BINARY_DIR;
    options.SeedFromClock = false;
    options.Seed = 12345;
    options.AudioOut = "none";
    Game = std::make_unique<TGame>(*Host, options);
    const std::string dir = std::string(MV_BINARY_DIR) + "/Data/";
    LoadPictureArchive(dir + "MData.dxg", Game->DXImageList1);
    LoadPictureArchive(dir + "GData.dxg", Game->GameImgs);
    Game->DXImageList1.Restore();
    Game->GameImgs.Restore();

    // Short silent effects under the game's names: a test that switches
    // effects on sees which ones started.
    Game->Mixer.OpenOffline();
    for (const char* name : {"Ham1", "Ham2", "Ham3", "Die", "Big", "Aaaa", "Over", "Level"}) {
      TWaveCollectionItem& item = Game->DXWaveList1.Add();
      item.Wave.Samples.assign(22050 * 2, 0);  // one second of 16-bit mono
      Game->DXWaveList1.SetName(item, name);
    }
    Game->SettingsRecord.SoundOn = 0;
    Game->SettingsRecord.MusicOn = 0;

    Game->SinglePlayer = true;
    Game->CurrentScreen = "Game";
    Game->Level = 0;
    Game->MaxFish = 10;
    Game->FishSpawnOdds = 50;
    Game->NewPlayerIndex = 0;
    Game->OwnIndex = 0;
    Player = new TPlayer(*Game);
    Game->PlayerTable[0] = Player;
    Game->StartLevel();
    EndHold();
  }

  void TearDown() override { Game.reset(); }

  // The hold timer's tick: the fish shows and play goes on.
  void EndHold() { Game->Timer2Timer(); }

  void Frame() {
    Game->DXSpriteEngine1.Move(Game->FrameCounter++);
    Game->DXSpriteEngine1.CollectDead();
  }
  void Frames(int n) {
    for (int i = 0; i < n; i++) Frame();
  }

  double PlayerW() const { return Player->Width / double(Player->ScaleDiv); }
  double PlayerH() const { return Player->Height / double(Player->ScaleDiv); }

  // A fish counted into the table like a spawned one, then given its size
  // and place.
  TFish* AddFish(uint8_t kind, uint8_t scale_div, int x, int y, int speed) {
    Game->FishTable.Count++;
    auto* fish = new TFish(*Game, speed, uint16_t(y < 0 ? 0 : y), kind);
    Game->FishTable.Slots[Game->FishTable.Count] = fish;
    fish->ScaleDiv = scale_div;
    fish->X = x;
    fish->Y = y;
    return fish;
  }

  // A fish swimming left with its centre just in front of the player's
  // open mouth, vertically centred on the player.
  TFish* FishAtMouth(uint8_t kind, uint8_t scale_div) {
    TFish* fish = AddFish(kind, scale_div, 0, 0, -3);
    const double fh = fish->Height / double(scale_div);
    fish->X = Player->X + int(PlayerW()) - 5;
    fish->Y = int(Player->Y + PlayerH() / 2 - fh / 2);
    return fish;
  }

  TObj* ObjectAtMouth(uint8_t kind) {
    Game->ObjectTable.Count++;
    auto* obj = new TObj(*Game, -3, 0, kind);
    Game->ObjectTable.Slots[Game->ObjectTable.Count] = obj;
    obj->X = Player->X + int(PlayerW()) - 5;
    obj->Y = int(Player->Y + PlayerH() / 2 - obj->Height / 2.0);
    return obj;
  }

  // Effects sounding now; a sliver of mixing first so stops and starts
  // queued to the mixer have been taken.
  bool Playing(const std::string& name) {
    int16_t sample[2];
    Game->Mixer.RenderTo(sample, 1);
    return Game->DXWaveList1.Find(name).PlayingCount() > 0;
  }

  // Frames until `done` holds, at most `limit`; the count, or -1.
  template <class F>
  int FramesUntil(F done, int limit = 400) {
    for (int i = 1; i <= limit; i++) {
      Frame();
      if (done()) return i;
    }
    return -1;
  }

  std::unique_ptr<THost> Host;
  std::unique_ptr<TGame> Game;
  TPlayer* Player = nullptr;
};

}  // namespace mv
