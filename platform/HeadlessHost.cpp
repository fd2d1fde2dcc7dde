// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <cctype>
#include <chrono>
#include <thread>
#include <cstdio>
#include <deque>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/Canvas.h"
#include "platform/Host.h"
#include "platform/Keys.h"

namespace mv {
namespace {

struct TScripted {
  uint32_t Frame;
  THostEvent Event;
};
struct TAnswer {
  uint32_t Frame;
  TMsgResult Result;
  uint32_t DelayMs = 0;  // a player reading the box before answering
};

bool ParseScript(const std::string& file, std::vector<TScripted>& events,
                 std::vector<TAnswer>& answers, std::string& error) {
  std::ifstream in(file);
  if (!in) {
    error = "cannot open input script \"" + file + "\"";
    return false;
  }
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    error = file + ":" + std::to_string(number) + ": " + why;
    return false;
  };
  auto int_of = [](const std::string& s, long lo, long hi, long& v) {
    if (s.empty() || s.size() > 10) return false;
    size_t i = s[0] == '-' ? 1 : 0;
    if (i == s.size()) return false;
    for (size_t k = i; k < s.size(); ++k)
      if (s[k] < '0' || s[k] > '9') return false;
    v = std::stol(s);
    return v >= lo && v <= hi;
  };
  while (std::getline(in, line)) {
    ++number;
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream ls(line);
    std::vector<std::string> w;
    for (std::string t; ls >> t;) w.push_back(t);
    if (w.empty()) continue;
    long frame = 0;
    if (!int_of(w[0], 1, 0x7FFFFFFF, frame)) return fail("bad frame number \"" + w[0] + "\"");
    if (w.size() < 2) return fail("missing action");
    const std::string& act = w[1];
    uint32_t f = uint32_t(frame);
    if (act == "key-down" || act == "key-up") {
      if (w.size() != 3) return fail(act + " needs one key name");
      uint16_t code = KeyCodeFromName(w[2].c_str());
      if (!code) return fail("unknown key \"" + w[2] + "\"");
      THostEvent e;
      e.Type = act == "key-down" ? THostEvent::KeyDown : THostEvent::KeyUp;
      e.Key = code;
      events.push_back({f, e});
    } else if (act == "mouse-move" || act == "click" || act == "right-click") {
      long x = 0, y = 0;
      if (w.size() != 4 || !int_of(w[2], -100000, 100000, x) || !int_of(w[3], -100000, 100000, y))
        return fail(act + " needs X Y");
      THostEvent e;
      e.X = int(x);
      e.Y = int(y);
      e.Type = THostEvent::MouseMove;
      events.push_back({f, e});
      if (act != "mouse-move") {
        e.Button = act == "click" ? 1 : 2;
        e.Type = THostEvent::MouseDown;
        events.push_back({f, e});
        e.Type = THostEvent::MouseUp;
        events.push_back({f, e});
        if (act == "click") {
          e.Type = THostEvent::Click;
          events.push_back({f, e});
        }
      }
    } else if (act == "close" || act == "deactivate" || act == "activate" || act == "minimise" ||
               act == "maximise") {
      if (w.size() != 2) return fail(act + " takes nothing more");
      THostEvent e;
      e.Type = act == "close"        ? THostEvent::CloseQuery
               : act == "deactivate" ? THostEvent::Deactivate
               : act == "activate"   ? THostEvent::Activate
               : act == "minimise"   ? THostEvent::Minimise
                                     : THostEvent::Maximise;
      events.push_back({f, e});
    } else if (act == "answer") {
      long delay = 0;
      if (w.size() != 3 && !(w.size() == 5 && w[3] == "after" && int_of(w[4], 0, 600000, delay)))
        return fail("answer needs YES, NO or OK, and may end in \"after MS\"");
      std::string a = w[2];
      for (char& c : a) c = char(std::toupper(static_cast<unsigned char>(c)));
      TMsgResult r;
      if (a == "YES") r = TMsgResult::Yes;
      else if (a == "NO") r = TMsgResult::No;
      else if (a == "OK") r = TMsgResult::Ok;
      else return fail("answer must be YES, NO or OK, not \"" + w[2] + "\"");
      answers.push_back({f, r, uint32_t(delay)});
    } else {
      return fail("unknown action \"" + act + "\"");
    }
  }
  return true;
}

class THeadlessHost final : public THost {
 public:
  explicit THeadlessHost(const THeadlessOptions& o) : Options_(o) {}
  bool OpenTextLog(std::string& error) {
    if (Options_.TextLog.empty()) return true;
    TextLog_.open(Options_.TextLog, std::ios::trunc);
    if (!TextLog_) {
      error = "cannot write the text log \"" + Options_.TextLog + "\"";
      return false;
    }
    TextLog_ << "# " << kTextLogColumns << "\n";
    Surface_.Canvas().SetRecording(true);
    return true;
  }
  std::vector<TScripted> Events;
  std::vector<TAnswer> Answers;

