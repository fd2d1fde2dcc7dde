// SPDX-License-Identifier: GPL-3.0-or-later
// The game's side of a peer session: players, messages, referees, rounds
// and the board.
#include "net/NetGame.h"

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "world/Drift.h"
#include "world/Sprites.h"

namespace mv {

// The referees of a network game: what the own fish did goes to the
// others; who ate a numbered fish is the host's to say.
class TNetGame::TPeerReferee : public TReferee {
 public:
  explicit TPeerReferee(TNetGame& net) : N(net) {}
  void LevelStarted() override { N.Book_.NewRound(); }
  void OwnFishMoved(int x, int y) override { N.SendPosition(uint16_t(x), uint16_t(y)); }
  void OwnFishGrew(uint8_t scale_div) override { N.Send(MsgGrown, scale_div); }
  void OwnFishTookObject(uint8_t kind) override {
    if (kind == 3) N.Send(MsgFreeze);
    if (kind == 5) N.Send(MsgParalysed);
  }
  // The victim is named so that, with three or more players, only it dies
  // on the other peers.
  void OwnFishAte(const TPlayer& prey) override { N.Send(MsgEaten, 0, 0, prey.PlayerId); }
  void OwnFishOut() override { N.OwnFishOut(); }
  void LevelFinished() override { N.EndRound(kRoundWon); }

