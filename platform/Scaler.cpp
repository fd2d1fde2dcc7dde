// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Scaler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mv {

namespace {

// a and b weighed 256 - w and w, per channel.
inline uint32_t Mix(uint32_t a, uint32_t b, uint32_t w) {
  const uint32_t v = 256 - w;
  const uint32_t rb = (((a & 0xFF00FFu) * v + (b & 0xFF00FFu) * w) >> 8) & 0xFF00FFu;
  const uint32_t g = (((a & 0x00FF00u) * v + (b & 0x00FF00u) * w) >> 8) & 0x00FF00u;
  return rb | g;
}

}  // namespace

bool ParseScaling(const std::string& name, TScaling& out) {
  if (name == "sharp") out = TScaling::Sharp;
  else if (name == "smooth") out = TScaling::Smooth;
  else return false;
  return true;
}

TFitRect FitInside(int src_w, int src_h, int dst_w, int dst_h) {
  TFitRect r;
  if (src_w <= 0 || src_h <= 0 || dst_w <= 0 || dst_h <= 0) return r;
  // Whichever side is the tighter fit decides; the other is rounded.
  if (int64_t(dst_w) * src_h <= int64_t(dst_h) * src_w) {
    r.W = dst_w;
    r.H = std::max(1, int((int64_t(src_h) * dst_w * 2 + src_w) / (2 * int64_t(src_w))));
  } else {
    r.H = dst_h;
    r.W = std::max(1, int((int64_t(src_w) * dst_h * 2 + src_h) / (2 * int64_t(src_h))));
  }
  r.W = std::min(r.W, dst_w);
  r.H = std::min(r.H, dst_h);
  r.X = (dst_w - r.W) / 2;
  r.Y = (dst_h - r.H) / 2;
  return r;
}

std::vector<TScaler::TTap> TScaler::Taps(int src, int dst, TScaling mode) {
  std::vector<TTap> taps(size_t(std::max(dst, 0)));
  const double scale = double(dst) / double(src);
  // Sharp: within a source pixel the sample stays on its centre, and moves
  // across to the next centre only in the last output pixel before the
  // edge. Smaller than the source, both are plain bilinear.
  const double edge = mode == TScaling::Sharp && scale > 1 ? 0.5 - 0.5 / scale : 0;
  for (int o = 0; o < dst; ++o) {
    const double texel = (o + 0.5) / scale;  // in source pixels, centres at i + 0.5
    const double i = std::floor(texel);
    const double from_centre = texel - i - 0.5;
    const double f = (from_centre - std::clamp(from_centre, -edge, edge)) * (edge > 0 ? scale : 1) + 0.5;
    double p = i + f - 0.5;  // centres at whole numbers now
    p = std::clamp(p, 0.0, double(src - 1));
    int i0 = int(std::floor(p));
    uint32_t w = uint32_t(std::lround((p - i0) * 256));
    if (w >= 256) {
      ++i0;
      w = 0;
    }
    if (i0 >= src - 1) {
      i0 = src - 1;
      w = 0;
    }
    taps[size_t(o)] = {i0, w};
  }
  return taps;
}

void TScaler::Configure(int src_w, int src_h, int dst_w, int dst_h, TScaling mode) {
  SrcW_ = src_w;
  SrcH_ = src_h;
  DstW_ = dst_w;
  DstH_ = dst_h;
  Cols_ = Taps(src_w, dst_w, mode);
  Rows_ = Taps(src_h, dst_h, mode);
  RowA_.assign(size_t(std::max(dst_w, 0)), 0);
  RowB_.assign(size_t(std::max(dst_w, 0)), 0);
}

void TScaler::Row(const uint32_t* src, int src_pitch, int y, uint32_t* out) const {
  const uint32_t* s = src + size_t(y) * size_t(src_pitch);
  for (int x = 0; x < DstW_; ++x) {
    const TTap& t = Cols_[size_t(x)];
    out[x] = t.W == 0 ? s[t.I0] : Mix(s[t.I0], s[t.I0 + 1], t.W);
  }
}

void TScaler::Scale(const uint32_t* src, int src_pitch, uint32_t* dst, int dst_pitch) {
  if (DstW_ <= 0 || DstH_ <= 0) return;
  if (DstW_ == SrcW_ && DstH_ == SrcH_) {
    for (int y = 0; y < DstH_; ++y)
      std::memcpy(dst + size_t(y) * size_t(dst_pitch), src + size_t(y) * size_t(src_pitch), size_t(DstW_) * 4);
    return;
  }
  // Each source row is scaled across once; output rows that sit on one
  // source row are copies of it, the others a blend of two.
  int a_row = -1, b_row = -1;
  for (int y = 0; y < DstH_; ++y) {
    const TTap& t = Rows_[size_t(y)];
    uint32_t* out = dst + size_t(y) * size_t(dst_pitch);
    const int need_b = t.W ? t.I0 + 1 : -1;
    if (a_row != t.I0) {
      if (b_row == t.I0) {
        std::swap(RowA_, RowB_);
        std::swap(a_row, b_row);
      } else {
        Row(src, src_pitch, t.I0, RowA_.data());
        a_row = t.I0;
      }
    }
    if (need_b >= 0 && b_row != need_b) {
      Row(src, src_pitch, need_b, RowB_.data());
      b_row = need_b;
    }
    if (!t.W) {
      std::memcpy(out, RowA_.data(), size_t(DstW_) * 4);
    } else {
      for (int x = 0; x < DstW_; ++x) out[x] = Mix(RowA_[size_t(x)], RowB_[size_t(x)], t.W);
    }
  }
}

}  // namespace mv
