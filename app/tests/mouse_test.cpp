// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <thread>
#include <vector>

#include "online/ScoreClient.h"
#include "app/tests/UiFixture.h"

namespace mv {
namespace {

struct THit {
  int X, Y;
  int Selection;  // expected afterwards
};

// Each case starts from `from` and moves the pointer once.
void ExpectHits(TGame& g, const std::vector<THit>& hits, uint8_t from) {
  for (const THit& h : hits) {
    SCOPED_TRACE(std::to_string(h.X) + "," + std::to_string(h.Y));
    g.Screens().SetSelection(from);
    g.Host.WarpPointer(h.X, h.Y);
    g.DXDraw1MouseMove(0, h.X, h.Y);
    EXPECT_EQ(int(g.Screens().Selection()), h.Selection);
  }
}

// Main-menu boxes are the 300 x 46 highlight pictures at X 190, strict bounds.
const std::vector<THit> kMenuHits = {
    {191, 150, 7}, {190, 150, 0}, {489, 194, 7}, {490, 170, 0}, {300, 149, 0}, {300, 215, 1},
    {300, 214, 0}, {300, 259, 1}, {300, 260, 0}, {300, 300, 2}, {300, 350, 3}, {300, 400, 4},
    {300, 450, 5}, {300, 500, 6},  {300, 544, 6}, {300, 545, 0}, {100, 300, 0}};

TEST_F(UiFixture, MainMenuBoxesInAWindowAndInFullScreen) {
  for (uint8_t windowed : {uint8_t(1), uint8_t(0)}) {
    SCOPED_TRACE(windowed ? "window" : "full screen");
    Game->SettingsRecord.Windowed = windowed;
    ExpectHits(*Game, kMenuHits, 0);
  }
  MoveTo(300, 300);
  EXPECT_EQ(VisibleHighlights(), std::set<int>{2});
  EXPECT_TRUE(Game->Screens().HotSpots().Button[2]);
  MoveTo(100, 300);
  EXPECT_EQ(VisibleHighlights(), std::set<int>{2});  // nothing under the pointer: the selection stays
  EXPECT_FALSE(Game->Screens().HotSpots().Button[2]);
}

TEST_F(UiFixture, HighScoreAndHelpBoxesAreGrownBy20) {
  Keys("Down Down Down Enter");
  // Clear 200 x 40 at (21, 461), World at (308, 459), Back at (24, 520); Back wins where they meet.
  ExpectHits(*Game,
             {{2, 442, 1}, {1, 442, 0}, {240, 499, 1}, {241, 480, 0}, {289, 440, 2}, {527, 518, 2},
              {528, 480, 0}, {100, 510, 3}, {243, 579, 3}, {100, 580, 0}},
             0);
  MoveTo(400, 470);
  EXPECT_EQ(VisibleHighlights(), std::set<int>{2});
  Keys("Escape Down Enter");
  // Previos at (27, 462), Next at (404, 462), Back at (24, 536).
  ExpectHits(*Game, {{8, 443, 1}, {7, 443, 0}, {385, 443, 2}, {623, 521, 2}, {624, 500, 0}, {100, 555, 3}},
             0);
}

TEST_F(UiFixture, OptionsAreasAndFlags) {
  Keys("Down Down Enter");
  struct TCase {
    int X, Y;
    int Selection;
    bool THotSpots::*Flag;  // the one flag set, or null
  };
  for (const TCase& c : {
           TCase{157, 196, 1, &THotSpots::Window}, TCase{292, 252, 1, &THotSpots::Window},
           TCase{300, 220, 0, nullptr}, TCase{308, 196, 1, &THotSpots::FullScreen},
           TCase{509, 252, 1, &THotSpots::FullScreen}, TCase{167, 261, 2, &THotSpots::MusicOn},
           TCase{222, 290, 2, nullptr}, TCase{293, 317, 2, &THotSpots::MusicOff},
           TCase{217, 321, 3, &THotSpots::SoundOn}, TCase{228, 377, 3, &THotSpots::SoundOff},
           TCase{246, 400, 4, &THotSpots::AddText}, TCase{245, 400, 0, nullptr},
           TCase{469, 434, 4, &THotSpots::AddText}, TCase{5, 447, 5, nullptr}, TCase{4, 447, 0, nullptr},
           TCase{203, 525, 5, nullptr}, TCase{204, 500, 0, nullptr}, TCase{600, 100, 0, nullptr},
       }) {
    SCOPED_TRACE(std::to_string(c.X) + "," + std::to_string(c.Y));
    Game->Screens().SetSelection(0);
    MoveTo(c.X, c.Y);
    EXPECT_EQ(int(Game->Screens().Selection()), c.Selection);
    for (bool THotSpots::*flag : {&THotSpots::Window, &THotSpots::FullScreen, &THotSpots::MusicOn,
                              &THotSpots::MusicOff, &THotSpots::SoundOn, &THotSpots::SoundOff,
                              &THotSpots::AddText})
      EXPECT_EQ(Game->Screens().HotSpots().*flag, flag == c.Flag);
    EXPECT_EQ(Game->Screens().HotSpots().OptBack, c.Selection == 5);
    EXPECT_EQ(VisibleHighlights(), c.Selection == 5 ? std::set<int>{1} : std::set<int>{});
  }
}

TEST_F(UiFixture, QuestionAnswersUnderThePointer) {
  for (const char* q : {"Exit?", "ExitGame?", "Clear?", "Send"}) {
    SCOPED_TRACE(q);
    Game->Screens().OpenQuestion(ScreenNamed(q));
    ExpectHits(*Game, {{331, 306, 1}, {379, 342, 1}, {330, 320, 0}, {411, 306, 2}, {459, 342, 2},
                              {395, 320, 0}, {420, 343, 0}},
               0);
    MoveTo(400, 320);
    EXPECT_FALSE(Game->Screens().HotSpots().Yes || Game->Screens().HotSpots().No);
    Game->Screens().CloseQuestion();
  }
}

TEST_F(UiFixture, PointerBeepsOnlyWhenTheSelectionChanges) {
  Game->SettingsRecord.SoundOn = 1;
  MoveTo(300, 300);
  MoveTo(310, 305);
  MoveTo(100, 100);
  EXPECT_EQ(Beeps(), 1);
  MoveTo(300, 350);
  EXPECT_EQ(Beeps(), 2);
}

TEST_F(UiFixture, ClicksActOnWhatThePointerFound) {
  ClickAt(100, 100);  // nothing under the pointer
  EXPECT_EQ(Game->Screens().Name(), "Menu");
  ClickAt(300, 350);
  EXPECT_EQ(Game->Screens().Name(), "HiScores");
  ::testing::internal::CaptureStderr();
  ClickAt(400, 470);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find(WorldPageUrl()), std::string::npos);
  ClickAt(30, 470);
  EXPECT_EQ(Game->Screens().Name(), "Clear?");
  ClickAt(420, 320);  // NO
  EXPECT_EQ(Game->Screens().Name(), "HiScores");
  EXPECT_FALSE(Game->Screens().Question());
  ClickAt(100, 540);
  EXPECT_EQ(Game->Screens().Name(), "Menu");
  EXPECT_EQ(Game->Screens().Selection(), 3);
  ClickAt(300, 520);
  EXPECT_EQ(Game->Screens().Name(), "Exit?");
  ClickAt(420, 320);
  EXPECT_EQ(Game->Screens().Name(), "Menu");
  EXPECT_EQ(Game->Screens().Selection(), 7);
  EXPECT_EQ(VisibleHighlights(), std::set<int>{7});
  ::testing::internal::CaptureStderr();
  ClickAt(300, 460);  // Visit
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("[shell open] " + ScoreServerBase()),
            std::string::npos);
  EXPECT_EQ(Game->Screens().Name(), "Menu");
}

