#include <map>

#include "platform/keys.h"
#include "platform/sdl/sdl_internal.h"
#include "platform/sdl/sdl_platform.h"
#include "platform/utf8_chars.h"

namespace platform::sdl {
namespace {

class SdlEvents : public Events {
 public:
  SdlEvents(std::shared_ptr<Session> s, std::shared_ptr<ViewState> view)
      : session_(std::move(s)), view_(std::move(view)) {
    session_->Need(SDL_INIT_JOYSTICK);  // so plugging and unplugging reaches the queue
    session_->Need(SDL_INIT_GAMECONTROLLER);
  }

  bool Poll(Event& e) override {
    if (TakeReady(e)) return true;
    SDL_Event ev;
    while (SDL_PollEvent(&ev)) {
      Translate(ev);
      if (TakeReady(e)) return true;
    }
    return TakeOrphan(e);
  }

  bool Wait(Event& e, uint32_t timeoutMs) override {
    if (Poll(e)) return true;
    const uint32_t start = SDL_GetTicks();
    for (;;) {
      const uint32_t spent = SDL_GetTicks() - start;
      if (spent >= timeoutMs) return false;
      SDL_Event ev;
      if (!SDL_WaitEventTimeout(&ev, static_cast<int>(timeoutMs - spent))) return Poll(e);
      Translate(ev);
      if (TakeReady(e)) return true;
    }
  }

  void Post(const Event& e) override {
    // The event itself waits here; the SDL queue only carries its number, so posted events keep
    // their place among the window system's events.
    std::lock_guard<std::mutex> lock(mutex_);
    const int id = nextId_++;
    posted_[id] = e;
    SDL_Event ev{};
    ev.type = session_->PostedEventType();
    ev.user.code = id;
    SDL_PushEvent(&ev);  // if the queue refuses, Poll still finds it among the orphans
  }

 private:
  bool TakeReady(Event& e) {
    if (ready_.empty()) return false;
    e = ready_.front();
    ready_.erase(ready_.begin());
    return true;
  }

  // A posted event whose SDL notice got lost (full queue): delivered once the queue is drained.
  bool TakeOrphan(Event& e) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (posted_.empty()) return false;
    e = posted_.begin()->second;
    posted_.erase(posted_.begin());
    return true;
  }

  void Push(EventKind kind) {
    Event e;
    e.kind = kind;
    ready_.push_back(e);
  }

  // Window coordinates to frame coordinates through the letterbox.
  void MapMouse(int wx, int wy, Event& e) const {
    const ViewState& v = *view_;
    const float ox = wx * v.outputScale - v.dst.x;
    const float oy = wy * v.outputScale - v.dst.y;
    e.x = v.dst.w > 0 ? static_cast<int>(ox * v.frameW / v.dst.w) : wx;
    e.y = v.dst.h > 0 ? static_cast<int>(oy * v.frameH / v.dst.h) : wy;
  }

