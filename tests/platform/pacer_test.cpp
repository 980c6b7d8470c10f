#include "platform/pacer.h"

#include <gtest/gtest.h>

#include "platform/headless/headless.h"

namespace {

using platform::Pacer;
using platform::headless::HeadlessClock;

// One frame: `workMs` of drawing, then the pacer's wait, which the test clock then lives through.
uint32_t Frame(HeadlessClock& clock, Pacer& pacer, uint32_t workMs) {
  clock.Advance(workMs);
  const uint32_t slept = pacer.WaitBeforePresent();
  clock.Advance(slept);
  return slept;
}

TEST(Pacer, HoldsSixtyFramesASecondOnAverage) {
  for (uint32_t work : {0u, 3u, 11u, 16u}) {
    HeadlessClock clock;
    clock.Set(5000);
    Pacer pacer(clock);
    Frame(clock, pacer, work);
    const uint32_t start = clock.Milliseconds();
    for (int i = 0; i < 600; ++i) Frame(clock, pacer, work);
    // 600 frames at 60 Hz take 10 s; rounding to whole milliseconds may not drift.
    const uint32_t elapsed = clock.Milliseconds() - start;
    EXPECT_NEAR(static_cast<double>(elapsed), 10000.0, 2.0) << work;
    // What the pacer reported is what it asked the clock to sleep.
    EXPECT_EQ(clock.SleptMs(), elapsed - 600u * work) << work;
  }
}

TEST(Pacer, SleepsTheRestOfThePeriodAndNeverMore) {
  HeadlessClock clock;
  Pacer pacer(clock);
  EXPECT_EQ(pacer.WaitBeforePresent(), 0u);  // the first present is never held back
  uint32_t maxSleep = 0;
  for (int i = 0; i < 100; ++i) {
    const uint32_t s = Frame(clock, pacer, static_cast<uint32_t>(i % 7));
    maxSleep = std::max(maxSleep, s);
    EXPECT_LE(s, 17u);
  }
  EXPECT_LE(maxSleep, 17u);
  EXPECT_GE(maxSleep, 16u);  // with no work at all a whole period is slept
  EXPECT_GT(clock.SleepCalls(), 0);
}

TEST(Pacer, DoesNotSleepWhenLateAndCatchesUpAfterwards) {
  HeadlessClock clock;
  Pacer pacer(clock);
  Frame(clock, pacer, 0);
  // A frame that took 25 ms (late by less than a period): no sleep now ...
  EXPECT_EQ(Frame(clock, pacer, 25), 0u);
  // ... and the next frame is shortened so the schedule holds.
  const uint32_t next = Frame(clock, pacer, 0);
  EXPECT_GT(next, 0u);
  EXPECT_LT(next, 16u);
}

TEST(Pacer, StartsAFreshScheduleAfterAStall) {
  HeadlessClock clock;
  Pacer pacer(clock);
  for (int i = 0; i < 10; ++i) Frame(clock, pacer, 2);
  EXPECT_EQ(Frame(clock, pacer, 500), 0u);  // half a second lost (a window drag)
  // No burst of unpaced frames to make the stall up: the very next frame waits normally.
  const uint32_t slept = Frame(clock, pacer, 2);
  EXPECT_GE(slept, 13u);
  EXPECT_LE(slept, 15u);
}

TEST(Pacer, SurvivesTheClockWrap) {
  HeadlessClock clock;
  clock.Set(0xFFFFFFFFu - 100);
  Pacer pacer(clock);
  Frame(clock, pacer, 0);
  const uint32_t start = clock.Milliseconds();
  for (int i = 0; i < 60; ++i) EXPECT_LE(Frame(clock, pacer, 1), 17u);
  EXPECT_NEAR(static_cast<double>(clock.Milliseconds() - start), 1000.0, 2.0);
}

TEST(Pacer, IsNeededWithoutVsyncOrOnFastScreens) {
  EXPECT_TRUE(Pacer::Needed(false, 60));
  EXPECT_FALSE(Pacer::Needed(true, 60));
  EXPECT_FALSE(Pacer::Needed(true, 75));
  EXPECT_TRUE(Pacer::Needed(true, 144));
  EXPECT_TRUE(Pacer::Needed(true, 0));  // refresh unknown
}

}  // namespace
