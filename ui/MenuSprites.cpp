// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/MenuSprites.h"

namespace mv {

TMenuSprite::TMenuSprite(TSpriteEngine& engine, TPictureCollection& pictures, const std::string& picture, int x,
                         int y, int z)
    : TImageSprite(&engine) {
  TPictureCollectionItem& item = pictures.Find(picture);
  Image = &item;
  Width = item.GetPatternWidth();
  Height = item.GetPatternHeight();
  X = x;
  Y = y;
  SetZ(z);
}

TMenuB::TMenuB(TSpriteEngine& engine, TPictureCollection& pictures, int x, int y, const std::string& picture)
    : TMenuSprite(engine, pictures, picture, x, y, 0) {
  Visible = false;
}

TFonB::TFonB(TSpriteEngine& engine, TPictureCollection& pictures, const std::string& picture)
    : TMenuSprite(engine, pictures, picture, 19, picture == "FonMP" ? 134 : 135, -5) {}

TAsk::TAsk(TSpriteEngine& engine, TPictureCollection& pictures, const std::string& picture, int pattern)
    : TMenuSprite(engine, pictures, picture, 210, 170, 11) {
  if (Image && pattern < Image->PatternCount()) FrameIndex = pattern;
}

THlp::THlp(TSpriteEngine& engine, TPictureCollection& pictures, uint8_t page)
    : TMenuSprite(engine, pictures, "Hlp" + std::to_string(unsigned(page)), 19, 187, 0) {}

TNewName::TNewName(TSpriteEngine& engine, TPictureCollection& pictures)
    : TMenuSprite(engine, pictures, "NewName", 126, 16, -1) {}

TNewLogo::TNewLogo(TSpriteEngine& engine, TPictureCollection& pictures)
    : TMenuSprite(engine, pictures, "NewLogo", 602, 527, -1) {}

}  // namespace mv
