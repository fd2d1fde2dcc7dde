// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "platform/Keys.h"
#include "ui/MenuSprites.h"
#include "ui/Screens.h"
#include "world/Sprites.h"

namespace mv {

namespace {

constexpr size_t kTextChars = 10;
constexpr size_t kRoundChars = 2;
constexpr size_t kHostIpChars = 15;

bool IsYesNo(TScreen s) { return s == TScreen::Exit || s == TScreen::ExitGame || s == TScreen::Clear || s == TScreen::Send; }

// Cyclic step through 1..count.
uint8_t Cycle(uint8_t sel, uint8_t count, bool up) {
  if (sel < 1 || sel > count) return up ? count : 1;
  if (up) return sel == 1 ? count : uint8_t(sel - 1);
  return sel == count ? 1 : uint8_t(sel + 1);
}

// The address counters always follow the text, so a dot deleted or an
// address kept from an earlier entry never puts the next dot in the wrong place.
struct TIpCount {
  uint8_t Dots = 0, GroupDigits = 0;
  explicit TIpCount(const std::string& text) {
    Dots = uint8_t(std::count(text.begin(), text.end(), '.'));
    const size_t last_dot = text.rfind('.');
    const size_t group = last_dot == std::string::npos ? text.size() : text.size() - last_dot - 1;
    GroupDigits = uint8_t(std::min<size_t>(group, 255));
  }
};

}  // namespace

// The keys on each screen.
struct TKeys {
  static void MoveSelection(TScreens& g, bool up) {
    g.EditAddText_ = g.EditSessionName_ = g.EditPlayerName_ = g.EditRounds_ = false;
    g.Hot_.Clear();
    const TScreen s = g.Current_;
    if (s == TScreen::Menu) {
      g.Beep();
      // On screen the items run 7, 1, 2, ..., 6: step through that order.
      static constexpr uint8_t kOrder[] = {7, 1, 2, 3, 4, 5, 6};
      uint8_t pos = 0;
      for (uint8_t i = 0; i < 7; ++i)
        if (kOrder[i] == g.Selection_) pos = i;
      pos = up ? uint8_t((pos + 6) % 7) : uint8_t((pos + 1) % 7);
      g.Selection_ = kOrder[pos];
    } else if (s == TScreen::Room) {
      g.Beep();
      g.Selection_ = Cycle(g.Selection_, 4, up);
      g.HelpState_ = g.Selection_ > 2 ? uint8_t(g.Selection_ - 1) : 1;
    } else if (s == TScreen::Lobby) {
      g.Beep();
      g.Selection_ = Cycle(g.Selection_, 7, up);
      g.Hot_.SessionName = g.Selection_ == 3;
      g.Hot_.PlayerName = g.Selection_ == 4;
      g.HelpState_ = uint8_t(g.Selection_ + 1);
    } else if (s == TScreen::Options) {
      g.Beep();
      g.Selection_ = Cycle(g.Selection_, 5, up);
    } else if (s == TScreen::HiScores || s == TScreen::Help) {
      // Item 2 ("World", "Next") is reached with the mouse only.
      if (up) {
        g.Beep();
        g.Selection_ = 1;
      } else if (g.Selection_ == 1 || g.Selection_ == 2) {
        g.Beep();
        g.Selection_ = 3;
      }
    } else if (IsYesNo(s)) {
      if (up && g.Selection_ == 2) {
        g.Beep();
        g.Selection_ = 1;
      } else if (!up && g.Selection_ == 1) {
        g.Beep();
        g.Selection_ = 2;
      }
    }
    g.ShowSelectedHighlight();
  }

  // Out of the pause. In a single-player game a fish still waiting for the
  // end of the hold after a lost life is shown by that hold's tick: the hold
  // goes on for the rest of its time instead of ending with the fish left out
  // of play.
  static void ResumeFromPause(TScreens& g) {
    g.World_.SetPaused(false);
    const TPlayer* own = g.World_.LocalPlayer();
    if (!g.World_.SinglePlayer() || !own || own->InPlay) g.World_.Timer2().SetEnabled(false);
  }

