#include "bridge/TimerService.h"

#include <chrono>
#include <pthread.h>
#include <thread>
#include <vector>

#include "host/log/Log.h"

struct TimerService::State {
  explicit State(UiThread::Poster poster) : afterUiTurn(std::move(poster)) {}
  std::mutex timerLock;
  std::condition_variable changed;
  QList<TimerEntry> timers;
  bool closed = false;
  const UiThread::Poster afterUiTurn;
};

TimerService::TimerService(UiThread::Poster afterUiTurn)
    : state(std::make_shared<State>(std::move(afterUiTurn))) {}

TimerService::~TimerService() {
  QList<TimerEntry> released;
  {
    std::lock_guard<std::mutex> lock(state->timerLock);
    state->closed = true;
    released.swap(state->timers);
  }
  state->changed.notify_all();
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
  const int id = nextTimerId;
  {
    std::lock_guard<std::mutex> lock(state->timerLock);
    TimerEntry entry;
    entry.id = id;
    entry.function = std::move(function);
    // A zero interval would make the timer due on every wake-up.
    entry.interval = repeat && interval == 0 ? 1 : interval;
    entry.repeat = repeat;
    entry.dueAt = now() + (repeat || interval < 0 ? 0 : static_cast<uint64_t>(interval));
    state->timers.append(entry);
  }
  state->changed.notify_all();
  ++nextTimerId;
  return id;
}

bool TimerService::clear(int id) {
  std::shared_ptr<ScriptFunction> released;
  {
    std::lock_guard<std::mutex> lock(state->timerLock);
    for (int i = 0; i < state->timers.size(); ++i) {
      if (state->timers.at(i).id == id) {
        released = state->timers.takeAt(i).function;
        break;
      }
    }
  }
  state->changed.notify_all();
  return true;
}

void TimerService::run(std::shared_ptr<State> state) {
  pthread_setname_np(pthread_self(), "tw-timers");
  Log::info("NativeUtil", "timer thread started");
  std::weak_ptr<State> weak = state;
  std::unique_lock<std::mutex> lock(state->timerLock);
  while (!state->closed) {
    const uint64_t time = now();
    std::vector<std::pair<int, std::shared_ptr<ScriptFunction>>> due;
    uint64_t wake = UINT64_MAX;
    for (int i = 0; i < state->timers.size();) {
      TimerEntry &entry = state->timers[i];
      if (entry.interval < 0 && !entry.repeat) {
        state->timers.removeAt(i);
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
        state->timers.removeAt(i);
        continue;
      }
      entry.waiting = true;
      entry.dueAt = time + static_cast<uint64_t>(entry.interval);
      ++i;
    }
    if (!due.empty()) {
      lock.unlock();
      for (auto &[id, function] : due) {
        function->call();
        function.reset();
        state->afterUiTurn([weak, id = id] {
          if (auto alive = weak.lock()) {
            {
              std::lock_guard<std::mutex> guard(alive->timerLock);
              for (TimerEntry &entry : alive->timers) {
                if (entry.id == id)
                  entry.waiting = false;
              }
            }
            alive->changed.notify_all();
          }
        });
      }
      due.clear();
      lock.lock();
      continue;
    }
    if (wake == UINT64_MAX)
      state->changed.wait(lock);
    else
      state->changed.wait_for(lock, std::chrono::milliseconds(wake - time));
  }
}
