// SPDX-License-Identifier: GPL-3.0-or-later
// readability: plays seeded headless games through the screens and tells,
// for every text each screen draws, how much of it reads: the share of its
// letter pixels with at least 3:1 contrast against what lay beneath them,
// measured by the game's own text drawing on the frames it really draws
// (marovane --text-log).
//
//   readability [--game PATH] [--scenarios DIR] [--work DIR] [--only NAME]...
//               [--require SCREEN/TEXT]... [--strict]
//
// A text passes when every frame that draws it has 95 % of its letter pixels
// at 3:1 or more. --require names texts (SCREEN, a slash, the start of the
// text as the table shows it) that must pass; --strict asks that all pass.
// The exit status is 1 when one of those fails, 2 on a bad scenario or run.
//
// Scenarios (DIR/*.scn, run in name order) are headless scripts with a few
// lines of their own:
//
//   peer NAME OPTION...     a marovane process with these options besides
//                           --headless, --config, --script and --text-log;
//                           the lines below are its script, up to the next peer
//   FRAME press KEY[+KEY]   key down at FRAME and up at FRAME+1 (SHIFT+G: the
//                           modifier goes down first and up last)
//   screen FRAME NAME       frames from FRAME on show the screen NAME
//   when TEXT = NAME        a frame drawing a text that starts with TEXT shows
//                           NAME, whatever `screen` says; TEXT @X,Y stands
//                           for any text drawn at (X, Y)
//   expect NAME             the run must show NAME drawing some text, else the
//                           scenario has gone out of step with the game
//
// Any other line is a line of the headless script (marovane --help).
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr double kPass = 0.95;
constexpr int kRunSeconds = 900;  // a peer still running after this is stopped

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Label {
  long From = 0;
  std::string When;  // empty: by frame
  std::string Screen;
  bool At = false;   // When is a place: a text drawn at (X, Y)
  int X = 0, Y = 0;
};

struct Peer {
  std::string Name;
  std::vector<std::string> Options;
  std::string Script;
  std::vector<Label> Labels;
  std::vector<std::string> Expect;
};

struct Scenario {
  std::string Name;
  std::vector<Peer> Peers;
};

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  for (std::string s; in >> s;) w.push_back(s);
  return w;
}

bool IsNumber(const std::string& s) {
  return !s.empty() && s.size() < 10 && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

Scenario ReadScenario(const fs::path& path) {
  std::ifstream in(path);
  if (!in) throw Error("cannot read " + path.string());
  Scenario sc;
  sc.Name = path.stem().string();
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) { return Error(path.string() + ":" + std::to_string(number) + ": " + why); };
  while (std::getline(in, line)) {
    ++number;
    const std::string body = line.substr(0, line.find('#'));
    const auto w = Words(body);
    if (w.empty()) continue;
    if (w[0] == "peer") {
      if (w.size() < 2) throw fail("peer needs a name");
      Peer p;
      p.Name = w[1];
      p.Options.assign(w.begin() + 2, w.end());
      sc.Peers.push_back(p);
      continue;
    }
    if (sc.Peers.empty()) throw fail("a peer line comes first");
    Peer& p = sc.Peers.back();
    if (w[0] == "screen") {
      if (w.size() != 3 || !IsNumber(w[1])) throw fail("screen FRAME NAME");
      p.Labels.push_back({std::stol(w[1]), "", w[2]});
    } else if (w[0] == "when") {
      const size_t eq = body.rfind(" = ");
      const size_t start = body.find("when") + 5;
      if (eq == std::string::npos || eq <= start) throw fail("when TEXT = NAME");
      const auto name = Words(body.substr(eq + 3));
      if (name.size() != 1) throw fail("when TEXT = NAME");
      Label lb{0, body.substr(start, eq - start), name[0]};
      if (int x = 0, y = 0; lb.When.size() > 1 && lb.When[0] == '@' && std::sscanf(lb.When.c_str(), "@%d,%d", &x, &y) == 2)
        lb.At = true, lb.X = x, lb.Y = y;
      p.Labels.push_back(lb);
    } else if (w[0] == "expect") {
      if (w.size() != 2) throw fail("expect NAME");
      p.Expect.push_back(w[1]);
    } else if (w.size() == 3 && IsNumber(w[0]) && w[1] == "press") {
      const long f = std::stol(w[0]);
      std::vector<std::string> keys;
      std::stringstream ks(w[2]);
      for (std::string k; std::getline(ks, k, '+');) keys.push_back(k);
      for (const auto& k : keys) p.Script += std::to_string(f) + " key-down " + k + "\n";
      for (auto k = keys.rbegin(); k != keys.rend(); ++k) p.Script += std::to_string(f + 1) + " key-up " + *k + "\n";
    } else {
      p.Script += body + "\n";
    }
  }
  if (sc.Peers.empty()) throw Error(path.string() + ": no peer");
  return sc;
}

