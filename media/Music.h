#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace mv {

class TAudioMixer;

// XM tracker music: load by path (0 = failure), play (replacing whatever
// played), stop. Loaded modules are kept until the player is destroyed.
class TMusicPlayer {
 public:
  explicit TMusicPlayer(TAudioMixer* mixer);
  ~TMusicPlayer();
  uint32_t SongLoadFromFile(const std::string& path);
  void SongPlay(uint32_t handle);
  void SongStop(uint32_t handle);
  uint32_t Playing() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> Impl_;
};

}  // namespace mv
