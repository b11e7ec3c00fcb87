// The client under load: members arriving and leaving in bulk, a stream read at the
// client's own pace, and one member flooding another with requests over the relay.
#include "NetMembers.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

QString Member(int i)
{
    return "10.0." + QString::number(i / 250) + "." + QString::number(i % 250) + FS() + "M" +
           QString::number(i) + FS() + QString::number(i);
}

// Samples, at every turn of the event loop, what a connection holds unhandled.
struct Backlog {
    explicit Backlog(Connection &c) : connection(c)
    {
        timer.setInterval(0);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            ++turns;
            maxPending = std::max(maxPending, connection.PendingMessages());
            maxBuffered = std::max(maxBuffered, connection.socket().bytesAvailable());
        });
        timer.start();
    }
    Connection &connection;
    QTimer timer;
    qint64 turns = 0, maxBuffered = 0;
    qsizetype maxPending = 0;
};

} // namespace

class TestLoad : public QObject
{
    Q_OBJECT
  private slots:
    void directoryInBulk_data();
    void directoryInBulk();
    void streamReadAtOwnPace();
    void turnWindow();
    void floodOverRelay_data();
    void floodOverRelay();
};

void TestLoad::directoryInBulk_data()
{
    QTest::addColumn<int>("shownBefore"); // members of an earlier chunk, already in the tree
    QTest::addColumn<int>("arriving");    // one 101 each, all in one chunk
    QTest::addColumn<int>("leaveEvery");  // a 102 behind every n-th arrival (0: none)
    QTest::addColumn<int>("own");         // which arrival is the own key (-1: none)
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("insertions");
    QTest::addColumn<int>("removals");

    QTest::newRow("one") << 0 << 1 << 0 << -1 << 1 << 1 << 0;
    QTest::newRow("5000 in one insertion") << 0 << 5000 << 0 << -1 << 5000 << 1 << 0;
    QTest::newRow("own among 5000") << 0 << 5000 << 0 << 4321 << 5000 << 1 << 0;
    QTest::newRow("arriving and leaving in one turn") << 0 << 1000 << 2 << 3 << 500 << 1 << 0;
    QTest::newRow("leaving after being shown") << 10 << 10 << 1 << -1 << 10 << 2 << 10;
}

void TestLoad::directoryInBulk()
{
    QFETCH(int, shownBefore);
    QFETCH(int, arriving);
    QFETCH(int, leaveEvery);
    QFETCH(int, own);
    QFETCH(int, rows);
    QFETCH(int, insertions);
    QFETCH(int, removals);

    TestClient c;
    QStandardItemModel &model = c.members.tree.tvUsers;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
    if (own >= 0)
        c.app.MyUserKey = Member(shownBefore + own);
    QByteArray chunk;
    for (int i = 0; i < shownBefore; ++i)
        chunk += BuildFrame(101, QString(), QString(), Member(i));
    if (!chunk.isEmpty())
        c.connection.ProcessChunk(chunk);
    chunk.clear();
    for (int i = shownBefore; i < shownBefore + arriving; ++i) {
        chunk += BuildFrame(101, QString(), QString(), Member(i));
        // A member leaving: one of this chunk's arrivals, or one shown before.
        const int n = i - shownBefore;
        if (leaveEvery > 0 && n % leaveEvery == 0)
            chunk += BuildFrame(102, QString(), QString(), Member(shownBefore > 0 ? n : i));
    }
    c.connection.ProcessChunk(chunk);

    QCOMPARE(model.rowCount(), rows);
    QCOMPARE(int(c.members.OnlineUsers.Count()), rows);
    QCOMPARE(int(inserted.count()), insertions);
    QCOMPARE(int(removed.count()), removals);
    // In order of arrival, each node and directory entry agreeing.
    int expect = shownBefore > 0 && leaveEvery > 0 ? shownBefore : 0;
    for (int r = 0; r < model.rowCount(); ++r, ++expect) {
        while (leaveEvery > 0 && shownBefore == 0 && expect % leaveEvery == 0)
            ++expect;
        const QModelIndex node = model.index(r, 0);
        QCOMPARE(node.data().toString(), "M" + QString::number(expect));
        QCOMPARE(c.members.UserKeyForNode(BrowseTree::NodeKey(node)), Member(expect));
    }
    if (own >= 0 && !(leaveEvery > 0 && own % leaveEvery == 0)) {
        QVERIFY(c.members.MyMemberNode.isValid());
        QCOMPARE(c.members.MyMemberNode.data().toString(), "M" + QString::number(own));
        QCOMPARE(c.members.CurrentMemberNode, c.members.MyMemberNode);
        QCOMPARE(c.members.tree.tvUsersSelection.currentIndex(),
                 QModelIndex(c.members.MyMemberNode));
    } else {
        QVERIFY(!c.members.MyMemberNode.isValid());
    }
    // A later list repeating them adds nothing.
    c.receive("100", QString(), Member(shownBefore + arriving - 1));
    QCOMPARE(model.rowCount(), rows);
}

