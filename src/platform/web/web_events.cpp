#include <emscripten.h>
#include <emscripten/html5.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/keys.h"
#include "platform/utf8_chars.h"
#include "platform/web/web_input.h"
#include "platform/web/web_internal.h"

namespace platform::web {

// Asks for the pointer lock on the canvas (on) or gives it back. A browser that refuses (no
// gesture yet, a headless one) answers with a rejected promise, taken here: the game goes on with
// the pointer free, its motion still arriving.
EM_JS(void, kx_lock_pointer, (int on), {
  var c = document.getElementById('screen');
  try {
    if (on) {
      if (c && document.pointerLockElement != c && c.requestPointerLock) {
        var r = c.requestPointerLock();
        if (r && r.catch) r.catch(function(){});
      }
    } else if (document.pointerLockElement && document.exitPointerLock) {
      document.exitPointerLock();
    }
  } catch (e) {
  }
});

namespace {

PageState* g_page = nullptr;  // the state the callbacks fill (the live platform's)

// Reads every gamepad with the standard layout, in the browser's order: `out` gets their states.
void ReadPads(std::vector<GamepadState>& out) {
  out.clear();
  if (emscripten_sample_gamepad_data() != EMSCRIPTEN_RESULT_SUCCESS) return;
  const int total = emscripten_get_num_gamepads();
  for (int i = 0; i < total; ++i) {
    EmscriptenGamepadEvent g;
    if (emscripten_get_gamepad_status(i, &g) != EMSCRIPTEN_RESULT_SUCCESS || !g.connected ||
        std::strcmp(g.mapping, "standard") != 0) {
      continue;
    }
    GamepadState st;
    auto axis = [&](int a) {
      const double v = a < g.numAxes ? g.axis[a] : 0.0;
      return static_cast<int>(std::clamp(v, -1.0, 1.0) * 32767.0);
    };
    st.leftX = axis(0);
    st.leftY = axis(1);
    // The standard layout's button numbers, in the order of GamepadButton.
    constexpr int kStandard[] = {0, 1, 2, 3, 8, 16, 9, 10, 11, 4, 5, 12, 13, 14, 15};
    for (int b = 0; b < 15; ++b) {
      if (kStandard[b] < g.numButtons && g.digitalButton[kStandard[b]]) st.buttons |= 1u << b;
    }
    out.push_back(st);
  }
}

// Keys the browser keeps for itself: reload, developer tools, its own full screen.
bool BrowserKey(int scancode, bool ctrl) {
  return scancode == SC_F1 + 4 || scancode == SC_F1 + 10 || scancode == SC_F12 ||
         (ctrl && (scancode == SC_R || scancode == SC_W || scancode == SC_T));
}

EM_BOOL OnKey(int type, const EmscriptenKeyboardEvent* k, void*) {
  if (g_page == nullptr) return EM_FALSE;
  const int sc = ScancodeFromKeyCode(k->code);
  const bool down = type == EMSCRIPTEN_EVENT_KEYDOWN;
  if (BrowserKey(sc, k->ctrlKey)) return EM_FALSE;
  const int vk = VkFromKeyEvent(k->key, sc);
  if (sc > 0 && sc < 512) g_page->scancodes[sc] = down ? 0x80 : 0;
  if (vk > 0 && vk < 256) g_page->vks[vk] = down ? 0x80 : 0;
  if (int sided = SidedVkFromScancode(sc)) g_page->vks[sided] = down ? 0x80 : 0;
  if (vk != 0) {
    Event e;
    e.kind = down ? EventKind::KeyDown : EventKind::KeyUp;
    e.vk = vk;
    e.alt = k->altKey;
    e.shift = k->shiftKey;
    e.ctrl = k->ctrlKey;
    e.repeat = k->repeat;
    g_page->queue.push_back(e);
  }
  if (down && !k->altKey && !k->ctrlKey && !k->metaKey) {
    // Enter, Escape, Backspace and Tab come as characters too, as edit fields expect them; any
    // other key whose `key` is one character is typed text.
    std::vector<char32_t> chars;
    if (vk == VK_RETURN || vk == VK_ESCAPE || vk == VK_BACK || vk == VK_TAB) {
      chars.push_back(static_cast<char32_t>(vk == VK_BACK ? 8 : vk == VK_TAB ? 9 : vk));
    } else {
      AppendUtf8Chars(k->key, chars);
      if (chars.size() != 1 || chars[0] < 32) chars.clear();
    }
    for (char32_t ch : chars) {
      Event c;
      c.kind = EventKind::Char;
      c.ch = ch;
      g_page->queue.push_back(c);
    }
  }
  return EM_TRUE;  // the page must not scroll on Space or the arrows
}

// Canvas coordinates (CSS pixels of the letterboxed canvas) to frame coordinates.
void MapMouse(const EmscriptenMouseEvent* m, Event& e) {
  double cw = 0, ch = 0;
  emscripten_get_element_css_size("#screen", &cw, &ch);
  e.x = cw > 0 ? static_cast<int>(m->targetX * g_page->frameW / cw) : static_cast<int>(m->targetX);
  e.y = ch > 0 ? static_cast<int>(m->targetY * g_page->frameH / ch) : static_cast<int>(m->targetY);
  e.dx = static_cast<int>(m->movementX);
  e.dy = static_cast<int>(m->movementY);
  e.button = m->button == 0 ? 1 : m->button == 1 ? 2 : 3;
}

EM_BOOL OnMouse(int type, const EmscriptenMouseEvent* m, void*) {
  if (g_page == nullptr) return EM_FALSE;
  // The browser lets go of the pointer on Escape or when the page loses the focus; while the game
  // still wants it, a click on the canvas (a gesture, as the browser requires) takes it again.
  if (type == EMSCRIPTEN_EVENT_MOUSEDOWN && g_page->mouseCaptured) kx_lock_pointer(1);
  Event e;
  e.kind = type == EMSCRIPTEN_EVENT_MOUSEMOVE   ? EventKind::MouseMove
           : type == EMSCRIPTEN_EVENT_MOUSEDOWN ? EventKind::MouseDown
                                                : EventKind::MouseUp;
  MapMouse(m, e);
  if (e.kind == EventKind::MouseMove) e.button = 0;
  g_page->queue.push_back(e);
  return EM_TRUE;
}

void SetActive(bool on) {
  Event e;
  e.kind = on ? EventKind::AppActivate : EventKind::AppDeactivate;
  g_page->queue.push_back(e);
}

EM_BOOL OnFocus(int type, const EmscriptenFocusEvent*, void*) {
  if (g_page == nullptr) return EM_FALSE;
  const bool on = type == EMSCRIPTEN_EVENT_FOCUS;
  if (on != g_page->focused && !g_page->hidden) SetActive(on);
  g_page->focused = on;
  if (!on) {
    // Keys released while the page is in the background never reach it.
    std::memset(g_page->scancodes, 0, sizeof g_page->scancodes);
    std::memset(g_page->vks, 0, sizeof g_page->vks);
  }
  return EM_FALSE;
}

// A hidden tab pauses the game as losing the focus does; showing it again resumes.
EM_BOOL OnVisibility(int, const EmscriptenVisibilityChangeEvent* v, void*) {
  if (g_page == nullptr) return EM_FALSE;
  const bool hidden = v->hidden != 0;
  if (hidden != g_page->hidden && g_page->focused) SetActive(!hidden);
  g_page->hidden = hidden;
  return EM_FALSE;
}

EM_BOOL OnGamepad(int, const EmscriptenGamepadEvent*, void*) {
  if (g_page == nullptr) return EM_FALSE;
  Event e;
  e.kind = EventKind::GamepadChanged;
  g_page->queue.push_back(e);
  return EM_FALSE;
}

// 1 once after the page kept a dropped replay file (see web/index.html), else 0.
EM_JS(int, kx_take_dropped_replay, (), {
  if (!Module.kxDroppedReplay) return 0;
  Module.kxDroppedReplay = false;
  return 1;
});

class WebEvents : public Events {
 public:
  explicit WebEvents(std::shared_ptr<PageState> page) : page_(std::move(page)) {
    g_page = page_.get();
    const char* win = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(win, nullptr, EM_TRUE, OnKey);
    emscripten_set_keyup_callback(win, nullptr, EM_TRUE, OnKey);
    emscripten_set_mousemove_callback("#screen", nullptr, EM_TRUE, OnMouse);
    emscripten_set_mousedown_callback("#screen", nullptr, EM_TRUE, OnMouse);
    emscripten_set_mouseup_callback("#screen", nullptr, EM_TRUE, OnMouse);
    emscripten_set_focus_callback(win, nullptr, EM_TRUE, OnFocus);
    emscripten_set_blur_callback(win, nullptr, EM_TRUE, OnFocus);
    emscripten_set_visibilitychange_callback(nullptr, EM_TRUE, OnVisibility);
    emscripten_set_gamepadconnected_callback(nullptr, EM_TRUE, OnGamepad);
    emscripten_set_gamepaddisconnected_callback(nullptr, EM_TRUE, OnGamepad);
    EmscriptenVisibilityChangeEvent v;
    if (emscripten_get_visibility_status(&v) == EMSCRIPTEN_RESULT_SUCCESS) page_->hidden = v.hidden;
  }
  ~WebEvents() override {
    const char* win = EMSCRIPTEN_EVENT_TARGET_WINDOW;
    emscripten_set_keydown_callback(win, nullptr, EM_TRUE, nullptr);
    emscripten_set_keyup_callback(win, nullptr, EM_TRUE, nullptr);
    emscripten_set_mousemove_callback("#screen", nullptr, EM_TRUE, nullptr);
    emscripten_set_mousedown_callback("#screen", nullptr, EM_TRUE, nullptr);
    emscripten_set_mouseup_callback("#screen", nullptr, EM_TRUE, nullptr);
    emscripten_set_focus_callback(win, nullptr, EM_TRUE, nullptr);
    emscripten_set_blur_callback(win, nullptr, EM_TRUE, nullptr);
    emscripten_set_visibilitychange_callback(nullptr, EM_TRUE, nullptr);
    emscripten_set_gamepadconnected_callback(nullptr, EM_TRUE, nullptr);
    emscripten_set_gamepaddisconnected_callback(nullptr, EM_TRUE, nullptr);
    if (g_page == page_.get()) g_page = nullptr;
  }