TEST_F(UiFixture, RightButtonReleaseIsAClickOutsideAGame) {
  MoveTo(300, 280);
  Game->DXDraw1MouseUp(1, 0, 300, 280);
  EXPECT_EQ(Game->Screens().Name(), "Menu");
  Game->DXDraw1MouseUp(2, 0, 300, 280);
  EXPECT_EQ(Game->Screens().Name(), "Options");
  // During a game, even over the results board, it is no click.
  Game->Screens().SetCurrent(TScreen::Game);
  Game->World().SetSinglePlayer(false);
  Game->World().SetRoundIntro(false);
  Game->World().Timer2().SetEnabled(true);
  MoveTo(400, 410);
  ASSERT_TRUE(Game->Screens().HotSpots().ResultsOk);
  Game->DXDraw1MouseUp(2, 0, 400, 410);
  THostEvent e;
  EXPECT_FALSE(Host->PollEvent(e) && e.Type == THostEvent::KeyUp);
}

// Enter acts on the selection wherever the pointer is; a click after it
// needs something under the pointer again.
TEST_F(UiFixture, EnterActsOnTheSelectionAndAClickNeedsAHotSpot) {
  Keys("Down Down Down Down Enter");
  ASSERT_EQ(Game->Screens().Name(), "Help");
  MoveTo(500, 480);  // over Next
  MoveTo(600, 100);  // off it: Next stays selected
  ASSERT_EQ(Game->Screens().Selection(), 2);
  Keys("Enter");
  EXPECT_EQ(Game->Screens().HelpPage(), 2);
  ClickAt(600, 100);
  EXPECT_EQ(Game->Screens().HelpPage(), 2);
}

