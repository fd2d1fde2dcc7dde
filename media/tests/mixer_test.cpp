// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

#include "media/Audio.h"
#include "media/Mixer.h"
#include "media/WaveCollection.h"
#include "media/WaveData.h"

using namespace mv;

namespace {

constexpr double kRate = TAudioMixer::SampleRate;

// Mono 16-bit wave at `rate` whose sample i is f(i / rate).
TWaveData MakeWave(int ms, int rate, const std::function<double(double)>& f) {
  TWaveData w;
  w.Channels = 1;
  w.SampleRate = rate;
  w.BitsPerSample = 16;
  const int frames = ms * rate / 1000;
  for (int i = 0; i < frames; ++i) {
    const int v = int(std::lround(std::clamp(f(double(i) / rate), -1.0, 1.0) * 32767));
    w.Samples.push_back(uint8_t(v & 0xFF));
    w.Samples.push_back(uint8_t((v >> 8) & 0xFF));
  }
  return w;
}

TWaveData Dc(int ms, double level = 0.25) {
  return MakeWave(ms, 22050, [=](double) { return level; });
}

TWaveData Sine(int ms, double hz = 441, double amp = 0.5) {
  return MakeWave(ms, 22050, [=](double t) { return amp * std::sin(2 * M_PI * hz * t); });
}

size_t Frames(double ms) { return size_t(ms * kRate / 1000); }

// An offline mixer with an effect list bound to it.
struct Rig {
  TAudioMixer Mixer;
  TWaveCollection List;
  std::vector<int16_t> Out;  // everything rendered so far, interleaved L/R

  Rig() {
    Mixer.OpenOffline();
    List.SetMixer(&Mixer);
  }
  TWaveCollectionItem& Add(const std::string& name, TWaveData wave, bool looped = false,
                           int max = 0) {
    TWaveCollectionItem& item = List.Add();
    List.SetName(item, name);
    item.Wave = std::move(wave);
    item.Looped = looped;
    item.SetMaxPlayingCount(max);
    return item;
  }
  void Render(size_t frames) {
    const size_t at = Out.size();
    Out.resize(at + 2 * frames);
    ASSERT_TRUE(Mixer.RenderTo(Out.data() + at, frames));
  }
  void RenderUntil(double ms) {
    const size_t want = Frames(ms);
    if (want > Out.size() / 2) Render(want - Out.size() / 2);
  }
  double Now() const { return double(Out.size() / 2) * 1000 / kRate; }
};

int MaxAbs(const std::vector<int16_t>& s, size_t from = 0) {
  int m = 0;
  for (size_t i = from; i < s.size(); ++i) m = std::max(m, std::abs(int(s[i])));
  return m;
}

// Largest step between neighbouring samples of one channel.
int MaxJump(const std::vector<int16_t>& s, size_t fromFrame = 0) {
  int m = 0;
  for (size_t i = 2 * fromFrame + 2; i < s.size(); ++i) m = std::max(m, std::abs(s[i] - s[i - 2]));
  return m;
}

double Rms(const std::vector<int16_t>& s, int channel, size_t from, size_t to) {
  double sum = 0;
  for (size_t f = from; f < to; ++f) sum += double(s[2 * f + channel]) * s[2 * f + channel];
  return std::sqrt(sum / double(to - from));
}

double Db(int hundredths) { return std::pow(10.0, hundredths / 2000.0); }

}  // namespace

