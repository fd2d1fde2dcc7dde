// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cmath>
#include <vector>

#include "world/Drift.h"
#include "world/Sprites.h"

namespace mv {

// The autopilot of tests and headless demo runs. Each frame it tries the
// nine ways of steering over the next frames, with the fish swimming on in
// straight lines, and takes the one that keeps it out of every catching
// mouth and brings it closest to a fish it may eat.
inline void AutoSteer(TWorld& g) {
  TPlayer* me = g.LocalPlayer();
  if (!me || !me->InPlay || me->WasEaten) return;
  struct Fish {
    double x, y, w, h, speed;
    bool edible, catches;
  };
  std::vector<Fish> fish;
  for (int i = 0; i < g.Engine().Count(); ++i) {
    auto* f = dynamic_cast<TFish*>(g.Engine().Items(i));
    if (!f || f->IsDead || f->BeingEaten) continue;
    Fish k{double(f->X), double(f->Y), double(f->Width) / f->ScaleDiv, double(f->Height) / f->ScaleDiv,
           double(f->Speed), false, false};
    // With several players every fish may be eaten and none catches.
    k.edible = !g.SinglePlayer() || PlayerEatsFish(*me, *f);
    k.catches = g.SinglePlayer() && FishCatchesPlayer(*f, *me);
    fish.push_back(k);
  }
  const double mw = double(me->Width) / me->ScaleDiv, mh = double(me->Height) / me->ScaleDiv;
  const int kAhead = 30;
  double best_cost = 1e18;
  int best_h = 0, best_v = 0;
  for (int h = -1; h <= 1; ++h) {
    for (int v = -1; v <= 1; ++v) {
      double x = me->X, y = me->Y, sx = me->SpeedX, sy = me->SpeedY;
      double cost = 0;
      double nearest = 1e9;
      for (int t = 1; t <= kAhead; ++t) {
        auto accel = [](double& s, int dir) {
          if (dir > 0 && s <= 7.0) s += 0.3;
          else if (dir < 0 && s >= -7.0) s -= 0.3;
          else if (dir == 0) s += s < 0 ? 0.1 : (s > 0 ? -0.1 : 0);
        };
        accel(sy, v);
        accel(sx, h);
        double ty = y + sy, tx = x + sx;
        if ((ty > 63 && ty < 600 - mh) || (y < 300 && sy > 0) || (y > 300 && sy < 0)) y = ty;
        if ((tx > 0 && tx < 800 - mw) || (x < 400 && sx > 0) || (x > 400 && sx < 0)) x = tx;
        double mx = x + mw / 2, my = y + mh / 2;
        for (const Fish& f : fish) {
          double fx = f.x + f.speed * t + f.w / 2, fy = f.y + f.h / 2;
          bool overlap = std::fabs(fx - mx) < (f.w + mw) / 2 + 12 && std::fabs(fy - my) < (f.h + mh) / 3 + 14;
          if (f.catches && overlap) {
            bool mouth = (f.speed > 0 && mx + 10 >= f.x + f.speed * t + f.w) || (f.speed < 0 && mx - 10 <= f.x + f.speed * t);
            if (mouth) cost += 1e6 * (kAhead - t + 1);
          }
          if (f.edible && f.x + f.speed * t > -5 && f.x + f.speed * t + f.w < 805)
            nearest = std::min(nearest, std::hypot(fx - mx, fy - my));
        }
      }
      cost += nearest < 1e9 ? nearest : std::fabs(y + mh / 2 - 300) + std::fabs(x + mw / 2 - 400) * 0.2;
      if (cost < best_cost) {
        best_cost = cost;
        best_h = h;
        best_v = v;
      }
    }
  }
  if (best_v < 0) me->SteerUp = true;
  if (best_v > 0) me->SteerDown = true;
  if (best_h < 0) me->SteerLeft = true;
  if (best_h > 0) me->SteerRight = true;
}

}  // namespace mv
