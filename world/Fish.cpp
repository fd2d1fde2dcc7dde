// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <string>

#include "platform/Random.h"
#include "world/Drift.h"
#include "world/Sprites.h"

namespace mv {

namespace {

TPictureCollectionItem& FishPicture(TWorld& world, char side, uint8_t kind) {
  return world.Pictures().Find(std::string(1, side) + std::to_string(kind) + "Fish");
}


// Points for a single-player fish by its size divisor.
int FishPoints(uint8_t scale_div) {
  switch (scale_div) {
    case 1: return 20;
    case 2: return 15;
    case 3: return 10;
    case 4: return 5;
    default: return 0;
  }
}

}  // namespace

TFish::TFish(TWorld& world, int32_t speed, uint16_t y, uint8_t kind) : TWorldSprite(world) {
  const bool single = World.SinglePlayer();
  TRandom& rand = World.Rand();
  if (kind != 0)
    Kind = kind;
  else
    Kind = uint8_t(single ? rand.Random(World.MaxFishKind()) + 1 : rand.Random(8) + 1);

  SetPicture(FishPicture(World, 'R', Kind));
  AnimStep = Image->PatternCount();
  SetZ(5);
  EatenBy = 0;
  BornLevel = World.Level();
  BeingEaten = false;
  Slot = World.FishTable().Count;

  if (!single)
    ScaleDiv = uint8_t(rand.Random(2) + 8);
  else if (World.Level() == 1)
    ScaleDiv = uint8_t(rand.Random(4) + 1);
  else if (Kind == 8)
    ScaleDiv = uint8_t(rand.Random(2) + 1);
  else if (Kind == 7)
    ScaleDiv = uint8_t(rand.Random(2) + 2);
  else
    ScaleDiv = uint8_t(rand.Random(3) + 1);

  if (speed != 0) {
    if (speed > 0) {
      X = -(Width / ScaleDiv) - 5;
    } else {
      X = 805;
      Image = &FishPicture(World, 'L', Kind);
    }
    Speed = speed;
    Y = y;
    return;
  }

  const int s = Kind > 3 ? rand.RandomRange(3, 7) : rand.RandomRange(3, 10);
  if (rand.Random(2) == 1) {
    X = -Round(Width / Div(ScaleDiv)) - 5;
    Speed = s;
  } else {
    X = 805;
    Speed = -s;
    Image = &FishPicture(World, 'L', Kind);
  }
  Y = rand.RandomRange(65, 580 - Image->GetPatternHeight());
}

void TFish::RemoveFish() {
  // Only a fish still counted in lowers the count: one already marked dead
  // (left over from an earlier level or screen) must not take a newer
  // fish's place in the count.
  if (IsDead) return;
  World.FishLeft();
  MarkDead();
}

void TFish::Step(int) {
  const TScene scene = World.Host().Scene();
  if (scene != TScene::Play && scene != TScene::Question) MarkDead();
  if (World.Level() != BornLevel) MarkDead();
  if (World.Held() || scene != TScene::Play) return;

  TPlayer* local = World.LocalPlayer();
  if (!local || !local->WasEaten) Eating = false;

  if (BeingEaten) {
    TPlayer* eater = EatenBy >= 0 ? World.Player(size_t(EatenBy)) : nullptr;
    if (SwallowStep(*this, ScaleDiv, eater, false)) {
      RemoveFish();
      Swallowed(World, Number, eater);
    }
    return;
  }

  Collide();
  if (World.Frozen()) return;

  if (!SwimOn(*this, TickCount, AnimStep, Speed, ScaleDiv)) RemoveFish();
}

void TFish::HandleHit(TSprite* other, bool&) {
  auto* player = dynamic_cast<TPlayer*>(other);
  // Eaten once: a second player met in the same query gets nothing.
  if (!player || BeingEaten) return;
  if (!MeetsMouth(*player, X, Y, Width / Div(ScaleDiv), Height / Div(ScaleDiv))) return;

  const bool single = World.SinglePlayer();
  if (Number != 0) {
    // A numbered fish is the referee's: only the own fish's meetings are
    // this peer's to report.
    if (!player->Own()) return;
    World.Referee().OwnFishMeets(0, Number);
    if (!BeingEaten) {
      // The catch shows at once; the points wait for the verdict.
      BeingEaten = true;
      EatenBy = player->NetIndex;
    }
    return;
  }
  if (single && !PlayerEatsFish(*player, *this)) return;

  player->AddScore(uint32_t(single ? FishPoints(ScaleDiv) : 10));
  player->HasEaten = true;
  if (const char* gulp = MealSound(player->ScaleDiv, single)) World.Sound(gulp);
  if (single || player->Own()) player->Grow(TPlayer::TGrowVariant::Fish);
  BeingEaten = true;
  if (!single) EatenBy = player->NetIndex;
}

void TFish::Render() {
  if (!Image || !Engine || !Engine->Surface) return;
  const int pattern = Eating ? 4 : FrameIndex;
  const int d = std::max<int>(ScaleDiv, 1);
  Image->DrawPatternStretched(*Engine->Surface,
                              Bounds(X, Y, Image->GetPatternWidth() / d, Image->GetPatternHeight() / d),
                              pattern);
}

}  // namespace mv
