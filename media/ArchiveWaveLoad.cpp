// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Archive.h"
#include "media/WaveCollection.h"
#include "media/ArchiveReader.h"

#include <cstdio>

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
    if (!r.Unplayable.empty())
      std::fprintf(stderr, "%s: effect '%s' plays nothing: %s\n", path.c_str(), r.Name.c_str(),
                   r.Unplayable.c_str());
  }
}

}  // namespace mv
