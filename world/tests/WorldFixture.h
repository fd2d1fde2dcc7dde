// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "media/Archive.h"
#include "platform/Surface.h"
#include "sprites/PictureCollection.h"
#include "sprites/Sprite.h"
#include "world/SinglePlayer.h"
#include "world/Sprites.h"
#include "world/World.h"

namespace mv {

// What the program gives the world, as a test sees it: the scene is what
// the test says, effects are remembered from their start until every
// effect stops, and the end of a single-player game is recorded.
class TTestWorldHost : public TWorldHost {
 public:
  void PlaySound(const std::string& name) override {
    if (SoundOn) Sounding.insert(name);
  }
  void StopSounds() override { Sounding.clear(); }
  TScene Scene() const override { return Shown; }
  // Eight pixels a letter, like the label font's widest.
  int NameWidth(const std::string& name) override { return int(name.size()) * 8; }
  void LastLifeLost() override {
    ++LastLivesLost;
    Shown = TScene::Ending;
  }
  void SkeletonRisen() override { ++SkeletonsRisen; }
  TReferee& Referee() override { return *Ref; }

  bool SoundOn = false;
  std::multiset<std::string> Sounding;
  TScene Shown = TScene::Play;
  int LastLivesLost = 0;
  int SkeletonsRisen = 0;
  TReferee* Ref = nullptr;
};

// What a network game's referee hears of the own fish, for world tests of
// a multiplayer world. It deals as the host when `Host` is set, numbering
// from 100.
class TTestReferee : public TReferee {
 public:
  bool Deals() const override { return Host; }
  uint16_t Spawned(const TFish&) override { return Host ? Next++ : 0; }
  uint16_t Spawned(const TObj&) override { return Host ? Next++ : 0; }
  void LevelStarted() override { ++Levels; }
  void OwnFishMeets(uint8_t what, uint16_t number) override { Meetings.push_back({what, number}); }
  void OwnFishMoved(int x, int y) override { Moves.push_back({x, y}); }
  void OwnFishGrew(uint8_t scale_div) override { Grown.push_back(scale_div); }
  void OwnFishTookObject(uint8_t kind) override { Objects.push_back(kind); }
  void OwnFishAte(const TPlayer& prey) override { Eaten.push_back(prey.PlayerId); }
  void OwnFishOut() override { ++Outs; }
  void LevelFinished() override { ++Finished; }

  bool Host = false;
  uint16_t Next = 100;
  int Levels = 0, Outs = 0, Finished = 0;
  std::vector<std::pair<uint8_t, uint16_t>> Meetings;
  std::vector<std::pair<int, int>> Moves;
  std::vector<uint8_t> Grown, Objects;
  std::vector<int32_t> Eaten;
};

// A world with the real picture archives, a single-player fish in the
// middle of level 1 and the hold already over. Frames are driven by the
// move and collect passes only; nothing is spawned unless a test asks.
class WorldFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string dir = std::string(MV_BINARY_DIR) + "/Data/";
    LoadPictureArchive(dir + "MData.dxg", Menus);
    LoadPictureArchive(dir + "GData.dxg", Pictures);
    Menus.Restore();
    Pictures.Restore();
    Engine.SetSurface(&Surface);
    World = std::make_unique<TWorld>(Host, Engine, Menus, Pictures);
    Single = std::make_unique<TSinglePlayerReferee>(*World);
    Host.Ref = Single.get();
    World->Rand().Seed = 12345;
    World->SetSinglePlayer(true);
    World->ResetLevel();
    World->ResetSpawning();
    World->SetOwnIndex(0);
    Player = World->AddPlayer(0, 0, "");
    World->StartLevel();
    EndHold();
  }

  void TearDown() override {
    Engine.Clear();
    World.reset();
  }

  // The hold timer's tick: the fish shows and play goes on.
  void EndHold() {
    World->Timer2().SetEnabled(false);
    if (TPlayer* own = World->LocalPlayer()) own->InPlay = true;
    Host.Shown = TScene::Play;
    World->SetRoundIntro(false);
  }

  // This frame's direction states come from `In`.
  void Frame() {
    World->SetInput(In);
    Engine.Move(FrameCounter++);
    Engine.CollectDead();
  }
  void Frames(int n) {
    for (int i = 0; i < n; i++) Frame();
  }
  // Fills the fish table up to `count` with fish far off screen.
  void FillFish(int count) {
    while (World->FishTable().Count < count) AddFish(1, 1, -500, 100, 1);
  }

  double PlayerW() const { return Player->Width / double(Player->ScaleDiv); }
  double PlayerH() const { return Player->Height / double(Player->ScaleDiv); }

  // A fish counted into the table like a spawned one, then given its size
  // and place.
  TFish* AddFish(uint8_t kind, uint8_t scale_div, int x, int y, int speed) {
    TFish* fish = World->AddFish(speed, uint16_t(y < 0 ? 0 : y), kind);
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
    TObj* obj = World->AddObject(-3, 0, kind);
    obj->X = Player->X + int(PlayerW()) - 5;
    obj->Y = int(Player->Y + PlayerH() / 2 - obj->Height / 2.0);
    return obj;
  }

  // An effect started and not stopped since.
  bool Playing(const std::string& name) const { return Host.Sounding.count(name) > 0; }

  // Frames until `done` holds, at most `limit`; the count, or -1.
  template <class F>
  int FramesUntil(F done, int limit = 400) {
    for (int i = 1; i <= limit; i++) {
      Frame();
      if (done()) return i;
    }
    return -1;
  }

  template <class T>
  int CountOf() {
    int n = 0;
    for (int i = 0; i < Engine.Count(); i++)
      if (dynamic_cast<T*>(Engine.Items(i)) && !Engine.Items(i)->IsDead) n++;
    return n;
  }

  TTestWorldHost Host;
  TPictureCollection Menus, Pictures;
  TSurface Surface;
  TSpriteEngine Engine;
  std::unique_ptr<TWorld> World;
  std::unique_ptr<TSinglePlayerReferee> Single;
  TPlayer* Player = nullptr;
  uint8_t FrameCounter = 0;
  TInputStates In;
};

}  // namespace mv
