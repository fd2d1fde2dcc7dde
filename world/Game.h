#pragma once
#include <array>
#include <functional>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/Audio.h"
#include "media/Music.h"
#include "media/WaveCollection.h"
#include "net/Messages.h"
#include "net/RoundBook.h"
#include "net/Session.h"
#include "persist/Settings.h"
#include "platform/Host.h"
#include "platform/Random.h"
#include "platform/Timer.h"
#include "sprites/PictureCollection.h"
#include "sprites/Sprite.h"
#include "world/SpriteRef.h"

namespace mv {

class TPlayer;
class TFish;
class TObj;
class TFon;
class TLifes;
class TSklt1;
class TSklt2;
class TBonus;
class TTable;
class TMenuB;
class TFonB;
class TAsk;
class THlp;
class TNewName;
class TNewLogo;

// How a game object is set up: where its files are, how it is seeded, how
// its peer session is reached. Tests make several games in one process.
struct TGameOptions {
  std::string DataDir;     // the program's folder: Data/, Sound/ beneath it
  std::string ConfigPath;  // empty: DataDir + "Config.cfg"
  bool SeedFromClock = true;
  uint32_t Seed = 0;
  TSessionService::TOptions Session;
  // Makes the peer session; empty: a session over ENet with `Session`.
  std::function<std::unique_ptr<TSession>()> MakeSession;
  // "device": the SDL audio device; "wav:PATH": the mix rendered to a WAV
  // file; "none": silent, the mixer still runs offline.
  std::string AudioOut = "device";
  // When set, the results board is written here (NAME FRAGS WINS SCORE a
  // line, in board order) each time it is shown or changes.
  std::string ResultsFile;
  // When set, multiplayer events (eaten fish and objects by number, round
  // ends, a lost session) are appended here a line each, for comparing peers.
  std::string EventLog;
};

// A counter with fixed slots: spawning raises the count and stores the new
// sprite in the slot of that number; leaving lowers the count only.
template <class T, size_t N>
struct TSlotTable {
  uint8_t Count = 0;
  std::array<TSpriteRef<T>, N + 1> Slots{};  // 1-based; [0] unused
};

struct TResultRow {
  std::string Name;
  int32_t Score = 0;
  uint16_t Frags = 0;
  uint8_t Wins = 0;
};

// A folder as `ExeDir` holds it: ending in '/', and "./" for none.
std::string WithSlash(std::string dir);

// Everything the running program knows: the form's components, the screen
// state, the world and the lobby. Handlers live in the folder of their
// subject (app/, world/, ui/, net/) but all act on this one object.
class TGame {
 public:
  TGame(THost& host, const TGameOptions& options);
  ~TGame();
  TGame(const TGame&) = delete;
  TGame& operator=(const TGame&) = delete;

  // ---- components -------------------------------------------------------
  THost& Host;
  TGameOptions Options;
  TDXSpriteEngine DXSpriteEngine1;
  TSpriteEngine& Engine() { return DXSpriteEngine1.Engine(); }
  TPictureCollection DXImageList1;  // menus, dialogs, boards
  TPictureCollection GameImgs;      // the world
  TWaveCollection DXWaveList1;
  TAudioMixer Mixer;
  TMusicPlayer Music;
  uint32_t SongHandle = 0;
  std::unique_ptr<TSession> DXPlay1;
  TTimer Timer1{5000, false};  // freeze of computer fish and objects
  TTimer Timer2{2000, false};  // hold: pause, level/round start, questions
  TTimer Timer3{2500, false};  // game-over screen keeps itself
  TRandom Rand;
  TInputStates Input;  // the four direction states of this frame

  // ---- settings ---------------------------------------------------------
  std::string ExeDir;  // with a trailing '/'
  std::string ConfigPath;
  TSettingsRecord SettingsRecord;

  // ---- screen state -----------------------------------------------------
  std::string CurrentScreen;
  uint8_t Selection = 7;
  uint8_t MenuReturnItem = 7;
  bool SinglePlayer = true;
  bool Paused = false;
  bool RoundIntro = false;
  bool ExitConfirmed = false;
  bool CloseConfirmed = false;
  int32_t CreditKeySum = 0;
  TSpriteRef<TAsk> QuestionSprite;
  uint8_t FrameCounter = 0;
  bool CloseRequested = false;  // the window is to close after this handler

