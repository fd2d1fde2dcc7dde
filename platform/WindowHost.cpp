// SPDX-License-Identifier: GPL-3.0-or-later
#include <SDL.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "platform/Host.h"
#include "platform/Keys.h"
#include "platform/Opener.h"
#include "platform/Scaler.h"

namespace mv {
namespace {

uint16_t VirtualKey(SDL_Keycode k) {
  if (k >= SDLK_a && k <= SDLK_z) return uint16_t('A' + (k - SDLK_a));
  if (k >= SDLK_0 && k <= SDLK_9) return uint16_t('0' + (k - SDLK_0));
  if (k >= SDLK_F1 && k <= SDLK_F12) return uint16_t(VK_F1 + (k - SDLK_F1));
  switch (k) {
    case SDLK_KP_0: return VK_NUMPAD0;
    case SDLK_KP_1: return VK_NUMPAD0 + 1;
    case SDLK_KP_2: return VK_NUMPAD2;
    case SDLK_KP_3: return VK_NUMPAD0 + 3;
    case SDLK_KP_4: return VK_NUMPAD4;
    case SDLK_KP_5: return VK_NUMPAD0 + 5;
    case SDLK_KP_6: return VK_NUMPAD6;
    case SDLK_KP_7: return VK_NUMPAD0 + 7;
    case SDLK_KP_8: return VK_NUMPAD8;
    case SDLK_KP_9: return VK_NUMPAD0 + 9;
    case SDLK_KP_PERIOD: return VK_DECIMAL;
    case SDLK_KP_MULTIPLY: return VK_MULTIPLY;
    case SDLK_KP_PLUS: return VK_ADD;
    case SDLK_KP_MINUS: return VK_SUBTRACT;
    case SDLK_KP_DIVIDE: return VK_DIVIDE;
    case SDLK_PERIOD: return VK_OEM_PERIOD;
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_TAB: return VK_TAB;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LALT: case SDLK_RALT: return VK_MENU;
    case SDLK_CAPSLOCK: return VK_CAPITAL;
    case SDLK_PAUSE: return VK_PAUSE;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_INSERT: return VK_INSERT;
    case SDLK_DELETE: return VK_DELETE;
    default: return 0;
  }
}

uint8_t ShiftBits(SDL_Keymod m) {
  return uint8_t(((m & KMOD_SHIFT) ? ssShift : 0) | ((m & KMOD_ALT) ? ssAlt : 0) |
                 ((m & KMOD_CTRL) ? ssCtrl : 0));
}

// The smallest window the player can drag it to: half the picture, still
// readable.
constexpr int kMinWidth = 400, kMinHeight = 300;

class TWindowHost final : public THost {
 public:
  explicit TWindowHost(TScaling scaling) : Scaling_(scaling) {}
  ~TWindowHost() override {
    if (Pad_) SDL_GameControllerClose(Pad_);
    if (Stick_) SDL_JoystickClose(Stick_);
    if (Staging_) SDL_FreeSurface(Staging_);
    if (Window_) SDL_DestroyWindow(Window_);
    SDL_Quit();
  }

  bool Open(const std::string& caption, const std::string& icon_png, std::string& error) {
    // The program decides what a signal does; SDL would turn it into a
    // close request that only asks "EXIT GAME?".
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // Without a display SDL would fall back to drawing nowhere, and the game
    // would run unseen for ever. Only an explicit choice of driver gets one.
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    const bool explicit_driver = chosen && *chosen;
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER) != 0) {
      error = explicit_driver ? std::string("cannot start the display: ") + SDL_GetError()
                              : "no display: set DISPLAY or use --headless";
      return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!explicit_driver && driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"))) {
      error = "no display: set DISPLAY or use --headless";
      return false;
    }
    // The game draws every pixel itself and enlarges the picture itself
    // (see Present), so the window's own pixels are all it needs: SDL's
    // shared-memory image on X11, not a texture through OpenGL, which in
    // software rendering cost a full-screen frame 15 to 19 ms of CPU.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Resizable, so that window managers offer the maximise button (which
    // switches to full screen); a window dragged to another size shows the
    // picture scaled.
    Window_ = SDL_CreateWindow(caption.c_str(), SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                               Surface_.Width(), Surface_.Height(), SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    if (!Window_) {
      error = std::string("cannot create the window: ") + SDL_GetError();
      return false;
    }
    if (!icon_png.empty()) SetIcon(icon_png);
    SDL_SetWindowMinimumSize(Window_, kMinWidth, kMinHeight);
    if (!SDL_GetWindowSurface(Window_)) {
      error = std::string("cannot draw into the window: ") + SDL_GetError();
      return false;
    }
    Present(true);
    // Joysticks come and go; start the subsystem now, open devices on demand.
    SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
    return true;
  }

