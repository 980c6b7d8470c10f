// The input component: the keyboard and a joystick turned into one set of logical input states
// (up, down, left, right and 32 buttons) once per frame, the joystick's scaled axes, and the
// joystick's force-feedback effects started by name.
//
//   DXInput->Update();                                    // once per frame
//   if (DXInput->States().Contains(isLeft)) ...
//   DXInput->Joystick().Effects().FindEffect("eff1").StartEffect();
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "input/ffeffects.h"
#include "input/input_states.h"
#include "platform/keys.h"
#include "platform/platform.h"
#include "toolkit/classes.h"
#include "toolkit/errors.h"

// Raised when an input component is created on no form: "Form not found".
KX_DECLARE_ERROR(EDXInputError, Exception);

class TApplication;
class TCustomDXInput;
class TForm;

// Up to three virtual-key codes per state (0 = none); codes outside 1 .. 255 never match.
using TKeyAssign = std::array<int32_t, 3>;
// One row per input state, in state order.
using TKeyAssignList = std::array<TKeyAssign, kInputStateCount>;

// Size of the stored key table: 36 rows x 3 little-endian 32-bit codes.
constexpr size_t kAssignsBytes = kInputStateCount * 3 * 4;
// The game's key table: K/Up/keypad 8, J/Down/keypad 2, A/Left/keypad 4, D/Right/keypad 6,
// Z/Space for button 1, X/Enter for button 2, F2 for button 9.
extern const TKeyAssignList kGameKeyAssigns;
// Decodes a stored key table; false (and `out` untouched) unless `bytes` is exactly 432 bytes.
bool DecodeAssigns(std::span<const uint8_t> bytes, TKeyAssignList& out);
// Encodes `assigns` into its 432-byte stored form.
std::vector<uint8_t> EncodeAssigns(const TKeyAssignList& assigns);
// The game's key table as carried in the program ("DXInput.Keyboard.Assigns"), or the built-in
// kGameKeyAssigns when the program carries no valid one.
TKeyAssignList GameKeyAssigns();

// ---------------------------------------------------------------------------------------------
// One input device. Its sample fills DeviceStates; the component merges the bound devices.
class TCustomInput {
 public:
  virtual ~TCustomInput();
  TCustomInput(const TCustomInput&) = delete;
  TCustomInput& operator=(const TCustomInput&) = delete;

  // The component that owns this device.
  TCustomDXInput& DXInput() const { return *dxinput_; }
  // Whether this device's states are merged into the component's (default true).
  bool BindInputStates() const { return bindInputStates_; }
  void SetBindInputStates(bool on) { bindInputStates_ = on; }
  // Whether the device is set up at all (default true); a change re-runs the set-up.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  // Whether effects may play on this device; a change re-runs the set-up.
  bool ForceFeedback() const { return forceFeedback_; }
  void SetForceFeedback(bool on);
  // The device's effect tree (root "Effects").
  TForceFeedbackEffects& Effects() { return effects_; }
  const TForceFeedbackEffects& Effects() const { return effects_; }
  // Number of buttons the device reports (keyboard: 32).
  int ButtonCount() const { return buttonCount_; }
  // True once set up; only an Initialized device is sampled.
  bool Initialized() const { return initialized_; }
  // True when the device can play force-feedback effects.
  bool SupportsForce() const { return supportsForce_; }
  // This device's states from its last sample.
  const TInputStates& DeviceStates() const { return deviceStates_; }

  // Samples the device: clears its states, then (if Initialized and the foreground rule allows)
  // reads it and fills DeviceStates. Allocates nothing.
  virtual void Update() = 0;

  // Prepares in `out` the platform effect that plays `effect`; false when this device cannot
  // play it (then nothing is prepared and the effect is never started).
  virtual bool CreateDeviceEffect(const TForceFeedbackEffect& effect,
                                  platform::PeriodicEffect& out);
  // Plays a prepared effect once; false when the device refused it.
  virtual bool PlayDeviceEffect(const platform::PeriodicEffect& effect);

 protected:
  explicit TCustomInput(TCustomDXInput* owner);
  // Clears DeviceStates; true when the device may be read now (Initialized, and with ActiveOnly
  // the game window in front).
  bool BeginSample();
  // Sets the device up for the current properties (after Finalize).
  virtual void Initialize() = 0;
  // Releases the device: not Initialized, no force, no device effects.
  virtual void Finalize();
  // Re-runs the component's set-up after a property change (once it has been set up).
  void SettingsChanged();

  TCustomDXInput* dxinput_;
  bool bindInputStates_ = true;
  bool enabled_ = true;
  bool forceFeedback_ = false;
  TForceFeedbackEffects effects_;
  int buttonCount_ = 0;
  bool initialized_ = false;
  bool supportsForce_ = false;
  TInputStates deviceStates_;

  friend class TCustomDXInput;
};

// ---------------------------------------------------------------------------------------------
class TKeyboard : public TCustomInput {
 public:
  // A keyboard of `owner` with the game's built-in key table.
  explicit TKeyboard(TCustomDXInput* owner);