// ---- running the game

pid_t Spawn(const std::vector<std::string>& args, const fs::path& output) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) throw Error("cannot start " + args[0]);
  return pid;
}

void RunPeers(const std::string& game, const Scenario& sc, const fs::path& dir) {
  fs::create_directories(dir);
  std::vector<std::pair<pid_t, std::string>> running;
  for (const Peer& p : sc.Peers) {
    const fs::path script = dir / (p.Name + ".script"), config = dir / (p.Name + ".cfg");
    std::ofstream(script) << p.Script;
    fs::remove(config);
    std::vector<std::string> args = {game, "--headless", "--config", config.string(), "--script", script.string(),
                                     "--text-log", (dir / (p.Name + ".texts")).string()};
    args.insert(args.end(), p.Options.begin(), p.Options.end());
    running.push_back({Spawn(args, dir / (p.Name + ".out")), p.Name});
    // A host must be up before the others look for it.
    if (sc.Peers.size() > 1) std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunSeconds);
  std::string failed;
  for (auto& [pid, name] : running) {
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
        failed += " " + name + " (still running after " + std::to_string(kRunSeconds) + " s)";
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (failed.empty() && !(WIFEXITED(status) && WEXITSTATUS(status) == 0)) failed += " " + name;
  }
  if (!failed.empty())
    throw Error(sc.Name + ": the game failed for" + failed + " (see " + dir.string() + "/*.out)");
}

// ---- reading the logs

struct Line {
  long Frame = 0;
  int X = 0, Y = 0;
  std::string Font, Colour, Outline, Text;
  int Size = 0, Bold = 0;
  int Pixels = 0, At3 = 0, Hidden = 0, WorstLetter = -1, WorstLetterAt3 = 100;
};

std::vector<Line> ReadLog(const fs::path& path) {
  std::ifstream in(path);
  if (!in) throw Error("no text log " + path.string());
  std::vector<Line> lines;
  std::string s;
  while (std::getline(in, s)) {
    if (s.empty() || s[0] == '#') continue;
    std::vector<std::string> c;
    size_t at = 0;
    for (int i = 0; i < 14; ++i) {
      const size_t tab = s.find('\t', at);
      if (tab == std::string::npos) throw Error(path.string() + ": a line with too few columns");
      c.push_back(s.substr(at, tab - at));
      at = tab + 1;
    }
    Line l;
    l.Frame = std::stol(c[0]);
    l.X = std::stoi(c[1]);
    l.Y = std::stoi(c[2]);
    l.Font = c[3];
    l.Size = std::stoi(c[4]);
    l.Bold = std::stoi(c[5]);
    l.Colour = c[6];
    l.Outline = c[7];
    l.Pixels = std::stoi(c[8]);
    l.At3 = std::stoi(c[9]);
    l.Hidden = std::stoi(c[11]);
    l.WorstLetter = std::stoi(c[12]);
    l.WorstLetterAt3 = std::stoi(c[13]);
    l.Text = s.substr(at);
    lines.push_back(l);
  }
  return lines;
}

// The character (code point) `index` of a UTF-8 text.
std::string LetterOf(const std::string& text, int index) {
  int n = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((uint8_t(text[i]) & 0xC0) == 0x80) continue;
    if (++n == index) {
      size_t j = i + 1;
      while (j < text.size() && (uint8_t(text[j]) & 0xC0) == 0x80) ++j;
      return text.substr(i, j - i);
    }
  }
  return "?";
}

std::string Trim(const std::string& s) {
  const size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? "" : s.substr(a, b - a + 1);
}

