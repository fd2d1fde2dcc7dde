#pragma once
#include <cmath>

#include "world/Sprites.h"

namespace mv::test {

// A simple player for tests: swims at the nearest fish it may eat, mouth
// first, and away from any fish that could catch it.
inline void BotSteer(TGame& g) {
  TPlayer* me = g.LocalPlayer();
  if (!me || !me->InPlay || me->WasEaten) return;
  double mw = double(me->Width) / me->ScaleDiv, mh = double(me->Height) / me->ScaleDiv;
  double mx = me->X + mw / 2, my = me->Y + mh / 2;
  TFish* target = nullptr;
  double best = 1e9;
  double flee_y = 0;
  bool flee = false;
  for (int i = 0; i < g.Engine().Count(); ++i) {
    auto* f = dynamic_cast<TFish*>(g.Engine().Items(i));
    if (!f || f->IsDead || f->BeingEaten) continue;
    double fw = double(f->Width) / f->ScaleDiv, fh = double(f->Height) / f->ScaleDiv;
    double fx = f->X + fw / 2, fy = f->Y + fh / 2;
    double d = std::hypot(fx - mx, fy - my);
    bool edible = (me->Skin >= f->Kind && me->ScaleDiv <= f->ScaleDiv) ||
                  (me->Skin < f->Kind && me->ScaleDiv < f->ScaleDiv);
    if (edible) {
      if (f->X > -10 && f->X < 790 && d < best) {
        best = d;
        target = f;
      }
    } else if (d < 170 + fw / 2) {
      flee = true;
      flee_y += (my > fy ? 1 : -1) * (200 - d);
    }
  }
  if (flee) {
    if (flee_y > 0) me->SteerDown = true; else me->SteerUp = true;
    if (mx < 400) me->SteerRight = true; else me->SteerLeft = true;
    return;
  }
  if (!target) {
    if (my < 290) me->SteerDown = true;
    else if (my > 310) me->SteerUp = true;
    return;
  }
  double tw = double(target->Width) / target->ScaleDiv, th = double(target->Height) / target->ScaleDiv;
  double tx = target->X + tw / 2, ty = target->Y + th / 2;
  if (ty < my - 4) me->SteerUp = true;
  else if (ty > my + 4) me->SteerDown = true;
  if (tx > mx) me->SteerRight = true; else me->SteerLeft = true;
}

}  // namespace mv::test
