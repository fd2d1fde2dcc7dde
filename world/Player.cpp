// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <string>

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

TPlayer::TPlayer(TWorld& world, uint8_t net_index, const std::string& name) : TWorldSprite(world) {
  const bool single = World.SinglePlayer();
  Skin = single ? 1 : uint8_t(World.Rand().Random(3) + 1);
  SetPicture(RightPicture());
  ScaleDiv = single ? 3 : 7;
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
  NetIndex = net_index;

  PlayerName = single ? std::string() : name.substr(0, 8);
  const int text_width = PlayerName.empty() ? 0 : World.Host().NameWidth(PlayerName);
  // Held in a signed byte: a label far wider than any fish is pinned at
  // the byte's range instead of wrapping to the other side.
  int offset = (Width / std::max<int>(ScaleDiv, 1)) / 2 - text_width / 2;
  NameOffset = int8_t(std::clamp(offset, -128, 127));
}

TPictureCollectionItem& TPlayer::RightPicture() const {
  return World.Pictures().Find("R" + std::to_string(Skin) + "Fish");
}

TPictureCollectionItem& TPlayer::LeftPicture() const {
  return World.Pictures().Find("L" + std::to_string(Skin) + "Fish");
}

void TPlayer::Step(int) {
  const TScene scene = World.Host().Scene();
  if (scene == TScene::Menus && ReadyState == 2) MarkDead();
  if (!World.SinglePlayer() && scene == TScene::Play && ReadyState != 2) Y = 650;  // parked below
  if (World.Held() || scene != TScene::Play) return;

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

  if (Own()) {
    const TInputStates& in = World.Input();
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

  if (!World.SinglePlayer() && (X != LastX || Y != LastY)) {
    LastX = X;
    LastY = Y;
    if (Own()) World.Referee().OwnFishMoved(X, Y);
  }
}

void TPlayer::BeingEatenStep() {
  const bool own = Own();
  const bool single = World.SinglePlayer();
  // The eater as it is now: a fish or player that has gone since the catch
  // reads as absent, and this fish finishes shrinking where it was last put.
  TFish* fish = nullptr;
  TPlayer* eater_player = nullptr;
  if (single)
    fish = KilledByFish.get();
  else if (KilledBy >= 0)
    eater_player = World.Player(size_t(KilledBy));

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
      World.Sound("Ham2");
      World.Sound("Die");
      if (single) {
        World.Timer2().SetEnabled(true);
        Lives--;
      }
    }
    Dying = true;
    if (fish) fish->Eating = false;
    if (eater_player) eater_player->HasEaten = false;
    if (single) InPlay = false;  // the hold timer shows it again
    WasEaten = false;
    KilledByFish.reset();
    ScaleDiv = DeathScale;
    SpeedX = SpeedY = 0;
    X = 400 - Round(Width / Div(ScaleDiv) / 2);
    Y = 300 - Round(Height / Div(ScaleDiv) / 2);
  } else if (own) {
    World.Host().StopSounds();
    World.Sound("Ham2");
    InPlay = false;
    World.Referee().OwnFishOut();
  }
}

void TPlayer::HandleHit(TSprite* other, bool&) {
  if (!Own()) return;
  const double pw = Width / Div(ScaleDiv), ph = Height / Div(ScaleDiv);

  if (World.SinglePlayer()) {
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
    if (!FishCatchesPlayer(*fish, *this) || World.Frozen()) return;
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
  World.Referee().OwnFishAte(*prey);
}

bool TPlayer::Grow(TGrowVariant variant, bool announce) {
  const bool single = World.SinglePlayer();
  const bool own = single || Own();
  announce = announce && !single && own;
  if (variant == TGrowVariant::Fish) {
    if (EatCount < 5) {
      EatCount++;
      return false;
    }
    if (Growth < (single ? 2 : 5)) {
      World.Sound("Big");
      if (ScaleDiv > 1) ScaleDiv--;
      if (!single) Stars += "*";
      EatCount = 0;
      Growth++;
      if (announce) World.Referee().OwnFishGrew(ScaleDiv);
      return false;
    }
    if (own) World.SetLevelDone();
    return true;
  }

  if (Growth < (single ? 2 : 5)) {
    World.Sound("Big");
    if (ScaleDiv > (single ? 1 : 2)) {
      ScaleDiv--;
      Stars += "*";
    }
    EatCount = 0;
    Growth++;
    if (announce) World.Referee().OwnFishGrew(ScaleDiv);
    return false;
  }
  if (own) World.SetLevelDone();
  return true;
}

void TPlayer::Render() {
  if (!InPlay || World.Host().Scene() != TScene::Play || !Image || !Engine || !Engine->Surface) return;
  int alpha = 255;
  if (Dying) alpha = BlinkTicks % 16 < 8 ? 100 : 150;
  const int pattern = HasEaten ? 4 : FrameIndex;
  const int d = std::max<int>(ScaleDiv, 1);
  const TRect r = Bounds(X, Y, Image->GetPatternWidth() / d, Image->GetPatternHeight() / d);
  Image->DrawPatternAlpha(*Engine->Surface, r, pattern, alpha);
}

}  // namespace mv
