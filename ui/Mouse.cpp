#include "net/Messages.h"
#include "online/ScoreClient.h"
#include "platform/Keys.h"
#include "ui/MenuSprites.h"
#include "world/Game.h"
#include "world/Sprites.h"

namespace mv {

namespace {

constexpr int kCentreX = 400, kCentreY = 300;

bool Inside(int v, int lo, int hi) { return v >= lo && v <= hi; }  // inclusive
bool Between(int v, int lo, int hi) { return v > lo && v < hi; }   // strict

// Size of the highlight in a slot; a slot without a live sprite has no box.
bool SlotSize(TGame& g, size_t slot, int& w, int& h) {
  TMenuB* b = slot < g.MenuButtons.size() ? g.MenuButtons[slot].get() : nullptr;
  if (!b) return false;
  w = b->Width;
  h = b->Height;
  return true;
}

// A lobby or room button: its highlight's box grown by 20 pixels, the help
// line it shows (0: the line stays), and whether its box starts at the left
// screen edge (inclusive at 0).
struct TButtonBox {
  size_t Slot;
  int X, Y;
  uint8_t Help;
  bool FromZero;
};

template <size_t N>
void HitButtons(TGame& g, int x, int y, const std::array<TButtonBox, N>& boxes) {
  for (const TButtonBox& b : boxes) {
    int w, h;
    if (!SlotSize(g, b.Slot, w, h)) continue;
    const bool in_x = b.FromZero ? (x >= 0 && x < w + b.X + 20) : Between(x, b.X - 20, w + b.X + 20);
    if (in_x && Between(y, b.Y - 20, h + b.Y + 20)) {
      g.Selection = uint8_t(b.Slot);
      g.HotSpotButton[b.Slot] = true;
      if (b.Help) g.HelpState = b.Help;
    }
  }
}

// A highlight's box grown by `grow` pixels on each side (strict bounds).
struct TGrownBox {
  size_t Slot;
  int X, Y;
};
bool InGrownBox(TGame& g, const TGrownBox& b, int grow, int x, int y) {
  int w, h;
  if (!SlotSize(g, b.Slot, w, h)) return false;
  return Between(x, b.X - grow, b.X + w + grow) && Between(y, b.Y - grow, b.Y + h + grow);
}

void Steer(TGame& g) {
  TPlayer* p = g.LocalPlayer();
  if (!p) return;
  // Surface pixels: the centre is the middle of the picture wherever the
  // window stands and however it is scaled.
  int px = kCentreX, py = kCentreY;
  g.Host.GetPointer(px, py);
  bool pull = false;
  if (px > kCentreX && !g.Input.Right) {
    p->SteerLeft = false;
    p->SteerRight = true;
    pull = true;
  }
  if (px < kCentreX && !g.Input.Left) {
    p->SteerLeft = true;
    p->SteerRight = false;
    pull = true;
  }
  if (py > kCentreY && !g.Input.Down) {
    p->SteerUp = false;
    p->SteerDown = true;
    pull = true;
  }
  if (py < kCentreY && !g.Input.Up) {
    p->SteerUp = true;
    p->SteerDown = false;
    pull = true;
  }
  if (pull) g.Host.WarpPointer(kCentreX, kCentreY);
}

void HitMenu(TGame& g, int x, int y) {
  static constexpr std::array<std::pair<size_t, int>, 7> kOrder{
      {{7, 149}, {1, 214}, {2, 269}, {3, 326}, {4, 383}, {5, 442}, {6, 499}}};
  for (auto [slot, top] : kOrder) {
    int w, h;
    if (!SlotSize(g, slot, w, h)) continue;
    if (Between(x, 190, 190 + w) && Between(y, top, top + h)) {
      g.Selection = uint8_t(slot);
      g.HotSpotButton[slot] = true;
    }
  }
}

void HitThreeButtons(TGame& g, const std::array<TGrownBox, 3>& boxes, int x, int y) {
  for (const TGrownBox& b : boxes)
    if (InGrownBox(g, b, 20, x, y)) {
      g.Selection = uint8_t(b.Slot);
      g.HotSpotButton[b.Slot] = true;
    }
}

void HitOptions(TGame& g, int x, int y) {
  auto area = [&](int x0, int x1, int y0, int y1, uint8_t sel, bool* flag) {
    const bool in = Inside(x, x0, x1) && Inside(y, y0, y1);
    if (flag) *flag = in;
    if (in) g.Selection = sel;
  };
  area(157, 292, 196, 252, 1, &g.HotSpotWindow);
  area(308, 509, 196, 252, 1, &g.HotSpotFullScreen);
  area(167, 217, 261, 317, 2, &g.HotSpotMusicOn);
  area(228, 293, 261, 317, 2, &g.HotSpotMusicOff);
  area(167, 293, 261, 317, 2, nullptr);
  area(167, 217, 321, 377, 3, &g.HotSpotSoundOn);
  area(228, 293, 321, 377, 3, &g.HotSpotSoundOff);
  area(167, 293, 321, 377, 3, nullptr);
  g.HotSpotAddText = Between(x, 245, 470) && Inside(y, 376, 434);
  if (g.HotSpotAddText) g.Selection = 4;
  int w, h;
  // The Back box is the one the game has always used, a little left of its picture.
  // Only the pointer over it makes a click go back: Back is also selected
  // when the screen opens, wherever the pointer is.
  g.HotSpotOptBack = SlotSize(g, 1, w, h) && Between(x, 4, w + 4) && Between(y, 446, h + 486);
  if (g.HotSpotOptBack) g.Selection = 5;
  g.ShowSelectedHighlight();
}

void HitQuestion(TGame& g, int x, int y) {
  g.HotSpotYes = Inside(x, 331, 379) && Inside(y, 306, 342);
  if (g.HotSpotYes) g.Selection = 1;
  g.HotSpotNo = Inside(x, 411, 459) && Inside(y, 306, 342);
  if (g.HotSpotNo) g.Selection = 2;
}

void HitLobby(TGame& g, int x, int y) {
  static constexpr std::array<TButtonBox, 5> kBoxes{{{1, 450, 192, 2, false},
                                                    {2, 450, 245, 3, false},
                                                    {5, 19, 461, 6, true},
                                                    {6, 318, 459, 7, false},
                                                    {7, 24, 520, 8, false}}};
  HitButtons(g, x, y, kBoxes);
  g.HotSpotSessionName = Inside(x, 471, 744) && Inside(y, 318, 371);
  if (g.HotSpotSessionName) {
    g.Selection = 3;
    g.HelpState = 4;
  }
  g.HotSpotPlayerName = Inside(x, 471, 744) && Inside(y, 396, 449);
  if (g.HotSpotPlayerName) {
    g.Selection = 4;
    g.HelpState = 5;
  }
  g.HotSpotSessionRow = false;
  const size_t sessions = g.SessionList.size();
  if (sessions >= 1 && sessions <= 9 && Inside(x, 26, 414)) {
    for (size_t r = 0; r < sessions; ++r) {
      const int top = 222 + 24 * int(r);
      if (Between(y, top, top + 24)) {
        g.HoverSession = uint8_t(r);
        g.HotSpotSessionRow = true;
        g.HelpState = 11;
      }
    }
  }
  g.ShowSelectedHighlight();
}

void HitRoom(TGame& g, int x, int y) {
  static constexpr std::array<TButtonBox, 4> kBoxes{{{1, 445, 194, 0, false},
                                                   {2, 445, 254, 0, false},
                                                   {3, 19, 470, 2, true},
                                                   {4, 24, 520, 3, false}}};
  HitButtons(g, x, y, kBoxes);
  g.ShowSelectedHighlight();
}

bool ResultsShown(const TGame& g) {
  return g.CurrentScreen == "Game" && g.Timer2.Enabled() && !g.SinglePlayer && !g.RoundIntro;
}

bool AnyHotSpot(const TGame& g) {
  for (size_t k = 1; k < g.HotSpotButton.size(); ++k)
    if (g.HotSpotButton[k]) return true;
  return g.HotSpotWindow || g.HotSpotFullScreen || g.HotSpotMusicOn || g.HotSpotMusicOff ||
         g.HotSpotSoundOn || g.HotSpotSoundOff || g.HotSpotAddText || g.HotSpotOptBack ||
         g.HotSpotYes || g.HotSpotNo || g.HotSpotSessionName || g.HotSpotPlayerName ||
         g.HotSpotSessionRow || g.HotSpotResultsOk;
}

// What lies under the pointer on the screen shown now. Every flag starts
// from nothing, so what the pointer found on an earlier screen never answers
// for this one. True when the screen beeps on a new selection.
bool HitTest(TGame& g, int x, int y) {
  g.ClearHotSpots();
  g.HotSpotResultsOk = false;
  // The host hands over surface pixels in a window and in full screen alike,
  // so the boxes need no correction for the display mode.
  const std::string& s = g.CurrentScreen;
  if (s == "Menu") {
    HitMenu(g, x, y);
    g.ShowSelectedHighlight();
  } else if (s == "HiScores") {
    HitThreeButtons(g, {{{1, 21, 461}, {2, 308, 459}, {3, 24, 520}}}, x, y);
    g.ShowSelectedHighlight();
  } else if (s == "Help") {
    HitThreeButtons(g, {{{1, 27, 462}, {2, 404, 462}, {3, 24, 536}}}, x, y);
    g.ShowSelectedHighlight();
  } else if (s == "Options") {
    HitOptions(g, x, y);
  } else if (s == "Exit?" || s == "ExitGame?" || s == "Clear?" || s == "Send") {
    HitQuestion(g, x, y);
  } else if (s == "MP") {
    HitLobby(g, x, y);
  } else if (s == "MP2") {
    HitRoom(g, x, y);
  } else {
    if (ResultsShown(g)) g.HotSpotResultsOk = Inside(x, 376, 424) && Inside(y, 396, 429);
    return false;
  }
  return true;
}

}  // namespace

void TGame::DXDraw1MouseMove(uint8_t shift, int x, int y) {
  (void)shift;
  if (CurrentScreen == "Game" && !Timer2.Enabled() && SinglePlayer) Steer(*this);
  PointerX = x;
  PointerY = y;
  const uint8_t previous = Selection;
  if (HitTest(*this, x, y) && Selection != previous) Sound("Beep");
}

void TGame::DXDraw1MouseUp(int button, uint8_t shift, int x, int y) {
  (void)shift;
  PointerX = x;
  PointerY = y;
  if (button == 2 && CurrentScreen != "Game") DXDraw1Click();
}

void TGame::DXDraw1Click() {
  EditAddText = EditSessionName = EditPlayerName = false;
  // A click is a fresh answer: whatever a message box left pending is over.
  MessageShown = false;
  // A click answers what is under the pointer on the screen shown now. The
  // screen may have changed since the pointer last moved: the first click of
  // a double click opens a screen that the second one must not answer.
  if (ClickNeedsHotSpot) HitTest(*this, PointerX, PointerY);
  // The game-over screen has no boxes to point at; any click goes on.
  const bool anywhere = CurrentScreen == "GameOver2";
  if (!anywhere && ClickNeedsHotSpot && !AnyHotSpot(*this)) return;
  ClickNeedsHotSpot = true;

  if (ResultsShown(*this)) {
    Host.PostKeyUp(VK_ESCAPE);
    return;
  }

  const std::string s = CurrentScreen;
  if (s == "GameOver2") {
    Timer3.SetEnabled(false);
    CloseQuestion();
    LeaveGame();
  } else if (s == "ExitGame?") {
    Sound("Beep");
    if (Selection == 1) {
      ExitConfirmed = true;
      Timer2.SetEnabled(false);
      Paused = false;
      CloseQuestion();
      LeaveGame();
    } else {
      ResumeFromExitQuestion();
    }
  } else if (s == "Exit?") {
    Sound("Beep");
    if (Selection == 1) {
      // Only a saved game quits; after a failed save (reported once) the
      // question stays, and nothing that is only in memory is lost.
      if (SaveSettingsReported()) {
        CloseConfirmed = true;
        CloseRequested = true;
      }
    } else {
      CloseQuestion();
      CurrentScreen = "Menu";
      Selection = 7;
      ShowSelectedHighlight();
    }
  } else if (s == "Menu") {
    Sound("Beep");
    switch (Selection) {
      case 1: StartGame(); break;
      case 2: ShowOptions(); break;
      case 3: ShowHiScores(); break;
      case 4: ShowHelp(); break;
      case 5: Host.ShellOpen(ScoreServerBase() + "/"); break;
      case 6: OpenQuestion("Exit?"); break;
      case 7: OpenLobby(); break;
      default: break;
    }
  } else if (s == "MP2") {
    Sound("Beep");
    switch (Selection) {
      case 1: StartGame(); break;
      case 2: ToggleReady(); break;
      case 3: ToggleRoundsEdit(); break;
      case 4: OpenLobby(); break;
      default: break;
    }
  } else if (s == "MP") {
    Sound("Beep");
    if (HotSpotSessionRow) {
      SelectedSession = HoverSession;
    } else {
      switch (Selection) {
        case 1: JoinGame(); break;
        case 2: CreateGame(); break;
        case 3: EditSessionName = true; break;
        case 4: EditPlayerName = true; break;
        case 5:
          ShowPleaseWait();
          EnumerateSessions();
          if (!SessionList.empty()) SelectedSession = 0;
          break;
        case 6: OpenQuestion("EnterIP"); break;
        case 7: BuildMainMenu(); break;
        default: break;
      }
    }
  } else if (s == "Options") {
    Sound("Beep");
    if (HotSpotMusicOn) {
      MusicSwitchedOn();
    } else if (HotSpotMusicOff) {
      MusicSwitchedOff();
    } else if (HotSpotSoundOn) {
      SettingsRecord.SoundOn = 1;
    } else if (HotSpotSoundOff) {
      SettingsRecord.SoundOn = 0;
    } else if (HotSpotWindow) {
      if (SettingsRecord.Windowed == 0) {
        SettingsRecord.Windowed = 1;
        ApplyDisplayMode();
      }
    } else if (HotSpotFullScreen) {
      if (SettingsRecord.Windowed == 1) {
        SettingsRecord.Windowed = 0;
        ApplyDisplayMode();
      }
    } else if (Selection == 4) {
      EditAddText = true;
    } else if (Selection == 5) {
      // A failed save is reported; the choices stay in memory and the menu comes back.
      SaveSettingsReported();
      BuildMainMenu();
    }
  } else if (s == "Clear?") {
    Sound("Beep");
    if (Selection == 1) SettingsRecord.ResetHiScores();
    CloseQuestion();
    CurrentScreen = "HiScores";
    Selection = 1;
    ShowSelectedHighlight();
  } else if (s == "HiScores") {
    Sound("Beep");
    switch (Selection) {
      case 1: OpenQuestion("Clear?"); break;
      case 2: OpenWorldPage(); break;
      case 3: BuildMainMenu(); break;
      default: break;
    }
  } else if (s == "Help") {
    Sound("Beep");
    if (Selection == 1 && HelpPage > 1) ShowHelpPage(uint8_t(HelpPage - 1));
    else if (Selection == 2 && HelpPage < SettingsRecord.HelpPages) ShowHelpPage(uint8_t(HelpPage + 1));
    else if (Selection == 3) BuildMainMenu();
  } else if (s == "Send") {
    Sound("Beep");
    Host.PostKeyUp(VK_RETURN);
  }
}

void TGame::MusicSwitchedOn() {
  SettingsRecord.MusicOn = 1;
  if (SongHandle != 0) {
    Music.SongPlay(SongHandle);
    return;
  }
  StartMusic("Sound/1.xm", "Не могу загрузить музыку");
}

void TGame::MusicSwitchedOff() {
  SettingsRecord.MusicOn = 0;
  if (SongHandle != 0) Music.SongStop(SongHandle);
}

void TGame::ToggleRoundsEdit() {
  if (EditRounds) {
    // Digits only reach the buffer, but the stored text comes from a file.
    const int value = RoundCountValue(RoundsText);
    if (value > 1) {
      SettingsRecord.RoundCountText.Assign(RoundsText);
      RoundCount = uint8_t(value);
    }
    EditRounds = false;
  } else if (SessionHost()) {
    RoundsText = SettingsRecord.RoundCountText.Str();
    EditRounds = true;
  }
}

void TGame::ActivateSelected() {
  ClickNeedsHotSpot = false;
  DXDraw1Click();
}

}  // namespace mv