  void Translate(const SDL_Event& ev) {
    if (ev.type == session_->PostedEventType()) {
      std::lock_guard<std::mutex> lock(mutex_);
      auto it = posted_.find(ev.user.code);
      if (it != posted_.end()) {
        ready_.push_back(it->second);
        posted_.erase(it);
      }
      return;
    }
    switch (ev.type) {
      case SDL_QUIT:
        Push(EventKind::Quit);
        break;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const int vk = VkFromSdlKey(ev.key.keysym.sym, ev.key.keysym.scancode);
        if (vk == 0) break;
        Event e;
        e.kind = ev.type == SDL_KEYDOWN ? EventKind::KeyDown : EventKind::KeyUp;
        e.vk = vk;
        const Uint16 mod = ev.key.keysym.mod;
        e.alt = (mod & KMOD_ALT) != 0;
        e.shift = (mod & KMOD_SHIFT) != 0;
        e.ctrl = (mod & KMOD_CTRL) != 0;
        e.repeat = ev.key.repeat != 0;
        ready_.push_back(e);
        // Windows also delivers these keys as characters (Enter is '\r', Backspace '\b'), and
        // edit fields and key-press handlers expect them there; SDL's text input does not.
        if (e.kind == EventKind::KeyDown && !e.alt && !e.ctrl &&
            (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB)) {
          Event c;
          c.kind = EventKind::Char;
          c.ch = static_cast<char32_t>(vk == VK_BACK ? 8 : vk == VK_TAB ? 9 : vk);
          ready_.push_back(c);
        }
        break;
      }
      case SDL_TEXTINPUT: {
        std::vector<char32_t> chars;
        AppendUtf8Chars(ev.text.text, chars);
        for (char32_t ch : chars) {
          Event e;
          e.kind = EventKind::Char;
          e.ch = ch;
          ready_.push_back(e);
        }
        break;
      }
      case SDL_MOUSEMOTION: {
        Event e;
        e.kind = EventKind::MouseMove;
        MapMouse(ev.motion.x, ev.motion.y, e);
        e.dx = ev.motion.xrel;
        e.dy = ev.motion.yrel;
        ready_.push_back(e);
        break;
      }
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP: {
        Event e;
        e.kind = ev.type == SDL_MOUSEBUTTONDOWN ? EventKind::MouseDown : EventKind::MouseUp;
        MapMouse(ev.button.x, ev.button.y, e);
        e.button = ev.button.button == SDL_BUTTON_LEFT     ? 1
                   : ev.button.button == SDL_BUTTON_MIDDLE ? 2
                   : ev.button.button == SDL_BUTTON_RIGHT  ? 3
                                                           : 0;
        if (e.button != 0) ready_.push_back(e);
        break;
      }
      case SDL_WINDOWEVENT:
        if (ev.window.windowID != view_->windowId) break;
        switch (ev.window.event) {
          case SDL_WINDOWEVENT_FOCUS_GAINED:
            Push(EventKind::AppActivate);
            break;
          case SDL_WINDOWEVENT_FOCUS_LOST:
            Push(EventKind::AppDeactivate);
            break;
          case SDL_WINDOWEVENT_CLOSE:
            Push(EventKind::Quit);
            break;
          case SDL_WINDOWEVENT_EXPOSED:
          case SDL_WINDOWEVENT_SIZE_CHANGED:
            Push(EventKind::Expose);
            break;
          default:
            break;
        }
        break;
      case SDL_JOYDEVICEADDED:
      case SDL_JOYDEVICEREMOVED:
        Push(EventKind::JoystickChanged);
        break;
      case SDL_CONTROLLERDEVICEADDED:
      case SDL_CONTROLLERDEVICEREMOVED:
        Push(EventKind::GamepadChanged);
        break;
      case SDL_CONTROLLERBUTTONDOWN:
      case SDL_CONTROLLERBUTTONUP: {
        // The buttons that act as keys arrive as key events, so windows and key handlers hear
        // them where they hear the keyboard.
        const int vk = ev.cbutton.button == SDL_CONTROLLER_BUTTON_A       ? VK_GAMEPAD_A
                       : ev.cbutton.button == SDL_CONTROLLER_BUTTON_B     ? VK_GAMEPAD_B
                       : ev.cbutton.button == SDL_CONTROLLER_BUTTON_START ? VK_GAMEPAD_MENU
                       : ev.cbutton.button == SDL_CONTROLLER_BUTTON_BACK  ? VK_GAMEPAD_VIEW
                                                                          : 0;
        if (vk == 0) break;
        Event e;
        e.kind = ev.type == SDL_CONTROLLERBUTTONDOWN ? EventKind::KeyDown : EventKind::KeyUp;
        e.vk = vk;
        ready_.push_back(e);
        break;
      }
      default:
        break;
    }
  }

  std::shared_ptr<Session> session_;
  std::shared_ptr<ViewState> view_;
  std::vector<Event> ready_;  // translated, not yet taken (one SDL event can give several)
  std::mutex mutex_;          // guards posted_ and nextId_ (Post runs on any thread)
  std::map<int, Event> posted_;
  int nextId_ = 1;
};

}  // namespace

std::unique_ptr<Events> MakeEvents(std::shared_ptr<Session> s, std::shared_ptr<ViewState> view) {
  return std::make_unique<SdlEvents>(std::move(s), std::move(view));
}

}  // namespace platform::sdl
