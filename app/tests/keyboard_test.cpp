// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tests/UiFixture.h"

namespace mv {
namespace {

bool IsQuestion(const std::string& s) {
  return s == "Exit?" || s == "ExitGame?" || s == "Clear?" || s == "Send" || s == "EnterName" ||
         s == "EnterIP" || s == "GameOver2";
}

struct TFlow {
  const char* Keys;
  const char* Screen;
  int Selection;
};
// Failures and test lists name the keys, not bytes.
void PrintTo(const TFlow& f, std::ostream* os) {
  *os << '"' << f.Keys << "\" -> " << f.Screen << " " << f.Selection;
}

class MenuFlow : public UiFixture, public ::testing::WithParamInterface<TFlow> {};

TEST_P(MenuFlow, KeysLeadToScreenAndSelection) {
  const TFlow& f = GetParam();
  Keys(f.Keys);
  EXPECT_EQ(Game->Screens().Name(), f.Screen);
  EXPECT_EQ(int(Game->Screens().Selection()), f.Selection);
  EXPECT_EQ(bool(Game->Screens().Question()), IsQuestion(f.Screen));
  const std::string s = f.Screen;
  if (s == "Menu" || s == "HiScores" || s == "Help") {
    EXPECT_EQ(VisibleHighlights(), std::set<int>{f.Selection});
  }
  if (s == "Options") {
    EXPECT_EQ(VisibleHighlights(), f.Selection == 5 ? std::set<int>{1} : std::set<int>{});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Keyboard, MenuFlow,
    ::testing::Values(
        // The main menu runs 7, 1, 2, ..., 6 from the top, cyclic; Left and Right are Up and Down.
        TFlow{"", "Menu", 7}, TFlow{"Down", "Menu", 1}, TFlow{"Up", "Menu", 6},
        TFlow{"Right", "Menu", 1}, TFlow{"Left", "Menu", 6},
        TFlow{"Down Down Down Down Down Down Down", "Menu", 7},
        TFlow{"Up Up Up Up Up Up Up", "Menu", 7},
        // Sub-screens open on their Back item and return to the item that opened them.
        TFlow{"Down Down Enter", "Options", 5}, TFlow{"Down Down Space", "Options", 5},
        TFlow{"Down Down Enter Escape", "Menu", 2}, TFlow{"Down Down Enter Enter", "Menu", 2},
        TFlow{"Down Down Enter Down", "Options", 1}, TFlow{"Down Down Enter Up Up Up Up Up", "Options", 5},
        TFlow{"Down Down Down Enter", "HiScores", 3}, TFlow{"Down Down Down Enter Escape", "Menu", 3},
        TFlow{"Down Down Down Enter Up", "HiScores", 1}, TFlow{"Down Down Down Enter Down", "HiScores", 3},
        TFlow{"Down Down Down Enter Up Down", "HiScores", 3},
        TFlow{"Down Down Down Enter Up Enter", "Clear?", 1},
        TFlow{"Down Down Down Enter Up Enter N", "HiScores", 1},
        TFlow{"Down Down Down Enter Up Enter Right Enter", "HiScores", 1},
        TFlow{"Down Down Down Enter Down Enter", "Menu", 3},
        TFlow{"Down Down Down Down Enter", "Help", 3}, TFlow{"Down Down Down Down Enter Up Enter", "Help", 1},
        TFlow{"Down Down Down Down Enter Escape", "Menu", 4},
        // The exit question: any "NO" leads back to item 7.
        TFlow{"Escape", "Exit?", 1}, TFlow{"Escape Right", "Exit?", 2}, TFlow{"Escape Right Left", "Exit?", 1},
        TFlow{"Escape Right Right", "Exit?", 2}, TFlow{"Escape Escape", "Menu", 7}, TFlow{"Escape N", "Menu", 7},
        TFlow{"Escape Right Enter", "Menu", 7}, TFlow{"Down Down Down Down Down Down Enter", "Exit?", 1},
        TFlow{"Down Down Escape Escape", "Menu", 7}, TFlow{"Down Down Down Down Down Down Enter Right Y", "Menu", 7}));

TEST_F(UiFixture, LeftScreensLeaveNoSprites) {
  const int on_menu = Game->Engine().Count();
  Keys("Down Down Enter Escape Down Enter Escape Down Enter Escape Escape N");
  EXPECT_EQ(Game->Engine().Count(), on_menu);
  EXPECT_FALSE(Game->Screens().Background(TScreen::Options));
  EXPECT_FALSE(Game->Screens().Background(TScreen::HiScores));
  EXPECT_FALSE(Game->Screens().Background(TScreen::Help));
  EXPECT_FALSE(Game->Screens().HelpShown());
}

TEST_F(UiFixture, RebuildingTheMenuOverItselfKeepsOneSetOfHighlights) {
  const int on_menu = Game->Engine().Count();
  Game->Screens().OpenQuestion(TScreen::Exit);
  Game->Screens().BuildMainMenu();
  Collect();
  EXPECT_EQ(Game->Engine().Count(), on_menu);
  EXPECT_EQ(VisibleHighlights(), std::set<int>{7});
}

// The answers of a question are coloured by the frame loop: moving between
// them leaves the highlights of the screen under the box as they were.
TEST_F(UiFixture, QuestionArrowsLeaveTheHighlightsUnderTheBox) {
  for (const char* opener : {"Escape", "Up Enter", "Down Down Down Enter Up Enter"}) {
    SCOPED_TRACE(opener);
    Game->Screens().SetMenuReturnItem(7);
    Game->Screens().BuildMainMenu();
    Collect();
    Keys(opener);
    ASSERT_TRUE(Game->Screens().Question());
    const std::set<int> before = VisibleHighlights();
    ASSERT_FALSE(before.empty());
    Keys("Right");
    EXPECT_EQ(Game->Screens().Selection(), 2);
    EXPECT_EQ(VisibleHighlights(), before);
    Keys("Left");
    EXPECT_EQ(Game->Screens().Selection(), 1);
    EXPECT_EQ(VisibleHighlights(), before);
    Keys("Escape");
  }
}

TEST_F(UiFixture, ClearQuestionAnswers) {
  struct TCase {
    const char* Keys;
    bool Cleared;
  };
  for (const TCase& c : {TCase{"Y", true}, TCase{"Enter", true}, TCase{"Right Y", false},
                         TCase{"Right Enter", false}, TCase{"N", false}, TCase{"Escape", false}}) {
    SCOPED_TRACE(c.Keys);
    Game->SettingsRecord.InsertHiScoreEntry(ScoreCodeOf(5000), "Best");
    Game->Screens().ShowHiScores();
    Keys("Up Enter");
    ASSERT_EQ(Game->Screens().Name(), "Clear?");
    Keys(c.Keys);
    EXPECT_EQ(Game->Screens().Name(), "HiScores");
    EXPECT_EQ(Game->SettingsRecord.HiScores[0].Score(), c.Cleared ? 1000u : 5000u);
    Keys("Escape");
    Game->SettingsRecord.ResetHiScores();
    Game->Screens().SetMenuReturnItem(7);
  }
}

TEST_F(UiFixture, ExitYesSavesAndAsksToClose) {
  Game->SettingsRecord.AddText.Assign("kept");
  Keys("Escape Enter");
  EXPECT_TRUE(Game->Screens().CloseConfirmed());
  EXPECT_TRUE(Game->Screens().CloseRequestPending());
  ASSERT_EQ(std::filesystem::file_size(ConfigPath()), kSettingsSize);
  TSettingsRecord back;
  ASSERT_TRUE(LoadSettings(ConfigPath(), back));
  EXPECT_EQ(back.AddText.Str(), "kept");
}

// Quitting would lose what is only in memory (here a cleared table with a
// new best score): after one box about the failed save the program stays.
TEST_F(UiFixture, ExitYesWithAFailingSaveStaysOpenWithPlainNames) {
  Game->ConfigPath = (Dir / "no-such-folder" / "Config.cfg").string();
  Game->SettingsRecord.InsertHiScoreEntry(ScoreCodeOf(5000), "Best");
  for (const char* answer : {"Y", "Enter", "click"}) {
    SCOPED_TRACE(answer);
    Keys("Escape");
    ASSERT_EQ(Game->Screens().Name(), "Exit?");
    ::testing::internal::CaptureStderr();
    if (std::string(answer) == "click") ClickAt(350, 320);
    else Keys(answer);
    const std::string said = ::testing::internal::GetCapturedStderr();
    size_t boxes = 0;
    for (size_t at = said.find("[message box]"); at != std::string::npos; at = said.find("[message box]", at + 1))
      ++boxes;
    EXPECT_EQ(boxes, 1u) << said;
    EXPECT_FALSE(Game->Screens().CloseRequestPending());
    EXPECT_FALSE(Game->Screens().CloseConfirmed());
    EXPECT_EQ(Game->Screens().Name(), "Exit?");
    EXPECT_EQ(Game->SettingsRecord.HiScores[0].Name.Str(), "Best");
    EXPECT_EQ(Game->SettingsRecord.HiScores[1].Name.Str(), "Anonymous");
    Keys("N");
  }
  // Once the file can be written again, YES saves and quits.
  Game->ConfigPath = ConfigPath();
  Keys("Escape Y");
  EXPECT_TRUE(Game->Screens().CloseRequestPending());
  TSettingsRecord back;
  ASSERT_TRUE(LoadSettings(ConfigPath(), back));
  EXPECT_EQ(back.HiScores[0].Name.Str(), "Best");
}

TEST_F(UiFixture, EnterFlipsTheOptionRows) {
  Keys("Down Down Enter");  // Options, Back selected
  auto& r = Game->SettingsRecord;
  Keys("Down Down Down Enter");  // row 3: sound
  EXPECT_EQ(r.SoundOn, 1);
  r.SoundOn = 0;  // keep the test quiet
  Keys("Enter");
  EXPECT_EQ(r.SoundOn, 1);
  r.SoundOn = 0;
  Keys("Up Up Enter");  // row 1: display
  EXPECT_EQ(r.Windowed, 0);
  EXPECT_TRUE(Host->FullScreen());
  Keys("Enter");
  EXPECT_EQ(r.Windowed, 1);
  EXPECT_FALSE(Host->FullScreen());
  Keys("Down Enter");  // row 2: music, the module is there
  EXPECT_EQ(r.MusicOn, 1);
  EXPECT_NE(Game->Music.Playing(), 0u);
  Keys("Enter");
  EXPECT_EQ(r.MusicOn, 0);
  EXPECT_EQ(Game->Screens().Name(), "Options");
  EXPECT_EQ(Game->Screens().Selection(), 2);
}

TEST_F(UiFixture, MusicWithoutItsModuleSaysSoAndStaysOff) {
  Game->ExeDir = (Dir / "").string();  // no Sound/1.xm here
  Keys("Down Down Enter Down Down");
  ::testing::internal::CaptureStderr();
  Keys("Enter");
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Не могу загрузить музыку"), std::string::npos);
  EXPECT_EQ(Game->SettingsRecord.MusicOn, 0);
}

TEST_F(UiFixture, OptionsTextIsTypedOnlyWhileEdited) {
  Keys("Down Down Enter Up Enter A B 7 Enter C");
  EXPECT_EQ(Game->SettingsRecord.AddText.Str(), "ab7");
  Keys("Enter Backspace D Up E");  // Up ends the editing
  EXPECT_EQ(Game->SettingsRecord.AddText.Str(), "abd");
  EXPECT_FALSE(Game->Screens().EditingAddText());
  Keys("Escape");
  EXPECT_FALSE(std::filesystem::exists(ConfigPath()));  // leaving by keyboard does not save
}

TEST_F(UiFixture, KeysAreSummedAfterLeftAndRightBecomeUpAndDown) {
  Keys("Left Right A");
  EXPECT_EQ(Game->Screens().CreditKeySum(), VK_UP + VK_DOWN + 'A');
  Keys("Down Down Enter Escape");
  EXPECT_EQ(Game->Screens().CreditKeySum(), 0);
}

TEST_F(UiFixture, AltEnterSwitchesTheDisplayAndActivatesNothing) {
  Keys("Down");
  Keys("Enter", ssAlt);
  EXPECT_EQ(Game->Screens().Name(), "Menu");
  EXPECT_EQ(Game->SettingsRecord.Windowed, 0);
  EXPECT_TRUE(Host->FullScreen());
  Keys("Space", ssAlt);
  EXPECT_EQ(Game->Screens().Name(), "Menu");
  EXPECT_EQ(std::filesystem::file_size(ConfigPath()), kSettingsSize);
}

TEST_F(UiFixture, BeepOnEveryChangeOfSelection) {
  Game->SettingsRecord.SoundOn = 1;
  Keys("Down Up");
  EXPECT_EQ(Beeps(), 2);
  Game->Screens().OpenQuestion(TScreen::Exit);
  Keys("Left");  // already YES: no change, no sound
  EXPECT_EQ(Beeps(), 2);
}

// Pause, resume and the exit question of a running single-player game.
TEST_F(UiFixture, HoldingAndResumingAGame) {
  struct TCase {
    const char* Screen;
    bool Single, Held, Paused;
    const char* Keys;
    const char* ScreenAfter;
    bool HeldAfter, PausedAfter;
  };
  for (const TCase& c : {
           TCase{"Game", true, false, false, "P", "Game", true, true},
           TCase{"Game", true, false, false, "P P", "Game", false, false},
           TCase{"Game", true, false, false, "PAUSE", "Game", true, true},
           TCase{"Game", true, false, false, "PAUSE P", "Game", false, false},
           TCase{"Game", true, true, true, "Escape", "Game", false, false},
           TCase{"Game", false, false, false, "P", "Game", false, false},
           TCase{"ExitGame?", true, true, true, "P", "ExitGame?", true, true},
           TCase{"ExitGame?", true, true, true, "Escape", "Game", false, false},
           TCase{"ExitGame?", true, true, true, "N", "Game", false, false},
           TCase{"ExitGame?", true, true, true, "Right Enter", "Game", false, false},
       }) {
    SCOPED_TRACE(std::string(c.Screen) + ": " + c.Keys);
    if (std::string(c.Screen) == "ExitGame?") Game->Screens().OpenQuestion(TScreen::ExitGame);
    else Game->Screens().SetCurrent(ScreenNamed(c.Screen));
    Game->World().SetSinglePlayer(c.Single);
    Game->World().Timer2().SetEnabled(c.Held);
    Game->World().SetPaused(c.Paused);
    Keys(c.Keys);
    EXPECT_EQ(Game->Screens().Name(), c.ScreenAfter);
    EXPECT_EQ(Game->World().Timer2().Enabled(), c.HeldAfter);
    EXPECT_EQ(Game->World().Paused(), c.PausedAfter);
    if (std::string(c.ScreenAfter) == "Game") {
      EXPECT_FALSE(Game->Screens().Question());
    }
  }
}

// After a message box one release of Enter, Escape or Space is the box's;
// any other key is taken as usual.
TEST_F(UiFixture, TheKeyThatClosedAMessageIsNotAnAnswer) {
  struct TCase {
    const char* Keys;
    const char* Screen;
    int Selection;
  };
  for (const TCase& c : {TCase{"Enter", "Menu", 2}, TCase{"Escape", "Menu", 2}, TCase{"Space", "Menu", 2},
                         TCase{"Enter Enter", "Options", 5}, TCase{"Down", "Menu", 3},
                         TCase{"Down Enter", "HiScores", 3}}) {
    SCOPED_TRACE(c.Keys);
    Game->Screens().SetMenuReturnItem(2);
    Game->Screens().BuildMainMenu();
    // A message box closes: its key's release comes after it.
    Game->Screens().GuardNextKey();
    Keys(c.Keys);
    EXPECT_EQ(Game->Screens().Name(), c.Screen);
    EXPECT_EQ(int(Game->Screens().Selection()), c.Selection);
    EXPECT_FALSE(Game->Screens().KeyGuarded());
  }
}

// ---- lobby and room ----------------------------------------------------

// Arrow keys in the lobby (7 items, the two text fields without a highlight)
// and in the room (4 items), with the help line each item brings.
TEST_F(UiFixture, LobbyAndRoomArrows) {
  struct TCase {
    bool Room;
    const char* Keys;
    int Selection, HelpState;
    bool SessionField, PlayerField;
  };
  for (const TCase& c : {
           TCase{false, "Down", 3, 4, true, false}, TCase{false, "Down Down", 4, 5, false, true},
           TCase{false, "Down Down Down", 5, 6, false, false}, TCase{false, "Up", 1, 2, false, false},
           TCase{false, "Up Up", 7, 8, false, false}, TCase{false, "Left Left Right", 1, 2, false, false},
           TCase{false, "Down Down Down Down Down Down", 1, 2, false, false},
           TCase{true, "Down", 3, 2, false, false}, TCase{true, "Down Down", 4, 3, false, false},
           TCase{true, "Down Down Down", 1, 1, false, false}, TCase{true, "Up", 1, 1, false, false},
           TCase{true, "Up Up", 4, 3, false, false}, TCase{true, "Right Right Left", 3, 2, false, false},
       }) {
    SCOPED_TRACE(std::string(c.Room ? "room: " : "lobby: ") + c.Keys);
    Game->Screens().SetMenuReturnItem(7);
    Game->Screens().BuildMainMenu();
    Keys("Enter");
    ASSERT_EQ(Game->Screens().Name(), "MP");
    if (c.Room) Game->Screens().OpenRoom();
    Collect();
    ASSERT_EQ(Game->Screens().Selection(), 2);
    Keys(c.Keys);
    EXPECT_EQ(int(Game->Screens().Selection()), c.Selection);
    EXPECT_EQ(int(Game->Screens().HelpState()), c.HelpState);
    EXPECT_EQ(Game->Screens().HotSpots().SessionName, c.SessionField);
    EXPECT_EQ(Game->Screens().HotSpots().PlayerName, c.PlayerField);
    const bool field = !c.Room && (c.Selection == 3 || c.Selection == 4);
    EXPECT_EQ(VisibleHighlights(), field ? std::set<int>{} : std::set<int>{c.Selection});
    if (c.Room) Keys("Escape");
    Keys("Escape");
    ASSERT_EQ(Game->Screens().Name(), "Menu");
  }
}

// The host's round count: two digits, from the digit row or the keypad, and
// only a count of at least 2 is taken.
TEST_F(UiFixture, RoundCountEntry) {
  struct TCase {
    const char* Keys;
    const char* Stored;  // RoundCountText afterwards
  };
  for (const TCase& c : {
           TCase{"1 2 Enter", "12"}, TCase{"KP9 KP9 Enter", "99"}, TCase{"2 Enter", "2"},
           TCase{"9 8 7 Enter", "98"}, TCase{"3 Backspace 7 Enter", "7"}, TCase{"A 4 Enter", "4"},
           TCase{"0 Enter", "5"}, TCase{"1 Enter", "5"}, TCase{"Enter", "5"},
           TCase{"Backspace Enter", "5"}, TCase{"8 Escape", "5"}, TCase{"8 Down", "5"},
       }) {
    SCOPED_TRACE(c.Keys);
    if (!Game->Net().SessionHost()) {
      Game->Screens().OpenLobby();
      Game->Screens().CreateGame();
      ASSERT_TRUE(Game->Net().SessionHost());
    }
    Game->SettingsRecord.RoundCountText.Assign("5");
    Game->Net().SetRoundCount(5);
    Game->Screens().SetCurrent(TScreen::Room);
    Game->Screens().SetSelection(3);
    // Enter on the field starts the host's edit from the stored count; the
    // cases start from an empty text.
    Keys("Enter Backspace");
    ASSERT_TRUE(Game->Screens().EditingRounds());
    ASSERT_EQ(Game->Screens().RoundsText(), "");
    Keys(c.Keys);
    EXPECT_FALSE(Game->Screens().EditingRounds());
    EXPECT_EQ(Game->Screens().Name(), "MP2");
    EXPECT_EQ(Game->SettingsRecord.RoundCountText.Str(), c.Stored);
    EXPECT_EQ(int(Game->Net().RoundCount()), std::stoi(c.Stored));
    EXPECT_EQ(Game->SettingsRecord.HiScores[0].Name.Str(), "Anonymous");  // nothing typed elsewhere
  }
  // A peer that does not host the session cannot start the edit.
  Game->Net().CloseQuietly();
  Game->Screens().SetCurrent(TScreen::Room);
  Game->Screens().SetSelection(3);
  Keys("Enter 7 Enter");
  EXPECT_FALSE(Game->Screens().EditingRounds());
  EXPECT_EQ(Game->SettingsRecord.RoundCountText.Str(), "5");
}

// ---- name entry --------------------------------------------------------

TEST_F(UiFixture, NameEntryLettersDigitsAndLimits) {
  struct TCase {
    const char* Keys;
    uint8_t Shift;
    const char* Name;
  };
  for (const TCase& c : {TCase{"A B C", 0, "abc"}, TCase{"A B C", ssShift, "ABC"}, TCase{"1 2 3", 0, "123"},
                         TCase{"1 2 3", ssShift, "123"}, TCase{"A B Backspace C", 0, "ac"},
                         TCase{"Backspace", 0, ""}, TCase{"PERIOD SPACE TAB", 0, ""},
                         TCase{"A B C D E F G H I J K", 0, "abcdefghij"}, TCase{"N Y", 0, "ny"},
                         TCase{"A PAUSE B", 0, "ab"}}) {
    SCOPED_TRACE(c.Keys);
    Game->Screens().OpenQuestion(TScreen::EnterName);
    Keys("Backspace Backspace Backspace Backspace Backspace Backspace Backspace Backspace Backspace Backspace");
    ASSERT_EQ(Game->Screens().EnteredName(), "");
    // Space confirms the name: keep it out of the typing cases.
    if (std::string(c.Keys).find("SPACE") != std::string::npos) {
      Keys("PERIOD TAB");
      EXPECT_EQ(Game->Screens().EnteredName(), "");
      continue;
    }
    Keys(c.Keys, c.Shift);
    EXPECT_EQ(Game->Screens().EnteredName(), c.Name);
    EXPECT_EQ(Game->Screens().Name(), "EnterName");
  }
}

TEST_F(UiFixture, ConfirmedNameKeepsTheBoxForTheSendQuestion) {
  Game->Screens().OpenQuestion(TScreen::EnterName);
  const TAsk* box = Game->Screens().Question();
  Keys("Space");
  EXPECT_EQ(Game->Screens().Name(), "Send");
  EXPECT_EQ(Game->Screens().Question(), box);
  EXPECT_EQ(Game->Screens().Selection(), 1);
}

// "EXIT GAME?" answered NO during the game leaves NO selected; the send
// question at the end of that game still opens on YES, as every question does.
TEST_F(UiFixture, SendQuestionOpensOnYesAfterANoDuringTheGame) {
  Game->StartGame();
  Collect();
  Game->World().Timer2().SetEnabled(false);  // the level's hold is over
  Keys("Escape Right Enter");
  ASSERT_EQ(Game->Screens().Name(), "Game");
  ASSERT_EQ(Game->Screens().Selection(), 2);
  Game->World().LocalPlayer()->SetScore(5000);
  Game->Screens().SetExitConfirmed(true);
  Game->LeaveGame();
  ASSERT_EQ(Game->Screens().Name(), "EnterName");
  Keys("Enter");
  EXPECT_EQ(Game->Screens().Name(), "Send");
  EXPECT_EQ(Game->Screens().Selection(), 1);
}

class CapsLockOn : public UiFixture {
 protected:
  std::string Script() const override { return "1 key-down CAPSLOCK\n"; }
};

TEST_F(CapsLockOn, LettersAreUpperCase) {
  Pump();  // the script's frame-1 key press
  ASSERT_TRUE(Host->CapsLock());
  Game->Screens().OpenQuestion(TScreen::EnterName);
  Keys("A B 1");
  Keys("C", ssShift);
  EXPECT_EQ(Game->Screens().EnteredName(), "AB1C");
}

// A game left with a new high score: the name entry and the send question.
class NameEntry : public UiFixture {
 protected:
  void SetUp() override {
    UiFixture::SetUp();
    // A game ends with 750 points, and the player types "Ann".
    Game->StartGame();
    Game->World().LocalPlayer()->SetScore(750);
    Game->Screens().SetExitConfirmed(true);
    Game->LeaveGame();
    ASSERT_EQ(Game->Screens().Name(), "EnterName");
    ASSERT_EQ(Game->World().FinalScoreCode(), ScoreCodeOf(750));
    Keys("A", ssShift);
    Keys("N N");
    ASSERT_EQ(Game->Screens().EnteredName(), "Ann");
    Collect();
  }
  int RankOf(const std::string& name) const {
    for (size_t i = 0; i < kHiScoreCount; ++i)
      if (Game->SettingsRecord.HiScores[i].Name.Str() == name) return int(i) + 1;
    return 0;
  }
};

TEST_F(NameEntry, AnswersOfTheSendQuestion) {
  struct TCase {
    const char* Keys;
    int Rank;  // 0: not entered
  };
  for (const TCase& c : {TCase{"Enter Right Enter", 4}, TCase{"Enter Right Space", 4}, TCase{"Enter N", 0},
                         TCase{"Enter Escape", 0}}) {
    SCOPED_TRACE(c.Keys);
    Keys(c.Keys);
    EXPECT_EQ(Game->Screens().Name(), "HiScores");
    EXPECT_EQ(RankOf("Ann"), c.Rank);
    EXPECT_FALSE(Game->Screens().Question());
    EXPECT_EQ(Game->World().Background()->Image, &Game->DXImageList1.Find("FonMenu"));
    EXPECT_EQ(std::filesystem::exists(ConfigPath()), c.Rank != 0);
    // The next game's name entry.
    Game->SettingsRecord.ResetHiScores();
    std::filesystem::remove(ConfigPath());
    Keys("Escape");
    Game->Screens().OpenQuestion(TScreen::EnterName);
  }
}

TEST_F(NameEntry, RefusedSubmissionStaysOnTheQuestion) {
  // Nothing listens on this port: the submission fails at once.
  setenv("MAROVANE_SCORE_SERVER", "http://127.0.0.1:9", 1);
  Keys("Enter");
  ::testing::internal::CaptureStderr();
  Keys("Y");
  std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Can't connect to server!"), std::string::npos);
  EXPECT_EQ(Game->Screens().Name(), "Send");
  EXPECT_EQ(RankOf("Ann"), 0);
  // The box took the key that closed it: the player's next key answers.
  ::testing::internal::CaptureStderr();
  Keys("Enter");
  said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("Can't connect"), std::string::npos) << "Enter sends again";
  EXPECT_EQ(Game->Screens().Name(), "Send");
  Keys("Right Enter");
  EXPECT_EQ(Game->Screens().Name(), "HiScores");
  EXPECT_EQ(RankOf("Ann"), 4);
  unsetenv("MAROVANE_SCORE_SERVER");
}

TEST_F(NameEntry, EscapeRightAfterARefusedSubmissionLeaves) {
  setenv("MAROVANE_SCORE_SERVER", "http://127.0.0.1:9", 1);
  Keys("Enter Y");
  unsetenv("MAROVANE_SCORE_SERVER");
  ASSERT_EQ(Game->Screens().Name(), "Send");
  Keys("Escape");
  EXPECT_EQ(Game->Screens().Name(), "HiScores");
  EXPECT_EQ(RankOf("Ann"), 0);
}

TEST_F(NameEntry, FailedSaveOfTheNewScoreIsShownAndPlayGoesOn) {
  Game->ConfigPath = (Dir / "no-such-folder" / "Config.cfg").string();
  Keys("Enter Right");
  ::testing::internal::CaptureStderr();
  Keys("Enter");
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("[message box]"), std::string::npos);
  EXPECT_EQ(Game->Screens().Name(), "HiScores");
  EXPECT_EQ(RankOf("Ann"), 4);
  EXPECT_EQ(RankOf("Anonymous"), 1);  // names in memory stay plain
}

// ---- host address ------------------------------------------------------

TEST_F(UiFixture, HostAddressEntry) {
  struct TCase {
    const char* Keys;
    const char* Text;
  };
  for (const TCase& c : {
           TCase{"1 9 2", "192."},
           TCase{"1 9 2 1 6 8 1 PERIOD 1 0", "192.168.1.10"},
           TCase{"1 9 2 KPDECIMAL 1 6 8 KPDECIMAL 1 KPDECIMAL 1 0", "192.168.1.10"},
           TCase{"KP1 KP0 KPDECIMAL KP0 PERIOD KP0 PERIOD KP7", "10.0.0.7"},
           TCase{"1 9 2 PERIOD", "192."},
           TCase{"1 PERIOD PERIOD 2", "1.2"},
           TCase{"PERIOD 1", "1"},
           TCase{"1 1 1 2 2 2 3 3 3 4 4 4 5 PERIOD", "111.222.333.444"},
           TCase{"1 PERIOD 2 PERIOD 3 PERIOD 4 PERIOD 5", "1.2.3.45"},
           TCase{"1 PERIOD Backspace 5", "15"},
           TCase{"1 9 2 Backspace 1", "192.1"},
           TCase{"1 2 Backspace Backspace Backspace", ""},
           TCase{"A B 1", "1"},
       }) {
    SCOPED_TRACE(c.Keys);
    Game->Screens().SetHostIpText("");
    Game->Screens().OpenQuestion(TScreen::EnterIp);
    Keys(c.Keys);
    EXPECT_EQ(Game->Screens().HostIpText(), c.Text);
    EXPECT_EQ(Game->Screens().Name(), "EnterIP");
    Game->Screens().CloseQuestion();
  }
}

TEST_F(UiFixture, HostAddressKeptFromAnEarlierEntryCanBeEdited) {
  Game->Screens().SetHostIpText("10.0.0.1");
  Game->Screens().OpenQuestion(TScreen::EnterIp);
  Keys("Backspace 2 5 5");
  EXPECT_EQ(Game->Screens().HostIpText(), "10.0.0.255");
  Keys("Backspace Backspace Backspace 1 2");
  EXPECT_EQ(Game->Screens().HostIpText(), "10.0.0.12");
}

TEST_F(UiFixture, ShortHostAddressOrEscapeLeavesTheEntry) {
  Game->Screens().OpenQuestion(TScreen::EnterIp);
  Keys("1 PERIOD 2 PERIOD 3 Enter");
  EXPECT_EQ(Game->Screens().Name(), "EnterIP");
  Keys("Escape");
  EXPECT_EQ(Game->Screens().Name(), "MP");
  EXPECT_EQ(Game->Screens().Selection(), 2);
  EXPECT_FALSE(Game->Screens().Question());
  EXPECT_EQ(Game->Screens().HostIpText(), "1.2.3");  // kept for the next entry
}

}  // namespace
}  // namespace mv
