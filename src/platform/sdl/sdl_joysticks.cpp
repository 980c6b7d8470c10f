#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "platform/sdl/sdl_internal.h"
#include "platform/sdl/sdl_platform.h"

namespace platform::sdl {
namespace {

class SdlJoysticks : public Joysticks {
 public:
  explicit SdlJoysticks(std::shared_ptr<Session> s) : session_(std::move(s)) {
    ok_ = session_->Need(SDL_INIT_JOYSTICK);
    hapticOk_ = ok_ && session_->Need(SDL_INIT_HAPTIC);
    // The game-controller layer brings SDL's mapping database (and SDL_GAMECONTROLLERCONFIG).
    padsOk_ = ok_ && session_->Need(SDL_INIT_GAMECONTROLLER);
  }
  ~SdlJoysticks() override {
    for (Pad& p : pads_) CloseDevice(p);
    for (GPad& g : gamepads_)
      if (g.gc) SDL_GameControllerClose(g.gc);
  }

  // Raw joysticks are the devices the mapping database does not know: a gamepad is read as a
  // gamepad only, never a second time as a joystick.
  int Count() override { return static_cast<int>(DeviceIndices(false).size()); }

  void AxisRange(int, int& axisMin, int& axisMax) override {
    axisMin = -32768;
    axisMax = 32767;
  }

  int ButtonCount(int index) override {
    Pad* p = Open(index);
    return p ? std::min(SDL_JoystickNumButtons(p->js), 32) : 0;
  }

  bool Read(int index, JoystickState& out) override {
    out = JoystickState{};
    Pad* p = Open(index);
    if (!p) return false;
    SDL_JoystickUpdate();
    const int axes = SDL_JoystickNumAxes(p->js);
    if (axes > 0) out.axisX = SDL_JoystickGetAxis(p->js, 0);
    if (axes > 1) out.axisY = SDL_JoystickGetAxis(p->js, 1);
    if (axes > 2) out.axisZ = SDL_JoystickGetAxis(p->js, 2);
    const int buttons = std::min(SDL_JoystickNumButtons(p->js), 32);
    for (int b = 0; b < buttons; ++b) {
      if (SDL_JoystickGetButton(p->js, b)) out.buttons |= 1u << b;
    }
    return true;
  }

  bool SupportsPeriodic(int index) override {
    Pad* p = Open(index);
    return p && p->haptic && (SDL_HapticQuery(p->haptic) & SDL_HAPTIC_SINE) != 0;
  }

  bool SupportsRumble(int index) override {
    Pad* p = Open(index);
    if (!p) return false;
    if (p->haptic && SDL_HapticRumbleSupported(p->haptic) == SDL_TRUE) return true;
    return SDL_JoystickHasRumble(p->js) == SDL_TRUE;
  }

  bool PlayPeriodic(int index, const PeriodicEffect& fx) override {
    if (!SupportsPeriodic(index)) return false;
    Pad& p = *Open(index);
    SDL_HapticEffect e{};
    e.type = SDL_HAPTIC_SINE;
    e.periodic.direction.type = SDL_HAPTIC_CARTESIAN;
    // A zero vector has no direction; push straight ahead rather than let the driver guess.
    e.periodic.direction.dir[0] = fx.directionX;
    e.periodic.direction.dir[1] = fx.directionX == 0 && fx.directionY == 0 ? 1 : fx.directionY;
    e.periodic.period = static_cast<Uint16>(std::clamp<uint32_t>(fx.periodUs / 1000, 1, 65535));
    e.periodic.magnitude = static_cast<Sint16>(std::clamp(fx.magnitude, 0, 10000) * 32767 / 10000);
    e.periodic.length = std::min<uint32_t>(fx.durationUs / 1000, 0x7FFFFFFF);
    e.periodic.delay = static_cast<Uint16>(std::min<uint32_t>(fx.startDelayMs, 65535));
    if (SDL_HapticQuery(p.haptic) & SDL_HAPTIC_GAIN) {
      SDL_HapticSetGain(p.haptic, std::clamp(fx.gain, 0, 10000) / 100);
    }
    // One effect slot per device, updated in place: devices hold only a few effects.
    if (p.effect >= 0 && SDL_HapticUpdateEffect(p.haptic, p.effect, &e) != 0) {
      SDL_HapticDestroyEffect(p.haptic, p.effect);
      p.effect = -1;
    }
    if (p.effect < 0) p.effect = SDL_HapticNewEffect(p.haptic, &e);
    return p.effect >= 0 && SDL_HapticRunEffect(p.haptic, p.effect, 1) == 0;
  }

