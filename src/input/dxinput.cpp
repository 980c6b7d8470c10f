#include "input/dxinput.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "input/device_keys.h"
#include "toolkit/application.h"
#include "toolkit/forms.h"
#include "toolkit/resources.h"
#include "toolkit/translate.h"

namespace {

// The platform when one is installed; the component keeps no pointer into it, so a platform
// replaced between runs (tests do this) is picked up at the next read.
platform::Platform* CurrentPlatform() { return platform::Installed() ? &platform::Get() : nullptr; }

int32_t ReadLE32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

const TKeyAssignList kGameKeyAssigns = [] {
  TKeyAssignList t{};
  t[isUp] = {'K', platform::VK_UP, platform::VK_NUMPAD8};
  t[isDown] = {'J', platform::VK_DOWN, platform::VK_NUMPAD2};
  t[isLeft] = {'A', platform::VK_LEFT, platform::VK_NUMPAD4};
  t[isRight] = {'D', platform::VK_RIGHT, platform::VK_NUMPAD6};
  t[isButton1] = {'Z', platform::VK_SPACE, 0};
  t[isButton2] = {'X', platform::VK_RETURN, 0};
  t[isButton9] = {platform::VK_F1 + 1, 0, 0};  // F2
  return t;
}();

bool DecodeAssigns(std::span<const uint8_t> bytes, TKeyAssignList& out) {
  if (bytes.size() != kAssignsBytes) return false;
  const uint8_t* p = bytes.data();
  for (auto& row : out) {
    for (auto& code : row) {
      code = ReadLE32(p);
      p += 4;
    }
  }
  return true;
}

std::vector<uint8_t> EncodeAssigns(const TKeyAssignList& assigns) {
  std::vector<uint8_t> out;
  out.reserve(kAssignsBytes);
  for (const auto& row : assigns) {
    for (int32_t code : row) {
      auto u = static_cast<uint32_t>(code);
      for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(u >> shift));
    }
  }
  return out;
}

TKeyAssignList GameKeyAssigns() {
  TKeyAssignList t;
  res::Blob blob = res::Find("DXInput.Keyboard.Assigns");
  if (blob && DecodeAssigns({blob.data, blob.size}, t)) return t;
  return kGameKeyAssigns;
}

// ---------------------------------------------------------------------------------------------
TCustomInput::TCustomInput(TCustomDXInput* owner) : dxinput_(owner), effects_(this) {}

TCustomInput::~TCustomInput() = default;

void TCustomInput::SetEnabled(bool on) {
  if (enabled_ == on) return;
  enabled_ = on;
  SettingsChanged();
}

void TCustomInput::SetForceFeedback(bool on) {
  if (forceFeedback_ == on) return;
  forceFeedback_ = on;
  SettingsChanged();
}

bool TCustomInput::CreateDeviceEffect(const TForceFeedbackEffect&, platform::PeriodicEffect&) {
  return false;
}

bool TCustomInput::PlayDeviceEffect(const platform::PeriodicEffect&) { return false; }

void TCustomInput::SettingsChanged() { dxinput_->SettingsChanged(); }

bool TCustomInput::BeginSample() {
  deviceStates_.Clear();
  return initialized_ && dxinput_->MayRead();
}

void TCustomInput::Finalize() {
  effects_.ReleaseDeviceEffects();
  initialized_ = false;
  supportsForce_ = false;
  buttonCount_ = 0;
  deviceStates_.Clear();
}

// ---------------------------------------------------------------------------------------------
TKeyboard::TKeyboard(TCustomDXInput* owner) : TCustomInput(owner), assigns_(kGameKeyAssigns) {}

bool TKeyboard::ReadAssignsProperty(std::string_view name, std::span<const uint8_t> bytes) {
  // "Aissgns" is the name older window resources used for the same data.
  if (name != "Assigns" && name != "Aissgns") return false;
  return DecodeAssigns(bytes, assigns_);
}

void TKeyboard::Initialize() {
  if (!enabled_) return;
  if (dxinput_->DeviceLayer()) {
    platform::Platform* p = CurrentPlatform();
    // A device-layer keyboard that cannot be made reports nothing; it does not fall back.
    if (!p || !p->keyboard) return;
    deviceLayer_ = true;
  }
  buttonCount_ = 32;
  initialized_ = true;
}

