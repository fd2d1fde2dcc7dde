// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "world/World.h"

namespace mv {

// A game on one machine: this game deals every fish, nothing is numbered
// or told to anyone, a finished level starts the next and the last life
// lost raises the skeleton.
class TSinglePlayerReferee final : public TReferee {
 public:
  explicit TSinglePlayerReferee(TWorld& world) : World_(world) {}
  bool Deals() const override { return true; }
  uint16_t Spawned(const TFish&) override { return 0; }
  uint16_t Spawned(const TObj&) override { return 0; }
  void LevelStarted() override {}
  void OwnFishMeets(uint8_t, uint16_t) override {}
  void OwnFishMoved(int, int) override {}
  void OwnFishGrew(uint8_t) override {}
  void OwnFishTookObject(uint8_t) override {}
  void OwnFishAte(const TPlayer&) override {}
  void OwnFishOut() override;
  void LevelFinished() override { World_.StartLevel(); }

 private:
  TWorld& World_;
};

}  // namespace mv
