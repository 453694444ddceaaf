#pragma once
// Native timers for page scripts, served by one thread per process. The
// thread sleeps until the next timer is due or the list changes and calls
// due functions outside the lock. A timer is queued again only once the page
// reports that its previous call has run, so a busy page gets one late call
// rather than a burst; a timer whose document has gone is dropped at once.
#include <QList>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "bridge/ScriptFunction.h"

struct TimerEntry {
  int id = 0;
  std::shared_ptr<ScriptFunction> function;
  std::shared_ptr<ScriptFunction::Watch> documentWatch;
  int interval = 0; // negative: never due
  bool repeat = false;
  uint64_t dueAt = 0;   // milliseconds of the monotonic clock
  bool waiting = false; // a call is on its way and has not run in the page yet
};

class TimerService {
public:
  TimerService();
  ~TimerService();
  TimerService(const TimerService &) = delete;
  TimerService &operator=(const TimerService &) = delete;

  // Ids start at 1, are shared by both kinds and never reused.
  int setInterval(std::shared_ptr<ScriptFunction> function, int interval);
  int setTimeout(std::shared_ptr<ScriptFunction> function, int delay);
  // Removes a timer of either kind; an unknown id changes nothing.
  bool clear(int id);

  static uint64_t now();

private:
  struct State;
  int add(std::shared_ptr<ScriptFunction> function, int interval, bool repeat);
  static void run(std::shared_ptr<State> state);
  static void callEnded(const std::weak_ptr<State> &weak, int id, UINT outcome);
  static void drop(const std::weak_ptr<State> &weak, int id);
  static void release(QList<TimerEntry> &entries);

  std::shared_ptr<State> state;
  bool timerThreadStarted = false;
  int nextTimerId = 1;
};
