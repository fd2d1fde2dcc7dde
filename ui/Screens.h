// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The screens: which one is shown, what is highlighted and being typed,
// the menu sprites and the question box, the lobby's list of games, and
// the key and pointer handlers that move between them.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "net/NetGame.h"
#include "net/Session.h"
#include "persist/Settings.h"
#include "platform/Host.h"
#include "platform/Timer.h"
#include "sprites/PictureCollection.h"
#include "sprites/Sprite.h"
#include "world/SpriteRef.h"
#include "world/World.h"

namespace mv {

class TMenuB;
class TFonB;
class TAsk;
class THlp;
class TNewName;
class TNewLogo;

enum class TScreen : uint8_t {
  None,  // before the main menu is first built
  Menu,
  Options,
  HiScores,
  Clear,
  Help,
  Exit,
  Lobby,
  EnterIp,
  Room,
  Game,
  ExitGame,
  Skeleton,
  GameOver,
  EnterName,
  Send,
};

// The screen's own name, as logs and tests know it ("Menu", "Exit?", "MP",
// "MP2", "Scelet", "GameOver2", ...; "" for none).
const char* ScreenName(TScreen screen);
// The screen of that name; None for a name that is no screen's.
TScreen ScreenNamed(const std::string& name);

// What the screens ask of the program: starting and leaving games, the
// display, the settings file, the music.
class TUiHost {
 public:
  virtual ~TUiHost() = default;
  virtual void StartGame() = 0;
  virtual void LeaveGame() = 0;
  // Window or full screen as the settings say, then save.
  virtual void ApplyDisplayMode() = 0;
  // Saves the settings; a failure is shown to the player, and false.
  virtual bool SaveSettingsReported() = 0;
  virtual void MusicSwitchedOn() = 0;
  virtual void MusicSwitchedOff() = 0;
  virtual void ShowMessage(const std::string& text) = 0;
};

// The places the pointer can be over, found anew at each move.
struct THotSpots {
  std::array<bool, 8> Button{};  // 1..7
  bool Window = false, FullScreen = false;
  bool MusicOn = false, MusicOff = false;
  bool SoundOn = false, SoundOff = false;
  bool AddText = false, OptBack = false;
  bool Yes = false, No = false;
  bool SessionName = false, PlayerName = false, SessionRow = false;
  bool ResultsOk = false;
  // Every spot but the results' OK.
  void Clear();
  bool Any() const;
};

class TScreens {
 public:
  TScreens(TUiHost& ui_host, THost& host, TSpriteEngine& engine, TPictureCollection& pictures, TWorld& world,
           TNetGame& net, TSettingsRecord& settings);
  TScreens(const TScreens&) = delete;
  TScreens& operator=(const TScreens&) = delete;

  // ---- the screen ------------------------------------------------------
  TScreen Current() const { return Current_; }
  std::string Name() const { return ScreenName(Current_); }
  bool Is(TScreen s) const { return Current_ == s; }
  void SetCurrent(TScreen s) { Current_ = s; }
  // What the world sees of it.
  TScene Scene() const;
  uint8_t Selection() const { return Selection_; }
  void SetSelection(uint8_t s) { Selection_ = s; }
  uint8_t MenuReturnItem() const { return MenuReturnItem_; }
  void SetMenuReturnItem(uint8_t item) { MenuReturnItem_ = item; }
  // Leaving the running game needs no further question.
  bool ExitConfirmed() const { return ExitConfirmed_; }
  void SetExitConfirmed(bool on) { ExitConfirmed_ = on; }
  // The window may close; CloseRequested: it is to close after this handler.
  bool CloseConfirmed() const { return CloseConfirmed_; }
  bool TakeCloseRequest();
  bool CloseRequestPending() const { return CloseRequested_; }
  int32_t CreditKeySum() const { return CreditKeySum_; }
  // The game-over screen keeps itself.
  TTimer& Timer3() { return Timer3_; }
  // The multiplayer results are on screen.
  bool ResultsShown() const;

  // ---- building screens ------------------------------------------------
  // Start-up's last steps: the title sprites and the main menu.
  void Start();
  void BuildMainMenu();
  void ShowOptions();
  void ShowHiScores();
  void ShowHelp();
  // The Help screen's page change; a page without a picture is not shown.
  void ShowHelpPage(uint8_t page);
  uint8_t HelpPage() const { return HelpPage_; }
  // Drawn and flipped before a call that blocks.
  void ShowPleaseWait();
  void SetCursorShown(bool show);
  // Selection := 1, the dialog "Qtns", the screen := `screen`.
  void OpenQuestion(TScreen screen);
  // The dark box under GAME OVER: the skeleton has risen.
  void OpenGameOver();
  // The box of name entry over the game that ended.
  void OpenNameEntry();
  void CloseQuestion();
  bool QuestionOpen() const;
  const TAsk* Question() const { return QuestionSprite_.get(); }
  // The highlight in a slot of the current screen (null for none).
  const TMenuB* Button(size_t slot) const { return slot < MenuButtons_.size() ? MenuButtons_[slot].get() : nullptr; }
  // The background of a secondary screen while it stands (Options,
  // HiScores, Help; Lobby and Room share one).
  const TFonB* Background(TScreen screen) const;
  const THlp* HelpShown() const { return HelpSprite_.get(); }
  // Exactly the highlight of Selection visible, by the current screen.
  void ShowSelectedHighlight();
  // The room's background and buttons go (its game starts).
  void RemoveRoom();
  // The main menu's buttons go (a single-player game starts).
  void RemoveMainMenu();
  // Title sprites hidden while a game runs.
  void HideTitle();

