// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The running program: the form's components and the parts of the game,
// wired to each other. Each handler of the form keeps its name here and
// hands the work to the part that owns it.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "media/Audio.h"
#include "media/Music.h"
#include "media/WaveCollection.h"
#include "net/NetGame.h"
#include "net/Session.h"
#include "persist/Settings.h"
#include "platform/Host.h"
#include "sprites/PictureCollection.h"
#include "sprites/Sprite.h"
#include "ui/Screens.h"
#include "world/SinglePlayer.h"
#include "world/World.h"

namespace mv {

// How a game object is set up: where its files are, how it is seeded, how
// its peer session is reached. Tests make several games in one process.
struct TGameOptions {
  std::string DataDir;     // the program's folder: Data/, Sound/ beneath it
  std::string ConfigPath;  // empty: DataDir + "Config.cfg"
  bool SeedFromClock = true;
  uint32_t Seed = 0;
  TSessionService::TOptions Session;
  // Makes the peer session; empty: a session over ENet with `Session`.
  std::function<std::unique_ptr<TSession>()> MakeSession;
  // "device": the SDL audio device; "wav:PATH": the mix rendered to a WAV
  // file; "none": silent, the mixer still runs offline.
  std::string AudioOut = "device";
  // When set, the results board is written here (NAME FRAGS WINS SCORE a
  // line, in board order) each time it is shown or changes.
  std::string ResultsFile;
  // When set, multiplayer events (eaten fish and objects by number, round
  // ends, a lost session) are appended here a line each, for comparing peers.
  std::string EventLog;
};

// A folder as `ExeDir` holds it: ending in '/', and "./" for none.
std::string WithSlash(std::string dir);

class TGame final : TWorldHost, TNetGameHost, TUiHost {
 public:
  TGame(THost& host, const TGameOptions& options);
  ~TGame() override;
  TGame(const TGame&) = delete;
  TGame& operator=(const TGame&) = delete;

  // ---- components ------------------------------------------------------
  THost& Host;
  const TGameOptions Options;
  TDXSpriteEngine DXSpriteEngine1;
  TSpriteEngine& Engine() { return DXSpriteEngine1.Engine(); }
  TPictureCollection DXImageList1;  // menus, dialogs, boards
  TPictureCollection GameImgs;      // the world
  TWaveCollection DXWaveList1;
  TAudioMixer Mixer;
  TMusicPlayer Music;
  std::string ExeDir;  // with a trailing '/'
  std::string ConfigPath;
  TSettingsRecord SettingsRecord;

  // ---- the parts -------------------------------------------------------
  TWorld& World() { return World_; }
  TNetGame& Net() { return *Net_; }
  TScreens& Screens() { return *Screens_; }
  // The peer session component.
  TSession& DXPlay1() { return Net_->Session(); }
  uint8_t FrameCounter() const { return FrameCounter_; }

  // ---- start-up, timers, window ----------------------------------------
  // Start-up in its fixed order; throws with a message naming a missing or
  // broken data file.
  void FormCreate();
  void FormCloseQuery(bool& can_close);
  void FormClose();
  void FormDeactivate();
  void SysMaximise();
  void SysMinimise();
  void Timer1Timer();
  void Timer2Timer();
  void Timer3Timer();
  // Time of the message loop, for the timers.
  void PollTimers();
  // One frame: input, move, collect, draw, spawn, screen texts, flip.
  void DXTimer1Timer();
  // A handler asked for the window to close.
  bool CloseRequested() { return Screens_->TakeCloseRequest(); }

  // ---- starting and leaving a game -------------------------------------
  void StartGame() override;
  // Every game's start, on the host and on a joiner alike: the game
  // background, music and status sprites.
  void SetUpGameWorld();
  void LeaveGame() override;
  // The session went away under a game or the room: the world goes and
  // the lobby opens.
  void LeaveLostSession();

  // ---- settings and sound ----------------------------------------------
  void ApplyDisplayMode() override;
  bool SaveSettingsReported() override;
  void ShowMessage(const std::string& text) override;
  // Only with music on: load and play; a failure shows `failure` and
  // switches music off.
  void StartMusic(const std::string& file, const std::string& failure = "Can't load music.");
  void MusicSwitchedOn() override;
  void MusicSwitchedOff() override;

  // ---- input -----------------------------------------------------------
  void FormKeyUp(uint16_t key, uint8_t shift) { Screens_->KeyUp(key, shift); }
  void DXDraw1MouseMove(uint8_t shift, int x, int y);
  void DXDraw1MouseUp(int button, uint8_t shift, int x, int y);
  void DXDraw1Click() { Screens_->Click(); }

  // ---- the session's events --------------------------------------------
  void DXPlay1AddPlayer(const TSessionPlayer& player) { Net_->AddPlayer(player); }
  void DXPlay1DeletePlayer(const TSessionPlayer& player) { Net_->DeletePlayer(player); }
  void DXPlay1Message(uint32_t from, const uint8_t* data, size_t size) { Net_->Message(from, data, size); }
  void DXPlay1SessionLost() { Net_->SessionLost(); }
  void DXPlay1Close() { Net_->Closed(); }

 private:
  // TWorldHost
  void PlaySound(const std::string& name) override;
  void StopSounds() override;
  TScene Scene() const override;
  int NameWidth(const std::string& name) override;
  void LastLifeLost() override;
  void SkeletonRisen() override;
  TReferee& Referee() override;
  // TNetGameHost
  std::string ScreenName() const override;
  uint64_t Ticks() override;
  void ShowCursor(bool shown) override;
  void ShowPleaseWait() override;
  void QuestionGivesWay() override;
  void JoinedGameStarts() override;
  void SessionLost() override;

  TWorld World_;
  TSinglePlayerReferee SinglePlayer_;
  std::unique_ptr<TNetGame> Net_;
  std::unique_ptr<TScreens> Screens_;
  uint32_t SongHandle_ = 0;
  uint8_t FrameCounter_ = 0;
};

}  // namespace mv