  bool Poll(Event& e) override {
    if (TakeMusicEnded()) {
      Event m;
      m.kind = EventKind::MusicFinished;
      page_->queue.push_back(m);
    }
    PollPads();
    if (kx_take_dropped_replay()) {
      Event d;
      d.kind = EventKind::User;
      d.code = kUserReplayDropped;
      page_->queue.push_back(d);
    }
    if (page_->queue.empty()) return false;
    e = page_->queue.front();
    page_->queue.pop_front();
    return true;
  }

  bool Wait(Event& e, uint32_t timeoutMs) override {
    // The page's callbacks run only while the game sleeps: sleeping in short slices gives the
    // browser its turn and notices new events within a few milliseconds.
    const double start = emscripten_get_now();
    for (;;) {
      if (Poll(e)) return true;
      const double spent = emscripten_get_now() - start;
      if (spent >= timeoutMs) return false;
      emscripten_sleep(static_cast<unsigned>(std::min(8.0, timeoutMs - spent) + 0.5));
    }
  }

  void Post(const Event& e) override { page_->queue.push_back(e); }

 private:
  // Browsers give gamepads as states to read, not as events: a reading every few milliseconds
  // turns the changes of A, B, Start and Back into the key events the native driver posts.
  void PollPads() {
    const double now = emscripten_get_now();
    if (now - lastPadRead_ < 4) return;
    lastPadRead_ = now;
    ReadPads(pads_);
    for (size_t i = 0; i < std::max(pads_.size(), padButtons_.size()); ++i) {
      const uint32_t before = i < padButtons_.size() ? padButtons_[i] : 0;
      const uint32_t after = i < pads_.size() ? pads_[i].buttons : 0;
      for (const PadKey& k : PadKeyChanges(before, after)) {
        Event e;
        e.kind = k.down ? EventKind::KeyDown : EventKind::KeyUp;
        e.vk = k.vk;
        page_->queue.push_back(e);
      }
    }
    padButtons_.resize(pads_.size());
    for (size_t i = 0; i < pads_.size(); ++i) padButtons_[i] = pads_[i].buttons;
  }

