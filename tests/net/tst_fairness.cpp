// Fair answering and unsolicited notices, on a clock the test turns by hand.
#include "net/RequestGate.h"
#include "net/RequestLedger.h"

#include <QtTest>

using namespace zestrel;

class TestFairness : public QObject
{
    Q_OBJECT
  private slots:
    void gate_data();
    void gate();
    void gateForgetsQuietMembers();
    void ledger_data();
    void ledger();
};

// Each step: at time `ms`, `requests` requests from `who`; expect `answered` of them
// answered and `reports` of the drops told on the status line.
struct Step {
    qint64 ms;
    QString who;
    int requests, answered, reports;
};
Q_DECLARE_METATYPE(QList<Step>)

void TestFairness::gate_data()
{
    QTest::addColumn<QList<Step>>("steps");
    QTest::newRow("burst of 200 answered") << QList<Step>{{0, "A", 200, 200, 0}};
    QTest::newRow("the 201st dropped and told") << QList<Step>{{0, "A", 201, 200, 1}};
    QTest::newRow("after 20 ms one more, not two")
        << QList<Step>{{0, "A", 200, 200, 0}, {19, "A", 1, 0, 1}, {20, "A", 2, 1, 0}};
    QTest::newRow("after a second 50 more")
        << QList<Step>{{0, "A", 200, 200, 0}, {1000, "A", 51, 50, 1}};
    QTest::newRow("told once a second, not per drop")
        << QList<Step>{{0, "A", 300, 200, 1}, {999, "A", 100, 49, 0}, {1999, "A", 100, 50, 1}};
    QTest::newRow("a flooder does not cost another member")
        << QList<Step>{{0, "Flood", 5000, 200, 1}, {1, "Other", 200, 200, 0}};
    QTest::newRow("a quiet member refills to the burst, no further")
        << QList<Step>{{0, "A", 200, 200, 0}, {60000, "A", 201, 200, 1}};
}

void TestFairness::gate()
{
    QFETCH(QList<Step>, steps);
    qint64 now = 0;
    RequestGate gate([&now] { return now; });
    for (const Step &s : steps) {
        now = s.ms;
        int answered = 0, reports = 0;
        for (int i = 0; i < s.requests; ++i) {
            const auto v = gate.Admit(s.who);
            answered += v == RequestGate::Verdict::Answer;
            reports += v == RequestGate::Verdict::DropAndReport;
        }
        QCOMPARE(answered, s.answered);
        QCOMPARE(reports, s.reports);
    }
}

void TestFairness::gateForgetsQuietMembers()
{
    // Requests under ever new keys must not grow the gate without bound.
    qint64 now = 0;
    RequestGate gate([&now] { return now; });
    for (int i = 0; i < 3 * int(RequestGate::MaxRequesters); ++i) {
        now = i * 100; // each member's bucket is full again after 20 ms of quiet
        QCOMPARE(gate.Admit(QString::number(i)), RequestGate::Verdict::Answer);
        QVERIFY(gate.Tracked() <= RequestGate::MaxRequesters);
    }
    // A member still within its burst is not forgotten by it.
    now = 0;
    RequestGate busy([&now] { return now; });
    for (int i = 0; i < 200; ++i)
        busy.Admit("Flood");
    for (int i = 0; i < int(RequestGate::MaxRequesters); ++i)
        busy.Admit(QString::number(i));
    QCOMPARE(busy.Admit("Flood"), RequestGate::Verdict::DropAndReport);
}

// sent: (ms, code, destination); then at `at` a notice (900 or 901) from `from`.
struct Sent {
    qint64 ms;
    int code;
    QString to;
};
Q_DECLARE_METATYPE(QList<Sent>)

void TestFairness::ledger_data()
{
    QTest::addColumn<QList<Sent>>("sent");
    QTest::addColumn<qint64>("at");
    QTest::addColumn<int>("notice");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QList<bool>>("shown"); // one entry per notice received

    QTest::newRow("901 never asked")
        << QList<Sent>{} << qint64(0) << 901 << "B" << QList<bool>{false};
    QTest::newRow("901 after a recipe request")
        << QList<Sent>{{0, 107, "B"}} << qint64(10) << 901 << "B" << QList<bool>{true, false};
    QTest::newRow("901 from a member not asked")
        << QList<Sent>{{0, 107, "B"}} << qint64(10) << 901 << "C" << QList<bool>{false};
    QTest::newRow("901 two requests, two notices")
        << QList<Sent>{{0, 107, "B"}, {1, 107, "B"}} << qint64(10) << 901 << "B"
        << QList<bool>{true, true, false};
    QTest::newRow("901 at 60 s still expected")
        << QList<Sent>{{0, 107, "B"}} << qint64(60000) << 901 << "B" << QList<bool>{true};
    QTest::newRow("901 after 60 s no more")
        << QList<Sent>{{0, 107, "B"}} << qint64(60001) << 901 << "B" << QList<bool>{false};
    QTest::newRow("901 other codes sent do not count")
        << QList<Sent>{{0, 111, "B"}, {0, 109, "B"}} << qint64(1) << 901 << "B"
        << QList<bool>{false};
    QTest::newRow("900 never searched")
        << QList<Sent>{} << qint64(0) << 900 << "B" << QList<bool>{false};
    QTest::newRow("900 once per member and search")
        << QList<Sent>{{0, 7, ""}} << qint64(5) << 900 << "B" << QList<bool>{true, false, false};
    QTest::newRow("900 at 60 s") << QList<Sent>{{0, 7, ""}} << qint64(60000) << 900 << "B"
                                 << QList<bool>{true};
    QTest::newRow("900 after 60 s")
        << QList<Sent>{{0, 7, ""}} << qint64(60001) << 900 << "B" << QList<bool>{false};
}

void TestFairness::ledger()
{
    QFETCH(QList<Sent>, sent);
    QFETCH(qint64, at);
    QFETCH(int, notice);
    QFETCH(QString, from);
    QFETCH(QList<bool>, shown);
    qint64 now = 0;
    RequestLedger ledger([&now] { return now; });
    for (const Sent &s : sent) {
        now = s.ms;
        ledger.NoteSent(s.code, s.to);
    }
    now = at;
    for (bool expected : shown)
        QCOMPARE(notice == 900 ? ledger.TakeSearchTooGeneric(from)
                               : ledger.TakeRecipeNotFound(from),
                 expected);
}

QTEST_GUILESS_MAIN(TestFairness)
#include "tst_fairness.moc"
