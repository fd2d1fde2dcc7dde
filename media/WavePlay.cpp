// SPDX-License-Identifier: GPL-3.0-or-later
#include <SDL.h>

#include <algorithm>

#include "media/Mixer.h"
#include "media/WaveCollection.h"

namespace mv {

void TWaveCollectionItem::Play(bool wait) {
  if (!Mixer_) return;  // no sound output: the game runs silently
  TAudioMixer::Impl& mx = Mixer_->Internals();
  if (mx.Mode == TAudioMixer::Impl::Closed) return;
  if (!Voices_) Voices_ = mx.NewVoiceSet();
  TVoiceSet& set = *Voices_;
  if (!mx.Prepare(set, Wave)) return;
  const TPlayParams params = mx.Params(set, Frequency, Pan, Volume);
  if (Looped) {
    mx.StopVoice(set.Main);
    mx.StartVoice(set.Main, params, true);
    return;
  }
  // The list is kept in start order, so its first buffer is the one started
  // longest ago: the one to cut off when the limit is reached.
  auto& extra = set.Extra;
  auto idle = std::find_if(extra.begin(), extra.end(), [](const auto& v) { return !v->Playing(); });
  if (idle != extra.end()) {
    std::rotate(idle, idle + 1, extra.end());
  } else if (MaxPlayingCount <= 0 || int(extra.size()) < MaxPlayingCount) {
    mx.NewExtra(set);
  } else {
    std::rotate(extra.begin(), extra.begin() + 1, extra.end());
    mx.StopVoice(*extra.back());
  }
  TVoice* voice = extra.back().get();
  mx.StartVoice(*voice, params, false);
  // Waiting only makes sense while a device consumes the audio; bounded by the
  // sound's own length.
  if (wait && mx.Mode == TAudioMixer::Impl::Device) {
    const double seconds = set.Frames / (params.Step * TAudioMixer::SampleRate);
    for (int waited = 0; voice->Playing() && waited < int(seconds * 1000) + 200; waited += 10)
      SDL_Delay(10);
  }
}

void TWaveCollectionItem::Stop() {
  if (!Mixer_ || !Voices_) return;
  TAudioMixer::Impl& mx = Mixer_->Internals();
  mx.StopVoice(Voices_->Main);
  for (auto& v : Voices_->Extra) mx.StopVoice(*v);
}

void TWaveCollectionItem::SetVolume(int value) {
  Volume = value;
  if (!Mixer_ || !Voices_ || !Voices_->Usable) return;
  TAudioMixer::Impl& mx = Mixer_->Internals();
  mx.SetGain(Voices_->Main, mx.Params(*Voices_, Frequency, Pan, Volume));
}

int TWaveCollectionItem::PlayingCount() const {
  if (!Voices_) return 0;
  int n = Voices_->Main.Playing() ? 1 : 0;
  for (auto& v : Voices_->Extra) n += v->Playing() ? 1 : 0;
  return n;
}

void TWaveCollection::SetMixer(TAudioMixer* mixer) {
  Mixer_ = mixer;
  for (auto& item : Items_) {
    if (item->Mixer_ != mixer) {
      item->Stop();
      item->Voices_.reset();  // the old mixer lets its copy go once it is silent
      item->Mixer_ = mixer;
    }
    // Every effect gets its buffer now rather than at its first play.
    if (mixer && !item->Voices_) {
      TAudioMixer::Impl& mx = mixer->Internals();
      item->Voices_ = mx.NewVoiceSet();
      mx.Prepare(*item->Voices_, item->Wave);
    }
  }
}

void TWaveCollection::StopAll() {
  for (auto& item : Items_) item->Stop();
}

}  // namespace mv