  bool PlayRumble(int index, float strength, uint32_t ms) override {
    Pad* p = Open(index);
    if (!p) return false;
    strength = std::clamp(strength, 0.0f, 1.0f);
    if (p->haptic && SDL_HapticRumbleSupported(p->haptic) == SDL_TRUE) {
      if (!p->rumbleReady) p->rumbleReady = SDL_HapticRumbleInit(p->haptic) == 0;
      if (p->rumbleReady && SDL_HapticRumblePlay(p->haptic, strength, ms) == 0) return true;
    }
    const auto level = static_cast<Uint16>(std::lround(strength * 0xFFFF));
    return SDL_JoystickRumble(p->js, level, level, ms) == 0;
  }

  int GamepadCount() override { return static_cast<int>(DeviceIndices(true).size()); }

  bool ReadGamepad(int index, GamepadState& out) override {
    out = GamepadState{};
    SDL_GameController* gc = OpenGamepad(index);
    if (!gc) return false;
    SDL_GameControllerUpdate();
    out.leftX = SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_LEFTX);
    out.leftY = SDL_GameControllerGetAxis(gc, SDL_CONTROLLER_AXIS_LEFTY);
    static constexpr std::pair<SDL_GameControllerButton, GamepadButton> kButtons[] = {
        {SDL_CONTROLLER_BUTTON_A, kPadA},
        {SDL_CONTROLLER_BUTTON_B, kPadB},
        {SDL_CONTROLLER_BUTTON_X, kPadX},
        {SDL_CONTROLLER_BUTTON_Y, kPadY},
        {SDL_CONTROLLER_BUTTON_BACK, kPadBack},
        {SDL_CONTROLLER_BUTTON_GUIDE, kPadGuide},
        {SDL_CONTROLLER_BUTTON_START, kPadStart},
        {SDL_CONTROLLER_BUTTON_LEFTSTICK, kPadLeftStick},
        {SDL_CONTROLLER_BUTTON_RIGHTSTICK, kPadRightStick},
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, kPadLeftShoulder},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, kPadRightShoulder},
        {SDL_CONTROLLER_BUTTON_DPAD_UP, kPadUp},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kPadDown},
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kPadLeft},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kPadRight}};
    for (const auto& [sdl, bit] : kButtons)
      if (SDL_GameControllerGetButton(gc, sdl)) out.buttons |= 1u << bit;
    return true;
  }

  bool RumbleGamepad(int index, float strength, uint32_t ms) override {
    SDL_GameController* gc = OpenGamepad(index);
    if (!gc) return false;
    const auto level = static_cast<Uint16>(std::lround(std::clamp(strength, 0.0f, 1.0f) * 0xFFFF));
    return SDL_GameControllerRumble(gc, level, level, ms) == 0;
  }

 private:
  struct Pad {
    SDL_Joystick* js = nullptr;
    SDL_JoystickID id = -1;
    SDL_Haptic* haptic = nullptr;
    int effect = -1;
    bool rumbleReady = false;
  };

  static void CloseDevice(Pad& p) {
    if (p.haptic) SDL_HapticClose(p.haptic);
    if (p.js) SDL_JoystickClose(p.js);
    p = Pad{};
  }

  // The open device at `index`, opened (or re-opened, when the list changed and another device
  // now sits at that index) on demand; null when there is none.
  Pad* Open(int index) {
    const std::vector<int> devices = DeviceIndices(false);
    if (index < 0 || index >= static_cast<int>(devices.size())) return nullptr;
    const int device = devices[static_cast<size_t>(index)];
    if (static_cast<int>(pads_.size()) <= index) pads_.resize(index + 1);
    Pad& p = pads_[index];
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device);
    if (p.js && (p.id != id || !SDL_JoystickGetAttached(p.js))) CloseDevice(p);
    if (!p.js) {
      p.js = SDL_JoystickOpen(device);
      if (!p.js) return nullptr;
      p.id = SDL_JoystickInstanceID(p.js);
      if (hapticOk_ && SDL_JoystickIsHaptic(p.js) == SDL_TRUE) {
        p.haptic = SDL_HapticOpenFromJoystick(p.js);
      }
    }
    return &p;
  }

  struct GPad {
    SDL_GameController* gc = nullptr;
    SDL_JoystickID id = -1;
  };

  // SDL's device indices of the gamepads (true) or of the other joysticks (false), in order.
  std::vector<int> DeviceIndices(bool gamepads) const {
    std::vector<int> out;
    if (!ok_) return out;
    const int n = SDL_NumJoysticks();
    for (int i = 0; i < n; ++i) {
      const bool isPad = padsOk_ && SDL_IsGameController(i) == SDL_TRUE;
      if (isPad == gamepads) out.push_back(i);
    }
    return out;
  }

  // The open gamepad at `index` among the gamepads, opened on demand (its buttons then reach
  // the event queue too); null when there is none.
  SDL_GameController* OpenGamepad(int index) {
    const std::vector<int> devices = DeviceIndices(true);
    if (index < 0 || index >= static_cast<int>(devices.size())) return nullptr;
    if (static_cast<int>(gamepads_.size()) <= index) gamepads_.resize(index + 1);
    GPad& g = gamepads_[static_cast<size_t>(index)];
    const int device = devices[static_cast<size_t>(index)];
    const SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(device);
    if (g.gc && (g.id != id || !SDL_GameControllerGetAttached(g.gc))) {
      SDL_GameControllerClose(g.gc);
      g = GPad{};
    }
    if (!g.gc) {
      g.gc = SDL_GameControllerOpen(device);
      if (!g.gc) return nullptr;
      g.id = id;
    }
    return g.gc;
  }

  std::shared_ptr<Session> session_;
  bool ok_ = false, hapticOk_ = false, padsOk_ = false;
  std::vector<Pad> pads_;
  std::vector<GPad> gamepads_;
};

