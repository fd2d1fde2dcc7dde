// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Music.h"

#include <xmp.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "media/Audio.h"
#include "media/Mixer.h"

namespace mv {

struct TMusicPlayer::Impl {
  struct TSong {
    uint32_t Handle;
    xmp_context Ctx;
  };
  // Null once the mixer is gone.
  std::shared_ptr<TAudioMixer::Impl*> Link;
  std::vector<TSong> Songs;
  uint32_t NextHandle = 1, Last = 0, Playing = 0;
  std::string Error;

  TAudioMixer::Impl* Mixer() const { return Link ? *Link : nullptr; }
  xmp_context Find(uint32_t handle) const {
    for (const auto& s : Songs)
      if (s.Handle == handle) return s.Ctx;
    return nullptr;
  }
  // Frees the modules nobody can ask for any more: not the last loaded, not
  // the one playing, and none the mixer is still fading out.
  void ReleaseStale() {
    std::vector<xmp_context> stale;
    for (const auto& s : Songs)
      if (s.Handle != Last && s.Handle != Playing) stale.push_back(s.Ctx);
    if (stale.empty()) return;
    std::vector<xmp_context> used;
    if (auto* m = Mixer()) used = m->MusicInUse(stale, false);
    std::erase_if(Songs, [&](const TSong& s) {
      const bool gone = std::find(stale.begin(), stale.end(), s.Ctx) != stale.end() &&
                        std::find(used.begin(), used.end(), s.Ctx) == used.end();
      if (gone) xmp_free_context(s.Ctx);
      return gone;
    });
  }
};

namespace {

// A module without channels, or whose order list names no pattern it has,
// loads fine but never yields a sample: the player would spin on it.
bool Playable(xmp_context ctx) {
  xmp_module_info info{};
  xmp_get_module_info(ctx, &info);
  const xmp_module* m = info.mod;
  if (!m || m->chn <= 0 || m->len <= 0 || m->pat <= 0) return false;
  for (int i = 0; i < m->len && i < XMP_MAX_MOD_LENGTH; ++i)
    if (m->xxo[i] < m->pat) return true;
  return false;
}

}  // namespace

TMusicPlayer::TMusicPlayer(TAudioMixer* mixer) : Impl_(std::make_unique<Impl>()) {
  if (mixer) Impl_->Link = mixer->Internals().Link;
}

TMusicPlayer::~TMusicPlayer() {
  std::vector<xmp_context> all;
  for (const auto& s : Impl_->Songs) all.push_back(s.Ctx);
  if (auto* m = Impl_->Mixer()) m->MusicInUse(all, true);
  for (xmp_context c : all) xmp_free_context(c);
}

uint32_t TMusicPlayer::SongLoadFromFile(const std::string& path) {
  Impl& p = *Impl_;
  xmp_context ctx = xmp_create_context();
  if (!ctx) {
    p.Error = "out of memory loading " + path;
    return 0;
  }
  errno = 0;
  const int rc = xmp_load_module(ctx, path.c_str());
  if (rc != 0) {
    const int e = errno;
    xmp_free_context(ctx);
    if (rc == -XMP_ERROR_SYSTEM)
      p.Error = path + ": cannot read the file" + (e ? std::string(" (") + std::strerror(e) + ")" : "");
    else if (rc == -XMP_ERROR_FORMAT)
      p.Error = path + ": not a music module";
    else
      p.Error = path + ": damaged music module";
    return 0;
  }
  if (!Playable(ctx)) {
    xmp_free_context(ctx);
    p.Error = path + ": damaged music module (nothing to play)";
    return 0;
  }
  const uint32_t handle = p.NextHandle++;
  if (p.NextHandle == 0) p.NextHandle = 1;  // 0 means failure
  p.Songs.push_back({handle, ctx});
  p.Last = handle;
  p.ReleaseStale();
  return handle;
}

void TMusicPlayer::SongPlay(uint32_t handle) {
  Impl& p = *Impl_;
  xmp_context ctx = p.Find(handle);
  if (!ctx) return;
  p.Playing = handle;
  if (auto* m = p.Mixer()) m->PlayMusic(ctx);
}

void TMusicPlayer::SongStop(uint32_t handle) {
  Impl& p = *Impl_;
  if (handle == 0 || handle != p.Playing) return;
  p.Playing = 0;
  if (auto* m = p.Mixer()) m->StopMusic();
}

uint32_t TMusicPlayer::Playing() const { return Impl_->Playing; }

const std::string& TMusicPlayer::LastError() const { return Impl_->Error; }

size_t TMusicPlayer::LoadedCount() const { return Impl_->Songs.size(); }

}  // namespace mv
