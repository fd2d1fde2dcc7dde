// Checks the built sound archive and music modules the way the game uses
// them: every effect it plays is there and sounds cleanly, and both modules
// load and play long enough, audibly and without clipping.
#include <gtest/gtest.h>
#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "media/Archive.h"
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

}  // namespace