  // ---- world ------------------------------------------------------------
  uint16_t Level = 0;
  int32_t MaxFish = 10;
  int32_t FishSpawnOdds = 50;
  uint8_t MaxFishKind = 3;
  TSlotTable<TFish, 30> FishTable;
  TSlotTable<TObj, 5> ObjectTable;
  bool LevelDone = false;
  uint8_t BackgroundNo = 0;
  std::array<TSpriteRef<TPlayer>, 6> PlayerTable{};
  uint8_t OwnIndex = 0;
  uint8_t NewPlayerIndex = 0;
  // The final score of the last single-player game, kept after its fish is
  // gone so name entry and the table never read a destroyed sprite.
  int32_t FinalScoreCode = 1;

  TSpriteRef<TFon> BackgroundSprite;
  TSpriteRef<TLifes> LifesSprite;
  TSpriteRef<TSklt1> Sklt1Sprite;
  TSpriteRef<TSklt2> Sklt2Sprite;
  TSpriteRef<TBonus> BonusSprite;
  TSpriteRef<TTable> TableSprite;

  // ---- menus --------------------------------------------------------------
  std::array<TSpriteRef<TMenuB>, 8> MenuButtons{};  // slots 1..7
  TSpriteRef<TFonB> OptionsBackground;
  TSpriteRef<TFonB> HiScoresBackground;
  TSpriteRef<TFonB> HelpBackground;
  TSpriteRef<TFonB> LobbyBackground;
  uint8_t HelpPage = 1;
  TSpriteRef<THlp> HelpSprite;
  TNewName* NewName = nullptr;  // created once, never destroyed
  TNewLogo* NewLogo = nullptr;

  // ---- mouse ------------------------------------------------------------
  std::array<bool, 8> HotSpotButton{};  // 1..7
  bool HotSpotWindow = false, HotSpotFullScreen = false;
  bool HotSpotMusicOn = false, HotSpotMusicOff = false;
  bool HotSpotSoundOn = false, HotSpotSoundOff = false;
  bool HotSpotAddText = false, HotSpotOptBack = false;
  bool HotSpotYes = false, HotSpotNo = false;
  bool HotSpotSessionName = false, HotSpotPlayerName = false, HotSpotSessionRow = false;
  bool HotSpotResultsOk = false;
  bool ClickNeedsHotSpot = true;
  int PointerX = -1, PointerY = -1;  // where the last pointer event saw it

  // ---- keyboard and text entry ------------------------------------------
  bool EditAddText = false;
  std::string EnteredName;  // up to 10
  std::string HostIpText;   // up to 15
  uint8_t IpGroupDigits = 0;
  uint8_t IpDots = 0;
  bool MessageShown = false;

  // ---- multiplayer ------------------------------------------------------
  std::array<std::string, 10> SessionNames{};
  std::vector<TSessionInfo> SessionList;  // the last enumeration
  uint8_t SelectedSession = 255;
  uint8_t HoverSession = 0;
  uint8_t HelpState = 0;
  bool EditSessionName = false, EditPlayerName = false, EditRounds = false;
  std::string RoundsText;  // up to 2
  // A round count typed or read from the settings file: its value, or 0
  // unless it is one or two digits.
  static int RoundCountValue(const std::string& text);
  uint8_t RoundCount = 1;
  uint8_t RoundsLeft = 1;
  uint8_t LastRequest = 0;
  bool ResultsDirty = false;
  bool OutOfRound = false;
  bool QuitRequested = false;
  std::array<TResultRow, 6> Results{};
  uint64_t DroppedMessages = 0;  // peer messages that failed validation
  // Fish and objects are numbered by the host; the host alone says who ate
  // which (see net/Messages.h, codes 43 to 45).
  TRoundBook Book;
  // The host's exit question holds this peer (31), until that host's 40.
  bool PeerPaused = false;
  uint32_t PausedBy = 0;
  // The address the lobby lists sessions at: " " for none, or the typed one.
  std::string LobbyHostAddress = " ";

  // ---- app: start-up, timers, window (app/) -----------------------------
  // Start-up in its fixed order; throws with a message naming a missing or
  // broken data file.
  void FormCreate();
  void FormCloseQuery(bool& can_close);
  void FormClose();
  void FormDeactivate();
  void SysMaximise();
  void SysMinimise();
  void Timer1Timer();
  void Timer2Timer();
  void Timer3Timer();
  // One frame: input, move, collect, draw, screen texts, flip.
  void DXTimer1Timer();
  void DrawScreenTexts();
  void StartGame();
  // Every game's start, on the host and on a joiner alike: the game
  // background, music and status sprites.
  void SetUpGameWorld();
  void LeaveGame();
  // Window or full screen as Windowed says, then save.
  void ApplyDisplayMode();
  // SaveSettings with a failure shown to the player instead of thrown.
  bool SaveSettingsReported();
  void ShowMessage(const std::string& text);
  // Time of the message loop, for the timers.
  void PollTimers();

