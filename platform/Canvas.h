// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/Image.h"
#include "platform/Types.h"

namespace mv {

// Text and outlines on a surface. Font names are the game's own ("Staccato222
// BT", "Arial", "Comic Sans MS"); each maps to a free face found through
// fontconfig. Sizes are in points at 96 dpi. Text always has a transparent
// background; positions are the top-left corner of the text.
class TCanvas {
 public:
  // `before_draw`, when given, hears of every rectangle of the target about
  // to change, before any of its pixels is read or written.
  explicit TCanvas(TImage& target, std::function<void(const TRect&)> before_draw = {});
  ~TCanvas();

  void SetFont(const std::string& name, int size, bool bold);
  void SetColor(TColor color);
  void SetPenWidth(int width);
  void TextOut(int x, int y, const std::string& text);
  int TextWidth(const std::string& text);
  // Outline of the rectangle (Right/Bottom exclusive) with the pen width.
  void FrameRect(const TRect& r);

 private:
  struct Impl;
  std::unique_ptr<Impl> Impl_;
};

}  // namespace mv
