// SPDX-License-Identifier: GPL-3.0-or-later
// xmgen: writes a FastTracker II module (XM 1.04) from a text score, with
// instruments whose samples are synthesised here.
//
//   xmgen SCORE.txt OUT.xm
//
// A score (see assets/music/*.txt):
//
//   title NAME                      module name (at most 20 characters)
//   bpm 84 / speed 6                tempo; a row is a sixteenth note
//   track NAME KIND VOLUME [pan=-100..100] [voices=N] [spread=0..100] [oct=N]
//   pattern NAME ... end            four bars of sixteen rows
//     chords Am F C G               1, 2, 4, 8 or 16 chords over the pattern
//     TRACK STEPS                   what the track plays in this pattern
//   order NAME NAME ...             the song; `restart N` is where it loops
//
// Kinds: pad (a chord on `voices` channels), pluck, bell, bass, lead
// (melodic), kick, snare, hat, ohat, shaker (drums). Steps, 16 (repeated every bar)
// or 64 of them; bar lines "|" and spaces are only for the eye:
//   drums          x hit, X accent, o soft, . nothing
//   pad            x strike the chord, - release, . hold; or "on" to strike
//                  at every chord change; `spread` fans its voices out from
//                  the track's pan, the lowest to the left
//   melodic        chord degrees 1..9 (1 root, 3 third, 5 fifth, 7 seventh,
//                  8 octave, 2/9 ninth, 4 fourth, 6 sixth), - release, . hold;
//                  or notes with lengths: "E5:4 -:2 C#5 .:3"
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kRows = 64;
constexpr int kStepsPerBar = 16;
constexpr int kMaxChannels = 32;
// Every sample is made at this rate with its pitch on C4, and stored with
// relative note +24, so note C-4 plays it at its own rate and pitch.
constexpr double kSampleRate = 8363.0 * 4;
constexpr int kRelativeNote = 24;
constexpr double kC4 = 261.6255653;
constexpr uint8_t kKeyOff = 97;

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------- samples

struct Envelope {
  std::vector<std::pair<double, int>> Points;  // seconds, 0..64
  int Sustain = -1;                            // point index, -1 = none
};

struct Instrument {
  std::string Name;
  std::vector<int16_t> Data;
  size_t LoopStart = 0, LoopLength = 0;  // in samples; 0 length = no loop
  Envelope Volume;
  int Fadeout = 0;
  int VibratoDepth = 0, VibratoRate = 0, VibratoSweep = 0;
};

struct Rng {
  uint32_t State;
  double Next() {  // 0 .. 1
    State = State * 1664525u + 1013904223u;
    return double(State >> 8) / double(1u << 24);
  }
};

std::vector<int16_t> ToPcm(const std::vector<double>& v, double peak_level) {
  double peak = 1e-12;
  for (double x : v) peak = std::max(peak, std::abs(x));
  std::vector<int16_t> out(v.size());
  for (size_t i = 0; i < v.size(); ++i)
    out[i] = int16_t(std::clamp(std::lround(v[i] / peak * peak_level * 32767), -32767L, 32767L));
  return out;
}

// A seamless loop of `cycles` periods of C4: every partial completes a whole
// number of turns over the loop, so the seam is inaudible.
struct LoopShape {
  int Cycles;
  size_t Length() const { return size_t(std::lround(Cycles * kSampleRate / kC4)); }
};

// Sum of harmonics h (amplitude amp(h)) of voices detuned by whole cycles.
template <class Amp>
std::vector<double> Additive(LoopShape loop, int harmonics, const std::vector<int>& detune, Amp amp, uint32_t seed) {
  const size_t n = loop.Length();
  std::vector<double> v(n, 0.0);
  Rng rng{seed};
  for (int d : detune) {
    const double cycles = loop.Cycles + d;
    for (int h = 1; h <= harmonics; ++h) {
      const double a = amp(h);
      const double phase = 2 * kPi * rng.Next();
      const double step = 2 * kPi * h * cycles / double(n);
      for (size_t i = 0; i < n; ++i) v[i] += a * std::sin(step * double(i) + phase);
    }
  }
  return v;
}

// Soft saturation: rounds off the peaks of a sum of partials, so it plays
// louder for its peak, and adds a little harmonic sparkle.  `drive` 0 leaves
// the wave as it is.
std::vector<double> Drive(std::vector<double> v, double drive) {
  if (drive <= 0) return v;
  double peak = 1e-12;
  for (double x : v) peak = std::max(peak, std::abs(x));
  for (double& x : v) x = std::tanh(drive * x / peak);
  return v;
}

