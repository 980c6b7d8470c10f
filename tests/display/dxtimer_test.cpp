// The frame timer on the headless clock.
#include "display/dxtimer.h"

#include <memory>
#include <vector>

#include "support/headless_env.h"
#include "toolkit/application.h"
#include "toolkit/errors.h"

using platform::Event;
using platform::EventKind;

namespace {

class DXTimerTest : public HeadlessTest {
 protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    InitApplication();
    timer = std::make_unique<TDXTimer>(nullptr);
    timer->OnTimer = [this](TObject* s, int lag) {
      EXPECT_EQ(s, timer.get());
      lags.push_back(lag);
    };
  }
  void TearDown() override {
    timer.reset();
    DoneApplication();
    HeadlessTest::TearDown();
  }
  // The game's settings: every idle pass may tick.
  void StartLikeTheGame() {
    timer->SetActiveOnly(false);
    timer->SetInterval(0);
    timer->Loaded();
  }
  void At(uint32_t ms) {
    hl.clock->Set(ms);
    Application->Step();
  }
  void Send(EventKind k) {
    hl.events->Push(Event{k});
    Application->Step();
  }
  std::unique_ptr<TDXTimer> timer;
  std::vector<int> lags;
};

TEST_F(DXTimerTest, DefaultsAndNotStartedByConstruction) {
  EXPECT_TRUE(timer->ActiveOnly());
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 1000u);
  EXPECT_EQ(timer->FramesPerSecond(), 0);
  EXPECT_FALSE(timer->Running());
  EXPECT_FALSE(Application->HasOnIdle());
  hl.clock->Advance(5000);
  Application->Step();
  EXPECT_TRUE(lags.empty());
}

TEST_F(DXTimerTest, LoadedStartsOnlyAnEnabledTimer) {
  timer->Loaded();
  EXPECT_TRUE(timer->Running());
  EXPECT_TRUE(Application->HasOnIdle());

  TDXTimer off(nullptr);
  off.SetEnabled(false);
  Application->ClearOnIdle();
  off.Loaded();
  EXPECT_FALSE(off.Running());
  EXPECT_FALSE(Application->HasOnIdle());
}

TEST_F(DXTimerTest, EnabledWrittenWhileLoadingOnlyStoresIt) {
  TComponent form(nullptr);
  form.BeginLoading();
  auto* t = new TDXTimer(&form);
  EXPECT_TRUE(t->Loading());
  t->SetEnabled(false);
  t->SetEnabled(true);
  EXPECT_FALSE(t->Running());
  form.EndLoading();  // Loaded now starts it
  EXPECT_TRUE(t->Running());
}

TEST_F(DXTimerTest, IdleStepAsksToRunAgainAtOnce) {
  StartLikeTheGame();
  bool done = true;
  timer->IdleStep(done);
  EXPECT_FALSE(done);
}

TEST_F(DXTimerTest, IntervalZeroCountsMillisecondsAtLeastOne) {
  hl.clock->Set(100);
  StartLikeTheGame();
  At(100);  // same millisecond as the start
  At(100);  // and again
  At(137);
  EXPECT_EQ(lags, (std::vector<int>{1, 1, 37}));
}

TEST_F(DXTimerTest, IntervalTwentyWaitsAndCountsInUnitsOfTwenty) {
  hl.clock->Set(1000);
  timer->SetActiveOnly(false);
  timer->SetInterval(20);
  timer->Loaded();
  At(1015);
  EXPECT_TRUE(lags.empty());
  At(1045);  // 45 ms: LagCount 2, the 5 ms remainder is dropped
  At(1064);  // 19 ms after the tick at 1045: nothing (the dropped 5 ms are not carried over)
  EXPECT_EQ(lags, std::vector<int>{2});
  At(1065);  // 20 ms after it
  EXPECT_EQ(lags, (std::vector<int>{2, 1}));
}

TEST_F(DXTimerTest, FramesPerSecondOverAPeriodRoundsToNearest) {
  hl.clock->Set(0);
  StartLikeTheGame();
  // 149 ticks inside the first second, the 150th at 1003 ms: 149.55 rounds to 150.
  for (int i = 1; i <= 149; ++i) At(static_cast<uint32_t>(i * 6));
  EXPECT_EQ(timer->FramesPerSecond(), 0);
  At(1003);
  EXPECT_EQ(timer->FramesPerSecond(), 150);
  // The next period starts at that tick with the counter at 0: 100 ticks up to 2003.
  for (int i = 1; i <= 99; ++i) At(1003 + static_cast<uint32_t>(i * 10));
  EXPECT_EQ(timer->FramesPerSecond(), 150);
  At(2003);
  EXPECT_EQ(timer->FramesPerSecond(), 100);
}

TEST_F(DXTimerTest, FramesPerSecondHalvesGoToTheEvenNeighbour) {
  // n ticks in a 2000 ms period give n / 2 frames per second.
  struct Case {
    int ticks;
    int fps;
  };
  for (Case c : {Case{1, 0}, Case{3, 2}, Case{5, 2}, Case{7, 4}}) {
    hl.clock->Set(50000);
    timer = std::make_unique<TDXTimer>(nullptr);
    timer->SetActiveOnly(false);
    timer->SetInterval(0);
    timer->Loaded();
    for (int i = 1; i < c.ticks; ++i) At(50000 + static_cast<uint32_t>(i));
    At(52000);
    EXPECT_EQ(timer->FramesPerSecond(), c.fps) << c.ticks << " ticks";
  }
}

