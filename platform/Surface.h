#pragma once
#include <memory>
#include <string>

#include "platform/Image.h"
#include "platform/Types.h"

namespace mv {

class TCanvas;

// The 800 x 600 back surface the game fills, draws on and flips.
class TSurface {
 public:
  TSurface(int width = 800, int height = 600);
  ~TSurface();
  TSurface(const TSurface&) = delete;
  TSurface& operator=(const TSurface&) = delete;

  int Width() const { return Pixels_.Width; }
  int Height() const { return Pixels_.Height; }
  TRect ClientRect() const { return {0, 0, Width(), Height()}; }
  TImage& Pixels() { return Pixels_; }
  const TImage& Pixels() const { return Pixels_; }

  void Fill(TColor color);
  // The text canvas drawing onto this surface.
  TCanvas& Canvas();

 private:
  TImage Pixels_;
  std::unique_ptr<TCanvas> Canvas_;
};

// Writes the picture as a PNG file; false (and a message on stderr) on failure.
bool SavePng(const TImage& image, const std::string& path);

}  // namespace mv
