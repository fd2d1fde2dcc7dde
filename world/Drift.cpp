// SPDX-License-Identifier: GPL-3.0-or-later
#include "world/Drift.h"

#include <algorithm>
#include <cmath>

#include "platform/Random.h"

namespace mv {

bool MeetsMouth(const TPlayer& p, double x, double y, double w, double h) {
  const double pw = p.Width / Div(p.ScaleDiv), ph = p.Height / Div(p.ScaleDiv);
  if (!(std::fabs((p.X + pw / 2) - (x + w / 2)) < (pw + w) / 2)) return false;
  if (!(std::fabs((p.Y + ph / 2) - (y + h / 2)) < (ph + h) / 2)) return false;
  return (p.FacingRight && x + w / 2 >= p.X + pw) || (p.FacingLeft && x + w / 2 <= p.X);
}

bool PlayerEatsFish(const TPlayer& p, const TFish& f) {
  return (p.Skin >= f.Kind && p.ScaleDiv <= f.ScaleDiv) || (p.Skin < f.Kind && p.ScaleDiv < f.ScaleDiv);
}

bool FishCatchesPlayer(const TFish& f, const TPlayer& p) {
  return (f.Kind > p.Skin && f.ScaleDiv <= p.ScaleDiv) || (f.Kind == p.Skin && f.ScaleDiv < p.ScaleDiv) ||
         (f.Kind < p.Skin && f.ScaleDiv + 1 < p.ScaleDiv);
}

bool SwimOn(TImageSprite& s, int32_t& tick_count, int32_t& anim_step, int32_t speed, uint8_t scale_div) {
  tick_count++;
  if (tick_count % 5 == 0) anim_step = anim_step < s.Image->PatternCount() - 2 ? anim_step + 1 : 0;
  s.FrameIndex = anim_step;
  if ((speed < 0 && s.X > -(s.Image->GetPatternWidth() / std::max<int>(scale_div, 1)) - 2) ||
      (speed > 0 && s.X < 802)) {
    s.X += speed;
    return true;
  }
  return false;
}

bool SwallowStep(TImageSprite& s, uint8_t& scale_div, const TPlayer* p, bool whole_pixels) {
  if (scale_div <= 5) {
    scale_div++;
    if (p) {
      const double ahead = p->Width / Div(p->ScaleDiv), behind = s.Width / Div(scale_div);
      const double half = p->Height / Div(p->ScaleDiv) / 2, own_half = s.Height / Div(scale_div) / 2;
      if (whole_pixels) {
        s.X = p->FacingRight ? p->X + Round(ahead) : p->X - Round(behind);
        s.Y = p->Y + Round(half - own_half);
      } else {
        s.X = p->FacingRight ? Round(p->X + ahead) : Round(p->X - behind);
        s.Y = Round(p->Y + half - own_half);
      }
    }
  }
  return scale_div > 5;
}

void Swallowed(TWorld& world, uint16_t number, TPlayer* eater) {
  // A numbered meal's eater was credited when the referee said so; the
  // round's end went with that.
  if (eater) eater->HasEaten = false;
  if (number != 0 || !world.LevelDone()) return;
  world.Referee().LevelFinished();
}

const char* MealSound(uint8_t d, bool single_player) {
  if (single_player) {
    if (d == 1) return "Ham3";
    if (d == 2) return "Ham2";
    if (d == 3) return "Ham1";
    return nullptr;
  }
  if (d == 2) return "Ham3";
  if (d == 3 || d == 4) return "Ham2";
  if (d >= 5 && d <= 7) return "Ham1";
  return nullptr;
}

}  // namespace mv
