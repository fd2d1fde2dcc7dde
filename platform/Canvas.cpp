// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Canvas.h"

#include <SDL.h>
#include <SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>

namespace mv {
namespace {

// The faces the screens were laid out in, and ours drawn in their place, at
// a size that gives the original's width.
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
  void Touch(const TRect& r) {
    if (BeforeDraw && r.Left < r.Right && r.Top < r.Bottom) BeforeDraw(r);
  }
};

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

void TCanvas::TextOut(int x, int y, const std::string& text) {
  if (text.empty()) return;
  TFontCache& c = *Impl_->Fonts;
  std::lock_guard<std::mutex> g(c.Lock);
  TTF_Font* font = c.Open(Impl_->FontName, Impl_->Size, Impl_->Bold);
  if (!font) return;
  const TFontCache::TText* t = c.Render(font, text);
  // The rendered box starts at the line's top (ascent above the baseline),
  // which is the position the game gives.
  TImage& dst = Impl_->Target;
  const uint32_t col = Impl_->Color;
  const int y0 = std::max(0, -y), y1 = std::min(t->Alpha.Height, dst.Height - y);
  const int x0 = std::max(0, -x), x1 = std::min(t->Alpha.Width, dst.Width - x);
  if (x0 >= x1 || y0 >= y1) return;
  Impl_->Touch({x + x0, y + y0, x + x1, y + y1});
  for (int ty = y0; ty < y1; ++ty) {
    const uint32_t* a = t->Alpha.Row(ty);
    uint32_t* d = dst.Row(y + ty) + x;
    for (int tx = x0; tx < x1; ++tx) {
      uint32_t al = a[tx];
      if (al == 0) continue;
      if (al == 255) {
        d[tx] = col;
        continue;
      }
      uint32_t p = d[tx], ia = 255 - al;
      uint32_t r = (((col >> 16) & 0xFF) * al + ((p >> 16) & 0xFF) * ia + 127) / 255;
      uint32_t gg = (((col >> 8) & 0xFF) * al + ((p >> 8) & 0xFF) * ia + 127) / 255;
      uint32_t b = ((col & 0xFF) * al + (p & 0xFF) * ia + 127) / 255;
      d[tx] = r << 16 | gg << 8 | b;
    }
  }
}

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

}  // namespace mv
