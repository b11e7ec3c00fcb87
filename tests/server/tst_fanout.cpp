// Messages the server spreads to many members: chat, search, rooms, operator
// notices and departures.
#include "RawClient.h"
#include "support/ServerProcess.h"

#include <QtTest>

using namespace zestrel;
using namespace zestrel::test;
namespace code = zestrel::protocol::code;

class TestFanOut : public QObject
{
    Q_OBJECT
  private slots:
    void chatAndSearchReachEveryoneIncludingSender_data();
    void chatAndSearchReachEveryoneIncludingSender();
    void rooms_data();
    void rooms();
    void operatorNotices_data();
    void operatorNotices();
    void departures_data();
    void departures();
    void arrivalsInABurst_data();
    void arrivalsInABurst();
    void pingNeedsNoAnswer();

  private:
    struct Group {
        std::unique_ptr<ServerProcess> server = std::make_unique<ServerProcess>();
        std::vector<std::unique_ptr<RawClient>> members;
    };
    static bool Start(Group &g, int members, const QStringList &args = {});
};

bool TestFanOut::Start(Group &g, int members, const QStringList &args)
{
    if (!g.server->start(args))
        return false;
    for (int i = 0; i < members; ++i) {
        auto c = std::make_unique<RawClient>();
        if (!c->Connect(g.server->port()) || c->SignIn("member" + std::to_string(i)).empty())
            return false;
        g.members.push_back(std::move(c));
    }
    return true;
}

void TestFanOut::chatAndSearchReachEveryoneIncludingSender_data()
{
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("delivered");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("chat line") << code::ChatLine << code::ChatLineRelay
                               << QByteArray("member1\0\0\0hello all\0\0\0"
                                             "255\0\0\0"
                                             "2",
                                             29);
    QTest::newRow("search") << code::Search << code::SearchRequest
                            << QByteArray("T\0\2\0soup\0\2\0"
                                          "1",
                                          12);
}

void TestFanOut::chatAndSearchReachEveryoneIncludingSender()
{
    QFETCH(int, sent);
    QFETCH(int, delivered);
    QFETCH(QByteArray, payload);
    Group g;
    QVERIFY(Start(g, 4));
    RawClient outsider; // connected, never signed in
    QVERIFY(outsider.Connect(g.server->port()));
    RawClient &sender = *g.members[1];
    sender.Send(sent, sender.Key(), "127.0.0.1", payload.toStdString());
    for (const auto &m : g.members) {
        const auto got = m->WaitFor(delivered);
        QVERIFY(got);
        QCOMPARE(got->payload, payload.toStdString());
        if (delivered == code::SearchRequest)
            QCOMPARE(got->source, sender.Key()); // members answer the searcher directly
    }
    // A connection that has not signed in is not a member and gets nothing, nor
    // may it speak to the members. The log line shows the server has handled the
    // attempt before the member's line below.
    outsider.Send(sent, {}, {}, "intruder");
    QString log;
    QTRY_VERIFY((log += QString::fromUtf8(g.server->process().readAllStandardError()))
                    .contains(QStringLiteral("not signed in")));
    QCOMPARE(outsider.Count(delivered), 0);
    g.members[0]->Send(sent, g.members[0]->Key(), {}, "after");
    QTRY_COMPARE(g.members[2]->Count(delivered), 2);
    QCOMPARE(g.members[2]->Frames().back().message.payload, std::string("after"));
}

void TestFanOut::rooms_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("rooms");
    QTest::newRow("given names, trimmed")
        << QStringList{QStringLiteral("--rooms"), QStringLiteral("Soups, Bread ,,Cakes")}
        << QStringList{QStringLiteral("Soups"), QStringLiteral("Bread"), QStringLiteral("Cakes")};
    QTest::newRow("one room") << QStringList{QStringLiteral("--rooms"), QStringLiteral("Lobby")}
                              << QStringList{QStringLiteral("Lobby")};
}

