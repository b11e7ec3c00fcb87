// The relay under attack, from strangers and from members: the sign-in deadline
// and input bound, the limits on members and on connections not signed in yet,
// sign-in texts, the chat line bound and fan-out rate, the memory budget, notices
// to a lagging member, and a log that never holds the relay up.
#include "RawClient.h"
#include "support/ServerProcess.h"

#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

using namespace zestrel;
using namespace zestrel::test;
namespace code = zestrel::protocol::code;

namespace
{

std::string SignInPayload(const std::string &ip, const std::string &name,
                          const std::string &version = "2.4.0")
{
    return ip + std::string(protocol::kFieldSep) + name + std::string(protocol::kFieldSep) +
           version;
}

// A sign-in frame of exactly `size` bytes, padded in the version field.
std::string SignInFrame(std::size_t size)
{
    const std::size_t bare =
        protocol::BuildMessage("1", {}, {}, SignInPayload("127.0.0.1", "pad", "")).size();
    return protocol::BuildMessage("1", {}, {},
                                  SignInPayload("127.0.0.1", "pad", std::string(size - bare, '9')));
}

} // namespace

class TestAttack : public QObject
{
    Q_OBJECT
  private slots:
    void signInDeadline_data();
    void signInDeadline();
    void inputBeforeSignIn_data();
    void inputBeforeSignIn();
    void membersAndWaitingConnectionsLimitedApart_data();
    void membersAndWaitingConnectionsLimitedApart();
    void signInTexts_data();
    void signInTexts();
    void lineSizeBound_data();
    void lineSizeBound();
    void floodNeverCutsReaders_data();
    void floodNeverCutsReaders();
    void memoryBudgetCutsBiggestHolders_data();
    void memoryBudgetCutsBiggestHolders();
    void laggingMemberGetsOneFreshList();
    void repeatedLinesFolded();
    void unreadLogNeverStopsRelay();
};

void TestAttack::signInDeadline_data()
{
    QTest::addColumn<QString>("steps"); // i: signs in, o: signs off
    QTest::addColumn<bool>("cut");
    QTest::newRow("never signs in") << QString() << true;
    QTest::newRow("signs in") << QStringLiteral("i") << false;
    QTest::newRow("signs off and stays") << QStringLiteral("io") << true;
    QTest::newRow("signs off and in again") << QStringLiteral("ioi") << false;
}

void TestAttack::signInDeadline()
{
    QFETCH(QString, steps);
    QFETCH(bool, cut);
    ServerProcess server;
    QVERIFY(server.start({QStringLiteral("--sign-in-timeout"), QStringLiteral("1")}));
    RawClient c, watcher;
    QVERIFY(c.Connect(server.port()) && watcher.Connect(server.port()));
    QVERIFY(!watcher.SignIn("watcher").empty());
    for (const QChar step : steps) {
        if (step == QLatin1Char('i')) {
            QVERIFY(!c.SignIn("anna").empty());
            continue;
        }
        const std::size_t seen = watcher.Seen();
        c.Send(code::SignOff, c.Key(), {}, {});
        QVERIFY(watcher.WaitFor(code::UserLeft, seen));
    }
    ServerLog log(server);
    if (cut) {
        QVERIFY(c.WaitDisconnected(5000));
        QTRY_VERIFY(log().contains(QStringLiteral("no sign-in in time")));
        return;
    }
    // A later connection that never signs in is cut after its deadline; the
    // members, whose deadlines passed before, are still there.
    RawClient late;
    QVERIFY(late.Connect(server.port()));
    QTRY_VERIFY_WITH_TIMEOUT(late.Socket().state() != QAbstractSocket::ConnectedState, 5000);
    QCOMPARE(c.Socket().state(), QAbstractSocket::ConnectedState);
    QCOMPARE(watcher.Socket().state(), QAbstractSocket::ConnectedState);
    QVERIFY(!log().contains(QStringLiteral("closing 127.0.0.1:%1").arg(c.Socket().localPort())));
}

