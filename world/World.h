// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The underwater world: the level, the fish and objects swimming in it, the
// player fish, the scenery and the status indicators, with the two timers
// that hold it (freeze, hold). It meets the rest of the program through two
// small interfaces: TWorldHost for what it asks of the program (sounds,
// what the screen shows, the end of a single-player game), TReferee for
// what it reports of the own fish (single player decides at once; in a
// network game the host decides and guests ask).
#include <array>
#include <cstdint>
#include <string>

#include "platform/Host.h"
#include "platform/Random.h"
#include "platform/Timer.h"
#include "sprites/PictureCollection.h"
#include "sprites/Sprite.h"
#include "world/SpriteRef.h"

namespace mv {

class TPlayer;
class TFish;
class TObj;
class TFon;
class TLifes;
class TSklt1;
class TSklt2;
class TBonus;
class TTable;

// What the screen shows, as far as the world cares.
enum class TScene {
  Menus,     // a menu, the lobby or the room: no game on screen
  Play,      // the game
  Question,  // the game under the question whether to leave it
  Ending,    // a single-player game that is over: skeleton, GAME OVER, the name
};

class TReferee;

class TWorldHost {
 public:
  virtual ~TWorldHost() = default;
  // A named effect, when effects are on ("Wave '%s' not found" when missing).
  virtual void PlaySound(const std::string& name) = 0;
  virtual void StopSounds() = 0;
  virtual TScene Scene() const = 0;
  // Width of a fish's name label in its font, in pixels.
  virtual int NameWidth(const std::string& name) = 0;
  // Single player: the last life went, the skeleton starts to rise.
  virtual void LastLifeLost() = 0;
  // Single player: the skeleton has risen; GAME OVER.
  virtual void SkeletonRisen() = 0;
  // The referee of the way this game is played, asked anew each time: a
  // guest may come to host.
  virtual TReferee& Referee() = 0;
};

// What happened to the own fish, and who deals: one implementation per way
// of playing (single player here, host and guest with the network game).
class TReferee {
 public:
  virtual ~TReferee() = default;
  // Whether this game makes the fish, objects and scenes (a guest gets them).
  virtual bool Deals() const = 0;
  // A fish or object this game made; the number it is known by (0: none).
  virtual uint16_t Spawned(const TFish& fish) = 0;
  virtual uint16_t Spawned(const TObj& obj) = 0;
  // A level (round) starts.
  virtual void LevelStarted() = 0;
  // The own fish's mouth met a numbered fish or object.
  virtual void OwnFishMeets(uint8_t what, uint16_t number) = 0;
  virtual void OwnFishMoved(int x, int y) = 0;
  // The own fish grew one step, to this size.
  virtual void OwnFishGrew(uint8_t scale_div) = 0;
  // The own fish swallowed an object whose effect others see (3 freeze, 5 paralysis).
  virtual void OwnFishTookObject(uint8_t kind) = 0;
  // The own fish ate another player's.
  virtual void OwnFishAte(const TPlayer& prey) = 0;
  // The own fish has no life left.
  virtual void OwnFishOut() = 0;
  // The own fish finished growing and its last meal is swallowed.
  virtual void LevelFinished() = 0;
};

// A counter with fixed slots: spawning raises the count and stores the new
// sprite in the slot of that number; leaving lowers the count only.
template <class T, size_t N>
struct TSlotTable {
  uint8_t Count = 0;
  std::array<TSpriteRef<T>, N + 1> Slots{};  // 1-based; [0] unused
};

class TWorld {
 public:
  static constexpr size_t kPlayers = 6;
  static constexpr size_t kFishSlots = 30;
  static constexpr size_t kObjectSlots = 5;

  TWorld(TWorldHost& host, TSpriteEngine& engine, TPictureCollection& menu_pictures,
         TPictureCollection& pictures);
  TWorld(const TWorld&) = delete;
  TWorld& operator=(const TWorld&) = delete;

  // ---- what the world stands on ----------------------------------------
  TWorldHost& Host() { return Host_; }
  TSpriteEngine& Engine() { return Engine_; }
  TPictureCollection& Pictures() { return Pictures_; }
  TPictureCollection& MenuPictures() { return MenuPictures_; }
  TRandom& Rand() { return Rand_; }
  TReferee& Referee() { return Host_.Referee(); }
  void Sound(const std::string& name) { Host_.PlaySound(name); }

  // ---- mode ------------------------------------------------------------
  bool SinglePlayer() const { return SinglePlayer_; }
  void SetSinglePlayer(bool on) { SinglePlayer_ = on; }
  // Paused: the hold is a pause (the player's, a peer's, a question's).
  bool Paused() const { return Paused_; }
  void SetPaused(bool on) { Paused_ = on; }
  // A multiplayer round's banner is on.
  bool RoundIntro() const { return RoundIntro_; }
  void SetRoundIntro(bool on) { RoundIntro_ = on; }
  // Timer1: computer fish and objects frozen. Timer2: the hold (level or
  // round start, pause, a life lost, the results).
  TTimer& Timer1() { return Timer1_; }
  TTimer& Timer2() { return Timer2_; }
  bool Frozen() const { return Timer1_.Enabled(); }
  bool Held() const { return Timer2_.Enabled(); }
  // This frame's four direction states.
  const TInputStates& Input() const { return Input_; }
  void SetInput(const TInputStates& in) { Input_ = in; }

