#include "platform/storage/ThreadPriority.h"

#include <linux/ioprio.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {
constexpr int weakestNice = 19;
} // namespace

// Scheduling class, nice value and I/O class are all per thread on Linux,
// addressed by the thread id.
void runCurrentThreadWhenIdle() {
  const pid_t thread = pid_t(syscall(SYS_gettid));
  const sched_param none{};
  if (::sched_setscheduler(thread, SCHED_IDLE, &none) != 0)
    ::setpriority(PRIO_PROCESS, id_t(thread), weakestNice);
  // Schedulers without I/O classes (none, kyber) ignore it; nothing else can be done there.
  ::syscall(SYS_ioprio_set, IOPRIO_WHO_PROCESS, thread, IOPRIO_PRIO_VALUE(IOPRIO_CLASS_IDLE, 0));
}