  // "EXIT GAME?" answered YES: only a saved game quits. When the save fails
  // (reported once), the program stays with the question open, so a new high
  // score or a cleared table that is only in memory is not lost.
  static void ConfirmExit(TScreens& g) {
    if (!g.Ui_.SaveSettingsReported()) return;
    g.CloseConfirmed_ = true;
    g.CloseRequested_ = true;
  }

  static void BackToMenuFromExit(TScreens& g) {
    g.CloseQuestion();
    g.Current_ = TScreen::Menu;
    g.Selection_ = 7;
    g.ShowSelectedHighlight();
  }

  static void LeaveResults(TScreens& g) {
    g.Net_.QuitBoard();
    g.ExitConfirmed_ = true;
    g.Ui_.LeaveGame();
  }

  // Out of the name entry: the game's scenery goes, the table shows.
  static void ReturnToMenu(TScreens& g) {
    g.CloseQuestion();
    g.World_.RemoveGameScenery();
    g.World_.ShowMenuBackground();
    g.MenuReturnItem_ = 3;
    g.BuildMainMenu();
    g.ActivateSelected();
  }

  static void KeepScore(TScreens& g) {
    g.InsertHiScore();
    ReturnToMenu(g);
  }

  static void HostAddressKey(TScreens& g, uint16_t key) {
    std::string& text = g.HostIpText_;
    if (key == VK_BACK) {
      if (!text.empty()) text.pop_back();
      return;
    }
    const bool digit = (key >= '0' && key <= '9') || (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9);
    const bool dot = key == VK_DECIMAL || key == VK_OEM_PERIOD;
    if (!digit && !dot) return;
    TIpCount n(text);
    if (!(n.Dots < 3 || (n.Dots == 3 && n.GroupDigits < 3))) return;
    auto append = [&](char c) {
      if (text.size() < kHostIpChars) text += c;
    };
    auto auto_dot = [&] {
      if (n.GroupDigits > 2 && n.Dots < 3) {
        append('.');
        ++n.Dots;
        n.GroupDigits = 0;
      }
    };
    auto_dot();
    if (digit) {
      append(char('0' + (key >= VK_NUMPAD0 ? key - VK_NUMPAD0 : key - '0')));
      ++n.GroupDigits;
    } else if (!text.empty() && text.back() != '.' && n.Dots < 3) {
      // A dot needs a group before it, and an address has three of them.
      append('.');
      ++n.Dots;
      n.GroupDigits = 0;
    }
    auto_dot();
  }

  static void TypeText(TScreens& g, uint16_t key, uint8_t shift) {
    char c;
    if (key >= '0' && key <= '9') {
      c = char(key);
    } else if (key >= 'A' && key <= 'Z') {
      const bool upper = (shift & ssShift) || g.Host_.CapsLock();
      c = char(upper ? key : key + 32);
    } else {
      return;
    }
    auto add_short = [&](auto& field) {
      std::string t = field.Str();
      if (t.size() + 1 <= kTextChars) field.Assign(t + c);
    };
    if (g.EditAddText_) {
      add_short(g.Settings_.AddText);
    } else if (g.EditSessionName_) {
      add_short(g.Settings_.SessionName);
    } else if (g.EditPlayerName_) {
      add_short(g.Settings_.PlayerNameSetting);
    } else if (g.Current_ == TScreen::EnterName) {
      if (g.EnteredName_.size() + 1 <= kTextChars) g.EnteredName_ += c;
    }
  }

  static void Backspace(TScreens& g) {
    auto cut = [](auto& field) {
      std::string t = field.Str();
      if (!t.empty()) field.Assign(t.substr(0, t.size() - 1));
    };
    if (g.EditAddText_) cut(g.Settings_.AddText);
    if (g.EditSessionName_) cut(g.Settings_.SessionName);
    if (g.EditPlayerName_) cut(g.Settings_.PlayerNameSetting);
    if (g.EditRounds_ && !g.RoundsText_.empty()) g.RoundsText_.pop_back();
    if (g.Current_ == TScreen::EnterName && !g.EnteredName_.empty()) g.EnteredName_.pop_back();
  }

