// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Archive.h"
#include "media/ArchiveReader.h"

namespace mv {

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

}  // namespace mv
