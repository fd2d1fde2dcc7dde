// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Dib.h"

#include <bit>
#include <optional>
#include <string>

#include "media/Archive.h"
#include "media/ArchiveStream.h"

namespace mv {
namespace {

constexpr const char* kDibInvalid = "DIB is invalid";
constexpr const char* kPixelFormat = "PixelFormat in invalid";
// Keeps a lying header from asking for gigabytes.
constexpr int64_t kMaxPixels = int64_t(1) << 24;
constexpr int kMaxSide = 32768;

[[noreturn]] void Fail(const char* msg) { throw EArchiveError(msg); }

uint32_t Rgb(uint8_t r, uint8_t g, uint8_t b) { return uint32_t(r) << 16 | uint32_t(g) << 8 | b; }

// One colour channel described by a contiguous bit mask, scaled to 8 bits.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  int Bits = 0;
  explicit TChannel(uint32_t mask) : Mask(mask) {
    if (mask == 0) Fail(kPixelFormat);
    Shift = std::countr_zero(mask);
    Bits = std::popcount(mask);
    if (Bits < 32 && (mask >> Shift) != (uint32_t(1) << Bits) - 1) Fail(kPixelFormat);
  }
  uint8_t Get(uint32_t px) const {
    uint32_t v = (px & Mask) >> Shift;
    if (Bits >= 8) return uint8_t(v >> (Bits - 8));
    // Replicate the top bits so full intensity maps to 255.
    uint32_t out = 0;
    int have = 0;
    while (have < 8) {
      out = (out << Bits) | v;
      have += Bits;
    }
    return uint8_t(out >> (have - 8));
  }
};

struct TDibHeader {
  int Width = 0, Height = 0;
  bool TopDown = false;
  int BitCount = 0;
  uint32_t Compression = 0;
  uint32_t ColorsUsed = 0;
  bool Core = false;
};

class TPixelSink {
 public:
  TPixelSink(TImage& img, bool top_down) : Img_(img), TopDown_(top_down) {}
  void Put(int x, int y, uint32_t c) {
    if (x < 0 || x >= Img_.Width || y < 0 || y >= Img_.Height) return;
    Img_.At(x, TopDown_ ? y : Img_.Height - 1 - y) = c;
  }