TEST_F(UiFixture, OptionsClicks) {
  auto& r = Game->SettingsRecord;
  ClickAt(300, 280);
  ASSERT_EQ(Game->Screens().Name(), "Options");
  ClickAt(190, 340);  // sound ON
  EXPECT_EQ(r.SoundOn, 1);
  ClickAt(260, 340);  // sound OFF
  EXPECT_EQ(r.SoundOn, 0);
  ClickAt(222, 290);  // between music ON and OFF: nothing
  EXPECT_EQ(r.MusicOn, 0);
  ClickAt(190, 290);  // music ON
  EXPECT_EQ(r.MusicOn, 1);
  EXPECT_NE(Game->Music.Playing(), 0u);
  ClickAt(260, 290);
  EXPECT_EQ(r.MusicOn, 0);
  ClickAt(400, 220);  // FULL SCREEN
  EXPECT_EQ(r.Windowed, 0);
  EXPECT_TRUE(Host->FullScreen());
  ClickAt(200, 220);  // WINDOW
  EXPECT_EQ(r.Windowed, 1);
  EXPECT_FALSE(Host->FullScreen());
  ClickAt(300, 400);  // the text field
  EXPECT_TRUE(Game->Screens().EditingAddText());
  Keys("X");
  ClickAt(600, 100);  // a click elsewhere ends the typing
  EXPECT_FALSE(Game->Screens().EditingAddText());
  std::filesystem::remove(ConfigPath());
  ClickAt(50, 480);  // Back saves
  EXPECT_EQ(Game->Screens().Name(), "Menu");
  EXPECT_EQ(Game->Screens().Selection(), 2);
  TSettingsRecord back;
  ASSERT_TRUE(LoadSettings(ConfigPath(), back));
  EXPECT_EQ(back.AddText.Str(), "x");
}

