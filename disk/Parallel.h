#pragma once
// Spreads independent jobs over the machine's cores.
#include <functional>

namespace Parallel {

// Hardware threads, at least 1.
int workerCount();

// Calls job(worker, index) for every index below count, on up to
// workerCount() threads including the calling one; worker (below
// workerCount()) lets jobs keep state per thread. Rethrows the first
// exception a job raised once all threads have stopped.
void forEach(int count, const std::function<void(int worker, int index)> &job);

} // namespace Parallel