TEST(Mixer, BufferRulesForOverlappingPlays) {
  struct Case {
    const char* name;
    bool looped;
    int max;                       // as stored in the archive (negative allowed)
    int soundMs;
    std::vector<int> playsAt;      // ms
    int endMs;
    std::vector<uint32_t> starts;  // per extra buffer, in list order
    std::vector<int> created;      // per extra buffer: creation rank, in list order
    int playing, mainStarts;
  } cases[] = {
      {"overlapping plays each get a copy", false, 0, 100, {0, 10, 20}, 30, {1, 1, 1}, {0, 1, 2}, 3, 0},
      {"negative limit means no limit", false, -3, 100, {0, 10, 20}, 30, {1, 1, 1}, {0, 1, 2}, 3, 0},
      {"an idle copy is reused", false, 0, 50, {0, 100}, 110, {2}, {0}, 1, 0},
      {"a play runs to its end and stops", false, 0, 50, {0}, 100, {1}, {0}, 0, 0},
      {"limit 2: the third play cuts off the first and restarts it", false, 2, 100, {0, 10, 20}, 30,
       {1, 2}, {1, 0}, 2, 0},
      {"limit 1 keeps a single copy", false, 1, 100, {0, 10, 20}, 30, {3}, {0}, 1, 0},
      // The first copy ended and was reused at 110 ms, so at 120 ms the one to
      // cut is the second (started at 50 ms), not the first in creation order.
      {"the cut-off is the earliest started", false, 2, 100, {0, 50, 110, 120}, 130, {2, 2}, {0, 1}, 2, 0},
      {"a looped item restarts its main buffer and keeps going", true, 2, 50, {0, 20}, 300, {}, {}, 1, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    TWaveCollectionItem& item = rig.Add("Ham1", Sine(c.soundMs), c.looped, c.max);
    for (int at : c.playsAt) {
      rig.RenderUntil(at);
      item.Play();
    }
    rig.RenderUntil(c.endMs);
    auto extra = TAudioMixer::ExtraVoices(item);
    ASSERT_EQ(extra.size(), c.starts.size());
    std::vector<int> ids;
    for (auto& v : extra) ids.push_back(v.Id);
    std::vector<int> sorted = ids;
    std::sort(sorted.begin(), sorted.end());
    for (size_t i = 0; i < extra.size(); ++i) {
      EXPECT_EQ(extra[i].Starts, c.starts[i]) << "buffer " << i;
      EXPECT_EQ(std::find(sorted.begin(), sorted.end(), ids[i]) - sorted.begin(), c.created[i])
          << "buffer " << i;
    }
    EXPECT_EQ(item.PlayingCount(), c.playing);
    EXPECT_EQ(TAudioMixer::MainVoice(item).Starts, uint32_t(c.mainStarts));
    EXPECT_EQ(TAudioMixer::MainVoice(item).Playing, c.looped);
  }
}

TEST(Mixer, StopAndStopAllSilenceEveryBuffer) {
  Rig rig;
  auto& loop = rig.Add("Level", Sine(50), true);
  auto& once = rig.Add("Ham2", Sine(500));
  auto& other = rig.Add("Big", Sine(500));
  loop.Play();
  once.Play();
  once.Play();
  other.Play();
  rig.RenderUntil(30);
  EXPECT_EQ(loop.PlayingCount() + once.PlayingCount() + other.PlayingCount(), 4);

  once.Stop();
  rig.RenderUntil(60);
  EXPECT_EQ(once.PlayingCount(), 0);
  EXPECT_EQ(loop.PlayingCount(), 1);

  rig.List.StopAll();
  rig.RenderUntil(90);
  EXPECT_EQ(loop.PlayingCount() + other.PlayingCount(), 0);
  const size_t quiet = Frames(80);  // well after the few ms of fade
  EXPECT_EQ(MaxAbs(rig.Out, 2 * quiet), 0);
}

TEST(Mixer, PanVolumeAndFrequencyShapeTheSound) {
  const double full = 0.5 * 32768 / std::sqrt(2.0);  // RMS of the test sine
  struct Case {
    const char* name;
    int pan, volume, frequency;
    double left, right;  // expected RMS as a share of the unchanged sound
    double ms;           // expected length
  } cases[] = {
      {"unchanged", 0, 0, 0, 1, 1, 200},
      {"pan full left", -10000, 0, 0, 1, 0, 200},
      {"pan full right", 10000, 0, 0, 0, 1, 200},
      {"pan 6 dB to the left", -600, 0, 0, 1, Db(-600), 200},
      {"pan 6 dB to the right", 600, 0, 0, Db(-600), 1, 200},
      {"volume -8 dB", 0, -800, 0, Db(-800), Db(-800), 200},
      {"volume and pan add up", 300, -500, 0, Db(-800), Db(-500), 200},
      {"silent", 0, -10000, 0, 0, 0, 0},
      {"double frequency halves the length", 0, 0, 44100, 1, 1, 100},
      {"half frequency doubles the length", 0, 0, 11025, 1, 1, 400},
      {"a negative frequency keeps the sound's own", 0, 0, -22050, 1, 1, 200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    auto& item = rig.Add("Beep", Sine(200, 110));
    item.Pan = c.pan;
    item.Volume = c.volume;
    item.Frequency = c.frequency;
    item.Play();
    rig.RenderUntil(500);
    // Measure inside the sound, clear of the start fade and its end.
    const size_t from = Frames(10), to = Frames(std::max(c.ms, 100.0) - 10);
    EXPECT_NEAR(Rms(rig.Out, 0, from, to) / full, c.left, 0.02);
    EXPECT_NEAR(Rms(rig.Out, 1, from, to) / full, c.right, 0.02);
    size_t last = 0;
    for (size_t i = 0; i < rig.Out.size(); ++i)
      if (std::abs(rig.Out[i]) > 1) last = i / 2;
    if (c.ms > 0) {
      EXPECT_NEAR(double(last) * 1000 / kRate, c.ms, 3.0);
    } else {
      EXPECT_EQ(last, 0u);
    }
  }
}

TEST(Mixer, LoudOverlapsBendInsteadOfClippingFlat) {
  Rig rig;
  auto& a = rig.Add("Ham1", Sine(200, 110, 0.9));
  auto& b = rig.Add("Ham2", Sine(200, 110, 0.9));
  a.Play();
  b.Play();  // same phase: the sum would reach 1.8 of full scale
  rig.RenderUntil(150);
  const int peak = MaxAbs(rig.Out);
  EXPECT_GT(peak, 30000);
  EXPECT_LT(peak, 32700);  // never pinned at the rail
}

TEST(Mixer, SetVolumeAppliesToTheSoundingMainBuffer) {
  Rig rig;
  auto& hum = rig.Add("Hum", Sine(100, 110), true);
  hum.Play();
  rig.RenderUntil(100);
  hum.SetVolume(-800);
  EXPECT_EQ(hum.Volume, -800);
  rig.RenderUntil(200);
  const double before = Rms(rig.Out, 0, Frames(10), Frames(90));
  const double after = Rms(rig.Out, 0, Frames(110), Frames(190));
  EXPECT_NEAR(after / before, Db(-800), 0.02);
}

TEST(Mixer, StartsStopsAndCutsFadeInsteadOfClicking) {
  // A steady level makes any unfaded cut a jump of the whole level.
  const int level = 8192, threshold = level / 10;
  struct Case {
    const char* name;
    std::function<void(Rig&, TWaveCollectionItem& once, TWaveCollectionItem& loop)> act;
  } cases[] = {
      {"start", [](Rig&, auto& once, auto&) { once.Play(); }},
      {"stop", [](Rig&, auto&, auto& loop) { loop.Stop(); }},
      {"stop all", [](Rig& r, auto& once, auto&) { once.Play(); r.RenderUntil(r.Now() + 10); r.List.StopAll(); }},
      {"cut off by the limit", [](Rig& r, auto& once, auto&) {
         once.Play(); r.RenderUntil(r.Now() + 10); once.Play(); }},
      {"looped restart", [](Rig&, auto&, auto& loop) { loop.Play(); }},
      {"restarts faster than the fade", [](Rig& r, auto&, auto& loop) {
         for (int i = 0; i < 6; ++i) { loop.Play(); r.RenderUntil(r.Now() + 1); }
         loop.Play(); loop.Play(); loop.Play(); }},
      {"volume change", [](Rig&, auto&, auto& loop) { loop.SetVolume(-3000); }},
      {"mute", [](Rig& r, auto&, auto&) { r.Mixer.SetMuted(true); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    auto& once = rig.Add("Aaaa", Dc(1000), false, 1);
    auto& loop = rig.Add("Loop", Dc(37), true);  // loops on a steady level: no seam
    loop.Play();
    rig.RenderUntil(20);
    const size_t mark = rig.Out.size() / 2 - 1;
    c.act(rig, once, loop);
    rig.RenderUntil(rig.Now() + 40);
    EXPECT_GE(MaxAbs(rig.Out), level - 100);
    EXPECT_LE(MaxJump(rig.Out, mark), threshold);
  }
}

TEST(Mixer, UnplayableOrUnboundEffectsStaySilent) {
  struct Case {
    const char* name;
    std::function<void(TWaveData&)> spoil;
  } cases[] = {
      {"no samples", [](TWaveData& w) { w.Samples.clear(); }},
      {"three channels", [](TWaveData& w) { w.Channels = 3; }},
      {"12 bits", [](TWaveData& w) { w.BitsPerSample = 12; }},
      {"zero rate", [](TWaveData& w) { w.SampleRate = 0; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    TWaveData w = Sine(100);
    c.spoil(w);
    auto& item = rig.Add("Bad", w);
    item.Play();
    rig.RenderUntil(50);
    EXPECT_EQ(item.PlayingCount(), 0);
    EXPECT_EQ(MaxAbs(rig.Out), 0);
  }

  TWaveCollection unbound;
  auto& loose = unbound.Add();
  loose.Wave = Sine(100);
  loose.Play();  // no mixer: nothing to do, nothing to break
  EXPECT_EQ(loose.PlayingCount(), 0);

  TAudioMixer closed;
  TWaveCollection list;
  list.SetMixer(&closed);
  auto& item = list.Add();
  item.Wave = Sine(100);
  item.Play();
  EXPECT_EQ(item.PlayingCount(), 0);
  int16_t buf[64];
  EXPECT_FALSE(closed.RenderTo(buf, 32));
}

TEST(Mixer, ReloadedEffectListsDoNotPileUp) {
  Rig rig;
  for (int round = 0; round < 40; ++round) {
    rig.List.Clear();
    for (const char* name : {"Beep", "Big", "Die"}) rig.Add(name, Sine(30)).Play();
    rig.RenderUntil(rig.Now() + 5);  // cleared while still sounding
  }
  rig.RenderUntil(rig.Now() + 100);
  rig.List.Clear();
  rig.Add("Beep", Sine(30)).Play();
  EXPECT_LE(rig.Mixer.Internals().Sets.size(), 12u);
  rig.RenderUntil(rig.Now() + 10);
  EXPECT_GT(MaxAbs(rig.Out, rig.Out.size() - 200), 0);
}

TEST(Mixer, WavOutputHoldsExactlyTheAdvancedTime) {
  struct Case {
    const char* name;
    std::vector<uint32_t> steps;  // ms per Advance
    uint32_t frames;
  } cases[] = {
      {"ten frames of 16 ms", std::vector<uint32_t>(10, 16), 7056},
      {"uneven steps do not drift", {7, 7, 7}, 926},
      {"nothing advanced", {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = std::string(MV_BINARY_DIR) + "/mixer_test_out.wav";
    TAudioMixer mixer;
    TWaveCollection list;
    list.SetMixer(&mixer);
    auto& item = list.Add();
    item.Wave = Sine(500);
    std::string error;
    ASSERT_TRUE(mixer.OpenWavOutput(path, error)) << error;
    item.Play();
    for (uint32_t ms : c.steps) mixer.Advance(ms);
    ASSERT_TRUE(mixer.Close()) << mixer.LastError();

    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(bytes.size(), 44 + size_t(c.frames) * 4);
    auto u32 = [&](size_t at) {
      return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
             uint32_t(bytes[at + 3]) << 24;
    };
    auto u16 = [&](size_t at) { return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8; };
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(u32(4), bytes.size() - 8);
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
    EXPECT_EQ(u32(16), 16u);
    EXPECT_EQ(u16(20), 1u);       // PCM
    EXPECT_EQ(u16(22), 2u);       // stereo
    EXPECT_EQ(u32(24), 44100u);
    EXPECT_EQ(u32(28), 44100u * 4);
    EXPECT_EQ(u16(32), 4u);
    EXPECT_EQ(u16(34), 16u);
    EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
    EXPECT_EQ(u32(40), c.frames * 4);
    TWaveData back = ParseWave(bytes.data(), bytes.size());
    EXPECT_EQ(back.Frames(), int(c.frames));
    if (c.frames > 1000) {
      EXPECT_TRUE(std::any_of(back.Samples.begin(), back.Samples.end(), [](uint8_t b) { return b != 0; }));
    }
    std::remove(path.c_str());
  }
}

TEST(Mixer, WavOutputFailuresAreReported) {
  TAudioMixer mixer;
  std::string error;
  EXPECT_FALSE(mixer.OpenWavOutput("/nonexistent-folder/out.wav", error));
  EXPECT_NE(error.find("/nonexistent-folder/out.wav"), std::string::npos) << error;

  // A device that takes nothing: the loss shows at the latest when closing.
  error.clear();
  if (mixer.OpenWavOutput("/dev/full", error)) {
    mixer.Advance(1000);
    EXPECT_FALSE(mixer.Close());
    EXPECT_NE(mixer.LastError().find("/dev/full"), std::string::npos) << mixer.LastError();
  } else {
    EXPECT_NE(error.find("/dev/full"), std::string::npos) << error;
  }
}

TEST(Mixer, DeviceOpensOrSaysWhy) {
  // SDL_AUDIODRIVER=dummy in the test run: either a device whose own thread
  // consumes while the game thread keeps playing, or a clear reason.
  TAudioMixer mixer;
  TWaveCollection list;
  list.SetMixer(&mixer);
  std::vector<TWaveCollectionItem*> items;
  for (int i = 0; i < 4; ++i) {
    auto& item = list.Add();
    item.Wave = Sine(5 + 10 * i);
    item.Looped = i == 3;
    item.SetMaxPlayingCount(i);
    items.push_back(&item);
  }
  std::string error;
  if (!mixer.OpenDevice(error)) {
    EXPECT_FALSE(error.empty());
    return;
  }
  items[0]->Play();
  EXPECT_EQ(items[0]->PlayingCount(), 1);
  for (int round = 0; round < 3000; ++round) {
    auto& item = *items[size_t(round) % items.size()];
    item.Play();
    if (round % 7 == 0) item.Stop();
    if (round % 11 == 0) list.SetVolume(item, -(round % 3000));
    if (round % 101 == 0) list.StopAllEffects();
    if (round % 5 == 0) SDL_Delay(0);
  }
  for (auto* item : items) {
    if (item->MaxPlayingCount > 0) {
      EXPECT_LE(TAudioMixer::ExtraVoices(*item).size(), size_t(item->MaxPlayingCount));
    }
  }
  EXPECT_TRUE(mixer.Close());
  for (auto* item : items) EXPECT_EQ(item->PlayingCount(), 0);
}
