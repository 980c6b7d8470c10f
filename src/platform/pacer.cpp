#include "platform/pacer.h"

#include <cmath>

namespace platform {

Pacer::Pacer(Clock& clock, double periodMs)
    : clock_(clock), period_(periodMs > 0 ? periodMs : kDefaultPeriodMs) {}

bool Pacer::Needed(bool vsync, int refreshHz) { return !vsync || refreshHz <= 0 || refreshHz > 75; }

uint64_t Pacer::Now() {
  const uint32_t raw = clock_.Milliseconds();
  now64_ += static_cast<uint32_t>(raw - lastRaw_);  // modulo 2^32 difference
  lastRaw_ = raw;
  return now64_;
}

uint32_t Pacer::WaitBeforePresent() {
  if (!started_) {
    started_ = true;
    lastRaw_ = clock_.Milliseconds();
    now64_ = 0;
    next_ = period_;
    return 0;
  }
  const double now = static_cast<double>(Now());
  if (now >= next_) {
    // Late. A little late: keep the schedule, so the next frames make the time up. Far behind
    // (a stall, a dragged window, a breakpoint): start afresh instead of rushing frames out.
    next_ = now - next_ > period_ ? now + period_ : next_ + period_;
    return 0;
  }
  // Rounded to the nearest millisecond; the fraction stays in the schedule, not in the sleep.
  // Rounding may ask for the period's next whole millisecond, never more.
  double wait = std::floor(next_ - now + 0.5);
  if (wait > std::ceil(period_)) wait = std::ceil(period_);
  next_ += period_;
  const auto ms = static_cast<uint32_t>(wait);
  if (ms > 0) clock_.SleepMs(ms);
  return ms;
}

}  // namespace platform
