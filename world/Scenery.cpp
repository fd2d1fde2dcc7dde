// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

#include "platform/Random.h"
#include "world/Sprites.h"

namespace mv {

namespace {

struct TWeed {
  const char* Picture;
  int X, Y;
};
struct TBackground {
  const char* Picture;
  TWeed Weeds[3];
};
const TBackground kBackgrounds[3] = {
    {"FonGame1", {{"Vodorosl1", -8, 437}, {"Vodorosl2", 413, 482}, {"Vodorosl1", 796, 588}}},
    {"FonGame2", {{"Vodorosl1", 159, 432}, {"Vodorosl1", 286, 435}, {"Vodorosl3", 603, 368}}},
    {"FonGame1", {{"Vodorosl3", 10, 371}, {"Vodorosl1", 409, 445}, {"Vodorosl3", 675, 378}}},
};

}  // namespace

TFon::TFon(TWorld& world, const std::string& name) : TWorldSprite(world) {
  // The host draws the scene; its guests are told which.
  if (!World.SinglePlayer() && World.Referee().Deals()) World.SetBackgroundNo(uint8_t(World.Rand().Random(3)));
  const bool in_game = name == "Game";
  // A background number from a peer is only ever 0..2; anything else
  // falls back to the first scene rather than reading past the table.
  const TBackground& bg = kBackgrounds[World.BackgroundNo() < 3 ? World.BackgroundNo() : 0];
  SetPicture(World.MenuPictures().Find(in_game ? std::string(bg.Picture) : name));
  X = Y = 0;
  SetZ(-10);
  if (!in_game) return;
  for (int i = 0; i < 3; i++)
    Seaweed[size_t(i)] = new TVodorosl(World, bg.Weeds[i].X, bg.Weeds[i].Y, bg.Weeds[i].Picture);
}

void TFon::RemoveWithSeaweed() {
  for (auto& weed : Seaweed) weed.MarkDead();
  MarkDead();
}

TVodorosl::TVodorosl(TWorld& world, int x, int y, const std::string& picture) : TWorldSprite(world) {
  SetPicture(World.Pictures().Find(picture));
  X = x;
  Y = y;
  SetZ(-5);
  FrameCount = Image->PatternCount();
  FrameLoop = true;
  FrameDelay = uint8_t(World.Rand().Random(5) + 5);
}

void TVodorosl::Step(int move_count) {
  if (World.Held()) return;
  if (FrameDelay != 0 && move_count % FrameDelay != 0) return;
  if (FrameIndex >= FrameCount - 1)
    FrameIndex = 0;
  else
    FrameIndex++;
}

TPuzir::TPuzir(TWorld& world) : TWorldSprite(world) {
  TRandom& rand = World.Rand();
  SetPicture(World.Pictures().Find(rand.Random(2) == 0 ? "Puzir" : "Puziri"));
  X = rand.Random(760) + 20;
  Y = 540;
  SetZ(-6);
  Centre = uint16_t(X);
  Wobble = uint8_t(rand.Random(7) + 3);
  Drift = 1;
  BornLevel = World.Level();
  Rise = uint8_t(rand.Random(3) + 1);
}

void TPuzir::Step(int) {
  if (World.Held()) return;
  if (World.Host().Scene() != TScene::Play || World.Level() != BornLevel) {
    MarkDead();
    return;
  }
  if (X >= Centre + Wobble)
    Drift = -1;
  else if (X <= Centre - Wobble)
    Drift = 1;
  X += Drift;
  Y -= Rise;
  if (Y <= 90) MarkDead();
}

TSkelet::TSkelet(TWorld& world) : TWorldSprite(world) {
  SetPicture(World.Pictures().Find("Skelet"));
  X = 400 - Round(Width / 2.0) + 50;
  Y = 600;
  SetZ(10);
}

void TSkelet::Step(int) {
  if (IsDead) return;  // the question is opened once
  Y -= 10;
  if (Y > 300 - Height / 2.0) return;
  World.Sound("Over");
  World.Host().SkeletonRisen();
  World.SetPaused(true);
  World.Timer2().SetEnabled(true);
  MarkDead();
}

}  // namespace mv