 protected:
  TNetGame& N;
};

class TNetGame::THostReferee final : public TPeerReferee {
 public:
  using TPeerReferee::TPeerReferee;
  bool Deals() const override { return true; }
  // The tag goes first: every peer makes the sprite with the host's size
  // and number.
  uint16_t Spawned(const TFish& f) override {
    const uint16_t number = N.Announce(0, f.ScaleDiv);
    N.Send(MsgNewFish, f.Kind, uint16_t(f.Y), f.Speed);
    return number;
  }
  uint16_t Spawned(const TObj& o) override {
    const uint16_t number = N.Announce(o.Kind, o.ScaleDiv);
    N.Send(MsgNewObject, o.Kind, uint16_t(o.Y), o.Speed);
    return number;
  }
  void OwnFishMeets(uint8_t, uint16_t number) override {
    TPlayer* own = N.World_.LocalPlayer();
    if (own && !N.Book_.Won()) N.DecideEaten(number, uint32_t(own->PlayerId));
  }
};

class TNetGame::TGuestReferee final : public TPeerReferee {
 public:
  using TPeerReferee::TPeerReferee;
  bool Deals() const override { return false; }
  uint16_t Spawned(const TFish&) override { return 0; }
  uint16_t Spawned(const TObj&) override { return 0; }
  // The guest credits nothing until the host says.
  void OwnFishMeets(uint8_t what, uint16_t number) override {
    if (N.World_.LocalPlayer() && !N.Book_.Won()) N.Send(MsgClaim, what, number, 0);
  }
};

TNetGame::TNetGame(TNetGameHost& host, TWorld& world, TSettingsRecord& settings,
                   std::unique_ptr<TSession> session, const TOptions& options)
    : Host_(host),
      World_(world),
      Settings_(settings),
      Session_(std::move(session)),
      Options_(options),
      HostReferee_(std::make_unique<THostReferee>(*this)),
      GuestReferee_(std::make_unique<TGuestReferee>(*this)) {}

TNetGame::~TNetGame() {
  // The session's events call back into the game: stop them first.
  Session_->OnAddPlayer = nullptr;
  Session_->OnMessage = nullptr;
  Session_->OnDeletePlayer = nullptr;
  Session_->OnSessionLost = nullptr;
  Session_->OnClose = nullptr;
  CloseQuietly();
}

TReferee& TNetGame::Referee() {
  if (SessionHost()) return *HostReferee_;
  return *GuestReferee_;
}

int TNetGame::SlotOfPlayer(uint32_t id) const {
  if (!SessionOpen()) return -1;
  const auto& players = Session_->Players();
  for (size_t i = 0; i < players.size(); ++i)
    if (players[i].Id == id) return int(i);
  return -1;
}

void TNetGame::CloseQuietly() {
  try {
    Session_->Close();
  } catch (...) {
  }
}

void TNetGame::Send(TMsgCode code, uint8_t arg8, uint16_t arg16, int32_t arg32) {
  if (code < kFirstReplyCode) LastRequest_ = code;
  if (!SessionOpen()) return;
  auto bytes = EncodeGameMessage({code, arg8, arg16, arg32});
  Session_->SendToAll(bytes.data(), bytes.size());
}

void TNetGame::SendPosition(uint16_t x, uint16_t y) {
  if (!SessionOpen()) return;
  auto bytes = EncodePositionMessage({x, y});
  Session_->SendToAll(bytes.data(), bytes.size());
}

void TNetGame::AddPlayer(const TSessionPlayer& player) {
  World_.SetSinglePlayer(false);
  const int slot = SlotOfPlayer(player.Id);
  if (slot < 0 || slot >= int(TWorld::kPlayers)) {
    ++DroppedMessages_;  // a seventh player has no fish
    return;
  }
  if (TPlayer* p = World_.Player(size_t(slot)); p && p->PlayerId == int32_t(player.Id)) return;
  World_.AddPlayer(size_t(slot), player.Id, player.Name);
  if (player.Id == Session_->LocalPlayer().Id) World_.SetOwnIndex(uint8_t(slot));
}

void TNetGame::LiftPeerPause() {
  World_.SetPaused(false);
  World_.Timer2().SetEnabled(false);
  World_.ShowTable(false);
}

void TNetGame::DeletePlayer(const TSessionPlayer& player) {
  const int slot = SlotOfPlayer(player.Id);
  if (slot < 0 || slot >= int(TWorld::kPlayers)) return;
  if (TPlayer* p = World_.Player(size_t(slot))) Book_.PlayerLeft(player.Id, p->PlayerName);
  World_.RemovePlayer(size_t(slot));
  ResultsDirty_ = true;
  const TScene scene = Host_.Scene();
  const bool in_game = scene == TScene::Play || scene == TScene::Question;
  // A pause whose host went is nobody's to lift any more.
  if (PeerPaused_ && PausedBy_ == player.Id) {
    PeerPaused_ = false;
    if (scene == TScene::Play && World_.Held() && World_.Paused() && !Book_.Won()) LiftPeerPause();
  }
  if (slot == 0 && !SessionHost() && in_game) {
    // The host went and another took over: it hears what this peer heard
    // of the round's fish, so that verdicts lost with the old host are the
    // same for everyone.
    for (const auto& v : Book_.Verdicts()) Send(MsgClaim, v.What, v.Number, int32_t(v.Eater));
  }
  if (slot == 0 && SessionHost()) {
    Book_.TakeOver();
    // The session made this peer the host: it spawns from now on, decides
    // who ate what, and says again what it knows of this round, for peers
    // that missed the last words of the host that went.
    LogEvent("hosting after " + player.Name);
    if (in_game) {
      Session_->SetInPlay(true);
      for (const auto& v : Book_.Verdicts()) Send(MsgEatenBy, v.What, v.Number, int32_t(v.Eater));
    }
  }
  // Its fish finished the round and it went before it could end it.
  if (Book_.Finisher() == player.Id && SessionHost() && in_game) EndRoundOfGone(player.Name);
}

void TNetGame::SessionLost() {
  LogEvent("session lost");
  Host_.ShowMessage("Session Lost!");
  // Nothing comes from a lost host any more: no game or room is left
  // standing still.
  Host_.SessionLost();
}

void TNetGame::Closed() {
  LogEvent("session closed on " + Host_.ScreenName());
  Host_.ShowPleaseWait();
}

// One handler per message. The message is whole and in range; what the
// handlers check is whether it fits this game: who sent it, and what this
// peer is doing.
struct TNetGame::THandlers {
  TNetGame& N;
  uint32_t From;
  int Slot;
  TPlayer* Sender;
  TPlayer* Own;

