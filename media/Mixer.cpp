// SPDX-License-Identifier: GPL-3.0-or-later
#include "media/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace mv {

// ---- game thread ----

std::shared_ptr<TVoiceSet> TAudioMixer::Impl::NewVoiceSet() {
  CollectSets();
  auto set = std::make_shared<TVoiceSet>();
  set->Main.Id = NextVoiceId++;
  set->Main.Set = set.get();
  Sets.push_back(set);
  return set;
}

void TAudioMixer::Impl::CollectSets() {
  // A set no item holds may still be named by queued commands or be sounding
  // out: it goes once the mixing side has passed the queue position at which
  // it was let go and runs nothing of it any more.
  const size_t applied = Applied.load(std::memory_order_acquire);
  std::erase_if(Sets, [&](std::shared_ptr<TVoiceSet>& s) {
    if (s.use_count() > 1) {
      s->OrphanAt = 0;
      return false;
    }
    if (s->OrphanAt == 0) {
      s->OrphanAt = Queue.Pushed() + 1;
      return false;
    }
    return applied + 1 >= s->OrphanAt && s->Users.load(std::memory_order_acquire) == 0;
  });
}

bool TAudioMixer::Impl::Prepare(TVoiceSet& set, const TWaveData& wave) {
  if (set.Prepared) return set.Usable;
  set.Prepared = true;
  const int bytes = wave.BitsPerSample / 8;
  if ((wave.Channels != 1 && wave.Channels != 2) ||
      (wave.BitsPerSample != 8 && wave.BitsPerSample != 16) ||
      wave.SampleRate < 100 || wave.SampleRate > 200000 || wave.Frames() <= 0 ||
      wave.Samples.size() < size_t(wave.Frames()) * size_t(wave.Channels * bytes))
    return false;  // a wave the mixer cannot play stays silent
  set.Channels = wave.Channels;
  set.Rate = wave.SampleRate;
  set.Frames = uint32_t(wave.Frames());
  const size_t count = size_t(set.Frames) * size_t(set.Channels);
  set.Data.resize(count);
  const uint8_t* s = wave.Samples.data();
  for (size_t i = 0; i < count; ++i)
    set.Data[i] = bytes == 1 ? (float(s[i]) - 128.f) / 128.f
                             : float(int16_t(uint16_t(s[2 * i] | (s[2 * i + 1] << 8)))) / 32768.f;
  set.Usable = true;
  return true;
}

TPlayParams TAudioMixer::Impl::Params(const TVoiceSet& set, int frequency, int pan,
                                      int volume) const {
  TPlayParams p;
  const int rate = frequency > 0 ? std::clamp(frequency, 100, 200000) : set.Rate;
  p.Step = double(rate) / TAudioMixer::SampleRate;
  // Hundredths of a decibel: 20 * log10(gain) * 100.
  const float gain = std::pow(10.f, float(std::clamp(volume, -10000, 0)) / 2000.f);
  pan = std::clamp(pan, -10000, 10000);
  p.GainL = gain * (pan > 0 ? std::pow(10.f, float(-pan) / 2000.f) : 1.f);
  p.GainR = gain * (pan < 0 ? std::pow(10.f, float(pan) / 2000.f) : 1.f);
  return p;
}

TVoice& TAudioMixer::Impl::NewExtra(TVoiceSet& set) {
  set.Extra.push_back(std::make_unique<TVoice>());
  TVoice& v = *set.Extra.back();
  v.Id = NextVoiceId++;
  v.Set = &set;
  return v;
}

bool TAudioMixer::Impl::Send(const TMixCommand& c) {
  if (Queue.Push(c)) return true;
  if (Mode == Device) return false;
  // Headless: this thread is also the consumer, so it can make room.
  Drain();
  return Queue.Push(c);
}

void TAudioMixer::Impl::StartVoice(TVoice& v, const TPlayParams& p, bool loop) {
  if (Mode == Closed) return;
  const uint32_t old = v.StartSeq.load(std::memory_order_relaxed);
  TMixCommand c;
  c.Kind = TMixCommand::Start;
  c.Voice = &v;
  c.Seq = old + 1;
  c.Step = p.Step;
  c.GainL = p.GainL;
  c.GainR = p.GainR;
  c.Loop = loop;
  v.StartSeq.store(old + 1, std::memory_order_release);
  // A full queue loses the sound rather than leaving the voice marked busy.
  if (!Send(c)) v.StartSeq.store(old, std::memory_order_release);
}

void TAudioMixer::Impl::StopVoice(TVoice& v) {
  if (Mode == Closed || !v.Playing()) return;
  TMixCommand c;
  c.Kind = TMixCommand::Stop;
  c.Voice = &v;
  c.Seq = v.StartSeq.load(std::memory_order_relaxed);
  Send(c);
}