void FadeEdges(std::vector<double>& v, double seconds_in, double seconds_out) {
  const size_t in = std::min(v.size(), size_t(seconds_in * kSampleRate));
  const size_t out = std::min(v.size(), size_t(seconds_out * kSampleRate));
  for (size_t i = 0; i < in; ++i) v[i] *= double(i) / double(in);
  for (size_t i = 0; i < out; ++i) v[v.size() - 1 - i] *= double(i) / double(out);
}

// Partials that ring out on their own, the higher ones faster.
std::vector<double> Struck(double seconds, const std::vector<std::array<double, 3>>& partials) {
  const size_t n = size_t(seconds * kSampleRate);
  std::vector<double> v(n, 0.0);
  for (const auto& [ratio, amp, decay] : partials) {
    const double step = 2 * kPi * kC4 * ratio / kSampleRate;
    for (size_t i = 0; i < n; ++i) v[i] += amp * std::exp(-decay * double(i) / kSampleRate) * std::sin(step * double(i));
  }
  FadeEdges(v, 0.002, 0.02);
  return v;
}

struct OnePole {
  double State = 0;
  double Low(double x, double cutoff) {
    State += (1 - std::exp(-2 * kPi * cutoff / kSampleRate)) * (x - State);
    return State;
  }
};

std::vector<double> Noise(size_t n, uint32_t seed) {
  Rng rng{seed};
  std::vector<double> v(n);
  for (double& x : v) x = 2 * rng.Next() - 1;
  return v;
}

std::vector<double> Kick() {
  const size_t n = size_t(0.42 * kSampleRate);
  std::vector<double> v(n);
  double phase = 0;
  std::vector<double> click = Noise(n, 7);
  OnePole lp;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kSampleRate;
    const double f = 48 + 110 * std::exp(-t / 0.035);
    phase += 2 * kPi * f / kSampleRate;
    v[i] = std::sin(phase) * std::exp(-t / 0.16) + 0.25 * lp.Low(click[i], 3000) * std::exp(-t / 0.004);
  }
  FadeEdges(v, 0.0005, 0.03);
  return v;
}

// Noise with everything below `cutoff` taken out twice over (12 dB an
// octave), leaving the hiss and sizzle of cymbals and shakers.
std::vector<double> HighNoise(size_t n, uint32_t seed, double cutoff) {
  std::vector<double> v = Noise(n, seed);
  OnePole a, b;
  for (double& x : v) {
    const double once = x - a.Low(x, cutoff);
    x = once - b.Low(once, cutoff);
  }
  return v;
}

std::vector<double> Snare() {
  const size_t n = size_t(0.26 * kSampleRate);
  std::vector<double> v = Noise(n, 11);
  std::vector<double> snap = HighNoise(n, 13, 5000);
  OnePole lp, hp;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kSampleRate;
    const double band = lp.Low(v[i], 11000) - hp.Low(v[i], 900);
    const double body = std::sin(2 * kPi * 185 * t) * std::exp(-t / 0.03);
    v[i] = 0.7 * band * std::exp(-t / 0.06) + 0.9 * snap[i] * std::exp(-t / 0.025) + 0.5 * body;
  }
  FadeEdges(v, 0.0005, 0.03);
  return v;
}

// A metal hat: six square waves at clashing frequencies, as the classic drum
// machines make it, high-passed together with a little noise.
std::vector<double> Hat(double seconds, double decay, uint32_t seed) {
  static const double kMetal[] = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
  const size_t n = size_t(seconds * kSampleRate);
  std::vector<double> v = Noise(n, seed);
  std::vector<double> ring(n, 0.0);
  for (double f : kMetal)
    for (size_t i = 0; i < n; ++i) ring[i] += std::fmod(double(i) * f * 1.7 / kSampleRate, 1.0) < 0.5 ? 1 : -1;
  OnePole a, b, top;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kSampleRate;
    const double x = 0.55 * ring[i] / 6 + 0.45 * v[i];
    const double once = x - a.Low(x, 6500);
    const double twice = once - b.Low(once, 6500);
    v[i] = top.Low(twice, 15000) * std::exp(-t / decay);
  }
  FadeEdges(v, 0.0004, 0.01);
  return v;
}

// A shaker: high noise that swells for a few milliseconds, then falls.
std::vector<double> Shaker() {
  const size_t n = size_t(0.16 * kSampleRate);
  std::vector<double> v = HighNoise(n, 29, 4500);
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kSampleRate;
    v[i] *= (1 - std::exp(-t / 0.008)) * std::exp(-t / 0.035);
  }
  FadeEdges(v, 0.001, 0.01);
  return v;
}

