#include "disk/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace Parallel {

int workerCount() {
  return int(std::max(1u, std::thread::hardware_concurrency()));
}

void forEach(int count, const std::function<void(int, int)> &job) {
  std::atomic<int> next{0};
  std::exception_ptr failure;
  std::mutex failureMutex;
  const auto work = [&](int worker) {
    try {
      for (int index = next++; index < count; index = next++)
        job(worker, index);
    } catch (...) {
      std::lock_guard<std::mutex> lock(failureMutex);
      if (!failure)
        failure = std::current_exception();
      next = count;
    }
  };
  std::vector<std::thread> helpers;
  for (int worker = 1; worker < std::min(workerCount(), count); ++worker)
    helpers.emplace_back(work, worker);
  work(0);
  for (std::thread &helper : helpers)
    helper.join();
  if (failure)
    std::rethrow_exception(failure);
}

} // namespace Parallel