  // ---- world (world/) ---------------------------------------------------
  void StartLevel();
  void SpawnStep();
  // Plays a named effect when effects are on ("Wave '%s' not found" when missing).
  void Sound(const std::string& name);
  // Only with music on: load and play; a failure shows `failure` and
  // switches music off.
  void StartMusic(const std::string& file, const std::string& failure = "Can't load music.");
  void StopAllEffects();
  TPlayer* LocalPlayer() const;
  int32_t LocalScore() const;  // true score of the local fish (0 without one)

  // ---- menus, mouse, keyboard (ui/) --------------------------------------
  void BuildMainMenu();
  void ShowOptions();
  void ShowHiScores();
  void ShowHelp();
  void ShowPleaseWait();
  void SetCursorShown(bool show);
  // Selection := 1, the dialog "Qtns", CurrentScreen := name.
  void OpenQuestion(const std::string& screen);
  void CloseQuestion();
  // "EXIT GAME?" answered NO: back to the game and the own pause ends (40).
  // The hold goes with it only when nothing else holds this peer: another
  // player's pause or a round's start outlasts it.
  void ResumeFromExitQuestion();
  void DXDraw1MouseMove(uint8_t shift, int x, int y);
  void DXDraw1Click();
  void DXDraw1MouseUp(int button, uint8_t shift, int x, int y);
  void FormKeyUp(uint16_t key, uint8_t shift);
  void InsertHiScore();
  bool SendWorldScore();
  void OpenWorldPage();
  void MusicSwitchedOn();
  void MusicSwitchedOff();
  // Exactly the highlight of Selection visible, by the current screen.
  void ShowSelectedHighlight();
  // Every hot-spot flag but the results' OK.
  void ClearHotSpots();
  // The Help screen's page change; a page without a picture is not shown.
  void ShowHelpPage(uint8_t page);
  // Enter and Space act on the selected item wherever the pointer is.
  void ActivateSelected();
  // The room's round count field: first press edits, second takes 2..99.
  void ToggleRoundsEdit();

  // ---- multiplayer (net/) -----------------------------------------------
  void OpenLobby();
  void OpenRoom();
  void CreateGame();
  void JoinGame();
  void ToggleReady();
  // The lobby's list from the current host address.
  void EnumerateSessions();
  // SessionNames from the last enumeration ("1" marks a session in play).
  void RefreshSessionNames();
  // "EnterIP" confirmed: list the sessions at HostIpText.
  void DirectJoin();
  void LeaveJoinedSession();
  // How long a joiner waits for the first other player's state.
  uint32_t JoinWaitMs = 10000;
  // Called while a joiner waits (tests pump the other peers from here).
  std::function<void()> JoinWaitHook;
  bool JoinWaiting = false;  // every peer's state answer counts meanwhile
  void SendGameMessage(TMsgCode code, uint8_t arg8, uint16_t arg16, int32_t arg32);
  void SendPosition(uint16_t x, uint16_t y);
  void DXPlay1AddPlayer(const TSessionPlayer& player);
  void DXPlay1Message(uint32_t from, const uint8_t* data, size_t size);
  void DXPlay1Close();
  // A player left: its fish goes and the fish after it move up one slot,
  // as the session's list does on every peer.
  void DXPlay1DeletePlayer(const TSessionPlayer& player);
  void DXPlay1SessionLost();
  void EndRound(TRoundEnd reason);
  // Ends the round a player finished and left before it could (host only).
  void EndRoundOfGone(const std::string& name);
  // Host: number the fish or object just made (`what` 0 fish, else the
  // object kind) and send its tag; returns the number.
  uint16_t AnnounceSpawn(uint8_t what, uint8_t size);
  // The local fish meets a numbered fish or object: the host decides at
  // once, a guest asks the host.
  void OwnFishMeets(uint8_t what, uint16_t number);
  // Host: the first eater of a number gets it; false when it was taken,
  // unknown or the round is over.
  bool DecideEaten(uint16_t number, uint32_t eater_id, bool heard = false);
  // Every peer, in the host's order: the sprite goes, the eater is credited.
  void ApplyEaten(uint8_t what, uint16_t number, uint32_t eater_id);
  // The results rows from every player's fish, ranked; written to
  // Options.ResultsFile when that is set.
  void BuildResults();
  void LogEvent(const std::string& line);
  // The session went away under a game or the room: the world goes and
  // the lobby opens.
  void LeaveLostSession();
  bool SessionOpen() const;
  bool SessionHost() const;
  int SessionPlayerCount() const;
  // Position of a player id in the session's list; -1 when absent.
  int SlotOfPlayer(uint32_t id) const;
};

}  // namespace mv
