#include "platform/storage/ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr int niceIncrement = 5;
constexpr int weakestNice = 19;
} // namespace

// The nice value is per thread on Linux, addressed by the thread id.
void lowerCurrentThreadPriority() {
  const id_t thread = id_t(syscall(SYS_gettid));
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, thread);
  if (errno == 0)
    setpriority(PRIO_PROCESS, thread, std::min(current + niceIncrement, weakestNice));
}
