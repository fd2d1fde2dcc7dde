// The peer messages that keep every peer's world in step, and the end of a
// round.
#include <cstdio>

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
  PlayerTable[size_t(slot)].MarkDead();
  for (size_t i = size_t(slot); i + 1 < PlayerTable.size(); ++i) {
    PlayerTable[i] = PlayerTable[i + 1].get();
    if (TPlayer* p = PlayerTable[i].get()) p->NetIndex = uint8_t(i);
  }
  PlayerTable.back() = nullptr;
  if (OwnIndex > slot) --OwnIndex;
  ResultsDirty = true;
}

void TGame::DXPlay1SessionLost() { ShowMessage("Session Lost!"); }

void TGame::DXPlay1Close() { ShowPleaseWait(); }

namespace {
void CloseQuietly(TSessionService& s) {
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
      if (need(own)) SendGameMessage(MsgScores, 0, own->Frags, own->ScoreCode);
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
      if (LastRequest != MsgAskScores || !need(sender)) break;
      sender->ScoreCode = m.Arg32;
      sender->Frags = m.Arg16;
      ResultsDirty = true;
      LastRequest = 0;
      break;
    case MsgState:
      if (LastRequest != MsgAskState || !need(sender)) break;
      sender->ReadyState = m.Arg8;
      if (!JoinWaiting) LastRequest = 0;
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
      if (CurrentScreen == "Game") {
        if (!Timer2.Enabled()) {
          Paused = true;
          if (TTable* t = TableSprite.get()) t->Visible = true;
          Timer2.SetEnabled(true);
        }
      } else if (SessionOpen()) {
        CloseQuietly(*DXPlay1);
      }
      break;
    case MsgNewObject:
      if (ObjectTable.Count >= 5 || m.Arg8 < 1 || m.Arg8 > 6) {
        ++DroppedMessages;
        break;
      }
      ++ObjectTable.Count;
      ObjectTable.Slots[ObjectTable.Count] = new TObj(*this, m.Arg32, m.Arg16, m.Arg8);
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
      Paused = false;
      Timer2.SetEnabled(true);
      if (TTable* t = TableSprite.get()) t->Visible = true;
      SetCursorShown(true);
      SendGameMessage(MsgAskScores, 0, 0, 0);
      CloseQuestion();
      break;
    case MsgNewFish:
      if (FishTable.Count >= 30 || m.Arg8 < 1 || m.Arg8 > 8) {
        ++DroppedMessages;
        break;
      }
      ++FishTable.Count;
      FishTable.Slots[FishTable.Count] = new TFish(*this, m.Arg32, m.Arg16, m.Arg8);
      break;
    case MsgResume:
      if (CurrentScreen == "Game") {
        if (Timer2.Enabled()) {
          Paused = false;
          Timer2.SetEnabled(false);
        }
      } else if (SessionOpen()) {
        CloseQuietly(*DXPlay1);
      }
      break;
    case MsgEaten:
      if (!need(sender) || !need(own)) break;
      // The eater names its victim in Arg32; 0 (an older peer) means us.
      if (m.Arg32 != 0 && m.Arg32 != own->PlayerId) {
        sender->HasEaten = true;
        break;
      }
      sender->HasEaten = true;
      own->WasEaten = true;
      own->DeathScale = own->ScaleDiv;
      own->KilledBy = slot;
      own->Dying = true;
      own->BlinkTicks = 0;
      own->Paralysed = false;
      break;
    case MsgNextRound:
      if (!need(sender)) break;
      if (RoundsLeft > 0) --RoundsLeft;
      ++sender->Wins;
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
    StartLevel();
    return;
  }
  if (reason == 5 && own) ++own->Wins;
  SendGameMessage(MsgAskScores, 0, 0, 0);
  Timer2.SetEnabled(true);
  if (TTable* t = TableSprite.get()) t->Visible = true;
  if (!OutOfRound) {
    SetCursorShown(true);
    SendGameMessage(MsgRoundOver, reason, 0, 0);
  }
}

}  // namespace mv