void TestFanOut::rooms()
{
    QFETCH(QStringList, args);
    QFETCH(QStringList, rooms);
    Group g;
    QVERIFY(Start(g, 1, args));
    RawClient &m = *g.members[0];
    m.Send(code::RequestRooms, m.Key(), {}, {});
    const auto list = m.WaitFor(code::RoomList);
    QVERIFY(list);
    QStringList got;
    for (const auto &r : SplitList(list->payload))
        got << QString::fromStdString(r);
    QCOMPARE(got, rooms);
}

void TestFanOut::operatorNotices_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("broadcast") << QStringLiteral("broadcast Server restarts at noon, sorry!")
                               << code::ServerBroadcast
                               << QByteArray("Server restarts at noon, sorry!");
    QTest::newRow("news") << QStringLiteral("news http://news.example/today.html")
                          << code::ShowWebPage << QByteArray("http://news.example/today.html");
}

void TestFanOut::operatorNotices()
{
    QFETCH(QString, line);
    QFETCH(int, code);
    QFETCH(QByteArray, payload);
    Group g;
    QVERIFY(Start(g, 3));
    RawClient fresh; // notices reach connections that have not signed in yet too
    QVERIFY(fresh.Connect(g.server->port()));
    // Its connect line shows the server knows it.
    const QString connectLine =
        QStringLiteral("connect 127.0.0.1:%1 ").arg(fresh.Socket().localPort());
    QString log;
    QTRY_VERIFY((log += QString::fromUtf8(g.server->process().readAllStandardError()))
                    .contains(connectLine));
    g.server->command(QStringLiteral("bogus line"));
    g.server->command(line);
    for (const auto &m : g.members) {
        const auto got = m->WaitFor(code);
        QVERIFY(got);
        QCOMPARE(got->payload, payload.toStdString());
    }
    QVERIFY(fresh.WaitFor(code));
}

void TestFanOut::departures_data()
{
    QTest::addColumn<bool>("signOff");
    QTest::newRow("message 2") << true;
    QTest::newRow("connection closed") << false;
}

void TestFanOut::departures()
{
    QFETCH(bool, signOff);
    Group g;
    QVERIFY(Start(g, 3));
    RawClient &leaver = *g.members[1];
    const std::string key = leaver.Key();
    if (signOff)
        leaver.Send(code::SignOff, key, {}, {});
    else
        leaver.Socket().abort();
    for (const int i : {0, 2}) {
        const auto left = g.members[i]->WaitFor(code::UserLeft);
        QVERIFY(left);
        QCOMPARE(left->payload, key);
    }
    if (signOff) {
        QCOMPARE(leaver.Count(code::UserLeft), 0);
        leaver.Socket().abort(); // the usual close after signing off: no second notice
    }
    // A newcomer's list no longer holds the member, and nobody heard twice.
    RawClient late;
    QVERIFY(late.Connect(g.server->port()));
    QVERIFY(!late.SignIn("late").empty());
    const auto list = late.Find(code::UsersList);
    QVERIFY(list);
    QCOMPARE(SplitList(list->payload),
             (std::vector<std::string>{g.members[0]->Key(), g.members[2]->Key(), late.Key()}));
    QVERIFY(g.members[0]->WaitFor(code::UsersAdded, 0));
    QTRY_VERIFY(g.members[0]->Count(code::UsersAdded) == 3);
    QCOMPARE(g.members[0]->Count(code::UserLeft), 1);
}

void TestFanOut::arrivalsInABurst_data()
{
    QTest::addColumn<int>("arrivals");
    QTest::addColumn<int>("nameBytes");
    QTest::newRow("three") << 3 << 8;
    // About 27 KB of arrival notices and member list: past one notice block and
    // through several growths of the list.
    QTest::newRow("a hundred with long names") << 100 << 250;
}

