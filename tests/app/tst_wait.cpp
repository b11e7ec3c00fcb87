// Waits that keep the event loop turning.
#include "app/Wait.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

using namespace zestrel;

class TestWait : public QObject
{
    Q_OBJECT
  private slots:
    void pauseEndsOnTimeWhileEventsRun_data();
    void pauseEndsOnTimeWhileEventsRun();
    void nothingToWait_data();
    void nothingToWait();
    void nestedWaits();
    void letEventsRunOnce();
    void timedOut_data();
    void timedOut();
    void timedOutOnTheClock();
};

void TestWait::pauseEndsOnTimeWhileEventsRun_data()
{
    QTest::addColumn<double>("seconds");
    QTest::newRow("quarter") << 0.25;
    QTest::newRow("half") << 0.5;
}

void TestWait::pauseEndsOnTimeWhileEventsRun()
{
    QFETCH(double, seconds);
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
    timer.start();

    QElapsedTimer clock;
    clock.start();
    PauseWithEvents(seconds);
    const qint64 ms = clock.elapsed();
    QVERIFY2(ms >= qint64(seconds * 1000), QByteArray::number(ms));
    // Generous ceiling: the point is that the wait ends, not how fast.
    QVERIFY2(ms < qint64(seconds * 1000) + 5000, QByteArray::number(ms));
    QVERIFY(ticks >= 2);
}

void TestWait::nothingToWait_data()
{
    QTest::addColumn<double>("seconds");
    QTest::newRow("zero") << 0.0;
    QTest::newRow("negative") << -3.0;
}

void TestWait::nothingToWait()
{
    QFETCH(double, seconds);
    QElapsedTimer clock;
    clock.start();
    PauseWithEvents(seconds);
    QVERIFY(clock.elapsed() < 1000);
}

void TestWait::nestedWaits()
{
    // A handler that runs inside the outer wait waits itself; each wait ends
    // on its own deadline.
    QElapsedTimer clock;
    clock.start();
    qint64 innerStart = -1, innerEnd = -1;
    QTimer::singleShot(50, this, [&] {
        innerStart = clock.elapsed();
        PauseWithEvents(0.15);
        innerEnd = clock.elapsed();
    });
    PauseWithEvents(0.4);
    const qint64 outerEnd = clock.elapsed();

    QVERIFY(innerStart >= 0);
    QVERIFY2(innerEnd - innerStart >= 150, QByteArray::number(innerEnd - innerStart));
    QVERIFY(innerEnd <= outerEnd);
    QVERIFY2(outerEnd >= 400, QByteArray::number(outerEnd));
    QVERIFY2(outerEnd < 5000, QByteArray::number(outerEnd));
}

void TestWait::letEventsRunOnce()
{
    bool ran = false;
    QMetaObject::invokeMethod(
        this, [&] { ran = true; }, Qt::QueuedConnection);
    QVERIFY(!ran);
    LetEventsRun();
    QVERIFY(ran);
}

void TestWait::timedOut_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<bool>("expired");
    QTest::newRow("0 s, at once") << 0 << qint64(0) << false;
    QTest::newRow("0 s, 10 ms") << 0 << qint64(10) << false;
    QTest::newRow("0 s, 1000 ms") << 0 << qint64(1000) << false;
    QTest::newRow("0 s, 1001 ms") << 0 << qint64(1001) << true;
    QTest::newRow("1 s, 1000 ms") << 1 << qint64(1000) << false;
    QTest::newRow("1 s, 1001 ms") << 1 << qint64(1001) << true;
    QTest::newRow("10 s, 10000 ms") << 10 << qint64(10000) << false;
    QTest::newRow("10 s, 10001 ms") << 10 << qint64(10001) << true;
    QTest::newRow("255 s, 255000 ms") << 255 << qint64(255000) << false;
    QTest::newRow("255 s, 255001 ms") << 255 << qint64(255001) << true;
}

void TestWait::timedOut()
{
    QFETCH(int, seconds);
    QFETCH(qint64, elapsedMs);
    QFETCH(bool, expired);
    QCOMPARE(TimedOut(elapsedMs, seconds), expired);
}

void TestWait::timedOutOnTheClock()
{
    QElapsedTimer start;
    start.start();
    QVERIFY(!TimedOut(start, 0));
    QTRY_VERIFY_WITH_TIMEOUT(TimedOut(start, 0), 3000);
    QVERIFY(start.elapsed() > 1000);
}

QTEST_MAIN(TestWait)
#include "tst_wait.moc"
