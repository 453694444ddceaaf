#pragma once
// Runs a task on the UI thread once it has worked through what was queued
// before it (the engine queues script calls the same way).
#include <functional>

namespace UiThread {

using Task = std::function<void()>;
using Poster = std::function<void(Task)>;

// Without an application object there is no UI thread to wait for: the task
// runs at once.
void post(Task task);

} // namespace UiThread
