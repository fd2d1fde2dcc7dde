// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Audio.h"

#include <cerrno>
#include <cstring>

#include "media/Mixer.h"
#include "media/WaveCollection.h"

namespace mv {
namespace {

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// Canonical 44-byte header for 44100 Hz stereo 16-bit.
void WavHeader(uint8_t* h, uint32_t dataBytes) {
  std::memcpy(h, "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x02\0", 24);
  Put32(h + 4, 36 + dataBytes);
  Put32(h + 24, TAudioMixer::SampleRate);
  Put32(h + 28, TAudioMixer::SampleRate * 4);
  std::memcpy(h + 32, "\x04\0\x10\0data", 8);
  Put32(h + 40, dataBytes);
}

std::string WriteError(const std::string& path) {
  const int e = errno;
  return "cannot write sound file " + path + (e ? std::string(": ") + std::strerror(e) : "");
}

}  // namespace

TAudioMixer::TAudioMixer() : Impl_(std::make_unique<Impl>()) {}
TAudioMixer::~TAudioMixer() {
  Close();
  *Impl_->Link = nullptr;
}

bool TAudioMixer::OpenDevice(std::string& error) {
  Close();
  Impl& m = *Impl_;
  if (!SDL_WasInit(SDL_INIT_AUDIO)) {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
      error = m.Error = std::string("no audio: ") + SDL_GetError();
      return false;
    }
    m.SdlInited = true;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = SampleRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 512;  // about 12 ms: effects follow the frame closely
  want.callback = &Impl::Callback;
  want.userdata = &m;
  m.Mode = Impl::Device;  // before the callback can run
  m.Dev = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (m.Dev == 0) {
    error = m.Error = std::string("no audio device: ") + SDL_GetError();
    m.Mode = Impl::Closed;
    if (m.SdlInited) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m.SdlInited = false;
    return false;
  }
  m.ResumeMusic();
  SDL_PauseAudioDevice(m.Dev, 0);
  return true;
}

bool TAudioMixer::OpenWavOutput(const std::string& path, std::string& error) {
  Close();
  Impl& m = *Impl_;
  errno = 0;
  m.WavFile = std::fopen(path.c_str(), "wb");
  uint8_t h[44];
  WavHeader(h, 0);
  if (!m.WavFile || std::fwrite(h, 1, 44, m.WavFile) != 44) {
    error = m.Error = WriteError(path);
    if (m.WavFile) std::fclose(m.WavFile);
    m.WavFile = nullptr;
    return false;
  }
  m.WavPath = path;
  m.WavMs = m.WavFrames = m.WavBytes = 0;
  m.WavFailed = false;
  m.Mode = Impl::Wav;
  m.ResumeMusic();
  return true;
}

void TAudioMixer::OpenOffline() {
  Close();
  Impl_->Mode = Impl::Offline;
  Impl_->ResumeMusic();
}

void TAudioMixer::Advance(uint32_t ms) {
  Impl& m = *Impl_;
  if (m.Mode != Impl::Wav) return;
  // Whole-run frame target, so 16 ms steps never drift from the frame count.
  m.WavMs += ms;
  const uint64_t target = m.WavMs * SampleRate / 1000;
  int16_t buf[Impl::Chunk * 2];
  while (m.WavFrames < target) {
    const size_t n = size_t(std::min<uint64_t>(target - m.WavFrames, Impl::Chunk));
    m.Render(buf, n);
    m.WavFrames += n;
    if (m.WavFailed) continue;
    errno = 0;
    if (m.WavBytes + n * 4 > 0xFFFFFFFFull - 44) {
      // A RIFF file cannot say more; what was written stays a valid file.
      m.WavFailed = true;
      m.Error = "sound file " + m.WavPath + " is full (4 GB)";
    } else if (std::fwrite(buf, 4, n, m.WavFile) != n) {
      m.WavFailed = true;
      m.Error = WriteError(m.WavPath);
    } else {
      m.WavBytes += n * 4;
    }
  }
}

bool TAudioMixer::RenderTo(int16_t* out, size_t frames) {
  if (Impl_->Mode != Impl::Offline) {
    std::memset(out, 0, frames * 4);
    return false;
  }
  Impl_->Render(out, frames);
  return true;
}

bool TAudioMixer::Close() {
  Impl& m = *Impl_;
  if (m.Mode == Impl::Closed) return true;
  const bool wasDevice = m.Mode == Impl::Device;
  m.CloseAll();
  if (wasDevice && m.SdlInited) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    m.SdlInited = false;
  }
  if (m.WavFile) {
    uint8_t h[44];
    WavHeader(h, uint32_t(m.WavBytes));
    errno = 0;
    bool ok = std::fseek(m.WavFile, 0, SEEK_SET) == 0 && std::fwrite(h, 1, 44, m.WavFile) == 44;
    ok = std::fclose(m.WavFile) == 0 && ok;
    m.WavFile = nullptr;
    if (!ok && !m.WavFailed) m.Error = WriteError(m.WavPath);
    if (!ok || m.WavFailed) return false;
  }
  return true;
}

void TAudioMixer::SetMuted(bool muted) { Impl_->SetMuted(muted); }

const std::string& TAudioMixer::LastError() const { return Impl_->Error; }

std::vector<TAudioMixer::TVoiceView> TAudioMixer::ExtraVoices(const TWaveCollectionItem& item) {
  std::vector<TVoiceView> out;
  if (item.Voices_)
    for (auto& v : item.Voices_->Extra) out.push_back({v->Id, v->Playing(), v->StartSeq.load()});
  return out;
}

TAudioMixer::TVoiceView TAudioMixer::MainVoice(const TWaveCollectionItem& item) {
  if (!item.Voices_) return {0, false, 0};
  const TVoice& v = item.Voices_->Main;
  return {v.Id, v.Playing(), v.StartSeq.load()};
}

}  // namespace mv