  // ---- the lobby and the room ------------------------------------------
  void OpenLobby();
  void OpenRoom();
  void CreateGame();
  void JoinGame();
  void ToggleReady();
  // The lobby's list from the current host address.
  void EnumerateSessions();
  // The rows from the last enumeration ("1" marks a session in play).
  void RefreshSessionNames();
  // "EnterIP" confirmed: list the sessions at the typed address.
  void DirectJoin();
  void LeaveJoinedSession();
  // The room's round count field: first press edits, second takes 2..99.
  void ToggleRoundsEdit();
  // A round count typed or read from the settings file: its value, or 0
  // unless it is one or two digits.
  static int RoundCountValue(const std::string& text);
  // How long a joiner waits for the host's state.
  void SetJoinWait(uint32_t ms) { JoinWaitMs_ = ms; }
  const std::vector<TSessionInfo>& SessionList() const { return SessionList_; }
  const std::string& SessionRow(size_t i) const { return SessionNames_.at(i); }
  uint8_t SelectedSession() const { return SelectedSession_; }
  void SelectSession(uint8_t row) { SelectedSession_ = row; }
  uint8_t HelpState() const { return HelpState_; }

  // ---- input -----------------------------------------------------------
  void KeyUp(uint16_t key, uint8_t shift);
  void MouseMove(int x, int y);
  void MouseUp(int button, int x, int y);
  void Click();
  // Enter and Space act on the selected item wherever the pointer is.
  void ActivateSelected();
  // "EXIT GAME?" answered NO: back to the game and the own pause ends (40).
  // The hold goes with it only when nothing else holds this peer: another
  // player's pause or a round's start outlasts it.
  void ResumeFromExitQuestion();
  const THotSpots& HotSpots() const { return Hot_; }
  // Text being typed: the name for the table, the host's address.
  const std::string& EnteredName() const { return EnteredName_; }
  const std::string& HostIpText() const { return HostIpText_; }
  void SetHostIpText(const std::string& text) { HostIpText_ = text; }
  bool Editing() const { return EditAddText_ || EditSessionName_ || EditPlayerName_ || EditRounds_; }
  bool EditingAddText() const { return EditAddText_; }
  bool EditingSessionName() const { return EditSessionName_; }
  bool EditingPlayerName() const { return EditPlayerName_; }
  bool EditingRounds() const { return EditRounds_; }
  const std::string& RoundsText() const { return RoundsText_; }
  // A message box is closing: the release of the key that closed it is no
  // answer to the screen under it.
  void GuardNextKey() { MessageShown_ = true; }
  bool KeyGuarded() const { return MessageShown_; }

  // ---- the high-score table ----------------------------------------------
  void InsertHiScore();
  bool SendWorldScore();
  void OpenWorldPage();

  // ---- drawing ---------------------------------------------------------
  // The current screen's texts over the sprites.
  void DrawTexts(uint8_t frame_counter);

  // The settings and parts the screens act on.
  TSettingsRecord& Settings() { return Settings_; }

 private:
  friend struct TPointer;
  friend struct TKeys;
  void MarkAllButtonsDead();
  template <size_t N>
  void ShowSubScreen(TScreen screen, const char* background, TSpriteRef<TFonB>& bg_ref,
                     const std::array<std::pair<const char*, std::pair<int, int>>, N>& items, uint8_t selection);
  // What lies under the pointer on the screen shown now. Every flag starts
  // from nothing, so what the pointer found on an earlier screen never
  // answers for this one. True when the screen beeps on a new selection.
  bool HitTest(int x, int y);
  void Beep() { World_.Sound("Beep"); }

  TUiHost& Ui_;
  THost& Host_;
  TSpriteEngine& Engine_;
  TPictureCollection& Pictures_;
  TWorld& World_;
  TNetGame& Net_;
  TSettingsRecord& Settings_;

  TScreen Current_ = TScreen::None;
  uint8_t Selection_ = 7;
  uint8_t MenuReturnItem_ = 7;
  bool ExitConfirmed_ = false;
  bool CloseConfirmed_ = false;
  bool CloseRequested_ = false;
  int32_t CreditKeySum_ = 0;
  TTimer Timer3_{2500, false};
  TSpriteRef<TAsk> QuestionSprite_;

  std::array<TSpriteRef<TMenuB>, 8> MenuButtons_{};  // slots 1..7
  TSpriteRef<TFonB> OptionsBackground_;
  TSpriteRef<TFonB> HiScoresBackground_;
  TSpriteRef<TFonB> HelpBackground_;
  TSpriteRef<TFonB> LobbyBackground_;
  uint8_t HelpPage_ = 1;
  TSpriteRef<THlp> HelpSprite_;
  TNewName* NewName_ = nullptr;  // created once, never destroyed
  TNewLogo* NewLogo_ = nullptr;

  THotSpots Hot_;
  bool ClickNeedsHotSpot_ = true;
  int PointerX_ = -1, PointerY_ = -1;  // where the last pointer event saw it

  bool EditAddText_ = false;
  std::string EnteredName_;  // up to 10
  std::string HostIpText_;   // up to 15
  bool MessageShown_ = false;
  bool EditSessionName_ = false, EditPlayerName_ = false, EditRounds_ = false;
  std::string RoundsText_;  // up to 2

  std::array<std::string, 10> SessionNames_{};
  std::vector<TSessionInfo> SessionList_;  // the last enumeration
  uint8_t SelectedSession_ = 255;
  uint8_t HoverSession_ = 0;
  uint8_t HelpState_ = 0;
  // The address the lobby lists sessions at: " " for none, or the typed one.
  std::string LobbyHostAddress_ = " ";
  uint32_t JoinWaitMs_ = 10000;
};

}  // namespace mv
