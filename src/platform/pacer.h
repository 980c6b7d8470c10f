// Paces frame presentation at a fixed rate by sleeping.
//
// The paddle and balls move a fixed step per frame, so an unthrottled present loop makes the game
// run as fast as the machine can draw (and burns a core). The video driver presents with vsync
// where the display offers it at a sane rate and asks the pacer to wait otherwise.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace platform {

class Pacer {
 public:
  static constexpr double kDefaultPeriodMs = 1000.0 / 60.0;

  // `clock` must outlive the pacer; `periodMs` is the target time between presents (> 0).
  explicit Pacer(Clock& clock, double periodMs = kDefaultPeriodMs);

  // True when a driver should pace by sleeping: no vsync, or a refresh that is unknown (0) or
  // above 75 Hz (vsync alone would then run the game too fast).
  static bool Needed(bool vsync, int refreshHz);

  // Sleeps until the next present is due and returns the milliseconds slept. The schedule
  // advances by exactly one period per call, so the long-run rate is the target; a late call does
  // not sleep; a call more than one period late starts a fresh schedule from now; a single sleep
  // never exceeds one period (rounded up to whole milliseconds). The first call never sleeps.
  uint32_t WaitBeforePresent();
  // Forgets the schedule (the next call starts a fresh one).
  void Reset() { started_ = false; }
  double PeriodMs() const { return period_; }

 private:
  // Clock reading widened to 64 bits so the schedule survives the 32-bit wrap.
  uint64_t Now();

  Clock& clock_;
  double period_;
  bool started_ = false;
  uint32_t lastRaw_ = 0;
  uint64_t now64_ = 0;
  double next_ = 0;  // when the next present is due, on the widened clock
};

}  // namespace platform