  TSurface& Surface() override { return Surface_; }
  // What a flip shows is what the player reads: a text is measured on it
  // (some screens flip a notice at once, in the middle of a frame).
  void Flip() override {
    ++Flips_;
    if (TextLog_.is_open()) LogTexts(Done_ + 1);
  }
  void SetFullScreen(bool on) override { Full_ = on; }
  bool FullScreen() const override { return Full_; }

  bool PollEvent(THostEvent& e) override {
    if (Quit_) {
      e = {};
      e.Type = THostEvent::Quit;
      return true;
    }
    // Frame F's events are due once frame F-1 is done, before F is drawn.
    if (Next_ < Events.size() && Events[Next_].Frame <= Done_ + 1) {
      e = Events[Next_++].Event;
      Apply(e);
      if (e.Type == THostEvent::KeyDown || e.Type == THostEvent::KeyUp) e.Shift = ShiftState();
      return true;
    }
    if (!Posted_.empty()) {
      e = Posted_.front();
      Posted_.pop_front();
      return true;
    }
    if (Done_ >= Options_.Frames) {
      e = {};
      e.Type = THostEvent::Quit;
      return true;
    }
    return false;
  }
  void PostKeyUp(uint16_t key) override {
    THostEvent e;
    e.Type = THostEvent::KeyUp;
    e.Key = key;
    e.Shift = ShiftState();
    Posted_.push_back(e);
  }
  void RequestQuit() override { Quit_ = true; }
  TInputStates PollInput() override {
    auto held = [&](std::initializer_list<uint16_t> keys) {
      for (uint16_t k : keys)
        if (Held_.count(k)) return true;
      return false;
    };
    TInputStates s;
    s.Up = held({'W', VK_UP, VK_NUMPAD8});
    s.Down = held({'S', VK_DOWN, VK_NUMPAD2});
    s.Left = held({'A', VK_LEFT, VK_NUMPAD4});
    s.Right = held({'D', VK_RIGHT, VK_NUMPAD6});
    return s;
  }
  bool CapsLock() override { return Caps_; }
  uint8_t ShiftState() override {
    return uint8_t((Held_.count(VK_SHIFT) ? ssShift : 0) | (Held_.count(VK_MENU) ? ssAlt : 0) |
                   (Held_.count(VK_CONTROL) ? ssCtrl : 0));
  }
  void ShowCursor(bool) override {}
  void GetPointer(int& x, int& y) override {
    x = X_;
    y = Y_;
  }
  void WarpPointer(int x, int y) override {
    X_ = x;
    Y_ = y;
  }
  TMsgResult MessageBox(const std::string& text, const std::string& caption,
                        TMsgButtons buttons) override {
    TModalScope modal(*this);
    std::fprintf(stderr, "[message box] %s: %s\n", caption.c_str(), text.c_str());
    std::fflush(stderr);
    for (auto it = Answers.begin(); it != Answers.end(); ++it) {
      if (it->Frame <= Done_ + 1) {
        TMsgResult r = it->Result;
        const uint32_t delay = it->DelayMs;
        Answers.erase(it);
        // The game's thread waits here as it does on a real box.
        if (delay) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        return r;
      }
    }
    return buttons == TMsgButtons::Ok ? TMsgResult::Ok : TMsgResult::No;
  }
  void ShellOpen(const std::string& target) override {
    std::fprintf(stderr, "[shell open] %s\n", target.c_str());
  }
  uint64_t Ticks() override { return uint64_t(Done_) * 16; }
  bool Active() override { return true; }
  void WaitFrame(uint64_t) override {}
  void FrameDone(uint32_t n) override {
    Done_ = n;
    for (const auto& [frame, path] : Options_.Shots)
      if (frame == n) SavePng(Surface_.Read(), path);
  }
  bool Headless() const override { return true; }
  uint32_t Flips() const { return Flips_; }

