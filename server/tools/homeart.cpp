// SPDX-License-Identifier: GPL-3.0-or-later
// homeart: draws the home page's picture from the game's own art, the menu's
// sea with a few of the game's fish, and writes it as a PNG.
//   homeart SVG_FOLDER OUT.png
#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cstdio>
#include <string>

namespace {

// Draws the first `pattern_w` x `pattern_h` pattern of a picture sheet at
// (x, y), `scale` times its size, mirrored when `left`.
bool Place(cairo_t* cr, const std::string& path, double pattern_w, double pattern_h, double x,
           double y, double scale, bool left) {
  GError* err = nullptr;
  RsvgHandle* svg = rsvg_handle_new_from_file(path.c_str(), &err);
  if (!svg) {
    std::fprintf(stderr, "homeart: %s: %s\n", path.c_str(), err ? err->message : "unreadable");
    if (err) g_error_free(err);
    return false;
  }
  gdouble w = 0, h = 0;
  rsvg_handle_get_intrinsic_size_in_pixels(svg, &w, &h);
  if (pattern_w <= 0) pattern_w = w;
  if (pattern_h <= 0) pattern_h = h;
  // The first pattern alone, then placed (mirrored for a fish facing left).
  cairo_surface_t* piece = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(pattern_w),
                                                      static_cast<int>(pattern_h));
  cairo_t* pc = cairo_create(piece);
  const RsvgRectangle viewport{0, 0, w, h};
  const bool ok = rsvg_handle_render_document(svg, pc, &viewport, &err);
  cairo_destroy(pc);
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, scale, scale);
  if (left) {
    cairo_translate(cr, pattern_w, 0);
    cairo_scale(cr, -1, 1);
  }
  cairo_set_source_surface(cr, piece, 0, 0);
  cairo_paint(cr);
  cairo_restore(cr);
  cairo_surface_destroy(piece);
  g_object_unref(svg);
  if (!ok) {
    std::fprintf(stderr, "homeart: %s: %s\n", path.c_str(), err ? err->message : "cannot draw");
    if (err) g_error_free(err);
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: homeart SVG_FOLDER OUT.png\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 720, 540);
  cairo_t* cr = cairo_create(surface);
  cairo_scale(cr, 0.9, 0.9);  // the game's 800 x 600 in 720 x 540
  bool ok = Place(cr, dir + "FonGame1.svg", 0, 0, 0, 0, 1.0, false) &&
            Place(cr, dir + "Fish5.svg", 220, 120, 470, 300, 1.0, true) &&
            Place(cr, dir + "Fish1.svg", 120, 90, 140, 340, 1.0, false) &&
            Place(cr, dir + "Fish3.svg", 190, 60, 80, 180, 0.8, false) &&
            Place(cr, dir + "Fish7.svg", 320, 90, 420, 120, 0.7, true) &&
            Place(cr, dir + "Puzir.svg", 0, 0, 330, 330, 1.0, false) &&
            Place(cr, dir + "Puzir.svg", 0, 0, 345, 290, 0.7, false) &&
            Place(cr, dir + "Puzir.svg", 0, 0, 338, 260, 0.5, false);
  cairo_destroy(cr);
  if (ok && cairo_surface_write_to_png(surface, argv[2]) != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "homeart: cannot write %s\n", argv[2]);
    ok = false;
  }
  cairo_surface_destroy(surface);
  return ok ? 0 : 1;
}
