// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <string>

#include "platform/Random.h"
#include "world/Drift.h"
#include "world/Sprites.h"

namespace mv {

TObj::TObj(TWorld& world, int32_t speed, uint16_t y, uint8_t kind) : TWorldSprite(world) {
  TRandom& rand = World.Rand();
  if (kind != 0) {
    Kind = kind;
  } else {
    // Growth and extra lives are drawn again, so they stay rare.
    int k = rand.Random(6) + 1;
    if (k == 1 || k == 2) {
      k = rand.Random(6) + 1;
      if (k == 2) k = rand.Random(6) + 1;
    }
    Kind = uint8_t(k);
  }
  SetPicture(World.Pictures().Find("Obj" + std::to_string(Kind)));
  AnimStep = Image->PatternCount();
  ScaleDiv = 1;
  SetZ(5);
  BornLevel = World.Level();
  BeingEaten = false;
  EatenBy = 0;

  if (speed != 0) {
    X = speed > 0 ? -(Width / ScaleDiv) - 5 : 805;
    Speed = speed;
    Y = y;
    return;
  }
  const int s = rand.RandomRange(3, 10);
  if (rand.Random(2) == 1) {
    X = -(Width / ScaleDiv) - 5;
    Speed = s;
  } else {
    X = 805;
    Speed = -s;
  }
  Y = rand.RandomRange(65, 580 - Image->GetPatternHeight());
}

void TObj::RemoveObject() {
  // Several ways out can meet in one step; the count drops once.
  if (Removed_) return;
  Removed_ = true;
  World.ObjectLeft();
  MarkDead();
}

void TObj::Step(int) {
  const TScene scene = World.Host().Scene();
  const bool between_rounds = !World.SinglePlayer() && World.Held() && scene == TScene::Play && !World.Paused();
  if (between_rounds || (scene != TScene::Play && scene != TScene::Question) || World.Level() != BornLevel)
    RemoveObject();
  if (World.Held() || scene != TScene::Play) return;

  if (BeingEaten) {
    TPlayer* eater = EatenBy >= 0 ? World.Player(size_t(EatenBy)) : nullptr;
    if (SwallowStep(*this, ScaleDiv, eater, true)) {
      RemoveObject();
      Swallowed(World, Number, eater);
    }
    return;
  }

  Collide();
  if (World.Frozen()) return;

  if (!SwimOn(*this, TickCount, AnimStep, Speed, ScaleDiv)) RemoveObject();
}

void TObj::HandleHit(TSprite* other, bool&) {
  auto* player = dynamic_cast<TPlayer*>(other);
  if (!player || BeingEaten) return;
  if (!MeetsMouth(*player, X, Y, Width / Div(ScaleDiv), Height / Div(ScaleDiv))) return;

  if (Number != 0) {
    if (!player->Own()) return;
    World.Referee().OwnFishMeets(Kind, Number);
    if (!BeingEaten) {
      BeingEaten = true;
      EatenBy = player->NetIndex;
    }
    return;
  }

  EatenBy = player->NetIndex;
  if (!player->Dying) player->BlinkTicks = 0;
  if (player->Own()) TakeEffect(World, *player, Kind, true);

  player->HasEaten = true;
  if (const char* gulp = MealSound(player->ScaleDiv, false)) World.Sound(gulp);
  BeingEaten = true;
}

bool TObj::TakeEffect(TWorld& world, TPlayer& player, uint8_t kind, bool announce) {
  const bool multi = !world.SinglePlayer();
  switch (kind) {
    case 1:
      return player.Grow(TPlayer::TGrowVariant::Object, announce);
    case 2:
      if (player.Lives < 3) player.Lives++;
      break;
    case 3:
      world.Freeze();
      if (multi) world.Referee().OwnFishTookObject(kind);
      break;
    case 4:
      player.AddScore(50);
      break;
    case 5:
      if (TBonus* bonus = world.Bonus()) bonus->SetPicture(world.Pictures().Find("Paralich"));
      if (multi) world.Referee().OwnFishTookObject(kind);
      player.Paralysed = true;
      break;
    case 6: {
      const uint32_t score = uint32_t(player.Score());
      player.SetScore(score <= 50 ? 0 : int32_t(score - 50));
      world.Sound("Aaaa");
      break;
    }
    default:
      break;
  }
  return false;
}

void TObj::Render() {
  if (!Image || !Engine || !Engine->Surface) return;
  const int d = std::max<int>(ScaleDiv, 1);
  Image->DrawPatternStretched(*Engine->Surface,
                              Bounds(X, Y, Image->GetPatternWidth() / d, Image->GetPatternHeight() / d),
                              FrameIndex);
}

}  // namespace mv
