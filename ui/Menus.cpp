#include <array>

#include "platform/Canvas.h"
#include "ui/MenuSprites.h"
#include "world/Game.h"

namespace mv {

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

void MarkAllButtonsDead(TGame& g) {
  for (size_t k = 1; k < g.MenuButtons.size(); ++k) {
    g.MenuButtons[k].MarkDead();
    g.MenuButtons[k].reset();
  }
}

}  // namespace

void TGame::ClearHotSpots() {
  HotSpotButton.fill(false);
  HotSpotWindow = HotSpotFullScreen = false;
  HotSpotMusicOn = HotSpotMusicOff = false;
  HotSpotSoundOn = HotSpotSoundOff = false;
  HotSpotAddText = HotSpotOptBack = false;
  HotSpotYes = HotSpotNo = false;
  HotSpotSessionName = HotSpotPlayerName = HotSpotSessionRow = false;
}

void TGame::ShowSelectedHighlight() {
  auto show = [&](size_t count, bool none) {
    for (size_t k = 1; k <= count && k < MenuButtons.size(); ++k)
      if (TMenuB* b = MenuButtons[k].get()) b->Visible = !none && k == Selection;
  };
  if (CurrentScreen == "Menu") {
    show(7, false);
  } else if (CurrentScreen == "HiScores" || CurrentScreen == "Help") {
    show(3, false);
  } else if (CurrentScreen == "Options") {
    // Only Back has a highlight, and it sits in slot 1.
    if (TMenuB* b = MenuButtons[1].get()) b->Visible = Selection == 5;
  } else if (CurrentScreen == "MP") {
    // Items 3 and 4 are the text fields: the frame loop frames them instead.
    show(7, Selection == 3 || Selection == 4);
  } else if (CurrentScreen == "MP2") {
    show(4, false);
  }
}

void TGame::BuildMainMenu() {
  if (SessionOpen()) {
    try {
      DXPlay1->Close();
    } catch (...) {
    }
  }
  EditAddText = EditSessionName = EditPlayerName = EditRounds = false;
  if (NewName) NewName->Visible = true;
  if (NewLogo) NewLogo->Visible = true;
  HotSpotWindow = HotSpotFullScreen = false;
  HotSpotMusicOn = HotSpotMusicOff = false;
  HotSpotSoundOn = HotSpotSoundOff = false;
  HotSpotAddText = HotSpotOptBack = false;
  HotSpotYes = HotSpotNo = false;
  HotSpotSessionName = HotSpotPlayerName = HotSpotSessionRow = false;

  // Whatever screen this is built from (a room, an address entry or the menu
  // itself when the window is asked to close), none of its sprites may stay
  // behind over the new menu.
  MarkAllButtonsDead(*this);
  OptionsBackground.MarkDead();
  HiScoresBackground.MarkDead();
  HelpBackground.MarkDead();
  LobbyBackground.MarkDead();
  HelpSprite.MarkDead();
  CloseQuestion();

  for (size_t k = 1; k <= 7; ++k)
    MenuButtons[k] = new TMenuB(*this, 190, kMainItems[k].Y, kMainItems[k].Picture);

  if (MenuReturnItem < 1 || MenuReturnItem > 7) MenuReturnItem = 7;
  Selection = MenuReturnItem;
  CreditKeySum = 0;
  ClickNeedsHotSpot = true;
  SinglePlayer = true;
  CurrentScreen = "Menu";
  ShowSelectedHighlight();
}

namespace {

struct TSubItem {
  const char* Picture;
  int X, Y;
};

// The pattern the Options, high-score and help screens share.
void ShowSubScreen(TGame& g, const char* screen, const char* background, TSpriteRef<TFonB>& bg_ref,
                   std::initializer_list<TSubItem> items, uint8_t selection) {
  MarkAllButtonsDead(g);
  bg_ref.MarkDead();
  bg_ref = new TFonB(g, background);
  size_t slot = 1;
  for (const TSubItem& it : items) g.MenuButtons[slot++] = new TMenuB(g, it.X, it.Y, it.Picture);
  g.MenuReturnItem = g.Selection;
  g.Selection = selection;
  g.CurrentScreen = screen;
  g.ShowSelectedHighlight();
}

}  // namespace

void TGame::ShowOptions() {
  ShowSubScreen(*this, "Options", "FonOpt", OptionsBackground, {{"OptBack", 24, 466}}, 5);
}

void TGame::ShowHiScores() {
  ShowSubScreen(*this, "HiScores", "FonHScr", HiScoresBackground,
                {{"Clear", 21, 461}, {"World", 308, 459}, {"HScrBack", 24, 520}}, 3);
}

void TGame::ShowHelp() {
  HelpSprite.MarkDead();
  HelpPage = 1;
  HelpSprite = new THlp(*this);
  ShowSubScreen(*this, "Help", "FonHelp", HelpBackground,
                {{"Previos", 27, 462}, {"Next", 404, 462}, {"HelpBack", 24, 536}}, 3);
}

void TGame::ShowHelpPage(uint8_t page) {
  // A stored page count beyond the pictures shipped must not leave the
  // screen without a page: the missing page is simply not turned to.
  if (page < 1 || !DXImageList1.FindOrNull("Hlp" + std::to_string(unsigned(page)))) return;
  const uint8_t old = HelpPage;
  HelpPage = page;
  THlp* next = nullptr;
  try {
    next = new THlp(*this);
  } catch (...) {
    HelpPage = old;
    throw;
  }
  HelpSprite.MarkDead();
  HelpSprite = next;
}

void TGame::ShowPleaseWait() {
  TCanvas& c = Host.Surface().Canvas();
  c.SetFont("Staccato222 BT", 20, false);
  c.SetColor(clRed);
  const std::string text = "PLEASE WAIT ...";
  c.TextOut(400 - c.TextWidth(text) / 2, 110, text);
  Host.Flip();
}

void TGame::SetCursorShown(bool show) { Host.ShowCursor(show); }

void TGame::OpenQuestion(const std::string& screen) {
  // One box at a time: a box left over would stay on screen for good.
  QuestionSprite.MarkDead();
  QuestionSprite = new TAsk(*this, "Qtns");
  Selection = 1;
  CurrentScreen = screen;
}

void TGame::CloseQuestion() {
  QuestionSprite.MarkDead();
  QuestionSprite.reset();
}

}  // namespace mv
