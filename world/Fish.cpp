#include <algorithm>
#include <cmath>
#include <string>

#include "net/Messages.h"
#include "platform/Random.h"
#include "world/Drift.h"
#include "world/Sprites.h"

namespace mv {

namespace {

TPictureCollectionItem& FishPicture(TGame& game, char side, uint8_t kind) {
  return game.GameImgs.Find(std::string(1, side) + std::to_string(kind) + "Fish");
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

TFish::TFish(TGame& game, int32_t speed, uint16_t y, uint8_t kind) : TWorldSprite(game) {
  const bool single = Game.SinglePlayer;
  if (kind != 0)
    Kind = kind;
  else
    Kind = uint8_t(single ? Game.Rand.Random(Game.MaxFishKind) + 1 : Game.Rand.Random(8) + 1);

  SetPicture(FishPicture(Game, 'R', Kind));
  AnimStep = Image->PatternCount();
  SetZ(5);
  EatenBy = 0;
  BornLevel = Game.Level;
  BeingEaten = false;
  Slot = Game.FishTable.Count;

  if (!single)
    ScaleDiv = uint8_t(Game.Rand.Random(2) + 8);
  else if (Game.Level == 1)
    ScaleDiv = uint8_t(Game.Rand.Random(4) + 1);
  else if (Kind == 8)
    ScaleDiv = uint8_t(Game.Rand.Random(2) + 1);
  else if (Kind == 7)
    ScaleDiv = uint8_t(Game.Rand.Random(2) + 2);
  else
    ScaleDiv = uint8_t(Game.Rand.Random(3) + 1);

  if (speed != 0) {
    if (speed > 0) {
      X = -(Width / ScaleDiv) - 5;
    } else {
      X = 805;
      Image = &FishPicture(Game, 'L', Kind);
    }
    Speed = speed;
    Y = y;
    return;
  }

  const int s = Kind > 3 ? Game.Rand.RandomRange(3, 7) : Game.Rand.RandomRange(3, 10);
  if (Game.Rand.Random(2) == 1) {
    X = -Round(Width / Div(ScaleDiv)) - 5;
    Speed = s;
  } else {
    X = 805;
    Speed = -s;
    Image = &FishPicture(Game, 'L', Kind);
  }
  Y = Game.Rand.RandomRange(65, 580 - Image->GetPatternHeight());
  if (!single && Game.SessionHost()) {
    // The tag goes first: every peer makes this fish with the host's size
    // and number.
    Number = Game.AnnounceSpawn(0, ScaleDiv);
    Game.SendGameMessage(MsgNewFish, Kind, uint16_t(Y), Speed);
  }
}

void TFish::RemoveFish() {
  // Only a fish still counted in lowers the count: one already marked dead
  // (left over from an earlier level or screen) must not take a newer
  // fish's place in the count.
  if (IsDead) return;
  if (Game.FishTable.Count > 0) Game.FishTable.Count--;
  MarkDead();
}

void TFish::Step(int) {
  const std::string& screen = Game.CurrentScreen;
  if (screen != "Game" && screen != "ExitGame?") MarkDead();
  if (Game.Level != BornLevel) MarkDead();
  if (Game.Timer2.Enabled() || screen != "Game") return;

  TPlayer* local = Game.LocalPlayer();
  if (!local || !local->WasEaten) Eating = false;

  if (BeingEaten) {
    TPlayer* p = (EatenBy >= 0 && size_t(EatenBy) < Game.PlayerTable.size())
                     ? Game.PlayerTable[size_t(EatenBy)].get()
                     : nullptr;
    if (ScaleDiv <= 5) {
      ScaleDiv++;
      if (p) {
        if (p->FacingRight)
          X = Round(p->X + p->Width / Div(p->ScaleDiv));
        else
          X = Round(p->X - Width / Div(ScaleDiv));
        Y = Round(p->Y + p->Height / Div(p->ScaleDiv) / 2 - Height / Div(ScaleDiv) / 2);
      }
    }
    if (ScaleDiv > 5) {
      RemoveFish();
      // A numbered fish's eater was credited when the host said so; the
      // round's end went with that.
      if (Number == 0)
        SwallowDone(Game, p);
      else if (p)
        p->HasEaten = false;
    }
    return;
  }

  Collide();
  if (Game.Timer1.Enabled()) return;

  if (!SwimOn(*this, TickCount, AnimStep, Speed, ScaleDiv)) RemoveFish();
}

void TFish::HandleHit(TSprite* other, bool&) {
  auto* player = dynamic_cast<TPlayer*>(other);
  // Eaten once: a second player met in the same query gets nothing.
  if (!player || BeingEaten) return;
  if (!MeetsMouth(*player, X, Y, Width / Div(ScaleDiv), Height / Div(ScaleDiv))) return;

  const bool single = Game.SinglePlayer;
  if (single) {
    if (!PlayerEatsFish(*player, *this)) return;
  } else if (Number != 0) {
    // Only the own fish's meetings are this peer's to decide; the others'
    // come from the host with the number.
    if (player->NetIndex != Game.OwnIndex) return;
    Game.OwnFishMeets(0, Number);
    if (!BeingEaten) {
      // A guest shows the catch at once; the points wait for the host.
      BeingEaten = true;
      EatenBy = player->NetIndex;
    }
    return;
  }

  player->AddScore(uint32_t(single ? FishPoints(ScaleDiv) : 10));
  player->HasEaten = true;

  const uint8_t d = player->ScaleDiv;
  const char* sound = nullptr;
  if (single) {
    if (d == 1) sound = "Ham3";
    else if (d == 2) sound = "Ham2";
    else if (d == 3) sound = "Ham1";
  } else {
    if (d == 2) sound = "Ham3";
    else if (d == 3 || d == 4) sound = "Ham2";
    else if (d >= 5 && d <= 7) sound = "Ham1";
  }
  if (sound) Game.Sound(sound);

  if (single || player->NetIndex == Game.OwnIndex) player->Grow(TPlayer::TGrowVariant::Fish);
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