bool IsDrum(const std::string& kind) {
  return kind == "kick" || kind == "snare" || kind == "hat" || kind == "ohat" || kind == "shaker";
}

// Envelope points are given in seconds; the module counts ticks.
Envelope Env(std::vector<std::pair<double, int>> points, int sustain) { return {std::move(points), sustain}; }

Instrument MakeInstrument(const std::string& kind) {
  Instrument in;
  in.Name = kind;
  auto looped = [&](std::vector<double> v) {
    in.Data = ToPcm(v, 0.9);
    in.LoopStart = 0;
    in.LoopLength = in.Data.size();
  };
  if (kind == "pad") {
    // Three slightly detuned, softened saws: a slow, warm chorus with some air on top.
    looped(Drive(Additive({200}, 40, {-1, 0, 1}, [](int h) { return 1.0 / h / (1 + (h / 9.0) * (h / 9.0)); }, 101), 2.0));
    in.Volume = Env({{0, 0}, {0.6, 64}, {1.6, 0}}, 1);
    in.Fadeout = 600;
    in.VibratoDepth = 2, in.VibratoRate = 4, in.VibratoSweep = 60;
  } else if (kind == "bass") {
    looped(Drive(Additive({100}, 32, {0}, [](int h) { return std::pow(h, -1.15) / (1 + std::pow(h / 10.0, 2)); }, 202), 2.0));
    in.Volume = Env({{0, 64}, {0.25, 44}, {0.3, 44}, {0.4, 0}}, 2);
    in.Fadeout = 3000;
  } else if (kind == "lead") {
    // Hollow, square-ish, with a delayed vibrato; the upper odd partials give it an edge.
    looped(Drive(Additive({100}, 27, {0}, [](int h) { return (h % 2 ? 1.0 : 0.25) / h / (1 + (h / 15.0) * (h / 15.0)); }, 303), 1.5));
    in.Volume = Env({{0, 0}, {0.012, 64}, {0.3, 46}, {0.34, 46}, {0.5, 0}}, 3);
    in.Fadeout = 2000;
    in.VibratoDepth = 3, in.VibratoRate = 10, in.VibratoSweep = 40;
  } else if (kind == "pluck") {
    // A plucked string: many harmonics, the higher ones dying first, so each
    // note starts bright and mellows.
    std::vector<std::array<double, 3>> partials;
    for (int h = 1; h <= 24; ++h) partials.push_back({double(h), std::pow(h, -0.9) * (h % 2 ? 1.0 : 0.7), 3.0 + 1.1 * h});
    in.Data = ToPcm(Struck(1.1, partials), 0.9);
    in.Volume = Env({{0, 64}, {0.01, 64}, {0.2, 0}}, 1);
    in.Fadeout = 2500;
  } else if (kind == "bell") {
    // A struck bar: its inharmonic modes ring up to ten kilohertz on the high notes.
    in.Data = ToPcm(Struck(2.4, {{1, 1, 1.4},
                                 {2, 0.35, 2.2},
                                 {2.76, 0.5, 2.6},
                                 {4.2, 0.3, 4.0},
                                 {5.4, 0.28, 5.5},
                                 {8.93, 0.2, 9},
                                 {11.3, 0.1, 12},
                                 {13.34, 0.12, 15}}),
                    0.9);
    in.Volume = Env({{0, 64}, {0.01, 64}, {0.5, 0}}, 1);
    in.Fadeout = 1200;
  } else if (IsDrum(kind)) {
    std::vector<double> v = kind == "kick"    ? Kick()
                            : kind == "snare" ? Snare()
                            : kind == "hat"   ? Hat(0.09, 0.022, 23)
                            : kind == "ohat"  ? Hat(0.4, 0.1, 31)
                                              : Shaker();
    in.Data = ToPcm(v, 0.9);
    in.Volume = Env({{0, 64}, {0.01, 64}, {0.1, 0}}, 1);
    in.Fadeout = 4000;
  } else {
    throw Error("unknown instrument kind '" + kind + "' (pad pluck bell bass lead kick snare hat ohat shaker)");
  }
  return in;
}
bool IsMelodic(const std::string& kind) {
  return kind == "pluck" || kind == "bell" || kind == "bass" || kind == "lead";
}

// ------------------------------------------------------------------ score

struct Chord {
  int Root = 0;                // pitch class
  std::vector<int> Intervals;  // from the root, ascending
};