// One text as the table shows it: the same words in the same style on one
// screen, whatever numbers it holds and wherever it stands (a player's
// stars, one for each round won, count as one).
std::string Normalised(const std::string& text) {
  std::string k = Trim(text);
  if (!k.empty() && k.back() == '|') k.pop_back();  // a blinking cursor
  std::string out;
  for (char c : k) {
    const bool digit = c >= '0' && c <= '9';
    const char as = digit ? '#' : c;
    if ((digit || c == '*') && !out.empty() && out.back() == as) continue;  // a number, of any length
    out += as;
  }
  return Trim(out);
}

struct Row {
  std::string Screen, Key, Style, Shown;
  long Frames = 0;
  long Pixels = 0, At3 = 0;
  double WorstFrame = 1;
  std::string WorstFrameText, WorstFramePeer;
  long WorstFrameAt = 0;
  std::string WorstLetter;
  int WorstLetterAt3 = 100;
  bool Passes() const { return WorstFrame >= kPass; }
};

struct Table {
  std::map<std::pair<std::string, std::string>, Row> Rows;
  std::vector<std::string> ScreenOrder;

  void Add(const std::string& scenario, const Peer& peer, const std::vector<Line>& lines) {
    std::map<long, std::vector<const Line*>> frames;
    for (const Line& l : lines) frames[l.Frame].push_back(&l);
    std::set<std::string> seen;
    for (const auto& [frame, texts] : frames) {
      std::string screen;
      for (const Label& lb : peer.Labels)
        if (!lb.When.empty() && screen.empty())
          for (const Line* l : texts)
            if (lb.At ? l->X == lb.X && l->Y == lb.Y
                      : l->Text.rfind(lb.When, 0) == 0 || Trim(l->Text).rfind(Trim(lb.When), 0) == 0)
              screen = lb.Screen;
      if (screen.empty())
        for (const Label& lb : peer.Labels)
          if (lb.When.empty() && lb.From <= frame) screen = lb.Screen;
      if (screen.empty()) screen = scenario;
      seen.insert(screen);
      if (std::find(ScreenOrder.begin(), ScreenOrder.end(), screen) == ScreenOrder.end()) ScreenOrder.push_back(screen);
      for (const Line* l : texts) {
        if (l->Pixels == 0) continue;  // blanks: nothing to read
        const std::string key = Normalised(l->Text);
        const std::string style = l->Font.substr(0, l->Font.find(' ')) + " " + std::to_string(l->Size) +
                                  (l->Bold ? "b " : " ") + l->Colour + (l->Outline == "-" ? "" : " ring " + l->Outline);
        Row& r = Rows[{screen, key + "\x1f" + style}];
        if (r.Frames == 0) {
          r.Screen = screen;
          r.Key = key;
          r.Style = style;
          r.Shown = Trim(l->Text);
        }
        ++r.Frames;
        r.Pixels += l->Pixels;
        r.At3 += l->At3;
        const double share = double(l->At3) / l->Pixels;
        if (share < r.WorstFrame || r.Frames == 1) {
          r.WorstFrame = std::min(r.WorstFrame, share);
          r.WorstFrameText = Trim(l->Text);
          r.WorstFrameAt = frame;
          r.WorstFramePeer = scenario + "/" + peer.Name;
        }
        if (l->WorstLetter >= 0 && (r.WorstLetter.empty() || l->WorstLetterAt3 < r.WorstLetterAt3)) {
          r.WorstLetterAt3 = l->WorstLetterAt3;
          r.WorstLetter = LetterOf(l->Text, l->WorstLetter);
        }
      }
    }
    for (const auto& e : peer.Expect)
      if (!seen.count(e))
        throw Error(scenario + "/" + peer.Name + ": never showed " + e +
                    " with a text: the scenario is out of step with the game");
  }

