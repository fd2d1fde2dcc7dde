#include "media/Archive.h"
#include "media/ArchiveReader.h"

namespace mv {

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
