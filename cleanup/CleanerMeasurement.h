#pragma once
// Measures the rows of the 系统清理 page in the background, so each row shows
// as soon as its size is known: the system cleaners run their tools and
// walk large folders, which a page must not wait for.
#include "base/CallbackEvent.h"

namespace CleanerMeasurement {

// Starts measuring every row (PrivacyCleaner::measureRows) on a worker
// thread, which sends {"type": item, "id", "data": ROW-JSON} per row and
// ends with {"type": done, "id"}. A measurement started while another runs
// stops the other, which sends nothing more. Returns the id.
int start(ScriptCallback callback);
// Stops every measurement and waits for their workers, so none outlives
// the callback it calls.
void stopAll();

} // namespace CleanerMeasurement
