// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Audio-thread side of TAudioMixer. The game thread talks to the mixing side
// only through a lock-free single-producer/single-consumer command queue and
// reads voice state through atomics, so a frame never waits for the audio
// callback. SDL's device lock is taken only around music teardown, for the
// length of one callback at most.
#include <SDL.h>
#include <xmp.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <memory>
#include <vector>

#include "media/Audio.h"
#include "media/WaveData.h"

namespace mv {

template <class T, size_t N>
class TSpscQueue {
 public:
  bool Push(const T& v) {
    size_t t = Tail_.load(std::memory_order_relaxed);
    if (t - Head_.load(std::memory_order_acquire) == N) return false;
    Slots_[t % N] = v;
    Tail_.store(t + 1, std::memory_order_release);
    return true;
  }
  bool Pop(T& v) {
    size_t h = Head_.load(std::memory_order_relaxed);
    if (h == Tail_.load(std::memory_order_acquire)) return false;
    v = Slots_[h % N];
    Head_.store(h + 1, std::memory_order_release);
    return true;
  }
  // Producer side: how many commands were ever pushed.
  size_t Pushed() const { return Tail_.load(std::memory_order_relaxed); }

 private:
  std::array<T, N> Slots_{};
  std::atomic<size_t> Head_{0}, Tail_{0};
};

// One play of a wave: position, speed, gains with a short ramp towards their
// targets (so volume changes never step), and the start/stop envelope.
struct TPlayback {
  double Pos = 0, Step = 1;
  float GainL = 1, GainR = 1;
  float TargetL = 1, TargetR = 1, RampL = 0, RampR = 0;
  int RampLeft = 0;
  float Env = 0, EnvStep = 0;
  bool Active = false, Loop = false;
};

struct TVoiceSet;

struct TVoice {
  int Id = 0;
  // A voice sounds while the game's start count is ahead of the audio side's
  // end mark: the game can choose buffers without asking the audio thread.
  std::atomic<uint32_t> StartSeq{0}, EndSeq{0};
  bool Playing() const {
    return StartSeq.load(std::memory_order_acquire) != EndSeq.load(std::memory_order_acquire);
  }
  // Mixing side only.
  TVoiceSet* Set = nullptr;
  TPlayback Cur;
  uint32_t CurSeq = 0;
  bool Listed = false;
};

// An item's converted wave and its voices. Kept by the mixer until the mixing
// side can no longer touch it.
struct TVoiceSet {
  bool Prepared = false, Usable = false;
  std::vector<float> Data;  // interleaved, the item's own rate
  int Channels = 1, Rate = 22050;
  uint32_t Frames = 0;
  TVoice Main;
  // Kept in start order: the first is always the one started longest ago.
  std::vector<std::unique_ptr<TVoice>> Extra;
  // Plays and fade-outs of this set the mixing side still runs.
  std::atomic<int> Users{0};
  // Game side: queue position when no item held the set any more (0 = held).
  size_t OrphanAt = 0;
};

// A cut-off or stopped play finishing its fade-out.
struct TFade {
  TPlayback Pb;
  TVoiceSet* Set = nullptr;
};

struct TMixCommand {
  enum EKind : uint8_t { Start, Stop, Gain, MusicPlay, MusicStop } Kind = Start;
  TVoice* Voice = nullptr;
  uint32_t Seq = 0;
  double Step = 1;
  float GainL = 1, GainR = 1;
  bool Loop = false;
  xmp_context Music = nullptr;
};

struct TPlayParams {
  double Step = 1;
  float GainL = 1, GainR = 1;
};

struct TAudioMixer::Impl {
  enum EMode { Closed, Device, Wav, Offline } Mode = Closed;
  static constexpr int FadeInFrames = 66;    // 1.5 ms
  static constexpr int FadeOutFrames = 176;  // 4 ms
  static constexpr int GainRampFrames = 176;
  static constexpr float MusicGain = 0.5f;
  // While effects sound the music steps back, by half of what the effects
  // stand over the threshold and at most MaxDuckDb, so a gulp is heard over
  // a loud bar; a quiet menu blip hardly moves it. The level follows the
  // effects within 5 ms and lets go over 150 ms.
  static constexpr float DuckThresholdDb = -20.f, DuckRatio = 0.5f, MaxDuckDb = 6.f;
  static constexpr float DuckAttackMs = 5.f, DuckReleaseMs = 300.f;
  static constexpr size_t DuckStep = 16;  // samples per new gain target
  static constexpr size_t Chunk = 256;
  static constexpr size_t MaxVoices = 512;
  static constexpr size_t MaxFades = 64;

  // Game thread.
  std::shared_ptr<TVoiceSet> NewVoiceSet();
  bool Prepare(TVoiceSet& set, const TWaveData& wave);
  TPlayParams Params(const TVoiceSet& set, int frequency, int pan, int volume) const;
  TVoice& NewExtra(TVoiceSet& set);
  void StartVoice(TVoice& v, const TPlayParams& p, bool loop);
  void StopVoice(TVoice& v);
  void SetGain(TVoice& v, const TPlayParams& p);
  void PlayMusic(xmp_context ctx);
  void StopMusic();
  // Of the given modules, those the mixing side still plays or fades out.
  // With `force` it lets go of them at once instead (before they are freed).
  std::vector<xmp_context> MusicInUse(const std::vector<xmp_context>& songs, bool force);
  void SetMuted(bool muted);
  void CloseAll();
  bool Send(const TMixCommand& c);
  void CollectSets();

  // Consumer side (audio thread, or the game thread when headless).
  void Render(int16_t* out, size_t frames);
  void Drain();
  void Apply(const TMixCommand& c);
  void FadeOut(TPlayback& pb, TVoiceSet* set);
  // The music's gain for each of the next n samples, from the effects mixed so far.
  void Duck(const float* l, const float* r, size_t n);
  void MixMusic(float* l, float* r, size_t n);
  bool PullMusic(size_t n);
  static void Callback(void* self, Uint8* stream, int len);

  TSpscQueue<TMixCommand, 4096> Queue;
  std::atomic<size_t> Applied{0};  // commands the mixing side has acted on
  std::vector<std::shared_ptr<TVoiceSet>> Sets;
  int NextVoiceId = 1;
  std::array<TVoice*, MaxVoices> Active{};
  size_t ActiveCount = 0;
  std::array<TFade, MaxFades> Fades{};
  // Game side: the module asked for last, started again when the output opens.
  xmp_context WantMusic = nullptr;
  void ResumeMusic();
  xmp_context MusicCur = nullptr, MusicNext = nullptr;
  bool MusicSwitch = false;
  // The rest of the module's last frame, not yet mixed.
  const int16_t* MusicAt = nullptr;
  size_t MusicLeft = 0;
  float MusicEnv = 0, MusicEnvStep = 0;
  std::atomic<bool> Muted{false};
  float MasterEnv = 1;
  std::array<int16_t, Chunk * 2> MusicBuf{};
  std::array<float, Chunk> MixL{}, MixR{};
  float DuckPower = 0, DuckGain = 1;  // effects' mean square; music gain now
  std::array<float, Chunk> DuckBuf{};

  SDL_AudioDeviceID Dev = 0;
  bool SdlInited = false;
  FILE* WavFile = nullptr;
  uint64_t WavMs = 0, WavFrames = 0, WavBytes = 0;
  bool WavFailed = false;
  std::string WavPath, Error;
  // Lets a music player that outlives the mixer know it is gone.
  std::shared_ptr<Impl*> Link = std::make_shared<Impl*>(this);
};

}  // namespace mv
