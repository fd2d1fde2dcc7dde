#include <algorithm>

#include "net/Messages.h"
#include "platform/Keys.h"
#include "ui/MenuSprites.h"
#include "world/Game.h"
#include "world/Sprites.h"

namespace mv {

namespace {

constexpr size_t kTextChars = 10;
constexpr size_t kRoundChars = 2;
constexpr size_t kHostIpChars = 15;

bool IsYesNo(const std::string& s) { return s == "Exit?" || s == "ExitGame?" || s == "Clear?" || s == "Send"; }

bool ResultsShown(const TGame& g) {
  return g.CurrentScreen == "Game" && g.Timer2.Enabled() && !g.SinglePlayer && !g.RoundIntro;
}

// Cyclic step through 1..count.
uint8_t Cycle(uint8_t sel, uint8_t count, bool up) {
  if (sel < 1 || sel > count) return up ? count : 1;
  if (up) return sel == 1 ? count : uint8_t(sel - 1);
  return sel == count ? 1 : uint8_t(sel + 1);
}

void MoveSelection(TGame& g, bool up) {
  g.EditAddText = g.EditSessionName = g.EditPlayerName = g.EditRounds = false;
  g.ClearHotSpots();
  const std::string& s = g.CurrentScreen;
  if (s == "Menu") {
    g.Sound("Beep");
    // On screen the items run 7, 1, 2, ..., 6: step through that order.
    static constexpr uint8_t kOrder[] = {7, 1, 2, 3, 4, 5, 6};
    uint8_t pos = 0;
    for (uint8_t i = 0; i < 7; ++i)
      if (kOrder[i] == g.Selection) pos = i;
    pos = up ? uint8_t((pos + 6) % 7) : uint8_t((pos + 1) % 7);
    g.Selection = kOrder[pos];
  } else if (s == "MP2") {
    g.Sound("Beep");
    g.Selection = Cycle(g.Selection, 4, up);
    g.HelpState = g.Selection > 2 ? uint8_t(g.Selection - 1) : 1;
  } else if (s == "MP") {
    g.Sound("Beep");
    g.Selection = Cycle(g.Selection, 7, up);
    g.HotSpotSessionName = g.Selection == 3;
    g.HotSpotPlayerName = g.Selection == 4;
    g.HelpState = uint8_t(g.Selection + 1);
  } else if (s == "Options") {
    g.Sound("Beep");
    g.Selection = Cycle(g.Selection, 5, up);
  } else if (s == "HiScores" || s == "Help") {
    // Item 2 ("World", "Next") is reached with the mouse only.
    if (up) {
      g.Sound("Beep");
      g.Selection = 1;
    } else if (g.Selection == 1 || g.Selection == 2) {
      g.Sound("Beep");
      g.Selection = 3;
    }
  } else if (IsYesNo(s)) {
    if (up && g.Selection == 2) {
      g.Sound("Beep");
      g.Selection = 1;
    } else if (!up && g.Selection == 1) {
      g.Sound("Beep");
      g.Selection = 2;
    }
  }
  g.ShowSelectedHighlight();
}

// Out of the pause. In a single-player game a fish still waiting for the
// end of the hold after a lost life is shown by that hold's tick: the hold
// goes on for the rest of its time instead of ending with the fish left out
// of play.
void ResumeFromPause(TGame& g) {
  g.Paused = false;
  const TPlayer* own = g.LocalPlayer();
  if (!g.SinglePlayer || !own || own->InPlay) g.Timer2.SetEnabled(false);
}

// "EXIT GAME?" answered YES: only a saved game quits. When the save fails
// (reported once), the program stays with the question open, so a new high
// score or a cleared table that is only in memory is not lost.
void ConfirmExit(TGame& g) {
  if (!g.SaveSettingsReported()) return;
  g.CloseConfirmed = true;
  g.CloseRequested = true;
}

void BackToMenuFromExit(TGame& g) {
  g.CloseQuestion();
  g.CurrentScreen = "Menu";
  g.Selection = 7;
  g.ShowSelectedHighlight();
}

void LeaveResults(TGame& g) {
  g.QuitRequested = true;
  g.ExitConfirmed = true;
  g.LeaveGame();
}

// Out of the name entry: the game's scenery goes, the table shows.
void ReturnToMenu(TGame& g) {
  g.CloseQuestion();
  if (TFon* bg = g.BackgroundSprite.get()) bg->RemoveWithSeaweed();
  g.Sklt1Sprite.MarkDead();
  g.Sklt2Sprite.MarkDead();
  g.BackgroundSprite = new TFon(g, "FonMenu");
  g.MenuReturnItem = 3;
  g.BuildMainMenu();
  g.ActivateSelected();
}

void KeepScore(TGame& g) {
  g.InsertHiScore();
  ReturnToMenu(g);
}

// The address counters always follow the text, so a dot deleted or an
// address kept from an earlier entry never puts the next dot in the wrong place.
void RecountIp(TGame& g) {
  g.IpDots = uint8_t(std::count(g.HostIpText.begin(), g.HostIpText.end(), '.'));
  const size_t last_dot = g.HostIpText.rfind('.');
  const size_t group = last_dot == std::string::npos ? g.HostIpText.size() : g.HostIpText.size() - last_dot - 1;
  g.IpGroupDigits = uint8_t(std::min<size_t>(group, 255));
}

void HostAddressKey(TGame& g, uint16_t key) {
  RecountIp(g);
  if (key == VK_BACK) {
    if (!g.HostIpText.empty()) g.HostIpText.pop_back();
    RecountIp(g);
    return;
  }
  const bool digit = (key >= '0' && key <= '9') || (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9);
  const bool dot = key == VK_DECIMAL || key == VK_OEM_PERIOD;
  if (!digit && !dot) return;
  if (!(g.IpDots < 3 || (g.IpDots == 3 && g.IpGroupDigits < 3))) return;
  auto append = [&](char c) {
    if (g.HostIpText.size() < kHostIpChars) g.HostIpText += c;
  };
  auto auto_dot = [&] {
    if (g.IpGroupDigits > 2 && g.IpDots < 3) {
      append('.');
      ++g.IpDots;
      g.IpGroupDigits = 0;
    }
  };
  auto_dot();
  if (digit) {
    append(char('0' + (key >= VK_NUMPAD0 ? key - VK_NUMPAD0 : key - '0')));
    ++g.IpGroupDigits;
  } else if (!g.HostIpText.empty() && g.HostIpText.back() != '.' && g.IpDots < 3) {
    // A dot needs a group before it, and an address has three of them.
    append('.');
    ++g.IpDots;
    g.IpGroupDigits = 0;
  }
  auto_dot();
  RecountIp(g);
}

void TypeText(TGame& g, uint16_t key, uint8_t shift) {
  char c;
  if (key >= '0' && key <= '9') {
    c = char(key);
  } else if (key >= 'A' && key <= 'Z') {
    const bool upper = (shift & ssShift) || g.Host.CapsLock();
    c = char(upper ? key : key + 32);
  } else {
    return;
  }
  auto add_short = [&](auto& field) {
    std::string t = field.Str();
    if (t.size() + 1 <= kTextChars) field.Assign(t + c);
  };
  if (g.EditAddText) {
    add_short(g.SettingsRecord.AddText);
  } else if (g.EditSessionName) {
    add_short(g.SettingsRecord.SessionName);
  } else if (g.EditPlayerName) {
    add_short(g.SettingsRecord.PlayerNameSetting);
  } else if (g.CurrentScreen == "EnterName") {
    if (g.EnteredName.size() + 1 <= kTextChars) g.EnteredName += c;
  }
}

void Backspace(TGame& g) {
  auto cut = [](auto& field) {
    std::string t = field.Str();
    if (!t.empty()) field.Assign(t.substr(0, t.size() - 1));
  };
  if (g.EditAddText) cut(g.SettingsRecord.AddText);
  if (g.EditSessionName) cut(g.SettingsRecord.SessionName);
  if (g.EditPlayerName) cut(g.SettingsRecord.PlayerNameSetting);
  if (g.EditRounds && !g.RoundsText.empty()) g.RoundsText.pop_back();
  if (g.CurrentScreen == "EnterName" && !g.EnteredName.empty()) g.EnteredName.pop_back();
}

// Enter on the three switch rows of the Options screen flips that row.
void FlipOption(TGame& g, uint8_t row) {
  auto& r = g.SettingsRecord;
  if (row == 1) {
    r.Windowed = r.Windowed ? 0 : 1;
    g.ApplyDisplayMode();
  } else if (row == 2) {
    if (r.MusicOn) g.MusicSwitchedOff();
    else g.MusicSwitchedOn();
  } else if (row == 3) {
    r.SoundOn = r.SoundOn ? 0 : 1;
  }
}

// Escape; true when the handler is to stop.
bool EscapeKey(TGame& g) {
  const std::string s = g.CurrentScreen;
  if (s == "Exit?") {
    BackToMenuFromExit(g);
  } else if (s == "ExitGame?") {
    g.ResumeFromExitQuestion();
    return true;
  } else if (s == "EnterIP") {
    g.Selection = 2;
    g.HelpState = 1;
    g.CurrentScreen = "MP";
    g.CloseQuestion();
    g.ShowSelectedHighlight();
  } else if (s == "Clear?") {
    g.Selection = 1;
    g.CurrentScreen = "HiScores";
    g.CloseQuestion();
    g.ShowSelectedHighlight();
  } else if (s == "Send") {
    ReturnToMenu(g);
  } else if (s == "Menu") {
    g.OpenQuestion("Exit?");
  } else if (s == "Game" && !g.Timer2.Enabled()) {
    g.LeaveGame();
  } else if (s == "Game" && g.Paused && g.PeerPaused) {
    // Another player's pause is not this player's to lift: Escape asks
    // whether to leave, as it does in play.
    g.LeaveGame();
  } else if (s == "Game" && g.Paused) {
    ResumeFromPause(g);
  } else if (ResultsShown(g)) {
    LeaveResults(g);
  } else if (s == "MP2") {
    if (g.EditRounds) g.EditRounds = false;
    else g.OpenLobby();
  } else if (s == "MP" || s == "Options" || s == "HiScores" || s == "Help") {
    g.BuildMainMenu();
  }
  return false;
}

void EnterKey(TGame& g) {
  const std::string s = g.CurrentScreen;
  if (ResultsShown(g)) {
    LeaveResults(g);
  } else if (s == "MP2") {
    if (g.Selection == 3) g.ToggleRoundsEdit();
    else g.ActivateSelected();
  } else if (s == "MP") {
    if (g.Selection == 3) {
      g.EditSessionName = !g.EditSessionName;
      g.EditPlayerName = false;
    } else if (g.Selection == 4) {
      g.EditPlayerName = !g.EditPlayerName;
      g.EditSessionName = false;
    } else {
      g.ActivateSelected();
    }
  } else if (s == "Options") {
    if (g.Selection >= 1 && g.Selection <= 3) FlipOption(g, g.Selection);
    else if (g.Selection == 4) g.EditAddText = !g.EditAddText;
    else if (g.Selection == 5) g.BuildMainMenu();
  } else if (s == "Clear?") {
    g.Sound("Beep");
    if (g.Selection == 1) g.SettingsRecord.ResetHiScores();
    g.Selection = 1;
    g.CurrentScreen = "HiScores";
    g.CloseQuestion();
    g.ShowSelectedHighlight();
  } else if (s == "EnterIP" && g.HostIpText.size() >= 7) {
    g.DirectJoin();
    g.ShowSelectedHighlight();
    g.IpGroupDigits = 0;
    g.IpDots = 0;
  } else if (s == "EnterName") {
    g.CurrentScreen = "Send";  // the question box stays
    g.Selection = 1;           // as every question opens: YES
  } else if (s == "Send") {
    if (g.Selection == 1) {
      // A refused submission leaves the player here to answer again.
      if (g.SendWorldScore()) KeepScore(g);
    } else {
      KeepScore(g);
    }
  } else if (s == "ExitGame?") {
    if (g.Selection == 1) {
      g.ExitConfirmed = true;
      g.Timer2.SetEnabled(false);
      g.Paused = false;
      g.CloseQuestion();
      g.LeaveGame();
    } else {
      g.ResumeFromExitQuestion();
    }
  } else if (s == "Exit?") {
    if (g.Selection == 1) {
      ConfirmExit(g);
    } else {
      BackToMenuFromExit(g);
    }
  } else {
    g.ActivateSelected();
  }
}

}  // namespace

void TGame::ResumeFromExitQuestion() {
  CurrentScreen = "Game";
  SetCursorShown(false);
  CloseQuestion();
  if (SessionOpen()) SendGameMessage(MsgResume, 0, 0, 0);
  // Held on, and shown paused, until that player's own resume.
  if (PeerPaused) return;
  Paused = false;
  // The round's banner ends in its own time (Timer2Timer).
  if (!RoundIntro) Timer2.SetEnabled(false);
}

void TGame::FormKeyUp(uint16_t key, uint8_t shift) {
  // The release of the key that closed a message box is not an answer; any
  // other key is, and clears the guard.
  if (MessageShown) {
    MessageShown = false;
    if (key == VK_RETURN || key == VK_ESCAPE || key == VK_SPACE) return;
  }
  if (CurrentScreen == "GameOver2") {
    Timer3.SetEnabled(false);
    CloseQuestion();
    LeaveGame();
    return;
  }
  if (key == VK_LEFT) key = VK_UP;
  if (key == VK_RIGHT) key = VK_DOWN;
  const bool alt = (shift & ssAlt) != 0;

  if (key == VK_UP) MoveSelection(*this, true);
  if (key == VK_DOWN) MoveSelection(*this, false);

  CreditKeySum = int32_t(uint32_t(CreditKeySum) + key);

  if (IsYesNo(CurrentScreen)) {
    if (key == 'Y') key = VK_RETURN;
    else if (key == 'N') key = VK_ESCAPE;
  }

  if (key == VK_ESCAPE && EscapeKey(*this)) return;

  if (key == VK_RETURN && alt) {
    SettingsRecord.Windowed = SettingsRecord.Windowed ? 0 : 1;
    ApplyDisplayMode();
  }

  // The Pause key, and a controller's Start, pause like P but type nothing.
  if ((key == 'P' || key == VK_PAUSE) && CurrentScreen == "Game" && SinglePlayer) {
    if (Paused) {
      ResumeFromPause(*this);
    } else {
      Paused = true;
      Timer2.SetEnabled(true);
    }
  }

  if (key == VK_F5) ResultsDirty = true;

  TypeText(*this, key, shift);

  if (EditRounds) {
    int digit = -1;
    if (key >= '0' && key <= '9') digit = key - '0';
    else if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9) digit = key - VK_NUMPAD0;
    if (digit >= 0 && RoundsText.size() + 1 <= kRoundChars) RoundsText += char('0' + digit);
  }

  if (key == VK_BACK) Backspace(*this);

  if (CurrentScreen == "EnterIP") HostAddressKey(*this, key);

  if ((key == VK_RETURN || key == VK_SPACE) && !alt) EnterKey(*this);
}

}  // namespace mv
