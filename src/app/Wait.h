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

// True when more than `seconds` seconds have passed since `start`.
bool TimedOut(const QElapsedTimer &start, int seconds);

} // namespace zestrel
