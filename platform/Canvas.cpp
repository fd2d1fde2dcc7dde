// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Canvas.h"
#include "platform/Surface.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <utility>

namespace mv {
namespace {

// The faces the screens were laid out in, and ours drawn in their place, at
// a size that gives the laid-out face's width.
struct TStandIn {
  const char* Name;
  const char* Family;
  int WidthNum, WidthDen;
};
constexpr TStandIn kStandIns[] = {
    // The brush script is narrow; ours runs about a seventh wider, enough to
    // push "WINDOW" over its "/" on Options.
    {"Staccato222 BT", "Dancing Script", 6, 7},
    {"Arial", "Liberation Sans", 1, 1},
    {"Comic Sans MS", "Comic Neue", 1, 1},
};
constexpr TStandIn kAnyOtherFace{"", "sans-serif", 1, 1};

const TStandIn& StandInFor(const std::string& name) {
  for (const TStandIn& s : kStandIns)
    if (name == s.Name) return s;
  return kAnyOtherFace;
}

struct TFontKey {
  std::string File;
  int Px;
  bool operator<(const TFontKey& o) const { return std::tie(File, Px) < std::tie(o.File, o.Px); }
};

// Fonts and rendered strings are shared by every canvas: a frame repeats the
// same few dozen texts, so rendering happens once per distinct string.
struct TFontCache {
  std::mutex Lock;
  bool TtfReady = false;
  bool FcReady = false;
  std::map<std::pair<std::string, bool>, std::string> Files;  // (name, bold) -> file
  std::map<TFontKey, TTF_Font*> Fonts;
  struct TText {
    TImage Alpha;  // coverage 0..255 in the low byte
    int Width = 0;
  };
  std::map<std::tuple<TTF_Font*, std::string>, TText> Texts;
  // Coverage of a text's outline ring: its letters widened by the width.
  std::map<std::tuple<TTF_Font*, std::string, int>, TImage> Outlines;

  TFontCache() = default;
  TFontCache(const TFontCache&) = delete;
  TFontCache& operator=(const TFontCache&) = delete;
  ~TFontCache() {
    for (auto& [key, font] : Fonts)
      if (font) TTF_CloseFont(font);
    if (TtfReady) TTF_Quit();
    if (FcReady) FcFini();  // its configuration, else kept until exit
  }

  bool InitTtf() {
    if (!TtfReady) {
      if (TTF_Init() != 0) {
        std::fprintf(stderr, "Text: TTF_Init failed: %s\n", TTF_GetError());
        return false;
      }
      TtfReady = true;
    }
    return true;
  }

  std::string FindFile(const std::string& name, bool bold) {
    auto key = std::make_pair(name, bold);
    auto it = Files.find(key);
    if (it != Files.end()) return it->second;
    const std::string family = StandInFor(name).Family;
    std::string file;
    if (FcInit()) {
      FcReady = true;
      FcPattern* pat = FcPatternCreate();
      FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
      FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
      FcConfigSubstitute(nullptr, pat, FcMatchPattern);
      FcDefaultSubstitute(pat);
      FcResult res;
      FcPattern* match = FcFontMatch(nullptr, pat, &res);
      FcChar8* path = nullptr;
      if (match && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
        file = reinterpret_cast<const char*>(path);
      if (match) FcPatternDestroy(match);
      FcPatternDestroy(pat);
    }
    if (file.empty()) std::fprintf(stderr, "Text: no font file found for \"%s\"\n", name.c_str());
    Files[key] = file;
    return file;
  }

  TTF_Font* Open(const std::string& name, int points, bool bold) {
    if (!InitTtf()) return nullptr;
    std::string file = FindFile(name, bold);
    if (file.empty()) return nullptr;
    const TStandIn& stand_in = StandInFor(name);
    int px = std::max(1, points * 96 / 72);
    px = std::max(1, px * stand_in.WidthNum / stand_in.WidthDen);
    TFontKey key{file, px};
    auto it = Fonts.find(key);
    if (it != Fonts.end()) return it->second;
    TTF_Font* f = TTF_OpenFont(file.c_str(), px);
    if (!f) std::fprintf(stderr, "Text: cannot open %s: %s\n", file.c_str(), TTF_GetError());
    Fonts[key] = f;
    return f;
  }

  const TText* Render(TTF_Font* font, const std::string& text) {
    auto key = std::make_tuple(font, text);
    auto it = Texts.find(key);
    if (it != Texts.end()) return &it->second;
    if (Texts.size() > 4096) Texts.clear();  // changing texts (scores) must not grow forever
    TText t;
    int w = 0, h = 0;
    if (TTF_SizeUTF8(font, text.c_str(), &w, &h) == 0) t.Width = w;
    SDL_Surface* s = TTF_RenderUTF8_Blended(font, text.c_str(), SDL_Color{255, 255, 255, 255});
    if (s) {
      SDL_Surface* c = SDL_ConvertSurfaceFormat(s, SDL_PIXELFORMAT_ARGB8888, 0);
      SDL_FreeSurface(s);
      if (c) {
        t.Alpha = TImage(c->w, c->h);
        SDL_LockSurface(c);
        for (int y = 0; y < c->h; ++y) {
          const uint32_t* row =
              reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(c->pixels) + y * c->pitch);
          for (int x = 0; x < c->w; ++x) t.Alpha.At(x, y) = row[x] >> 24;
        }
        SDL_UnlockSurface(c);
        SDL_FreeSurface(c);
      }
    }
    return &(Texts[key] = std::move(t));
  }