  TWorld& W() { return N.World_; }
  // Messages about a fish need that fish.
  bool Need(TPlayer* p) {
    if (!p) ++N.DroppedMessages_;
    return p != nullptr;
  }
  void Drop() { ++N.DroppedMessages_; }
  TScene Scene() const { return N.Host_.Scene(); }
  bool InGame() const { return Scene() == TScene::Play || Scene() == TScene::Question; }
  void Reply(TMsgCode code, uint8_t arg8 = 0, uint16_t arg16 = 0, int32_t arg32 = 0) {
    N.Send(code, arg8, arg16, arg32);
  }

  void operator()(const msg::Position& m) {
    if (W().Held()) return;
    if (Need(Sender)) W().PlaceRemoteFish(size_t(Slot), m.X, m.Y);
  }

  void operator()(const msg::AskStart&) {
    // Only the host knows the game being started: a guest's answer would
    // carry its own stale background. The round count goes first, since
    // a guest that joined before the host changed it still has the old.
    if (!N.SessionHost()) return;
    Reply(MsgRoundCount, N.RoundCount_);
    Reply(MsgStartData, W().BackgroundNo());
  }

  void operator()(const msg::AskScores&) {
    if (Need(Own)) Reply(MsgScores, Own->Wins, Own->Frags, Own->ScoreCode);
  }

  void operator()(const msg::AskState& m) {
    if (!Need(Own)) return;
    Reply(MsgState, Own->ReadyState);
    // The count is the host's to tell: a guest's may be older than the
    // host's last change, and the last answer taken would win.
    if (m.WithRounds && N.SessionHost()) Reply(MsgRoundCount, N.RoundCount_);
  }

  void operator()(const msg::AskSkin& m) {
    if (!Need(Sender) || !Need(Own)) return;
    if (m.Skin != 0) Sender->Skin = m.Skin;
    Reply(MsgSkin, Own->Skin);
  }

  void operator()(const msg::StartData& m) {
    if (N.LastRequest_ != MsgAskStart || Scene() == TScene::Play || !Own) return;
    W().SetBackgroundNo(m.Background);
    N.GameStarts();
    Own->Wins = 0;
    Own->Frags = 0;
    for (size_t i = 0; i < TWorld::kPlayers; ++i)
      if (TPlayer* p = W().Player(i)) p->ReadyState = 2;
    N.LastRequest_ = 0;
    N.Host_.JoinedGameStarts();
  }

  void operator()(const msg::Scores& m) {
    // Every player answers, and every answer is a row of the same board:
    // all are taken while the scores are asked for.
    if (N.LastRequest_ != MsgAskScores || !Need(Sender)) return;
    Sender->ScoreCode = m.ScoreCode;
    Sender->Frags = m.Frags;
    Sender->Wins = m.Wins;
    N.ResultsDirty_ = true;
  }

  void operator()(const msg::State& m) {
    // Only ever the sender's own state: every player's reaches a joiner,
    // whenever it comes.
    if (Need(Sender)) Sender->ReadyState = m.Ready;
  }

  void operator()(const msg::RoundCount& m) {
    // Answers meant for a newcomer reach the host too; its own count stands.
    if (N.SessionHost()) return;
    N.RoundCount_ = m.Count;
    N.Settings_.RoundCountText.Assign(std::to_string(unsigned(m.Count)).substr(0, 2));
  }

  void operator()(const msg::Skin& m) {
    if (N.LastRequest_ != MsgAskSkin || !Need(Sender)) return;
    Sender->Skin = m.Skin;
  }

  void operator()(const msg::Out&) {
    if (Need(Sender)) Sender->MarkDead();
  }

  void operator()(const msg::Pause&) {
    // A peer on its own exit question is still in the game.
    if (InGame()) {
      if (!W().Held()) {
        W().SetPaused(true);
        W().ShowTable(true);
        W().Timer2().SetEnabled(true);
        N.PeerPaused_ = true;
        N.PausedBy_ = From;
      } else if (W().Paused() && !N.Book_.Won()) {
        // Held by its own question: the host's pause stays after it.
        N.PeerPaused_ = true;
        N.PausedBy_ = From;
      }
    } else {
      N.CloseQuietly();
    }
  }

