// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/Image.h"
#include "platform/Types.h"

namespace mv {

// Pattern copies onto a destination picture (normally the back surface),
// clipped at every destination edge. `src` is the rectangle of the source
// picture to copy. With `keyed` set, source pixels equal to `key` (compared
// on the low 24 bits) are left out.

void BlitKeyed(TImage& dst, int x, int y, const TImage& src, const TRect& src_rect, bool keyed,
               TColor key);

// Scales the source rectangle to fill `dst_rect` (nearest sample).
void BlitStretched(TImage& dst, const TRect& dst_rect, const TImage& src, const TRect& src_rect,
                   bool keyed, TColor key);

// As BlitStretched, blended over what `dst` holds at `alpha` (255 opaque).
void BlitAlpha(TImage& dst, const TRect& dst_rect, const TImage& src, const TRect& src_rect,
               bool keyed, TColor key, uint8_t alpha);

// The drawn pixels of one picture rectangle as runs along each row, found once
// when a pattern is prepared, so that drawing copies whole runs instead of
// testing every pixel for the key. Without a key each row is one run.
class TSpans {
 public:
  TSpans() = default;
  TSpans(const TImage& src, const TRect& src_rect, bool keyed, TColor key);
  int Width() const { return Width_; }
  int Height() const { return Height_; }
  size_t RunCount() const { return Runs_.size(); }
  // Every pixel of the rectangle is drawn (one whole run per row).
  bool Solid() const { return Solid_; }

 private:
  template <class Draw>
  friend bool DrawRuns(TImage&, int, int, const TImage&, const TRect&, const TSpans&, Draw);
  struct TRun {
    int Start, End;  // columns within the rectangle, End exclusive
  };
  int Width_ = 0, Height_ = 0;
  bool Solid_ = false;
  std::vector<uint32_t> Rows_;  // Height + 1 offsets into Runs_
  std::vector<TRun> Runs_;
};

// Draws `src_rect` of `src` with its top-left corner at (x, y), clipped at
// every destination edge, through spans found for that same rectangle: what
// BlitKeyed draws, a run at a time. False, with nothing drawn, when the spans
// were found for another size or the rectangle leaves the picture.
bool BlitSpans(TImage& dst, int x, int y, const TImage& src, const TRect& src_rect,
               const TSpans& spans);
// As BlitSpans, each pixel blended as BlitAlpha blends an unscaled draw.
bool BlitSpansAlpha(TImage& dst, int x, int y, const TImage& src, const TRect& src_rect,
                    const TSpans& spans, uint8_t alpha);

// A smooth (area-averaging) downscale of a source rectangle to w x h, for
// caching pre-scaled copies; keyed pixels stay keyed and never bleed into
// their neighbours.
TImage ScaleSmooth(const TImage& src, const TRect& src_rect, int w, int h, bool keyed, TColor key);

}  // namespace mv