void TAudioMixer::Impl::SetGain(TVoice& v, const TPlayParams& p) {
  if (Mode == Closed || !v.Playing()) return;
  TMixCommand c;
  c.Kind = TMixCommand::Gain;
  c.Voice = &v;
  c.GainL = p.GainL;
  c.GainR = p.GainR;
  Send(c);
}

void TAudioMixer::Impl::PlayMusic(xmp_context ctx) {
  WantMusic = ctx;
  if (Mode == Closed) return;
  TMixCommand c;
  c.Kind = TMixCommand::MusicPlay;
  c.Music = ctx;
  Send(c);
}

void TAudioMixer::Impl::ResumeMusic() {
  if (WantMusic) PlayMusic(WantMusic);
}

void TAudioMixer::Impl::StopMusic() {
  WantMusic = nullptr;
  if (Mode == Closed) return;
  TMixCommand c;
  c.Kind = TMixCommand::MusicStop;
  Send(c);
}

std::vector<xmp_context> TAudioMixer::Impl::MusicInUse(const std::vector<xmp_context>& songs,
                                                       bool force) {
  if (Dev) SDL_LockAudioDevice(Dev);
  Drain();  // the callback is held off, so this thread may consume
  std::vector<xmp_context> used;
  auto known = [&](xmp_context c) {
    return c && std::find(songs.begin(), songs.end(), c) != songs.end();
  };
  if (known(MusicCur)) {
    if (force) {
      xmp_end_player(MusicCur);
      MusicCur = nullptr;
    } else {
      used.push_back(MusicCur);
    }
  }
  if (force && known(WantMusic)) WantMusic = nullptr;
  if (known(MusicNext)) {
    if (force)
      MusicNext = nullptr;
    else if (MusicNext != MusicCur)
      used.push_back(MusicNext);
  }
  if (Dev) SDL_UnlockAudioDevice(Dev);
  return used;
}

void TAudioMixer::Impl::SetMuted(bool muted) { Muted.store(muted, std::memory_order_relaxed); }

void TAudioMixer::Impl::CloseAll() {
  if (Dev) {
    SDL_CloseAudioDevice(Dev);  // waits for a running callback
    Dev = 0;
  }
  Drain();
  for (size_t i = 0; i < ActiveCount; ++i) {
    Active[i]->Cur.Active = false;
    Active[i]->Listed = false;
    Active[i]->Set->Users.fetch_sub(1, std::memory_order_release);
  }
  ActiveCount = 0;
  for (auto& f : Fades)
    if (f.Pb.Active) {
      f.Pb.Active = false;
      f.Set->Users.fetch_sub(1, std::memory_order_release);
    }
  for (auto& set : Sets) {
    set->Main.EndSeq.store(set->Main.StartSeq.load());
    for (auto& v : set->Extra) v->EndSeq.store(v->StartSeq.load());
  }
  // Sets no item holds any more can go now that nothing mixes them.
  std::erase_if(Sets, [](const std::shared_ptr<TVoiceSet>& s) { return s.use_count() == 1; });
  if (MusicCur) xmp_end_player(MusicCur);
  MusicCur = MusicNext = nullptr;
  MusicSwitch = false;
  MasterEnv = Muted.load() ? 0.f : 1.f;
  Mode = Closed;
}

// ---- mixing side ----

void TAudioMixer::Impl::Callback(void* self, Uint8* stream, int len) {
  static_cast<Impl*>(self)->Render(reinterpret_cast<int16_t*>(stream), size_t(len) / 4);
}

void TAudioMixer::Impl::Drain() {
  TMixCommand c;
  while (Queue.Pop(c)) {
    Apply(c);
    Applied.fetch_add(1, std::memory_order_release);
  }
}

void TAudioMixer::Impl::FadeOut(TPlayback& pb, TVoiceSet* set) {
  TPlayback moved = pb;
  pb.Active = false;
  if (moved.Env <= 0.f) return;  // never sounded: nothing to fade
  moved.EnvStep = -1.f / FadeOutFrames;
  // With every slot busy, the quietest fade is the one whose cut is least heard.
  TFade* slot = &Fades[0];
  for (auto& f : Fades) {
    if (!f.Pb.Active) {
      slot = &f;
      break;
    }
    if (f.Pb.Env < slot->Pb.Env) slot = &f;
  }
  if (slot->Pb.Active) slot->Set->Users.fetch_sub(1, std::memory_order_release);
  slot->Pb = moved;
  slot->Set = set;
  set->Users.fetch_add(1, std::memory_order_relaxed);
}

