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

void TGame::SendGameMessage(uint8_t code, uint8_t arg8, uint16_t arg16, int32_t arg32) {
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

void TGame::DXPlay1Message(uint32_t from, const uint8_t* data, size_t size) {
  if (size > 18) return;
  if (SessionOpen() && from == DXPlay1->LocalPlayer().Id) return;
  int slot = SlotOfPlayer(from);
  // Only the two layouts exist; anything else, or a sender without a fish,
  // would read past the message or the table.
  if ((size != kPositionMessageSize && size != kGameMessageSize) || slot < 0 ||
      slot >= int(PlayerTable.size())) {
    ++DroppedMessages;
    return;
  }
  TPlayer* sender = PlayerTable[size_t(slot)].get();
  TPlayer* own = LocalPlayer();

  if (size == kPositionMessageSize) {
    if (Timer2.Enabled()) return;
    TPositionMessage m;
    if (!DecodePositionMessage(data, size, m) || !sender) {
      ++DroppedMessages;
      return;
    }
    TPlayer& p = *sender;
    int x = m.PosX, y = m.PosY;
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
    return;
  }

  TGameMessage m;
  DecodeGameMessage(data, size, m);
  // Messages about a fish need that fish.
  auto need = [&](TPlayer* p) {
    if (!p) ++DroppedMessages;
    return p != nullptr;
  };
  switch (m.Code) {
    case MsgAskStart:
      // Only the host knows the game being started: a guest's answer would
      // carry its own stale background. The round count goes first, since
      // a guest that joined before the host changed it still has the old.
      if (!SessionHost()) break;
      SendGameMessage(MsgRoundCount, RoundCount, 0, 0);
      SendGameMessage(MsgStartData, BackgroundNo, 0, 0);
      break;
    case MsgAskScores:
      if (need(own)) SendGameMessage(MsgScores, own->Wins, own->Frags, own->ScoreCode);
      break;
    case MsgAskState:
      if (!need(own)) break;
      SendGameMessage(MsgState, own->ReadyState, 0, 0);
      // The count is the host's to tell: a guest's may be older than the
      // host's last change, and the last answer taken would win.
      if (m.Arg8 == 1 && SessionHost()) SendGameMessage(MsgRoundCount, RoundCount, 0, 0);
      break;
    case MsgAskSkin:
      if (!need(sender) || !need(own)) break;
      if (m.Arg8 >= 1 && m.Arg8 <= 8) sender->Skin = m.Arg8;
      SendGameMessage(MsgSkin, own->Skin, 0, 0);
      break;
    case MsgStartData: {
      if (LastRequest != MsgAskStart || CurrentScreen == "Game" || !own) break;
      BackgroundNo = uint8_t(m.Arg8 % 3);
      ResultsDirty = true;
      // As at the host's start: a fish that was out in the last game is in
      // this one, or its win would never end the game for the others.
      OutOfRound = false;
      QuitRequested = false;
      PeerPaused = false;
      BackgroundSprite.MarkDead();
      for (int k = 1; k <= 4; ++k) MenuButtons[k].MarkDead();
      SetUpGameWorld();
      RoundsLeft = RoundCount;
      own->Wins = 0;
      own->Frags = 0;
      for (auto& p : PlayerTable)
        if (p) p->ReadyState = 2;
      CurrentScreen = "Game";
      LastRequest = 0;
      StartLevel();
      break;
    }
    case MsgScores:
      // Every player answers, and every answer is a row of the same board:
      // all are taken while the scores are asked for.
      if (LastRequest != MsgAskScores || !need(sender)) break;
      sender->ScoreCode = m.Arg32;
      sender->Frags = m.Arg16;
      sender->Wins = m.Arg8;
      ResultsDirty = true;
      break;
    case MsgState:
      // Only ever the sender's own state: every player's reaches a joiner,
      // whenever it comes.
      if (!need(sender) || m.Arg8 > 2) break;
      sender->ReadyState = m.Arg8;
      break;
    case MsgRoundCount: {
      // Answers meant for a newcomer reach the host too; its own count stands.
      if (SessionHost()) break;
      RoundCount = m.Arg8;
      std::string text = std::to_string(unsigned(m.Arg8));
      SettingsRecord.RoundCountText.Assign(text.substr(0, 2));
      break;
    }
    case MsgSkin:
      if (LastRequest != MsgAskSkin || !need(sender)) break;
      if (m.Arg8 >= 1 && m.Arg8 <= 8) sender->Skin = m.Arg8;
      break;
    case MsgOut:
      if (need(sender)) sender->MarkDead();
      break;
    case MsgPause:
      // A peer on its own exit question is still in the game.
      if (CurrentScreen == "Game" || CurrentScreen == "ExitGame?") {
        if (!Timer2.Enabled()) {
          Paused = true;
          if (TTable* t = TableSprite.get()) t->Visible = true;
          Timer2.SetEnabled(true);
          PeerPaused = true;
          PausedBy = from;
        } else if (Paused && !Book.Won()) {
          // Held by its own question: the host's pause stays after it.
          PeerPaused = true;
          PausedBy = from;
        }
      } else if (SessionOpen()) {
        CloseQuietly(*DXPlay1);
      }
      break;
    case MsgNewObject: {
      const auto tag = Book.TakeTag();
      if (slot != 0 || ObjectTable.Count >= 5 || m.Arg8 < 1 || m.Arg8 > 6 || m.Arg32 == 0) {
        ++DroppedMessages;
        break;
      }
      if (tag && tag->Level != Level) break;  // it swims in another round
      ++ObjectTable.Count;
      TObj* o = new TObj(*this, m.Arg32, m.Arg16, m.Arg8);
      ObjectTable.Slots[ObjectTable.Count] = o;
      if (tag) {
        o->Number = tag->Number;
        Book.Record(tag->Number, o->Kind);
      }
      break;
    }
    case MsgSpawnTag:
      if (slot != 0 || m.Arg16 == 0 || m.Arg8 < 1 || m.Arg8 > 9) {
        ++DroppedMessages;
        break;
      }
      Book.SetTag({m.Arg8, m.Arg16, m.Arg32});
      break;
    case MsgClaim: {
      // The host's order decides; a claim too late gets no answer.
      if (!SessionHost() || !need(sender)) break;
      const bool heard = m.Arg32 != 0;
      // A verdict of the host that went, on a fish it announced to others
      // but never to us: the fish is taken as it was told, so that its
      // verdict reaches everyone.
      if (heard && Book.OldHostsNumber(m.Arg16) && m.Arg8 <= 6 && !Book.Known(m.Arg16)) Book.Record(m.Arg16, m.Arg8);
      DecideEaten(m.Arg16, heard ? uint32_t(m.Arg32) : from, heard);
      break;
    }
    case MsgEatenBy:
      if (slot != 0 || m.Arg16 == 0 || m.Arg8 > 6) {
        ++DroppedMessages;
        break;
      }
      // A joiner still waiting in the lobby hears the game's verdicts too.
      if (CurrentScreen == "Game" || CurrentScreen == "ExitGame?") ApplyEaten(m.Arg8, m.Arg16, uint32_t(m.Arg32));
      break;
    case MsgFreeze:
      if (TBonus* b = BonusSprite.get()) b->SetPicture(GameImgs.Find("MParalich"));
      Timer1.SetEnabled(true);
      break;
    case MsgParalysed:
      if (!need(sender)) break;
      if (!sender->Dying) sender->BlinkTicks = 0;
      sender->Paralysed = true;
      break;
    case MsgGrown:
      if (m.Arg8 < 2 || m.Arg8 > 6 || !need(sender)) break;
      if (sender->Growth >= 5) {
        LevelDone = true;
        break;
      }
      Sound("Big");
      sender->ScaleDiv = m.Arg8;
      sender->EatCount = 0;
      ++sender->Growth;
      sender->Stars = std::string(size_t(7 - m.Arg8), '*');
      break;
    case MsgStarted:
      SendGameMessage(MsgAskStart, 0, 0, 0);
      break;
    case MsgReady:
      if (need(sender)) sender->ReadyState = m.Arg8;
      break;
    case MsgRoundOver:
      if (!need(sender)) break;
      if (m.Arg8 == 5) ++sender->Wins;
      Book.SetFinisher(0);
      Paused = false;
      PeerPaused = false;
      Book.SetWon();
      Timer2.SetEnabled(true);
      if (TTable* t = TableSprite.get()) t->Visible = true;
      SetCursorShown(true);
      SendGameMessage(MsgAskScores, 0, 0, 0);
      // Held now: this peer's final row goes to everyone, asked or not.
      if (own) SendGameMessage(MsgScores, own->Wins, own->Frags, own->ScoreCode);
      CloseQuestion();
      if (CurrentScreen == "ExitGame?") CurrentScreen = "Game";
      ResultsDirty = true;
      LogEvent("results");
      break;
    case MsgNewFish: {
      const auto tag = Book.TakeTag();
      // Fish come from the host alone: one from a guest would swim only
      // where it was announced. A speed of 0 would make the fish draw its own.
      if (slot != 0 || FishTable.Count >= 30 || m.Arg8 < 1 || m.Arg8 > 8 || m.Arg32 == 0) {
        ++DroppedMessages;
        break;
      }
      if (tag && tag->Level != Level) break;
      ++FishTable.Count;
      TFish* f = new TFish(*this, m.Arg32, m.Arg16, m.Arg8);
      FishTable.Slots[FishTable.Count] = f;
      if (tag) {
        f->Number = tag->Number;
        Book.Record(tag->Number, 0);
        f->ScaleDiv = tag->Size;
        if (f->Speed > 0) f->X = -(f->Width / f->ScaleDiv) - 5;
      }
      break;
    }
    case MsgResume:
      // Lifts only the pause this sender's question made: not the results,
      // not a round's start, not this peer's own question.
      if (CurrentScreen == "Game" || CurrentScreen == "ExitGame?") {
        if (!PeerPaused || PausedBy != from) break;
        PeerPaused = false;
        if (CurrentScreen == "Game" && Timer2.Enabled() && Paused) {
          Paused = false;
          Timer2.SetEnabled(false);
          if (TTable* t = TableSprite.get()) t->Visible = false;
        }
      } else if (SessionOpen()) {
        CloseQuietly(*DXPlay1);
      }
      break;
    case MsgEaten: {
      if (!need(sender) || !need(own)) break;
      sender->HasEaten = true;
      // The eater names its victim in Arg32; 0 (an older peer) means us.
      // Every peer marks the victim, so it is protected everywhere while
      // it comes back; one already dying is not eaten twice.
      TPlayer* victim = own;
      if (m.Arg32 != 0 && m.Arg32 != own->PlayerId) {
        victim = nullptr;
        for (auto& p : PlayerTable)
          if (p && p->PlayerId == m.Arg32) victim = p.get();
      }
      if (!victim || victim == sender || victim->Dying || victim->WasEaten) break;
      victim->WasEaten = true;
      victim->DeathScale = victim->ScaleDiv;
      victim->KilledBy = slot;
      victim->Dying = true;
      victim->BlinkTicks = 0;
      victim->Paralysed = false;
      if (victim != own && sender->Frags < UINT16_MAX) ++sender->Frags;
      break;
    }
    case MsgNextRound:
      if (!need(sender)) break;
      if (RoundsLeft > 0) --RoundsLeft;
      if (m.Arg8 == 0) {
        LogEvent("round over, its winner went");
      } else {
        ++sender->Wins;
        LogEvent("round won by " + sender->PlayerName);
      }
      StartLevel();
      break;
    default:
      ++DroppedMessages;  // not a code of ours
      break;
  }
}

void TGame::EndRound(uint8_t reason) {
  TPlayer* own = LocalPlayer();
  if (RoundsLeft > 1 && reason == 5) {
    --RoundsLeft;
    if (own) ++own->Wins;
    SendGameMessage(MsgNextRound, 5, 0, 0);
    if (own) LogEvent("round won by " + own->PlayerName);
    StartLevel();
    return;
  }
  if (reason == 5 && own) ++own->Wins;
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
    EndRound(5);
  else
    Book.SetFinisher(eater_id);
}

void TGame::EndRoundOfGone(const std::string& name) {
  Book.SetFinisher(0);
  if (RoundsLeft > 1) {
    --RoundsLeft;
    SendGameMessage(MsgNextRound, 0, 0, 0);
    LogEvent("round over, its winner " + name + " went");
    StartLevel();
    return;
  }
  // The last round: the board, with no win for anyone left.
  EndRound(1);
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
