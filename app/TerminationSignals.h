#pragma once
// SIGTERM, SIGINT and SIGHUP end the program the way closing its window
// does, so everything it holds (shared-memory segments, files being
// written) is released by its owners instead of being left behind. The
// handler only writes a byte to a pipe; the program's own event loop reads
// it and runs the given shutdown.
#include <functional>

namespace TerminationSignals {

// Once, on the main thread, after the application object exists.
void install(std::function<void()> shutdown);

} // namespace TerminationSignals