// The virtual gamepads attached so far, by id: the opened joystick that sets their state.
struct VirtualPad {
  std::shared_ptr<Session> session;
  SDL_Joystick* js = nullptr;
};
std::map<int, VirtualPad>& VirtualPads() {
  static std::map<int, VirtualPad> pads;
  return pads;
}

}  // namespace

int AttachVirtualGamepad() {
  std::shared_ptr<Session> session = Session::Acquire();
  if (!session || !session->Need(SDL_INIT_JOYSTICK) || !session->Need(SDL_INIT_GAMECONTROLLER))
    return -1;
  const int device = SDL_JoystickAttachVirtual(
      SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, 0);
  if (device < 0) return -1;
  SDL_Joystick* js = SDL_JoystickOpen(device);
  if (!js) {
    SDL_JoystickDetachVirtual(device);
    return -1;
  }
  const int id = SDL_JoystickInstanceID(js);
  VirtualPads()[id] = {std::move(session), js};
  return id;
}

void SetVirtualGamepadButton(int id, int button, bool down) {
  auto it = VirtualPads().find(id);
  if (it == VirtualPads().end()) return;
  // The virtual pad's buttons are numbered as the controller layer numbers its own, which is
  // the order of GamepadButton.
  SDL_JoystickSetVirtualButton(it->second.js, button, down ? SDL_PRESSED : SDL_RELEASED);
}

void SetVirtualGamepadStick(int id, int x, int y) {
  auto it = VirtualPads().find(id);
  if (it == VirtualPads().end()) return;
  SDL_JoystickSetVirtualAxis(it->second.js, SDL_CONTROLLER_AXIS_LEFTX, static_cast<Sint16>(x));
  SDL_JoystickSetVirtualAxis(it->second.js, SDL_CONTROLLER_AXIS_LEFTY, static_cast<Sint16>(y));
}

void DetachVirtualGamepad(int id) {
  auto it = VirtualPads().find(id);
  if (it == VirtualPads().end()) return;
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    if (SDL_JoystickGetDeviceInstanceID(i) == id) {
      SDL_JoystickClose(it->second.js);
      SDL_JoystickDetachVirtual(i);
      break;
    }
  }
  VirtualPads().erase(it);
}

std::unique_ptr<Joysticks> MakeJoysticks(std::shared_ptr<Session> s) {
  return std::make_unique<SdlJoysticks>(std::move(s));
}

}  // namespace platform::sdl
