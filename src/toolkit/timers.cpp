#include "toolkit/timers.h"

#include <cstdint>

#include "platform/platform.h"
#include "toolkit/application.h"

namespace {
uint32_t Now() { return platform::Installed() ? platform::Get().clock->Milliseconds() : 0; }
}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner) {
  Restart();
  if (Application != nullptr) Application->RegisterTimer(this);
}

TTimer::~TTimer() {
  if (Application != nullptr) Application->UnregisterTimer(this);
}

void TTimer::Restart() { due_ = Now() + interval_; }

void TTimer::SetInterval(uint32_t ms) {
  if (ms == interval_) return;
  interval_ = ms;
  Restart();
}

void TTimer::SetEnabled(bool on) {
  if (on == enabled_) return;
  enabled_ = on;
  // Switching on counts a whole Interval from now (a serve timer restarted by disabling and
  // enabling waits its full time again).
  if (on) Restart();
}

bool TTimer::Due(uint32_t now) const {
  if (!enabled_ || interval_ == 0 || firing_ || !OnTimer) return false;
  return static_cast<int32_t>(now - due_) >= 0;
}

uint32_t TTimer::MsUntilDue(uint32_t now) const {
  if (!enabled_ || interval_ == 0 || !OnTimer) return UINT32_MAX;
  int32_t left = static_cast<int32_t>(due_ - now);
  return left <= 0 ? 0 : static_cast<uint32_t>(left);
}

void TTimer::Fire(uint32_t now) {
  // Late ticks are not made up: the next one is a full Interval after this one.
  due_ = now + interval_;
  firing_ = true;
  try {
    if (OnTimer) OnTimer(this);
  } catch (...) {
    firing_ = false;
    throw;
  }
  firing_ = false;
}
