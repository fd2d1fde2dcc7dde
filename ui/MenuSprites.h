#pragma once
#include <string>

#include "world/Game.h"
#include "world/Sprites.h"

namespace mv {

// Menu pictures come from DXImageList1; each class only places its picture.
class TMenuSprite : public TWorldSprite {
 public:
  TMenuSprite(TGame& game, const std::string& picture, int x, int y, int z);
};

// Highlight of one selectable item; hidden until selected.
class TMenuB : public TMenuSprite {
 public:
  TMenuB(TGame& game, int x, int y, const std::string& picture);
};
// Background of a secondary screen.
class TFonB : public TMenuSprite {
 public:
  TFonB(TGame& game, const std::string& picture);
};
// The question box; the end of a game has a darker one of its own under
// its white words.
class TAsk : public TMenuSprite {
 public:
  static constexpr int kQuestionPattern = 0, kGameOverPattern = 1;
  TAsk(TGame& game, const std::string& picture, int pattern = kQuestionPattern);
};
// One help page: "Hlp" + HelpPage.
class THlp : public TMenuSprite {
 public:
  explicit THlp(TGame& game);
};
class TNewName : public TMenuSprite {
 public:
  explicit TNewName(TGame& game);
};
class TNewLogo : public TMenuSprite {
 public:
  explicit TNewLogo(TGame& game);
};

}  // namespace mv
