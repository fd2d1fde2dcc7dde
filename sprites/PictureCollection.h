// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Image.h"
#include "platform/Surface.h"
#include "platform/Types.h"

namespace mv {

class TSpans;

class EPictureCollectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One named picture cut into patterns (animation frames).
class TPictureCollectionItem {
 public:
  TPictureCollectionItem();
  ~TPictureCollectionItem();

  const std::string& Name() const { return Name_; }
  int PatternWidth = 0;   // 0: the whole picture
  int PatternHeight = 0;
  int SkipWidth = 0;
  int SkipHeight = 0;
  bool SystemMemory = false;
  bool Transparent = true;
  TColor TransparentColor = 0;
  TImage Picture;
  // Draws copy the runs of drawn pixels each pattern was found to have
  // (found again when the picture is replaced, re-cut or re-keyed, but not
  // when its pixels change in place, edited or copied over by a picture of
  // the same size: Restore after that). A pattern without a keyed pixel
  // that covers the whole surface becomes the surface's background, which
  // the surface copies back only where drawn over when the same pattern
  // covers it again, until Restore. Off, every pixel is tested for the key
  // on every draw and backgrounds are copied whole, with the same result.
  bool DrawFromSpans = true;

  // Width of one pattern: PatternWidth when above 0, else the picture's.
  int GetPatternWidth() const;
  int GetPatternHeight() const;
  // Patterns cut row by row; 0 until Restore has run.
  int PatternCount() const;
  TRect PatternRect(int pattern) const;
  bool Ready() const { return Ready_; }
  // Makes the item ready for drawing (cuts patterns, builds blit caches).
  // An empty picture is ready with no patterns, so it draws nothing.
  void Restore();
  // Pre-scaled pattern copies held for downscaled draws.
  int CachedCopies() const;

  // Nothing is drawn when not ready or the pattern is out of range.
  void DrawPattern(TSurface& dst, int x, int y, int pattern);
  void DrawPatternStretched(TSurface& dst, const TRect& r, int pattern);
  void DrawPatternAlpha(TSurface& dst, const TRect& r, int pattern, int alpha);

 private:
  friend class TPictureCollection;
  // False once the picture no longer has the size it was cut at.
  bool Intact() const;
  const TImage* ScaledCopy(int pattern, int w, int h, const TSpans** spans);
  const TSpans& PatternSpans(int pattern, const TRect& src);
  // The pattern at its own size, its top-left corner at (x, y).
  void Copy(TSurface& dst, int x, int y, int pattern, const TRect& src);

  std::string Name_;
  std::string LowerName_;
  bool Ready_ = false;
  int PatternCount_ = 0;
  int CutWidth_ = 0, CutHeight_ = 0;  // picture size at Restore
  struct Cache;
  std::unique_ptr<Cache> Cache_;
};

// A named list of pictures; lookup through 256 hash chains, newest first.
class TPictureCollection {
 public:
  TPictureCollection();
  ~TPictureCollection();

  TPictureCollectionItem& Add();
  // Names compare case-insensitively; the item named last wins.
  void SetName(TPictureCollectionItem& item, const std::string& name);
  // Throws EPictureCollectionError "Image '%s' not found".
  TPictureCollectionItem& Find(const std::string& name);
  TPictureCollectionItem* FindOrNull(const std::string& name);
  int Count() const { return int(Items_.size()); }
  TPictureCollectionItem& Items(int i) { return *Items_.at(size_t(i)); }
  void Clear();
  // Restore every item.
  void Restore();

  static uint8_t HashName(const std::string& lower_name);

 private:
  std::vector<std::unique_ptr<TPictureCollectionItem>> Items_;
  std::array<std::vector<TPictureCollectionItem*>, 256> Chains_;  // back = newest
};

}  // namespace mv
