// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Scaler.h"
#include "platform/Surface.h"

namespace mv {

// What the window system delivers to the game between frames.
struct THostEvent {
  enum Kind {
    None,
    KeyDown,       // Key, Shift
    KeyUp,         // Key, Shift
    MouseMove,     // X, Y in surface pixels
    MouseDown,     // Button (1 left, 2 right, 3 middle), X, Y
    MouseUp,       // Button, X, Y
    Click,         // left button pressed and released
    CloseQuery,    // close button, Alt+F4
    Deactivate,    // the window lost the focus
    Activate,      // it got the focus back
    Minimise,      // system command: minimise
    Maximise,      // system command: maximise
    Quit,          // the run must end (headless: the frame budget is spent)
  };
  Kind Type = None;
  uint16_t Key = 0;
  uint8_t Shift = 0;
  int Button = 0;
  int X = 0, Y = 0;
};

// Four direction states, polled once per frame from keyboard and joystick.
struct TInputStates {
  bool Up = false, Down = false, Left = false, Right = false;
};

enum class TMsgButtons { Ok, YesNo };
enum class TMsgResult { Ok, Yes, No };

// The window, display, input and system services the game stands on. One
// implementation drives SDL2; the headless one answers from a script.
class THost {
 public:
  virtual ~THost() = default;

  virtual TSurface& Surface() = 0;
  // Shows the back surface now (one texture upload).
  virtual void Flip() = 0;
  // Window or desktop full screen with the 800 x 600 picture scaled.
  virtual void SetFullScreen(bool on) = 0;
  virtual bool FullScreen() const = 0;

  // Next pending event; false when there is none.
  virtual bool PollEvent(THostEvent& e) = 0;
  // Queues a synthetic key release, delivered after the current handler.
  virtual void PostKeyUp(uint16_t key) = 0;
  virtual void RequestQuit() = 0;
  virtual TInputStates PollInput() = 0;
  virtual bool CapsLock() = 0;
  // Keys held right now (for the Shift state of synthetic events).
  virtual uint8_t ShiftState() = 0;

  // Pointer in surface coordinates; warping keeps the pointer inside the window.
  virtual void ShowCursor(bool show) = 0;
  virtual void GetPointer(int& x, int& y) = 0;
  virtual void WarpPointer(int x, int y) = 0;

  virtual TMsgResult MessageBox(const std::string& text, const std::string& caption,
                                TMsgButtons buttons) = 0;
  // Opens a file or URL with the desktop's handler ("open" verb).
  virtual void ShellOpen(const std::string& target) = 0;

  // Milliseconds since start; headless runs count 16 ms per frame.
  virtual uint64_t Ticks() = 0;
  // True while the window is active (the frame timer runs only then).
  virtual bool Active() = 0;
  // Waits until the next frame is due (headless: returns at once).
  virtual void WaitFrame(uint64_t due_ms) = 0;
  // Headless hooks, no-ops in a window: the loop reports each frame drawn.
  virtual void FrameDone(uint32_t frame_number) { (void)frame_number; }
  virtual bool Headless() const { return false; }

  // Called with true just before a message box holds up the calling
  // thread, and with false once it has returned.
  void SetModalHook(std::function<void(bool open)> hook) { ModalHook_ = std::move(hook); }

 protected:
  // Brackets a message box in the hosts.
  class TModalScope {
   public:
    explicit TModalScope(THost& host) : Host_(host) {
      if (Host_.ModalHook_) Host_.ModalHook_(true);
    }
    ~TModalScope() {
      if (Host_.ModalHook_) Host_.ModalHook_(false);
    }
    TModalScope(const TModalScope&) = delete;
    TModalScope& operator=(const TModalScope&) = delete;

   private:
    THost& Host_;
  };

 private:
  std::function<void(bool open)> ModalHook_;
};

// A scripted, display-less host. Script lines: "FRAME key-down NAME",
// "FRAME key-up NAME", "FRAME mouse-move X Y", "FRAME click X Y",
// "FRAME right-click X Y", "FRAME answer YES|NO|OK", and the window's own
// events "FRAME close|deactivate|activate|minimise|maximise"; '#' starts a
// comment.
struct THeadlessOptions {
  uint32_t Frames = 600;                        // frames to run before quitting
  std::string ScriptFile;                       // empty: no input
  std::vector<std::pair<uint32_t, std::string>> Shots;  // frame -> PNG path
  // Empty: none. Else every text of every frame, a line each (see
  // kTextLogColumns), measured on the picture as it is flipped: how well it
  // reads against what lies beneath.
  std::string TextLog;
};
// The columns of a text log line, tab-separated; the text comes last.
constexpr const char* kTextLogColumns =
    "frame\tx\ty\tfont\tsize\tbold\tcolour\toutline\tpixels\tat3\tat4.5\thidden\tworst_letter\t"
    "worst_letter_at3\ttext";
std::unique_ptr<THost> CreateHeadlessHost(const THeadlessOptions& options, std::string& error);

// The SDL2 window titled `caption`, 800 x 600 client area, with the PNG
// `icon_png` (if any) as its icon; larger windows and full screen show the
// picture enlarged by `scaling`. Fails with "no display: ..." when there
// is no display to show it on (unless SDL_VIDEODRIVER names a driver).
std::unique_ptr<THost> CreateWindowHost(const std::string& caption, std::string& error,
                                        const std::string& icon_png = {}, TScaling scaling = TScaling::Sharp);

// A message for the player before there is a window (a second copy of the
// game that must not start): a message box where a display is, and always
// on stderr.
void ShowMessageWithoutWindow(const std::string& caption, const std::string& text);

}  // namespace mv