struct Track {
  std::string Name, Kind;
  int Volume = 48;
  std::optional<int> Pan;  // -100..100
  int Voices = 1;
  int Spread = 0;  // pads: pan of the outer voices from the track's pan
  int Octave = 0;
  int FirstChannel = 0;
  int InstrumentIndex = 0;
};

struct Cell {
  uint8_t Note = 0, Ins = 0, Vol = 0, Fx = 0, Param = 0;
};

struct Pattern {
  std::string Name;
  std::vector<Chord> Chords;
  struct Part {
    std::string Track, Steps;
    int Line;
  };
  std::vector<Part> Lines;
};

struct Score {
  std::string Title = "Marovane";
  int Bpm = 125, Speed = 6, Restart = 0;
  std::vector<Track> Tracks;
  std::vector<Pattern> Patterns;
  std::vector<int> Order;
};

int ParseInt(const std::string& s, const std::string& what, int lo, int hi) {
  size_t used = 0;
  long v = 0;
  try {
    v = std::stol(s, &used, 10);
  } catch (const std::exception&) {
    used = 0;
  }
  if (s.empty() || used != s.size() || v < lo || v > hi)
    throw Error(what + ": '" + s + "' is not a whole number in " + std::to_string(lo) + " .. " + std::to_string(hi));
  return int(v);
}

int PitchClass(const std::string& s, size_t& i) {
  static const int base[] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  if (i >= s.size() || s[i] < 'A' || s[i] > 'G') throw Error("'" + s + "' does not start with a note letter A..G");
  int pc = base[s[i++] - 'A'];
  if (i < s.size() && s[i] == '#') ++pc, ++i;
  else if (i < s.size() && s[i] == 'b') --pc, ++i;
  return (pc + 12) % 12;
}

Chord ParseChord(const std::string& s) {
  static const std::map<std::string, std::vector<int>> qualities = {
      {"", {0, 4, 7}},          {"m", {0, 3, 7}},         {"7", {0, 4, 7, 10}},   {"m7", {0, 3, 7, 10}},
      {"maj7", {0, 4, 7, 11}},  {"sus2", {0, 2, 7}},      {"sus4", {0, 5, 7}},    {"dim", {0, 3, 6}},
      {"add9", {0, 4, 7, 14}},  {"m9", {0, 3, 7, 10, 14}}, {"6", {0, 4, 7, 9}},   {"m6", {0, 3, 7, 9}}};
  size_t i = 0;
  Chord c;
  c.Root = PitchClass(s, i);
  auto q = qualities.find(s.substr(i));
  if (q == qualities.end()) throw Error("unknown chord '" + s + "'");
  c.Intervals = q->second;
  return c;
}

// MIDI-style number (C4 = 60) of a note name such as "F#4" or "Bb3".
int ParseNote(const std::string& s) {
  size_t i = 0;
  int pc = PitchClass(s, i);
  // Cb and B# cross the octave line.
  int shift = (s[0] == 'C' && pc == 11) ? -1 : (s[0] == 'B' && pc == 0) ? 1 : 0;
  int octave = ParseInt(s.substr(i), "octave of '" + s + "'", 0, 7);
  return 12 * (octave + 1 + shift) + pc;
}

// The interval of chord degree d (see the file comment) within chord c.
int DegreeInterval(const Chord& c, int d) {
  auto find = [&](int lo, int hi, int fallback) {
    for (int i : c.Intervals)
      if (i >= lo && i <= hi) return i;
    return fallback;
  };
  switch (d) {
    case 1: return 0;
    case 2: return 2;
    case 3: return find(2, 5, 4);
    case 4: return 5;
    case 5: return find(6, 8, 7);
    case 6: return 9;
    case 7: return find(10, 11, 10);
    case 8: return 12;
    default: return 14;
  }
}

// Lowest note of the register a kind plays in, for chord-relative parts.
int RegisterBase(const std::string& kind) {
  if (kind == "bass") return 36;   // C2
  if (kind == "pluck") return 57;  // A3
  return 67;                       // G4
}

// Chord tones spread inside one octave from G3, so chords follow each
// other with the smallest moves.
std::vector<int> Voicing(const Chord& c, int voices) {
  std::vector<int> pcs;
  for (int i : c.Intervals) pcs.push_back(i % 12);
  while (int(pcs.size()) > voices) {
    // Drop the fifth first, then whatever is on top.
    auto fifth = std::find(pcs.begin(), pcs.end(), 7);
    if (fifth != pcs.end() && pcs.size() > 2) pcs.erase(fifth);
    else pcs.pop_back();
  }
  std::vector<int> notes;
  for (int pc : pcs) notes.push_back(55 + (c.Root + pc + 12 - 7) % 12);
  std::sort(notes.begin(), notes.end());
  for (size_t i = 0; int(notes.size()) < voices; ++i) notes.push_back(notes[i % notes.size()] + 12);
  return notes;
}

