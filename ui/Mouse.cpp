// SPDX-License-Identifier: GPL-3.0-or-later
#include "online/ScoreClient.h"
#include "platform/Keys.h"
#include "ui/MenuSprites.h"
#include "ui/Screens.h"
#include "world/Sprites.h"

namespace mv {

namespace {

constexpr int kCentreX = 400, kCentreY = 300;

bool Inside(int v, int lo, int hi) { return v >= lo && v <= hi; }  // inclusive
bool Between(int v, int lo, int hi) { return v > lo && v < hi; }   // strict

// A lobby or room button: its highlight's box grown by 20 pixels, the help
// line it shows (0: the line stays), and whether its box starts at the left
// screen edge (inclusive at 0).
struct TButtonBox {
  size_t Slot;
  int X, Y;
  uint8_t Help;
  bool FromZero;
};
// A highlight's box grown by `grow` pixels on each side (strict bounds).
struct TGrownBox {
  size_t Slot;
  int X, Y;
};
}  // namespace

// The pointer over each screen.
struct TPointer {
  // Size of the highlight in a slot; a slot without a live sprite has no box.
  static bool SlotSize(TScreens& g, size_t slot, int& w, int& h) {
    TMenuB* b = slot < g.MenuButtons_.size() ? g.MenuButtons_[slot].get() : nullptr;
    if (!b) return false;
    w = b->Width;
    h = b->Height;
    return true;
  }


  template <size_t N>
  static void HitButtons(TScreens& g, int x, int y, const std::array<TButtonBox, N>& boxes) {
    for (const TButtonBox& b : boxes) {
      int w, h;
      if (!SlotSize(g, b.Slot, w, h)) continue;
      const bool in_x = b.FromZero ? (x >= 0 && x < w + b.X + 20) : Between(x, b.X - 20, w + b.X + 20);
      if (in_x && Between(y, b.Y - 20, h + b.Y + 20)) {
        g.Selection_ = uint8_t(b.Slot);
        g.Hot_.Button[b.Slot] = true;
        if (b.Help) g.HelpState_ = b.Help;
      }
    }
  }

  static bool InGrownBox(TScreens& g, const TGrownBox& b, int grow, int x, int y) {
    int w, h;
    if (!SlotSize(g, b.Slot, w, h)) return false;
    return Between(x, b.X - grow, b.X + w + grow) && Between(y, b.Y - grow, b.Y + h + grow);
  }

  static void Steer(TScreens& g) {
    TPlayer* p = g.World_.LocalPlayer();
    if (!p) return;
    // Surface pixels: the centre is the middle of the picture wherever the
    // window stands and however it is scaled.
    int px = kCentreX, py = kCentreY;
    g.Host_.GetPointer(px, py);
    bool pull = false;
    if (px > kCentreX && !g.World_.Input().Right) {
      p->SteerLeft = false;
      p->SteerRight = true;
      pull = true;
    }
    if (px < kCentreX && !g.World_.Input().Left) {
      p->SteerLeft = true;
      p->SteerRight = false;
      pull = true;
    }
    if (py > kCentreY && !g.World_.Input().Down) {
      p->SteerUp = false;
      p->SteerDown = true;
      pull = true;
    }
    if (py < kCentreY && !g.World_.Input().Up) {
      p->SteerUp = true;
      p->SteerDown = false;
      pull = true;
    }
    if (pull) g.Host_.WarpPointer(kCentreX, kCentreY);
  }

  static void HitMenu(TScreens& g, int x, int y) {
    static constexpr std::array<std::pair<size_t, int>, 7> kOrder{
        {{7, 149}, {1, 214}, {2, 269}, {3, 326}, {4, 383}, {5, 442}, {6, 499}}};
    for (auto [slot, top] : kOrder) {
      int w, h;
      if (!SlotSize(g, slot, w, h)) continue;
      if (Between(x, 190, 190 + w) && Between(y, top, top + h)) {
        g.Selection_ = uint8_t(slot);
        g.Hot_.Button[slot] = true;
      }
    }
  }

