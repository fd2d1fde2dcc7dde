// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Blit.h"

#include <algorithm>
#include <cstring>

namespace mv {
namespace {

// Intersects the source rectangle with the source picture; false when empty.
bool ClipSource(const TImage& src, TRect& r) {
  r.Left = std::max(r.Left, 0);
  r.Top = std::max(r.Top, 0);
  r.Right = std::min(r.Right, src.Width);
  r.Bottom = std::min(r.Bottom, src.Height);
  return r.Left < r.Right && r.Top < r.Bottom;
}

inline uint32_t Blend(uint32_t d, uint32_t s, uint32_t a) {
  uint32_t ia = 255 - a;
  uint32_t rb = ((s & 0xFF00FF) * a + (d & 0xFF00FF) * ia + 0x800080) >> 8;
  uint32_t g = ((s & 0x00FF00) * a + (d & 0x00FF00) * ia + 0x008000) >> 8;
  // The +0x80 rounding above can spill; mask per channel.
  return (rb & 0xFF00FF) | (g & 0x00FF00);
}

// Nearest-sample stretch; `alpha` 255 means a plain copy.
void Stretch(TImage& dst, const TRect& dst_rect, const TImage& src, TRect sr, bool keyed,
             TColor key, uint32_t alpha) {
  const int dw = dst_rect.Width(), dh = dst_rect.Height();
  if (dw <= 0 || dh <= 0 || dst.Empty() || src.Empty()) return;
  // Steps come from the unclipped source rectangle so that clipping the source
  // does not distort the scale; samples outside the picture are skipped.
  const int sw = sr.Width(), sh = sr.Height();
  if (sw <= 0 || sh <= 0) return;
  const int64_t stepx = (int64_t(sw) << 16) / dw, stepy = (int64_t(sh) << 16) / dh;
  const int x0 = std::max(dst_rect.Left, 0), x1 = std::min(dst_rect.Right, dst.Width);
  const int y0 = std::max(dst_rect.Top, 0), y1 = std::min(dst_rect.Bottom, dst.Height);
  if (x0 >= x1 || y0 >= y1) return;
  const uint32_t k = key & 0xFFFFFF;
  for (int y = y0; y < y1; ++y) {
    int sy = sr.Top + int(((int64_t(y - dst_rect.Top) * stepy) + (stepy >> 1)) >> 16);
    if (sy < 0 || sy >= src.Height) continue;
    const uint32_t* s = src.Row(sy);
    uint32_t* d = dst.Row(y);
    int64_t fx = int64_t(x0 - dst_rect.Left) * stepx + (stepx >> 1);
    for (int x = x0; x < x1; ++x, fx += stepx) {
      int sx = sr.Left + int(fx >> 16);
      if (sx < 0 || sx >= src.Width) continue;
      uint32_t p = s[sx] & 0xFFFFFF;
      if (keyed && p == k) continue;
      d[x] = alpha >= 255 ? p : Blend(d[x], p, alpha);
    }
  }
}

}  // namespace

void BlitKeyed(TImage& dst, int x, int y, const TImage& src, const TRect& src_rect, bool keyed,
               TColor key) {
  TRect sr = src_rect;
  // Clipping the source shifts the destination by the same amount.
  int dx = x + (std::max(sr.Left, 0) - sr.Left), dy = y + (std::max(sr.Top, 0) - sr.Top);
  if (!ClipSource(src, sr)) return;
  int w = sr.Width(), h = sr.Height();
  if (dx < 0) { sr.Left -= dx; w += dx; dx = 0; }
  if (dy < 0) { sr.Top -= dy; h += dy; dy = 0; }
  w = std::min(w, dst.Width - dx);
  h = std::min(h, dst.Height - dy);
  if (w <= 0 || h <= 0) return;
  const uint32_t k = key & 0xFFFFFF;
  for (int row = 0; row < h; ++row) {
    const uint32_t* s = src.Row(sr.Top + row) + sr.Left;
    uint32_t* d = dst.Row(dy + row) + dx;
    if (!keyed) {
      std::memcpy(d, s, size_t(w) * sizeof(uint32_t));
      continue;
    }
    for (int i = 0; i < w; ++i)
      if ((s[i] & 0xFFFFFF) != k) d[i] = s[i];
  }
}

void BlitStretched(TImage& dst, const TRect& dst_rect, const TImage& src, const TRect& src_rect,
                   bool keyed, TColor key) {
  if (dst_rect.Width() == src_rect.Width() && dst_rect.Height() == src_rect.Height()) {
    BlitKeyed(dst, dst_rect.Left, dst_rect.Top, src, src_rect, keyed, key);
    return;
  }
  Stretch(dst, dst_rect, src, src_rect, keyed, key, 255);
}

void BlitAlpha(TImage& dst, const TRect& dst_rect, const TImage& src, const TRect& src_rect,
               bool keyed, TColor key, uint8_t alpha) {
  if (alpha == 0) return;
  Stretch(dst, dst_rect, src, src_rect, keyed, key, alpha);
}

TSpans::TSpans(const TImage& src, const TRect& src_rect, bool keyed, TColor key) {
  TRect r = src_rect;
  if (src_rect.Left < 0 || src_rect.Top < 0 || !ClipSource(src, r) || !(r == src_rect)) return;
  Width_ = r.Width();
  Height_ = r.Height();
  Rows_.reserve(size_t(Height_) + 1);
  const uint32_t k = key & 0xFFFFFF;
  for (int y = 0; y < Height_; ++y) {
    Rows_.push_back(uint32_t(Runs_.size()));
    const uint32_t* s = src.Row(r.Top + y) + r.Left;
    if (!keyed) {
      Runs_.push_back({0, Width_});
      continue;
    }
    for (int x = 0; x < Width_;) {
      while (x < Width_ && (s[x] & 0xFFFFFF) == k) ++x;
      const int start = x;
      while (x < Width_ && (s[x] & 0xFFFFFF) != k) ++x;
      if (x > start) Runs_.push_back({start, x});
    }
  }
  Rows_.push_back(uint32_t(Runs_.size()));
  Solid_ = Width_ > 0 && Height_ > 0 && Runs_.size() == size_t(Height_) &&
           std::all_of(Runs_.begin(), Runs_.end(), [&](const TRun& run) { return run.Start == 0 && run.End == Width_; });
}

// Calls draw(out, in, n) for every visible part of a run.
template <class Draw>
bool DrawRuns(TImage& dst, int x, int y, const TImage& src, const TRect& r, const TSpans& spans,
              Draw draw) {
  if (r.Left < 0 || r.Top < 0 || r.Right > src.Width || r.Bottom > src.Height ||
      r.Width() != spans.Width_ || r.Height() != spans.Height_ ||
      spans.Rows_.size() != size_t(spans.Height_) + 1 || src.Empty())
    return false;
  if (dst.Empty()) return true;
  // Visible part of the rectangle, in its own columns and rows; 64-bit so
  // positions far off the surface cannot overflow.
  const int64_t left = std::max<int64_t>(0, -int64_t(x));
  const int64_t right = std::min<int64_t>(spans.Width_, int64_t(dst.Width) - x);
  const int64_t top = std::max<int64_t>(0, -int64_t(y));
  const int64_t bottom = std::min<int64_t>(spans.Height_, int64_t(dst.Height) - y);
  if (left >= right || top >= bottom) return true;
  const int c0 = int(left), c1 = int(right), r0 = int(top), r1 = int(bottom);
  const bool whole_rows = c0 == 0 && c1 == spans.Width_;
  for (int row = r0; row < r1; ++row) {
    const uint32_t* s = src.Row(r.Top + row) + r.Left;
    uint32_t* d = dst.Row(y + row);
    const auto* run = spans.Runs_.data() + spans.Rows_[size_t(row)];
    const auto* end = spans.Runs_.data() + spans.Rows_[size_t(row) + 1];
    for (; run != end; ++run) {
      int a = run->Start, b = run->End;
      if (!whole_rows) {
        a = std::max(a, c0);
        b = std::min(b, c1);
        if (a >= b) continue;
      }
      draw(d + (x + a), s + a, b - a);
    }
  }
  return true;
}

bool BlitSpans(TImage& dst, int x, int y, const TImage& src, const TRect& src_rect,
               const TSpans& spans) {
  return DrawRuns(dst, x, y, src, src_rect, spans, [](uint32_t* d, const uint32_t* s, int n) {
    std::memcpy(d, s, size_t(n) * sizeof(uint32_t));
  });
}

bool BlitSpansAlpha(TImage& dst, int x, int y, const TImage& src, const TRect& src_rect,
                    const TSpans& spans, uint8_t alpha) {
  if (alpha == 0) return DrawRuns(dst, x, y, src, src_rect, spans, [](uint32_t*, const uint32_t*, int) {});
  const uint32_t a = alpha;
  return DrawRuns(dst, x, y, src, src_rect, spans, [a](uint32_t* d, const uint32_t* s, int n) {
    for (int i = 0; i < n; ++i) d[i] = a == 255 ? s[i] & 0xFFFFFF : Blend(d[i], s[i] & 0xFFFFFF, a);
  });
}

TImage ScaleSmooth(const TImage& src, const TRect& src_rect, int w, int h, bool keyed, TColor key) {
  if (w <= 0 || h <= 0) return {};
  const uint32_t k = key & 0xFFFFFF;
  TImage out(w, h, keyed ? k : 0);
  TRect sr = src_rect;
  if (!ClipSource(src, sr)) return out;
  const int sw = sr.Width(), sh = sr.Height();
  // Box filter in 16.16 fixed point: each output pixel covers a fractional
  // source area; partial pixels at its borders count with their share.
  const int64_t fx = (int64_t(sw) << 16) / w, fy = (int64_t(sh) << 16) / h;
  for (int oy = 0; oy < h; ++oy) {
    int64_t ya = oy * fy, yb = (oy + 1 == h) ? (int64_t(sh) << 16) : (oy + 1) * fy;
    for (int ox = 0; ox < w; ++ox) {
      int64_t xa = ox * fx, xb = (ox + 1 == w) ? (int64_t(sw) << 16) : (ox + 1) * fx;
      uint64_t r = 0, g = 0, b = 0, opaque = 0, total = 0;
      for (int64_t sy = ya >> 16; sy < ((yb + 0xFFFF) >> 16) && sy < sh; ++sy) {
        int64_t cy = std::min(yb, (sy + 1) << 16) - std::max(ya, sy << 16);
        if (cy <= 0) continue;
        const uint32_t* row = src.Row(sr.Top + int(sy)) + sr.Left;
        for (int64_t sx = xa >> 16; sx < ((xb + 0xFFFF) >> 16) && sx < sw; ++sx) {
          int64_t cx = std::min(xb, (sx + 1) << 16) - std::max(xa, sx << 16);
          if (cx <= 0) continue;
          uint64_t wgt = uint64_t((cx * cy) >> 16);
          if (wgt == 0) wgt = 1;
          total += wgt;
          uint32_t p = row[sx] & 0xFFFFFF;
          if (keyed && p == k) continue;
          opaque += wgt;
          r += (p >> 16) * wgt;
          g += ((p >> 8) & 0xFF) * wgt;
          b += (p & 0xFF) * wgt;
        }
      }
      if (opaque == 0 || (keyed && opaque * 2 < total)) continue;  // stays key
      uint32_t c = uint32_t((r + opaque / 2) / opaque) << 16 |
                   uint32_t((g + opaque / 2) / opaque) << 8 | uint32_t((b + opaque / 2) / opaque);
      // An average may land on the key itself; nudge it so it stays visible.
      if (keyed && c == k) c ^= 1;
      out.At(ox, oy) = c;
    }
  }
  return out;
}

}  // namespace mv