uint8_t XmNote(int midi, const std::string& where) {
  int n = midi - 11;
  if (n < 1 || n > 96) throw Error(where + ": note out of the module's range C-0 .. B-7");
  return uint8_t(n);
}

// "x..x|.x.." → one string of 16 or 64 step characters.
std::string Steps(const std::string& text, const std::string& allowed) {
  std::string s;
  for (char ch : text) {
    if (ch == ' ' || ch == '\t' || ch == '|') continue;
    if (allowed.find(ch) == std::string::npos) throw Error(std::string("unexpected step '") + ch + "'");
    s += ch;
  }
  if (s.size() == kStepsPerBar) s = s + s + s + s;
  if (s.size() != kRows)
    throw Error("has " + std::to_string(s.size()) + " steps; a pattern takes 16 (one bar, repeated) or 64");
  return s;
}

// "E5:4 -:2 C5" → one step character per row: 'n' a note, '-' release,
// '.' hold; the notes in `notes`.
std::string NoteSteps(const std::string& text, std::vector<int>& notes) {
  std::istringstream words(text);
  std::string s;
  for (std::string w; words >> w;) {
    if (w == "|") continue;
    size_t colon = w.find(':');
    std::string what = w.substr(0, colon);
    int len = colon == std::string::npos ? 1 : ParseInt(w.substr(colon + 1), "length of '" + w + "'", 1, kRows);
    if (what == "-") s += '-';
    else if (what == ".") s += '.';
    else {
      notes.push_back(ParseNote(what));
      s += 'n';
    }
    s.append(size_t(len - 1), '.');
  }
  if (s.size() == kStepsPerBar) {
    std::vector<int> bar = notes;
    for (int k = 0; k < 3; ++k) notes.insert(notes.end(), bar.begin(), bar.end());
    s = s + s + s + s;
  }
  if (s.size() != kRows)
    throw Error("lasts " + std::to_string(s.size()) + " steps; a pattern takes 16 (one bar, repeated) or 64");
  return s;
}

