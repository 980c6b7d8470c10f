#include "display/dxtimer.h"

#include <algorithm>

#include "platform/platform.h"
#include "toolkit/application.h"

namespace {
uint32_t ClockNow() { return platform::Get().clock->Milliseconds(); }
}  // namespace

TCustomDXTimer::TCustomDXTimer(TComponent* owner) : TComponent(owner) {
  activeOnly_ = true;
  enabled_ = true;
  interval_ = 0;  // so that the setter below sees a change and sets the divisor with it
  SetInterval(1000);
  if (Application != nullptr) {
    hookId_ = Application->AddActivationHook([this](bool active) { ActivationChanged(active); });
  }
}

TCustomDXTimer::~TCustomDXTimer() {
  StopTicking();
  if (Application != nullptr && hookId_ != 0) Application->RemoveActivationHook(hookId_);
}

void TCustomDXTimer::SetActiveOnly(bool v) { activeOnly_ = v; }

void TCustomDXTimer::SetEnabled(bool v) {
  if (v == enabled_) return;
  enabled_ = v;
  if (Loading()) return;
  if (v) {
    StartTicking();
  } else {
    StopTicking();
  }
}

void TCustomDXTimer::SetInterval(uint32_t v) {
  if (v == interval_) return;
  interval_ = v;
  tickDivisor_ = std::max<uint32_t>(v, 1);
}

void TCustomDXTimer::Loaded() {
  TComponent::Loaded();
  if (!Designing() && enabled_) StartTicking();
}

void TCustomDXTimer::HandleActivate() {
  if (OnActivate) OnActivate(this);
}

void TCustomDXTimer::HandleDeactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

void TCustomDXTimer::HandleTick(int lagCount) {
  if (OnTimer) OnTimer(this, lagCount);
}

void TCustomDXTimer::IdleStep(bool& done) {
  // The timer keeps the thread busy: the loop calls us again as soon as its queue is empty.
  done = false;
  uint32_t t = ClockNow();
  uint32_t elapsed = t - lastTickTime_;  // modulo 2^32: a wrapped clock still counts right
  if (elapsed < interval_) return;
  lastTickTime_ = t;
  // The remainder below one unit is dropped: the next tick measures from t.
  int32_t lagCount = static_cast<int32_t>(elapsed / tickDivisor_);
  if (lagCount < 1) lagCount = 1;
  ++frameCounter_;
  int32_t d = std::max<int32_t>(static_cast<int32_t>(t - lastRateTime_), 1);
  if (d >= 1000) {
    // Nearest integer of frames * 1000 / d, halves to the even neighbour, done exactly.
    int64_t num = static_cast<int64_t>(frameCounter_) * 1000;
    int64_t q = num / d, r = num % d;
    if (2 * r > d || (2 * r == d && (q & 1) != 0)) ++q;
    framesPerSecond_ = static_cast<int>(q);
    frameCounter_ = 0;
    lastRateTime_ = t;
  }
  HandleTick(lagCount);
}

void TCustomDXTimer::ResumeTicks() {
  lastTickTime_ = ClockNow();
  lastRateTime_ = lastTickTime_;
  // The application has one idle slot: whatever was in it is replaced.
  if (Application != nullptr) Application->SetOnIdle([this](bool& done) { IdleStep(done); });
}

void TCustomDXTimer::SuspendTicks() {
  if (Application != nullptr) Application->ClearOnIdle();
}

void TCustomDXTimer::StartTicking() {
  StopTicking();
  if (!activeOnly_ || (Application != nullptr && Application->Active())) ResumeTicks();
  running_ = true;
}

void TCustomDXTimer::StopTicking() {
  if (!running_) return;
  SuspendTicks();
  running_ = false;
}

void TCustomDXTimer::ActivationChanged(bool active) {
  if (active) {
    HandleActivate();
    if (running_ && activeOnly_) ResumeTicks();
  } else {
    HandleDeactivate();
    if (running_ && activeOnly_) SuspendTicks();
  }
}
