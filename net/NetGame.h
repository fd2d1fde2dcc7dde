// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The game's side of a peer session: the player list as fish of the world,
// the peer messages that keep every peer's world in step, the referees of
// the host and of a guest, the end of a round and the results board.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "net/Messages.h"
#include "net/RoundBook.h"
#include "net/Session.h"
#include "persist/Settings.h"
#include "world/World.h"

namespace mv {

// What the network game asks of the program.
class TNetGameHost {
 public:
  virtual ~TNetGameHost() = default;
  virtual TScene Scene() const = 0;
  // The screen's name, for the event log.
  virtual std::string ScreenName() const = 0;
  virtual uint64_t Ticks() = 0;
  virtual void ShowMessage(const std::string& text) = 0;
  virtual void ShowCursor(bool shown) = 0;
  virtual void ShowPleaseWait() = 0;
  // The results board takes the place of a question over the game.
  virtual void QuestionGivesWay() = 0;
  // A guest's start: the room goes, the world is set up, the game shows.
  virtual void JoinedGameStarts() = 0;
  // The session went away under a game or the room: the lobby opens.
  virtual void SessionLost() = 0;
};

struct TResultRow {
  std::string Name;
  int32_t Score = 0;
  uint16_t Frags = 0;
  uint8_t Wins = 0;
};

class TNetGame {
 public:
  struct TOptions {
    // When set, the results board is written here (NAME FRAGS WINS SCORE a
    // line, in board order) each time it is built.
    std::string ResultsFile;
    // When set, multiplayer events (eaten fish and objects by number,
    // round ends, a lost session) are appended here a line each.
    std::string EventLog;
  };

  TNetGame(TNetGameHost& host, TWorld& world, TSettingsRecord& settings, std::unique_ptr<TSession> session,
           const TOptions& options);
  ~TNetGame();
  TNetGame(const TNetGame&) = delete;
  TNetGame& operator=(const TNetGame&) = delete;

  TSession& Session() { return *Session_; }
  bool SessionOpen() const { return Session_->IsOpen(); }
  bool SessionHost() const { return SessionOpen() && Session_->IsHost(); }
  int SessionPlayerCount() const { return SessionOpen() ? int(Session_->Players().size()) : 0; }
  // Position of a player id in the session's list; -1 when absent.
  int SlotOfPlayer(uint32_t id) const;
  // Closes the session, if any, whatever the network says.
  void CloseQuietly();

  // The referee of this peer's part: the host decides, a guest asks.
  TReferee& Referee();

  // ---- the session's events --------------------------------------------
  void AddPlayer(const TSessionPlayer& player);
  // A player left: its fish goes and the fish after it move up one slot.
  void DeletePlayer(const TSessionPlayer& player);
  void Message(uint32_t from, const uint8_t* data, size_t size);
  void SessionLost();
  void Closed();

  // ---- sending ---------------------------------------------------------
  void Send(TMsgCode code, uint8_t arg8 = 0, uint16_t arg16 = 0, int32_t arg32 = 0);
  void SendPosition(uint16_t x, uint16_t y);

  // ---- rounds ----------------------------------------------------------
  // A game starts: every round left, no one out.
  void GameStarts();
  // The round ends for this peer: won (the next round, or the board) or
  // not (the board).
  void EndRound(TRoundEnd reason);
  // Host: the number given to a fish (what 0) or object made here, its tag
  // sent; the fish or object itself follows.
  uint16_t Announce(uint8_t what, uint8_t size);
  // Host: the first eater of a number gets it; false when it was taken,
  // unknown or the round is over.
  bool DecideEaten(uint16_t number, uint32_t eater_id, bool heard = false);
  // Every peer, in the host's order: the sprite goes, the eater is credited.
  void ApplyEaten(uint8_t what, uint16_t number, uint32_t eater_id);
  // The own fish has no life left (it is out of the round).
  void OwnFishOut();
  // Its fish finished the round and its player left before it could end it.
  void EndRoundOfGone(const std::string& name);
  TRoundBook& Book() { return Book_; }
  const TRoundBook& Book() const { return Book_; }

  uint8_t RoundCount() const { return RoundCount_; }
  void SetRoundCount(uint8_t count) { RoundCount_ = count; }
  uint8_t RoundsLeft() const { return RoundsLeft_; }
  // The round being played, counted from 1.
  int RoundNumber() const { return int(RoundCount_) - int(RoundsLeft_) + 1; }

  // ---- the board -------------------------------------------------------
  // The rows from every player's fish, ranked; written to the results
  // file when that is set.
  void BuildResults();
  bool ResultsDirty() const { return ResultsDirty_; }
  void MarkResultsDirty() { ResultsDirty_ = true; }
  const std::array<TResultRow, 6>& Results() const { return Results_; }
  // The player leaves the board for good (nothing more is answered for it).
  void QuitBoard() { QuitRequested_ = true; }
  bool QuitRequested() const { return QuitRequested_; }

  // ---- requests and pauses ----------------------------------------------
  uint8_t LastRequest() const { return LastRequest_; }
  void ForgetRequest(TMsgCode request) {
    if (LastRequest_ == request) LastRequest_ = 0;
  }
  // Another player's exit question holds this peer (31), until its 40.
  bool PeerPaused() const { return PeerPaused_; }
  void ClearPeerPause() { PeerPaused_ = false; }
  // Peer messages that failed validation.
  uint64_t DroppedMessages() const { return DroppedMessages_; }

  void LogEvent(const std::string& line);

 private:
  struct THandlers;
  class TPeerReferee;
  // A peer's pause is over: the world goes on.
  void LiftPeerPause();
  class THostReferee;
  class TGuestReferee;

  TNetGameHost& Host_;
  TWorld& World_;
  TSettingsRecord& Settings_;
  std::unique_ptr<TSession> Session_;
  TOptions Options_;
  TRoundBook Book_;
  std::unique_ptr<TPeerReferee> HostReferee_, GuestReferee_;

  uint8_t RoundCount_ = 1;
  uint8_t RoundsLeft_ = 1;
  uint8_t LastRequest_ = 0;
  bool ResultsDirty_ = false;
  bool OutOfRound_ = false;
  bool QuitRequested_ = false;
  std::array<TResultRow, 6> Results_{};
  uint64_t DroppedMessages_ = 0;
  bool PeerPaused_ = false;
  uint32_t PausedBy_ = 0;
};

}  // namespace mv
