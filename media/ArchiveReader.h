// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstddef>  // before platform/Image.h, which uses size_t
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media/WaveData.h"
#include "platform/Image.h"
#include "platform/Types.h"

namespace mv {

// One picture of an archive with the properties it was stored with.
struct TPictureRecord {
  std::string Name;
  int PatternWidth = 0;
  int PatternHeight = 0;
  int SkipWidth = 0;
  int SkipHeight = 0;
  bool SystemMemory = false;
  bool Transparent = true;
  TColor TransparentColor = 0;  // 0x00RRGGBB
  TImage Picture;               // 0x00RRGGBB, top-down

  int EffectivePatternWidth() const { return PatternWidth > 0 ? PatternWidth : Picture.Width; }
  int EffectivePatternHeight() const { return PatternHeight > 0 ? PatternHeight : Picture.Height; }
  // Patterns cut row by row from the top-left, as the sprite engine cuts them.
  int PatternCount() const;
};

// One sound effect of an archive.
struct TWaveRecord {
  std::string Name;
  bool Looped = false;
  int MaxPlayingCount = 0;
  TWaveData Wave;
  // Why a whole sound in a format the game cannot play stays silent; empty
  // for a playable one.
  std::string Unplayable;
};

enum class EArchiveKind { Pictures, Waves };

inline constexpr const char* kPictureArchiveClass = "TPictureCollectionComponent";
inline constexpr const char* kWaveArchiveClass = "TWaveCollectionComponent";

struct TArchiveContents {
  EArchiveKind Kind = EArchiveKind::Pictures;
  std::vector<TPictureRecord> Pictures;  // archive order
  std::vector<TWaveRecord> Waves;
};

// Parses a whole ".dxg" image. Throws EArchiveError naming the fault.
TArchiveContents ReadArchive(const uint8_t* data, size_t size);
// Reads and parses a whole archive file; every fault is prefixed with the
// path ("Data/GData.dxg: Invalid stream format"), and with `want` set an
// archive of the other kind is refused.
TArchiveContents ReadArchiveFile(const std::string& path,
                                 std::optional<EArchiveKind> want = std::nullopt);
// Reads a whole file; EArchiveError "Cannot open file \"PATH\"..." if it can't.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Standard colour identifiers ("clFuchsia", ...) as 0x00RRGGBB; false when
// the name is not one (case-insensitive).
bool ColorFromIdent(const std::string& ident, TColor& rgb);
// The framework's colour integers are 0x00BBGGRR.
inline TColor ColorFromBgr(uint32_t bgr) {
  return (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
}
inline uint32_t ColorToBgr(TColor rgb) { return ColorFromBgr(rgb); }

}  // namespace mv