  // The key table (default: the game's built-in table).
  const TKeyAssignList& Assigns() const { return assigns_; }
  void SetAssigns(const TKeyAssignList& assigns) { assigns_ = assigns; }
  // Reads the stored key table property: `name` "Assigns" or the older "Aissgns", exactly 432
  // bytes. Returns false and keeps the table for any other name or size.
  bool ReadAssignsProperty(std::string_view name, std::span<const uint8_t> bytes);
  // The stored form of the table, always written under the name "Assigns".
  std::vector<uint8_t> WriteAssignsProperty() const { return EncodeAssigns(assigns_); }

  // 256 bytes indexed by virtual-key code from the last sample; bit 7 set = key down.
  const uint8_t* KeyStates() const { return keyStates_; }
  // True when virtual key `vk` (0 .. 255) was down at the last sample.
  bool KeyDown(int vk) const { return vk >= 0 && vk < 256 && (keyStates_[vk] & 0x80); }
  // True when the keyboard is read by physical key numbers (the device layer).
  bool DeviceLayer() const { return deviceLayer_; }

  // Reads the keys (physical keys mapped through the device table, or the window system's key
  // table) and sets every state whose row names a key that is down.
  void Update() override;

 protected:
  void Initialize() override;
  void Finalize() override;

 private:
  bool ReadDeviceKeys();

  TKeyAssignList assigns_;
  uint8_t keyStates_[256] = {};
  uint8_t deviceKeys_[platform::SC_COUNT] = {};
  bool deviceLayer_ = false;
};

// ---------------------------------------------------------------------------------------------
class TJoystick : public TCustomInput {
 public:
  // A joystick of `owner` with the component's defaults (ID 0, DeadZone 50, Range 1000).
  explicit TJoystick(TCustomDXInput* owner);

  // Which joystick to use, counted among those present (0 = the first, default 0; negative =
  // none); a change re-runs the set-up.
  int ID() const { return id_; }
  void SetID(int id);
  // The self-centring spring (default true; kept for the device, the platform has no spring).
  bool AutoCenter() const { return autoCenter_; }
  void SetAutoCenter(bool on) { autoCenter_ = on; }
  // Central part of each axis's travel that reads 0, percent 0 .. 100 (default 50; clamped).
  int DeadZoneX() const { return deadZone_[0]; }
  int DeadZoneY() const { return deadZone_[1]; }
  int DeadZoneZ() const { return deadZone_[2]; }
  void SetDeadZoneX(int percent) { SetDeadZone(0, percent); }
  void SetDeadZoneY(int percent) { SetDeadZone(1, percent); }
  void SetDeadZoneZ(int percent) { SetDeadZone(2, percent); }
  // Each axis reads -range .. +range (default 1000; negative values read as 0).
  int RangeX() const { return range_[0]; }
  int RangeY() const { return range_[1]; }
  int RangeZ() const { return range_[2]; }
  void SetRangeX(int range) { SetRange(0, range); }
  void SetRangeY(int range) { SetRange(1, range); }
  void SetRangeZ(int range) { SetRange(2, range); }
  // Scaled axis positions of the last sample; 0 without a joystick.
  int AxisX() const { return axis_[0]; }
  int AxisY() const { return axis_[1]; }
  int AxisZ() const { return axis_[2]; }
  // 32 button bytes of the last sample; bit 7 set = button down.
  const uint8_t* Buttons() const { return buttons_; }
  // The platform's index of the joystick in use; -1 when none.
  int DeviceIndex() const { return index_; }
  // True when the joystick in use was found through the device layer (force feedback possible).
  bool DeviceLayer() const { return deviceLayer_; }

  // Scales raw position `p` of an axis travelling `axisMin` .. `axisMax`: the central
  // `deadZone` percent reads 0, the rest maps linearly onto 1 .. `range` either side, rounded
  // to nearest (ties to even), never beyond +-range.
  static int ScaleAxis(int p, int axisMin, int axisMax, int deadZone, int range);

  // Samples the joystick; first looks again for the joystick at ID when the number of joysticks
  // present has changed since the set-up.
  void Update() override;
  // Finds again the joystick at position ID (a joystick was plugged in or out).
  void DevicesChanged();

  bool CreateDeviceEffect(const TForceFeedbackEffect& effect,
                          platform::PeriodicEffect& out) override;
  bool PlayDeviceEffect(const platform::PeriodicEffect& effect) override;

 protected:
  void Initialize() override;
  void Finalize() override;

 private:
  void SetDeadZone(int axis, int percent);
  void SetRange(int axis, int range);

  int id_ = 0;
  bool autoCenter_ = true;
  int deadZone_[3] = {50, 50, 50};
  int range_[3] = {1000, 1000, 1000};
  int axis_[3] = {};
  uint8_t buttons_[32] = {};
  int index_ = -1;
  int knownCount_ = -1;
  int axisMin_ = 0;
  int axisMax_ = 0;
  bool deviceLayer_ = false;
  bool periodic_ = false;
  bool rumble_ = false;
};