TEST_F(DXTimerTest, WrappingClockCountsTheDifference) {
  hl.clock->Set(4294967290u);
  StartLikeTheGame();
  At(5);
  EXPECT_EQ(lags, (std::vector<int>{11}));
}

TEST_F(DXTimerTest, ReenablingMeasuresFromTheRestartNotTheStop) {
  hl.clock->Set(1000);
  StartLikeTheGame();
  At(1016);
  timer->SetEnabled(false);
  EXPECT_FALSE(timer->Running());
  EXPECT_FALSE(Application->HasOnIdle());
  At(2000);
  At(3016);
  timer->SetEnabled(true);
  At(3020);
  EXPECT_EQ(lags, (std::vector<int>{16, 4}));
}

TEST_F(DXTimerTest, WritingTheSameEnabledDoesNotRestart) {
  hl.clock->Set(1000);
  StartLikeTheGame();
  hl.clock->Set(1500);
  timer->SetEnabled(true);  // already true: the base stays at 1000
  At(1510);
  EXPECT_EQ(lags, (std::vector<int>{510}));
}

TEST_F(DXTimerTest, ActiveOnlyTimerPausesWhileTheApplicationIsInactive) {
  int activations = 0, deactivations = 0;
  timer->OnActivate = [&](TObject*) { ++activations; };
  timer->OnDeactivate = [&](TObject*) { ++deactivations; };
  timer->SetInterval(0);
  hl.clock->Set(100);
  timer->Loaded();
  At(110);
  Send(EventKind::AppDeactivate);
  EXPECT_FALSE(Application->HasOnIdle());
  EXPECT_TRUE(timer->Running());
  At(500);
  At(900);
  EXPECT_EQ(lags.size(), 1u);
  hl.clock->Set(1000);
  Send(EventKind::AppActivate);  // the clock base is reset here
  At(1003);
  EXPECT_EQ(lags, (std::vector<int>{10, 3}));
  EXPECT_EQ(activations, 1);
  EXPECT_EQ(deactivations, 1);
}

TEST_F(DXTimerTest, GameTimerTicksOnWhileInactiveAndOnlyTheEventsFire) {
  std::vector<std::string> log;
  timer->OnActivate = [&](TObject*) { log.push_back("activate"); };
  timer->OnDeactivate = [&](TObject*) { log.push_back("deactivate"); };
  hl.clock->Set(0);
  StartLikeTheGame();
  Send(EventKind::AppDeactivate);
  At(20);
  Send(EventKind::AppActivate);
  At(30);
  EXPECT_EQ(lags, (std::vector<int>{20, 10}));
  EXPECT_EQ(log, (std::vector<std::string>{"deactivate", "activate"}));
}

TEST_F(DXTimerTest, ActivationEventsFireEvenWhenStopped) {
  int deactivations = 0;
  timer->OnDeactivate = [&](TObject*) { ++deactivations; };
  Send(EventKind::AppDeactivate);
  EXPECT_EQ(deactivations, 1);
  EXPECT_FALSE(Application->HasOnIdle());
}

TEST_F(DXTimerTest, OneIdleSlotTheLastStartedTimerTicks) {
  StartLikeTheGame();
  TDXTimer other(nullptr);
  int otherTicks = 0;
  other.OnTimer = [&](TObject*, int) { ++otherTicks; };
  other.SetActiveOnly(false);
  other.SetInterval(0);
  other.Loaded();
  At(10);
  EXPECT_TRUE(lags.empty());
  EXPECT_EQ(otherTicks, 1);
  // Stopping either timer clears the slot.
  timer->SetEnabled(false);
  At(20);
  EXPECT_EQ(otherTicks, 1);
  EXPECT_FALSE(Application->HasOnIdle());
}

TEST_F(DXTimerTest, ErrorInTheTickIsReportedAndTheNextPassTicksAgain) {
  StartLikeTheGame();
  timer->OnTimer = [this](TObject*, int lag) {
    lags.push_back(lag);
    if (lags.size() == 1) throw Exception("Image 'shar9' not found");
  };
  At(5);
  At(9);
  EXPECT_EQ(lags, (std::vector<int>{5, 4}));
  ASSERT_EQ(hl.dialogs->Messages().size(), 1u);
  EXPECT_EQ(hl.dialogs->Messages()[0].text, "Image 'shar9' not found");
}

TEST_F(DXTimerTest, DestructionStopsAndUnhooks) {
  int activations = 0;
  timer->OnActivate = [&](TObject*) { ++activations; };
  StartLikeTheGame();
  timer.reset();
  EXPECT_FALSE(Application->HasOnIdle());
  Send(EventKind::AppDeactivate);
  Send(EventKind::AppActivate);
  EXPECT_EQ(activations, 0);
}

TEST_F(DXTimerTest, TickRunsFromTheMessageLoopAfterPendingEvents) {
  StartLikeTheGame();
  hl.events->Push(Event{EventKind::User});
  hl.clock->Set(40);
  Application->Step();  // the event
  EXPECT_TRUE(lags.empty());
  Application->Step();  // queue empty: the idle tick
  EXPECT_EQ(lags.size(), 1u);
}

}  // namespace