void TKeyboard::Finalize() {
  TCustomInput::Finalize();
  deviceLayer_ = false;
  std::memset(keyStates_, 0, sizeof keyStates_);
}

bool TKeyboard::ReadDeviceKeys() {
  platform::Keyboard* kb = CurrentPlatform()->keyboard.get();
  // A lost device gets one more try, as after re-acquiring it.
  if (kb->ScancodeState(deviceKeys_, platform::SC_COUNT) ||
      kb->ScancodeState(deviceKeys_, platform::SC_COUNT)) {
    return true;
  }
  std::memset(deviceKeys_, 0, sizeof deviceKeys_);
  return false;
}

void TKeyboard::Update() {
  std::memset(keyStates_, 0, sizeof keyStates_);
  if (!BeginSample()) return;
  platform::Platform* p = CurrentPlatform();
  if (!p || !p->keyboard) return;
  if (deviceLayer_) {
    if (!ReadDeviceKeys()) return;
    // Unmapped keys land on code 0, which no table row can name.
    for (int sc = 0; sc < platform::SC_COUNT; ++sc) {
      if (deviceKeys_[sc] & 0x80) keyStates_[dxinput::VkFromDeviceKey(sc)] = 0x80;
    }
  } else {
    p->keyboard->VirtualKeyState(keyStates_);
  }
  for (int state = 0; state < kInputStateCount; ++state) {
    for (int32_t code : assigns_[state]) {
      if (code >= 1 && code <= 255 && (keyStates_[code] & 0x80)) {
        deviceStates_.Include(state);
        break;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
TJoystick::TJoystick(TCustomDXInput* owner) : TCustomInput(owner) {}

void TJoystick::SetID(int id) {
  if (id_ == id) return;
  id_ = id;
  SettingsChanged();
}

void TJoystick::SetDeadZone(int axis, int percent) {
  deadZone_[axis] = percent < 0 ? 0 : percent > 100 ? 100 : percent;
}

void TJoystick::SetRange(int axis, int range) { range_[axis] = range < 0 ? 0 : range; }

int TJoystick::ScaleAxis(int p, int axisMin, int axisMax, int deadZone, int range) {
  int64_t r = (static_cast<int64_t>(axisMax) - axisMin) / 2;
  // Measured from the middle of the travel. (Taking r itself as the middle only works for an
  // axis that starts at 0; the platform's axes run from -32768.)
  int64_t q = static_cast<int64_t>(p) - (axisMin + r);
  int64_t dz = r * deadZone / 100;
  if (r - dz <= 0) return 0;
  if ((q < 0 ? -q : q) <= dz) return 0;
  // 128-bit product: a full travel times a large range does not fit in 64 bits.
  __int128 num = static_cast<__int128>(q > 0 ? q - dz : q + dz) * range;
  __int128 den = r - dz;
  __int128 quot = num / den;
  __int128 rem = num % den;
  __int128 twice = 2 * (rem < 0 ? -rem : rem);
  if (twice > den || (twice == den && (quot & 1))) quot += num < 0 ? -1 : 1;
  // A position past the reported maximum must not read beyond the range.
  if (quot > range) quot = range;
  if (quot < -static_cast<__int128>(range)) quot = -static_cast<__int128>(range);
  return static_cast<int>(quot);
}

void TJoystick::Initialize() {
  if (!enabled_ || id_ < 0) return;
  platform::Platform* p = CurrentPlatform();
  platform::Joysticks* js = p ? p->joysticks.get() : nullptr;
  knownCount_ = js ? js->Count() : 0;
  if (js && id_ < knownCount_) {
    index_ = id_;
    js->AxisRange(index_, axisMin_, axisMax_);
    buttonCount_ = js->ButtonCount(index_);
    deviceLayer_ = dxinput_->DeviceLayer();
    if (deviceLayer_) {
      periodic_ = js->SupportsPeriodic(index_);
      rumble_ = js->SupportsRumble(index_);
      supportsForce_ = periodic_ || rumble_;
    }
  }
  // Without a joystick at ID the device is still set up: it samples as "nothing pressed".
  initialized_ = true;
}

void TJoystick::Finalize() {
  TCustomInput::Finalize();
  index_ = -1;
  knownCount_ = -1;
  axisMin_ = axisMax_ = 0;
  deviceLayer_ = periodic_ = rumble_ = false;
  axis_[0] = axis_[1] = axis_[2] = 0;
  std::memset(buttons_, 0, sizeof buttons_);
}

void TJoystick::DevicesChanged() {
  if (!dxinput_->IsSetUp()) return;
  Finalize();
  Initialize();
  if (initialized_) effects_.CreateDeviceEffects();
}

void TJoystick::Update() {
  axis_[0] = axis_[1] = axis_[2] = 0;
  std::memset(buttons_, 0, sizeof buttons_);
  if (!BeginSample()) return;
  platform::Platform* p = CurrentPlatform();
  platform::Joysticks* js = p ? p->joysticks.get() : nullptr;
  if (!js) return;
  // Plugging is also announced by an event, but the count is cheap to ask and catches a change
  // whoever handles the event.
  if (js->Count() != knownCount_) DevicesChanged();
  if (index_ < 0) return;
  platform::JoystickState st;
  if (!js->Read(index_, st)) {
    DevicesChanged();
    if (index_ < 0 || !js->Read(index_, st)) return;
  }
  axis_[0] = ScaleAxis(st.axisX, axisMin_, axisMax_, deadZone_[0], range_[0]);
  axis_[1] = ScaleAxis(st.axisY, axisMin_, axisMax_, deadZone_[1], range_[1]);
  axis_[2] = ScaleAxis(st.axisZ, axisMin_, axisMax_, deadZone_[2], range_[2]);
  int buttons = buttonCount_ < 32 ? buttonCount_ : 32;
  for (int i = 0; i < buttons; ++i) {
    if (st.buttons >> i & 1u) {
      buttons_[i] = 0x80;
      deviceStates_.Include(isButton1 + i);
    }
  }
  if (axis_[0] < 0) deviceStates_.Include(isLeft);
  if (axis_[0] > 0) deviceStates_.Include(isRight);
  if (axis_[1] < 0) deviceStates_.Include(isUp);
  if (axis_[1] > 0) deviceStates_.Include(isDown);
}

bool TJoystick::CreateDeviceEffect(const TForceFeedbackEffect& effect,
                                   platform::PeriodicEffect& out) {
  if (!deviceLayer_ || index_ < 0 || !supportsForce_ || !forceFeedback_) return false;
  // Constant forces and conditions have no platform counterpart; the game uses neither.
  if (effect.EffectType() != etPeriodic) return false;
  auto ms = [](int v) { return v < 0 ? 0u : static_cast<uint32_t>(v); };
  double x = effect.ConstantX(), y = effect.ConstantY();
  out = {};
  out.directionX = -effect.ConstantX();
  out.directionY = -effect.ConstantY();
  out.magnitude = static_cast<int>(std::trunc(std::sqrt(x * x + y * y)));
  out.periodUs = ms(effect.Period()) * 1000u;
  out.durationUs =
      effect.Time() == -1 ? std::numeric_limits<uint32_t>::max() : ms(effect.Time()) * 1000u;
  out.gain = effect.Power();
  out.startDelayMs = ms(effect.StartDelayTime());
  return true;
}

bool TJoystick::PlayDeviceEffect(const platform::PeriodicEffect& effect) {
  platform::Platform* p = CurrentPlatform();
  platform::Joysticks* js = p ? p->joysticks.get() : nullptr;
  if (!js || index_ < 0) return false;
  auto play = [&] {
    if (periodic_) return js->PlayPeriodic(index_, effect);
    // A rumble motor has no waveform: the pulse becomes a rumble of the same length and force.
    double strength = effect.magnitude / 10000.0;
    if (strength > 1) strength = 1;
    strength *= effect.gain / 10000.0;
    if (strength < 0) strength = 0;
    uint32_t ms = effect.durationUs == std::numeric_limits<uint32_t>::max()
                      ? effect.durationUs
                      : effect.durationUs / 1000u;
    return rumble_ && js->PlayRumble(index_, static_cast<float>(strength), ms);
  };
  // A refused start gets one more try, as after re-acquiring the device.
  return play() || play();
}

// ---------------------------------------------------------------------------------------------
TMouse::TMouse(TCustomDXInput* owner) : TCustomInput(owner) {}

void TMouse::Initialize() {
  if (!enabled_) return;
  buttonCount_ = 3;
  initialized_ = true;
}

void TMouse::Update() { BeginSample(); }

// ---------------------------------------------------------------------------------------------
TGamepad::TGamepad(TCustomDXInput* owner) : TCustomInput(owner) {}

void TGamepad::Initialize() {
  if (!enabled_) return;
  buttonCount_ = 15;
  initialized_ = true;
}

void TGamepad::Update() {
  count_ = 0;
  if (!BeginSample()) return;
  platform::Platform* p = CurrentPlatform();
  platform::Joysticks* js = p ? p->joysticks.get() : nullptr;
  if (!js) return;
  // Asked every frame: a pad plugged in or out is seen at the next frame, whoever heard of it.
  count_ = js->GamepadCount();
  for (int i = 0; i < count_; ++i) {
    platform::GamepadState st;
    if (!js->ReadGamepad(i, st)) continue;
    auto held = [&st](int bit) { return (st.buttons >> bit & 1u) != 0; };
    if (st.leftX < -kStickThreshold || held(platform::kPadLeft)) deviceStates_.Include(isLeft);
    if (st.leftX > kStickThreshold || held(platform::kPadRight)) deviceStates_.Include(isRight);
    if (st.leftY < -kStickThreshold || held(platform::kPadUp)) deviceStates_.Include(isUp);
    if (st.leftY > kStickThreshold || held(platform::kPadDown)) deviceStates_.Include(isDown);
    if (held(platform::kPadA)) deviceStates_.Include(isButton1);
  }
}

bool TGamepad::Rumble(const TForceFeedbackEffect& effect) {
  if (!initialized_ || !dxinput_->MayRead()) return false;
  platform::Platform* p = CurrentPlatform();
  platform::Joysticks* js = p ? p->joysticks.get() : nullptr;
  if (!js) return false;
  // The same force a rumble-only joystick gets for the effect.
  const double x = effect.ConstantX(), y = effect.ConstantY();
  double strength = std::min(std::trunc(std::sqrt(x * x + y * y)) / 10000.0, 1.0);
  strength *= effect.Power() / 10000.0;
  if (strength < 0) strength = 0;
  // An endless effect would shake for ever: a pad gets a second of it at most.
  const uint32_t ms = effect.Time() < 0 ? 1000u : static_cast<uint32_t>(effect.Time());
  bool any = false;
  const int n = js->GamepadCount();
  for (int i = 0; i < n; ++i) any = js->RumbleGamepad(i, static_cast<float>(strength), ms) || any;
  return any;
}

// ---------------------------------------------------------------------------------------------
namespace {

TForm* NearestForm(TComponent* c) {
  for (; c; c = c->Owner()) {
    if (auto* form = dynamic_cast<TForm*>(c)) return form;
  }
  return nullptr;
}

}  // namespace

TCustomDXInput::TCustomDXInput(TComponent* owner)
    : TComponent(owner),
      form_(NearestForm(owner)),
      joystick_(this),
      keyboard_(this),
      mouse_(this),
      gamepad_(this) {
  if (!form_) throw EDXInputError(toolkit::Tr("Form not found"));
  if (Application) {
    hookedApp_ = Application;
    activationHook_ = Application->AddActivationHook([this](bool active) {
      if (active) Activated();
    });
    // Not consumed: other components may want to hear of joysticks too.
    eventHook_ = Application->AddEventHook([this](const platform::Event& e) {
      if (e.kind == platform::EventKind::JoystickChanged) JoysticksChanged();
      return false;
    });
  }
}

TCustomDXInput::~TCustomDXInput() {
  // The hooks belong to the application they were added to; a later one never heard of them.
  if (hookedApp_ && hookedApp_ == Application) {
    hookedApp_->RemoveActivationHook(activationHook_);
    hookedApp_->RemoveEventHook(eventHook_);
  }
  Finalize();
}

TCustomInput& TCustomDXInput::Devices(int i) {
  switch (i) {
    case 0:
      return joystick_;
    case 1:
      return keyboard_;
    case 2:
      return mouse_;
  }
  throw EListError(Format(toolkit::Tr("Index of the list exceeds the range. (%d)"), i));
}

void TCustomDXInput::SetUseDirectInput(bool on) {
  if (useDirectInput_ == on) return;
  useDirectInput_ = on;
  SettingsChanged();
}

void TCustomDXInput::SettingsChanged() {
  // While the form resource is being read the final values are not known yet; Loaded sets up.
  if (setUp_ && !Loading()) Initialize();
}

bool TCustomDXInput::MayRead() const {
  if (!activeOnly_) return true;
  platform::Platform* p = CurrentPlatform();
  return p && p->video && p->video->IsForeground();
}

void TCustomDXInput::Finalize() {
  for (int i = 0; i < DeviceCount(); ++i) Devices(i).Finalize();
  static_cast<TCustomInput&>(gamepad_).Finalize();
  deviceLayer_ = false;
}

void TCustomDXInput::Initialize() {
  Finalize();
  deviceLayer_ = useDirectInput_ && CurrentPlatform() != nullptr;
  for (int i = 0; i < DeviceCount(); ++i) Devices(i).Initialize();
  static_cast<TCustomInput&>(gamepad_).Initialize();
  for (int i = 0; i < DeviceCount(); ++i) {
    TCustomInput& d = Devices(i);
    if (d.Initialized()) d.Effects().CreateDeviceEffects();
  }
  setUp_ = true;
  Update();
}

void TCustomDXInput::Loaded() {
  TComponent::Loaded();
  Initialize();
}

void TCustomDXInput::Update() {
  if (!setUp_) Initialize();  // Initialize ends with an Update of its own
  TInputStates s;
  for (int i = 0; i < DeviceCount(); ++i) {
    TCustomInput& d = Devices(i);
    d.Update();
    if (d.BindInputStates()) s |= d.DeviceStates();
  }
  gamepad_.Update();
  if (gamepad_.BindInputStates()) s |= gamepad_.DeviceStates();
  // States follows the edges of the devices' states only, so a state a caller took out of
  // States stays out while its key is held.
  for (int t = 0; t < kInputStateCount; ++t) {
    bool now = s.Contains(t), before = previous_.Contains(t);
    if (now && !before) states_.Include(t);
    if (!now && before) states_.Exclude(t);
  }
  previous_ = s;
}

void TCustomDXInput::Activated() {
  if (!MayRead()) return;
  for (int i = 0; i < DeviceCount(); ++i) {
    TCustomInput& d = Devices(i);
    if (!d.Initialized()) continue;
    d.Effects().RestartUnlimitedEffects();
    d.Effects().CreateDeviceEffects();
  }
}

// ---------------------------------------------------------------------------------------------
void ReadGameInputProperties(TCustomDXInput& input) {
  input.SetActiveOnly(true);
  input.SetUseDirectInput(true);

  TKeyboard& kb = input.Keyboard();
  kb.SetAssigns(GameKeyAssigns());
  kb.SetForceFeedback(false);
  kb.Effects().Assign(TForceFeedbackEffects(nullptr));

  TJoystick& js = input.Joystick();
  js.SetID(0);
  js.SetAutoCenter(true);
  js.SetDeadZoneX(50);
  js.SetDeadZoneY(50);
  js.SetDeadZoneZ(50);
  js.SetRangeX(300);
  js.SetRangeY(300);
  js.SetRangeZ(300);
  js.SetForceFeedback(true);
  TForceFeedbackEffects& root = js.Effects();
  root.Assign(TForceFeedbackEffects(nullptr));
  TForceFeedbackEffect& eff1 = root.Add();
  eff1.SetName("eff1");
  eff1.SetEffectType(etPeriodic);
  eff1.SetConstantX(10000);
  eff1.SetConstantY(-10000);
  eff1.SetPeriod(30);
  eff1.SetPower(10000);
  eff1.SetTime(50);
  eff1.SetStartDelayTime(0);

  TMouse& mouse = input.Mouse();
  mouse.SetEnabled(false);
  mouse.SetBindInputStates(false);
  mouse.Effects().Assign(TForceFeedbackEffects(nullptr));
}
