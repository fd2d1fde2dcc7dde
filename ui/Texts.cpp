// SPDX-License-Identifier: GPL-3.0-or-later
// The texts of each screen, drawn over the sprites.
#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "platform/Canvas.h"
#include "ui/Screens.h"
#include "world/Sprites.h"

namespace mv {

namespace {
const char* kDisplayFont = "Staccato222 BT";

std::string Format(const char* fmt, ...) {
  char buf[128];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

// A text field with its blinking cursor, cut to `max` characters.
std::string WithCursor(const std::string& text, bool show, size_t max) {
  std::string s = show ? text + "|" : text;
  return s.size() > max ? s.substr(0, max) : s;
}

class TTextWriter {
 public:
  explicit TTextWriter(TCanvas& c) : C(c) {}
  void Font(int size, bool bold, TColor color, const char* name = kDisplayFont) {
    C.SetFont(name, size, bold);
    C.SetColor(color);
  }
  void Color(TColor color) { C.SetColor(color); }
  // Every text here is ASCII or a name in the settings' 1-byte code page.
  void Out(int x, int y, const std::string& s) { C.TextOut(x, y, AnsiToUtf8(s)); }
  void Frame(int l, int t, int r, int b) {
    C.SetPenWidth(3);
    C.SetColor(clWhite);
    C.FrameRect({l, t, r, b});
  }
  TCanvas& C;
};

void QuestionAnswers(TTextWriter& w, uint8_t selection) {
  if (selection != 1 && selection != 2) return;
  w.Font(22, true, selection == 1 ? clWhite : clBlack);
  w.Out(335, 310, "YES");
  w.Color(selection == 2 ? clWhite : clBlack);
  w.Out(410, 310, "NO");
}
}  // namespace

void TScreens::DrawTexts(uint8_t frame_counter) {
  TTextWriter w(Host_.Surface().Canvas());
  const TScreen s = Current_;
  const bool cursor_early = frame_counter % 32 < 16;
  auto& set = Settings_;

  w.Font(16, true, clWhite);
  if (CreditKeySum_ == 641 && s != TScreen::Game) w.Out(10, 0, "Programming by the Marovane crew");

  if (s == TScreen::Options) {
    w.Font(22, true, clBlack);
    w.Out(295, 210, "/");
    w.Out(220, 275, "/");
    w.Out(220, 335, "/");
    if (set.Windowed) w.Out(315, 210, "FULL SCREEN"); else w.Out(176, 210, "WINDOW");
    if (set.MusicOn) w.Out(236, 275, "OFF"); else w.Out(176, 275, "ON");
    if (set.SoundOn) w.Out(236, 335, "OFF"); else w.Out(176, 335, "ON");
    w.Color(clWhite);
    if (set.Windowed) w.Out(176, 210, "WINDOW"); else w.Out(315, 210, "FULL SCREEN");
    if (set.MusicOn) w.Out(176, 275, "ON"); else w.Out(236, 275, "OFF");
    if (set.SoundOn) w.Out(176, 335, "ON"); else w.Out(236, 335, "OFF");
    switch (Selection_) {
      case 1: w.Frame(171, 207, 495, 248); break;
      case 2: w.Frame(171, 272, 289, 313); break;
      case 3: w.Frame(171, 332, 289, 373); break;
      case 4: w.Frame(260, 385, 455, 425); break;
      default: break;
    }
    w.Font(22, true, clWhite);
    w.Out(268, 390, EditAddText_ ? WithCursor(set.AddText.Str(), cursor_early, 11) : set.AddText.Str());
  } else if (s == TScreen::HiScores) {
    // The table holds scores XOR 1; only the drawing sees true values.
    w.Font(16, false, clRed);
    for (int n = 1; n <= 10; ++n) {
      const auto& e = set.HiScores[size_t(n - 1)];
      // Unsigned, as the table sorts them: 2^31 and more are not negative.
      std::string score = Format("%.10u", unsigned(e.Score()));
      if (n == 1) {
        w.Out(50, 215, "1        " + Format("%.11s", e.Name.Str().c_str()));
        w.Out(390, 215, score);
        w.Color(clBlack);
      } else if (n < 10) {
        int y = 215 + 24 * (n - 1);
        w.Out(50, y, std::to_string(n) + "        " + Format("%.12s", e.Name.Str().c_str()));
        w.Out(390, y, score);
      } else {
        w.Out(45, 431, "10       " + Format("%.12s", e.Name.Str().c_str()));
        w.Out(390, 431, score);
      }
    }
  } else if (s == TScreen::Lobby) {
    size_t games = SessionList_.size();
    if (SelectedSession_ <= 9 && games > 0) {
      w.Font(16, false, clRed);
      const std::string& e = SessionNames_[SelectedSession_];
      int y = 222 + 24 * SelectedSession_;
      std::string num = std::to_string(SelectedSession_ + 1) + ".  ";
      if (!e.empty() && e.back() == '1') {
        w.Out(30, y, num + e.substr(0, e.size() - 1));
        w.Out(330, y, "in Game");
      } else {
        w.Out(30, y, num + e);
      }
      w.Color(clWhite);
      for (size_t i = 0; i < games && i < 10; ++i)
        if (i != SelectedSession_) w.Out(30, int(222 + 24 * i), std::to_string(i + 1) + ".  " + SessionNames_[i]);
    }
    w.Font(22, false, clWhite);
    w.Out(475, 332, EditSessionName_ ? WithCursor(set.SessionName.Str(), cursor_early, 11) : set.SessionName.Str());
    w.Out(475, 410,
          EditPlayerName_ ? WithCursor(set.PlayerNameSetting.Str(), cursor_early, 11) : set.PlayerNameSetting.Str());
    if (Selection_ == 3) w.Frame(470, 329, 745, 365);
    if (Selection_ == 4) w.Frame(470, 407, 745, 443);
    if (Hot_.SessionRow) w.Frame(25, 222 + 24 * HoverSession_, 412, 249 + 24 * HoverSession_);
    static const char* kHelp[] = {
        "",
        "Press CREATE NEW GAME.",
        "Join the game chosen in the schedule to your left.",
        "Create a game. You get the right of the server.",
        "Name of new game.",
        "Player name.",
        "Refresh the schedule of the games.",
        "Enter the direct IP address of the server (for advanced users).",
        "Returne to main menu.",
        "Choose the game in the schedule to your left and enter the name of a player!",
        "Enter the name of a new game and the name of a player!",
        "Games.",
    };
    if (HelpState_ >= 1 && HelpState_ <= 11) {
      w.Font(12, true, clBlack, "Arial");
      w.Out(25, 557, kHelp[HelpState_]);
    }
  } else if (s == TScreen::Room) {
    w.Font(16, false, clWhite);
    int players = Net_.SessionPlayerCount();
    for (int i = 0; i < players && i < 6; ++i) {
      TPlayer* p = World_.Player(size_t(i));
      if (!p) continue;
      int y = 222 + 25 * i;
      w.Out(40, y, p->PlayerName);
      static const char* kReady[] = {"not Ready", "  Ready", " in Game"};
      if (p->ReadyState <= 2) w.Out(275, y, kReady[p->ReadyState]);
    }
    w.Font(12, true, clBlack, "Arial");
    if (HelpState_ == 1) {
      w.Out(25, 557, "Press READY.");
      w.Out(25, 575, "It is necessary to wait until all players are ready, then press START.");
    } else if (HelpState_ == 2) {
      w.Out(25, 557, "Set the number of the rounds.");
    } else if (HelpState_ == 3) {
      w.Out(25, 557, "Returne to Multiplayer menu.");
    }
    w.Font(22, false, clWhite);
    w.Out(260, 467, EditRounds_ ? WithCursor(RoundsText_, cursor_early, 3) : set.RoundCountText.Str());
  } else if (s == TScreen::EnterIp) {
    w.Font(16, true, clBlack);
    w.Out(270, 240, "  PLEASE ENTER HOST-IP");
    w.Out(270, 260, "    THEN PRESS \"ENTER\"");
    w.Font(22, true, clWhite);
    int left = 390 - w.C.TextWidth(HostIpText_) / 2;
    w.Out(left, 300, WithCursor(HostIpText_, !cursor_early, 16));
  } else if (s == TScreen::Send) {
    w.Font(16, false, clBlack);
    w.Out(270, 260, "SEND THE RESULT TO WORLD'S");
    w.Out(270, 280, "       HIGHSCORES PAGE?");
    QuestionAnswers(w, Selection_);
  } else if (s == TScreen::EnterName) {
    w.Font(16, true, clBlack);
    w.Out(290, 340, Format("Your Scores is %8d", World_.FinalScoreCode() ^ 1));
    w.Out(270, 240, "PLEASE ENTER YOUR NAME");
    w.Out(270, 260, "    THEN PRESS \"ENTER\"");
    w.Font(22, true, clWhite);
    w.Out(300, 300, WithCursor(EnteredName_, !cursor_early, 11));
  } else if (s == TScreen::Clear) {
    w.Font(16, false, clRed);
    w.Out(300, 250, "DO YOU WANT TO CLEAR");
    w.Out(300, 280, "THE HIGH SCORE TABLE?");
    QuestionAnswers(w, Selection_);
  } else if (s == TScreen::Game) {
    TPlayer* own = World_.LocalPlayer();
    const bool held = World_.Held();
    if (!World_.SinglePlayer()) {
      w.Font(12, false, clRed);
      if (Net_.SessionOpen() && (World_.RoundIntro() || !held)) {
        int players = Net_.SessionPlayerCount();
        for (int i = 0; i < players && i < 6; ++i) {
          TPlayer* p = World_.Player(size_t(i));
          if (p && p->InPlay) w.Out(p->X + p->NameOffset, p->Y - 20, p->PlayerName + p->Stars);
        }
      }
    }
    w.Font(20, false, clHighlight);
    w.Out(650, 18, Format("%8d", own ? own->Score() : 0));
    if (World_.SinglePlayer()) {
      w.Out(50, 18, Format("%3d", int(World_.Level())));
    } else {
      Pictures_.Find("Rounds").DrawPattern(Host_.Surface(), 10, 0, 0);
      Pictures_.Find("Frags").DrawPattern(Host_.Surface(), 158, 0, 0);
      w.Font(20, false, clHighlight);
      w.Out(50, 18, Format("%3d", Net_.RoundNumber()));
      w.Out(200, 18, Format("%3d", own ? int(own->Frags) : 0));
    }
    w.Font(16, false, clHighlight, "Arial");
    if (own && own->Growth > 0) w.Out(338, 29, Format("%1d", int(own->Growth)));
    if (held) {
      if (World_.Paused()) {
        w.Font(45, false, clWhite);
        w.Out(360, 200, "Pause");
      } else if (World_.RoundIntro()) {
        w.Font(20, false, clWhite);
        w.Out(350, 200, "Round " + std::to_string(Net_.RoundNumber()));
      } else if (!World_.SinglePlayer()) {
        w.Font(22, false, clBlack);
        w.Out(380, 400, "OK");
        w.Font(16, false, clWhite);
        int players = std::min(Net_.SessionPlayerCount(), 6);
        for (int i = 0; i < players; ++i) {
          const TResultRow& r = Net_.Results()[size_t(i)];
          int y = 150 + 30 * i;
          w.Out(70, y, std::to_string(i + 1));
          w.Out(120, y, Format("%.10s", r.Name.c_str()));
          w.Out(360, y, Format("%5d", int(r.Frags)));
          w.Out(470, y, Format("%3d", int(r.Wins)));
          w.Out(610, y, Format("%8d", r.Score));
        }
      } else if (!(own && own->Dying)) {
        w.Font(20, false, clWhite);
        w.Out(350, 200, "Level " + std::to_string(World_.Level()));
      }
    }
  } else if (s == TScreen::GameOver) {
    w.Font(25, true, clWhite);
    w.Out(305, 280, "GAME OVER");
  }

  if (s == TScreen::Exit || s == TScreen::ExitGame) {
    w.Font(24, true, clBlack);
    w.Out(320, 260, "EXIT GAME?");
    QuestionAnswers(w, Selection_);
  }
}

}  // namespace mv
