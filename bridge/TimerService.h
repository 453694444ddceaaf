#pragma once
// Native timers for page scripts, served by one thread per process. The
// thread sleeps until the next timer is due or the list changes, calls due
// functions outside the lock, and does not queue a timer again while its
// previous call still waits for the UI thread.
#include <QList>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "bridge/ScriptFunction.h"
#include "bridge/UiThread.h"

struct TimerEntry {
  int id = 0;
  std::shared_ptr<ScriptFunction> function;
  int interval = 0; // negative: never due
  bool repeat = false;
  uint64_t dueAt = 0;   // milliseconds of the monotonic clock
  bool waiting = false; // a call is queued and the UI thread has not reached it yet
};

class TimerService {
public:
  // afterUiTurn runs its task once the UI thread has reached the calls queued
  // before it; that is how a call's completion is seen.
  explicit TimerService(UiThread::Poster afterUiTurn = &UiThread::post);
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

  std::shared_ptr<State> state;
  bool timerThreadStarted = false;
  int nextTimerId = 1;
};