  void operator()(const msg::NewObject& m) {
    const auto tag = N.Book_.TakeTag();
    // Objects come from the host alone: one from a guest would swim only
    // where it was announced.
    if (Slot != 0 || W().ObjectTable().Count >= TWorld::kObjectSlots) return Drop();
    if (tag && tag->Level != W().Level()) return;  // it swims in another round
    TObj* o = W().AddObject(m.Speed, m.Y, m.Kind);
    if (o && tag) {
      o->Number = tag->Number;
      N.Book_.Record(tag->Number, o->Kind);
    }
  }

  void operator()(const msg::SpawnTag& m) {
    if (Slot != 0) return Drop();
    N.Book_.SetTag({m.Size, m.Number, m.Level});
  }

  void operator()(const msg::Claim& m) {
    // The host's order decides; a claim too late gets no answer.
    if (!N.SessionHost() || !Need(Sender)) return;
    const bool heard = m.HeardEater != 0;
    // A verdict of the host that went, on a fish it announced to others
    // but never to us: the fish is taken as it was told, so that its
    // verdict reaches everyone.
    if (heard && N.Book_.OldHostsNumber(m.Number) && !N.Book_.Known(m.Number)) N.Book_.Record(m.Number, m.What);
    N.DecideEaten(m.Number, heard ? m.HeardEater : From, heard);
  }

  void operator()(const msg::EatenBy& m) {
    if (Slot != 0) return Drop();
    // A joiner still waiting in the lobby hears the game's verdicts too.
    if (InGame()) N.ApplyEaten(m.What, m.Number, m.Eater);
  }

  void operator()(const msg::Freeze&) {
    W().Freeze();
  }

  void operator()(const msg::Paralysed&) {
    if (!Need(Sender)) return;
    if (!Sender->Dying) Sender->BlinkTicks = 0;
    Sender->Paralysed = true;
  }

  void operator()(const msg::Grown& m) {
    if (!Need(Sender)) return;
    if (Sender->Growth >= 5) {
      W().SetLevelDone();
      return;
    }
    W().Sound("Big");
    Sender->ScaleDiv = m.ScaleDiv;
    Sender->EatCount = 0;
    ++Sender->Growth;
    Sender->Stars = std::string(size_t(7 - m.ScaleDiv), '*');
  }

  void operator()(const msg::Started&) { Reply(MsgAskStart); }

  void operator()(const msg::Ready& m) {
    if (Need(Sender)) Sender->ReadyState = m.State;
  }

  void operator()(const msg::RoundOver& m) {
    if (!Need(Sender)) return;
    if (m.Won) ++Sender->Wins;
    N.Book_.SetFinisher(0);
    W().SetPaused(false);
    N.PeerPaused_ = false;
    N.Book_.SetWon();
    W().Timer2().SetEnabled(true);
    W().ShowTable(true);
    N.Host_.ShowCursor(true);
    Reply(MsgAskScores);
    // Held now: this peer's final row goes to everyone, asked or not.
    if (Own) Reply(MsgScores, Own->Wins, Own->Frags, Own->ScoreCode);
    N.Host_.QuestionGivesWay();
    N.ResultsDirty_ = true;
    N.LogEvent("results");
  }

  void operator()(const msg::NewFish& m) {
    const auto tag = N.Book_.TakeTag();
    // Fish come from the host alone: one from a guest would swim only
    // where it was announced.
    if (Slot != 0 || W().FishTable().Count >= TWorld::kFishSlots) return Drop();
    if (tag && tag->Level != W().Level()) return;
    TFish* f = W().AddFish(m.Speed, m.Y, m.Kind);
    if (f && tag) {
      f->Number = tag->Number;
      N.Book_.Record(tag->Number, 0);
      f->ScaleDiv = tag->Size;
      if (f->Speed > 0) f->X = -(f->Width / f->ScaleDiv) - 5;
    }
  }

  void operator()(const msg::Resume&) {
    // Lifts only the pause this sender's question made: not the results,
    // not a round's start, not this peer's own question.
    if (InGame()) {
      if (!N.PeerPaused_ || N.PausedBy_ != From) return;
      N.PeerPaused_ = false;
      if (Scene() == TScene::Play && W().Held() && W().Paused()) N.LiftPeerPause();
    } else {
      N.CloseQuietly();
    }
  }

