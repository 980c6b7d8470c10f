// Force-feedback effects: a named tree per input device. Effects are found by dotted names and
// started on the device that owns the tree; a device without force feedback ignores them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "toolkit/errors.h"

class TCustomInput;
class TForceFeedbackEffects;

// Raised by FindEffect for a missing name: "Effect '%s' not found".
KX_DECLARE_ERROR(EForceFeedbackEffectError, Exception);

enum TForceFeedbackEffectType { etNone, etConstantForce, etPeriodic, etCondition };

// One effect and its children. Children are owned by their parent; the root is owned by a device.
class TForceFeedbackEffect {
 public:
  // A free-standing effect with the default values (etNone, Period 50, Power 10000, Time 1000);
  // children are made with Add.
  TForceFeedbackEffect();
  virtual ~TForceFeedbackEffect();
  TForceFeedbackEffect(const TForceFeedbackEffect&) = delete;
  TForceFeedbackEffect& operator=(const TForceFeedbackEffect&) = delete;

  // The parent effect; nullptr for the root.
  TForceFeedbackEffect* Parent() const { return parent_; }
  // The root of the tree this effect belongs to; nullptr when the top is a bare effect.
  TForceFeedbackEffects* Root();
  // The device whose tree this is; nullptr when the tree has no device.
  TCustomInput* Input();
  // Number of children.
  int Count() const { return static_cast<int>(children_.size()); }
  // Child `i` (0 .. Count()-1); EListError outside that range.
  TForceFeedbackEffect& Items(int i) const;
  // Appends a new child with default values and returns it.
  TForceFeedbackEffect& Add();
  // Deletes every child (and their device effects).
  void Clear();
  // Copies the values and, recursively, the children of `source`; Name included.
  void Assign(const TForceFeedbackEffect& source);

  // The effect's name (compared exactly by Find).
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  // What kind of force it is; etNone never reaches the device.
  TForceFeedbackEffectType EffectType() const { return type_; }
  void SetEffectType(TForceFeedbackEffectType t);
  // Strength and direction vector, -10000 .. 10000 each.
  int ConstantX() const { return constantX_; }
  void SetConstantX(int v);
  int ConstantY() const { return constantY_; }
  void SetConstantY(int v);
  // Period of a periodic effect, ms.
  int Period() const { return period_; }
  void SetPeriod(int ms);
  // Gain, 0 .. 10000.
  int Power() const { return power_; }
  void SetPower(int v);
  // Duration, ms; -1 plays until stopped.
  int Time() const { return time_; }
  void SetTime(int ms);
  // Delay before the force starts, ms.
  int StartDelayTime() const { return startDelay_; }
  void SetStartDelayTime(int ms);

  // The child named `name`, descending one level per dot-separated part; nullptr when missing.
  TForceFeedbackEffect* Find(std::string_view name) const;
  // As Find, but raises EForceFeedbackEffectError "Effect '<name>' not found" when missing.
  TForceFeedbackEffect& FindEffect(std::string_view name) const;

  // Starts the children, in order, then this effect on the device; silently does nothing where
  // the device cannot play it.
  void StartEffect();
  // Marks this effect and its children stopped (the platform's effects end by themselves).
  void StopEffect();
  // True after a start that reached the device, until StopEffect.
  bool Playing() const { return playing_; }
  // True while the device holds a prepared effect for this item.
  bool HasDeviceEffect() const { return hasDeviceEffect_; }
  // The prepared device effect (meaningful while HasDeviceEffect()).
  const platform::PeriodicEffect& DeviceEffect() const { return deviceEffect_; }

  // Prepares the device effects of this effect and every descendant where missing.
  void CreateDeviceEffects();
  // Drops the device effects of this effect and every descendant (device released or changed).
  void ReleaseDeviceEffects();
  // Starts again the playing effects of unlimited duration in this subtree (after re-acquiring).
  void RestartUnlimitedEffects();

 private:
  bool CreateDeviceEffect();
  void ChangedValue() { ReleaseDeviceEffect(); }
  void ReleaseDeviceEffect() { hasDeviceEffect_ = false; }

  TForceFeedbackEffect* parent_ = nullptr;
  std::vector<std::unique_ptr<TForceFeedbackEffect>> children_;
  std::string name_;
  TForceFeedbackEffectType type_ = etNone;
  int constantX_ = 0;
  int constantY_ = 0;
  int period_ = 50;
  int power_ = 10000;
  int time_ = 1000;
  int startDelay_ = 0;
  bool playing_ = false;
  bool hasDeviceEffect_ = false;
  platform::PeriodicEffect deviceEffect_;
};

// The root of a device's tree, named "Effects".
class TForceFeedbackEffects : public TForceFeedbackEffect {
 public:
  // An empty root for `input`'s tree (`input` may be nullptr for a free-standing tree).
  explicit TForceFeedbackEffects(TCustomInput* input);
  // The device that plays the tree's effects.
  TCustomInput* Device() const { return input_; }

 private:
  TCustomInput* input_;
};