void TestLoad::streamReadAtOwnPace()
{
    // 30,000 arrivals written at once: the client takes them a bounded share at a
    // time and lets the event loop turn in between; nothing is lost or reordered.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TestClient c("Chef", "127.0.0.1", server.serverPort());
    QVERIFY(c.connection.ConnectToServer());
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), kNetWait);
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    constexpr int kMembers = 30000;
    QByteArray stream;
    for (int i = 0; i < kMembers; ++i)
        stream += BuildFrame(101, QString(), QString(), Member(i));
    QVERIFY(stream.size() > 4 * Connection::ReadBufferBytes);
    QSignalSpy inserted(&c.members.tree.tvUsers, &QAbstractItemModel::rowsInserted);
    Backlog backlog(c.connection);
    peer->write(stream);
    QTRY_COMPARE_WITH_TIMEOUT(c.members.tree.tvUsers.rowCount(), kMembers, 60000);

    // No frame here is under 32 bytes: one read holds at most this many.
    QVERIFY2(backlog.maxPending <= Connection::TurnReadBytes / 32,
             qPrintable(QString::number(backlog.maxPending)));
    QVERIFY2(backlog.maxBuffered <= Connection::ReadBufferBytes,
             qPrintable(QString::number(backlog.maxBuffered)));
    // Several turns, each adding its members in one insertion.
    QVERIFY(backlog.turns > 4);
    QVERIFY2(inserted.count() > 4 && inserted.count() < kMembers / 100,
             qPrintable(QString::number(inserted.count())));
    QCOMPARE(c.members.tree.tvUsers.index(0, 0).data().toString(), QString("M0"));
    QCOMPARE(c.members.tree.tvUsers.index(kMembers - 1, 0).data().toString(),
             "M" + QString::number(kMembers - 1));
}

void TestLoad::turnWindow()
{
    // 100 messages in one read, each taking 2 ms to handle: the event loop gets its turn
    // after about 15 ms of them, not after all 200 ms.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    TestClient c("Chef", "127.0.0.1", server.serverPort());
    QVERIFY(c.connection.ConnectToServer());
    QTRY_VERIFY_WITH_TIMEOUT(server.hasPendingConnections(), kNetWait);
    std::unique_ptr<QTcpSocket> peer(server.nextPendingConnection());
    int handled = 0;
    c.connection.dispatcher.Register(119, [&handled](const QString &, const QString &) {
        QElapsedTimer busy;
        busy.start();
        while (busy.nsecsElapsed() < 2'000'000) {
        }
        ++handled;
    });
    QByteArray stream;
    for (int i = 0; i < 100; ++i)
        stream += BuildFrame(119, "Bob", "Chef", "x");
    QList<int> handledAtTurns;
    QTimer turns;
    turns.setInterval(0);
    connect(&turns, &QTimer::timeout, [&] {
        if (handled > 0)
            handledAtTurns << handled;
    });
    turns.start();
    peer->write(stream);
    QTRY_COMPARE_WITH_TIMEOUT(handled, 100, kNetWait);
    QVERIFY2(!handledAtTurns.isEmpty() && handledAtTurns.first() < 100,
             qPrintable(QString::number(handledAtTurns.value(0))));
    // Each turn handles several messages, not one.
    QVERIFY2(handledAtTurns.first() >= 2, qPrintable(QString::number(handledAtTurns.first())));
}

void TestLoad::floodOverRelay_data()
{
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("dropped");
    QTest::newRow("a burst answered whole") << int(RequestGate::Burst) << false;
    QTest::newRow("a flood") << 20000 << true;
}

void TestLoad::floodOverRelay()
{
    QFETCH(int, requests);
    QFETCH(bool, dropped);

    ServerProcess server;
    QVERIFY(StartRelay(server));
    NetMember owner(server, "Owner"), flood(server, "Flood"), other(server, "Other");
    owner.giveCookbook({{1, "Tomato Soup", "Soups"}, {2, "Beef Stew", "Stews"}});
    QVERIFY(SignInAll({&owner, &flood, &other}));

    int floodAnswers = 0;
    QString otherAnswer;
    flood.session.dispatcher.Register(110,
                                      [&](const QString &, const QString &) { ++floodAnswers; });
    other.session.dispatcher.Register(110,
                                      [&](const QString &, const QString &p) { otherAnswer = p; });
    const QString as = owner.app.ArgSep;
    Backlog backlog(owner.client->connection);

    // The flood goes out in one write, as fast as the relay takes it.
    QByteArray frames;
    const QByteArray one = BuildFrame(111, flood.app.MyUserKey, owner.app.MyUserKey,
                                      "Main Dish" + as + "C1" + as + "1");
    for (int i = 0; i < requests; ++i)
        frames += one;
    QElapsedTimer clock;
    clock.start();
    flood.client->connection.socket().write(frames);
    // The other member asks behind the whole flood and is answered all the same.
    other.client->connection.SendMessage(111, other.app.MyUserKey, owner.app.MyUserKey,
                                         "Main Dish" + as + "C7" + as + "1");
    QTRY_COMPARE_WITH_TIMEOUT(otherAnswer, "N/A - no new recipes" + as + "C7", 30000);
    const double seconds = double(clock.elapsed()) / 1000.0;

    // The flooder got its burst and the rate, not one answer per request.
    QTRY_VERIFY_WITH_TIMEOUT(floodAnswers >= std::min(requests, int(RequestGate::Burst)), kNetWait);
    const int bound = int(RequestGate::Burst) + int(seconds * RequestGate::PerSecond) + 1;
    QVERIFY2(floodAnswers <= std::min(requests, bound),
             qPrintable(QString("%1 answers in %2 s").arg(floodAnswers).arg(seconds)));
    QCOMPARE(owner.client->statuses.contains(
                 "Too many requests from user [Flood]; some were not answered."),
             dropped);
    // What the owner held unhandled stayed bounded, and it is still signed in.
    QVERIFY2(backlog.maxPending <= Connection::TurnReadBytes / 32,
             qPrintable(QString::number(backlog.maxPending)));
    QVERIFY(backlog.maxBuffered <= Connection::ReadBufferBytes);
    QCOMPARE(owner.client->connection.State(), Connection::StateConnected);
    QVERIFY(other.sees(3));
}

QTEST_GUILESS_MAIN(TestLoad)
#include "tst_load.moc"
