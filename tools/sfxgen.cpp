// SPDX-License-Identifier: GPL-3.0-or-later
// sfxgen: synthesises the game's sound effects from small text recipes and
// packs them into the effect archive.
//
//   sfxgen pack OUT.dxg MANIFEST [WAVDIR]   every effect of the manifest
//   sfxgen render RECIPE.sfx OUT.wav        one effect, for listening
//
// Manifest lines: NAME RECIPE MAX LOOPED (MAX = MaxPlayingCount, 0 = no
// limit; LOOPED 0 or 1). Recipe lines:
//
//   peak -3                       normalise the loudest sample to this dBFS
//   echo delay=0.09 feedback=0.3  a damped echo, as heard under water
//   tone wave=sine at=0 len=0.2 freq=300>900 amp=0.8 attack=0.005 ...
//
// Tone keys: wave (sine triangle square saw noise), at, len (seconds), freq
// (Hz), sweep (exp lin), amp, attack, decay, sustain, release, vib (Hz),
// vibdepth (semitones), duty (square), lowpass, highpass (Hz), q, vowel
// (a e i o u: formant filters), mod (FM ratio), index (FM depth), seed.
// freq, amp, lowpass and index may glide over the tone: "from>to".
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#include "media/ArchiveReader.h"
#include "media/ArchiveWriter.h"
#include "media/WaveData.h"

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxSeconds = 4.0;
// Ends always ramp over this much, so no effect starts or stops on a click.
constexpr double kEdgeFade = 0.004;

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