TEST_F(UiFixture, OptionsBackWithAFailingSaveStillReturns) {
  ClickAt(300, 280);
  Game->ConfigPath = (Dir / "no-such-folder" / "Config.cfg").string();
  ::testing::internal::CaptureStderr();
  ClickAt(50, 480);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("[message box]"), std::string::npos);
  EXPECT_EQ(Game->Screens().Name(), "Menu");
  EXPECT_EQ(Game->SettingsRecord.HiScores[9].Name.Str(), "Anonymous");
}

TEST_F(UiFixture, HelpPagesTurnWithinThePicturesThereAre) {
  struct TCase {
    uint8_t Pages;
    int Nexts;
    int Page;
  };
  for (const TCase& c : {TCase{6, 3, 4}, TCase{6, 9, 6}, TCase{1, 2, 1}, TCase{0, 2, 1}, TCase{200, 9, 6}}) {
    SCOPED_TRACE(int(c.Pages));
    Game->SettingsRecord.HelpPages = c.Pages;
    Game->Screens().ShowHelp();
    for (int i = 0; i < c.Nexts; ++i) ClickAt(500, 480);
    EXPECT_EQ(Game->Screens().HelpPage(), c.Page);
    if (c.Nexts >= c.Page) {  // on the last page: Next only beeps
      Game->SettingsRecord.SoundOn = 1;
      const int beeps = Beeps();
      const THlp* page = Game->Screens().HelpShown();
      ClickAt(500, 480);
      EXPECT_EQ(Beeps(), beeps + 1);
      EXPECT_EQ(Game->Screens().HelpShown(), page);
      EXPECT_EQ(Game->Screens().HelpPage(), c.Page);
      Game->SettingsRecord.SoundOn = 0;
    }
    ASSERT_TRUE(Game->Screens().HelpShown());
    EXPECT_EQ(Game->Screens().HelpShown()->Image, &Game->DXImageList1.Find("Hlp" + std::to_string(c.Page)));
    ClickAt(100, 480);  // Previos
    EXPECT_EQ(Game->Screens().HelpPage(), c.Page > 1 ? c.Page - 1 : 1);
    Keys("Escape");
  }
}

// Any click goes on from "GAME OVER"; the name is confirmed with the
// keyboard only, so a double click on "GAME OVER" cannot skip the name.
TEST_F(UiFixture, GameOverTakesAnyClickTheNameOnlyItsKeys) {
  // A lost game whose score enters the table.
  Game->StartGame();
  Collect();
  Game->World().LocalPlayer()->SetScore(950);
  Game->Screens().SetExitConfirmed(true);
  Game->Screens().OpenQuestion(TScreen::GameOver);
  Game->Screens().Timer3().SetEnabled(true);
  ClickAt(600, 100);  // no box there: the click goes on all the same
  EXPECT_FALSE(Game->Screens().Timer3().Enabled());
  ASSERT_EQ(Game->Screens().Name(), "EnterName");
  Game->DXDraw1Click();  // the second click of a double click
  Pump();
  ClickAt(420, 320);
  ASSERT_EQ(Game->Screens().Name(), "EnterName");
  Keys("M", ssShift);
  Keys("O");
  Keys("Enter");
  ASSERT_EQ(Game->Screens().Name(), "Send");
  ClickAt(600, 100);  // not on an answer
  EXPECT_EQ(Game->Screens().Name(), "Send");
  ClickAt(420, 320);  // NO: kept locally
  EXPECT_EQ(Game->Screens().Name(), "HiScores");
  EXPECT_EQ(Game->SettingsRecord.HiScores[1].Name.Str(), "Mo");
  EXPECT_EQ(Game->SettingsRecord.HiScores[1].Score(), 950u);
}

