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
    // Measured in milliseconds so a wait of N seconds ends just after N, never up to N+1.
    return start.elapsed() > qint64(seconds) * 1000;
}

} // namespace zestrel
