#include "platform/Surface.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Canvas.h"

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

}  // namespace

TSurface::TSurface(int width, int height) : Pixels_(width, height, 0) {}
TSurface::~TSurface() = default;

void TSurface::Fill(TColor color) {
  FillPixels(Pixels_.Pixels.data(), Pixels_.Pixels.size(), color & 0xFFFFFFu);
}

TCanvas& TSurface::Canvas() {
  if (!Canvas_) Canvas_ = std::make_unique<TCanvas>(Pixels_);
  return *Canvas_;
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
