#include "media/Archive.h"
#include "media/ArchiveReader.h"

namespace mv {
namespace {

// Parses the file, prefixing every fault with the path so the error box
// says which archive is broken.
TArchiveContents ReadArchiveFile(const std::string& path, EArchiveKind want) {
  std::vector<uint8_t> bytes = ReadWholeFile(path);
  TArchiveContents c;
  try {
    c = ReadArchive(bytes.data(), bytes.size());
  } catch (const EArchiveError& e) {
    throw EArchiveError(path + ": " + e.what());
  }
  if (c.Kind != want)
    throw EArchiveError(path + ": " +
                        (want == EArchiveKind::Pictures ? "Not a picture archive" : "Not a sound archive"));
  return c;
}

}  // namespace

void LoadPictureArchive(const std::string& path, TPictureCollection& list) {
  list.Clear();
  TArchiveContents c = ReadArchiveFile(path, EArchiveKind::Pictures);
  for (auto& r : c.Pictures) {
    TPictureCollectionItem& item = list.Add();
    item.PatternWidth = r.PatternWidth;
    item.PatternHeight = r.PatternHeight;
    item.SkipWidth = r.SkipWidth;
    item.SkipHeight = r.SkipHeight;
    item.SystemMemory = r.SystemMemory;
    item.Transparent = r.Transparent;
    item.TransparentColor = r.TransparentColor;
    item.Picture = std::move(r.Picture);
    if (!r.Name.empty()) list.SetName(item, r.Name);
  }
}

void LoadWaveArchive(const std::string& path, TWaveCollection& list) {
  list.Clear();
  TArchiveContents c = ReadArchiveFile(path, EArchiveKind::Waves);
  for (auto& r : c.Waves) {
    TWaveCollectionItem& item = list.Add();
    item.Looped = r.Looped;
    item.SetMaxPlayingCount(r.MaxPlayingCount);
    item.Wave = std::move(r.Wave);
    if (!r.Name.empty()) list.SetName(item, r.Name);
  }
}

}  // namespace mv
