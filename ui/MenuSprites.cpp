#include "ui/MenuSprites.h"

namespace mv {

TMenuSprite::TMenuSprite(TGame& game, const std::string& picture, int x, int y, int z)
    : TWorldSprite(game) {
  SetPicture(game.DXImageList1.Find(picture));
  X = x;
  Y = y;
  SetZ(z);
}

TMenuB::TMenuB(TGame& game, int x, int y, const std::string& picture)
    : TMenuSprite(game, picture, x, y, 0) {
  Visible = false;
}

TFonB::TFonB(TGame& game, const std::string& picture)
    : TMenuSprite(game, picture, 19, picture == "FonMP" ? 134 : 135, -5) {}

TAsk::TAsk(TGame& game, const std::string& picture, int pattern) : TMenuSprite(game, picture, 210, 170, 11) {
  if (Image && pattern < Image->PatternCount()) FrameIndex = pattern;
}

THlp::THlp(TGame& game)
    : TMenuSprite(game, "Hlp" + std::to_string(unsigned(game.HelpPage)), 19, 187, 0) {}

TNewName::TNewName(TGame& game) : TMenuSprite(game, "NewName", 126, 16, -1) {}

TNewLogo::TNewLogo(TGame& game) : TMenuSprite(game, "NewLogo", 602, 527, -1) {}

}  // namespace mv