  void Print() const {
    std::printf("Readability: share of letter pixels at 3:1 or more against what lies beneath them\n"
                "(all frames pooled; the worst frame; the worst letter in any frame). A text passes\n"
                "when its worst frame reaches %.0f %%; a failing one names its worst frame\n"
                "(scenario/peer:frame, for --shot).\n",
                100 * kPass);
    for (const std::string& screen : ScreenOrder) {
      std::vector<const Row*> rows;
      for (const auto& [key, r] : Rows)
        if (r.Screen == screen) rows.push_back(&r);
      if (rows.empty()) continue;
      std::printf("\n%s\n", screen.c_str());
      std::printf("  %-34s %-34s %6s %6s %6s %-10s %s\n", "text", "style", "frames", "all", "worst", "letter", "");
      for (const Row* r : rows) {
        std::string shown = r->Shown.size() > 34 ? r->Shown.substr(0, 31) + "..." : r->Shown;
        char letter[32];
        std::snprintf(letter, sizeof letter, "%s %d%%", r->WorstLetter.empty() ? "-" : r->WorstLetter.c_str(),
                      r->WorstLetterAt3);
        std::string verdict = "ok";
        if (!r->Passes()) verdict = "FAILS " + r->WorstFramePeer + ":" + std::to_string(r->WorstFrameAt);
        std::printf("  %-34s %-34s %6ld %5.0f%% %5.0f%% %-10s %s\n", shown.c_str(), r->Style.c_str(), r->Frames,
                    100.0 * double(r->At3) / double(std::max(1L, r->Pixels)), 100 * r->WorstFrame, letter,
                    verdict.c_str());
      }
    }
  }
};

int Usage(const std::string& why) {
  std::fprintf(stderr,
               "readability: %s\n"
               "usage: readability [--game PATH] [--scenarios DIR] [--work DIR] [--only NAME]...\n"
               "                   [--require SCREEN/TEXT]... [--strict]\n",
               why.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path self = fs::canonical("/proc/self/exe").parent_path();
  std::string game = (self.parent_path() / "marovane").string();
  fs::path scenarios = fs::path(MV_SOURCE_DIR) / "tools" / "readability";
  fs::path work = fs::temp_directory_path() / "marovane-readability";
  std::vector<std::string> only, require;
  bool strict = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw Error(a + " needs a value");
      return argv[++i];
    };
    try {
      if (a == "--game") game = value();
      else if (a == "--scenarios") scenarios = value();
      else if (a == "--work") work = value();
      else if (a == "--only") only.push_back(value());
      else if (a == "--require") require.push_back(value());
      else if (a == "--strict") strict = true;
      else return Usage("unknown option \"" + a + "\"");
    } catch (const Error& e) {
      return Usage(e.what());
    }
  }
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  try {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(scenarios))
      if (e.path().extension() == ".scn") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    Table table;
    int ran = 0;
    for (const fs::path& f : files) {
      Scenario sc = ReadScenario(f);
      if (!only.empty() && std::find(only.begin(), only.end(), sc.Name) == only.end()) continue;
      std::fprintf(stderr, "readability: playing %s\n", sc.Name.c_str());
      RunPeers(game, sc, work / sc.Name);
      for (const Peer& p : sc.Peers) table.Add(sc.Name, p, ReadLog(work / sc.Name / (p.Name + ".texts")));
      ++ran;
    }
    if (ran == 0) throw Error("no scenario to play in " + scenarios.string());
    table.Print();
    bool ok = true;
    for (const std::string& want : require) {
      const size_t slash = want.find('/');
      if (slash == std::string::npos) return Usage("--require SCREEN/TEXT, not \"" + want + "\"");
      const std::string screen = want.substr(0, slash), text = want.substr(slash + 1);
      bool found = false;
      for (const auto& [key, r] : table.Rows)
        if (r.Screen == screen && r.Shown.rfind(text, 0) == 0) {
          found = true;
          if (!r.Passes()) {
            std::printf("required: %s/%s reads on only %.0f %% of its letter pixels (frame %ld: \"%s\")\n",
                        screen.c_str(), r.Shown.c_str(), 100 * r.WorstFrame, r.WorstFrameAt, r.WorstFrameText.c_str());
            ok = false;
          }
        }
      if (!found) {
        std::printf("required: no text \"%s\" drawn on %s\n", text.c_str(), screen.c_str());
        ok = false;
      }
    }
    if (strict)
      for (const auto& [key, r] : table.Rows)
        if (!r.Passes()) ok = false;
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "readability: %s\n", e.what());
    return 2;
  }
}
