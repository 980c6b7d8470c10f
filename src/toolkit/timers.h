// Window timers: components whose OnTimer runs from the message loop every Interval
// milliseconds of the platform clock.
#pragma once

#include <cstdint>

#include "toolkit/classes.h"

class TTimer : public TComponent {
 public:
  // Registers with the application's loop; enabled, 1000 ms. Counting starts now.
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  // Milliseconds between ticks (0: the timer never ticks). Changing it restarts the count.
  uint32_t Interval() const { return interval_; }
  void SetInterval(uint32_t ms);
  // Switching on starts a full Interval from now; switching off drops any due tick.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);

  // Held: no tick is due and the time to the next one stands still; letting go resumes the
  // count where it was held (an Interval started while held counts from the letting go).
  bool Paused() const { return paused_; }
  void SetPaused(bool on);

  TNotifyEvent OnTimer;

  // Loop plumbing: true when a tick is due at clock value `now`.
  bool Due(uint32_t now) const;
  // Loop plumbing: delivers one tick (never inside its own handler); the next is due one
  // Interval after `now`.
  void Fire(uint32_t now);
  // Milliseconds from `now` until the next tick (0 when due; UINT32_MAX when it never ticks).
  uint32_t MsUntilDue(uint32_t now) const;

 private:
  void Restart();
  uint32_t interval_ = 1000;
  bool enabled_ = true;
  bool firing_ = false;
  bool paused_ = false;
  uint32_t pausedAt_ = 0;
  uint32_t due_ = 0;
};
