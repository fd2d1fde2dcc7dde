// SPDX-License-Identifier: GPL-3.0-or-later
// Checks the built sound archive and music modules the way the game uses
// them: every effect it plays is there and sounds cleanly, and both modules
// load and play long enough, audibly and without clipping.
#include <gtest/gtest.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "media/Archive.h"
#include "media/Audio.h"
#include "media/Music.h"
#include "media/WaveCollection.h"

namespace {

const std::string kSoundDir = std::string(MV_BINARY_DIR) + "/Sound/";

// Every effect name the game looks up, with the longest it may last.
struct EffectUse {
  const char* Name;
  double MaxSeconds;
};
const EffectUse kEffects[] = {{"Beep", 1.0}, {"Big", 1.0},   {"Ham1", 1.0}, {"Ham2", 1.0}, {"Ham3", 1.0},
                              {"Die", 1.0},  {"Level", 1.0}, {"Over", 1.0}, {"Aaaa", 1.5}};

mv::TWaveCollection& Effects() {
  static mv::TWaveCollection list = [] {
    mv::TWaveCollection l;
    mv::LoadWaveArchive(kSoundDir + "GSnd.dxg", l);
    return l;
  }();
  return list;
}

int16_t SampleAt(const mv::TWaveData& w, int frame) {
  const size_t i = size_t(frame) * 2;
  return int16_t(uint16_t(w.Samples[i] | w.Samples[i + 1] << 8));
}

double Db(double level) { return 20 * std::log10(std::max(level, 1e-9) / 32768.0); }

TEST(SoundArchive, HoldsEveryEffectTheGamePlays) {
  for (const auto& e : kEffects) EXPECT_NE(Effects().FindOrNull(e.Name), nullptr) << e.Name;
}

TEST(SoundArchive, EffectsAreShortOneShotsInTheMixerFormat) {
  for (const auto& e : kEffects) {
    SCOPED_TRACE(e.Name);
    const mv::TWaveCollectionItem& item = Effects().Find(e.Name);
    // A looped effect would ring on until the next level start.
    EXPECT_FALSE(item.Looped);
    EXPECT_EQ(item.Wave.Channels, 1);
    EXPECT_EQ(item.Wave.SampleRate, 22050);
    EXPECT_EQ(item.Wave.BitsPerSample, 16);
    const double seconds = double(item.Wave.Frames()) / item.Wave.SampleRate;
    EXPECT_GT(seconds, 0.03);
    EXPECT_LE(seconds, e.MaxSeconds);
  }
}

TEST(SoundArchive, EffectsFadeInAndOutAndStayBelowFullScale) {
  for (const auto& e : kEffects) {
    SCOPED_TRACE(e.Name);
    const mv::TWaveData& w = Effects().Find(e.Name).Wave;
    ASSERT_GT(w.Frames(), 2);
    // An end that jumps from or to a loud sample clicks.
    EXPECT_LT(std::abs(SampleAt(w, 0)), 330);
    EXPECT_LT(std::abs(SampleAt(w, w.Frames() - 1)), 330);
    int peak = 0;
    for (int i = 0; i < w.Frames(); ++i) peak = std::max(peak, std::abs(int(SampleAt(w, i))));
    EXPECT_LT(Db(peak), -1.0) << "too close to clipping";
    EXPECT_GT(Db(peak), -8.0) << "too quiet beside the others";
  }
}

// A module loaded into its own player context.
struct Module {
  xmp_context Ctx = xmp_create_context();
  int Loaded = -1;
  explicit Module(const std::string& path) {
    Loaded = xmp_load_module(Ctx, path.c_str());
    if (Loaded == 0) xmp_start_player(Ctx, 44100, 0);
  }
  ~Module() {
    if (Loaded == 0) {
      xmp_end_player(Ctx);
      xmp_release_module(Ctx);
    }
    xmp_free_context(Ctx);
  }
};

const char* const kModules[] = {"1.xm", "2.xm"};

TEST(MusicModules, AreFastTrackerModulesOfAtLeastAMinute) {
  for (const char* name : kModules) {
    SCOPED_TRACE(name);
    const std::string path = kSoundDir + name;
    xmp_test_info info{};
    ASSERT_EQ(xmp_test_module(path.c_str(), &info), 0);
    EXPECT_STREQ(info.type, "Fast Tracker II");
    Module m(path);
    ASSERT_EQ(m.Loaded, 0);
    xmp_frame_info frame{};
    xmp_get_frame_info(m.Ctx, &frame);
    EXPECT_GE(frame.total_time, 60000);
  }
}

// Plays each module once through: no second may fall silent (a broken
// pattern or instrument) and nothing may hit full scale (too hot a mix).
TEST(MusicModules, PlayAudiblyWithoutClippingUntilTheyLoop) {
  for (const char* name : kModules) {
    SCOPED_TRACE(name);
    Module m(kSoundDir + name);
    ASSERT_EQ(m.Loaded, 0);
    constexpr long kSecond = 44100 * 2;  // stereo samples
    double sum = 0;
    long count = 0, clipped = 0, seconds = 0;
    double quietest = 0;
    xmp_frame_info frame{};
    while (xmp_play_frame(m.Ctx) == 0) {
      xmp_get_frame_info(m.Ctx, &frame);
      if (frame.loop_count > 0) break;
      const auto* s = static_cast<const int16_t*>(frame.buffer);
      for (int i = 0; i < frame.buffer_size / 2; ++i) {
        if (s[i] >= 32767 || s[i] <= -32768) ++clipped;
        sum += double(s[i]) * s[i];
        if (++count == kSecond) {
          const double rms = Db(std::sqrt(sum / double(count)));
          quietest = seconds == 0 ? rms : std::min(quietest, rms);
          ++seconds, sum = 0, count = 0;
        }
      }
      ASSERT_LT(seconds, 600) << "never loops";
    }
    EXPECT_GE(seconds, 60);
    EXPECT_GT(quietest, -40.0);
    EXPECT_EQ(clipped, 0);
  }
}

// ---- The music as the game mixes it: loud enough, bright, under the effects.

// One module through the game's own mixer, once round (until it would loop),
// as levels of 50 ms windows and of a 6..10 kHz band.
struct MixedSong {
  double Rms = 0;          // dBFS over the whole song
  double BandRms = 0;      // dBFS of its 6..10 kHz content
  double Loud50ms = 0;     // dBFS the loudest 5 % of its 50 ms windows reach
};

// Two-pole filter sections (the usual audio cookbook ones).
struct Biquad {
  double B0, B1, B2, A1, A2, X1 = 0, X2 = 0, Y1 = 0, Y2 = 0;
  static Biquad Make(double hz, bool high) {
    const double w = 2 * 3.14159265358979 * hz / 44100, c = std::cos(w), a = std::sin(w) / std::sqrt(2.0), a0 = 1 + a;
    const double b1 = high ? -(1 + c) : 1 - c;
    return {(high ? (1 + c) : (1 - c)) / 2 / a0, b1 / a0, (high ? (1 + c) : (1 - c)) / 2 / a0, -2 * c / a0, (1 - a) / a0};
  }
  double Run(double x) {
    const double y = B0 * x + B1 * X1 + B2 * X2 - A1 * Y1 - A2 * Y2;
    X2 = X1, X1 = x, Y2 = Y1, Y1 = y;
    return y;
  }
};

const MixedSong& Mixed(const char* name) {
  static std::map<std::string, MixedSong> done;
  auto [it, fresh] = done.try_emplace(name);
  if (!fresh) return it->second;
  const std::string path = kSoundDir + name;
  long ms = 0;
  {
    Module m(path);
    if (m.Loaded != 0) return it->second;
    xmp_frame_info frame{};
    xmp_get_frame_info(m.Ctx, &frame);
    ms = frame.total_time;
  }
  mv::TAudioMixer mixer;
  mixer.OpenOffline();
  mv::TMusicPlayer music(&mixer);
  music.SongPlay(music.SongLoadFromFile(path));
  const size_t window = 44100 / 20;
  std::vector<int16_t> buf(window * 2);
  std::vector<double> windows;
  std::vector<Biquad> band;  // two high-pass and two low-pass sections per side
  for (int side = 0; side < 2; ++side)
    for (bool high : {true, true, false, false}) band.push_back(Biquad::Make(high ? 6000 : 10000, high));
  double sum = 0, band_sum = 0;
  const long windows_total = ms / 50;
  for (long w = 0; w < windows_total; ++w) {
    mixer.RenderTo(buf.data(), window);
    double ws = 0;
    for (size_t i = 0; i < buf.size(); ++i) {
      const double x = buf[i];
      ws += x * x;
      double y = x;
      for (size_t k = 0; k < 4; ++k) y = band[(i % 2) * 4 + k].Run(y);
      band_sum += y * y;
    }
    sum += ws;
    windows.push_back(Db(std::sqrt(ws / double(buf.size()))));
  }
  const double n = double(windows_total) * double(buf.size());
  std::sort(windows.begin(), windows.end());
  it->second = {Db(std::sqrt(sum / n)), Db(std::sqrt(band_sum / n)), windows[windows.size() * 95 / 100]};
  return it->second;
}

// Quiet music drowns in the room's noise; past about -17 dBFS the effects
// no longer stand clearly above it.
TEST(MusicModules, PlayAtAboutMinus20DbfsInTheGamesMix) {
  for (const char* name : kModules) {
    SCOPED_TRACE(name);
    const MixedSong& m = Mixed(name);
    EXPECT_GT(m.Rms, -23.0);
    EXPECT_LT(m.Rms, -17.0);
  }
}

// Hats, plucks and bells give the songs real content between 6 and 10 kHz,
// not just a dull pad and bass.
TEST(MusicModules, ReachUpToTenKilohertz) {
  for (const char* name : kModules) {
    SCOPED_TRACE(name);
    const MixedSong& m = Mixed(name);
    EXPECT_GT(m.BandRms - m.Rms, -33.0) << "6..10 kHz at " << m.BandRms << " dBFS";
  }
}

// Every effect, at its loudest, stands at least 6 dB over the music's loud
// moments, whichever song plays under it.
TEST(MusicModules, EffectsStaySixDecibelsOverTheMusic) {
  double music = -200;
  for (const char* name : kModules) music = std::max(music, Mixed(name).Loud50ms);
  for (const auto& e : kEffects) {
    SCOPED_TRACE(e.Name);
    const mv::TWaveData& w = Effects().Find(e.Name).Wave;
    const int window = w.SampleRate / 20;
    double loudest = -200;
    for (int start = 0; start + window <= w.Frames(); start += window / 4) {
      double sum = 0;
      for (int i = start; i < start + window; ++i) sum += double(SampleAt(w, i)) * SampleAt(w, i);
      loudest = std::max(loudest, Db(std::sqrt(sum / window)));
    }
    EXPECT_GE(loudest - music, 6.0) << "effect " << loudest << " dBFS, music " << music << " dBFS";
  }
}

}  // namespace
