// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/dxg_image.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include <cairo.h>
#include <librsvg/rsvg.h>
#include <png.h>

namespace dxg {

TArt LoadPng(const std::string& path) {
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str()))
    throw std::runtime_error(path + ": cannot read PNG (" + img.message + ")");
  img.format = PNG_FORMAT_RGBA;
  if (img.width == 0 || img.height == 0 || uint64_t(img.width) * img.height > (1u << 24)) {
    png_image_free(&img);
    throw std::runtime_error(path + ": PNG size is out of range");
  }
  std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(img));
  if (!png_image_finish_read(&img, nullptr, rgba.data(), 0, nullptr))
    throw std::runtime_error(path + ": cannot decode PNG (" + img.message + ")");
  TArt art;
  art.Color = mv::TImage(int(img.width), int(img.height));
  art.Alpha.resize(art.Color.Pixels.size());
  for (size_t i = 0; i < art.Alpha.size(); ++i) {
    const uint8_t* p = &rgba[i * 4];
    art.Color.Pixels[i] = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
    art.Alpha[i] = p[3];
  }
  return art;
}

TArt RenderSvg(const std::string& path) {
  GError* err = nullptr;
  RsvgHandle* svg = rsvg_handle_new_from_file(path.c_str(), &err);
  if (!svg) {
    std::string why = err ? err->message : "unknown error";
    if (err) g_error_free(err);
    throw std::runtime_error(path + ": cannot read SVG (" + why + ")");
  }
  double w = 0, h = 0;
  if (!rsvg_handle_get_intrinsic_size_in_pixels(svg, &w, &h) || w < 1 || h < 1 || w > 16384 ||
      h > 16384) {
    g_object_unref(svg);
    throw std::runtime_error(path + ": SVG needs a width and height in pixels");
  }
  int iw = int(std::ceil(w)), ih = int(std::ceil(h));
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, iw, ih);
  cairo_t* cr = cairo_create(surface);
  RsvgRectangle viewport{0, 0, w, h};
  bool ok = rsvg_handle_render_document(svg, cr, &viewport, &err);
  cairo_destroy(cr);
  g_object_unref(svg);
  if (!ok) {
    std::string why = err ? err->message : "unknown error";
    if (err) g_error_free(err);
    cairo_surface_destroy(surface);
    throw std::runtime_error(path + ": cannot render SVG (" + why + ")");
  }
  cairo_surface_flush(surface);
  TArt art;
  art.Color = mv::TImage(iw, ih);
  art.Alpha.resize(art.Color.Pixels.size());
  const unsigned char* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < ih; ++y) {
    auto row = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
    for (int x = 0; x < iw; ++x) {
      uint32_t px = row[x];  // premultiplied ARGB
      uint32_t a = px >> 24;
      uint32_t rgb = 0;
      if (a > 0) {
        auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
        rgb = un(px >> 16 & 0xFF) << 16 | un(px >> 8 & 0xFF) << 8 | un(px & 0xFF);
      }
      art.Color.At(x, y) = rgb;
      art.Alpha[size_t(y) * size_t(iw) + size_t(x)] = uint8_t(a);
    }
  }
  cairo_surface_destroy(surface);
  return art;
}

void SavePngFile(const mv::TImage& image, const std::string& path) {
  if (image.Empty()) throw std::runtime_error(path + ": the picture is empty");
  std::vector<uint8_t> rgb(image.Pixels.size() * 3);
  for (size_t i = 0; i < image.Pixels.size(); ++i) {
    uint32_t c = image.Pixels[i];
    rgb[i * 3] = uint8_t(c >> 16);
    rgb[i * 3 + 1] = uint8_t(c >> 8);
    rgb[i * 3 + 2] = uint8_t(c);
  }
  png_image img{};
  img.version = PNG_IMAGE_VERSION;
  img.width = png_uint_32(image.Width);
  img.height = png_uint_32(image.Height);
  img.format = PNG_FORMAT_RGB;
  if (!png_image_write_to_file(&img, path.c_str(), 0, rgb.data(), 0, nullptr))
    throw std::runtime_error(path + ": cannot write PNG (" + img.message + ")");
}

mv::TImage KeyOut(const TArt& art, bool transparent, mv::TColor key) {
  mv::TImage out(art.Color.Width, art.Color.Height);
  for (size_t i = 0; i < out.Pixels.size(); ++i) {
    uint32_t c = art.Color.Pixels[i];
    uint32_t a = art.Alpha[i];
    if (!transparent) {
      auto over_black = [a](uint32_t v) { return (v * a + 127) / 255; };
      out.Pixels[i] = over_black(c >> 16 & 0xFF) << 16 | over_black(c >> 8 & 0xFF) << 8 | over_black(c & 0xFF);
    } else if (a >= 128) {
      out.Pixels[i] = c == key ? c ^ 1 : c;
    } else {
      out.Pixels[i] = key;
    }
  }
  return out;
}

void MirrorPatterns(mv::TImage& image, int pattern_w, int pattern_h, int skip_w, int skip_h) {
  int pw = pattern_w > 0 ? pattern_w : image.Width;
  int ph = pattern_h > 0 ? pattern_h : image.Height;
  if (pw + skip_w <= 0 || ph + skip_h <= 0) return;
  int cols = (image.Width + skip_w) / (pw + skip_w);
  int rows = (image.Height + skip_h) / (ph + skip_h);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      int x0 = c * (pw + skip_w), y0 = r * (ph + skip_h);
      for (int y = y0; y < y0 + ph && y < image.Height; ++y) {
        uint32_t* row = image.Row(y);
        std::reverse(row + x0, row + std::min(x0 + pw, image.Width));
      }
    }
}

}  // namespace dxg
