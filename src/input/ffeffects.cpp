#include "input/ffeffects.h"

#include "input/dxinput.h"
#include "toolkit/translate.h"

TForceFeedbackEffect::TForceFeedbackEffect() = default;

TForceFeedbackEffect::~TForceFeedbackEffect() = default;

TForceFeedbackEffects* TForceFeedbackEffect::Root() {
  TForceFeedbackEffect* e = this;
  while (e->parent_) e = e->parent_;
  return dynamic_cast<TForceFeedbackEffects*>(e);
}

TCustomInput* TForceFeedbackEffect::Input() {
  TForceFeedbackEffects* root = Root();
  return root ? root->Device() : nullptr;
}

TForceFeedbackEffect& TForceFeedbackEffect::Items(int i) const {
  if (i < 0 || i >= Count())
    throw EListError(Format(toolkit::Tr("Index of the list exceeds the range. (%d)"), i));
  return *children_[i];
}

TForceFeedbackEffect& TForceFeedbackEffect::Add() {
  children_.push_back(std::make_unique<TForceFeedbackEffect>());
  children_.back()->parent_ = this;
  return *children_.back();
}

void TForceFeedbackEffect::Clear() { children_.clear(); }

void TForceFeedbackEffect::Assign(const TForceFeedbackEffect& source) {
  if (&source == this) return;
  name_ = source.name_;
  type_ = source.type_;
  constantX_ = source.constantX_;
  constantY_ = source.constantY_;
  period_ = source.period_;
  power_ = source.power_;
  time_ = source.time_;
  startDelay_ = source.startDelay_;
  playing_ = false;
  ReleaseDeviceEffect();
  Clear();
  for (const auto& child : source.children_) Add().Assign(*child);
}

void TForceFeedbackEffect::SetEffectType(TForceFeedbackEffectType t) {
  type_ = t;
  ChangedValue();
}
void TForceFeedbackEffect::SetConstantX(int v) {
  constantX_ = v;
  ChangedValue();
}
void TForceFeedbackEffect::SetConstantY(int v) {
  constantY_ = v;
  ChangedValue();
}
void TForceFeedbackEffect::SetPeriod(int ms) {
  period_ = ms;
  ChangedValue();
}
void TForceFeedbackEffect::SetPower(int v) {
  power_ = v;
  ChangedValue();
}
void TForceFeedbackEffect::SetTime(int ms) {
  time_ = ms;
  ChangedValue();
}
void TForceFeedbackEffect::SetStartDelayTime(int ms) {
  startDelay_ = ms;
  ChangedValue();
}

TForceFeedbackEffect* TForceFeedbackEffect::Find(std::string_view name) const {
  const TForceFeedbackEffect* e = this;
  for (;;) {
    size_t dot = name.find('.');
    std::string_view part = name.substr(0, dot);
    const TForceFeedbackEffect* next = nullptr;
    for (const auto& child : e->children_) {
      if (child->name_ == part) {
        next = child.get();
        break;
      }
    }
    if (!next) return nullptr;
    e = next;
    if (dot == std::string_view::npos) return const_cast<TForceFeedbackEffect*>(e);
    name.remove_prefix(dot + 1);
  }
}

TForceFeedbackEffect& TForceFeedbackEffect::FindEffect(std::string_view name) const {
  TForceFeedbackEffect* e = Find(name);
  if (!e) {
    throw EForceFeedbackEffectError(
        Format(toolkit::Tr("Effect '%.*s' not found"), static_cast<int>(name.size()), name.data()));
  }
  return *e;
}

bool TForceFeedbackEffect::CreateDeviceEffect() {
  if (hasDeviceEffect_) return true;
  if (type_ == etNone) return false;
  TCustomInput* input = Input();
  if (!input) return false;
  hasDeviceEffect_ = input->CreateDeviceEffect(*this, deviceEffect_);
  return hasDeviceEffect_;
}

void TForceFeedbackEffect::CreateDeviceEffects() {
  CreateDeviceEffect();
  for (auto& child : children_) child->CreateDeviceEffects();
}

void TForceFeedbackEffect::ReleaseDeviceEffects() {
  ReleaseDeviceEffect();
  for (auto& child : children_) child->ReleaseDeviceEffects();
}

void TForceFeedbackEffect::StartEffect() {
  for (auto& child : children_) child->StartEffect();
  if (!CreateDeviceEffect()) return;
  // A device effect exists only on a device that can play it, so Input() is set here.
  if (Input()->PlayDeviceEffect(deviceEffect_)) playing_ = true;
}

void TForceFeedbackEffect::StopEffect() {
  for (auto& child : children_) child->StopEffect();
  playing_ = false;
}

void TForceFeedbackEffect::RestartUnlimitedEffects() {
  for (auto& child : children_) child->RestartUnlimitedEffects();
  if (playing_ && time_ == -1 && CreateDeviceEffect()) Input()->PlayDeviceEffect(deviceEffect_);
}

TForceFeedbackEffects::TForceFeedbackEffects(TCustomInput* input) : input_(input) {
  SetName("Effects");
}
