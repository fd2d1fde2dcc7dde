// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What computer fish and drifting objects share: crossing the screen, being
// met mouth first by a player fish, and being swallowed.
#include <cstdint>

#include "world/Sprites.h"

namespace mv {

// A size divisor as a real divisor; a stray 0 counts as 1.
inline double Div(uint8_t scale_div) { return scale_div == 0 ? 1.0 : double(scale_div); }

// The player's mouth meets the sprite drawn at (x, y), w x h: the two
// overlap and the sprite's centre is in front of the player's mouth.
bool MeetsMouth(const TPlayer& player, double x, double y, double w, double h);

// The single-player size rules between the player fish and a computer fish:
// the player may eat it, or it may catch the player (at most one holds).
bool PlayerEatsFish(const TPlayer& player, const TFish& fish);
bool FishCatchesPlayer(const TFish& fish, const TPlayer& player);

// One frame of swimming: the animation paced every fifth frame, then one
// step of `speed`. False when the sprite has left the screen instead.
bool SwimOn(TImageSprite& s, int32_t& tick_count, int32_t& anim_step, int32_t speed, uint8_t scale_div);

// One frame of being swallowed: the sprite shrinks a step into the eater's
// mouth (an eater gone meanwhile leaves it where it is); true once it is
// down. Objects place themselves by whole pixels from the eater, fish by
// the rounded sum (`whole_pixels`).
bool SwallowStep(TImageSprite& s, uint8_t& scale_div, const TPlayer* eater, bool whole_pixels);

// The swallow is over: the eater's mouth closes, and for a meal nobody
// numbered a finished level (or round) goes on.
void Swallowed(TWorld& world, uint16_t number, TPlayer* eater);

// The gulp of a meal by the eater's size; null for none.
const char* MealSound(uint8_t eater_scale_div, bool single_player);

}  // namespace mv