void TestAttack::inputBeforeSignIn_data()
{
    QTest::addColumn<int>("bytes");
    QTest::addColumn<bool>("finished");
    QTest::addColumn<QString>("outcome"); // log text, or "signed in"
    QTest::newRow("4096-byte sign-in") << 4096 << true << QStringLiteral("signed in");
    QTest::newRow("4097-byte sign-in")
        << 4097 << true << QStringLiteral("frame before sign-in over the bound");
    QTest::newRow("4096 bytes unfinished, held until the deadline")
        << 4096 << false << QStringLiteral("no sign-in in time");
    QTest::newRow("4097 bytes unfinished")
        << 4097 << false << QStringLiteral("unfinished frame before sign-in over the bound");
}

void TestAttack::inputBeforeSignIn()
{
    QFETCH(int, bytes);
    QFETCH(bool, finished);
    QFETCH(QString, outcome);
    ServerProcess server;
    QVERIFY(server.start({QStringLiteral("--sign-in-timeout"), QStringLiteral("1")}));
    RawClient c;
    QVERIFY(c.Connect(server.port()));
    std::string frame = SignInFrame(std::size_t(bytes) + (finished ? 0 : 5));
    QCOMPARE(frame.size(), std::size_t(bytes) + (finished ? 0 : 5));
    if (!finished)
        frame.resize(frame.size() - protocol::kEndMarker.size());
    QCOMPARE(frame.size(), std::size_t(bytes));
    c.SendRaw(frame);
    if (outcome == QStringLiteral("signed in")) {
        QVERIFY(c.WaitFor(code::ConnectionIndex));
        return;
    }
    QVERIFY(c.WaitDisconnected(5000));
    QCOMPARE(c.Count(code::ConnectionIndex), 0);
    ServerLog log(server);
    QTRY_VERIFY(log().contains(outcome));
}

void TestAttack::membersAndWaitingConnectionsLimitedApart_data()
{
    QTest::addColumn<int>("idle"); // connections from 127.0.0.1 that never sign in
    QTest::addColumn<QString>("perAddress");
    QTest::addColumn<QString>("from");    // where the members come from
    QTest::addColumn<QString>("refusal"); // empty: both members get in
    const QString here = QStringLiteral("127.0.0.1"), there = QStringLiteral("127.0.0.2");
    QTest::newRow("3 waiting of 4 allowed") << 3 << QStringLiteral("0") << here << QString();
    QTest::newRow("4 waiting of 4 allowed")
        << 4 << QStringLiteral("0") << here << QStringLiteral("4 connections not signed in yet");
    QTest::newRow("2 waiting of 3 allowed from one address")
        << 2 << QStringLiteral("3") << here << QString();
    QTest::newRow("3 waiting of 3 allowed from one address")
        << 3 << QStringLiteral("3") << here
        << QStringLiteral("3 connections from its address not signed in yet");
    QTest::newRow("3 waiting from one address, members from another")
        << 3 << QStringLiteral("3") << there << QString();
}

void TestAttack::membersAndWaitingConnectionsLimitedApart()
{
    QFETCH(int, idle);
    QFETCH(QString, perAddress);
    QFETCH(QString, from);
    QFETCH(QString, refusal);
    ServerProcess server;
    QVERIFY(server.start({QStringLiteral("--max-members"), QStringLiteral("2"),
                          QStringLiteral("--max-unsigned"), QStringLiteral("4"),
                          QStringLiteral("--max-unsigned-per-address"), perAddress}));
    ServerLog log(server);
    std::vector<std::unique_ptr<RawClient>> idlers;
    for (int i = 0; i < idle; ++i) {
        idlers.push_back(std::make_unique<RawClient>());
        QVERIFY(idlers.back()->Connect(server.port()));
    }
    // All taken before anyone else comes.
    QTRY_COMPARE(log().count(QStringLiteral("connect 127.0.0.1:")), idle);
    RawClient a, b;
    QVERIFY(a.Connect(server.port(), from));
    if (!refusal.isEmpty()) {
        QVERIFY(a.WaitDisconnected());
        QTRY_VERIFY(log().contains(refusal));
        return;
    }
    // Idle sockets do not take members' places: both places can be filled, one
    // after the other from the same address.
    QVERIFY(!a.SignIn("anna").empty());
    QVERIFY(b.Connect(server.port(), from));
    QVERIFY(!b.SignIn("bert").empty());
    for (const auto &c : idlers)
        QCOMPARE(c->Socket().state(), QAbstractSocket::ConnectedState);
}