// Members signing in together: everyone hears of each arrival once, in the order
// of the indexes; a newcomer's list holds those before it and itself, and it hears
// only of the later ones; a frame from a newcomer never overtakes its arrival.
void TestFanOut::arrivalsInABurst()
{
    QFETCH(int, arrivals);
    QFETCH(int, nameBytes);
    Group g;
    QVERIFY(Start(g, 1));
    RawClient &watcher = *g.members[0];
    std::vector<std::unique_ptr<RawClient>> burst;
    std::vector<std::string> names;
    for (int i = 0; i < arrivals; ++i) {
        burst.push_back(std::make_unique<RawClient>());
        // From four addresses: one may not have more than 64 waiting.
        QVERIFY(
            burst.back()->Connect(g.server->port(), QStringLiteral("127.0.0.%1").arg(1 + i % 4)));
        std::string name = std::to_string(i) + "-";
        name.resize(std::size_t(nameBytes), 'n');
        names.push_back(name);
    }
    for (int i = 0; i < arrivals; ++i)
        burst[std::size_t(i)]->Send(code::SignIn, {}, {},
                                    "127.0.0.1" + std::string(protocol::kFieldSep) +
                                        names[std::size_t(i)] + std::string(protocol::kFieldSep) +
                                        "2.4.0");
    // Members in index order, the watcher first.
    struct Arrival {
        long long index;
        std::string key;
        RawClient *client;
        bool operator<(const Arrival &o) const { return index < o.index; }
    };
    std::vector<Arrival> order;
    for (int i = 0; i < arrivals; ++i) {
        RawClient &c = *burst[std::size_t(i)];
        const auto index = c.WaitFor(code::ConnectionIndex);
        QVERIFY(index);
        order.push_back({std::stoll(index->payload),
                         protocol::BuildUserKey("127.0.0.1", names[std::size_t(i)], index->payload),
                         &c});
    }
    std::sort(order.begin(), order.end());
    std::vector<std::string> keys{watcher.Key()};
    for (const auto &a : order)
        keys.push_back(a.key);
    // The last arrival writes to the watcher at once.
    order.back().client->Send(code::InstantMessage, order.back().key, watcher.Key(), "hi");
    QVERIFY(watcher.WaitFor(code::InstantMessage));

    auto heard = [](const RawClient &c, int code) {
        std::vector<std::string> out;
        for (const auto &e : c.Frames())
            if (protocol::CodeNumber(e.message.code) == code)
                out.push_back(e.message.payload);
        return out;
    };
    QCOMPARE(heard(watcher, code::UsersAdded),
             std::vector<std::string>(keys.begin() + 1, keys.end()));
    std::size_t message = 0, lastArrival = 0;
    for (std::size_t i = 0; i < watcher.Frames().size(); ++i) {
        const auto &m = watcher.Frames()[i].message;
        if (protocol::CodeNumber(m.code) == code::InstantMessage)
            message = i;
        if (protocol::CodeNumber(m.code) == code::UsersAdded && m.payload == keys.back())
            lastArrival = i;
    }
    QVERIFY(lastArrival < message);

    for (std::size_t k = 1; k < keys.size(); ++k) {
        RawClient &c = *order[k - 1].client;
        const auto list = c.WaitFor(code::UsersList);
        QVERIFY(list);
        QCOMPARE(SplitList(list->payload),
                 std::vector<std::string>(keys.begin(), keys.begin() + long(k) + 1));
        QTRY_COMPARE(heard(c, code::UsersAdded),
                     std::vector<std::string>(keys.begin() + long(k) + 1, keys.end()));
    }
}

void TestFanOut::pingNeedsNoAnswer()
{
    Group g;
    QVERIFY(Start(g, 1));
    RawClient &m = *g.members[0];
    const std::size_t seen = m.Seen();
    m.Send(code::Ping, m.Key(), m.Key(), {});
    m.Send(code::Ignored104, m.Key(), m.Key(), {});
    m.Send(code::RequestRooms, m.Key(), {}, {});
    QVERIFY(m.WaitFor(code::RoomList, seen));
    QCOMPARE(m.Seen(), seen + 1);
}

QTEST_GUILESS_MAIN(TestFanOut)
#include "tst_fanout.moc"
