// The peer messages that keep every peer's world in step, and the end of a
// round.
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "net/Messages.h"
#include "ui/MenuSprites.h"
#include "world/Game.h"
#include "world/Sprites.h"

namespace mv {

void TGame::SendGameMessage(TMsgCode code, uint8_t arg8, uint16_t arg16, int32_t arg32) {
  if (code < kFirstReplyCode) LastRequest = code;
  if (!SessionOpen()) return;
  auto bytes = EncodeGameMessage({code, arg8, arg16, arg32});
  DXPlay1->SendToAll(bytes.data(), bytes.size());
}

void TGame::SendPosition(uint16_t x, uint16_t y) {
  if (!SessionOpen()) return;
  auto bytes = EncodePositionMessage({x, y});
  DXPlay1->SendToAll(bytes.data(), bytes.size());
}

void TGame::DXPlay1AddPlayer(const TSessionPlayer& player) {
  SinglePlayer = false;
  int slot = SlotOfPlayer(player.Id);
  if (slot < 0 || slot >= int(PlayerTable.size())) {
    ++DroppedMessages;  // a seventh player has no fish
    return;
  }
  if (PlayerTable[size_t(slot)] && PlayerTable[size_t(slot)]->PlayerId == int32_t(player.Id)) return;
  NewPlayerIndex = uint8_t(slot);
  auto* fish = new TPlayer(*this);
  fish->PlayerId = int32_t(player.Id);
  PlayerTable[size_t(slot)] = fish;
  if (player.Id == DXPlay1->LocalPlayer().Id) OwnIndex = uint8_t(slot);
}

void TGame::DXPlay1DeletePlayer(const TSessionPlayer& player) {
  int slot = SlotOfPlayer(player.Id);
  if (slot < 0 || slot >= int(PlayerTable.size())) return;
  if (TPlayer* p = PlayerTable[size_t(slot)].get()) Book.PlayerLeft(player.Id, p->PlayerName);
  PlayerTable[size_t(slot)].MarkDead();
  for (size_t i = size_t(slot); i + 1 < PlayerTable.size(); ++i) {
    PlayerTable[i] = PlayerTable[i + 1].get();
    if (TPlayer* p = PlayerTable[i].get()) p->NetIndex = uint8_t(i);
  }
  PlayerTable.back() = nullptr;
  if (OwnIndex > slot) --OwnIndex;
  ResultsDirty = true;
  const bool in_game = CurrentScreen == "Game" || CurrentScreen == "ExitGame?";
  // A pause whose host went is nobody's to lift any more.
  if (PeerPaused && PausedBy == player.Id) {
    PeerPaused = false;
    if (CurrentScreen == "Game" && Timer2.Enabled() && Paused && !Book.Won()) {
      Paused = false;
      Timer2.SetEnabled(false);
      if (TTable* t = TableSprite.get()) t->Visible = false;
    }
  }
  if (slot == 0 && !SessionHost() && in_game) {
    // The host went and another took over: it hears what this peer heard
    // of the round's fish, so that verdicts lost with the old host are the
    // same for everyone.
    for (const auto& v : Book.Verdicts()) SendGameMessage(MsgClaim, v.What, v.Number, int32_t(v.Eater));
  }
  if (slot == 0 && SessionHost()) {
    Book.TakeOver();
    // The session made this peer the host: it spawns from now on, decides
    // who ate what, and says again what it knows of this round, for peers
    // that missed the last words of the host that went.
    LogEvent("hosting after " + player.Name);
    if (in_game) {
      DXPlay1->SetInPlay(true);
      for (const auto& v : Book.Verdicts()) SendGameMessage(MsgEatenBy, v.What, v.Number, int32_t(v.Eater));
    }
  }
  // Its fish finished the round and it went before it could end it.
  if (Book.Finisher() == player.Id && SessionHost() && in_game) EndRoundOfGone(player.Name);
}

void TGame::DXPlay1SessionLost() {
  LogEvent("session lost");
  ShowMessage("Session Lost!");
  // Nothing comes from a lost host any more: no game or room is left
  // standing still.
  LeaveLostSession();
}

void TGame::DXPlay1Close() {
  LogEvent("session closed on " + CurrentScreen);
  ShowPleaseWait();
}

namespace {
void CloseQuietly(TSession& s) {
  try {
    s.Close();
  } catch (...) {
  }
}
}  // namespace

namespace {

// One handler per message. The message is whole and in range; what the
// handlers check is whether it fits this game: who sent it, and what this
// peer is doing.
struct TPeerHandlers {
  TGame& G;
  uint32_t From;
  int Slot;
  TPlayer* Sender;
  TPlayer* Own;