void TestAttack::signInTexts_data()
{
    QTest::addColumn<QByteArray>("ip");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::newRow("plain") << QByteArray("10.0.0.7") << QByteArray("Anna Maria") << QString();
    QTest::newRow("address with a list separator")
        << QByteArray("10.0.0.7\0\1\0"
                      "6.6.6.6",
                      18)
        << QByteArray("anna") << QStringLiteral("address holds a control character or separator");
    QTest::newRow("name of 256 bytes")
        << QByteArray("10.0.0.7") << QByteArray(256, 'n') << QString();
    QTest::newRow("name of 257 bytes") << QByteArray("10.0.0.7") << QByteArray(257, 'n')
                                       << QStringLiteral("address or name too long");
    QTest::newRow("name with a tab")
        << QByteArray("10.0.0.7") << QByteArray("an\tna")
        << QStringLiteral("name holds a control character or separator");
    QTest::newRow("name with DEL") << QByteArray("10.0.0.7") << QByteArray("anna\x7f")
                                   << QStringLiteral("name holds a control character or separator");
    // A begin marker inside the name starts a new frame: the sign-in in front of it is
    // junk and the rest does not parse, so there is no sign-in at all.
    QTest::newRow("name holding a begin marker")
        << QByteArray("10.0.0.7") << QByteArray("x*~B*~B~*~*y") << QStringLiteral("-");
}

void TestAttack::signInTexts()
{
    QFETCH(QByteArray, ip);
    QFETCH(QByteArray, name);
    QFETCH(QString, refusal);
    ServerProcess server;
    QVERIFY(server.start());
    RawClient watcher, c;
    QVERIFY(watcher.Connect(server.port()) && c.Connect(server.port()));
    const std::string kw = watcher.SignIn("watcher");
    c.Send(code::SignIn, {}, {}, SignInPayload(ip.toStdString(), name.toStdString()));
    if (refusal.isEmpty()) {
        QVERIFY(c.WaitFor(code::ConnectionIndex));
        QVERIFY(watcher.WaitFor(code::UsersAdded));
        return;
    }
    const quint16 port = c.Socket().localPort();
    if (refusal != QLatin1String("-")) {
        QVERIFY(c.WaitDisconnected());
        ServerLog log(server);
        QTRY_VERIFY2(log().contains(
                         QStringLiteral("refused sign-in from 127.0.0.1:%1: ").arg(port) + refusal),
                     qPrintable(log()));
    }
    QCOMPARE(c.Count(code::ConnectionIndex), 0);
    // Nobody heard of it: the list holds the watcher alone.
    const std::size_t seen = watcher.Seen();
    watcher.Send(code::RequestUsers, kw, kw, {});
    const auto list = watcher.WaitFor(code::UsersList, seen);
    QVERIFY(list);
    QCOMPARE(SplitList(list->payload), std::vector<std::string>{kw});
    QCOMPARE(watcher.Count(code::UsersAdded), 0);
}

void TestAttack::lineSizeBound_data()
{
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("delivered");
    QTest::addColumn<int>("payload");
    QTest::addColumn<bool>("passes");
    QTest::newRow("chat, 65536") << code::ChatLine << code::ChatLineRelay << 65536 << true;
    QTest::newRow("chat, 65537") << code::ChatLine << code::ChatLineRelay << 65537 << false;
    QTest::newRow("search, 65536") << code::Search << code::SearchRequest << 65536 << true;
    QTest::newRow("search, 65537") << code::Search << code::SearchRequest << 65537 << false;
}