void TAudioMixer::Impl::Apply(const TMixCommand& c) {
  switch (c.Kind) {
    case TMixCommand::Start: {
      TVoice& v = *c.Voice;
      if (v.Cur.Active) FadeOut(v.Cur, v.Set);
      TPlayback pb;
      pb.Step = c.Step;
      pb.GainL = pb.TargetL = c.GainL;
      pb.GainR = pb.TargetR = c.GainR;
      pb.EnvStep = 1.f / FadeInFrames;
      pb.Active = true;
      pb.Loop = c.Loop;
      v.CurSeq = c.Seq;
      if (!v.Listed) {
        if (ActiveCount == Active.size()) {
          v.EndSeq.store(c.Seq, std::memory_order_release);  // too many voices: dropped
          return;
        }
        Active[ActiveCount++] = &v;
        v.Listed = true;
        v.Set->Users.fetch_add(1, std::memory_order_relaxed);
      }
      v.Cur = pb;
      break;
    }
    case TMixCommand::Stop:
      if (c.Voice->Cur.Active) FadeOut(c.Voice->Cur, c.Voice->Set);
      c.Voice->EndSeq.store(c.Seq, std::memory_order_release);
      break;
    case TMixCommand::Gain: {
      TPlayback& pb = c.Voice->Cur;
      if (!pb.Active) break;
      pb.TargetL = c.GainL;
      pb.TargetR = c.GainR;
      pb.RampLeft = GainRampFrames;
      pb.RampL = (pb.TargetL - pb.GainL) / GainRampFrames;
      pb.RampR = (pb.TargetR - pb.GainR) / GainRampFrames;
      break;
    }
    case TMixCommand::MusicPlay:
    case TMixCommand::MusicStop:
      MusicNext = c.Music;
      MusicSwitch = true;
      if (MusicCur) MusicEnvStep = -1.f / FadeOutFrames;
      break;
  }
}

namespace {

inline float Sample(const float* d, uint32_t i0, uint32_t i1, float frac) {
  return d[i0] + (d[i1] - d[i0]) * frac;
}

// One play's samples; false when it has run out (or faded to nothing).
bool MixPlayback(TPlayback& pb, const TVoiceSet& set, float* l, float* r, size_t n) {
  const float* d = set.Data.data();
  const uint32_t frames = set.Frames;
  const bool stereo = set.Channels == 2;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t i0 = uint32_t(pb.Pos);
    const float frac = float(pb.Pos - i0);
    uint32_t i1 = i0 + 1;
    if (i1 >= frames) i1 = pb.Loop ? 0 : i0;
    float sl, sr;
    if (stereo) {
      sl = Sample(d, 2 * i0, 2 * i1, frac);
      sr = Sample(d, 2 * i0 + 1, 2 * i1 + 1, frac);
    } else {
      sl = sr = Sample(d, i0, i1, frac);
    }
    l[i] += sl * pb.GainL * pb.Env;
    r[i] += sr * pb.GainR * pb.Env;
    if (pb.RampLeft > 0) {
      pb.GainL += pb.RampL;
      pb.GainR += pb.RampR;
      if (--pb.RampLeft == 0) {
        pb.GainL = pb.TargetL;
        pb.GainR = pb.TargetR;
      }
    }
    if (pb.EnvStep != 0.f) {
      pb.Env += pb.EnvStep;
      if (pb.Env >= 1.f) {
        pb.Env = 1.f;
        pb.EnvStep = 0;
      } else if (pb.Env <= 0.f) {
        pb.Active = false;
        return false;
      }
    }
    pb.Pos += pb.Step;
    if (pb.Pos >= frames) {
      if (!pb.Loop) {
        pb.Active = false;
        return false;
      }
      pb.Pos = std::fmod(pb.Pos, double(frames));
    }
  }
  return true;
}

// Full-scale effects over the music add up past full scale: above the knee
// the level bends smoothly towards full scale instead of clipping flat.
inline int16_t ToPcm(float x) {
  constexpr float knee = 0.75f, room = 1.f - knee;
  const float a = std::fabs(x);
  if (a > knee) {
    const float over = (a - knee) / room;
    x = std::copysign(knee + room * over / (1.f + over), x);
  }
  return int16_t(std::lrint(std::clamp(x, -1.f, 32767.f / 32768.f) * 32768.f));
}

}  // namespace

bool TAudioMixer::Impl::PullMusic(size_t n) {
  // Frame by frame rather than xmp_play_buffer, which spins for ever on a
  // module whose frames are empty; a run of empty frames ends the music.
  size_t filled = 0;
  int empty = 0;
  while (filled < n) {
    if (MusicLeft == 0) {
      if (xmp_play_frame(MusicCur) != 0) return false;
      xmp_frame_info fi;
      xmp_get_frame_info(MusicCur, &fi);
      if (!fi.buffer || fi.buffer_size < 4) {
        if (++empty > 16) return false;
        continue;
      }
      empty = 0;
      MusicAt = static_cast<const int16_t*>(fi.buffer);
      MusicLeft = size_t(fi.buffer_size) / 4;
    }
    const size_t k = std::min(n - filled, MusicLeft);
    std::memcpy(MusicBuf.data() + 2 * filled, MusicAt, k * 4);
    MusicAt += 2 * k;
    MusicLeft -= k;
    filled += k;
  }
  return true;
}

