#pragma once
// Background work runs below the normal scheduling priority.

// Lowers the priority of the calling thread only.
void lowerCurrentThreadPriority();