Score ParseScore(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw Error("cannot open score \"" + path + "\"");
  Score sc;
  Pattern* open = nullptr;
  std::vector<std::string> order_names;
  int order_line = 0;
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& what) { return Error(path + ":" + std::to_string(number) + ": " + what); };
  while (std::getline(in, line)) {
    ++number;
    if (size_t hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string what;
    if (!(words >> what)) continue;
    std::string rest;
    std::getline(words, rest);
    try {
      if (open) {
        if (what == "end") {
          if (open->Lines.empty()) throw Error("pattern '" + open->Name + "' plays nothing");
          open = nullptr;
        } else if (what == "chords") {
          std::istringstream cw(rest);
          for (std::string c; cw >> c;)
            if (c != "|") open->Chords.push_back(ParseChord(c));
          size_t n = open->Chords.size();
          if (n == 0 || kRows % n != 0) throw Error("a pattern takes 1, 2, 4, 8 or 16 chords, not " + std::to_string(n));
        } else {
          auto t = std::find_if(sc.Tracks.begin(), sc.Tracks.end(), [&](const Track& track) { return track.Name == what; });
          if (t == sc.Tracks.end()) throw Error("no track named '" + what + "'");
          for (const auto& l : open->Lines)
            if (l.Track == what) throw Error("track '" + what + "' given twice in one pattern");
          open->Lines.push_back({what, rest, number});
        }
        continue;
      }
      std::istringstream rw(rest);
      std::vector<std::string> args;
      for (std::string a; rw >> a;) args.push_back(a);
      if (what == "title") {
        size_t b = rest.find_first_not_of(' ');
        sc.Title = b == std::string::npos ? "" : rest.substr(b);
        if (sc.Title.size() > 20) throw Error("title is longer than 20 characters");
      } else if (what == "bpm" && args.size() == 1) {
        sc.Bpm = ParseInt(args[0], "bpm", 32, 255);
      } else if (what == "speed" && args.size() == 1) {
        sc.Speed = ParseInt(args[0], "speed", 1, 31);
      } else if (what == "restart" && args.size() == 1) {
        sc.Restart = ParseInt(args[0], "restart", 0, 255);
      } else if (what == "track" && args.size() >= 3) {
        if (!sc.Patterns.empty()) throw Error("tracks come before the first pattern");
        Track t;
        t.Name = args[0];
        t.Kind = args[1];
        if (!IsDrum(t.Kind) && !IsMelodic(t.Kind) && t.Kind != "pad") MakeInstrument(t.Kind);  // names the fault
        for (const auto& other : sc.Tracks)
          if (other.Name == t.Name) throw Error("track '" + t.Name + "' declared twice");
        t.Volume = ParseInt(args[2], "volume", 0, 64);
        for (size_t i = 3; i < args.size(); ++i) {
          const std::string& a = args[i];
          size_t eq = a.find('=');
          std::string key = a.substr(0, eq), value = eq == std::string::npos ? "" : a.substr(eq + 1);
          if (key == "pan") t.Pan = ParseInt(value, "pan", -100, 100);
          else if (key == "voices" && t.Kind == "pad") t.Voices = ParseInt(value, "voices", 1, 6);
          else if (key == "spread" && t.Kind == "pad") t.Spread = ParseInt(value, "spread", 0, 100);
          else if (key == "oct") t.Octave = ParseInt(value, "oct", -3, 3);
          else throw Error("unknown track setting '" + a + "'");
        }
        sc.Tracks.push_back(t);
      } else if (what == "pattern" && args.size() == 1) {
        for (const auto& p : sc.Patterns)
          if (p.Name == args[0]) throw Error("pattern '" + args[0] + "' defined twice");
        if (sc.Patterns.size() == 256) throw Error("a module holds at most 256 patterns");
        sc.Patterns.push_back({args[0], {}, {}});
        open = &sc.Patterns.back();
      } else if (what == "order" && !args.empty()) {
        order_names.insert(order_names.end(), args.begin(), args.end());
        order_line = number;
      } else {
        throw Error("cannot read '" + what + rest + "'");
      }
    } catch (const Error& e) {
      throw fail(e.what());
    }
  }
  if (open) throw Error(path + ": pattern '" + open->Name + "' has no end");
  if (sc.Tracks.empty()) throw Error(path + ": no tracks");
  number = order_line;
  if (order_names.empty()) throw Error(path + ": no order");
  if (order_names.size() > 256) throw fail("the order holds at most 256 entries");
  for (const auto& name : order_names) {
    auto p = std::find_if(sc.Patterns.begin(), sc.Patterns.end(), [&](const Pattern& pattern) { return pattern.Name == name; });
    if (p == sc.Patterns.end()) throw fail("no pattern named '" + name + "'");
    sc.Order.push_back(int(p - sc.Patterns.begin()));
  }
  if (sc.Restart >= int(sc.Order.size())) throw fail("restart is past the end of the order");
  return sc;
}

// ---------------------------------------------------------------- compile

using Grid = std::vector<std::vector<Cell>>;  // [row][channel]

// The pan (0..255) of one voice of a track, none for a centred one.
std::optional<uint8_t> VoicePan(const Track& t, int voice) {
  int pan = t.Pan.value_or(0);
  if (t.Voices > 1) pan += t.Spread * (2 * voice - (t.Voices - 1)) / (t.Voices - 1);
  if (!t.Pan && pan == 0) return std::nullopt;
  return uint8_t((std::clamp(pan, -100, 100) + 100) * 255 / 200);
}

void Place(Cell& c, uint8_t note, const Track& t, int volume, int voice = 0) {
  c.Note = note;
  if (note != kKeyOff) {
    c.Ins = uint8_t(t.InstrumentIndex + 1);
    c.Vol = uint8_t(0x10 + std::clamp(volume, 0, 64));
    // A note with its instrument puts the channel back to the sample's own
    // (centre) pan, so the pan goes with every note.
    if (auto pan = VoicePan(t, voice)) c.Fx = 8, c.Param = *pan;
  }
}