// ---------------------------------------------------------------------------------------------
// The mouse: disabled in the game. When enabled it is set up but contributes no states.
class TMouse : public TCustomInput {
 public:
  explicit TMouse(TCustomDXInput* owner);
  // Clears DeviceStates; the mouse produces no states.
  void Update() override;

 protected:
  void Initialize() override;
};

// ---------------------------------------------------------------------------------------------
// Every gamepad present (a controller the mapping database knows), read as one device: the left
// stick and the d-pad give the four directions, A gives button 1. Not among Devices: the
// component merges its states after theirs. Start, Back and A also reach the windows as keys.
class TGamepad : public TCustomInput {
 public:
  explicit TGamepad(TCustomDXInput* owner);
  // Stick travel (of 32767) past which the left stick reads as a direction.
  static constexpr int kStickThreshold = 12000;
  // Gamepads present at the last sample.
  int Count() const { return count_; }
  // Reads every gamepad present and sets the states any of them holds.
  void Update() override;
  // Rumbles every gamepad present as `effect` pulses a joystick: the strength of its force
  // (magnitude of its constant, at most full, times its power) for its time. False when none
  // could (none present, none with rumble, or not set up).
  bool Rumble(const TForceFeedbackEffect& effect);

 protected:
  void Initialize() override;

 private:
  int count_ = 0;
};

// ---------------------------------------------------------------------------------------------
class TCustomDXInput : public TComponent {
 public:
  // Joins `owner`; raises EDXInputError "Form not found" when no owner up the chain is a form.
  // Hooks the application's activation and joystick notices when an application exists.
  explicit TCustomDXInput(TComponent* owner);
  ~TCustomDXInput() override;

  // The nearest form among the owners.
  TForm* OwnerForm() const { return form_; }
  // The keyboard device (owned by the component).
  TKeyboard& Keyboard() { return keyboard_; }
  // The joystick device (owned by the component).
  TJoystick& Joystick() { return joystick_; }
  // The mouse device (owned by the component; disabled in the game).
  TMouse& Mouse() { return mouse_; }
  // The gamepads (owned by the component; merged into States after the devices).
  TGamepad& Gamepad() { return gamepad_; }
  // The devices in list order: joystick, keyboard, mouse.
  int DeviceCount() const { return 3; }
  // Device `i` of DeviceCount(); EListError outside 0 .. 2.
  TCustomInput& Devices(int i);

  // Devices read nothing while the game window is not in front (default true).
  bool ActiveOnly() const { return activeOnly_; }
  void SetActiveOnly(bool on) { activeOnly_ = on; }
  // Read devices through the platform's device layer (physical keys, force feedback) rather
  // than the window system's key table (default true); a change re-runs the set-up.
  bool UseDirectInput() const { return useDirectInput_; }
  void SetUseDirectInput(bool on);
  // True when the set-up obtained the device layer.
  bool DeviceLayer() const { return deviceLayer_; }

  // The merged states the game reads; callers may remove states (they stay removed until their
  // source is released and pressed again).
  TInputStates& States() { return states_; }
  const TInputStates& States() const { return states_; }
  // The merged device states of the previous Update.
  const TInputStates& PreviousStates() const { return previous_; }

  // Sets the devices up for the current properties and samples once (the form resource has been
  // read). Runs by itself before the first Update if nobody called it; later property changes
  // that need it run it again.
  void Loaded() override;
  // True once the set-up has run.
  bool IsSetUp() const { return setUp_; }
  // Samples every device and recomputes States from the edges of the merged device states.
  // Allocates nothing.
  void Update();
  // The game window or the application became active: restarts endless effects and prepares
  // missing device effects.
  void Activated();
  // A joystick was plugged in or out: the joystick looks again for its device.
  void JoysticksChanged() { joystick_.DevicesChanged(); }
  // True when the devices may be read now (ActiveOnly off, or the game window in front).
  bool MayRead() const;

 private:
  friend class TCustomInput;
  void Initialize();
  void Finalize();
  // Re-runs the set-up after a property change, once the component has been set up.
  void SettingsChanged();

  TForm* form_ = nullptr;
  TApplication* hookedApp_ = nullptr;
  int activationHook_ = 0;
  int eventHook_ = 0;
  TJoystick joystick_;
  TKeyboard keyboard_;
  TMouse mouse_;
  TGamepad gamepad_;
  bool activeOnly_ = true;
  bool useDirectInput_ = true;
  bool deviceLayer_ = false;
  bool setUp_ = false;
  TInputStates states_;
  TInputStates previous_;
};

// The published form of the component.
class TDXInput : public TCustomDXInput {
 public:
  using TCustomDXInput::TCustomDXInput;
};

// Gives `input` the game's property values, as the main window's resource data holds them:
// ActiveOnly and UseDirectInput on; the game's key table; joystick ID 0, AutoCenter, DeadZone 50
// and Range 300 on every axis, ForceFeedback on, and the effect "eff1" (periodic, 10000/-10000,
// period 30 ms, gain 10000, 50 ms) under its root; keyboard ForceFeedback off; mouse disabled and
// unbound. Call before Loaded.
void ReadGameInputProperties(TCustomDXInput& input);
