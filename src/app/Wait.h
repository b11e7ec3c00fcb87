// Waits that keep the event loop turning, measured on a monotonic clock.
#pragma once

#include <QElapsedTimer>

namespace zestrel
{

// Returns once `seconds` (fractions allowed) have elapsed, running the event
// loop meanwhile. Nested calls are allowed; each ends on its own deadline.
void PauseWithEvents(double seconds);

// Lets pending events run once ("DoEvents").
void LetEventsRun();

// True when more than `seconds` whole seconds have passed since `start`. A time-out counts
// whole seconds, so 0 means "within the current second": at most one second, not at once.
bool TimedOut(const QElapsedTimer &start, int seconds);
// The same rule for a time already measured, in milliseconds.
bool TimedOut(qint64 elapsedMs, int seconds);

} // namespace zestrel