void CompileLine(const Pattern& p, const Track& t, const std::string& text, Grid& grid) {
  auto chord_at = [&](int row) -> const Chord& {
    if (p.Chords.empty()) throw Error("track '" + t.Name + "' follows the chords, but the pattern has none");
    return p.Chords[size_t(row) * p.Chords.size() / kRows];
  };
  const std::string where = "track '" + t.Name + "'";
  if (IsDrum(t.Kind)) {
    std::string s = Steps(text, "xXo.");
    for (int r = 0; r < kRows; ++r) {
      if (s[r] == '.') continue;
      int v = s[r] == 'X' ? t.Volume * 5 / 4 : s[r] == 'o' ? t.Volume * 3 / 5 : t.Volume;
      Place(grid[r][t.FirstChannel], uint8_t(XmNote(60, where)), t, v);
    }
    return;
  }
  if (t.Kind == "pad") {
    std::string s;
    std::istringstream words(text);
    std::string first, more;
    if (words >> first && first == "on" && !(words >> more)) {
      if (p.Chords.empty()) throw Error(where + " plays the chords, but the pattern has none");
      s.assign(kRows, '.');
      for (size_t i = 0; i < p.Chords.size(); ++i) s[i * kRows / p.Chords.size()] = 'x';
    } else {
      s = Steps(text, "x-.");
    }
    for (int r = 0; r < kRows; ++r) {
      if (s[r] == '.') continue;
      std::vector<int> notes = s[r] == 'x' ? Voicing(chord_at(r), t.Voices) : std::vector<int>{};
      for (int v = 0; v < t.Voices; ++v) {
        uint8_t note = s[r] == '-' ? kKeyOff : XmNote(notes[size_t(v)] + 12 * t.Octave, where);
        Place(grid[r][t.FirstChannel + v], note, t, t.Volume, v);
      }
    }
    return;
  }
  // Melodic: chord degrees or written notes.
  std::string s;
  std::vector<int> notes;
  bool degrees = text.find_first_not_of(" |.-123456789") == std::string::npos;
  if (degrees) s = Steps(text, "123456789.-");
  else s = NoteSteps(text, notes);
  size_t next_note = 0;
  for (int r = 0; r < kRows; ++r) {
    char ch = s[r];
    if (ch == '.') continue;
    if (ch == '-') {
      Place(grid[r][t.FirstChannel], kKeyOff, t, 0);
      continue;
    }
    int midi;
    if (degrees) {
      const Chord& c = chord_at(r);
      int root = RegisterBase(t.Kind) + (c.Root - RegisterBase(t.Kind) % 12 + 12) % 12;
      midi = root + DegreeInterval(c, ch - '0');
    } else {
      midi = notes[next_note++];
    }
    // A little weight on the beats keeps repeated figures from sounding mechanical.
    int v = r % 4 == 0 ? t.Volume : t.Volume * 7 / 8;
    Place(grid[r][t.FirstChannel], XmNote(midi + 12 * t.Octave, where), t, v);
  }
}

std::vector<uint8_t> PackPattern(const Grid& grid) {
  std::vector<uint8_t> out;
  for (const auto& row : grid)
    for (const Cell& c : row) {
      uint8_t flags = 0x80 | (c.Note ? 1 : 0) | (c.Ins ? 2 : 0) | (c.Vol ? 4 : 0) | (c.Fx ? 8 : 0) | (c.Param ? 16 : 0);
      out.push_back(flags);
      if (c.Note) out.push_back(c.Note);
      if (c.Ins) out.push_back(c.Ins);
      if (c.Vol) out.push_back(c.Vol);
      if (c.Fx) out.push_back(c.Fx);
      if (c.Param) out.push_back(c.Param);
    }
  return out;
}

struct Writer {
  std::vector<uint8_t> B;
  void U8(unsigned v) { B.push_back(uint8_t(v)); }
  void U16(unsigned v) { U8(v & 0xFF), U8(v >> 8 & 0xFF); }
  void U32(uint32_t v) { U16(v & 0xFFFF), U16(v >> 16); }
  void Text(const std::string& s, size_t n) {
    for (size_t i = 0; i < n; ++i) U8(i < s.size() ? uint8_t(s[i]) : 0);
  }
  void Zeros(size_t n) { B.insert(B.end(), n, 0); }
};

void WriteInstrument(Writer& w, const Instrument& in, double tick_seconds) {
  w.U32(263);
  w.Text(in.Name, 22);
  w.U8(0);
  w.U16(1);
  w.U32(40);
  w.Zeros(96);  // every note plays the one sample
  const auto& pts = in.Volume.Points;
  if (pts.size() > 12) throw Error("instrument '" + in.Name + "': more than 12 envelope points");
  int last_x = -1;
  for (size_t i = 0; i < 12; ++i) {
    if (i < pts.size()) {
      int x = std::max(last_x + 1, int(std::lround(pts[i].first / tick_seconds)));
      w.U16(unsigned(x));
      w.U16(unsigned(pts[i].second));
      last_x = x;
    } else {
      w.U16(0), w.U16(0);
    }
  }
  w.Zeros(48);  // no panning envelope
  w.U8(unsigned(pts.size()));
  w.U8(0);
  w.U8(unsigned(std::max(0, in.Volume.Sustain)));
  w.U8(0), w.U8(0);          // volume loop
  w.U8(0), w.U8(0), w.U8(0);  // panning sustain and loop
  w.U8(pts.empty() ? 0 : 1 | (in.Volume.Sustain >= 0 ? 2 : 0));
  w.U8(0);
  w.U8(0);  // sine vibrato
  w.U8(unsigned(in.VibratoSweep));
  w.U8(unsigned(in.VibratoDepth));
  w.U8(unsigned(in.VibratoRate));
  w.U16(unsigned(in.Fadeout));
  w.Zeros(22);
  // Sample header; lengths count bytes.
  w.U32(uint32_t(in.Data.size() * 2));
  w.U32(uint32_t(in.LoopStart * 2));
  w.U32(uint32_t(in.LoopLength * 2));
  w.U8(64);
  w.U8(0);
  w.U8((in.LoopLength ? 1 : 0) | 0x10);  // forward loop, 16-bit
  w.U8(128);
  w.U8(uint8_t(int8_t(kRelativeNote)));
  w.U8(0);
  w.Text(in.Name, 22);
  // Samples are stored as differences from the previous one.
  int16_t prev = 0;
  for (int16_t s : in.Data) {
    w.U16(uint16_t(uint16_t(s) - uint16_t(prev)));
    prev = s;
  }
}