  // Messages about a fish need that fish.
  bool Need(TPlayer* p) {
    if (!p) ++G.DroppedMessages;
    return p != nullptr;
  }
  void Drop() { ++G.DroppedMessages; }
  bool InGame() const { return G.CurrentScreen == "Game" || G.CurrentScreen == "ExitGame?"; }
  void Reply(TMsgCode code, uint8_t arg8 = 0, uint16_t arg16 = 0, int32_t arg32 = 0) {
    G.SendGameMessage(code, arg8, arg16, arg32);
  }

  void operator()(const msg::Position& m) {
    if (G.Timer2.Enabled()) return;
    if (!Need(Sender)) return;
    TPlayer& p = *Sender;
    const int x = m.X, y = m.Y;
    if (x != p.LastX) {
      if (x < p.LastX) {
        if (p.FacingRight) p.SetPicture(p.LeftPicture());
        p.FacingLeft = true;
        p.FacingRight = false;
      } else {
        if (p.FacingLeft) p.SetPicture(p.RightPicture());
        p.FacingLeft = false;
        p.FacingRight = true;
      }
      if (p.TickCount % 5 == 0) {
        int patterns = p.Image ? p.Image->PatternCount() : 0;
        p.AnimStep = p.AnimStep < patterns - 2 ? p.AnimStep + 1 : 0;
        p.FrameIndex = p.AnimStep;
      }
      if (x == 0)
        p.X = 1;
      else if (x + double(p.Width) / p.ScaleDiv < 800)
        p.X = x;
      else
        p.X = 799;
      p.LastX = x;
    }
    p.Y = y;
    if (!p.InPlay) p.InPlay = true;
  }

  void operator()(const msg::AskStart&) {
    // Only the host knows the game being started: a guest's answer would
    // carry its own stale background. The round count goes first, since
    // a guest that joined before the host changed it still has the old.
    if (!G.SessionHost()) return;
    Reply(MsgRoundCount, G.RoundCount);
    Reply(MsgStartData, G.BackgroundNo);
  }

  void operator()(const msg::AskScores&) {
    if (Need(Own)) Reply(MsgScores, Own->Wins, Own->Frags, Own->ScoreCode);
  }

  void operator()(const msg::AskState& m) {
    if (!Need(Own)) return;
    Reply(MsgState, Own->ReadyState);
    // The count is the host's to tell: a guest's may be older than the
    // host's last change, and the last answer taken would win.
    if (m.WithRounds && G.SessionHost()) Reply(MsgRoundCount, G.RoundCount);
  }

  void operator()(const msg::AskSkin& m) {
    if (!Need(Sender) || !Need(Own)) return;
    if (m.Skin != 0) Sender->Skin = m.Skin;
    Reply(MsgSkin, Own->Skin);
  }

  void operator()(const msg::StartData& m) {
    if (G.LastRequest != MsgAskStart || G.CurrentScreen == "Game" || !Own) return;
    G.BackgroundNo = m.Background;
    G.ResultsDirty = true;
    // As at the host's start: a fish that was out in the last game is in
    // this one, or its win would never end the game for the others.
    G.OutOfRound = false;
    G.QuitRequested = false;
    G.PeerPaused = false;
    G.BackgroundSprite.MarkDead();
    for (int k = 1; k <= 4; ++k) G.MenuButtons[k].MarkDead();
    G.SetUpGameWorld();
    G.RoundsLeft = G.RoundCount;
    Own->Wins = 0;
    Own->Frags = 0;
    for (auto& p : G.PlayerTable)
      if (p) p->ReadyState = 2;
    G.CurrentScreen = "Game";
    G.LastRequest = 0;
    G.StartLevel();
  }