void TestAttack::lineSizeBound()
{
    QFETCH(int, sent);
    QFETCH(int, delivered);
    QFETCH(int, payload);
    QFETCH(bool, passes);
    ServerProcess server;
    QVERIFY(server.start());
    RawClient s, r;
    QVERIFY(s.Connect(server.port()) && r.Connect(server.port()));
    const std::string ks = s.SignIn("sender");
    QVERIFY(!r.SignIn("reader").empty());
    s.Send(sent, ks, {}, std::string(std::size_t(payload), 'L'));
    s.Send(sent, ks, {}, "after");
    QTRY_VERIFY(r.Count(delivered) == (passes ? 2 : 1));
    QCOMPARE(r.Frames().back().message.payload, std::string("after"));
    if (passes)
        QCOMPARE(r.Find(delivered)->payload.size(), std::size_t(payload));
    else {
        ServerLog log(server);
        QTRY_VERIFY2(log().contains(QStringLiteral(" bytes from 127.0.0.1:%1: over 65536 bytes")
                                        .arg(s.Socket().localPort())),
                     qPrintable(log()));
    }
    QCOMPARE(s.Socket().state(), QAbstractSocket::ConnectedState);
}

void TestAttack::floodNeverCutsReaders_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("payload");
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("delivered");
    QTest::addColumn<bool>("senderCut");
    // Each over the line bound: refused at entry, the readers see none.
    QTest::newRow("20 lines of 1,000,000 bytes") << QStringList{} << 1000000 << 20 << 0 << false;
    // The bucket holds 100,000 bytes: one line fits, the rest are refused, and the
    // refused bytes soon pass two buckets' worth.
    QTest::newRow("60,000-byte lines at 100,000 bytes/s")
        << QStringList{QStringLiteral("--fanout-rate"), QStringLiteral("100000")} << 60000 << 12
        << 1 << true;
}

