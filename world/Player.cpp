#include <algorithm>
#include <cmath>
#include <string>

#include "net/Messages.h"
#include "platform/Canvas.h"
#include "platform/Random.h"
#include "world/Drift.h"
#include "world/Sprites.h"

namespace mv {

namespace {

// Centres closer than half the summed sizes (or `share` of them) overlap.
bool Overlaps(double ax, double aw, double bx, double bw, double share) {
  return std::fabs((ax + aw / 2) - (bx + bw / 2)) < (aw + bw) * share;
}

}  // namespace

TPlayer::TPlayer(TGame& game) : TWorldSprite(game) {
  Skin = Game.SinglePlayer ? 1 : uint8_t(Game.Rand.Random(3) + 1);
  SetPicture(RightPicture());
  ScaleDiv = Game.SinglePlayer ? 3 : 7;
  DeathScale = ScaleDiv;
  X = 400 - Round(Width / Div(ScaleDiv) / 2);
  Y = 300 - Round(Height / Div(ScaleDiv) / 2);
  SetZ(0);
  LastX = X;
  LastY = Y;

  Stars.clear();
  SpeedX = SpeedY = 0;
  InPlay = false;
  FacingRight = true;
  FacingLeft = false;
  Dying = false;
  EatCount = Growth = BlinkTicks = 0;
  Lives = 3;
  ScoreCode = 1;
  ReadyState = 0;
  NetIndex = Game.NewPlayerIndex;

  PlayerName.clear();
  if (!Game.SinglePlayer && Game.SessionOpen()) {
    const auto& players = Game.DXPlay1->Players();
    if (Game.NewPlayerIndex < players.size()) PlayerName = players[Game.NewPlayerIndex].Name;
  }
  if (PlayerName.size() > 8) PlayerName.resize(8);

  int text_width = 0;
  if (!PlayerName.empty()) {
    TCanvas& canvas = Game.Host.Surface().Canvas();
    canvas.SetFont("Staccato222 BT", 14, false);
    text_width = canvas.TextWidth(PlayerName);
  }
  // Held in a signed byte: a label far wider than any fish is pinned at
  // the byte's range instead of wrapping to the other side.
  int offset = (Width / std::max<int>(ScaleDiv, 1)) / 2 - text_width / 2;
  NameOffset = int8_t(std::clamp(offset, -128, 127));
}

TPictureCollectionItem& TPlayer::RightPicture() const {
  return Game.GameImgs.Find("R" + std::to_string(Skin) + "Fish");
}

TPictureCollectionItem& TPlayer::LeftPicture() const {
  return Game.GameImgs.Find("L" + std::to_string(Skin) + "Fish");
}

void TPlayer::Step(int) {
  const std::string& screen = Game.CurrentScreen;
  if ((screen == "Menu" || screen == "MP" || screen == "MP2") && ReadyState == 2) MarkDead();
  if (!Game.SinglePlayer && screen == "Game" && ReadyState != 2) Y = 650;  // parked below
  if (Game.Timer2.Enabled() || screen != "Game") return;

  if (Dying) {
    if (BlinkTicks <= 128) {
      BlinkTicks++;
    } else {
      BlinkTicks = 0;
      Dying = false;
    }
  }
  if (WasEaten) {
    BeingEatenStep();
    return;
  }
  Collide();
  if (Paralysed) {
    if (BlinkTicks <= 128) {
      BlinkTicks++;
    } else {
      BlinkTicks = 0;
      Paralysed = false;
    }
    return;
  }
  TickCount++;

  if (NetIndex == Game.OwnIndex) {
    const TInputStates& in = Game.Input;
    auto drag = [](double& speed) {
      if (speed < 0)
        speed += 0.1;
      else if (speed > 0)
        speed -= 0.1;
    };
    auto animate = [this] {
      if (TickCount % 5 == 0) {
        const int patterns = Image ? Image->PatternCount() : 0;
        if (AnimStep < patterns - 2)
          AnimStep++;
        else
          AnimStep = 0;
      }
      FrameIndex = AnimStep;
    };

    if (in.Up || SteerUp) {
      SteerUp = false;
      MovingUp = true;
      MovingDown = false;
      if (SpeedY >= -7.0) SpeedY -= 0.3;
    } else if (in.Down || SteerDown) {
      SteerDown = false;
      MovingUp = false;
      MovingDown = true;
      if (SpeedY <= 7.0) SpeedY += 0.3;
    } else {
      drag(SpeedY);
    }

    const double pattern_w = Image ? Image->GetPatternWidth() : Width;
    const double pattern_h = Image ? Image->GetPatternHeight() : Height;
    // Outside the band the fish may only move back towards the middle.
    double t = Y + SpeedY;
    if ((63 < t && t < 600 - pattern_h / Div(ScaleDiv)) || (Y < 300 && SpeedY > 0) ||
        (Y > 300 && SpeedY < 0))
      Y = Round(t);

    if (in.Right || SteerRight) {
      SteerRight = false;
      animate();
      if (SpeedX <= 7.0) SpeedX += 0.3;
      if (FacingLeft && SpeedX > 0) {
        Image = &RightPicture();
        FacingRight = true;
        FacingLeft = false;
      }
    } else if (in.Left || SteerLeft) {
      SteerLeft = false;
      animate();
      if (SpeedX >= -7.0) SpeedX -= 0.3;
      if (FacingRight && SpeedX < 0) {
        Image = &LeftPicture();
        FacingLeft = true;
        FacingRight = false;
      }
    } else {
      if (!SteerRight && !SteerLeft && !SteerUp && !SteerDown && !MovingUp && !MovingDown)
        FrameIndex = 0;
      drag(SpeedX);
    }

    t = X + SpeedX;
    if ((0 < t && t < 800 - pattern_w / Div(ScaleDiv)) || (X < 400 && SpeedX > 0) ||
        (X > 400 && SpeedX < 0))
      X = Round(t);
  }

  if (!Game.SinglePlayer && (X != LastX || Y != LastY)) {
    LastX = X;
    LastY = Y;
    if (NetIndex == Game.OwnIndex) Game.SendPosition(uint16_t(X), uint16_t(Y));
  }
}

void TPlayer::BeingEatenStep() {
  const bool own = NetIndex == Game.OwnIndex;
  // The eater as it is now: a fish or player that has gone since the catch
  // reads as absent, and this fish finishes shrinking where it was last put.
  TFish* fish = nullptr;
  TPlayer* eater_player = nullptr;
  if (Game.SinglePlayer)
    fish = KilledByFish.get();
  else if (KilledBy >= 0 && size_t(KilledBy) < Game.PlayerTable.size())
    eater_player = Game.PlayerTable[size_t(KilledBy)].get();

  if (ScaleDiv <= 7) {
    ScaleDiv++;
    TWorldSprite* eater = fish ? static_cast<TWorldSprite*>(fish) : eater_player;
    if (eater) {
      const double eater_div = fish ? Div(fish->ScaleDiv) : Div(eater_player->ScaleDiv);
      const bool moves_right = fish ? fish->Speed > 0 : eater_player->SpeedX > 0;
      if (moves_right)
        X = eater->X + Round(eater->Width / eater_div);
      else
        X = eater->X - Round(Width / Div(ScaleDiv));
      Y = eater->Y + Round(eater->Height / eater_div / 2 - Height / Div(ScaleDiv) / 2);
    }
  }
  if (ScaleDiv < 8) return;

  if (Lives > 0) {
    if (own) {
      Game.Sound("Ham2");
      Game.Sound("Die");
      if (Game.SinglePlayer) {
        Game.Timer2.SetEnabled(true);
        Lives--;
      }
    }
    Dying = true;
    if (fish) fish->Eating = false;
    if (eater_player) eater_player->HasEaten = false;
    if (Game.SinglePlayer) InPlay = false;  // the hold timer shows it again
    WasEaten = false;
    KilledByFish.reset();
    ScaleDiv = DeathScale;
    SpeedX = SpeedY = 0;
    X = 400 - Round(Width / Div(ScaleDiv) / 2);
    Y = 300 - Round(Height / Div(ScaleDiv) / 2);
  } else if (own) {
    Game.StopAllEffects();
    Game.Sound("Ham2");
    InPlay = false;
    if (Game.SinglePlayer) {
      new TSkelet(Game);
      Game.CurrentScreen = "Scelet";
    } else {
      Game.OutOfRound = true;
      Game.SendGameMessage(MsgOut, 0, 0, 0);
      Game.EndRound(kRoundNoWin);
    }
  }
}

void TPlayer::HandleHit(TSprite* other, bool&) {
  if (NetIndex != Game.OwnIndex) return;
  const double pw = Width / Div(ScaleDiv), ph = Height / Div(ScaleDiv);

  if (Game.SinglePlayer) {
    auto* fish = dynamic_cast<TFish*>(other);
    // One catch at a time: a second fish met in the same query must not
    // take over a catch already made.
    if (!fish || Dying || WasEaten) return;
    const double fw = fish->Width / Div(fish->ScaleDiv), fh = fish->Height / Div(fish->ScaleDiv);
    if (!Overlaps(fish->X, fw, X, pw, 0.5)) return;
    if (!Overlaps(fish->Y, fh, Y, ph, 1.0 / 3.0)) return;
    const double centre = X + pw / 2;
    const bool before_mouth = (fish->Speed > 0 && centre >= fish->X + fw) ||
                              (fish->Speed < 0 && centre <= fish->X);
    if (!before_mouth) return;
    if (!FishCatchesPlayer(*fish, *this) || Game.Timer1.Enabled()) return;
    fish->Eating = true;
    WasEaten = true;
    DeathScale = ScaleDiv;
    KilledBy = fish->Slot;
    KilledByFish = fish;
    return;
  }

  auto* prey = dynamic_cast<TPlayer*>(other);
  if (!prey || prey->Dying) return;
  const double ow = prey->Width / Div(prey->ScaleDiv), oh = prey->Height / Div(prey->ScaleDiv);
  if (!Overlaps(prey->X, ow, X, pw, 0.5)) return;
  if (!Overlaps(prey->Y, oh, Y, ph, 1.0 / 3.0)) return;
  if (!(prey->ScaleDiv > ScaleDiv)) return;
  Frags++;
  HasEaten = true;
  prey->WasEaten = true;
  prey->DeathScale = prey->ScaleDiv;
  prey->KilledBy = NetIndex;
  prey->Dying = true;
  prey->BlinkTicks = 0;
  prey->Paralysed = false;
  // The victim goes in Arg32 so that, with three or more players, only it
  // dies on the other peers; older peers ignore the argument.
  Game.SendGameMessage(MsgEaten, 0, 0, prey->PlayerId);
}

bool TPlayer::Grow(TGrowVariant variant, bool announce) {
  const bool single = Game.SinglePlayer;
  const bool own = single || NetIndex == Game.OwnIndex;
  announce = announce && !single && own;
  if (variant == TGrowVariant::Fish) {
    if (EatCount < 5) {
      EatCount++;
      return false;
    }
    if (Growth < (single ? 2 : 5)) {
      Game.Sound("Big");
      if (ScaleDiv > 1) ScaleDiv--;
      if (!single) Stars += "*";
      EatCount = 0;
      Growth++;
      if (announce) Game.SendGameMessage(MsgGrown, ScaleDiv, 0, 0);
      return false;
    }
    if (own) Game.LevelDone = true;
    return true;
  }

  if (Growth < (single ? 2 : 5)) {
    Game.Sound("Big");
    if (ScaleDiv > (single ? 1 : 2)) {
      ScaleDiv--;
      Stars += "*";
    }
    EatCount = 0;
    Growth++;
    if (announce) Game.SendGameMessage(MsgGrown, ScaleDiv, 0, 0);
    return false;
  }
  if (own) Game.LevelDone = true;
  return true;
}

void TPlayer::Render() {
  if (!InPlay || Game.CurrentScreen != "Game" || !Image || !Engine || !Engine->Surface) return;
  int alpha = 255;
  if (Dying) alpha = BlinkTicks % 16 < 8 ? 100 : 150;
  const int pattern = HasEaten ? 4 : FrameIndex;
  const int d = std::max<int>(ScaleDiv, 1);
  const TRect r = Bounds(X, Y, Image->GetPatternWidth() / d, Image->GetPatternHeight() / d);
  Image->DrawPatternAlpha(*Engine->Surface, r, pattern, alpha);
}

}  // namespace mv
