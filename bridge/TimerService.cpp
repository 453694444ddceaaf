#include "bridge/TimerService.h"

#include <chrono>
#include <pthread.h>
#include <thread>
#include <vector>

#include "base/log/Log.h"

struct TimerService::State {
  std::mutex timerLock;
  std::condition_variable changed;
  QList<TimerEntry> timers;
  bool closed = false;
};

TimerService::TimerService() : state(std::make_shared<State>()) {}

TimerService::~TimerService() {
  QList<TimerEntry> released;
  {
    std::lock_guard<std::mutex> lock(state->timerLock);
    state->closed = true;
    released.swap(state->timers);
  }
  state->changed.notify_all();
  release(released);
}

uint64_t TimerService::now() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

int TimerService::setInterval(std::shared_ptr<ScriptFunction> function, int interval) {
  return add(std::move(function), interval, true);
}

int TimerService::setTimeout(std::shared_ptr<ScriptFunction> function, int delay) {
  return add(std::move(function), delay, false);
}

int TimerService::add(std::shared_ptr<ScriptFunction> function, int interval, bool repeat) {
  if (!timerThreadStarted) {
    timerThreadStarted = true;
    std::thread(&TimerService::run, state).detach();
  }
  const int id = nextTimerId++;
  TimerEntry entry;
  entry.id = id;
  // Watched outside the lock: a document that has already gone answers at once.
  entry.documentWatch = function->watch([weak = std::weak_ptr<State>(state), id](UINT outcome) {
    if (outcome == SETTLED_GONE)
      drop(weak, id);
  });
  entry.function = std::move(function);
  // A zero interval would make the timer due on every wake-up.
  entry.interval = repeat && interval == 0 ? 1 : interval;
  entry.repeat = repeat;
  entry.dueAt = now() + (repeat || interval < 0 ? 0 : static_cast<uint64_t>(interval));
  {
    std::lock_guard<std::mutex> lock(state->timerLock);
    state->timers.append(entry);
  }
  state->changed.notify_all();
  return id;
}

bool TimerService::clear(int id) {
  drop(state, id);
  return true;
}

// Outside the timer lock: ending a watch reports back on this thread.
void TimerService::release(QList<TimerEntry> &entries) {
  for (TimerEntry &entry : entries)
    entry.function->unwatch(entry.documentWatch);
  entries.clear();
}

void TimerService::drop(const std::weak_ptr<State> &weak, int id) {
  const std::shared_ptr<State> state = weak.lock();
  if (!state)
    return;
  QList<TimerEntry> removed;
  {
    std::lock_guard<std::mutex> lock(state->timerLock);
    for (int i = 0; i < state->timers.size(); ++i) {
      if (state->timers.at(i).id == id) {
        removed.append(state->timers.takeAt(i));
        break;
      }
    }
  }
  if (removed.isEmpty())
    return;
  state->changed.notify_all();
  release(removed);
}

void TimerService::callEnded(const std::weak_ptr<State> &weak, int id, UINT outcome) {
  if (outcome == SETTLED_GONE) {
    drop(weak, id);
    return;
  }
  // Cancelled: the engine has shut down, and the timer stays waiting for good.
  if (outcome != SETTLED_RAN)
    return;
  const std::shared_ptr<State> state = weak.lock();
  if (!state)
    return;
  {
    std::lock_guard<std::mutex> lock(state->timerLock);
    const uint64_t time = now();
    for (TimerEntry &entry : state->timers) {
      if (entry.id != id)
        continue;
      entry.waiting = false;
      // Beats missed while the page was busy are skipped, not made up.
      if (entry.dueAt <= time)
        entry.dueAt = time + static_cast<uint64_t>(entry.interval);
    }
  }
  state->changed.notify_all();
}

void TimerService::run(std::shared_ptr<State> state) {
  pthread_setname_np(pthread_self(), "tw-timers");
  Log::info("NativeUtil", "timer thread started");
  const std::weak_ptr<State> weak = state;
  std::unique_lock<std::mutex> lock(state->timerLock);
  while (!state->closed) {
    const uint64_t time = now();
    std::vector<std::pair<int, std::shared_ptr<ScriptFunction>>> due;
    QList<TimerEntry> finished;
    uint64_t wake = UINT64_MAX;
    for (int i = 0; i < state->timers.size();) {
      TimerEntry &entry = state->timers[i];
      if (entry.interval < 0 && !entry.repeat) {
        finished.append(state->timers.takeAt(i));
        continue;
      }
      if (entry.interval < 0 || entry.waiting) {
        ++i;
        continue;
      }
      if (entry.dueAt > time) {
        wake = std::min(wake, entry.dueAt);
        ++i;
        continue;
      }
      due.emplace_back(entry.id, entry.function);
      if (!entry.repeat) {
        finished.append(state->timers.takeAt(i));
        continue;
      }
      entry.waiting = true;
      entry.dueAt = time + static_cast<uint64_t>(entry.interval);
      ++i;
    }
    if (!due.empty() || !finished.isEmpty()) {
      lock.unlock();
      for (auto &[id, function] : due)
        function->call([weak, id = id](UINT outcome) { callEnded(weak, id, outcome); });
      due.clear();
      release(finished);
      lock.lock();
      continue;
    }
    if (wake == UINT64_MAX)
      state->changed.wait(lock);
    else
      state->changed.wait_for(lock, std::chrono::milliseconds(wake - time));
  }
}
