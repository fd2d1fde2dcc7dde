// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace mv {

// How a picture is enlarged to a window or screen bigger than itself.
//  Sharp: every pixel becomes a block as wide as the scale allows, and only
//   where two blocks meet is one screen pixel blended, so pixel art stays
//   crisp at any size (a whole-number enlargement with nearest pixels, the
//   remainder smoothed).
//  Smooth: bilinear everywhere, the softer look.
enum class TScaling { Sharp, Smooth };
bool ParseScaling(const std::string& name, TScaling& out);

// Where a picture of src_w x src_h lands in a dst_w x dst_h area: as large
// as fits with its own proportions, centred.
struct TFitRect {
  int X = 0, Y = 0, W = 0, H = 0;
};
TFitRect FitInside(int src_w, int src_h, int dst_w, int dst_h);

// Scales 0x00RRGGBB pictures, with its sampling tables made once per size.
class TScaler {
 public:
  void Configure(int src_w, int src_h, int dst_w, int dst_h, TScaling mode);
  // `src` and `dst` with their row pitches in pixels.
  void Scale(const uint32_t* src, int src_pitch, uint32_t* dst, int dst_pitch);

 private:
  struct TTap {
    int I0 = 0;      // first source sample
    uint32_t W = 0;  // weight of the next one, 0..256
  };
  static std::vector<TTap> Taps(int src, int dst, TScaling mode);
  void Row(const uint32_t* src, int src_pitch, int y, uint32_t* out) const;

  int SrcW_ = 0, SrcH_ = 0, DstW_ = 0, DstH_ = 0;
  std::vector<TTap> Cols_, Rows_;
  std::vector<uint32_t> RowA_, RowB_;
};

}  // namespace mv