std::vector<uint8_t> Compile(Score& sc, const std::string& path, double& seconds) {
  std::vector<std::string> kinds;
  int channels = 0;
  for (Track& t : sc.Tracks) {
    auto k = std::find(kinds.begin(), kinds.end(), t.Kind);
    t.InstrumentIndex = int(k - kinds.begin());
    if (k == kinds.end()) kinds.push_back(t.Kind);
    t.FirstChannel = channels;
    channels += t.Voices;
  }
  if (channels > kMaxChannels) throw Error("the tracks need " + std::to_string(channels) + " channels; at most 32");
  channels += channels % 2;  // trackers expect an even count of channels

  Writer w;
  w.Text("Extended Module: ", 17);
  w.Text(sc.Title, 20);
  w.U8(0x1A);
  w.Text("Marovane xmgen", 20);
  w.U16(0x0104);
  w.U32(276);
  w.U16(unsigned(sc.Order.size()));
  w.U16(unsigned(sc.Restart));
  w.U16(unsigned(channels));
  w.U16(unsigned(sc.Patterns.size()));
  w.U16(unsigned(kinds.size()));
  w.U16(1);  // linear frequencies
  w.U16(unsigned(sc.Speed));
  w.U16(unsigned(sc.Bpm));
  for (size_t i = 0; i < 256; ++i) w.U8(i < sc.Order.size() ? unsigned(sc.Order[i]) : 0);

  for (const Pattern& p : sc.Patterns) {
    Grid grid(kRows, std::vector<Cell>(size_t(channels)));
    for (const auto& part : p.Lines) {
      const Track& t =
          *std::find_if(sc.Tracks.begin(), sc.Tracks.end(), [&](const Track& track) { return track.Name == part.Track; });
      try {
        CompileLine(p, t, part.Steps, grid);
      } catch (const Error& e) {
        throw Error(path + ":" + std::to_string(part.Line) + ": " + e.what());
      }
    }
    std::vector<uint8_t> packed = PackPattern(grid);
    w.U32(9);
    w.U8(0);
    w.U16(kRows);
    w.U16(unsigned(packed.size()));
    w.B.insert(w.B.end(), packed.begin(), packed.end());
  }
  const double tick = 2.5 / sc.Bpm;
  for (const std::string& k : kinds) WriteInstrument(w, MakeInstrument(k), tick);
  seconds = double(sc.Order.size()) * kRows * sc.Speed * tick;
  return w.B;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: xmgen SCORE.txt OUT.xm\n";
    return 2;
  }
  try {
    Score sc = ParseScore(argv[1]);
    double seconds = 0;
    std::vector<uint8_t> bytes = Compile(sc, argv[1], seconds);
    // Written aside first so a failed run never leaves half a module behind.
    std::string out = argv[2], tmp = out + "." + std::to_string(getpid()) + ".tmp";
    {
      std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
      f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
      if (!f.flush()) throw Error("cannot write \"" + tmp + "\"");
    }
    std::error_code ec;
    fs::rename(tmp, out, ec);
    if (ec) {
      fs::remove(tmp, ec);
      throw Error("cannot create \"" + out + "\"");
    }
    std::printf("xmgen: wrote %s: \"%s\", %zu patterns, %zu orders, %d bpm, %.1f s before it loops\n", out.c_str(),
                sc.Title.c_str(), sc.Patterns.size(), sc.Order.size(), sc.Bpm, seconds);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "xmgen: " << e.what() << "\n";
    return 1;
  }
}