void TestAttack::floodNeverCutsReaders()
{
    QFETCH(QStringList, args);
    QFETCH(int, payload);
    QFETCH(int, lines);
    QFETCH(int, delivered);
    QFETCH(bool, senderCut);
    ServerProcess server;
    QVERIFY(server.start(args));
    RawClient flooder;
    QVERIFY(flooder.Connect(server.port()));
    const std::string kf = flooder.SignIn("flooder");
    std::vector<std::unique_ptr<RawClient>> readers;
    for (int i = 0; i < 5; ++i) {
        readers.push_back(std::make_unique<RawClient>());
        QVERIFY(readers.back()->Connect(server.port()));
        QVERIFY(!readers.back()->SignIn("reader" + std::to_string(i)).empty());
    }
    const std::string line(std::size_t(payload), 'F');
    for (int i = 0; i < lines; ++i)
        flooder.Send(code::ChatLine, kf, {}, line);
    ServerLog log(server);
    if (senderCut)
        QVERIFY(flooder.WaitDisconnected(10000));
    else
        QTRY_VERIFY(log().contains(QStringLiteral("over 65536 bytes")));
    // A reader's line after the flood reaches every reader behind it.
    RawClient &first = *readers[0];
    first.Send(code::ChatLine, first.Key(), {}, "still here");
    for (const auto &r : readers) {
        const auto stillHere = [&] {
            for (const auto &e : r->Frames())
                if (e.message.payload == "still here")
                    return true;
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(stillHere(), 10000);
        int big = 0;
        for (const auto &e : r->Frames())
            big += e.message.payload == line;
        QCOMPARE(big, delivered);
        QCOMPARE(r->Socket().state(), QAbstractSocket::ConnectedState);
    }
    if (!senderCut)
        QCOMPARE(flooder.Socket().state(), QAbstractSocket::ConnectedState);
}

void TestAttack::memoryBudgetCutsBiggestHolders_data()
{
    QTest::addColumn<bool>("input"); // else unread output
    QTest::newRow("unfinished frames") << true;
    QTest::newRow("a member that never reads") << false;
}

void TestAttack::memoryBudgetCutsBiggestHolders()
{
    QFETCH(bool, input);
    ServerProcess server;
    QVERIFY(server.start({QStringLiteral("--max-memory"), QStringLiteral("4M")}));
    ServerLog log(server);
    RawClient a, b;
    QVERIFY(a.Connect(server.port()) && b.Connect(server.port()));
    const std::string ka = a.SignIn("anna");
    const std::string kb = b.SignIn("bert");
    if (input) {
        // Eight members each park 900,000 bytes of an unfinished frame: about 1 MiB
        // of buffer each, so at most four fit in 4 MiB.
        std::vector<std::unique_ptr<RawClient>> parkers;
        for (int i = 0; i < 8; ++i) {
            parkers.push_back(std::make_unique<RawClient>());
            QVERIFY(parkers.back()->Connect(server.port()));
            const std::string k = parkers.back()->SignIn("parker" + std::to_string(i));
            std::string frame = protocol::BuildMessage("121", k, ka, std::string(900000, 'p'));
            frame.resize(frame.size() - protocol::kEndMarker.size());
            parkers.back()->SendRaw(frame);
        }
        QTRY_VERIFY_WITH_TIMEOUT(log().count(QStringLiteral("memory budget")) >= 4, 15000);
    } else {
        QTcpSocket sleeper;
        QVERIFY(StartSleeper(sleeper, server.port()));
        const auto added = b.WaitFor(code::UsersAdded);
        QVERIFY(added);
        const std::string kz = added->payload;
        // 14 MB for the sleeper: far past the budget, under the output bound's
        // reach only through the budget.
        const std::string payload(900000, 'z');
        for (int i = 0; i < 16; ++i)
            a.Send(code::RecipeReply, ka, kz, payload);
        const auto left = b.WaitFor(code::UserLeft, 0, 15000);
        QVERIFY(left);
        QCOMPARE(left->payload, kz);
        QTRY_VERIFY(log().contains(QStringLiteral("memory budget")));
        QVERIFY(!log().contains(QStringLiteral("unsent output")));
    }
    // The pair goes on.
    a.Send(code::InstantMessage, ka, kb, "fine");
    QTRY_VERIFY_WITH_TIMEOUT(b.Find(code::InstantMessage), 10000);
    QCOMPARE(b.Find(code::InstantMessage)->payload, std::string("fine"));
}

// A member with a long queue misses arrivals, then gets one list with everyone.
void TestAttack::laggingMemberGetsOneFreshList()
{
    ServerProcess server;
    QVERIFY(server.start());
    RawClient sender, watcher;
    QVERIFY(sender.Connect(server.port()) && watcher.Connect(server.port()));
    const std::string ks = sender.SignIn("sender");
    const std::string kw = watcher.SignIn("watcher");
    QTcpSocket sleeper;
    QVERIFY(StartSleeper(sleeper, server.port()));
    const auto added = watcher.WaitFor(code::UsersAdded);
    QVERIFY(added);
    const std::string kz = added->payload;
    // 7 MB queued for the sleeper (under the 8 MiB bound), then a marker behind it.
    for (int i = 0; i < 7; ++i)
        sender.Send(code::RecipeReply, ks, kz, std::string(1000000, 'r'));
    sender.Send(code::InstantMessage, ks, kw, "relayed");
    QVERIFY(watcher.WaitFor(code::InstantMessage, 0, 15000));
    std::vector<std::unique_ptr<RawClient>> late;
    std::vector<std::string> keys{ks, kw, kz};
    for (int i = 0; i < 5; ++i) {
        late.push_back(std::make_unique<RawClient>());
        QVERIFY(late.back()->Connect(server.port()));
        keys.push_back(late.back()->SignIn("late" + std::to_string(i)));
    }
    QTRY_COMPARE(watcher.Count(code::UsersAdded), 6);
    // Now the sleeper reads everything.
    sleeper.setReadBufferSize(0);
    protocol::Reassembler input;
    std::vector<protocol::Message> frames;
    int replies = 0;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            const QByteArray data = sleeper.readAll();
            for (auto &e : input.Feed(data.toStdString()))
                if (e.kind == protocol::Reassembler::Event::Kind::Frame && e.parsed) {
                    replies += protocol::CodeNumber(e.message.code) == code::RecipeReply;
                    if (protocol::CodeNumber(e.message.code) != code::RecipeReply)
                        frames.push_back(std::move(e.message));
                }
            return replies == 7 && !frames.empty() &&
                   protocol::CodeNumber(frames.back().code) == code::UsersList &&
                   frames.size() >= 3;
        }(),
        20000);
    // 117, its list at sign-in, then (no 101 at all) one fresh list with all eight.
    std::vector<int> codes;
    for (const auto &m : frames)
        codes.push_back(protocol::CodeNumber(m.code));
    QCOMPARE(codes, (std::vector<int>{code::ConnectionIndex, code::UsersList, code::UsersList}));
    QCOMPARE(SplitList(frames.back().payload), keys);
}