  // ---- the level -------------------------------------------------------
  // A game's first spawning (ten fish at most, one chance in fifty).
  void ResetSpawning() { SetSpawning(10, 50); }
  // A game's world starts before its first level.
  void ResetLevel() { Level_ = 0; }
  uint16_t Level() const { return Level_; }
  bool LevelDone() const { return LevelDone_; }
  void SetLevelDone(bool done = true) { LevelDone_ = done; }
  uint8_t MaxFishKind() const { return MaxFishKind_; }
  int32_t MaxFish() const { return MaxFish_; }
  // One chance in `odds` each frame that a fish comes.
  int32_t FishSpawnOdds() const { return FishSpawnOdds_; }
  void SetSpawning(int32_t max_fish, int32_t odds) {
    MaxFish_ = max_fish;
    FishSpawnOdds_ = odds;
  }
  // The next level (round): counts, sizes, places, the hold and its banner.
  void StartLevel();
  // During play, each frame: maybe a fish, an object, a bubble.
  void SpawnStep();
  uint8_t BackgroundNo() const { return BackgroundNo_; }
  void SetBackgroundNo(uint8_t no) { BackgroundNo_ = no; }

  // ---- computer fish and objects ---------------------------------------
  const TSlotTable<TFish, kFishSlots>& FishTable() const { return FishTable_; }
  const TSlotTable<TObj, kObjectSlots>& ObjectTable() const { return ObjectTable_; }
  // A fish or object counted in and made: by spawning (speed 0: drawn here)
  // or as the host announced it. Null when its table is full.
  TFish* AddFish(int32_t speed, uint16_t y, uint8_t kind);
  TObj* AddObject(int32_t speed, uint16_t y, uint8_t kind);
  // One of them left: the count drops.
  void FishLeft();
  void ObjectLeft();
  // The numbered fish (what 0) or object goes into the mouth of the
  // player in `slot` (-1: nobody's any more).
  void GoesToMouth(uint8_t what, uint16_t number, int slot);

  // ---- player fish -----------------------------------------------------
  TPlayer* Player(size_t slot) const { return slot < kPlayers ? PlayerTable_[slot].get() : nullptr; }
  // A player's fish in its slot, named (cut to eight characters).
  TPlayer* AddPlayer(size_t slot, uint32_t id, const std::string& name);
  // The player in `slot` went: its fish goes and the fish after it move up
  // one slot, as the session's list does on every peer.
  void RemovePlayer(size_t slot);
  // Every player's fish goes.
  void RemoveAllPlayers();
  // The slot of a player's fish; -1 when there is none.
  int SlotOfPlayer(uint32_t id) const;
  uint8_t OwnIndex() const { return OwnIndex_; }
  void SetOwnIndex(uint8_t slot) { OwnIndex_ = slot; }
  TPlayer* LocalPlayer() const { return Player(OwnIndex_); }
  int32_t LocalScore() const;  // true score of the local fish (0 without one)
  // Another player's fish where its peer put it, facing the way it moved.
  void PlaceRemoteFish(size_t slot, int x, int y);
  // The final score of the last single-player game, kept after its fish is
  // gone so name entry and the table never read a destroyed sprite.
  int32_t FinalScoreCode() const { return FinalScoreCode_; }
  void KeepFinalScore();
  void ResetFinalScore() { FinalScoreCode_ = 1; }

  // ---- scenery and status ----------------------------------------------
  // The menu background, or the game's scene of BackgroundNo with its
  // seaweed; the one shown before goes.
  void ShowMenuBackground();
  void ShowGameBackground();
  // Lives, growth and bonus indicators, and the results table in a network
  // game.
  void ShowStatus();
  // Everything of the game's scenery and status goes but the player fish.
  void RemoveGameScenery();
  void RemoveBackground();
  TBonus* Bonus() const { return BonusSprite_.get(); }
  const TFon* Background() const { return BackgroundSprite_.get(); }
  const TTable* Table() const { return TableSprite_.get(); }
  // The results table over the scene (network games).
  void ShowTable(bool shown);
  void RemoveTable();
  // The freeze of computer fish and objects, with its indicator.
  void Freeze();

 private:
  friend class TPlayer;
  friend class TFish;
  friend class TObj;

  TWorldHost& Host_;
  TSpriteEngine& Engine_;
  TPictureCollection& MenuPictures_;
  TPictureCollection& Pictures_;
  TRandom Rand_;

  bool SinglePlayer_ = true;
  bool Paused_ = false;
  bool RoundIntro_ = false;
  TTimer Timer1_{5000, false};
  TTimer Timer2_{2000, false};
  TInputStates Input_;

  uint16_t Level_ = 0;
  int32_t MaxFish_ = 10;
  int32_t FishSpawnOdds_ = 50;
  uint8_t MaxFishKind_ = 3;
  bool LevelDone_ = false;
  uint8_t BackgroundNo_ = 0;
  TSlotTable<TFish, kFishSlots> FishTable_;
  TSlotTable<TObj, kObjectSlots> ObjectTable_;
  std::array<TSpriteRef<TPlayer>, kPlayers> PlayerTable_{};
  uint8_t OwnIndex_ = 0;
  int32_t FinalScoreCode_ = 1;

  TSpriteRef<TFon> BackgroundSprite_;
  TSpriteRef<TLifes> LifesSprite_;
  TSpriteRef<TSklt1> Sklt1Sprite_;
  TSpriteRef<TSklt2> Sklt2Sprite_;
  TSpriteRef<TBonus> BonusSprite_;
  TSpriteRef<TTable> TableSprite_;
};

}  // namespace mv
