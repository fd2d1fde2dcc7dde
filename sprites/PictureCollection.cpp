// SPDX-License-Identifier: GPL-3.0-or-later
#include "sprites/PictureCollection.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <tuple>

#include "platform/Blit.h"

namespace mv {

namespace {

std::string Lower(const std::string& s) {
  std::string out = s;
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return out;
}

// Fish and objects come in at most nine sizes per pattern; this covers a
// full swim cycle at several sizes without letting one item grow unbounded.
constexpr size_t kMaxCachedCopies = 64;

}  // namespace

// Runs of drawn pixels, with what they were found from: a picture swapped,
// re-cut or keyed differently since then has them found again.
struct TFoundSpans {
  TSpans Spans;
  const uint32_t* Data = nullptr;
  TRect Rect;
  bool Keyed = false;
  TColor Key = 0;
  bool Found = false;

  const TSpans& For(const TImage& picture, const TRect& rect, bool keyed, TColor key) {
    key &= 0xFFFFFF;
    if (!Found || Data != picture.Pixels.data() || !(Rect == rect) || Keyed != keyed ||
        (keyed && Key != key)) {
      Spans = TSpans(picture, rect, keyed, key);
      Data = picture.Pixels.data();
      Rect = rect;
      Keyed = keyed;
      Key = key;
      Found = true;
    }
    return Spans;
  }
};

// Per pattern the runs of its drawn pixels, and smoothly downscaled pattern
// copies keyed by (pattern, width, height) with theirs.
struct TPictureCollectionItem::Cache {
  struct Entry {
    TImage Image;
    TFoundSpans Spans;
    uint64_t LastUse = 0;
  };
  std::vector<TFoundSpans> Patterns;
  std::map<std::tuple<int, int, int>, Entry> Copies;
  uint64_t Clock = 0;
  // Stands for the picture's pixels until the next Restore, so a surface
  // this picture covered knows whether a second cover by it brings anything
  // new.
  std::shared_ptr<const void> Stamp = std::make_shared<char>(0);
};

TPictureCollectionItem::TPictureCollectionItem() : Cache_(std::make_unique<Cache>()) {}
TPictureCollectionItem::~TPictureCollectionItem() = default;

int TPictureCollectionItem::GetPatternWidth() const {
  return PatternWidth > 0 ? PatternWidth : Picture.Width;
}

int TPictureCollectionItem::GetPatternHeight() const {
  return PatternHeight > 0 ? PatternHeight : Picture.Height;
}

int TPictureCollectionItem::PatternCount() const { return PatternCount_; }

TRect TPictureCollectionItem::PatternRect(int pattern) const {
  // 64-bit steps: an archive may hold any int, and a sum must not wrap.
  const int64_t pw = GetPatternWidth(), ph = GetPatternHeight();
  const int64_t step_x = pw + SkipWidth, step_y = ph + SkipHeight;
  if (pattern < 0 || pw <= 0 || ph <= 0 || step_x <= 0 || step_y <= 0) return {};
  const int64_t columns = (int64_t(Picture.Width) + SkipWidth) / step_x;
  if (columns <= 0) return {};
  const int64_t left = pattern % columns * step_x, top = pattern / columns * step_y;
  if (left > INT32_MAX || top > INT32_MAX) return {};
  return Bounds(int(left), int(top), int(pw), int(ph));
}

bool TPictureCollectionItem::Intact() const {
  return Picture.Width == CutWidth_ && Picture.Height == CutHeight_ && !Picture.Empty() &&
         Picture.Pixels.size() >= size_t(Picture.Width) * size_t(Picture.Height);
}

void TPictureCollectionItem::Restore() {
  Ready_ = true;
  Cache_->Copies.clear();
  Cache_->Patterns.clear();
  Cache_->Stamp = std::make_shared<char>(0);
  CutWidth_ = Picture.Width;
  CutHeight_ = Picture.Height;
  PatternCount_ = 0;
  if (!Intact()) return;
  const int64_t pw = GetPatternWidth(), ph = GetPatternHeight();
  const int64_t step_x = pw + SkipWidth, step_y = ph + SkipHeight;
  if (step_x > INT32_MAX || step_y > INT32_MAX) {
    Ready_ = false;
    throw EPictureCollectionError("Image '" + Name_ + "': impossible pattern size (" +
                                  std::to_string(PatternWidth) + " + " + std::to_string(SkipWidth) + " by " +
                                  std::to_string(PatternHeight) + " + " + std::to_string(SkipHeight) + ")");
  }
  if (pw <= 0 || ph <= 0 || step_x <= 0 || step_y <= 0) return;
  const int64_t columns = (int64_t(Picture.Width) + SkipWidth) / step_x;
  const int64_t rows = (int64_t(Picture.Height) + SkipHeight) / step_y;
  if (columns <= 0 || rows <= 0) return;
  PatternCount_ = int(std::min<int64_t>(columns * rows, INT32_MAX));
}

int TPictureCollectionItem::CachedCopies() const { return int(Cache_->Copies.size()); }

const TImage* TPictureCollectionItem::ScaledCopy(int pattern, int w, int h, const TSpans** spans) {
  Cache& c = *Cache_;
  const auto key = std::make_tuple(pattern, w, h);
  auto it = c.Copies.find(key);
  if (it == c.Copies.end()) {
    if (c.Copies.size() >= kMaxCachedCopies) {
      auto oldest = std::min_element(c.Copies.begin(), c.Copies.end(), [](auto& a, auto& b) {
        return a.second.LastUse < b.second.LastUse;
      });
      c.Copies.erase(oldest);
    }
    Cache::Entry e;
    e.Image = ScaleSmooth(Picture, PatternRect(pattern), w, h, Transparent, TransparentColor);
    it = c.Copies.emplace(key, std::move(e)).first;
  }
  it->second.LastUse = ++c.Clock;
  const TImage& img = it->second.Image;
  // A copy of the wrong size would read past its end when blitted.
  if (img.Width != w || img.Height != h || img.Pixels.size() < size_t(w) * size_t(h))
    return nullptr;
  *spans = &it->second.Spans.For(img, Bounds(0, 0, w, h), Transparent, TransparentColor);
  return &img;
}

namespace {

bool Inside(const TRect& r, const TImage& pic) {
  return r.Left >= 0 && r.Top >= 0 && r.Right <= pic.Width && r.Bottom <= pic.Height &&
         r.Width() > 0 && r.Height() > 0;
}

}  // namespace

const TSpans& TPictureCollectionItem::PatternSpans(int pattern, const TRect& src) {
  // Grown as patterns are drawn: a picture cut into millions of tiny
  // patterns must not cost a cache entry for each up front.
  auto& all = Cache_->Patterns;
  if (all.size() <= size_t(pattern)) all.resize(size_t(pattern) + 1);
  return all[size_t(pattern)].For(Picture, src, Transparent, TransparentColor);
}

void TPictureCollectionItem::Copy(TSurface& dst, int x, int y, int pattern, const TRect& src) {
  if (DrawFromSpans) {
    const TSpans& spans = PatternSpans(pattern, src);
    // A background: opaque and covering the whole surface.
    if (spans.Solid() && dst.Cover(x, y, Picture, src, Cache_->Stamp)) return;
    if (BlitSpans(dst.PixelsIn(x, y, src.Width(), src.Height()), x, y, Picture, src, spans)) return;
  }
  BlitKeyed(dst.PixelsIn(x, y, src.Width(), src.Height()), x, y, Picture, src, Transparent,
            TransparentColor);
}

void TPictureCollectionItem::DrawPattern(TSurface& dst, int x, int y, int pattern) {
  if (!Ready_ || pattern < 0 || pattern >= PatternCount_ || !Intact()) return;
  const TRect src = PatternRect(pattern);
  if (!Inside(src, Picture)) return;
  Copy(dst, x, y, pattern, src);
}

void TPictureCollectionItem::DrawPatternStretched(TSurface& dst, const TRect& r, int pattern) {
  if (!Ready_ || pattern < 0 || pattern >= PatternCount_ || !Intact()) return;
  const TRect src = PatternRect(pattern);
  if (!Inside(src, Picture)) return;
  const int w = r.Width(), h = r.Height();
  if (w <= 0 || h <= 0) return;
  if (w == src.Width() && h == src.Height()) {
    Copy(dst, r.Left, r.Top, pattern, src);
    return;
  }
  if (w <= src.Width() && h <= src.Height()) {
    const TSpans* spans = nullptr;
    if (const TImage* copy = ScaledCopy(pattern, w, h, &spans)) {
      if (!DrawFromSpans || !BlitSpans(dst.PixelsIn(r), r.Left, r.Top, *copy, Bounds(0, 0, w, h), *spans))
        BlitKeyed(dst.PixelsIn(r), r.Left, r.Top, *copy, Bounds(0, 0, w, h), Transparent,
                  TransparentColor);
      return;
    }
  }
  BlitStretched(dst.PixelsIn(r), r, Picture, src, Transparent, TransparentColor);
}

void TPictureCollectionItem::DrawPatternAlpha(TSurface& dst, const TRect& r, int pattern,
                                              int alpha) {
  if (!Ready_ || pattern < 0 || pattern >= PatternCount_ || !Intact()) return;
  const TRect src = PatternRect(pattern);
  if (!Inside(src, Picture)) return;
  const int w = r.Width(), h = r.Height();
  if (w <= 0 || h <= 0) return;
  alpha = std::clamp(alpha, 0, 255);
  if (alpha == 0) return;  // fully see-through: nothing would change
  if (w == src.Width() && h == src.Height()) {
    if (!DrawFromSpans ||
        !BlitSpansAlpha(dst.PixelsIn(r), r.Left, r.Top, Picture, src, PatternSpans(pattern, src),
                        uint8_t(alpha)))
      BlitAlpha(dst.PixelsIn(r), r, Picture, src, Transparent, TransparentColor, uint8_t(alpha));
    return;
  }
  if (w <= src.Width() && h <= src.Height()) {
    const TSpans* spans = nullptr;
    if (const TImage* copy = ScaledCopy(pattern, w, h, &spans)) {
      if (!DrawFromSpans || !BlitSpansAlpha(dst.PixelsIn(r), r.Left, r.Top, *copy,
                                            Bounds(0, 0, w, h), *spans, uint8_t(alpha)))
        BlitAlpha(dst.PixelsIn(r), r, *copy, Bounds(0, 0, w, h), Transparent, TransparentColor,
                  uint8_t(alpha));
      return;
    }
  }
  BlitAlpha(dst.PixelsIn(r), r, Picture, src, Transparent, TransparentColor, uint8_t(alpha));
}

// ------------------------------------------------------ TPictureCollection

TPictureCollection::TPictureCollection() = default;
TPictureCollection::~TPictureCollection() = default;

uint8_t TPictureCollection::HashName(const std::string& lower_name) {
  const size_t len = lower_name.size();
  size_t v = 16 * len;
  if (len >= 2) v += uint8_t(lower_name[0]) + uint8_t(lower_name[len - 2]);
  return uint8_t(v & 0xFF);
}

TPictureCollectionItem& TPictureCollection::Add() {
  Items_.push_back(std::make_unique<TPictureCollectionItem>());
  return *Items_.back();
}

void TPictureCollection::SetName(TPictureCollectionItem& item, const std::string& name) {
  // A foreign item in the chains would dangle once its own list let it go.
  const bool ours = std::any_of(Items_.begin(), Items_.end(),
                                [&](const auto& p) { return p.get() == &item; });
  if (!ours) throw EPictureCollectionError("Image '" + name + "' is not in this list");
  if (!item.Name_.empty()) {
    auto& old_chain = Chains_[HashName(item.LowerName_)];
    old_chain.erase(std::remove(old_chain.begin(), old_chain.end(), &item), old_chain.end());
  }
  item.Name_ = name;
  item.LowerName_ = Lower(name);
  if (!name.empty()) Chains_[HashName(item.LowerName_)].push_back(&item);
}

TPictureCollectionItem* TPictureCollection::FindOrNull(const std::string& name) {
  const std::string lower = Lower(name);
  const auto& chain = Chains_[HashName(lower)];
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    if ((*it)->LowerName_ == lower) return *it;
  return nullptr;
}

TPictureCollectionItem& TPictureCollection::Find(const std::string& name) {
  if (TPictureCollectionItem* item = FindOrNull(name)) return *item;
  throw EPictureCollectionError("Image '" + name + "' not found");
}

void TPictureCollection::Clear() {
  for (auto& chain : Chains_) chain.clear();
  Items_.clear();
}

void TPictureCollection::Restore() {
  for (auto& item : Items_) item->Restore();
}

}  // namespace mv