void TestAttack::repeatedLinesFolded()
{
    ServerProcess server;
    QVERIFY(server.start());
    ServerLog log(server);
    std::vector<std::unique_ptr<RawClient>> burst;
    for (int i = 0; i < 40; ++i) {
        burst.push_back(std::make_unique<RawClient>());
        QVERIFY(burst.back()->Connect(server.port()));
    }
    // Every connect is either its own line or counted in a summary line.
    static const QRegularExpression more(
        QStringLiteral("\\.\\.\\. (\\d+) more connects from 127\\.0\\.0\\.1 in the last second"));
    const auto accounted = [&] {
        const QString text = log();
        int n = int(text.count(QStringLiteral("connect 127.0.0.1:")));
        for (auto it = more.globalMatch(text); it.hasNext();)
            n += it.next().captured(1).toInt();
        return n;
    };
    QTRY_COMPARE_WITH_TIMEOUT(accounted(), 40, 5000);
    QVERIFY(log().count(QStringLiteral("connect 127.0.0.1:")) < 40);
}

// Standard error is a pipe nobody reads: the relay goes on past a full pipe.
void TestAttack::unreadLogNeverStopsRelay()
{
    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    ServerProcess server;
    const int writeEnd = fds[1];
    server.process().setChildProcessModifier([writeEnd] { ::dup2(writeEnd, 2); });
    QVERIFY(server.start());
    ::close(fds[1]);
    // About 400 KB of log: "unknown operator command '...'" per line.
    QString lines;
    for (int i = 0; i < 4000; ++i)
        lines += QStringLiteral("nonsense-command-%1-padding-padding-padding\n").arg(i);
    server.process().write(lines.toUtf8());
    server.process().waitForBytesWritten(5000);
    RawClient a, b;
    QVERIFY(a.Connect(server.port()) && b.Connect(server.port()));
    const std::string ka = a.SignIn("anna");
    const std::string kb = b.SignIn("bert");
    QVERIFY(!ka.empty() && !kb.empty());
    a.Send(code::InstantMessage, ka, kb, "through");
    QVERIFY(b.WaitFor(code::InstantMessage));
    // The pipe holds what it can; the rest was dropped and counted, not waited for.
    QByteArray held(1 << 20, '\0');
    const int flags = ::fcntl(fds[0], F_GETFL);
    ::fcntl(fds[0], F_SETFL, flags | O_NONBLOCK);
    const ssize_t n = ::read(fds[0], held.data(), std::size_t(held.size()));
    QVERIFY(n > 0 && n < 400000);
    ::close(fds[0]);
}

QTEST_GUILESS_MAIN(TestAttack)
#include "tst_attack.moc"