  TSurface& Surface() override { return Surface_; }
  void Flip() override { Present(false); }
  void SetFullScreen(bool on) override {
    if (SDL_SetWindowFullscreen(Window_, on ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0) == 0) Full_ = on;
    else std::fprintf(stderr, "Full screen switch failed: %s\n", SDL_GetError());
    if (!on) {
      SDL_SetWindowSize(Window_, Surface_.Width(), Surface_.Height());
      SDL_SetWindowPosition(Window_, SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED);
    }
  }
  bool FullScreen() const override { return Full_; }

  bool PollEvent(THostEvent& e) override {
    if (Quit_) {
      e = {};
      e.Type = THostEvent::Quit;
      return true;
    }
    // An opener that failed is told before anything else happens.
    for (const std::string& failure : Opener_.Failures()) MessageBox(failure, "Marovane", TMsgButtons::Ok);
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
      e = {};
      if (Translate(ev, e)) return true;
    }
    if (!Posted_.empty()) {
      e = Posted_.front();
      Posted_.pop_front();
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
    const Uint8* k = SDL_GetKeyboardState(nullptr);
    TInputStates s;
    s.Up = k[SDL_SCANCODE_W] || k[SDL_SCANCODE_UP] || k[SDL_SCANCODE_KP_8];
    s.Down = k[SDL_SCANCODE_S] || k[SDL_SCANCODE_DOWN] || k[SDL_SCANCODE_KP_2];
    s.Left = k[SDL_SCANCODE_A] || k[SDL_SCANCODE_LEFT] || k[SDL_SCANCODE_KP_4];
    s.Right = k[SDL_SCANCODE_D] || k[SDL_SCANCODE_RIGHT] || k[SDL_SCANCODE_KP_6];
    PollStick(s);
    return s;
  }
  bool CapsLock() override { return (SDL_GetModState() & KMOD_CAPS) != 0; }
  uint8_t ShiftState() override { return ShiftBits(SDL_GetModState()); }

  void ShowCursor(bool show) override { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }
  void GetPointer(int& x, int& y) override {
    int wx = 0, wy = 0;
    SDL_GetMouseState(&wx, &wy);
    x = SurfaceX(wx);
    y = SurfaceY(wy);
  }
  void WarpPointer(int x, int y) override {
    x = std::clamp(x, 0, Surface_.Width() - 1);
    y = std::clamp(y, 0, Surface_.Height() - 1);
    const int wx = Fit_.W > 0 ? Fit_.X + int((int64_t(x) * 2 + 1) * Fit_.W / (2 * int64_t(Surface_.Width()))) : x;
    const int wy = Fit_.H > 0 ? Fit_.Y + int((int64_t(y) * 2 + 1) * Fit_.H / (2 * int64_t(Surface_.Height()))) : y;
    SDL_WarpMouseInWindow(Window_, wx, wy);
  }