  std::shared_ptr<PageState> page_;
  double lastPadRead_ = -1e9;
  std::vector<GamepadState> pads_;    // the last reading
  std::vector<uint32_t> padButtons_;  // the buttons of each pad at the last reading
};

class WebKeyboard : public Keyboard {
 public:
  explicit WebKeyboard(std::shared_ptr<PageState> page) : page_(std::move(page)) {}
  void VirtualKeyState(uint8_t state[256]) override { std::memcpy(state, page_->vks, 256); }
  bool ScancodeState(uint8_t* state, int count) override {
    if (count <= 0) return true;
    std::memset(state, 0, count);
    std::memcpy(state, page_->scancodes, std::min(count, 512));
    return true;
  }

 private:
  std::shared_ptr<PageState> page_;
};

// Rumbles the `index`th gamepad of the standard layout where the browser offers it (Chromium's
// vibrationActuator); 0 where it does not.
EM_JS(int, kx_rumble_pad, (int index, double strength, int ms), {
  try {
    var pads = (navigator.getGamepads ? navigator.getGamepads() : []) || [];
    var seen = 0;
    for (var i = 0; i < pads.length; ++i) {
      var p = pads[i];
      if (!p || !p.connected || p.mapping != 'standard') continue;
      if (seen++ != index) continue;
      var v = p.vibrationActuator;
      if (!v || !v.playEffect) return 0;
      var r = v.playEffect('dual-rumble',
                           {duration : ms, strongMagnitude : strength, weakMagnitude : strength});
      if (r && r.catch) r.catch(function(){});
      return 1;
    }
  } catch (e) {
  }
  return 0;
});

// Gamepads with the browser's standard layout (every common controller); raw joysticks are not
// offered by browsers, so Count stays 0 and the game reads gamepads. Their A, B, Start and Back
// come as key events too (WebEvents reads them).
class WebJoysticks : public Joysticks {
 public:
  int Count() override { return 0; }
  void AxisRange(int, int& axisMin, int& axisMax) override {
    axisMin = -32768;
    axisMax = 32767;
  }
  int ButtonCount(int) override { return 0; }
  bool Read(int, JoystickState& out) override {
    out = JoystickState{};
    return false;
  }
  bool SupportsPeriodic(int) override { return false; }
  bool SupportsRumble(int) override { return false; }
  bool PlayPeriodic(int, const PeriodicEffect&) override { return false; }
  bool PlayRumble(int, float, uint32_t) override { return false; }

  int GamepadCount() override {
    ReadPads(pads_);
    return static_cast<int>(pads_.size());
  }

  bool ReadGamepad(int index, GamepadState& out) override {
    ReadPads(pads_);
    out = GamepadState{};
    if (index < 0 || index >= static_cast<int>(pads_.size())) return false;
    out = pads_[static_cast<size_t>(index)];
    return true;
  }

  bool RumbleGamepad(int index, float strength, uint32_t ms) override {
    return kx_rumble_pad(index, std::clamp(strength, 0.0f, 1.0f), static_cast<int>(ms)) != 0;
  }

 private:
  std::vector<GamepadState> pads_;
};

}  // namespace

void LockPointer(bool on) { kx_lock_pointer(on ? 1 : 0); }

std::unique_ptr<Events> MakeEvents(std::shared_ptr<PageState> page) {
  return std::make_unique<WebEvents>(std::move(page));
}
std::unique_ptr<Keyboard> MakeKeyboard(std::shared_ptr<PageState> page) {
  return std::make_unique<WebKeyboard>(std::move(page));
}
std::unique_ptr<Joysticks> MakeJoysticks() { return std::make_unique<WebJoysticks>(); }

}  // namespace platform::web
