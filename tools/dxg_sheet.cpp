// SPDX-License-Identifier: GPL-3.0-or-later
// A contact sheet: every picture of some archives on one PNG, each scaled
// into a cell and named, for looking the art over at a glance.
#include "tools/dxg_sheet.h"

#include <cairo.h>

#include <algorithm>
#include <stdexcept>

#include "media/ArchiveReader.h"

namespace dxg {

void WriteContactSheet(const std::vector<std::string>& archives, const std::string& out) {
  std::vector<mv::TPictureRecord> pictures;
  for (const auto& path : archives) {
    auto c = mv::ReadArchiveFile(path, mv::EArchiveKind::Pictures);
    for (auto& p : c.Pictures) pictures.push_back(std::move(p));
  }
  if (pictures.empty()) throw std::runtime_error("no pictures to show");
  const int cols = 8, cell_w = 200, cell_h = 170, pic_w = 188, pic_h = 140;
  const int rows = int((pictures.size() + cols - 1) / cols);
  cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, cols * cell_w, rows * cell_h);
  cairo_t* cr = cairo_create(sheet);
  cairo_set_source_rgb(cr, 0.16, 0.16, 0.2);
  cairo_paint(cr);
  for (size_t i = 0; i < pictures.size(); ++i) {
    const auto& p = pictures[i];
    const int cx = int(i % cols) * cell_w, cy = int(i / cols) * cell_h;
    const int w = p.Picture.Width, h = p.Picture.Height;
    if (w > 0 && h > 0) {
      // Keyed pixels become see-through, as the game leaves them out.
      cairo_surface_t* img = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
      cairo_surface_flush(img);
      auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(img));
      const int stride = cairo_image_surface_get_stride(img) / 4;
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
          uint32_t c = p.Picture.At(x, y) & 0xFFFFFF;
          bool keyed = p.Transparent && c == (p.TransparentColor & 0xFFFFFF);
          px[y * stride + x] = keyed ? 0 : 0xFF000000u | c;
        }
      cairo_surface_mark_dirty(img);
      double scale = std::min({1.0, double(pic_w) / w, double(pic_h) / h});
      cairo_save(cr);
      cairo_translate(cr, cx + (cell_w - w * scale) / 2, cy + 4 + (pic_h - h * scale) / 2);
      cairo_scale(cr, scale, scale);
      cairo_set_source_surface(cr, img, 0, 0);
      cairo_paint(cr);
      cairo_restore(cr);
      cairo_surface_destroy(img);
    }
    cairo_set_source_rgb(cr, 0.95, 0.95, 0.95);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    std::string label = p.Name + "  " + std::to_string(w) + "x" + std::to_string(h) + " /" +
                        std::to_string(p.PatternCount());
    cairo_move_to(cr, cx + 6, cy + cell_h - 10);
    cairo_show_text(cr, label.c_str());
  }
  cairo_destroy(cr);
  cairo_status_t st = cairo_surface_write_to_png(sheet, out.c_str());
  cairo_surface_destroy(sheet);
  if (st != CAIRO_STATUS_SUCCESS) throw std::runtime_error("Cannot create file \"" + out + "\"");
}

}  // namespace dxg