  const TImage* Outline(TTF_Font* font, const std::string& text, int width) {
    auto key = std::make_tuple(font, text, width);
    auto it = Outlines.find(key);
    if (it != Outlines.end()) return &it->second;
    if (Outlines.size() > 1024) Outlines.clear();
    const TImage& a = Render(font, text)->Alpha;
    // Widened by the most coverage within a disc of the width around each pixel.
    TImage o(a.Width + 2 * width, a.Height + 2 * width);
    std::vector<std::pair<int, int>> disc;
    for (int dy = -width; dy <= width; ++dy)
      for (int dx = -width; dx <= width; ++dx)
        if (dx * dx + dy * dy <= width * width + width) disc.push_back({dx, dy});
    for (int y = 0; y < o.Height; ++y)
      for (int x = 0; x < o.Width; ++x) {
        uint32_t m = 0;
        for (auto [dx, dy] : disc) {
          const int sx = x - width + dx, sy = y - width + dy;
          if (sx >= 0 && sy >= 0 && sx < a.Width && sy < a.Height) m = std::max(m, a.At(sx, sy));
        }
        o.At(x, y) = m;
      }
    return &(Outlines[key] = std::move(o));
  }

  // Left edge of each code point of the text, and the end of the last.
  std::vector<int> LetterEdges(TTF_Font* font, const std::string& text) {
    std::vector<int> edges{0};
    for (size_t i = 1; i <= text.size(); ++i) {
      if (i < text.size() && (uint8_t(text[i]) & 0xC0) == 0x80) continue;  // inside a code point
      int w = 0, h = 0;
      TTF_SizeUTF8(font, text.substr(0, i).c_str(), &w, &h);
      edges.push_back(w);
    }
    return edges;
  }
};

// Kept while any canvas lives, so the fonts are closed once the last one
// goes instead of staying open until exit.
std::shared_ptr<TFontCache> SharedCache() {
  static std::mutex lock;
  static std::weak_ptr<TFontCache> shared;
  std::lock_guard<std::mutex> hold(lock);
  std::shared_ptr<TFontCache> cache = shared.lock();
  if (!cache) {
    cache = std::make_shared<TFontCache>();
    shared = cache;
  }
  return cache;
}

double Luminance(TColor c) {
  auto lin = [](uint32_t v) {
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * lin((c >> 16) & 0xFF) + 0.7152 * lin((c >> 8) & 0xFF) + 0.0722 * lin(c & 0xFF);
}

}  // namespace

double ContrastRatio(TColor a, TColor b) {
  double la = Luminance(a), lb = Luminance(b);
  if (la < lb) std::swap(la, lb);
  return (la + 0.05) / (lb + 0.05);
}

TReadability MeasureText(const TTextRecord& text, const TImage& frame) {
  TReadability r;
  std::map<int, std::pair<int, int>> letters;  // index -> (pixels, at 3:1)
  for (const auto& p : text.Pixels) {
    ++r.Pixels;
    const bool shown =
        p.X >= 0 && p.Y >= 0 && p.X < frame.Width && p.Y < frame.Height && (frame.At(p.X, p.Y) & 0xFFFFFF) == p.Painted;
    const double ratio = ContrastRatio(text.Color, p.Under);
    if (!shown) ++r.Hidden;
    const bool good = shown && ratio >= 3.0;
    if (good) ++r.AtLeast3;
    if (shown && ratio >= 4.5) ++r.AtLeast45;
    auto& l = letters[p.Letter];
    ++l.first;
    l.second += good;
  }
  for (const auto& [index, count] : letters) {
    const double share = double(count.second) / count.first;
    if (count.first >= 8 && (r.WorstLetter < 0 || share < r.WorstLetterShare)) {
      r.WorstLetterShare = share;
      r.WorstLetter = index;
    }
  }
  return r;
}

namespace {
constexpr uint32_t kLetterCoverage = 128;  // a letter pixel is covered at least half
}  // namespace

struct TCanvas::Impl {
  TImage& Target;
  std::string FontName = "Comic Sans MS";
  int Size = 11;
  bool Bold = false;
  TColor Color = clBlack;
  int Pen = 1;
  std::shared_ptr<TFontCache> Fonts = SharedCache();
  std::function<void(const TRect&)> BeforeDraw;
  Impl(TImage& t, std::function<void(const TRect&)> before_draw)
      : Target(t), BeforeDraw(std::move(before_draw)) {}
  bool Recording = false;
  std::vector<TTextRecord> Records;
  void Touch(const TRect& r) {
    if (BeforeDraw && r.Left < r.Right && r.Top < r.Bottom) BeforeDraw(r);
  }
  // Blends `col` into the target by the coverage `alpha`, placed at (x, y);
  // with `record`, notes the letter pixels, each in its letter by `edges`
  // (x positions relative to `x`).
  void Paint(int x, int y, const TImage& a, TColor col, TTextRecord* record, const std::vector<int>* edges);
  void Text(int x, int y, const std::string& text, const TColor* outline, int width);
};

void TCanvas::Impl::Paint(int x, int y, const TImage& alpha, TColor col, TTextRecord* record,
                          const std::vector<int>* edges) {
  TImage& dst = Target;
  const int y0 = std::max(0, -y), y1 = std::min(alpha.Height, dst.Height - y);
  const int x0 = std::max(0, -x), x1 = std::min(alpha.Width, dst.Width - x);
  if (x0 >= x1 || y0 >= y1) return;
  Touch({x + x0, y + y0, x + x1, y + y1});
  for (int ty = y0; ty < y1; ++ty) {
    const uint32_t* a = alpha.Row(ty);
    uint32_t* d = dst.Row(y + ty) + x;
    for (int tx = x0; tx < x1; ++tx) {
      uint32_t al = a[tx];
      if (al == 0) continue;
      const uint32_t under = d[tx] & 0xFFFFFF;
      if (al == 255) {
        d[tx] = col;
      } else {
        uint32_t p = d[tx], ia = 255 - al;
        uint32_t r = (((col >> 16) & 0xFF) * al + ((p >> 16) & 0xFF) * ia + 127) / 255;
        uint32_t gg = (((col >> 8) & 0xFF) * al + ((p >> 8) & 0xFF) * ia + 127) / 255;
        uint32_t b = ((col & 0xFF) * al + (p & 0xFF) * ia + 127) / 255;
        d[tx] = r << 16 | gg << 8 | b;
      }
      if (record && al >= kLetterCoverage) {
        const int letter = int(std::upper_bound(edges->begin(), edges->end(), tx) - edges->begin()) - 1;
        record->Pixels.push_back({x + tx, y + ty, under, d[tx] & 0xFFFFFF,
                                  std::clamp(letter, 0, std::max(0, int(edges->size()) - 2))});
      }
    }
  }
}

void TCanvas::Impl::Text(int x, int y, const std::string& text, const TColor* outline, int width) {
  if (text.empty()) return;
  TFontCache& c = *Fonts;
  std::lock_guard<std::mutex> g(c.Lock);
  TTF_Font* font = c.Open(FontName, Size, Bold);
  if (!font) return;
  // The rendered box starts at the line's top (ascent above the baseline),
  // which is the position the game gives.
  const TFontCache::TText* t = c.Render(font, text);
  if (outline) Paint(x - width, y - width, *c.Outline(font, text, width), *outline, nullptr, nullptr);
  TTextRecord* record = nullptr;
  std::vector<int> edges;
  if (Recording) {
    Records.push_back({text, FontName, Size, Bold, Color, outline != nullptr, outline ? *outline : 0, x, y, {}});
    record = &Records.back();
    edges = c.LetterEdges(font, text);
  }
  Paint(x, y, t->Alpha, Color, record, &edges);
}

TCanvas::TCanvas(TImage& target, std::function<void(const TRect&)> before_draw)
    : Impl_(std::make_unique<Impl>(target, std::move(before_draw))) {}
TCanvas::~TCanvas() = default;

void TCanvas::SetFont(const std::string& name, int size, bool bold) {
  Impl_->FontName = name;
  Impl_->Size = size;
  Impl_->Bold = bold;
}
void TCanvas::SetColor(TColor color) { Impl_->Color = color & 0xFFFFFF; }
void TCanvas::SetPenWidth(int width) { Impl_->Pen = std::max(1, width); }

void TCanvas::TextOut(int x, int y, const std::string& text) { Impl_->Text(x, y, text, nullptr, 0); }

void TCanvas::TextOutOutlined(int x, int y, const std::string& text, TColor outline, int width) {
  const TColor ring = outline & 0xFFFFFF;
  Impl_->Text(x, y, text, &ring, std::clamp(width, 1, 8));
}

void TCanvas::SetRecording(bool on) {
  Impl_->Recording = on;
  if (!on) Impl_->Records.clear();
}

std::vector<TTextRecord> TCanvas::TakeRecords() { return std::exchange(Impl_->Records, {}); }

int TCanvas::TextWidth(const std::string& text) {
  if (text.empty()) return 0;
  TFontCache& c = *Impl_->Fonts;
  std::lock_guard<std::mutex> g(c.Lock);
  TTF_Font* font = c.Open(Impl_->FontName, Impl_->Size, Impl_->Bold);
  if (!font) return 0;
  return c.Render(font, text)->Width;
}

void TCanvas::FrameRect(const TRect& r) {
  // A wide pen straddles the outline: it covers pen/2 pixels outside the
  // rectangle and the rest inside, like a wide GDI rectangle outline.
  TImage& dst = Impl_->Target;
  const int pen = Impl_->Pen, out = pen / 2;
  auto fill = [&](int l, int t, int rr, int b) {
    l = std::max(l, 0);
    t = std::max(t, 0);
    rr = std::min(rr, dst.Width);
    b = std::min(b, dst.Height);
    Impl_->Touch({l, t, rr, b});
    for (int y = t; y < b; ++y) std::fill(dst.Row(y) + l, dst.Row(y) + std::max(l, rr), Impl_->Color);
  };
  if (r.Right <= r.Left || r.Bottom <= r.Top) return;
  const int L = r.Left - out, T = r.Top - out, R = r.Right + out, B = r.Bottom + out;
  fill(L, T, R, T + pen);
  fill(L, B - pen, R, B);
  fill(L, T, L + pen, B);
  fill(R - pen, T, R, B);
}

TCanvas& TSurface::Canvas() {
  if (!Canvas_) {
    Canvas_ = {new TCanvas(Pixels_, [this](const TRect& r) { PixelsIn(r); }), [](TCanvas* c) { delete c; }};
  }
  return *Canvas_;
}

}  // namespace mv
