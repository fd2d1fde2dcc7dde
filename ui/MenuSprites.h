// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <string>

#include "sprites/PictureCollection.h"
#include "sprites/Sprite.h"

namespace mv {

// A picture of the menus (DXImageList1) placed on the engine.
class TMenuSprite : public TImageSprite {
 public:
  TMenuSprite(TSpriteEngine& engine, TPictureCollection& pictures, const std::string& picture, int x, int y, int z);
};

// Highlight of one selectable item; hidden until selected.
class TMenuB : public TMenuSprite {
 public:
  TMenuB(TSpriteEngine& engine, TPictureCollection& pictures, int x, int y, const std::string& picture);
};
// Background of a secondary screen.
class TFonB : public TMenuSprite {
 public:
  TFonB(TSpriteEngine& engine, TPictureCollection& pictures, const std::string& picture);
};
// The question box; the end of a game has a darker one of its own under
// its white words.
class TAsk : public TMenuSprite {
 public:
  static constexpr int kQuestionPattern = 0, kGameOverPattern = 1;
  TAsk(TSpriteEngine& engine, TPictureCollection& pictures, const std::string& picture,
       int pattern = kQuestionPattern);
};
// One help page: "Hlp" + its number.
class THlp : public TMenuSprite {
 public:
  THlp(TSpriteEngine& engine, TPictureCollection& pictures, uint8_t page);
};
class TNewName : public TMenuSprite {
 public:
  TNewName(TSpriteEngine& engine, TPictureCollection& pictures);
};
class TNewLogo : public TMenuSprite {
 public:
  TNewLogo(TSpriteEngine& engine, TPictureCollection& pictures);
};

}  // namespace mv
