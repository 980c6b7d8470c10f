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

// While held, a restart counts from the moment of holding: letting go moves it by the held time.
void TTimer::Restart() { due_ = (paused_ ? pausedAt_ : Now()) + interval_; }

void TTimer::SetPaused(bool on) {
  if (on == paused_) return;
  const uint32_t now = Now();
  if (on) {
    pausedAt_ = now;
  } else {
    due_ += now - pausedAt_;
  }
  paused_ = on;
}

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
  if (!enabled_ || interval_ == 0 || firing_ || paused_ || !OnTimer) return false;
  return static_cast<int32_t>(now - due_) >= 0;
}

uint32_t TTimer::MsUntilDue(uint32_t now) const {
  if (!enabled_ || interval_ == 0 || paused_ || !OnTimer) return UINT32_MAX;
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