  void operator()(const msg::Scores& m) {
    // Every player answers, and every answer is a row of the same board:
    // all are taken while the scores are asked for.
    if (G.LastRequest != MsgAskScores || !Need(Sender)) return;
    Sender->ScoreCode = m.ScoreCode;
    Sender->Frags = m.Frags;
    Sender->Wins = m.Wins;
    G.ResultsDirty = true;
  }

  void operator()(const msg::State& m) {
    // Only ever the sender's own state: every player's reaches a joiner,
    // whenever it comes.
    if (Need(Sender)) Sender->ReadyState = m.Ready;
  }

  void operator()(const msg::RoundCount& m) {
    // Answers meant for a newcomer reach the host too; its own count stands.
    if (G.SessionHost()) return;
    G.RoundCount = m.Count;
    G.SettingsRecord.RoundCountText.Assign(std::to_string(unsigned(m.Count)).substr(0, 2));
  }

  void operator()(const msg::Skin& m) {
    if (G.LastRequest != MsgAskSkin || !Need(Sender)) return;
    Sender->Skin = m.Skin;
  }

  void operator()(const msg::Out&) {
    if (Need(Sender)) Sender->MarkDead();
  }

  void operator()(const msg::Pause&) {
    // A peer on its own exit question is still in the game.
    if (InGame()) {
      if (!G.Timer2.Enabled()) {
        G.Paused = true;
        if (TTable* t = G.TableSprite.get()) t->Visible = true;
        G.Timer2.SetEnabled(true);
        G.PeerPaused = true;
        G.PausedBy = From;
      } else if (G.Paused && !G.Book.Won()) {
        // Held by its own question: the host's pause stays after it.
        G.PeerPaused = true;
        G.PausedBy = From;
      }
    } else if (G.SessionOpen()) {
      CloseQuietly(*G.DXPlay1);
    }
  }

  void operator()(const msg::NewObject& m) {
    const auto tag = G.Book.TakeTag();
    // Objects come from the host alone: one from a guest would swim only
    // where it was announced.
    if (Slot != 0 || G.ObjectTable.Count >= 5) return Drop();
    if (tag && tag->Level != G.Level) return;  // it swims in another round
    ++G.ObjectTable.Count;
    TObj* o = new TObj(G, m.Speed, m.Y, m.Kind);
    G.ObjectTable.Slots[G.ObjectTable.Count] = o;
    if (tag) {
      o->Number = tag->Number;
      G.Book.Record(tag->Number, o->Kind);
    }
  }

  void operator()(const msg::SpawnTag& m) {
    if (Slot != 0) return Drop();
    G.Book.SetTag({m.Size, m.Number, m.Level});
  }

  void operator()(const msg::Claim& m) {
    // The host's order decides; a claim too late gets no answer.
    if (!G.SessionHost() || !Need(Sender)) return;
    const bool heard = m.HeardEater != 0;
    // A verdict of the host that went, on a fish it announced to others
    // but never to us: the fish is taken as it was told, so that its
    // verdict reaches everyone.
    if (heard && G.Book.OldHostsNumber(m.Number) && !G.Book.Known(m.Number)) G.Book.Record(m.Number, m.What);
    G.DecideEaten(m.Number, heard ? m.HeardEater : From, heard);
  }

  void operator()(const msg::EatenBy& m) {
    if (Slot != 0) return Drop();
    // A joiner still waiting in the lobby hears the game's verdicts too.
    if (InGame()) G.ApplyEaten(m.What, m.Number, m.Eater);
  }

