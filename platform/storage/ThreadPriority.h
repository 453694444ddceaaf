#pragma once
// Background work gets the processor and the disk only when nothing else
// wants them: at full speed on an idle machine, out of the way otherwise.

// Puts the calling thread only (and the threads it starts afterwards) in the
// idle scheduling class (SCHED_IDLE; where that is refused, the weakest nice
// value) and the idle I/O class.
void runCurrentThreadWhenIdle();
