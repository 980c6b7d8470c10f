#include "platform/sdl/sdl_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/keys.h"
#include "platform/sdl/sdl_display_watch.h"
#include "platform/sdl/sdl_internal.h"

namespace platform::sdl {

// ---------------------------------------------------------------------------------------------
std::shared_ptr<Session> Session::Acquire() {
  static std::mutex guard;
  static std::weak_ptr<Session> live;
  std::lock_guard<std::mutex> lock(guard);
  if (auto s = live.lock()) return s;
  // The window's close button becomes our Quit event. SIGTERM and SIGINT keep their default
  // action (the game ends at once, see stop_signals.h): SDL must not turn them into a quit
  // request that a blocked or modal loop would never read.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Joystick input must keep arriving while another window has the focus: the game itself decides
  // to ignore input when it is not in front.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_Init(SDL_INIT_EVENTS | SDL_INIT_TIMER) != 0) {
    std::fprintf(stderr, "kobaltix: SDL cannot start: %s\n", SDL_GetError());
    return nullptr;
  }
  std::shared_ptr<Session> s(new Session());
  s->postedType_ = SDL_RegisterEvents(1);
  live = s;
  return s;
}

Session::~Session() {
  StopWatchingTheDisplay();  // the display closes now, on purpose
  SDL_Quit();
}

bool Session::Need(uint32_t flag) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (started_ & flag) return true;
  if (SDL_InitSubSystem(flag) != 0) return false;
  started_ |= flag;
  return true;
}

// ---------------------------------------------------------------------------------------------
namespace {

class SdlClock : public Clock {
 public:
  explicit SdlClock(std::shared_ptr<Session> s) : session_(std::move(s)) {}
  uint32_t Milliseconds() override { return SDL_GetTicks(); }
  void SleepMs(uint32_t ms) override { SDL_Delay(ms); }

 private:
  std::shared_ptr<Session> session_;
};

class SdlKeyboard : public Keyboard {
 public:
  explicit SdlKeyboard(std::shared_ptr<Session> s) : session_(std::move(s)) {}

  void VirtualKeyState(uint8_t state[256]) override {
    std::memset(state, 0, 256);
    int n = 0;
    const Uint8* keys = SDL_GetKeyboardState(&n);
    if (keys == nullptr) return;
    for (int sc = 0; sc < n && sc < SC_COUNT; ++sc) {
      if (!keys[sc]) continue;
      // Same mapping as the key events, so a key reads the same in both.
      const int vk = VkFromSdlKey(SDL_GetKeyFromScancode(static_cast<SDL_Scancode>(sc)), sc);
      if (vk > 0 && vk < 256) state[vk] = 0x80;
      if (int sided = SidedVkFromScancode(sc)) state[sided] = 0x80;
    }
  }

  bool ScancodeState(uint8_t* state, int count) override {
    if (count <= 0) return true;
    std::memset(state, 0, count);
    int n = 0;
    const Uint8* keys = SDL_GetKeyboardState(&n);
    if (keys == nullptr) return false;
    for (int sc = 0; sc < n && sc < count; ++sc) state[sc] = keys[sc] ? 0x80 : 0;
    return true;
  }

 private:
  std::shared_ptr<Session> session_;
};

class SdlDialogs : public Dialogs {
 public:
  explicit SdlDialogs(std::shared_ptr<Session> s) : session_(std::move(s)) {}
  void MessageBox(const std::string& title, const std::string& text) override {
    // Without a display there is nowhere to show it; the caller also writes it to stderr.
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_INFORMATION, title.c_str(), text.c_str(),
                             SDL_GetKeyboardFocus());
  }

 private:
  std::shared_ptr<Session> session_;
};

}  // namespace

std::unique_ptr<Clock> MakeClock(std::shared_ptr<Session> s) {
  return std::make_unique<SdlClock>(std::move(s));
}
std::unique_ptr<Keyboard> MakeKeyboard(std::shared_ptr<Session> s) {
  return std::make_unique<SdlKeyboard>(std::move(s));
}
std::unique_ptr<Dialogs> MakeDialogs(std::shared_ptr<Session> s) {
  return std::make_unique<SdlDialogs>(std::move(s));
}

namespace {

// Starts the video on a display the player can see. Unless the player names a video driver
// (SDL_VIDEODRIVER), the drivers that draw nowhere (offscreen, dummy) are left out of SDL's
// choice: without a display SDL would fall back to them and the game would run unseen for good.
// False with the video system's reason in `reason`.
bool StartVideo(Session& session, std::string& reason) {
  const char* named = std::getenv("SDL_VIDEODRIVER");
  if (named == nullptr || *named == '\0') {
    std::string drivers;
    for (int i = 0; i < SDL_GetNumVideoDrivers(); ++i) {
      const char* d = SDL_GetVideoDriver(i);
      if (d == nullptr || !std::strcmp(d, "offscreen") || !std::strcmp(d, "dummy") ||
          !std::strcmp(d, "evdev"))
        continue;
      drivers += (drivers.empty() ? "" : ",") + std::string(d);
    }
    SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers.c_str());
  }
  if (!session.Need(SDL_INIT_VIDEO)) {
    reason = SDL_GetError();
    return false;
  }
  const char* driver = SDL_GetCurrentVideoDriver();
  if (driver != nullptr && std::strcmp(driver, "x11") == 0) WatchTheXConnection();
  return true;
}

}  // namespace

std::unique_ptr<Platform> Make() {
  auto session = Session::Acquire();
  if (!session) return nullptr;
  std::string reason;
  if (!StartVideo(*session, reason)) {
    const char* display = std::getenv("DISPLAY");
    const std::string where = display == nullptr ? std::string("DISPLAY is not set")
                                                 : "DISPLAY=\"" + std::string(display) + "\"";
    std::fprintf(stderr, "kobaltix: no display to show the game on (%s): %s\n", where.c_str(),
                 reason.c_str());
    return nullptr;
  }
  auto view = std::make_shared<ViewState>();
  auto p = std::make_unique<Platform>();
  p->clock = MakeClock(session);
  p->events = MakeEvents(session, view);
  p->video = MakeVideo(session, view);
  p->keyboard = MakeKeyboard(session);
  p->joysticks = MakeJoysticks(session);
  p->audio = MakeAudio(session);
  p->music = MakeMusic(session, p->events.get());
  p->text = MakeText();
  p->dialogs = MakeDialogs(session);
  return p;
}

}  // namespace platform::sdl