  void operator()(const msg::Freeze&) {
    if (TBonus* b = G.BonusSprite.get()) b->SetPicture(G.GameImgs.Find("MParalich"));
    G.Timer1.SetEnabled(true);
  }

  void operator()(const msg::Paralysed&) {
    if (!Need(Sender)) return;
    if (!Sender->Dying) Sender->BlinkTicks = 0;
    Sender->Paralysed = true;
  }

  void operator()(const msg::Grown& m) {
    if (!Need(Sender)) return;
    if (Sender->Growth >= 5) {
      G.LevelDone = true;
      return;
    }
    G.Sound("Big");
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
    G.Book.SetFinisher(0);
    G.Paused = false;
    G.PeerPaused = false;
    G.Book.SetWon();
    G.Timer2.SetEnabled(true);
    if (TTable* t = G.TableSprite.get()) t->Visible = true;
    G.SetCursorShown(true);
    Reply(MsgAskScores);
    // Held now: this peer's final row goes to everyone, asked or not.
    if (Own) Reply(MsgScores, Own->Wins, Own->Frags, Own->ScoreCode);
    G.CloseQuestion();
    if (G.CurrentScreen == "ExitGame?") G.CurrentScreen = "Game";
    G.ResultsDirty = true;
    G.LogEvent("results");
  }

  void operator()(const msg::NewFish& m) {
    const auto tag = G.Book.TakeTag();
    // Fish come from the host alone: one from a guest would swim only
    // where it was announced.
    if (Slot != 0 || G.FishTable.Count >= 30) return Drop();
    if (tag && tag->Level != G.Level) return;
    ++G.FishTable.Count;
    TFish* f = new TFish(G, m.Speed, m.Y, m.Kind);
    G.FishTable.Slots[G.FishTable.Count] = f;
    if (tag) {
      f->Number = tag->Number;
      G.Book.Record(tag->Number, 0);
      f->ScaleDiv = tag->Size;
      if (f->Speed > 0) f->X = -(f->Width / f->ScaleDiv) - 5;
    }
  }

  void operator()(const msg::Resume&) {
    // Lifts only the pause this sender's question made: not the results,
    // not a round's start, not this peer's own question.
    if (InGame()) {
      if (!G.PeerPaused || G.PausedBy != From) return;
      G.PeerPaused = false;
      if (G.CurrentScreen == "Game" && G.Timer2.Enabled() && G.Paused) {
        G.Paused = false;
        G.Timer2.SetEnabled(false);
        if (TTable* t = G.TableSprite.get()) t->Visible = false;
      }
    } else if (G.SessionOpen()) {
      CloseQuietly(*G.DXPlay1);
    }
  }

