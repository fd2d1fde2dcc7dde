#pragma once
#include <cstdint>

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

// A smooth (area-averaging) downscale of a source rectangle to w x h, for
// caching pre-scaled copies; keyed pixels stay keyed and never bleed into
// their neighbours.
TImage ScaleSmooth(const TImage& src, const TRect& src_rect, int w, int h, bool keyed, TColor key);

}  // namespace mv
