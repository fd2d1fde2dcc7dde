#include <algorithm>
#include <cmath>
#include <string>

#include "net/Messages.h"
#include "platform/Random.h"
#include "world/Drift.h"
#include "world/Sprites.h"

namespace mv {

namespace {
}  // namespace

TObj::TObj(TGame& game, int32_t speed, uint16_t y, uint8_t kind) : TWorldSprite(game) {
  if (kind != 0) {
    Kind = kind;
  } else {
    // Growth and extra lives are drawn again, so they stay rare.
    int k = Game.Rand.Random(6) + 1;
    if (k == 1 || k == 2) {
      k = Game.Rand.Random(6) + 1;
      if (k == 2) k = Game.Rand.Random(6) + 1;
    }
    Kind = uint8_t(k);
  }
  SetPicture(Game.GameImgs.Find("Obj" + std::to_string(Kind)));
  AnimStep = Image->PatternCount();
  ScaleDiv = 1;
  SetZ(5);
  BornLevel = Game.Level;
  BeingEaten = false;
  EatenBy = 0;

  if (speed != 0) {
    X = speed > 0 ? -(Width / ScaleDiv) - 5 : 805;
    Speed = speed;
    Y = y;
    return;
  }
  const int s = Game.Rand.RandomRange(3, 10);
  if (Game.Rand.Random(2) == 1) {
    X = -(Width / ScaleDiv) - 5;
    Speed = s;
  } else {
    X = 805;
    Speed = -s;
  }
  Y = Game.Rand.RandomRange(65, 580 - Image->GetPatternHeight());
  if (!Game.SinglePlayer && Game.SessionHost()) {
    Number = Game.AnnounceSpawn(Kind, ScaleDiv);
    Game.SendGameMessage(MsgNewObject, Kind, uint16_t(Y), Speed);
  }
}

void TObj::RemoveObject() {
  // Several ways out can meet in one step; the count drops once.
  if (Removed_) return;
  Removed_ = true;
  if (Game.ObjectTable.Count > 0) Game.ObjectTable.Count--;
  MarkDead();
}

void TObj::Step(int) {
  const std::string& screen = Game.CurrentScreen;
  const bool between_rounds =
      !Game.SinglePlayer && Game.Timer2.Enabled() && screen == "Game" && !Game.Paused;
  if (between_rounds || (screen != "Game" && screen != "ExitGame?") || Game.Level != BornLevel)
    RemoveObject();
  if (Game.Timer2.Enabled() || screen != "Game") return;

  if (BeingEaten) {
    TPlayer* p = (EatenBy >= 0 && size_t(EatenBy) < Game.PlayerTable.size())
                     ? Game.PlayerTable[size_t(EatenBy)].get()
                     : nullptr;
    if (ScaleDiv <= 5) {
      ScaleDiv++;
      if (p) {
        if (p->FacingRight)
          X = p->X + Round(p->Width / Div(p->ScaleDiv));
        else
          X = p->X - Round(Width / Div(ScaleDiv));
        Y = p->Y + Round(p->Height / Div(p->ScaleDiv) / 2 - Height / Div(ScaleDiv) / 2);
      }
    }
    if (ScaleDiv > 5) {
      RemoveObject();
      if (Number == 0)
        SwallowDone(Game, p);
      else if (p)
        p->HasEaten = false;
    }
    return;
  }

  Collide();
  if (Game.Timer1.Enabled()) return;

  if (!SwimOn(*this, TickCount, AnimStep, Speed, ScaleDiv)) RemoveObject();
}

void TObj::HandleHit(TSprite* other, bool&) {
  auto* player = dynamic_cast<TPlayer*>(other);
  if (!player || BeingEaten) return;
  if (!MeetsMouth(*player, X, Y, Width / Div(ScaleDiv), Height / Div(ScaleDiv))) return;

  if (!Game.SinglePlayer && Number != 0) {
    if (player->NetIndex != Game.OwnIndex) return;
    Game.OwnFishMeets(Kind, Number);
    if (!BeingEaten) {
      BeingEaten = true;
      EatenBy = player->NetIndex;
    }
    return;
  }

  EatenBy = player->NetIndex;
  if (!player->Dying) player->BlinkTicks = 0;
  if (player->NetIndex == Game.OwnIndex) TakeEffect(Game, *player, Kind, true);

  player->HasEaten = true;
  const uint8_t d = player->ScaleDiv;
  if (d == 2)
    Game.Sound("Ham3");
  else if (d == 3 || d == 4)
    Game.Sound("Ham2");
  else if (d >= 5 && d <= 7)
    Game.Sound("Ham1");
  BeingEaten = true;
}

bool TObj::TakeEffect(TGame& game, TPlayer& player, uint8_t kind, bool announce) {
  const bool multi = !game.SinglePlayer;
  switch (kind) {
    case 1:
      return player.Grow(TPlayer::TGrowVariant::Object, announce);
    case 2:
      if (player.Lives < 3) player.Lives++;
      break;
    case 3:
      if (TBonus* bonus = game.BonusSprite.get()) bonus->SetPicture(game.GameImgs.Find("MParalich"));
      if (multi) game.SendGameMessage(MsgFreeze, 0, 0, 0);
      game.Timer1.SetEnabled(true);
      break;
    case 4:
      player.AddScore(50);
      break;
    case 5:
      if (TBonus* bonus = game.BonusSprite.get()) bonus->SetPicture(game.GameImgs.Find("Paralich"));
      if (multi) game.SendGameMessage(MsgParalysed, 0, 0, 0);
      player.Paralysed = true;
      break;
    case 6: {
      const uint32_t score = uint32_t(player.Score());
      player.SetScore(score <= 50 ? 0 : int32_t(score - 50));
      game.Sound("Aaaa");
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
