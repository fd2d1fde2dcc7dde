// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/Image.h"
#include "platform/Types.h"

namespace mv {

class TCanvas;

// The 800 x 600 back surface the game fills, draws on and flips.
//
// Most frames start with a fill at once hidden under an opaque background
// covering the whole surface, and then differ from the frame before only
// where the sprites and texts went. So the surface puts a fill off until
// something needs it, and when the background it last copied covers it again
// copies back only what was drawn over that background since. Every draw
// therefore goes through PixelsIn (naming where it may change pixels), Cover
// or the canvas; Pixels() hands out the whole picture for writing anywhere,
// and the surface then assumes everything changed.
class TSurface {
 public:
  TSurface(int width = 800, int height = 600);
  ~TSurface();
  TSurface(const TSurface&) = delete;
  TSurface& operator=(const TSurface&) = delete;

  int Width() const { return Pixels_.Width; }
  int Height() const { return Pixels_.Height; }
  TRect ClientRect() const { return {0, 0, Width(), Height()}; }
  // For writing anywhere (and for reading): the whole picture, filled.
  // Writes through a reference kept past the next draw go unseen.
  TImage& Pixels();
  // The finished picture, for showing or saving.
  const TImage& Read() const;
  const TImage& Pixels() const { return Read(); }
  // The picture for a draw that changes no pixel outside the w x h
  // rectangle at (x, y).
  TImage& PixelsIn(int x, int y, int w, int h);
  TImage& PixelsIn(const TRect& r) { return PixelsIn(r.Left, r.Top, r.Width(), r.Height()); }

  // Copies `src_rect` of `src` to (x, y), every pixel as it is, when that
  // covers the whole surface; false, with nothing done, when it does not.
  // `stamp` stands for the source's pixels: while the same stamp lives, a
  // source at the same address holds the same pixels, so a second cover by
  // it only copies back what was drawn since the first.
  bool Cover(int x, int y, const TImage& src, const TRect& src_rect,
             const std::shared_ptr<const void>& stamp);

  void Fill(TColor color);
  // The text canvas drawing onto this surface (made with the first text).
  TCanvas& Canvas();

 private:
  void FlushFill() const;
  void Forget() const;

  mutable TImage Pixels_;
  mutable bool FillPending_ = false;
  mutable uint32_t FillColor_ = 0;
  // What the surface holds outside Drawn_: `Src` of the stamped picture at
  // (X, Y), when HaveBackdrop_.
  struct TBackdrop {
    std::weak_ptr<const void> Stamp;
    const uint32_t* Data = nullptr;
    TRect Src;
    int X = 0, Y = 0;
  };
  mutable bool HaveBackdrop_ = false;
  mutable TBackdrop Backdrop_;
  std::vector<TRect> Drawn_;  // clipped to the surface
  // The text part of the platform makes it and knows how it goes: a surface
  // that never shows text needs no fonts.
  std::unique_ptr<TCanvas, void (*)(TCanvas*)> Canvas_{nullptr, nullptr};
};

// Writes the picture as a PNG file; false (and a message on stderr) on failure.
bool SavePng(const TImage& image, const std::string& path);

}  // namespace mv