  void operator()(const msg::Eaten& m) {
    if (!Need(Sender) || !Need(Own)) return;
    Sender->HasEaten = true;
    // Every peer marks the victim, so it is protected everywhere while it
    // comes back; one already dying is not eaten twice.
    TPlayer* victim = m.Victim == 0 ? Own : nullptr;
    for (auto& p : G.PlayerTable)
      if (p && m.Victim != 0 && uint32_t(p->PlayerId) == m.Victim) victim = p.get();
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
    if (G.RoundsLeft > 0) --G.RoundsLeft;
    if (m.Won) {
      ++Sender->Wins;
      G.LogEvent("round won by " + Sender->PlayerName);
    } else {
      G.LogEvent("round over, its winner went");
    }
    G.StartLevel();
  }
};

}  // namespace

void TGame::DXPlay1Message(uint32_t from, const uint8_t* data, size_t size) {
  if (SessionOpen() && from == DXPlay1->LocalPlayer().Id) return;
  const int slot = SlotOfPlayer(from);
  // A sender without a fish would read past the table.
  if (slot < 0 || slot >= int(PlayerTable.size())) {
    ++DroppedMessages;
    return;
  }
  const TParsedMessage parsed = ParsePeerMessage(data, size);
  if (!parsed) {
    ++DroppedMessages;
    return;
  }
  std::visit(TPeerHandlers{*this, from, slot, PlayerTable[size_t(slot)].get(), LocalPlayer()}, *parsed.Message);
}

void TGame::EndRound(TRoundEnd reason) {
  TPlayer* own = LocalPlayer();
  if (RoundsLeft > 1 && reason == kRoundWon) {
    --RoundsLeft;
    if (own) ++own->Wins;
    SendGameMessage(MsgNextRound, kRoundWon, 0, 0);
    if (own) LogEvent("round won by " + own->PlayerName);
    StartLevel();
    return;
  }
  if (reason == kRoundWon && own) ++own->Wins;
  Book.SetWon();
  PeerPaused = false;
  // The results take the place of an exit question, as on a peer that
  // hears 38: nothing answered on it could lift them.
  Paused = false;
  if (CurrentScreen == "ExitGame?") {
    CloseQuestion();
    CurrentScreen = "Game";
  }
  SendGameMessage(MsgAskScores, 0, 0, 0);
  Timer2.SetEnabled(true);
  if (TTable* t = TableSprite.get()) t->Visible = true;
  if (!OutOfRound) {
    SetCursorShown(true);
    SendGameMessage(MsgRoundOver, reason, 0, 0);
  }
  // After 38, so that every peer is held and asking when it arrives.
  if (own) SendGameMessage(MsgScores, own->Wins, own->Frags, own->ScoreCode);
  ResultsDirty = true;
  LogEvent("results");
}

uint16_t TGame::AnnounceSpawn(uint8_t what, uint8_t size) {
  const uint16_t number = Book.Announce(what);
  SendGameMessage(MsgSpawnTag, size, number, Level);
  return number;
}

void TGame::OwnFishMeets(uint8_t what, uint16_t number) {
  TPlayer* own = LocalPlayer();
  if (!own || Book.Won()) return;
  if (SessionHost())
    DecideEaten(number, uint32_t(own->PlayerId));
  else
    SendGameMessage(MsgClaim, what, number, 0);
}

bool TGame::DecideEaten(uint16_t number, uint32_t eater_id, bool heard) {
  if (!Book.MayDecide(number, eater_id, heard)) return false;
  const uint8_t what = *Book.WhatIs(number);
  // Sent before it is applied: a round ended by this fish is announced
  // after it.
  SendGameMessage(MsgEatenBy, what, number, int32_t(eater_id));
  ApplyEaten(what, number, eater_id);
  return true;
}

void TGame::ApplyEaten(uint8_t what, uint16_t number, uint32_t eater_id) {
  if (!Book.Apply(what, number, eater_id)) return;
  const int slot = SlotOfPlayer(eater_id);
  TPlayer* eater = slot >= 0 && slot < int(PlayerTable.size()) ? PlayerTable[size_t(slot)].get() : nullptr;
  // The sprite, if it still swims here, goes into the eater's mouth.
  for (int i = 0; i < Engine().Count(); ++i) {
    TSprite* s = Engine().Items(i);
    if (s->IsDead) continue;
    if (auto* f = dynamic_cast<TFish*>(s); f && what == 0 && f->Number == number) {
      f->BeingEaten = true;
      f->EatenBy = slot < 0 ? 0 : slot;
    } else if (auto* o = dynamic_cast<TObj*>(s); o && what != 0 && o->Number == number) {
      o->BeingEaten = true;
      o->EatenBy = slot < 0 ? 0 : slot;
    }
  }
  const std::string thing = std::string(what == 0 ? "fish " : "object ") + std::to_string(number);
  if (!eater) {
    if (auto name = Book.NameOfLeft(eater_id)) LogEvent(thing + " eaten by " + *name);
    return;
  }
  LogEvent(thing + " eaten by " + eater->PlayerName);
  const bool own = slot == OwnIndex;
  bool finished = false;
  eater->HasEaten = true;
  if (what == 0) {
    eater->AddScore(10);
    finished = eater->Grow(TPlayer::TGrowVariant::Fish, false);
  } else if (own) {
    if (!eater->Dying) eater->BlinkTicks = 0;
    finished = TObj::TakeEffect(*this, *eater, what, false);
  } else if (what == 1) {
    finished = eater->Grow(TPlayer::TGrowVariant::Object, false);
  }
  const uint8_t d = eater->ScaleDiv;
  if (d == 2)
    Sound("Ham3");
  else if (d == 3 || d == 4)
    Sound("Ham2");
  else if (d >= 5 && d <= 7)
    Sound("Ham1");
  if (!finished || Book.Won()) return;
  // The first to finish growing in the host's order: the same fish on
  // every peer. Only its own peer ends the round; the others wait for it.
  Book.SetWon();
  if (own)
    EndRound(kRoundWon);
  else
    Book.SetFinisher(eater_id);
}

void TGame::EndRoundOfGone(const std::string& name) {
  Book.SetFinisher(0);
  if (RoundsLeft > 1) {
    --RoundsLeft;
    SendGameMessage(MsgNextRound, kRoundWinnerGone, 0, 0);
    LogEvent("round over, its winner " + name + " went");
    StartLevel();
    return;
  }
  // The last round: the board, with no win for anyone left.
  EndRound(kRoundNoWin);
}

void TGame::BuildResults() {
  const int players = std::min(SessionPlayerCount(), 6);
  for (auto& r : Results) r = {};
  std::vector<TResultRow> rows;
  for (int i = 0; i < players; ++i)
    if (TPlayer* p = PlayerTable[size_t(i)].get())
      rows.push_back({p->PlayerName.substr(0, 12), p->ScoreCode ^ 1, p->Frags, p->Wins});
  // Frags rank; wins, then score, settle ties; the session's order after
  // that, which is the same on every peer.
  std::stable_sort(rows.begin(), rows.end(), [](const TResultRow& a, const TResultRow& b) {
    if (a.Frags != b.Frags) return a.Frags > b.Frags;
    if (a.Wins != b.Wins) return a.Wins > b.Wins;
    return uint32_t(a.Score) > uint32_t(b.Score);
  });
  for (size_t i = 0; i < rows.size() && i < Results.size(); ++i) Results[i] = rows[i];
  ResultsDirty = false;
  if (Options.ResultsFile.empty()) return;
  std::ofstream out(Options.ResultsFile, std::ios::trunc);
  for (const TResultRow& r : rows)
    out << r.Name << ' ' << r.Frags << ' ' << unsigned(r.Wins) << ' ' << uint32_t(r.Score) << '\n';
  if (!out) std::fprintf(stderr, "marovane: the results cannot be written to %s\n", Options.ResultsFile.c_str());
}

void TGame::LogEvent(const std::string& line) {
  if (Options.EventLog.empty()) return;
  std::ofstream out(Options.EventLog, std::ios::app);
  out << "[" << Host.Ticks() << "] level " << Level << ": " << line << '\n';
}

void TGame::LeaveLostSession() {
  const std::string s = CurrentScreen;
  if (s == "MP2") {
    OpenLobby();
    return;
  }
  if (s != "Game" && s != "ExitGame?") return;
  // As leaving the game, without asking: the world goes, the lobby opens
  // over the menu background.
  StopAllEffects();
  SetCursorShown(true);
  Paused = false;
  PeerPaused = false;
  Timer1.SetEnabled(false);
  Timer2.SetEnabled(false);
  RoundIntro = false;
  CloseQuestion();
  for (auto& p : PlayerTable) p.MarkDead();
  TableSprite.MarkDead();
  Sklt1Sprite.MarkDead();
  Sklt2Sprite.MarkDead();
  if (TFon* fon = BackgroundSprite.get()) fon->RemoveWithSeaweed();
  BackgroundSprite = new TFon(*this, "FonMenu");
  StartMusic("Sound/1.xm");
  OwnIndex = 0;
  CurrentScreen = "Menu";
  Selection = 7;
  LogEvent("lobby after the lost session");
  OpenLobby();
}

}  // namespace mv