// A click answers only what lies under the pointer on the screen shown now,
// also when the pointer has not moved since that screen came: the second
// click of a double click, a question answered with a key.
TEST_F(UiFixture, DoubleClickOpensAScreenAndStaysThere) {
  struct TCase {
    int X, Y;
    const char* Screen;
  };
  for (const TCase& c : {TCase{300, 520, "Exit?"}, TCase{300, 350, "HiScores"}, TCase{300, 290, "Options"},
                         TCase{300, 400, "Help"}}) {
    SCOPED_TRACE(c.Screen);
    std::filesystem::remove(ConfigPath());
    MoveTo(c.X, c.Y);
    Game->DXDraw1Click();
    Pump();
    Game->DXDraw1Click();
    Pump();
    EXPECT_EQ(Game->Screens().Name(), c.Screen);
    EXPECT_FALSE(Game->Screens().CloseRequestPending());
    EXPECT_FALSE(std::filesystem::exists(ConfigPath())) << "nothing was chosen, nothing saved";
    Keys("Escape");
    ASSERT_EQ(Game->Screens().Name(), "Menu");
  }
}

TEST_F(UiFixture, WhatThePointerFoundOnAnEarlierScreenIsForgotten) {
  // Pointing at YES, answering with Escape, then clicking on nothing.
  Keys("Escape");
  MoveTo(350, 320);
  Keys("Escape");
  ASSERT_EQ(Game->Screens().Name(), "Menu");
  ClickAt(600, 100);
  ClickAt(600, 100);
  EXPECT_EQ(Game->Screens().Name(), "Menu");
  EXPECT_FALSE(Game->Net().SessionOpen());
  // The multiplayer results' OK, then an empty click on "EXIT GAME?".
  Game->Screens().SetCurrent(TScreen::Game);
  Game->World().SetSinglePlayer(false);
  Game->World().SetRoundIntro(false);
  Game->World().Timer2().SetEnabled(true);
  MoveTo(400, 410);
  ASSERT_TRUE(Game->Screens().HotSpots().ResultsOk);
  Game->World().Timer2().SetEnabled(false);
  Game->Screens().BuildMainMenu();
  Keys("Escape");
  ASSERT_EQ(Game->Screens().Name(), "Exit?");
  ClickAt(600, 100);
  EXPECT_EQ(Game->Screens().Name(), "Exit?");
  EXPECT_FALSE(Game->Screens().CloseRequestPending());
  // Options opens with Back selected: a click beside Back is no Back.
  Keys("N Down Down Enter");
  ASSERT_EQ(Game->Screens().Name(), "Options");
  ASSERT_EQ(Game->Screens().Selection(), 5);
  ClickAt(600, 100);
  EXPECT_EQ(Game->Screens().Name(), "Options");
  ClickAt(50, 480);
  EXPECT_EQ(Game->Screens().Name(), "Menu");
}

// ---- the world score over loopback ------------------------------------