  static void HitThreeButtons(TScreens& g, const std::array<TGrownBox, 3>& boxes, int x, int y) {
    for (const TGrownBox& b : boxes)
      if (InGrownBox(g, b, 20, x, y)) {
        g.Selection_ = uint8_t(b.Slot);
        g.Hot_.Button[b.Slot] = true;
      }
  }

  static void HitOptions(TScreens& g, int x, int y) {
    auto area = [&](int x0, int x1, int y0, int y1, uint8_t sel, bool* flag) {
      const bool in = Inside(x, x0, x1) && Inside(y, y0, y1);
      if (flag) *flag = in;
      if (in) g.Selection_ = sel;
    };
    area(157, 292, 196, 252, 1, &g.Hot_.Window);
    area(308, 509, 196, 252, 1, &g.Hot_.FullScreen);
    area(167, 217, 261, 317, 2, &g.Hot_.MusicOn);
    area(228, 293, 261, 317, 2, &g.Hot_.MusicOff);
    area(167, 293, 261, 317, 2, nullptr);
    area(167, 217, 321, 377, 3, &g.Hot_.SoundOn);
    area(228, 293, 321, 377, 3, &g.Hot_.SoundOff);
    area(167, 293, 321, 377, 3, nullptr);
    g.Hot_.AddText = Between(x, 245, 470) && Inside(y, 376, 434);
    if (g.Hot_.AddText) g.Selection_ = 4;
    int w, h;
    // The Back box is the one the game has always used, a little left of its picture.
    // Only the pointer over it makes a click go back: Back is also selected
    // when the screen opens, wherever the pointer is.
    g.Hot_.OptBack = SlotSize(g, 1, w, h) && Between(x, 4, w + 4) && Between(y, 446, h + 486);
    if (g.Hot_.OptBack) g.Selection_ = 5;
    g.ShowSelectedHighlight();
  }

  static void HitQuestion(TScreens& g, int x, int y) {
    g.Hot_.Yes = Inside(x, 331, 379) && Inside(y, 306, 342);
    if (g.Hot_.Yes) g.Selection_ = 1;
    g.Hot_.No = Inside(x, 411, 459) && Inside(y, 306, 342);
    if (g.Hot_.No) g.Selection_ = 2;
  }

  static void HitLobby(TScreens& g, int x, int y) {
    static constexpr std::array<TButtonBox, 5> kBoxes{{{1, 450, 192, 2, false},
                                                      {2, 450, 245, 3, false},
                                                      {5, 19, 461, 6, true},
                                                      {6, 318, 459, 7, false},
                                                      {7, 24, 520, 8, false}}};
    HitButtons(g, x, y, kBoxes);
    g.Hot_.SessionName = Inside(x, 471, 744) && Inside(y, 318, 371);
    if (g.Hot_.SessionName) {
      g.Selection_ = 3;
      g.HelpState_ = 4;
    }
    g.Hot_.PlayerName = Inside(x, 471, 744) && Inside(y, 396, 449);
    if (g.Hot_.PlayerName) {
      g.Selection_ = 4;
      g.HelpState_ = 5;
    }
    g.Hot_.SessionRow = false;
    const size_t sessions = g.SessionList_.size();
    if (sessions >= 1 && sessions <= 9 && Inside(x, 26, 414)) {
      for (size_t r = 0; r < sessions; ++r) {
        const int top = 222 + 24 * int(r);
        if (Between(y, top, top + 24)) {
          g.HoverSession_ = uint8_t(r);
          g.Hot_.SessionRow = true;
          g.HelpState_ = 11;
        }
      }
    }
    g.ShowSelectedHighlight();
  }