 private:
  TImage& Img_;
  bool TopDown_;
};

void DecodeRle(TByteReader& in, const std::vector<uint32_t>& pal, bool four, TImage& img,
               bool top_down) {
  TPixelSink sink(img, top_down);
  auto color = [&](unsigned idx) { return idx < pal.size() ? pal[idx] : 0u; };
  int x = 0, y = 0;
  while (y < img.Height && in.Left() >= 2) {
    uint8_t n = in.U8();
    uint8_t v = in.U8();
    if (n > 0) {
      for (int i = 0; i < n; ++i)
        sink.Put(x++, y, color(four ? ((i & 1) ? v & 15 : v >> 4) : v));
      continue;
    }
    if (v == 0) {  // end of line
      x = 0;
      ++y;
    } else if (v == 1) {  // end of bitmap
      return;
    } else if (v == 2) {  // delta
      x += in.U8();
      y += in.U8();
    } else {  // absolute run of v pixels, padded to 16 bits
      size_t bytes = four ? (size_t(v) + 1) / 2 : v;
      in.Need(bytes);
      const uint8_t* p = in.Here();
      for (int i = 0; i < v; ++i) {
        unsigned idx = four ? ((i & 1) ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i];
        sink.Put(x++, y, color(idx));
      }
      in.Skip(bytes);
      if (bytes & 1) in.Skip(in.Left() ? 1 : 0);
    }
  }
}

TImage DecodeDibAt(const uint8_t* data, size_t size, int64_t pixel_offset) {
  if (size == 0) return TImage();
  TByteReader in(data, size, kDibInvalid);
  TDibHeader h;
  uint32_t header_size = in.U32();
  if (header_size == 40) {
    int32_t w = in.I32(), ht = in.I32();
    in.U16();  // planes
    h.BitCount = in.U16();
    h.Compression = in.U32();
    in.Skip(12);  // image size, resolution
    h.ColorsUsed = in.U32();
    in.U32();  // important colours
    if (w < 0 || ht == INT32_MIN) Fail(kDibInvalid);
    h.Width = w;
    h.TopDown = ht < 0;
    h.Height = ht < 0 ? -ht : ht;
  } else if (header_size == 12) {
    h.Core = true;
    h.Width = in.U16();
    h.Height = in.U16();
    in.U16();
    h.BitCount = in.U16();
  } else {
    Fail(kDibInvalid);
  }
  switch (h.BitCount) {
    case 1: case 4: case 8: case 16: case 24: case 32: break;
    default: throw EArchiveError("Bitcount in invalid (" + std::to_string(h.BitCount) + ")");
  }
  if (h.Compression > 3) Fail(kDibInvalid);
  if ((h.Compression == 1 && h.BitCount != 8) || (h.Compression == 2 && h.BitCount != 4) ||
      (h.Compression == 3 && h.BitCount != 16 && h.BitCount != 32))
    Fail(kPixelFormat);
  if (h.Width > kMaxSide || h.Height > kMaxSide || int64_t(h.Width) * h.Height > kMaxPixels)
    Fail(kDibInvalid);

  uint32_t masks[3] = {0, 0, 0};
  bool have_masks = h.Compression == 3;
  if (have_masks)
    for (auto& m : masks) m = in.U32();
  else if (h.BitCount == 16)
    masks[0] = 0x7C00, masks[1] = 0x03E0, masks[2] = 0x001F;
  if (h.BitCount == 16 && have_masks) {
    bool m555 = masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F;
    bool m565 = masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F;
    if (!m555 && !m565) Fail(kPixelFormat);
  }

  uint32_t entries = h.ColorsUsed;
  if (entries == 0 && h.BitCount <= 8) entries = 1u << h.BitCount;
  if (entries > 256) entries = 256;
  int entry_size = h.Core ? 3 : 4;
  in.Need(uint64_t(entries) * entry_size);
  std::vector<uint32_t> pal(entries);
  for (auto& c : pal) {
    const uint8_t* p = in.Here();
    c = Rgb(p[2], p[1], p[0]);
    in.Skip(entry_size);
  }

  if (pixel_offset >= 0) {
    if (uint64_t(pixel_offset) < in.Pos() || uint64_t(pixel_offset) > size) Fail(kDibInvalid);
    in.Skip(uint64_t(pixel_offset) - in.Pos());
  }

  TImage img(h.Width, h.Height, pal.empty() ? 0 : pal[0]);
  if (img.Empty()) return TImage();
  if (h.Compression == 1 || h.Compression == 2) {
    DecodeRle(in, pal, h.Compression == 2, img, h.TopDown);
    return img;
  }

  size_t stride = ((size_t(h.Width) * h.BitCount + 31) / 32) * 4;
  in.Need(uint64_t(stride) * h.Height);
  std::optional<TChannel> chan[3];
  if (masks[0] || masks[1] || masks[2])
    for (int i = 0; i < 3; ++i) chan[i].emplace(masks[i]);
  auto color = [&](unsigned idx) { return idx < pal.size() ? pal[idx] : 0u; };
  for (int y = 0; y < h.Height; ++y) {
    const uint8_t* row = in.Here() + stride * size_t(y);
    uint32_t* out = img.Row(h.TopDown ? y : h.Height - 1 - y);
    for (int x = 0; x < h.Width; ++x) {
      switch (h.BitCount) {
        case 1: out[x] = color((row[x >> 3] >> (7 - (x & 7))) & 1); break;
        case 4: out[x] = color((x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4); break;
        case 8: out[x] = color(row[x]); break;
        case 16: {
          uint32_t v = uint32_t(row[2 * x] | row[2 * x + 1] << 8);
          out[x] = Rgb(chan[0]->Get(v), chan[1]->Get(v), chan[2]->Get(v));
          break;
        }
        case 24: out[x] = Rgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
        case 32: {
          const uint8_t* p = row + 4 * x;
          if (chan[0]) {
            uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                         uint32_t(p[3]) << 24;
            out[x] = Rgb(chan[0]->Get(v), chan[1]->Get(v), chan[2]->Get(v));
          } else {
            out[x] = Rgb(p[2], p[1], p[0]);
          }
          break;
        }
      }
    }
  }
  return img;
}

}  // namespace

TImage DecodeDib(const uint8_t* data, size_t size) { return DecodeDibAt(data, size, -1); }

TImage DecodeBmpFile(const uint8_t* data, size_t size) {
  if (size == 0) return TImage();
  TByteReader in(data, size, "Bitmap image is not valid");
  if (in.U8() != 'B' || in.U8() != 'M') in.Fail();
  in.Skip(8);  // file size, reserved
  uint32_t off_bits = in.U32();
  int64_t pixel_offset = off_bits >= 14 ? int64_t(off_bits) - 14 : -1;
  return DecodeDibAt(data + 14, size - 14, pixel_offset);
}

std::vector<uint8_t> EncodeDib(const TImage& image, int bits) {
  if (bits != 24 && bits != 32) throw EArchiveError("Bitcount in invalid (" + std::to_string(bits) + ")");
  TByteWriter w;
  if (image.Empty()) return {};
  size_t stride = ((size_t(image.Width) * bits + 31) / 32) * 4;
  w.U32(40);
  w.U32(uint32_t(image.Width));
  w.U32(uint32_t(image.Height));
  w.U16(1);
  w.U16(uint16_t(bits));
  w.U32(0);
  w.U32(uint32_t(stride * image.Height));
  w.U32(0);
  w.U32(0);
  w.U32(0);
  w.U32(0);
  w.Out.reserve(w.Out.size() + stride * image.Height);
  for (int y = image.Height - 1; y >= 0; --y) {
    const uint32_t* row = image.Row(y);
    size_t start = w.Out.size();
    for (int x = 0; x < image.Width; ++x) {
      uint32_t c = row[x];
      w.U8(uint8_t(c));
      w.U8(uint8_t(c >> 8));
      w.U8(uint8_t(c >> 16));
      if (bits == 32) w.U8(0);
    }
    w.Out.resize(start + stride, 0);
  }
  return w.Out;
}

}  // namespace mv
