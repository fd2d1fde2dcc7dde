#include "world/Drift.h"

#include <algorithm>
#include <cmath>

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

void SwallowDone(TGame& game, TPlayer* eater) {
  if (eater) eater->HasEaten = false;
  if (!game.LevelDone) return;
  if (game.SinglePlayer)
    game.StartLevel();
  else
    game.EndRound(kRoundWon);
}

}  // namespace mv
