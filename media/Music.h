// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace mv {

class TAudioMixer;

// XM tracker music: load by path (0 = failure), play (replacing whatever
// played), stop. A handle stays valid while it is the last one loaded or the
// one playing; older modules are released at the next load so that loading
// the same file at every game start does not pile modules up.
class TMusicPlayer {
 public:
  explicit TMusicPlayer(TAudioMixer* mixer);
  ~TMusicPlayer();
  uint32_t SongLoadFromFile(const std::string& path);
  void SongPlay(uint32_t handle);
  void SongStop(uint32_t handle);
  uint32_t Playing() const;
  // Why the last SongLoadFromFile returned 0.
  const std::string& LastError() const;
  // Modules held in memory right now.
  size_t LoadedCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> Impl_;
};

}  // namespace mv
