// SPDX-License-Identifier: GPL-3.0-or-later
// svgpng: renders an SVG into a square PNG with its transparency kept, for
// the icon sizes the desktop asks for.
//   svgpng IN.svg SIZE OUT.png
#include <cairo.h>
#include <librsvg/rsvg.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: svgpng IN.svg SIZE OUT.png\n");
    return 2;
  }
  char* end = nullptr;
  const long size = std::strtol(argv[2], &end, 10);
  if (*end || size < 1 || size > 4096) {
    std::fprintf(stderr, "svgpng: size \"%s\" is not a number from 1 to 4096\n", argv[2]);
    return 2;
  }
  GError* err = nullptr;
  RsvgHandle* svg = rsvg_handle_new_from_file(argv[1], &err);
  if (!svg) {
    std::fprintf(stderr, "svgpng: %s: %s\n", argv[1], err ? err->message : "cannot read");
    return 1;
  }
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(size), int(size));
  cairo_t* cr = cairo_create(surface);
  RsvgRectangle viewport{0, 0, double(size), double(size)};
  const bool ok = rsvg_handle_render_document(svg, cr, &viewport, &err);
  cairo_destroy(cr);
  g_object_unref(svg);
  int status = 0;
  if (!ok) {
    std::fprintf(stderr, "svgpng: %s: %s\n", argv[1], err ? err->message : "cannot render");
    status = 1;
  } else if (cairo_surface_write_to_png(surface, argv[3]) != CAIRO_STATUS_SUCCESS) {
    std::fprintf(stderr, "svgpng: cannot write %s\n", argv[3]);
    status = 1;
  }
  cairo_surface_destroy(surface);
  return status;
}
