#include "app/Wait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace zestrel
{

void PauseWithEvents(double seconds)
{
    QElapsedTimer clock;
    clock.start();
    const qint64 total = qint64(seconds * 1000.0);
    while (clock.elapsed() < total) {
        QEventLoop loop;
        QTimer::singleShot(int(total - clock.elapsed()), &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void LetEventsRun()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool TimedOut(const QElapsedTimer &start, int seconds)
{
    return TimedOut(start.elapsed(), seconds);
}

bool TimedOut(qint64 elapsedMs, int seconds)
{
    // Measured in milliseconds so a wait of N seconds ends just after N, never up to N+1.
    // A zestrel.set without a time-out gives 0; ending that wait after a few milliseconds
    // would let only loopback and LAN connects succeed.
    return elapsedMs > qint64(seconds < 1 ? 1 : seconds) * 1000;
}

} // namespace zestrel
