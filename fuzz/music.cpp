// SPDX-License-Identifier: GPL-3.0-or-later
// XM bytes through the module loader and, when it takes them, a few seconds
// of rendering. A module must either be refused or play without hanging.
#include <vector>

#include "fuzz/FuzzUtil.h"
#include "media/Audio.h"
#include "media/Music.h"

using namespace mv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz::ScratchPath("music.xm");
  fuzz::WriteFile(path, data, size);
  TAudioMixer mixer;
  mixer.OpenOffline();
  TMusicPlayer music(&mixer);
  const uint32_t h = music.SongLoadFromFile(path);
  if (h == 0) {
    if (music.LastError().find(path) == std::string::npos)
      fuzz::Broken("music error without the file's name: " + music.LastError());
    return 0;
  }
  music.SongPlay(h);
  std::vector<int16_t> out(2 * 44100 / 2);
  for (int i = 0; i < 6; ++i) mixer.RenderTo(out.data(), out.size() / 2);  // three seconds
  music.SongStop(h);
  mixer.RenderTo(out.data(), 1024);
  return 0;
}