double ParseNumber(const std::string& s, const std::string& key, double lo, double hi) {
  size_t used = 0;
  double v = 0;
  try {
    v = std::stod(s, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (s.empty() || used != s.size() || !std::isfinite(v))
    throw Error(key + ": '" + s + "' is not a number");
  if (v < lo || v > hi) {
    std::ostringstream m;
    m << key << ": " << s << " is outside " << lo << " .. " << hi;
    throw Error(m.str());
  }
  return v;
}

// A value that may glide from one end of the tone to the other.
struct Glide {
  double From = 0, To = 0;
  double At(double t, bool exponential) const {
    if (From == To) return From;
    if (exponential && From > 0 && To > 0) return From * std::pow(To / From, t);
    return From + (To - From) * t;
  }
};

Glide ParseGlide(const std::string& s, const std::string& key, double lo, double hi) {
  size_t arrow = s.find('>');
  if (arrow == std::string::npos) {
    double v = ParseNumber(s, key, lo, hi);
    return {v, v};
  }
  return {ParseNumber(s.substr(0, arrow), key, lo, hi), ParseNumber(s.substr(arrow + 1), key, lo, hi)};
}

enum class Wave { Sine, Triangle, Square, Saw, Noise };

struct Tone {
  Wave Shape = Wave::Sine;
  double At = 0, Len = 0.1;
  Glide Freq{440, 440};
  bool ExpSweep = true;
  Glide Amp{1, 1};
  double Attack = 0.005, Decay = 0, Sustain = 1, Release = 0.02;
  double Vib = 0, VibDepth = 0;
  double Duty = 0.5;
  Glide Lowpass{0, 0};
  double Highpass = 0;
  double Q = 0.7;
  char Vowel = 0;
  double Mod = 0;
  Glide Index{0, 0};
  uint32_t Seed = 1;
};

struct Recipe {
  double PeakDb = -3;
  double EchoDelay = 0, EchoFeedback = 0, EchoMix = 0.35;
  std::vector<Tone> Tones;
};

std::map<std::string, std::string> KeyValues(std::istringstream& words) {
  std::map<std::string, std::string> kv;
  for (std::string w; words >> w;) {
    size_t eq = w.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == w.size()) throw Error("bad setting '" + w + "' (key=value)");
    if (!kv.emplace(w.substr(0, eq), w.substr(eq + 1)).second) throw Error(w.substr(0, eq) + " given twice");
  }
  return kv;
}

Tone ParseTone(std::map<std::string, std::string> kv) {
  Tone t;
  auto take = [&](const char* key, auto apply) {
    auto it = kv.find(key);
    if (it == kv.end()) return;
    apply(it->second);
    kv.erase(it);
  };
  take("wave", [&](const std::string& v) {
    static const std::map<std::string, Wave> shapes = {{"sine", Wave::Sine},     {"triangle", Wave::Triangle},
                                                       {"square", Wave::Square}, {"saw", Wave::Saw},
                                                       {"noise", Wave::Noise}};
    auto s = shapes.find(v);
    if (s == shapes.end()) throw Error("wave: '" + v + "' is not sine, triangle, square, saw or noise");
    t.Shape = s->second;
  });
  take("at", [&](const std::string& v) { t.At = ParseNumber(v, "at", 0, kMaxSeconds); });
  take("len", [&](const std::string& v) { t.Len = ParseNumber(v, "len", 0.005, kMaxSeconds); });
  take("freq", [&](const std::string& v) { t.Freq = ParseGlide(v, "freq", 10, kRate / 2.0); });
  take("sweep", [&](const std::string& v) {
    if (v != "exp" && v != "lin") throw Error("sweep: '" + v + "' is not exp or lin");
    t.ExpSweep = v == "exp";
  });
  take("amp", [&](const std::string& v) { t.Amp = ParseGlide(v, "amp", 0, 1); });
  take("attack", [&](const std::string& v) { t.Attack = ParseNumber(v, "attack", 0.001, kMaxSeconds); });
  take("decay", [&](const std::string& v) { t.Decay = ParseNumber(v, "decay", 0, kMaxSeconds); });
  take("sustain", [&](const std::string& v) { t.Sustain = ParseNumber(v, "sustain", 0, 1); });
  take("release", [&](const std::string& v) { t.Release = ParseNumber(v, "release", 0.001, kMaxSeconds); });
  take("vib", [&](const std::string& v) { t.Vib = ParseNumber(v, "vib", 0, 50); });
  take("vibdepth", [&](const std::string& v) { t.VibDepth = ParseNumber(v, "vibdepth", 0, 12); });
  take("duty", [&](const std::string& v) { t.Duty = ParseNumber(v, "duty", 0.05, 0.95); });
  take("lowpass", [&](const std::string& v) { t.Lowpass = ParseGlide(v, "lowpass", 20, kRate * 0.45); });
  take("highpass", [&](const std::string& v) { t.Highpass = ParseNumber(v, "highpass", 20, kRate * 0.45); });
  take("q", [&](const std::string& v) { t.Q = ParseNumber(v, "q", 0.5, 20); });
  take("vowel", [&](const std::string& v) {
    if (v.size() != 1 || std::string("aeiou").find(v[0]) == std::string::npos)
      throw Error("vowel: '" + v + "' is not one of a e i o u");
    t.Vowel = v[0];
  });
  take("mod", [&](const std::string& v) { t.Mod = ParseNumber(v, "mod", 0, 16); });
  take("index", [&](const std::string& v) { t.Index = ParseGlide(v, "index", 0, 20); });
  take("seed", [&](const std::string& v) { t.Seed = uint32_t(ParseNumber(v, "seed", 1, 1e9)); });
  if (!kv.empty()) throw Error("unknown tone setting '" + kv.begin()->first + "'");
  if (t.Attack + t.Release > t.Len) throw Error("attack plus release is longer than the tone");
  return t;
}

Recipe ParseRecipe(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Error("cannot open recipe \"" + path + "\"");
  Recipe r;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string what;
    if (!(words >> what)) continue;
    try {
      if (what == "tone") {
        r.Tones.push_back(ParseTone(KeyValues(words)));
      } else if (what == "peak") {
        std::string v;
        words >> v;
        r.PeakDb = ParseNumber(v, "peak", -40, -0.1);
        if (words >> v) throw Error("peak takes one value");
      } else if (what == "echo") {
        auto kv = KeyValues(words);
        for (const auto& [key, value] : kv) {
          if (key == "delay") r.EchoDelay = ParseNumber(value, "delay", 0.01, 1);
          else if (key == "feedback") r.EchoFeedback = ParseNumber(value, "feedback", 0, 0.8);
          else if (key == "mix") r.EchoMix = ParseNumber(value, "mix", 0, 1);
          else throw Error("unknown echo setting '" + key + "'");
        }
        if (r.EchoDelay == 0) throw Error("echo needs delay=SECONDS");
      } else {
        throw Error("unknown statement '" + what + "' (tone, peak or echo)");
      }
    } catch (const Error& e) {
      throw Error(path + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  if (r.Tones.empty()) throw Error(path + ": no tones");
  return r;
}

// Zero-delay-feedback state-variable filter: stays stable while its cutoff
// glides, which the plain textbook forms do not.
struct Svf {
  double Ic1 = 0, Ic2 = 0;
  struct Out {
    double Low, Band, High;
  };
  Out Run(double x, double cutoff, double q) {
    double g = std::tan(kPi * std::min(cutoff, kRate * 0.45) / kRate);
    double k = 1 / q;
    double a1 = 1 / (1 + g * (g + k));
    double v3 = x - Ic2;
    double v1 = a1 * Ic1 + g * a1 * v3;
    double v2 = Ic2 + g * v1;
    Ic1 = 2 * v1 - Ic1;
    Ic2 = 2 * v2 - Ic2;
    return {v2, v1, x - k * v1 - v2};
  }
};

// Softens the step of square and saw edges to keep high notes from aliasing.
double PolyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1;
  }
  if (t > 1 - dt) {
    t = (t - 1) / dt;
    return t * t + t + t + 1;
  }
  return 0;
}

double Envelope(const Tone& t, double s) {
  double e;
  if (s < t.Attack) e = 0.5 - 0.5 * std::cos(kPi * s / t.Attack);
  else if (t.Decay > 0) e = t.Sustain + (1 - t.Sustain) * std::exp(-(s - t.Attack) / t.Decay * 3);
  else e = 1;
  double left = t.Len - s;
  if (left < t.Release) e *= 0.5 - 0.5 * std::cos(kPi * std::max(0.0, left) / t.Release);
  return e;
}

// First three formants of sung vowels (Hz).
const double* Formants(char vowel) {
  static const double a[] = {800, 1150, 2900}, e[] = {400, 1600, 2700}, i[] = {300, 2200, 3000},
                      o[] = {450, 800, 2830}, u[] = {325, 700, 2530};
  switch (vowel) {
    case 'a': return a;
    case 'e': return e;
    case 'i': return i;
    case 'o': return o;
    default: return u;
  }
}

void Render(const Tone& t, std::vector<double>& mix) {
  const size_t start = size_t(std::lround(t.At * kRate));
  const size_t n = size_t(std::lround(t.Len * kRate));
  if (mix.size() < start + n) mix.resize(start + n, 0.0);
  double phase = 0, mod_phase = 0;
  uint32_t noise = t.Seed * 2654435761u + 1;
  Svf lp, hp, formant[3];
  for (size_t i = 0; i < n; ++i) {
    const double s = double(i) / kRate;
    const double u = double(i) / double(n);
    double f = t.Freq.At(u, t.ExpSweep);
    if (t.Vib > 0) f *= std::pow(2.0, t.VibDepth * std::sin(2 * kPi * t.Vib * s) / 12);
    const double dt = std::min(f / kRate, 0.5);
    double v = 0;
    switch (t.Shape) {
      case Wave::Sine: {
        double pm = t.Mod > 0 ? t.Index.At(u, false) * std::sin(2 * kPi * mod_phase) : 0;
        v = std::sin(2 * kPi * phase + pm);
        break;
      }
      case Wave::Triangle: v = 1 - 4 * std::abs(phase - 0.5); break;
      case Wave::Saw: v = 2 * phase - 1 - PolyBlep(phase, dt); break;
      case Wave::Square: {
        double shifted = std::fmod(phase + 1 - t.Duty, 1.0);
        v = (phase < t.Duty ? 1 : -1) + PolyBlep(phase, dt) - PolyBlep(shifted, dt);
        break;
      }
      case Wave::Noise:
        noise = noise * 1664525u + 1013904223u;
        v = double(noise >> 8) / double(1u << 23) - 1;
        break;
    }
    phase += dt;
    phase -= std::floor(phase);
    mod_phase += f * t.Mod / kRate;
    mod_phase -= std::floor(mod_phase);
    if (t.Vowel) {
      const double* fm = Formants(t.Vowel);
      static const double gains[] = {1.0, 0.6, 0.25};
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += gains[k] * formant[k].Run(v, fm[k], 8).Band;
      v = sum;
    }
    if (t.Lowpass.From > 0) v = lp.Run(v, t.Lowpass.At(u, true), t.Q).Low;
    if (t.Highpass > 0) v = hp.Run(v, t.Highpass, 0.7).High;
    mix[start + i] += v * t.Amp.At(u, false) * Envelope(t, s);
  }
}

void AddEcho(const Recipe& r, std::vector<double>& mix) {
  if (r.EchoDelay <= 0 || r.EchoMix <= 0) return;
  const size_t d = size_t(std::lround(r.EchoDelay * kRate));
  // Ring until the echo is 60 dB down, but never longer than a second.
  int repeats = r.EchoFeedback > 0 ? int(std::ceil(std::log(0.001) / std::log(r.EchoFeedback))) : 1;
  size_t tail = std::min(size_t(kRate), d * size_t(std::max(1, repeats)));
  mix.resize(mix.size() + tail, 0.0);
  std::vector<double> line(d, 0.0);
  double damp = 0;
  for (size_t i = 0, pos = 0; i < mix.size(); ++i, pos = (pos + 1) % d) {
    double delayed = line[pos];
    // Each repeat loses its highs, as sound does in water.
    damp += 0.35 * (delayed - damp);
    line[pos] = mix[i] + damp * r.EchoFeedback;
    mix[i] += damp * r.EchoMix;
  }
}

mv::TWaveData Synthesise(const Recipe& r) {
  std::vector<double> mix;
  for (const Tone& t : r.Tones) Render(t, mix);
  AddEcho(r, mix);
  const size_t fade = std::min(mix.size() / 2, size_t(kEdgeFade * kRate));
  for (size_t i = 0; i < fade; ++i) {
    double g = 0.5 - 0.5 * std::cos(kPi * double(i) / double(fade));
    mix[i] *= g;
    mix[mix.size() - 1 - i] *= g;
  }
  double peak = 0;
  for (double v : mix) peak = std::max(peak, std::abs(v));
  if (peak < 1e-9) throw Error("the effect is silent");
  const double gain = std::pow(10.0, r.PeakDb / 20) / peak;
  mv::TWaveData w;
  w.Channels = 1;
  w.SampleRate = kRate;
  w.BitsPerSample = 16;
  w.Samples.reserve(mix.size() * 2);
  for (double v : mix) {
    long s = std::clamp(std::lround(v * gain * 32767), -32767L, 32767L);
    uint16_t u = uint16_t(int16_t(s));
    w.Samples.push_back(uint8_t(u & 0xFF));
    w.Samples.push_back(uint8_t(u >> 8));
  }
  return w;
}

void WriteAtomically(const std::string& out, const std::vector<uint8_t>& bytes) {
  // Written aside first so a failed run never leaves half a file behind.
  // A per-process name lets two parallel builds of the same target race safely.
  std::string tmp = out + "." + std::to_string(getpid()) + ".tmp";
  mv::WriteWholeFile(tmp, bytes);
  std::error_code ec;
  fs::rename(tmp, out, ec);
  if (ec) {
    fs::remove(tmp, ec);
    throw Error("cannot create file \"" + out + "\"");
  }
}

int Pack(const std::string& out, const std::string& manifest, const std::string& wav_dir) {
  std::ifstream in(manifest);
  if (!in) throw Error("cannot open manifest \"" + manifest + "\"");
  const fs::path base = fs::path(manifest).parent_path();
  if (!wav_dir.empty()) fs::create_directories(wav_dir);
  std::vector<mv::TWaveRecord> waves;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string name, recipe, max, looped, extra;
    if (!(words >> name)) continue;
    try {
      if (!(words >> recipe >> max >> looped) || (words >> extra))
        throw Error("expected 'NAME RECIPE MAX LOOPED'");
      if (name.size() > 255) throw Error("name is longer than 255 characters");
      for (const auto& w : waves)
        if (w.Name == name) throw Error("effect '" + name + "' listed twice");
      mv::TWaveRecord r;
      r.Name = name;
      if (max.find_first_not_of("0123456789") != std::string::npos) throw Error("MAX: '" + max + "' is not a whole number");
      r.MaxPlayingCount = int(ParseNumber(max, "MAX", 0, 64));
      if (looped != "0" && looped != "1") throw Error("LOOPED: '" + looped + "' is not 0 or 1");
      r.Looped = looped == "1";
      r.Wave = Synthesise(ParseRecipe((base / recipe).string()));
      std::printf("sfxgen: %-6s %-12s %5.2f s  max=%d looped=%d\n", name.c_str(), recipe.c_str(),
                  double(r.Wave.Frames()) / kRate, r.MaxPlayingCount, r.Looped ? 1 : 0);
      if (!wav_dir.empty()) WriteAtomically((fs::path(wav_dir) / (name + ".wav")).string(), mv::WriteWave(r.Wave));
      waves.push_back(std::move(r));
    } catch (const std::exception& e) {
      throw Error(manifest + ":" + std::to_string(number) + ": " + e.what());
    }
  }
  if (waves.empty()) throw Error(manifest + ": no effects");
  WriteAtomically(out, mv::WriteWaveArchive(waves, fs::path(out).stem().string()));
  std::printf("sfxgen: wrote %s (%zu effects)\n", out.c_str(), waves.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if ((args.size() == 3 || args.size() == 4) && args[0] == "pack")
      return Pack(args[1], args[2], args.size() == 4 ? args[3] : "");
    if (args.size() == 3 && args[0] == "render") {
      WriteAtomically(args[2], mv::WriteWave(Synthesise(ParseRecipe(args[1]))));
      return 0;
    }
    std::cerr << "usage: sfxgen pack OUT.dxg MANIFEST [WAVDIR]\n"
                 "       sfxgen render RECIPE.sfx OUT.wav\n";
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "sfxgen: " << e.what() << "\n";
    return 1;
  }
}