  static void HitRoom(TScreens& g, int x, int y) {
    static constexpr std::array<TButtonBox, 4> kBoxes{{{1, 445, 194, 0, false},
                                                     {2, 445, 254, 0, false},
                                                     {3, 19, 470, 2, true},
                                                     {4, 24, 520, 3, false}}};
    HitButtons(g, x, y, kBoxes);
    g.ShowSelectedHighlight();
  }

  // What lies under the pointer on the screen shown now. Every flag starts
  // from nothing, so what the pointer found on an earlier screen never answers
  // for this one. True when the screen beeps on a new selection.
  static bool HitTest(TScreens& g, int x, int y) {
    g.Hot_.Clear();
    g.Hot_.ResultsOk = false;
    // The host hands over surface pixels in a window and in full screen alike,
    // so the boxes need no correction for the display mode.
    const TScreen s = g.Current_;
    if (s == TScreen::Menu) {
      HitMenu(g, x, y);
      g.ShowSelectedHighlight();
    } else if (s == TScreen::HiScores) {
      HitThreeButtons(g, {{{1, 21, 461}, {2, 308, 459}, {3, 24, 520}}}, x, y);
      g.ShowSelectedHighlight();
    } else if (s == TScreen::Help) {
      HitThreeButtons(g, {{{1, 27, 462}, {2, 404, 462}, {3, 24, 536}}}, x, y);
      g.ShowSelectedHighlight();
    } else if (s == TScreen::Options) {
      HitOptions(g, x, y);
    } else if (s == TScreen::Exit || s == TScreen::ExitGame || s == TScreen::Clear || s == TScreen::Send) {
      HitQuestion(g, x, y);
    } else if (s == TScreen::Lobby) {
      HitLobby(g, x, y);
    } else if (s == TScreen::Room) {
      HitRoom(g, x, y);
    } else {
      if (g.ResultsShown()) g.Hot_.ResultsOk = Inside(x, 376, 424) && Inside(y, 396, 429);
      return false;
    }
    return true;
  }
};

void TScreens::MouseMove(int x, int y) {
  if (Current_ == TScreen::Game && !World_.Held() && World_.SinglePlayer()) TPointer::Steer(*this);
  PointerX_ = x;
  PointerY_ = y;
  const uint8_t previous = Selection_;
  if (HitTest(x, y) && Selection_ != previous) Beep();
}

bool TScreens::HitTest(int x, int y) { return TPointer::HitTest(*this, x, y); }

void TScreens::MouseUp(int button, int x, int y) {
  PointerX_ = x;
  PointerY_ = y;
  if (button == 2 && Current_ != TScreen::Game) Click();
}

void TScreens::Click() {
  EditAddText_ = EditSessionName_ = EditPlayerName_ = false;
  // A click is a fresh answer: whatever a message box left pending is over.
  MessageShown_ = false;
  // A click answers what is under the pointer on the screen shown now. The
  // screen may have changed since the pointer last moved: the first click of
  // a double click opens a screen that the second one must not answer.
  if (ClickNeedsHotSpot_) HitTest(PointerX_, PointerY_);
  // The game-over screen has no boxes to point at; any click goes on.
  const bool anywhere = Current_ == TScreen::GameOver;
  if (!anywhere && ClickNeedsHotSpot_ && !Hot_.Any()) return;
  ClickNeedsHotSpot_ = true;

  if (ResultsShown()) {
    Host_.PostKeyUp(VK_ESCAPE);
    return;
  }

  TSettingsRecord& set = Settings_;
  switch (Current_) {
    case TScreen::GameOver:
      Timer3_.SetEnabled(false);
      CloseQuestion();
      Ui_.LeaveGame();
      break;
    case TScreen::ExitGame:
      Beep();
      if (Selection_ == 1) {
        ExitConfirmed_ = true;
        World_.Timer2().SetEnabled(false);
        World_.SetPaused(false);
        CloseQuestion();
        Ui_.LeaveGame();
      } else {
        ResumeFromExitQuestion();
      }
      break;
    case TScreen::Exit:
      Beep();
      if (Selection_ == 1) {
        // Only a saved game quits; after a failed save (reported once) the
        // question stays, and nothing that is only in memory is lost.
        if (Ui_.SaveSettingsReported()) {
          CloseConfirmed_ = true;
          CloseRequested_ = true;
        }
      } else {
        CloseQuestion();
        Current_ = TScreen::Menu;
        Selection_ = 7;
        ShowSelectedHighlight();
      }
      break;
    case TScreen::Menu:
      Beep();
      switch (Selection_) {
        case 1: Ui_.StartGame(); break;
        case 2: ShowOptions(); break;
        case 3: ShowHiScores(); break;
        case 4: ShowHelp(); break;
        case 5: Host_.ShellOpen(ScoreServerBase() + "/"); break;
        case 6: OpenQuestion(TScreen::Exit); break;
        case 7: OpenLobby(); break;
        default: break;
      }
      break;
    case TScreen::Room:
      Beep();
      switch (Selection_) {
        case 1: Ui_.StartGame(); break;
        case 2: ToggleReady(); break;
        case 3: ToggleRoundsEdit(); break;
        case 4: OpenLobby(); break;
        default: break;
      }
      break;
    case TScreen::Lobby:
      Beep();
      if (Hot_.SessionRow) {
        SelectedSession_ = HoverSession_;
        break;
      }
      switch (Selection_) {
        case 1: JoinGame(); break;
        case 2: CreateGame(); break;
        case 3: EditSessionName_ = true; break;
        case 4: EditPlayerName_ = true; break;
        case 5:
          ShowPleaseWait();
          EnumerateSessions();
          if (!SessionList_.empty()) SelectedSession_ = 0;
          break;
        case 6: OpenQuestion(TScreen::EnterIp); break;
        case 7: BuildMainMenu(); break;
        default: break;
      }
      break;
    case TScreen::Options:
      Beep();
      if (Hot_.MusicOn) {
        Ui_.MusicSwitchedOn();
      } else if (Hot_.MusicOff) {
        Ui_.MusicSwitchedOff();
      } else if (Hot_.SoundOn) {
        set.SoundOn = 1;
      } else if (Hot_.SoundOff) {
        set.SoundOn = 0;
      } else if (Hot_.Window) {
        if (set.Windowed == 0) {
          set.Windowed = 1;
          Ui_.ApplyDisplayMode();
        }
      } else if (Hot_.FullScreen) {
        if (set.Windowed == 1) {
          set.Windowed = 0;
          Ui_.ApplyDisplayMode();
        }
      } else if (Selection_ == 4) {
        EditAddText_ = true;
      } else if (Selection_ == 5) {
        // A failed save is reported; the choices stay in memory and the menu comes back.
        Ui_.SaveSettingsReported();
        BuildMainMenu();
      }
      break;
    case TScreen::Clear:
      Beep();
      if (Selection_ == 1) set.ResetHiScores();
      CloseQuestion();
      Current_ = TScreen::HiScores;
      Selection_ = 1;
      ShowSelectedHighlight();
      break;
    case TScreen::HiScores:
      Beep();
      switch (Selection_) {
        case 1: OpenQuestion(TScreen::Clear); break;
        case 2: OpenWorldPage(); break;
        case 3: BuildMainMenu(); break;
        default: break;
      }
      break;
    case TScreen::Help:
      Beep();
      if (Selection_ == 1 && HelpPage_ > 1)
        ShowHelpPage(uint8_t(HelpPage_ - 1));
      else if (Selection_ == 2 && HelpPage_ < set.HelpPages)
        ShowHelpPage(uint8_t(HelpPage_ + 1));
      else if (Selection_ == 3)
        BuildMainMenu();
      break;
    case TScreen::Send:
      Beep();
      Host_.PostKeyUp(VK_RETURN);
      break;
    default:
      break;
  }
}

void TScreens::ActivateSelected() {
  ClickNeedsHotSpot_ = false;
  Click();
}

}  // namespace mv
