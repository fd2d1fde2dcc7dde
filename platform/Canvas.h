// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Image.h"
#include "platform/Types.h"

namespace mv {

// Contrast of two colours as the web's accessibility rules reckon it, from
// their relative luminance: (lighter + 0.05) / (darker + 0.05), 1 to 21.
double ContrastRatio(TColor a, TColor b);

// One text call as it was painted, kept while a canvas records: how well a
// text reads is measured on the frames the game really draws.
struct TTextRecord {
  std::string Text, Font;
  int Size = 0;
  bool Bold = false;
  TColor Color = 0;
  bool Outlined = false;
  TColor OutlineColor = 0;
  int X = 0, Y = 0;
  // The letter pixels: those the letters cover at least half, with the
  // colour that lay beneath just before the letters were painted (for
  // outlined text, the outline), what the call left there, and the index
  // of the character (code point) it belongs to.
  struct TPixel {
    int X, Y;
    TColor Under, Painted;
    int Letter;
  };
  std::vector<TPixel> Pixels;
};

// How one recorded text reads on the finished frame.
struct TReadability {
  int Pixels = 0;      // letter pixels
  int AtLeast3 = 0;    // of them, with 3:1 or more against what lay beneath
  int AtLeast45 = 0;   // 4.5:1 or more
  int Hidden = 0;      // painted over later in the frame (counted as unread)
  // The letter with the smallest share at 3:1 (letters of 8 pixels or more).
  int WorstLetter = -1;
  double WorstLetterShare = 1;
  double Share3() const { return Pixels ? double(AtLeast3) / Pixels : 1; }
};
TReadability MeasureText(const TTextRecord& text, const TImage& frame);

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
  // The text with a ring of `width` pixels in `outline` around every letter,
  // so it reads on any background; placed and measured as TextOut.
  void TextOutOutlined(int x, int y, const std::string& text, TColor outline, int width = 1);
  int TextWidth(const std::string& text);
  // While recording, every text call keeps a TTextRecord until taken.
  void SetRecording(bool on);
  std::vector<TTextRecord> TakeRecords();
  // Outline of the rectangle (Right/Bottom exclusive) with the pen width.
  void FrameRect(const TRect& r);

 private:
  struct Impl;
  std::unique_ptr<Impl> Impl_;
};

}  // namespace mv
