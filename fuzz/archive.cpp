// SPDX-License-Identifier: GPL-3.0-or-later
// ".dxg" archive bytes through the reader, the picture and wave loaders, a
// draw of every pattern and a play of every effect. Every refusal must name
// the file.
#include <algorithm>
#include <vector>

#include "fuzz/FuzzUtil.h"
#include "media/Archive.h"
#include "media/WaveCollection.h"
#include "media/Audio.h"
#include "platform/Surface.h"

using namespace mv;

namespace {

void CheckNamesFile(const std::string& error, const std::string& path) {
  if (error.rfind(path + ": ", 0) != 0 && error.find("\"" + path + "\"") == std::string::npos)
    fuzz::Broken("archive error without the file's name: " + error);
}

void DrawAll(TPictureCollection& list) {
  TSurface s(96, 64);
  for (int i = 0; i < list.Count(); ++i) {
    TPictureCollectionItem& item = list.Items(i);
    // Only a few patterns of each: a picture may be cut into millions.
    const int n = std::min(item.PatternCount(), 4);
    for (int p = -1; p <= n; ++p) {
      item.DrawPattern(s, -3, 5, p);
      item.DrawPatternStretched(s, Bounds(10, -2, 40, 30), p);
      item.DrawPatternStretched(s, Bounds(1, 1, 3, 2), p);  // a cached smaller copy
      item.DrawPatternAlpha(s, Bounds(50, 20, 60, 60), p, 128);
    }
  }
}

void PlayAll(TWaveCollection& list) {
  TAudioMixer mixer;
  mixer.OpenOffline();
  list.SetMixer(&mixer);
  for (int i = 0; i < list.Count(); ++i) {
    TWaveCollectionItem& item = list.Items(i);
    item.Frequency = i % 2 ? 0 : 44100;
    item.Play();
    item.Play();
  }
  std::vector<int16_t> out(2 * 4410);
  mixer.RenderTo(out.data(), out.size() / 2);
  list.StopAll();
  mixer.RenderTo(out.data(), out.size() / 2);
  list.SetMixer(nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::ScratchPath("archive.dxg");
  fuzz::WriteFile(path, data, size);
  {
    TPictureCollection pictures;
    try {
      LoadPictureArchive(path, pictures);
    } catch (const EArchiveError& e) {
      CheckNamesFile(e.what(), path);
    }
    for (int i = 0; i < pictures.Count(); ++i) {
      try {
        pictures.Items(i).Restore();
      } catch (const EPictureCollectionError& e) {
        if (std::string(e.what()).rfind("Image '", 0) != 0)
          fuzz::Broken(std::string("picture error without its name: ") + e.what());
      }
    }
    DrawAll(pictures);  // items that failed are not ready and draw nothing
  }
  {
    TWaveCollection waves;
    try {
      LoadWaveArchive(path, waves);
    } catch (const EArchiveError& e) {
      CheckNamesFile(e.what(), path);
    }
    PlayAll(waves);
  }
  return 0;
}
