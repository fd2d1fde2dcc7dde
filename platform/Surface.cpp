// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Surface.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>


namespace mv {
namespace {

void FillPixels(uint32_t* p, size_t n, uint32_t value) {
  if (value == 0) {  // every frame starts black
    std::memset(p, 0, n * sizeof(uint32_t));
    return;
  }
  // Other colours go out 64 bytes at a time: a constant-size copy of one
  // block compiles to a few wide stores.
  uint32_t block[16];
  std::fill(block, block + 16, value);
  size_t i = 0;
  for (; i + 16 <= n; i += 16) std::memcpy(p + i, block, sizeof block);
  std::fill(p + i, p + n, value);
}

// Past this many draws over one background a full copy costs no more than
// copying them back one by one.
constexpr size_t kMaxDrawnRects = 256;

}  // namespace

TSurface::TSurface(int width, int height) : Pixels_(width, height, 0) {}
TSurface::~TSurface() = default;

void TSurface::FlushFill() const {
  if (!FillPending_) return;
  FillPending_ = false;
  FillPixels(Pixels_.Pixels.data(), Pixels_.Pixels.size(), FillColor_);
  HaveBackdrop_ = false;
}

void TSurface::Forget() const {
  HaveBackdrop_ = false;
  Backdrop_ = {};
}

TImage& TSurface::Pixels() {
  FlushFill();
  Forget();
  Drawn_.clear();
  return Pixels_;
}

const TImage& TSurface::Read() const {
  FlushFill();
  return Pixels_;
}

TImage& TSurface::PixelsIn(int x, int y, int w, int h) {
  FlushFill();
  if (HaveBackdrop_) {
    // 64-bit: a draw far off the surface must not wrap onto it.
    const int64_t l = std::max<int64_t>(x, 0), t = std::max<int64_t>(y, 0);
    const int64_t r = std::min<int64_t>(int64_t(x) + w, Width());
    const int64_t b = std::min<int64_t>(int64_t(y) + h, Height());
    if (l < r && t < b) {
      if (Drawn_.size() >= kMaxDrawnRects) {
        Forget();
        Drawn_.clear();
      } else {
        Drawn_.push_back({int(l), int(t), int(r), int(b)});
      }
    }
  }
  return Pixels_;
}

bool TSurface::Cover(int x, int y, const TImage& src, const TRect& src_rect,
                     const std::shared_ptr<const void>& stamp) {
  const int w = Width(), h = Height();
  if (Pixels_.Empty() || Pixels_.Pixels.size() < size_t(w) * size_t(h) || src.Empty() ||
      src_rect.Left < 0 || src_rect.Top < 0 || src_rect.Right > src.Width ||
      src_rect.Bottom > src.Height || src.Pixels.size() < size_t(src.Width) * size_t(src.Height))
    return false;
  if (x > 0 || y > 0 || int64_t(x) + src_rect.Width() < w || int64_t(y) + src_rect.Height() < h)
    return false;
  // Every pixel is about to be set: a pending fill would only be overwritten.
  FillPending_ = false;
  const int sx = src_rect.Left - x, sy = src_rect.Top - y;  // surface (0, 0) in the source
  auto copy = [&](const TRect& r) {
    const size_t bytes = size_t(r.Width()) * sizeof(uint32_t);
    for (int row = r.Top; row < r.Bottom; ++row)
      std::memcpy(Pixels_.Row(row) + r.Left, src.Row(sy + row) + sx + r.Left, bytes);
  };
  const bool same = HaveBackdrop_ && stamp && Backdrop_.Data == src.Pixels.data() &&
                    Backdrop_.Src == src_rect && Backdrop_.X == x && Backdrop_.Y == y &&
                    !Backdrop_.Stamp.expired() && !Backdrop_.Stamp.owner_before(stamp) &&
                    !stamp.owner_before(Backdrop_.Stamp);
  if (same) {
    // Band by band between the rectangles' edges, their overlaps merged:
    // sprites overlap, and a pixel drawn over twice is copied back once.
    std::vector<int> edges;
    edges.reserve(Drawn_.size() * 2);
    for (const TRect& r : Drawn_) edges.push_back(r.Top), edges.push_back(r.Bottom);
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
    std::vector<std::pair<int, int>> spans;
    for (size_t i = 0; i + 1 < edges.size(); ++i) {
      const int top = edges[i], bottom = edges[i + 1];
      spans.clear();
      for (const TRect& r : Drawn_)
        if (r.Top <= top && r.Bottom >= bottom) spans.push_back({r.Left, r.Right});
      if (spans.empty()) continue;
      std::sort(spans.begin(), spans.end());
      auto run = spans.front();
      for (const auto& s : spans) {
        if (s.first <= run.second) {
          run.second = std::max(run.second, s.second);
          continue;
        }
        copy({run.first, top, run.second, bottom});
        run = s;
      }
      copy({run.first, top, run.second, bottom});
    }
  } else {
    copy(ClientRect());
  }
  Drawn_.clear();
  HaveBackdrop_ = bool(stamp);
  Backdrop_ = {stamp, src.Pixels.data(), src_rect, x, y};
  return true;
}

void TSurface::Fill(TColor color) {
  FillPending_ = true;
  FillColor_ = color & 0xFFFFFFu;
}

bool SavePng(const TImage& image, const std::string& path) {
  if (image.Empty()) {
    std::fprintf(stderr, "SavePng: empty picture, nothing written to %s\n", path.c_str());
    return false;
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "SavePng: cannot create %s\n", path.c_str());
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!png || !info) {
    png_destroy_write_struct(&png, nullptr);
    std::fclose(f);
    std::fprintf(stderr, "SavePng: out of memory for %s\n", path.c_str());
    return false;
  }
  std::vector<uint8_t> row(size_t(image.Width) * 3);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    std::fprintf(stderr, "SavePng: write error on %s\n", path.c_str());
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, image.Width, image.Height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.Height; ++y) {
    const uint32_t* s = image.Row(y);
    for (int x = 0; x < image.Width; ++x) {
      row[x * 3] = uint8_t(s[x] >> 16);
      row[x * 3 + 1] = uint8_t(s[x] >> 8);
      row[x * 3 + 2] = uint8_t(s[x]);
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  bool ok = std::fclose(f) == 0;
  if (!ok) std::fprintf(stderr, "SavePng: write error on %s\n", path.c_str());
  return ok;
}

}  // namespace mv
