// Native timers against the fake engine: ids, first calls, periods, clearing,
// no re-queue before the page has run the previous call, timers of a gone
// document, and an idle thread.
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <thread>
#include <unistd.h>

#include "FakeEngine.h"
#include "bridge/TimerService.h"

namespace {

using namespace std::chrono_literals;

std::shared_ptr<ScriptFunction> function(int id) {
  VALUE value = FakeEngine::function(id);
  auto kept = std::make_shared<ScriptFunction>(FakeEngine::api(), value);
  FakeEngine::clear(value);
  return kept;
}

// Times (ms since the start) at which the fake engine saw calls of a function.
class CallTimes {
public:
  explicit CallTimes(int id) : start(TimerService::now()) {
    FakeEngine::onCall([this, id](const FakeEngine::Call &call) {
      if (call.function == id) {
        std::lock_guard<std::mutex> guard(lock);
        times.push_back(static_cast<int64_t>(TimerService::now() - start));
      }
    });
  }
  std::vector<int64_t> get() {
    std::lock_guard<std::mutex> guard(lock);
    return times;
  }

private:
  const uint64_t start;
  std::mutex lock;
  std::vector<int64_t> times;
};

class Timers : public ::testing::Test {
protected:
  void SetUp() override { FakeEngine::reset(); }
  void TearDown() override { FakeEngine::reset(); }
};

TEST_F(Timers, IdsStartAtOneAndAreSharedByBothKinds) {
  TimerService timers;
  EXPECT_EQ(timers.setInterval(function(1), -1), 1);
  EXPECT_EQ(timers.setTimeout(function(2), -1), 2);
  EXPECT_TRUE(timers.clear(1));
  EXPECT_EQ(timers.setInterval(function(3), -1), 3) << "ids are never reused";
  EXPECT_TRUE(timers.clear(99)) << "an unknown id still answers true";
}

TEST_F(Timers, TimeoutCallsOnceAfterItsDelay) {
  CallTimes seen(1);
  TimerService timers;
  timers.setTimeout(function(1), 300);
  std::this_thread::sleep_for(1000ms);
  const auto times = seen.get();
  ASSERT_EQ(times.size(), 1u) << "called once, never twice";
  EXPECT_GE(times[0], 295);
  EXPECT_LT(times[0], 1500);
}

TEST_F(Timers, IntervalCallsAtOnceThenOncePerPeriodUntilCleared) {
  CallTimes seen(1);
  TimerService timers;
  const int id = timers.setInterval(function(1), 200);
  std::this_thread::sleep_for(1100ms);
  timers.clear(id);
  const size_t atClear = seen.get().size();
  std::this_thread::sleep_for(400ms);
  const auto times = seen.get();
  EXPECT_EQ(times.size(), atClear) << "no call after clearing";
  ASSERT_GE(times.size(), 4u);
  EXPECT_LT(times[0], 100) << "first call at once";
  for (size_t i = 1; i < times.size(); ++i)
    EXPECT_GE(times[i] - times[i - 1], 195) << "never closer than the period";
  EXPECT_LT((times.back() - times.front()) / static_cast<double>(times.size() - 1), 400)
      << "about once per period";
}

TEST_F(Timers, NegativeIntervalsAreNeverDue) {
  TimerService timers;
  timers.setInterval(function(1), -1);
  timers.setTimeout(function(2), -1);
  timers.setTimeout(function(3), 0);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(FakeEngine::callCount(1), 0);
  EXPECT_EQ(FakeEngine::callCount(2), 0);
  EXPECT_EQ(FakeEngine::callCount(3), 1) << "the thread is alive and serving other timers";
}

TEST_F(Timers, ZeroIntervalRunsOnceAMillisecondNotInALoop) {
  TimerService timers;
  timers.setInterval(function(1), 0);
  std::this_thread::sleep_for(200ms);
  const int calls = FakeEngine::callCount(1);
  EXPECT_GE(calls, 10);
  EXPECT_LE(calls, 201);
}

TEST_F(Timers, ATimerWhoseCallHasNotRunIsNotQueuedAgain) {
  FakeEngine::holdCalls(true);
  TimerService timers;
  timers.setInterval(function(1), 10);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(FakeEngine::callCount(1), 1) << "a busy page gets one call, not thirty";
  FakeEngine::settleHeldCalls(SETTLED_RAN);
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(FakeEngine::callCount(1), 2) << "then the next, one period after the late call ran";
  FakeEngine::settleHeldCalls(SETTLED_RAN);
}

TEST_F(Timers, MissedBeatsAreSkippedNotMadeUp) {
  FakeEngine::holdCalls(true);
  CallTimes seen(1);
  TimerService timers;
  timers.setInterval(function(1), 100);
  std::this_thread::sleep_for(500ms);
  FakeEngine::holdCalls(false);
  FakeEngine::settleHeldCalls(SETTLED_RAN);
  std::this_thread::sleep_for(250ms);
  const auto times = seen.get();
  ASSERT_GE(times.size(), 2u);
  EXPECT_GE(times[1], 590) << "the first call after the busy page is a period after it";
  EXPECT_LE(times.size(), 3u);
}

TEST_F(Timers, TimersOfAGoneDocumentAreDroppedAtOnce) {
  const int before = FakeEngine::liveBodies();
  TimerService timers;
  timers.setInterval(function(1), 1000);
  timers.setTimeout(function(2), 1000);
  timers.setInterval(function(3), 100);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(FakeEngine::openSettlements(), 3);
  FakeEngine::documentGone(1);
  FakeEngine::documentGone(2);
  EXPECT_EQ(FakeEngine::liveBodies(), before + 1) << "their kept functions are released";
  EXPECT_EQ(FakeEngine::openSettlements(), 1);
  std::this_thread::sleep_for(1100ms);
  EXPECT_EQ(FakeEngine::callCount(1), 1);
  EXPECT_EQ(FakeEngine::callCount(2), 0);
  EXPECT_GE(FakeEngine::callCount(3), 5) << "the live document's timer goes on";
}

TEST_F(Timers, ACallWhoseDocumentWentDropsItsTimer) {
  FakeEngine::holdCalls(true);
  TimerService timers;
  timers.setInterval(function(1), 5);
  std::this_thread::sleep_for(20ms);
  ASSERT_EQ(FakeEngine::heldCalls(), 1);
  FakeEngine::settleHeldCalls(SETTLED_GONE);
  EXPECT_EQ(FakeEngine::openSettlements(), 0) << "its document watch ends with it";
  FakeEngine::holdCalls(false);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(FakeEngine::callCount(1), 1);
}

TEST_F(Timers, ClearedAndFinishedTimersLeaveNoWatch) {
  TimerService timers;
  const int id = timers.setInterval(function(1), 1000);
  timers.setTimeout(function(2), 0);
  std::this_thread::sleep_for(50ms);
  timers.clear(id);
  EXPECT_EQ(FakeEngine::openSettlements(), 0);
}

TEST_F(Timers, TimerMethodsDoNotWaitForAScriptCall) {
  // A script call that takes long on the timer thread must not hold the list.
  std::atomic<bool> inCall{false};
  FakeEngine::onCall([&](const FakeEngine::Call &) {
    inCall = true;
    std::this_thread::sleep_for(500ms);
  });
  TimerService timers;
  timers.setTimeout(function(1), 0);
  while (!inCall)
    std::this_thread::sleep_for(1ms);
  const auto start = std::chrono::steady_clock::now();
  const int id = timers.setInterval(function(2), -1);
  timers.clear(id);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
  std::this_thread::sleep_for(500ms);
}

double cpuSeconds() {
  QFile stat("/proc/self/stat");
  stat.open(QIODevice::ReadOnly);
  const QString text = QString::fromLatin1(stat.readAll());
  const QStringList fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
  return (fields.at(11).toDouble() + fields.at(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

TEST_F(Timers, AnIdleIntervalTimerCostsNoMeasurableCpu) {
  TimerService timers;
  timers.setInterval(function(1), 1000);
  std::this_thread::sleep_for(50ms);
  const double before = cpuSeconds();
  std::this_thread::sleep_for(2s);
  const double used = cpuSeconds() - before;
  EXPECT_LT(used, 0.04) << "over 2 % of a core for one idle timer";
  EXPECT_GE(FakeEngine::callCount(1), 2);
}

TEST_F(Timers, DestroyingTheOwnerReleasesItsFunctions) {
  const int before = FakeEngine::liveBodies();
  {
    TimerService timers;
    timers.setInterval(function(1), 1000);
    timers.setInterval(function(2), -1);
    std::this_thread::sleep_for(20ms);
  }
  std::this_thread::sleep_for(20ms);
  FakeEngine::reset();
  EXPECT_EQ(FakeEngine::liveBodies(), before);
}

} // namespace