  TMsgResult MessageBox(const std::string& text, const std::string& caption,
                        TMsgButtons buttons) override {
    TModalScope modal(*this);
    std::fprintf(stderr, "[message box] %s: %s\n", caption.c_str(), text.c_str());
    SDL_MessageBoxButtonData ok{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 0, "OK"};
    SDL_MessageBoxButtonData yn[2] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "Yes"},
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 2, "No"}};
    SDL_MessageBoxData data{};
    data.flags = SDL_MESSAGEBOX_INFORMATION;
    data.window = Window_;
    data.title = caption.c_str();
    data.message = text.c_str();
    data.numbuttons = buttons == TMsgButtons::Ok ? 1 : 2;
    data.buttons = buttons == TMsgButtons::Ok ? &ok : yn;
    int id = -1;
    if (SDL_ShowMessageBox(&data, &id) != 0) id = -1;
    if (buttons == TMsgButtons::Ok) return TMsgResult::Ok;
    return id == 1 ? TMsgResult::Yes : TMsgResult::No;
  }

  void ShellOpen(const std::string& target) override {
    std::string message;
    if (!Opener_.Start(target, message)) MessageBox(message, "Marovane", TMsgButtons::Ok);
  }

  uint64_t Ticks() override { return SDL_GetTicks64(); }
  bool Active() override {
    Uint32 f = SDL_GetWindowFlags(Window_);
    return (f & SDL_WINDOW_INPUT_FOCUS) && !(f & SDL_WINDOW_MINIMIZED);
  }
  void WaitFrame(uint64_t due_ms) override {
    uint64_t now = SDL_GetTicks64();
    if (due_ms > now) SDL_Delay(Uint32(std::min<uint64_t>(due_ms - now, 1000)));
  }

 private:
  int Clamp(int v, bool is_x) const {
    return std::clamp(v, 0, (is_x ? Surface_.Width() : Surface_.Height()) - 1);
  }
  // Window pixels to the picture's own, through where the picture is shown.
  int SurfaceX(int wx) const {
    if (Fit_.W <= 0) return Clamp(wx, true);
    const int64_t d = int64_t(wx - Fit_.X) * Surface_.Width();
    return Clamp(int(d < 0 ? -1 : d / Fit_.W), true);
  }
  int SurfaceY(int wy) const {
    if (Fit_.H <= 0) return Clamp(wy, false);
    const int64_t d = int64_t(wy - Fit_.Y) * Surface_.Height();
    return Clamp(int(d < 0 ? -1 : d / Fit_.H), false);
  }

  // Shows the last finished frame, enlarged to fit the window with its own
  // proportions (black beside it). `whole`: the borders too, as after the
  // window system lost what the window showed.
  void Present(bool whole) {
    SDL_Surface* ws = SDL_GetWindowSurface(Window_);
    if (!ws) {
      if (!SurfaceFailed_) std::fprintf(stderr, "marovane: can't draw into the window: %s\n", SDL_GetError());
      SurfaceFailed_ = true;
      return;
    }
    if (ws != Shown_ || ws->w != ShownW_ || ws->h != ShownH_) {
      Shown_ = ws;
      ShownW_ = ws->w;
      ShownH_ = ws->h;
      Fit_ = FitInside(Surface_.Width(), Surface_.Height(), ws->w, ws->h);
      Scaler_.Configure(Surface_.Width(), Surface_.Height(), Fit_.W, Fit_.H, Scaling_);
      const SDL_PixelFormat* f = ws->format;
      Direct_ = f->BytesPerPixel == 4 && f->Rmask == 0xFF0000u && f->Gmask == 0xFF00u && f->Bmask == 0xFFu;
      if (Staging_) SDL_FreeSurface(Staging_);
      Staging_ = Direct_ ? nullptr : SDL_CreateRGBSurfaceWithFormat(0, Fit_.W, Fit_.H, 32, SDL_PIXELFORMAT_RGB888);
      whole = true;
    }
    if (whole) SDL_FillRect(ws, nullptr, SDL_MapRGB(ws->format, 0, 0, 0));
    const TImage& px = Surface_.Read();
    SDL_Rect rect{Fit_.X, Fit_.Y, Fit_.W, Fit_.H};
    if (Direct_) {
      if (SDL_MUSTLOCK(ws)) SDL_LockSurface(ws);
      const int pitch = ws->pitch / 4;
      Scaler_.Scale(px.Pixels.data(), px.Width, static_cast<uint32_t*>(ws->pixels) + size_t(Fit_.Y) * size_t(pitch) + size_t(Fit_.X),
                    pitch);
      if (SDL_MUSTLOCK(ws)) SDL_UnlockSurface(ws);
    } else if (Staging_) {
      Scaler_.Scale(px.Pixels.data(), px.Width, static_cast<uint32_t*>(Staging_->pixels), Staging_->pitch / 4);
      SDL_BlitSurface(Staging_, nullptr, ws, &rect);
    }
    if (whole) SDL_UpdateWindowSurface(Window_);
    else SDL_UpdateWindowSurfaceRects(Window_, &rect, 1);
  }

  bool Translate(const SDL_Event& ev, THostEvent& e) {
    switch (ev.type) {
      case SDL_QUIT:
        e.Type = THostEvent::CloseQuery;
        return true;
      case SDL_KEYDOWN:
      case SDL_KEYUP:
        e.Key = VirtualKey(ev.key.keysym.sym);
        if (!e.Key) return false;
        e.Type = ev.type == SDL_KEYDOWN ? THostEvent::KeyDown : THostEvent::KeyUp;
        e.Shift = ShiftBits(SDL_Keymod(ev.key.keysym.mod));
        return true;
      case SDL_MOUSEMOTION:
        e.Type = THostEvent::MouseMove;
        e.X = SurfaceX(ev.motion.x);
        e.Y = SurfaceY(ev.motion.y);
        e.Shift = ShiftState();
        return true;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        int b = ev.button.button == SDL_BUTTON_LEFT    ? 1
                : ev.button.button == SDL_BUTTON_RIGHT ? 2
                : ev.button.button == SDL_BUTTON_MIDDLE ? 3
                                                         : 0;
        if (!b) return false;
        e.Button = b;
        e.X = SurfaceX(ev.button.x);
        e.Y = SurfaceY(ev.button.y);
        e.Shift = ShiftState();
        if (ev.type == SDL_MOUSEBUTTONDOWN) {
          e.Type = THostEvent::MouseDown;
          if (b == 1) LeftDown_ = true;
        } else {
          e.Type = THostEvent::MouseUp;
          if (b == 1 && LeftDown_) {
            LeftDown_ = false;
            THostEvent c = e;
            c.Type = THostEvent::Click;
            c.Button = 0;
            Posted_.push_front(c);  // right after this release
          }
        }
        return true;
      }
      case SDL_WINDOWEVENT:
        switch (ev.window.event) {
          case SDL_WINDOWEVENT_CLOSE:
            e.Type = THostEvent::CloseQuery;
            return true;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            e.Type = THostEvent::Deactivate;
            return true;
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            e.Type = THostEvent::Activate;
            return true;
          case SDL_WINDOWEVENT_MINIMIZED:
            e.Type = THostEvent::Minimise;
            return true;
          case SDL_WINDOWEVENT_EXPOSED:
            // Uncovered: the paused game draws no frame, so the last one is
            // shown again (else what covered it stays in the window).
            Present(true);
            return false;
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            Present(true);
            return false;
          case SDL_WINDOWEVENT_MAXIMIZED:
            // The window is never maximised: the game turns this into full screen.
            SDL_RestoreWindow(Window_);
            e.Type = THostEvent::Maximise;
            return true;
          default:
            return false;
        }
      case SDL_JOYDEVICEADDED:
      case SDL_JOYDEVICEREMOVED:
      case SDL_CONTROLLERDEVICEADDED:
      case SDL_CONTROLLERDEVICEREMOVED:
        CloseStick();
        OpenStick();
        return false;
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP:
        if (!Pad_ || ev.cbutton.which != SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(Pad_))) return false;
        return PadKey(PadButtonKey(ev.cbutton.button), ev.type == SDL_CONTROLLERBUTTONDOWN, e);
      case SDL_CONTROLLERAXISMOTION:
        if (!Pad_ || ev.caxis.which != SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(Pad_))) return false;
        if (ev.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX) return StickKeys(0, ev.caxis.value, e);
        if (ev.caxis.axis == SDL_CONTROLLER_AXIS_LEFTY) return StickKeys(1, ev.caxis.value, e);
        return false;
      case SDL_JOYBUTTONDOWN:
      case SDL_JOYBUTTONUP:
        // A plain joystick: its first button chooses, its second goes back.
        if (!Stick_ || ev.jbutton.which != SDL_JoystickInstanceID(Stick_)) return false;
        return PadKey(ev.jbutton.button == 0 ? VK_RETURN : ev.jbutton.button == 1 ? VK_ESCAPE : 0,
                      ev.type == SDL_JOYBUTTONDOWN, e);
      case SDL_JOYAXISMOTION:
        if (!Stick_ || ev.jaxis.which != SDL_JoystickInstanceID(Stick_) || ev.jaxis.axis > 1) return false;
        return StickKeys(ev.jaxis.axis, ev.jaxis.value, e);
      case SDL_JOYHATMOTION:
        if (!Stick_ || ev.jhat.which != SDL_JoystickInstanceID(Stick_) || ev.jhat.hat != 0) return false;
        StickKeys(0, (ev.jhat.value & SDL_HAT_LEFT) ? -32767 : (ev.jhat.value & SDL_HAT_RIGHT) ? 32767 : 0, e);
        StickKeys(1, (ev.jhat.value & SDL_HAT_UP) ? -32767 : (ev.jhat.value & SDL_HAT_DOWN) ? 32767 : 0, e);
        return TakePosted(e);
      default:
        return false;
    }
  }

  // The controller's buttons act as the keys a player expects of them.
  static uint16_t PadButtonKey(uint8_t button) {
    switch (button) {
      case SDL_CONTROLLER_BUTTON_A: return VK_RETURN;
      case SDL_CONTROLLER_BUTTON_B: return VK_ESCAPE;
      case SDL_CONTROLLER_BUTTON_BACK: return VK_ESCAPE;
      case SDL_CONTROLLER_BUTTON_START: return VK_PAUSE;  // not 'P': that would type a letter into names
      case SDL_CONTROLLER_BUTTON_DPAD_UP: return VK_UP;
      case SDL_CONTROLLER_BUTTON_DPAD_DOWN: return VK_DOWN;
      case SDL_CONTROLLER_BUTTON_DPAD_LEFT: return VK_LEFT;
      case SDL_CONTROLLER_BUTTON_DPAD_RIGHT: return VK_RIGHT;
      default: return 0;
    }
  }

  bool PadKey(uint16_t key, bool down, THostEvent& e) {
    if (!key) return false;
    e.Type = down ? THostEvent::KeyDown : THostEvent::KeyUp;
    e.Key = key;
    e.Shift = ShiftState();
    return true;
  }

  // The stick pushed well over to one side is an arrow key held, so it
  // moves menu selections too; halfway back is the key's release.
  bool StickKeys(int axis, int value, THostEvent& e) {
    const int dir = value < -16000 ? -1 : value > 16000 ? 1 : (value > -8000 && value < 8000) ? 0 : StickDir_[axis];
    if (dir == StickDir_[axis]) return TakePosted(e);
    const uint16_t neg = axis == 0 ? VK_LEFT : VK_UP, pos = axis == 0 ? VK_RIGHT : VK_DOWN;
    THostEvent k;
    k.Shift = ShiftState();
    if (StickDir_[axis] != 0) {
      k.Type = THostEvent::KeyUp;
      k.Key = StickDir_[axis] < 0 ? neg : pos;
      Posted_.push_back(k);
    }
    if (dir != 0) {
      k.Type = THostEvent::KeyDown;
      k.Key = dir < 0 ? neg : pos;
      Posted_.push_back(k);
    }
    StickDir_[axis] = dir;
    return TakePosted(e);
  }

  bool TakePosted(THostEvent& e) {
    if (Posted_.empty()) return false;
    e = Posted_.front();
    Posted_.pop_front();
    return true;
  }

  void SetIcon(const std::string& path) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return;  // no icon is no error
    img.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> px(PNG_IMAGE_SIZE(img));
    if (png_image_finish_read(&img, nullptr, px.data(), 0, nullptr)) {
      SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(px.data(), int(img.width), int(img.height), 32,
                                                             int(img.width) * 4, SDL_PIXELFORMAT_RGBA32);
      if (icon) {
        SDL_SetWindowIcon(Window_, icon);
        SDL_FreeSurface(icon);
      }
    } else {
      png_image_free(&img);
    }
  }

  void CloseStick() {
    if (Pad_) SDL_GameControllerClose(Pad_);
    if (Stick_) SDL_JoystickClose(Stick_);
    Pad_ = nullptr;
    Stick_ = nullptr;
  }

  // The first device plugged in is the one that plays.
  void OpenStick() {
    if (Pad_ || Stick_ || SDL_NumJoysticks() <= 0) return;
    if (SDL_IsGameController(0)) Pad_ = SDL_GameControllerOpen(0);
    else Stick_ = SDL_JoystickOpen(0);
    StickDir_[0] = StickDir_[1] = 0;
  }

  void PollStick(TInputStates& s) {
    if (Pad_ && !SDL_GameControllerGetAttached(Pad_)) CloseStick();
    if (Stick_ && !SDL_JoystickGetAttached(Stick_)) CloseStick();
    OpenStick();
    const int dead = 32767 / 20;  // 5% of the range
    if (Pad_) {
      int ax = SDL_GameControllerGetAxis(Pad_, SDL_CONTROLLER_AXIS_LEFTX);
      int ay = SDL_GameControllerGetAxis(Pad_, SDL_CONTROLLER_AXIS_LEFTY);
      s.Left |= ax < -dead || SDL_GameControllerGetButton(Pad_, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
      s.Right |= ax > dead || SDL_GameControllerGetButton(Pad_, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
      s.Up |= ay < -dead || SDL_GameControllerGetButton(Pad_, SDL_CONTROLLER_BUTTON_DPAD_UP);
      s.Down |= ay > dead || SDL_GameControllerGetButton(Pad_, SDL_CONTROLLER_BUTTON_DPAD_DOWN);
    } else if (Stick_) {
      if (SDL_JoystickNumAxes(Stick_) >= 2) {
        int ax = SDL_JoystickGetAxis(Stick_, 0), ay = SDL_JoystickGetAxis(Stick_, 1);
        s.Left |= ax < -dead;
        s.Right |= ax > dead;
        s.Up |= ay < -dead;
        s.Down |= ay > dead;
      }
      if (SDL_JoystickNumHats(Stick_) > 0) {
        Uint8 h = SDL_JoystickGetHat(Stick_, 0);
        s.Left |= (h & SDL_HAT_LEFT) != 0;
        s.Right |= (h & SDL_HAT_RIGHT) != 0;
        s.Up |= (h & SDL_HAT_UP) != 0;
        s.Down |= (h & SDL_HAT_DOWN) != 0;
      }
    }
  }

  TSurface Surface_;
  SDL_Window* Window_ = nullptr;
  // Where and how the picture is shown in the window's surface.
  TScaling Scaling_;
  TScaler Scaler_;
  TFitRect Fit_;
  SDL_Surface* Shown_ = nullptr;
  int ShownW_ = 0, ShownH_ = 0;
  bool Direct_ = false;             // the window's pixels are ours, 0x00RRGGBB
  SDL_Surface* Staging_ = nullptr;  // else the picture is converted through this
  bool SurfaceFailed_ = false;
  SDL_GameController* Pad_ = nullptr;
  SDL_Joystick* Stick_ = nullptr;
  std::deque<THostEvent> Posted_;
  TOpener Opener_;
  int StickDir_[2] = {0, 0};  // -1, 0, 1 on the stick's x and y
  bool Quit_ = false, Full_ = false, LeftDown_ = false;
};

}  // namespace

std::unique_ptr<THost> CreateWindowHost(const std::string& caption, std::string& error,
                                        const std::string& icon_png, TScaling scaling) {
  auto host = std::make_unique<TWindowHost>(scaling);
  if (!host->Open(caption, icon_png, error)) return nullptr;
  return host;
}

void ShowMessageWithoutWindow(const std::string& caption, const std::string& text) {
  std::fprintf(stderr, "marovane: %s\n", text.c_str());
  const char* driver = std::getenv("SDL_VIDEODRIVER");
  if (driver && (!std::strcmp(driver, "dummy") || !std::strcmp(driver, "offscreen"))) return;
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, caption.c_str(), text.c_str(), nullptr);
}

}  // namespace mv
