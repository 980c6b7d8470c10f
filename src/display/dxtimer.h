// The frame timer: a component that drives the game's frame loop from the application's idle
// slot. Whenever the message queue runs empty it reads the millisecond clock and, once at least
// Interval milliseconds have passed since its last tick, fires OnTimer with LagCount, the elapsed
// time in units of Interval. It also reports application activation and keeps a frames-per-second
// figure.
#pragma once

#include <cstdint>
#include <functional>

#include "toolkit/classes.h"

using TDXTimerEvent = std::function<void(TObject* Sender, int LagCount)>;

class TCustomDXTimer : public TComponent {
 public:
  // ActiveOnly and Enabled true, Interval 1000; hooks the application's activation notices.
  // Not started: Loaded (or a change of Enabled) starts it.
  explicit TCustomDXTimer(TComponent* owner);
  // Stops ticking, then removes the activation hook.
  ~TCustomDXTimer() override;

  // Tick only while the application is active (the value is stored; see SetActiveOnly).
  bool ActiveOnly() const { return activeOnly_; }
  void SetActiveOnly(bool v);
  // The timer should run. A change starts or stops it at once, unless the component is loading.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  // Minimum milliseconds between two ticks; also the unit of LagCount (at least 1).
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t v);
  // Ticks per second over the last measuring period of at least 1000 ms.
  int FramesPerSecond() const { return framesPerSecond_; }
  // Started and not stopped.
  bool Running() const { return running_; }

  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TDXTimerEvent OnTimer;

  // Starts ticking when Enabled (the owner's properties have all been read).
  void Loaded() override;

  // One idle pass: asks to be called again at once, and ticks when Interval has passed.
  void IdleStep(bool& done);

 protected:
  // Fire OnActivate / OnDeactivate / OnTimer when set.
  virtual void HandleActivate();
  virtual void HandleDeactivate();
  virtual void HandleTick(int lagCount);

 private:
  void StartTicking();
  void StopTicking();
  void ResumeTicks();
  void SuspendTicks();
  void ActivationChanged(bool active);

  bool activeOnly_ = true;
  bool enabled_ = true;
  int framesPerSecond_ = 0;
  bool running_ = false;
  uint32_t interval_ = 0;
  uint32_t tickDivisor_ = 1;
  int32_t frameCounter_ = 0;
  uint32_t lastTickTime_ = 0;
  uint32_t lastRateTime_ = 0;
  int hookId_ = 0;
};

// The published frame timer: the same component with its properties and events open to forms.
class TDXTimer : public TCustomDXTimer {
 public:
  using TCustomDXTimer::TCustomDXTimer;
};