  // Enter on the three switch rows of the Options screen flips that row.
  static void FlipOption(TScreens& g, uint8_t row) {
    auto& r = g.Settings_;
    if (row == 1) {
      r.Windowed = r.Windowed ? 0 : 1;
      g.Ui_.ApplyDisplayMode();
    } else if (row == 2) {
      if (r.MusicOn) g.Ui_.MusicSwitchedOff();
      else g.Ui_.MusicSwitchedOn();
    } else if (row == 3) {
      r.SoundOn = r.SoundOn ? 0 : 1;
    }
  }

  // Escape; true when the handler is to stop.
  static bool EscapeKey(TScreens& g) {
    const TScreen s = g.Current_;
    if (s == TScreen::Exit) {
      BackToMenuFromExit(g);
    } else if (s == TScreen::ExitGame) {
      g.ResumeFromExitQuestion();
      return true;
    } else if (s == TScreen::EnterIp) {
      g.Selection_ = 2;
      g.HelpState_ = 1;
      g.Current_ = TScreen::Lobby;
      g.CloseQuestion();
      g.ShowSelectedHighlight();
    } else if (s == TScreen::Clear) {
      g.Selection_ = 1;
      g.Current_ = TScreen::HiScores;
      g.CloseQuestion();
      g.ShowSelectedHighlight();
    } else if (s == TScreen::Send) {
      ReturnToMenu(g);
    } else if (s == TScreen::Menu) {
      g.OpenQuestion(TScreen::Exit);
    } else if (s == TScreen::Game && !g.World_.Held()) {
      g.Ui_.LeaveGame();
    } else if (s == TScreen::Game && g.World_.Paused() && g.Net_.PeerPaused()) {
      // Another player's pause is not this player's to lift: Escape asks
      // whether to leave, as it does in play.
      g.Ui_.LeaveGame();
    } else if (s == TScreen::Game && g.World_.Paused()) {
      ResumeFromPause(g);
    } else if (g.ResultsShown()) {
      LeaveResults(g);
    } else if (s == TScreen::Room) {
      if (g.EditRounds_) g.EditRounds_ = false;
      else g.OpenLobby();
    } else if (s == TScreen::Lobby || s == TScreen::Options || s == TScreen::HiScores || s == TScreen::Help) {
      g.BuildMainMenu();
    }
    return false;
  }