  void operator()(const msg::Eaten& m) {
    if (!Need(Sender) || !Need(Own)) return;
    Sender->HasEaten = true;
    // Every peer marks the victim, so it is protected everywhere while it
    // comes back; one already dying is not eaten twice.
    TPlayer* victim = m.Victim == 0 ? Own : nullptr;
    for (size_t i = 0; i < TWorld::kPlayers; ++i)
      if (TPlayer* p = W().Player(i); p && m.Victim != 0 && uint32_t(p->PlayerId) == m.Victim) victim = p;
    if (!victim || victim == Sender || victim->Dying || victim->WasEaten) return;
    victim->WasEaten = true;
    victim->DeathScale = victim->ScaleDiv;
    victim->KilledBy = Slot;
    victim->Dying = true;
    victim->BlinkTicks = 0;
    victim->Paralysed = false;
    if (victim != Own && Sender->Frags < UINT16_MAX) ++Sender->Frags;
  }

  void operator()(const msg::NextRound& m) {
    if (!Need(Sender)) return;
    if (N.RoundsLeft_ > 0) --N.RoundsLeft_;
    if (m.Won) {
      ++Sender->Wins;
      N.LogEvent("round won by " + Sender->PlayerName);
    } else {
      N.LogEvent("round over, its winner went");
    }
    W().StartLevel();
  }
};


void TNetGame::Message(uint32_t from, const uint8_t* data, size_t size) {
  if (SessionOpen() && from == Session_->LocalPlayer().Id) return;
  const int slot = SlotOfPlayer(from);
  // A sender without a fish would read past the table.
  if (slot < 0 || slot >= int(TWorld::kPlayers)) {
    ++DroppedMessages_;
    return;
  }
  const TParsedMessage parsed = ParsePeerMessage(data, size);
  if (!parsed) {
    ++DroppedMessages_;
    return;
  }
  std::visit(THandlers{*this, from, slot, World_.Player(size_t(slot)), World_.LocalPlayer()}, *parsed.Message);
}

void TNetGame::GameStarts() {
  ResultsDirty_ = true;
  // A fish that was out in the last game is in this one, or its win would
  // never end the game for the others.
  OutOfRound_ = false;
  QuitRequested_ = false;
  PeerPaused_ = false;
  RoundsLeft_ = RoundCount_;
}

void TNetGame::EndRound(TRoundEnd reason) {
  TPlayer* own = World_.LocalPlayer();
  if (RoundsLeft_ > 1 && reason == kRoundWon) {
    --RoundsLeft_;
    if (own) ++own->Wins;
    Send(MsgNextRound, kRoundWon);
    if (own) LogEvent("round won by " + own->PlayerName);
    World_.StartLevel();
    return;
  }
  if (reason == kRoundWon && own) ++own->Wins;
  Book_.SetWon();
  PeerPaused_ = false;
  // The results take the place of an exit question, as on a peer that
  // hears 38: nothing answered on it could lift them.
  World_.SetPaused(false);
  Host_.QuestionGivesWay();
  Send(MsgAskScores);
  World_.Timer2().SetEnabled(true);
  World_.ShowTable(true);
  if (!OutOfRound_) {
    Host_.ShowCursor(true);
    Send(MsgRoundOver, reason);
  }
  // After 38, so that every peer is held and asking when it arrives.
  if (own) Send(MsgScores, own->Wins, own->Frags, own->ScoreCode);
  ResultsDirty_ = true;
  LogEvent("results");
}

void TNetGame::OwnFishOut() {
  OutOfRound_ = true;
  Send(MsgOut);
  EndRound(kRoundNoWin);
}

uint16_t TNetGame::Announce(uint8_t what, uint8_t size) {
  const uint16_t number = Book_.Announce(what);
  Send(MsgSpawnTag, size, number, World_.Level());
  return number;
}

bool TNetGame::DecideEaten(uint16_t number, uint32_t eater_id, bool heard) {
  if (!Book_.MayDecide(number, eater_id, heard)) return false;
  const uint8_t what = *Book_.WhatIs(number);
  // Sent before it is applied: a round ended by this fish is announced
  // after it.
  Send(MsgEatenBy, what, number, int32_t(eater_id));
  ApplyEaten(what, number, eater_id);
  return true;
}

void TNetGame::ApplyEaten(uint8_t what, uint16_t number, uint32_t eater_id) {
  if (!Book_.Apply(what, number, eater_id)) return;
  const int slot = SlotOfPlayer(eater_id);
  TPlayer* eater = slot >= 0 ? World_.Player(size_t(slot)) : nullptr;
  World_.GoesToMouth(what, number, slot);
  const std::string thing = std::string(what == 0 ? "fish " : "object ") + std::to_string(number);
  if (!eater) {
    if (auto name = Book_.NameOfLeft(eater_id)) LogEvent(thing + " eaten by " + *name);
    return;
  }
  LogEvent(thing + " eaten by " + eater->PlayerName);
  const bool own = slot == World_.OwnIndex();
  bool finished = false;
  eater->HasEaten = true;
  if (what == 0) {
    eater->AddScore(10);
    finished = eater->Grow(TPlayer::TGrowVariant::Fish, false);
  } else if (own) {
    if (!eater->Dying) eater->BlinkTicks = 0;
    finished = TObj::TakeEffect(World_, *eater, what, false);
  } else if (what == 1) {
    finished = eater->Grow(TPlayer::TGrowVariant::Object, false);
  }
  if (const char* gulp = MealSound(eater->ScaleDiv, false)) World_.Sound(gulp);
  if (!finished || Book_.Won()) return;
  // The first to finish growing in the host's order: the same fish on
  // every peer. Only its own peer ends the round; the others wait for it.
  Book_.SetWon();
  if (own)
    EndRound(kRoundWon);
  else
    Book_.SetFinisher(eater_id);
}

void TNetGame::EndRoundOfGone(const std::string& name) {
  Book_.SetFinisher(0);
  if (RoundsLeft_ > 1) {
    --RoundsLeft_;
    Send(MsgNextRound, kRoundWinnerGone);
    LogEvent("round over, its winner " + name + " went");
    World_.StartLevel();
    return;
  }
  // The last round: the board, with no win for anyone left.
  EndRound(kRoundNoWin);
}

void TNetGame::BuildResults() {
  const int players = std::min(SessionPlayerCount(), 6);
  for (auto& r : Results_) r = {};
  std::vector<TResultRow> rows;
  for (int i = 0; i < players; ++i)
    if (TPlayer* p = World_.Player(size_t(i)))
      rows.push_back({p->PlayerName.substr(0, 12), p->ScoreCode ^ 1, p->Frags, p->Wins});
  // Frags rank; wins, then score, settle ties; the session's order after
  // that, which is the same on every peer.
  std::stable_sort(rows.begin(), rows.end(), [](const TResultRow& a, const TResultRow& b) {
    if (a.Frags != b.Frags) return a.Frags > b.Frags;
    if (a.Wins != b.Wins) return a.Wins > b.Wins;
    return uint32_t(a.Score) > uint32_t(b.Score);
  });
  for (size_t i = 0; i < rows.size() && i < Results_.size(); ++i) Results_[i] = rows[i];
  ResultsDirty_ = false;
  if (Options_.ResultsFile.empty()) return;
  std::ofstream out(Options_.ResultsFile, std::ios::trunc);
  for (const TResultRow& r : rows)
    out << r.Name << ' ' << r.Frags << ' ' << unsigned(r.Wins) << ' ' << uint32_t(r.Score) << '\n';
  if (!out) std::fprintf(stderr, "marovane: the results cannot be written to %s\n", Options_.ResultsFile.c_str());
}

void TNetGame::LogEvent(const std::string& line) {
  if (Options_.EventLog.empty()) return;
  std::ofstream out(Options_.EventLog, std::ios::app);
  out << "[" << Host_.Ticks() << "] level " << World_.Level() << ": " << line << '\n';
}

}  // namespace mv