// Answers each request with the next reply and remembers the request lines.
class TScoreServerStub {
 public:
  explicit TScoreServerStub(std::vector<std::string> replies) : Replies_(std::move(replies)) {
    Listen_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(Listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(Listen_, reinterpret_cast<sockaddr*>(&a), &len);
    Port = ntohs(a.sin_port);
    listen(Listen_, 4);
    Thread_ = std::thread([this] {
      for (const std::string& reply : Replies_) {
        const int c = accept(Listen_, nullptr, nullptr);
        if (c < 0) return;
        std::string req;
        char buf[2048];
        while (req.find("\r\n\r\n") == std::string::npos) {
          const ssize_t n = recv(c, buf, sizeof buf, 0);
          if (n <= 0) break;
          req.append(buf, size_t(n));
        }
        Requests.push_back(req.substr(0, req.find("\r\n")));
        const std::string out = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                                std::to_string(reply.size()) + "\r\n\r\n" + reply;
        send(c, out.data(), out.size(), 0);
        close(c);
      }
    });
  }
  ~TScoreServerStub() {
    shutdown(Listen_, SHUT_RDWR);
    close(Listen_);
    if (Thread_.joinable()) Thread_.join();
  }
  uint16_t Port = 0;
  std::vector<std::string> Requests;

 private:
  std::vector<std::string> Replies_;
  int Listen_ = -1;
  std::thread Thread_;
};

TEST_F(UiFixture, AcceptedWorldScoreEntersTheTable) {
  TScoreServerStub server({"OK|1.0|a|b|tok42|e", "OK"});
  setenv("MAROVANE_SCORE_SERVER", ("http://127.0.0.1:" + std::to_string(server.Port)).c_str(), 1);
  // A game ends with 2500 points, and the player types "Zed".
  Game->StartGame();
  Game->World().LocalPlayer()->SetScore(2500);
  Game->Screens().SetExitConfirmed(true);
  Game->LeaveGame();
  ASSERT_EQ(Game->Screens().Name(), "EnterName");
  Keys("Z", ssShift);
  Keys("E D");
  Game->SettingsRecord.AddText.Assign("hi");
  Keys("Enter Y");
  unsetenv("MAROVANE_SCORE_SERVER");
  EXPECT_EQ(Game->Screens().Name(), "HiScores");
  EXPECT_EQ(Game->SettingsRecord.HiScores[0].Name.Str(), "Zed");
  ASSERT_EQ(server.Requests.size(), 2u);
  const std::string& sub = server.Requests[1];
  const size_t inf = sub.find("&inf=");
  ASSERT_NE(inf, std::string::npos);
  std::string text;
  ASSERT_TRUE(DecodeScoreText(sub.substr(inf + 5, sub.find(' ', inf) - inf - 5), text));
  EXPECT_EQ(text.rfind("type=0|name=Zed|score=2500|key=", 0), 0u) << text;
  EXPECT_NE(text.find("|p=tok42|add=hi|z="), std::string::npos) << text;
}

// ---- steering ----------------------------------------------------------

TEST_F(UiFixture, PointerSteersTheFishAndIsPulledBack) {
  Game->StartGame();
  Collect();
  Game->World().Timer2().SetEnabled(false);  // the level's hold is over
  TPlayer* p = Game->World().LocalPlayer();
  ASSERT_NE(p, nullptr);
  struct TCase {
    int X, Y;
    TInputStates Held;
    bool L, R, U, D;
    bool Pulled;
  };
  TInputStates none;
  TInputStates right;
  right.Right = true;
  TInputStates up;
  up.Up = true;
  for (const TCase& c : {
           TCase{500, 300, none, false, true, false, false, true},
           TCase{300, 300, none, true, false, false, false, true},
           TCase{400, 420, none, false, false, false, true, true},
           TCase{400, 180, none, false, false, true, false, true},
           TCase{700, 10, none, false, true, true, false, true},
           TCase{400, 300, none, false, false, false, false, false},
           TCase{500, 300, right, false, false, false, false, false},
           TCase{500, 200, up, false, true, false, false, true},
       }) {
    SCOPED_TRACE(std::to_string(c.X) + "," + std::to_string(c.Y));
    p->SteerLeft = p->SteerRight = p->SteerUp = p->SteerDown = false;
    Game->World().SetInput(c.Held);
    MoveTo(c.X, c.Y);
    EXPECT_EQ(p->SteerLeft, c.L);
    EXPECT_EQ(p->SteerRight, c.R);
    EXPECT_EQ(p->SteerUp, c.U);
    EXPECT_EQ(p->SteerDown, c.D);
    int x = 0, y = 0;
    Host->GetPointer(x, y);
    EXPECT_EQ(x == 400 && y == 300, c.Pulled || (c.X == 400 && c.Y == 300));
  }
  // Held games and multiplayer games are not steered by the pointer.
  Game->World().SetInput(none);
  for (int held = 0; held < 2; ++held) {
    Game->World().Timer2().SetEnabled(held == 1);
    Game->World().SetSinglePlayer(held == 1);
    p->SteerRight = false;
    MoveTo(600, 300);
    EXPECT_FALSE(p->SteerRight);
  }
}

}  // namespace
}  // namespace mv
