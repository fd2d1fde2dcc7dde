// SPDX-License-Identifier: GPL-3.0-or-later
// The screens and the menus built of highlight sprites over backgrounds.
#include "ui/Screens.h"

#include <array>

#include "platform/Canvas.h"
#include "ui/MenuSprites.h"
#include "world/Sprites.h"

namespace mv {

const char* ScreenName(TScreen screen) {
  switch (screen) {
    case TScreen::None: return "";
    case TScreen::Menu: return "Menu";
    case TScreen::Options: return "Options";
    case TScreen::HiScores: return "HiScores";
    case TScreen::Clear: return "Clear?";
    case TScreen::Help: return "Help";
    case TScreen::Exit: return "Exit?";
    case TScreen::Lobby: return "MP";
    case TScreen::EnterIp: return "EnterIP";
    case TScreen::Room: return "MP2";
    case TScreen::Game: return "Game";
    case TScreen::ExitGame: return "ExitGame?";
    case TScreen::Skeleton: return "Scelet";
    case TScreen::GameOver: return "GameOver2";
    case TScreen::EnterName: return "EnterName";
    case TScreen::Send: return "Send";
  }
  return "";
}

TScreen ScreenNamed(const std::string& name) {
  for (int s = int(TScreen::Menu); s <= int(TScreen::Send); ++s)
    if (name == ScreenName(TScreen(s))) return TScreen(s);
  return TScreen::None;
}

void THotSpots::Clear() {
  const bool ok = ResultsOk;
  *this = {};
  ResultsOk = ok;
}

bool THotSpots::Any() const {
  for (size_t k = 1; k < Button.size(); ++k)
    if (Button[k]) return true;
  return Window || FullScreen || MusicOn || MusicOff || SoundOn || SoundOff || AddText || OptBack || Yes || No ||
         SessionName || PlayerName || SessionRow || ResultsOk;
}

TScreens::TScreens(TUiHost& ui_host, THost& host, TSpriteEngine& engine, TPictureCollection& pictures,
                   TWorld& world, TNetGame& net, TSettingsRecord& settings)
    : Ui_(ui_host),
      Host_(host),
      Engine_(engine),
      Pictures_(pictures),
      World_(world),
      Net_(net),
      Settings_(settings) {}

TScene TScreens::Scene() const {
  switch (Current_) {
    case TScreen::Game: return TScene::Play;
    case TScreen::ExitGame: return TScene::Question;
    case TScreen::Skeleton:
    case TScreen::GameOver:
    case TScreen::EnterName:
    case TScreen::Send: return TScene::Ending;
    default: return TScene::Menus;
  }
}

bool TScreens::TakeCloseRequest() {
  const bool r = CloseRequested_;
  CloseRequested_ = false;
  return r;
}

bool TScreens::ResultsShown() const {
  return Current_ == TScreen::Game && World_.Held() && !World_.SinglePlayer() && !World_.RoundIntro();
}

namespace {

struct TMainItem {
  const char* Picture;
  int Y;
};
// Slot k is item k; on screen they run 7, 1, 2, ..., 6 from the top.
constexpr std::array<TMainItem, 8> kMainItems{{
    {"", 0},
    {"Start", 214},
    {"Opt", 269},
    {"HScores", 326},
    {"Help", 383},
    {"Visit", 442},
    {"Exit", 499},
    {"BMP", 149},
}};

}  // namespace

void TScreens::Start() {
  Selection_ = 7;
  MenuReturnItem_ = 7;
  NewName_ = new TNewName(Engine_, Pictures_);
  NewLogo_ = new TNewLogo(Engine_, Pictures_);
  BuildMainMenu();
}

void TScreens::MarkAllButtonsDead() {
  for (size_t k = 1; k < MenuButtons_.size(); ++k) {
    MenuButtons_[k].MarkDead();
    MenuButtons_[k].reset();
  }
}

void TScreens::ShowSelectedHighlight() {
  auto show = [&](size_t count, bool none) {
    for (size_t k = 1; k <= count && k < MenuButtons_.size(); ++k)
      if (TMenuB* b = MenuButtons_[k].get()) b->Visible = !none && k == Selection_;
  };
  switch (Current_) {
    case TScreen::Menu: show(7, false); break;
    case TScreen::HiScores:
    case TScreen::Help: show(3, false); break;
    case TScreen::Options:
      // Only Back has a highlight, and it sits in slot 1.
      if (TMenuB* b = MenuButtons_[1].get()) b->Visible = Selection_ == 5;
      break;
    case TScreen::Lobby:
      // Items 3 and 4 are the text fields: the screen's texts frame them instead.
      show(7, Selection_ == 3 || Selection_ == 4);
      break;
    case TScreen::Room: show(4, false); break;
    default: break;
  }
}

void TScreens::BuildMainMenu() {
  Net_.CloseQuietly();
  EditAddText_ = EditSessionName_ = EditPlayerName_ = EditRounds_ = false;
  if (NewName_) NewName_->Visible = true;
  if (NewLogo_) NewLogo_->Visible = true;
  // The flags of the spots the menu itself has not: its buttons are found
  // anew at the next move.
  const THotSpots kept = Hot_;
  Hot_ = {};
  Hot_.Button = kept.Button;
  Hot_.ResultsOk = kept.ResultsOk;

  // Whatever screen this is built from (a room, an address entry or the menu
  // itself when the window is asked to close), none of its sprites may stay
  // behind over the new menu.
  MarkAllButtonsDead();
  OptionsBackground_.MarkDead();
  HiScoresBackground_.MarkDead();
  HelpBackground_.MarkDead();
  LobbyBackground_.MarkDead();
  HelpSprite_.MarkDead();
  CloseQuestion();

  for (size_t k = 1; k <= 7; ++k)
    MenuButtons_[k] = new TMenuB(Engine_, Pictures_, 190, kMainItems[k].Y, kMainItems[k].Picture);

  if (MenuReturnItem_ < 1 || MenuReturnItem_ > 7) MenuReturnItem_ = 7;
  Selection_ = MenuReturnItem_;
  CreditKeySum_ = 0;
  ClickNeedsHotSpot_ = true;
  World_.SetSinglePlayer(true);
  Current_ = TScreen::Menu;
  ShowSelectedHighlight();
}

template <size_t N>
void TScreens::ShowSubScreen(TScreen screen, const char* background, TSpriteRef<TFonB>& bg_ref,
                             const std::array<std::pair<const char*, std::pair<int, int>>, N>& items,
                             uint8_t selection) {
  MarkAllButtonsDead();
  bg_ref.MarkDead();
  bg_ref = new TFonB(Engine_, Pictures_, background);
  size_t slot = 1;
  for (const auto& [picture, at] : items)
    MenuButtons_[slot++] = new TMenuB(Engine_, Pictures_, at.first, at.second, picture);
  MenuReturnItem_ = Selection_;
  Selection_ = selection;
  Current_ = screen;
  ShowSelectedHighlight();
}

void TScreens::ShowOptions() {
  ShowSubScreen<1>(TScreen::Options, "FonOpt", OptionsBackground_, {{{"OptBack", {24, 466}}}}, 5);
}

void TScreens::ShowHiScores() {
  ShowSubScreen<3>(TScreen::HiScores, "FonHScr", HiScoresBackground_,
                   {{{"Clear", {21, 461}}, {"World", {308, 459}}, {"HScrBack", {24, 520}}}}, 3);
}

void TScreens::ShowHelp() {
  HelpSprite_.MarkDead();
  HelpPage_ = 1;
  HelpSprite_ = new THlp(Engine_, Pictures_, HelpPage_);
  ShowSubScreen<3>(TScreen::Help, "FonHelp", HelpBackground_,
                   {{{"Previos", {27, 462}}, {"Next", {404, 462}}, {"HelpBack", {24, 536}}}}, 3);
}

void TScreens::ShowHelpPage(uint8_t page) {
  // A stored page count beyond the pictures shipped must not leave the
  // screen without a page: the missing page is simply not turned to.
  if (page < 1 || !Pictures_.FindOrNull("Hlp" + std::to_string(unsigned(page)))) return;
  THlp* next = new THlp(Engine_, Pictures_, page);
  HelpPage_ = page;
  HelpSprite_.MarkDead();
  HelpSprite_ = next;
}

void TScreens::ShowPleaseWait() {
  TCanvas& c = Host_.Surface().Canvas();
  c.SetFont("Staccato222 BT", 20, false);
  c.SetColor(clRed);
  const std::string text = "PLEASE WAIT ...";
  c.TextOut(400 - c.TextWidth(text) / 2, 110, text);
  Host_.Flip();
}

void TScreens::SetCursorShown(bool show) { Host_.ShowCursor(show); }

void TScreens::OpenQuestion(TScreen screen) {
  // One box at a time: a box left over would stay on screen for good.
  QuestionSprite_.MarkDead();
  QuestionSprite_ = new TAsk(Engine_, Pictures_, "Qtns");
  Selection_ = 1;
  Current_ = screen;
}

void TScreens::OpenGameOver() {
  Current_ = TScreen::GameOver;
  // Never two dialogs on screen.
  QuestionSprite_.MarkDead();
  QuestionSprite_ = new TAsk(Engine_, Pictures_, "Qtns", TAsk::kGameOverPattern);
  ExitConfirmed_ = true;
  Timer3_.SetEnabled(true);
}

void TScreens::OpenNameEntry() {
  CloseQuestion();
  QuestionSprite_ = new TAsk(Engine_, Pictures_, "Qtns");
  Current_ = TScreen::EnterName;
}

void TScreens::CloseQuestion() {
  QuestionSprite_.MarkDead();
  QuestionSprite_.reset();
}

bool TScreens::QuestionOpen() const { return bool(QuestionSprite_); }

const TFonB* TScreens::Background(TScreen screen) const {
  switch (screen) {
    case TScreen::Options: return OptionsBackground_.get();
    case TScreen::HiScores: return HiScoresBackground_.get();
    case TScreen::Help: return HelpBackground_.get();
    case TScreen::Lobby:
    case TScreen::Room: return LobbyBackground_.get();
    default: return nullptr;
  }
}

void TScreens::RemoveRoom() {
  for (size_t k = 1; k <= 4; ++k) MenuButtons_[k].MarkDead();
  LobbyBackground_.MarkDead();
}

void TScreens::RemoveMainMenu() {
  for (size_t k = 1; k <= 7; ++k) MenuButtons_[k].MarkDead();
}

void TScreens::HideTitle() {
  if (NewName_) NewName_->Visible = false;
  if (NewLogo_) NewLogo_->Visible = false;
}

}  // namespace mv
