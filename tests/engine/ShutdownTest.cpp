// The hand-over of script calls to the UI thread while the engine shuts
// down: a thread queues a call every millisecond, as a 1 ms interval does,
// and an interval of 1 ms runs, while the application object goes. Run under
// ThreadSanitizer by scripts/sanitized-tests.sh.
#include <gtest/gtest.h>

#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "bridge/ScriptFunction.h"
#include "bridge/TimerService.h"
#include "engine/include/tidewell/engine-api.h"
#include "engine/src/Settlements.h"
#include "engine/src/Value.h"

namespace {

using namespace std::chrono_literals;

TEST(EngineShutdown, CallsQueuedEveryMillisecondWhileTheEngineShutsDown) {
  qputenv("QT_QPA_PLATFORM", "offscreen"); // no window is opened
  ISciterAPI *api = SciterAPI();
  const char16_t *argv[] = {u"engine-shutdown-tests", nullptr};
  api->SciterExec(SCITER_APP_INIT, 1, reinterpret_cast<uintptr_t>(argv));

  // A function of a live document that has no page: its calls are dropped
  // on the UI thread, each settled as gone.
  const uint64_t document = 7;
  Settlements::instance().documentStarted(document);
  VALUE value{};
  Values::setFunction(&value, document, 1);
  auto function = std::make_shared<ScriptFunction>(*api, value);
  Values::clear(&value);

  std::atomic<bool> stop{false};
  std::atomic<int> made{0}, settled{0}, twice{0};
  std::thread poster([&] {
    while (!stop) {
      auto once = std::make_shared<std::atomic<bool>>(false);
      function->call([&, once](UINT) {
        if (once->exchange(true))
          ++twice;
        ++settled;
      });
      ++made;
      function->call();
      std::this_thread::sleep_for(1ms);
    }
  });
  auto timers = std::make_unique<TimerService>();
  timers->setInterval(function, 1);

  QTimer::singleShot(100, [api] { api->SciterExec(SCITER_APP_STOP, 0, 0); });
  api->SciterExec(SCITER_APP_LOOP, 0, 0);
  api->SciterExec(SCITER_APP_SHUTDOWN, 0, 0); // the application object goes here
  std::this_thread::sleep_for(50ms);
  stop = true;
  poster.join();
  timers.reset();

  EXPECT_GT(made.load(), 20);
  EXPECT_EQ(settled.load(), made.load()) << "every call is settled, also those after the shutdown";
  EXPECT_EQ(twice.load(), 0);
}

} // namespace