void TAudioMixer::Impl::Duck(const float* l, const float* r, size_t n) {
  const float rate = float(TAudioMixer::SampleRate);
  const float attack = 1.f - std::exp(-1000.f / (DuckAttackMs * rate));
  const float release = 1.f - std::exp(-1000.f / (DuckReleaseMs * rate));
  for (size_t at = 0; at < n; at += DuckStep) {
    const size_t end = std::min(n, at + DuckStep);
    for (size_t i = at; i < end; ++i) {
      const float p = 0.5f * (l[i] * l[i] + r[i] * r[i]);
      DuckPower += (p > DuckPower ? attack : release) * (p - DuckPower);
    }
    const float over = 10.f * std::log10(DuckPower + 1e-12f) - DuckThresholdDb;
    const float cut = std::clamp(over * DuckRatio, 0.f, MaxDuckDb);
    const float target = std::pow(10.f, -cut / 20.f);
    // A straight line to the new gain over the block: no steps to hear.
    const float step = (target - DuckGain) / float(end - at);
    for (size_t i = at; i < end; ++i) DuckBuf[i] = DuckGain += step;
    DuckGain = target;
  }
}

void TAudioMixer::Impl::MixMusic(float* l, float* r, size_t n) {
  if (MusicCur) {
    if (!PullMusic(n)) {
      xmp_end_player(MusicCur);
      MusicCur = nullptr;
    } else {
      for (size_t i = 0; i < n; ++i) {
        const float g = MusicGain * MusicEnv * DuckBuf[i] / 32768.f;
        l[i] += float(MusicBuf[2 * i]) * g;
        r[i] += float(MusicBuf[2 * i + 1]) * g;
        MusicEnv = std::clamp(MusicEnv + MusicEnvStep, 0.f, 1.f);
      }
      if (MusicEnv <= 0.f && MusicEnvStep < 0) {
        xmp_end_player(MusicCur);
        MusicCur = nullptr;
      }
    }
  }
  if (MusicSwitch && !MusicCur) {
    MusicSwitch = false;
    // Starting allocates inside the player; song changes are rare enough.
    if (MusicNext && xmp_start_player(MusicNext, TAudioMixer::SampleRate, 0) == 0) {
      MusicCur = MusicNext;
      MusicLeft = 0;
      MusicEnv = 0;
      MusicEnvStep = 1.f / FadeInFrames;
    }
    MusicNext = nullptr;
  }
}

void TAudioMixer::Impl::Render(int16_t* out, size_t frames) {
  Drain();
  const float masterTarget = Muted.load(std::memory_order_relaxed) ? 0.f : 1.f;
  const float masterStep = 1.f / FadeOutFrames;
  while (frames > 0) {
    const size_t n = std::min(frames, Chunk);
    float* ml = MixL.data();
    float* mr = MixR.data();
    std::fill_n(ml, n, 0.f);
    std::fill_n(mr, n, 0.f);
    for (auto& f : Fades)
      if (f.Pb.Active && !MixPlayback(f.Pb, *f.Set, ml, mr, n))
        f.Set->Users.fetch_sub(1, std::memory_order_release);
    size_t kept = 0;
    for (size_t i = 0; i < ActiveCount; ++i) {
      TVoice* v = Active[i];
      if (v->Cur.Active && !MixPlayback(v->Cur, *v->Set, ml, mr, n))
        v->EndSeq.store(v->CurSeq, std::memory_order_release);  // ran to its end
      if (v->Cur.Active) {
        Active[kept++] = v;
      } else {
        v->Listed = false;
        v->Set->Users.fetch_sub(1, std::memory_order_release);
      }
    }
    ActiveCount = kept;
    Duck(ml, mr, n);
    MixMusic(ml, mr, n);
    for (size_t i = 0; i < n; ++i) {
      if (MasterEnv != masterTarget)
        MasterEnv = masterTarget > MasterEnv ? std::min(masterTarget, MasterEnv + masterStep)
                                             : std::max(masterTarget, MasterEnv - masterStep);
      out[2 * i] = ToPcm(ml[i] * MasterEnv);
      out[2 * i + 1] = ToPcm(mr[i] * MasterEnv);
    }
    out += 2 * n;
    frames -= n;
  }
}

}  // namespace mv