 private:
  void LogTexts(uint32_t frame) {
    const TImage& shown = Surface_.Read();
    char colour[16];
    for (const TTextRecord& t : Surface_.Canvas().TakeRecords()) {
      const TReadability r = MeasureText(t, shown);
      TextLog_ << frame << '\t' << t.X << '\t' << t.Y << '\t' << t.Font << '\t' << t.Size << '\t' << int(t.Bold);
      std::snprintf(colour, sizeof colour, "#%06X", unsigned(t.Color));
      TextLog_ << '\t' << colour;
      std::snprintf(colour, sizeof colour, "#%06X", unsigned(t.OutlineColor));
      TextLog_ << '\t' << (t.Outlined ? colour : "-") << '\t' << r.Pixels << '\t' << r.AtLeast3 << '\t'
               << r.AtLeast45 << '\t' << r.Hidden << '\t' << r.WorstLetter << '\t'
               << int(std::lround(100 * r.WorstLetterShare)) << '\t';
      // A tab or line break in a text would break the line's columns.
      for (char c : t.Text) TextLog_ << (c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
      TextLog_ << '\n';
    }
    if (!TextLog_) {
      std::fprintf(stderr, "headless: writing the text log \"%s\" failed\n", Options_.TextLog.c_str());
      TextLog_.close();
    }
  }
  void Apply(const THostEvent& e) {
    if (e.Type == THostEvent::KeyDown) Held_.insert(e.Key);
    if (e.Type == THostEvent::KeyDown && e.Key == VK_CAPITAL) Caps_ = !Caps_;
    if (e.Type == THostEvent::KeyUp) Held_.erase(e.Key);
    if (e.Type == THostEvent::MouseMove) {
      X_ = e.X;
      Y_ = e.Y;
    }
  }

  THeadlessOptions Options_;
  TSurface Surface_;
  std::ofstream TextLog_;
  std::deque<THostEvent> Posted_;
  std::set<uint16_t> Held_;
  size_t Next_ = 0;
  uint32_t Done_ = 0, Flips_ = 0;
  bool Quit_ = false, Full_ = false, Caps_ = false;
  int X_ = 400, Y_ = 300;
};

}  // namespace

std::unique_ptr<THost> CreateHeadlessHost(const THeadlessOptions& options, std::string& error) {
  auto host = std::make_unique<THeadlessHost>(options);
  if (!host->OpenTextLog(error)) return nullptr;
  if (!options.ScriptFile.empty() &&
      !ParseScript(options.ScriptFile, host->Events, host->Answers, error))
    return nullptr;
  // Keep the script's order within a frame but deliver frames in order.
  std::stable_sort(host->Events.begin(), host->Events.end(),
                   [](const TScripted& a, const TScripted& b) { return a.Frame < b.Frame; });
  return host;
}

}  // namespace mv