  static void EnterKey(TScreens& g) {
    const TScreen s = g.Current_;
    if (g.ResultsShown()) {
      LeaveResults(g);
    } else if (s == TScreen::Room) {
      if (g.Selection_ == 3) g.ToggleRoundsEdit();
      else g.ActivateSelected();
    } else if (s == TScreen::Lobby) {
      if (g.Selection_ == 3) {
        g.EditSessionName_ = !g.EditSessionName_;
        g.EditPlayerName_ = false;
      } else if (g.Selection_ == 4) {
        g.EditPlayerName_ = !g.EditPlayerName_;
        g.EditSessionName_ = false;
      } else {
        g.ActivateSelected();
      }
    } else if (s == TScreen::Options) {
      if (g.Selection_ >= 1 && g.Selection_ <= 3) FlipOption(g, g.Selection_);
      else if (g.Selection_ == 4) g.EditAddText_ = !g.EditAddText_;
      else if (g.Selection_ == 5) g.BuildMainMenu();
    } else if (s == TScreen::Clear) {
      g.Beep();
      if (g.Selection_ == 1) g.Settings_.ResetHiScores();
      g.Selection_ = 1;
      g.Current_ = TScreen::HiScores;
      g.CloseQuestion();
      g.ShowSelectedHighlight();
    } else if (s == TScreen::EnterIp && g.HostIpText_.size() >= 7) {
      g.DirectJoin();
      g.ShowSelectedHighlight();
    } else if (s == TScreen::EnterName) {
      g.Current_ = TScreen::Send;  // the question box stays
      g.Selection_ = 1;           // as every question opens: YES
    } else if (s == TScreen::Send) {
      if (g.Selection_ == 1) {
        // A refused submission leaves the player here to answer again.
        if (g.SendWorldScore()) KeepScore(g);
      } else {
        KeepScore(g);
      }
    } else if (s == TScreen::ExitGame) {
      if (g.Selection_ == 1) {
        g.ExitConfirmed_ = true;
        g.World_.Timer2().SetEnabled(false);
        g.World_.SetPaused(false);
        g.CloseQuestion();
        g.Ui_.LeaveGame();
      } else {
        g.ResumeFromExitQuestion();
      }
    } else if (s == TScreen::Exit) {
      if (g.Selection_ == 1) {
        ConfirmExit(g);
      } else {
        BackToMenuFromExit(g);
      }
    } else {
      g.ActivateSelected();
    }
  }
};

void TScreens::ResumeFromExitQuestion() {
  Current_ = TScreen::Game;
  SetCursorShown(false);
  CloseQuestion();
  Net_.Send(MsgResume);
  // Held on, and shown paused, until that player's own resume.
  if (Net_.PeerPaused()) return;
  World_.SetPaused(false);
  // The round's banner ends in its own time (the hold's tick).
  if (!World_.RoundIntro()) World_.Timer2().SetEnabled(false);
}

void TScreens::KeyUp(uint16_t key, uint8_t shift) {
  // The release of the key that closed a message box is not an answer; any
  // other key is, and clears the guard.
  if (MessageShown_) {
    MessageShown_ = false;
    if (key == VK_RETURN || key == VK_ESCAPE || key == VK_SPACE) return;
  }
  if (Current_ == TScreen::GameOver) {
    Timer3_.SetEnabled(false);
    CloseQuestion();
    Ui_.LeaveGame();
    return;
  }
  if (key == VK_LEFT) key = VK_UP;
  if (key == VK_RIGHT) key = VK_DOWN;
  const bool alt = (shift & ssAlt) != 0;

  if (key == VK_UP) TKeys::MoveSelection(*this, true);
  if (key == VK_DOWN) TKeys::MoveSelection(*this, false);

  CreditKeySum_ = int32_t(uint32_t(CreditKeySum_) + key);

  if (IsYesNo(Current_)) {
    if (key == 'Y') key = VK_RETURN;
    else if (key == 'N') key = VK_ESCAPE;
  }

  if (key == VK_ESCAPE && TKeys::EscapeKey(*this)) return;

  if (key == VK_RETURN && alt) {
    Settings_.Windowed = Settings_.Windowed ? 0 : 1;
    Ui_.ApplyDisplayMode();
  }

  // The Pause key, and a controller's Start, pause like P but type nothing.
  if ((key == 'P' || key == VK_PAUSE) && Current_ == TScreen::Game && World_.SinglePlayer()) {
    if (World_.Paused()) {
      TKeys::ResumeFromPause(*this);
    } else {
      World_.SetPaused(true);
      World_.Timer2().SetEnabled(true);
    }
  }

  if (key == VK_F5) Net_.MarkResultsDirty();

  TKeys::TypeText(*this, key, shift);

  if (EditRounds_) {
    int digit = -1;
    if (key >= '0' && key <= '9') digit = key - '0';
    else if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9) digit = key - VK_NUMPAD0;
    if (digit >= 0 && RoundsText_.size() + 1 <= kRoundChars) RoundsText_ += char('0' + digit);
  }

  if (key == VK_BACK) TKeys::Backspace(*this);

  if (Current_ == TScreen::EnterIp) TKeys::HostAddressKey(*this, key);

  if ((key == VK_RETURN || key == VK_SPACE) && !alt) TKeys::EnterKey(*this);
}

}  // namespace mv
