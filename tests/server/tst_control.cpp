// What the operator controls and what no member can take: reserved names from
// the master's addresses only, kick, bans at accept time and across a restart,
// and member-to-member floods paced by their reader.
#include "RawClient.h"
#include "support/ServerProcess.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;
using namespace zestrel::test;
namespace code = zestrel::protocol::code;

namespace
{

// Connects from `from` with the relay's welcome notice on: an accepted connection
// gets the notice at once, a banned one nothing before it is closed.
bool Welcomed(quint16 port, const QString &from)
{
    RawClient c;
    if (!c.Connect(port, from))
        return false;
    (void)QTest::qWaitFor(
        [&] { return !c.Raw().isEmpty() || c.Socket().state() != QAbstractSocket::ConnectedState; },
        5000);
    return c.Raw().startsWith(QByteArray::fromStdString(std::string(protocol::kServerNotice)));
}

bool Refused(quint16 port, const QString &from)
{
    RawClient c;
    if (!c.Connect(port, from))
        return false;
    return c.WaitDisconnected() && c.Raw().isEmpty();
}

} // namespace

class TestControl : public QObject
{
    Q_OBJECT
  private slots:
    void reservedNames_data();
    void reservedNames();
    void kick_data();
    void kick();
    void banAtAccept_data();
    void banAtAccept();
    void banFileAcrossRestart();
    void floodPacedByItsReader();
    void holdOnlyPastTheThreshold_data();
    void holdOnlyPastTheThreshold();
};

void TestControl::reservedNames_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("accepted");
    const QString here = QStringLiteral("127.0.0.1"), there = QStringLiteral("127.0.0.2");
    const QStringList none;
    QTest::newRow("plain name from elsewhere") << none << there << QByteArray("anna") << true;
    QTest::newRow("QEVO from loopback") << none << here << QByteArray("QEVO") << true;
    QTest::newRow("qEvO inside a name from elsewhere")
        << none << there << QByteArray("myqEvOfan") << false;
    QTest::newRow("Server from elsewhere") << none << there << QByteArray("Server 7") << false;
    QTest::newRow("long s for S from elsewhere") << none << there
                                                 << QByteArray("\xc5\xbf"
                                                               "erver")
                                                 << false;
    QTest::newRow("SERVE is no reserved word") << none << there << QByteArray("SERVE") << true;
    // 127.0.0.0/30 holds .0 to .3; 127.0.0.4/30 holds .4 to .7.
    QTest::newRow("inside --master-from 127.0.0.0/30")
        << QStringList{QStringLiteral("--master-from"), QStringLiteral("10.1.1.1,127.0.0.0/30")}
        << there << QByteArray("server") << true;
    QTest::newRow("outside --master-from 127.0.0.4/30")
        << QStringList{QStringLiteral("--master-from"), QStringLiteral("127.0.0.4/30")} << there
        << QByteArray("server") << false;
    QTest::newRow("loopback not in --master-from")
        << QStringList{QStringLiteral("--master-from"), QStringLiteral("127.0.0.4/30")} << here
        << QByteArray("server") << false;
}

void TestControl::reservedNames()
{
    QFETCH(QStringList, args);
    QFETCH(QString, from);
    QFETCH(QByteArray, name);
    QFETCH(bool, accepted);
    ServerProcess server;
    QVERIFY(server.start(args));
    ServerLog log(server);
    RawClient watcher, c;
    QVERIFY(watcher.Connect(server.port()) && c.Connect(server.port(), from));
    const std::string kw = watcher.SignIn("watcher");
    const quint16 port = c.Socket().localPort();
    const std::string key = c.SignIn(name.toStdString());
    if (accepted) {
        QVERIFY(!key.empty());
        QVERIFY(watcher.WaitFor(code::UsersAdded));
        return;
    }
    QVERIFY(key.empty());
    QVERIFY(c.WaitDisconnected());
    QTRY_VERIFY2(log().contains(QStringLiteral("refused sign-in from %1:%2: name '%3' holds a "
                                               "reserved word and the address is not in "
                                               "--master-from")
                                    .arg(from)
                                    .arg(port)
                                    .arg(QString::fromUtf8(name))),
                 qPrintable(log()));
    const std::size_t seen = watcher.Seen();
    watcher.Send(code::RequestUsers, kw, kw, {});
    const auto list = watcher.WaitFor(code::UsersList, seen);
    QVERIFY(list);
    QCOMPARE(SplitList(list->payload), std::vector<std::string>{kw});
}

void TestControl::kick_data()
{
    QTest::addColumn<QString>("how"); // name, key or index
    QTest::newRow("by name") << QStringLiteral("name");
    QTest::newRow("by key as who shows it") << QStringLiteral("key");
    QTest::newRow("by #index") << QStringLiteral("index");
}

void TestControl::kick()
{
    QFETCH(QString, how);
    ServerProcess server;
    QVERIFY(server.start());
    ServerLog log(server);
    RawClient a, b, c;
    QVERIFY(a.Connect(server.port()) && b.Connect(server.port()) && c.Connect(server.port()));
    const std::string ka = a.SignIn("anna", "10.0.0.1");
    const std::string kb = b.SignIn("bert", "10.0.0.2");
    QVERIFY(!c.SignIn("annabel", "10.0.0.3").empty());
    c.Send(code::ChatLine, c.Key(), {},
           "annabel" + std::string(protocol::kFieldSep) + "hi" + std::string(protocol::kFieldSep) +
               "0" + std::string(protocol::kFieldSep) + "1");
    QVERIFY(c.WaitFor(code::ChatLineRelay));
    server.command(QStringLiteral("who"));
    QTRY_VERIFY(log().contains(QStringLiteral("who: 3 members")));
    QTRY_VERIFY2(log().contains(QStringLiteral("#%1 'bert' key 10.0.0.2|bert|%1 from 127.0.0.1:%2 "
                                               "room - for 0:00:0")
                                    .arg(QString::fromStdString(b.Index()))
                                    .arg(b.Socket().localPort())),
                 qPrintable(log()));
    // --rooms default: room 1 is "Baking Corner".
    QTRY_VERIFY2(
        log().contains(QStringLiteral("'annabel' key 10.0.0.3|annabel|%1 from 127.0.0.1:%2 "
                                      "room 'Baking Corner' for ")
                           .arg(QString::fromStdString(c.Index()))
                           .arg(c.Socket().localPort())),
        qPrintable(log()));

    const QString target =
        how == QLatin1String("name") ? QStringLiteral("anna")
        : how == QLatin1String("key")
            ? QStringLiteral("10.0.0.1|anna|%1").arg(QString::fromStdString(a.Index()))
            : QStringLiteral("#%1").arg(QString::fromStdString(a.Index()));
    const std::size_t seen = b.Seen();
    server.command(QStringLiteral("kick ") + target);
    QVERIFY(a.WaitDisconnected());
    const auto left = b.WaitFor(code::UserLeft, seen);
    QVERIFY(left);
    QCOMPARE(left->payload, ka);
    QTRY_VERIFY(log().contains(QStringLiteral("kick %1: 1 members closed here").arg(target)));
    // Only that member: "annabel" holds the name but is not it.
    b.Send(code::InstantMessage, kb, c.Key(), "still here?");
    QVERIFY(c.WaitFor(code::InstantMessage));
    QCOMPARE(b.Count(code::UserLeft), 1);
    QCOMPARE(c.Socket().state(), QAbstractSocket::ConnectedState);
}

void TestControl::banAtAccept_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<bool>("banned");
    // 127.0.0.4/31 holds .4 and .5.
    QTest::newRow("127.0.0.3, below the range") << QStringLiteral("127.0.0.3") << false;
    QTest::newRow("127.0.0.4, its first") << QStringLiteral("127.0.0.4") << true;
    QTest::newRow("127.0.0.5, its last") << QStringLiteral("127.0.0.5") << true;
    QTest::newRow("127.0.0.6, above the range") << QStringLiteral("127.0.0.6") << false;
}

void TestControl::banAtAccept()
{
    QFETCH(QString, from);
    QFETCH(bool, banned);
    ServerProcess server;
    QVERIFY(server.start({QStringLiteral("--welcome")}));
    ServerLog log(server);
    RawClient member, watcher;
    QVERIFY(member.Connect(server.port(), from) && watcher.Connect(server.port()));
    const std::string km = member.SignIn("member");
    QVERIFY(!watcher.SignIn("watcher").empty());
    server.command(QStringLiteral("ban 127.0.0.5/31 30"));
    QTRY_VERIFY2(log().contains(QStringLiteral("ban 127.0.0.4/31 for 30 minutes: %1 connections "
                                               "closed")
                                    .arg(banned ? 1 : 0)),
                 qPrintable(log()));
    if (banned) {
        // Whoever was there goes, and the others hear of it.
        QVERIFY(member.WaitDisconnected());
        const auto left = watcher.WaitFor(code::UserLeft);
        QVERIFY(left);
        QCOMPARE(left->payload, km);
        QVERIFY(Refused(server.port(), from));
        QTRY_VERIFY(log().contains(QStringLiteral("refused %1:").arg(from)));
        QTRY_VERIFY(log().contains(QStringLiteral(": banned (127.0.0.4/31)")));
    } else {
        QVERIFY(Welcomed(server.port(), from));
        QCOMPARE(member.Socket().state(), QAbstractSocket::ConnectedState);
    }
    server.command(QStringLiteral("unban 127.0.0.4/31"));
    QTRY_VERIFY(log().contains(QStringLiteral("unban 127.0.0.4/31")));
    QVERIFY(Welcomed(server.port(), from));
}

void TestControl::banFileAcrossRestart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("bans"));
    {
        // Left by an earlier run: one ban over long ago, one line that is no ban.
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("127.0.0.3 1000\nnot a ban\n");
    }
    const QStringList args{QStringLiteral("--ban-file"), path};
    ServerProcess server;
    QVERIFY(server.start(args));
    ServerLog log(server);
    QTRY_VERIFY(
        log().contains(QStringLiteral("ban file %1: 1 lines that are no ban skipped").arg(path)));
    QVERIFY(log().contains(QStringLiteral("0 bans from %1").arg(path)));
    server.command(QStringLiteral("ban 127.0.0.2 30"));
    server.command(QStringLiteral("ban 127.0.0.9/29"));
    QTRY_VERIFY(log().contains(QStringLiteral("ban 127.0.0.8/29 until unbanned")));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    f.close();
    QCOMPARE(lines.size(), 4); // comment, two bans, end of the last line
    QVERIFY(lines[1].startsWith("127.0.0.2 "));
    const qint64 until = lines[1].mid(10).toLongLong();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QVERIFY2(until > now + 29 * 60 && until <= now + 30 * 60, lines[1].constData());
    QCOMPARE(lines[2], QByteArray("127.0.0.8/29 0"));
    QVERIFY(!QFile::exists(path + QStringLiteral(".tmp")));

    QVERIFY(server.start(args, server.port()));
    ServerLog after(server);
    QTRY_VERIFY(after().contains(QStringLiteral("2 bans from %1").arg(path)));
    QVERIFY(Refused(server.port(), QStringLiteral("127.0.0.2")));
    QVERIFY(Refused(server.port(), QStringLiteral("127.0.0.15")));
    RawClient expired;
    QVERIFY(expired.Connect(server.port(), QStringLiteral("127.0.0.3")));
    QVERIFY(!expired.SignIn("expired").empty());
    server.command(QStringLiteral("bans"));
    QTRY_VERIFY(after().contains(QStringLiteral("  127.0.0.8/29 until unbanned")));
    QVERIFY2(after().contains(QStringLiteral("  127.0.0.2 for 30 more minutes")),
             qPrintable(after()));

    // An unban lasts across a restart too.
    server.command(QStringLiteral("unban 127.0.0.2"));
    QTRY_VERIFY(after().contains(QStringLiteral("unban 127.0.0.2")));
    QVERIFY(server.start(args, server.port()));
    ServerLog third(server);
    QTRY_VERIFY(third().contains(QStringLiteral("1 bans from %1").arg(path)));
    RawClient back;
    QVERIFY(back.Connect(server.port(), QStringLiteral("127.0.0.2")));
    QVERIFY(!back.SignIn("back").empty());
}

// A member floods a slow reader with recipe replies, far past what the relay
// queues for one member; the reader reads at its own pace and gets every one,
// while two other members keep talking.
void TestControl::floodPacedByItsReader()
{
    ServerProcess server;
    QVERIFY(server.start());
    ServerLog log(server);
    RawClient sender, p1, p2;
    QVERIFY(sender.Connect(server.port()) && p1.Connect(server.port()) &&
            p2.Connect(server.port()));
    const std::string ks = sender.SignIn("sender");
    const std::string k1 = p1.SignIn("pair1");
    const std::string k2 = p2.SignIn("pair2");
    QTcpSocket reader;
    QVERIFY(StartSleeper(reader, server.port(), "reader"));
    const auto added = p2.WaitFor(code::UsersAdded); // the one arrival after pair2's own
    QVERIFY(added);
    const std::string kr = added->payload;

    // 30 MB against the 8 MiB a member may have queued. The reader takes at most
    // 32 KiB every 2 ms, far slower than the sender sends.
    constexpr int kFrames = 30;
    const std::string payload(1000000, 'r');
    for (int i = 0; i < kFrames; ++i)
        sender.Send(code::RecipeReply, ks, kr, payload);
    reader.setReadBufferSize(32 * 1024);
    protocol::Reassembler input;
    int replies = 0;
    bool intact = true;
    QTimer pace;
    QObject::connect(&pace, &QTimer::timeout, [&] {
        for (auto &e : input.Feed(reader.read(32 * 1024).toStdString()))
            if (e.kind == protocol::Reassembler::Event::Kind::Frame && e.parsed &&
                protocol::CodeNumber(e.message.code) == code::RecipeReply) {
                ++replies;
                intact = intact && e.message.payload == payload;
            }
    });
    pace.start(2);

    // Meanwhile the pair goes back and forth, each way within a second.
    for (int i = 0; i < 20; ++i) {
        const std::size_t seen2 = p2.Seen(), seen1 = p1.Seen();
        p1.Send(code::InstantMessage, k1, k2, "ping");
        QVERIFY(p2.WaitFor(code::InstantMessage, seen2, 1000));
        p2.Send(code::InstantMessage, k2, k1, "pong");
        QVERIFY(p1.WaitFor(code::InstantMessage, seen1, 1000));
    }
    QVERIFY2(replies < kFrames, "the pair was done only after the flood");

    QTRY_COMPARE_WITH_TIMEOUT(replies, kFrames, 60000);
    QVERIFY(intact);
    QCOMPARE(reader.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(sender.Socket().state(), QAbstractSocket::ConnectedState);
    QCOMPARE(p1.Count(code::UserLeft), 0);
    QVERIFY(!log().contains(QStringLiteral("unsent output")));
    QVERIFY(!log().contains(QStringLiteral("reads nothing")));
}

void TestControl::holdOnlyPastTheThreshold_data()
{
    QTest::addColumn<int>("answers");
    QTest::addColumn<bool>("held");
    // Search answers of 1,000 characters, two bytes each (about 2 KB a frame).
    QTest::newRow("a burst of 200 answers") << 200 << false;
    QTest::newRow("3,500 answers, 7 MB") << 3500 << true;
}

// A member that never reads: a burst of answers for it never holds their sender;
// past the threshold the sender waits, until the relay sees it reads nothing.
void TestControl::holdOnlyPastTheThreshold()
{
    QFETCH(int, answers);
    QFETCH(bool, held);
    ServerProcess server;
    QVERIFY(server.start());
    ServerLog log(server);
    RawClient answerer, other;
    QVERIFY(answerer.Connect(server.port()) && other.Connect(server.port()));
    const std::string ka = answerer.SignIn("answerer");
    const std::string ko = other.SignIn("other");
    QTcpSocket sleeper;
    QVERIFY(StartSleeper(sleeper, server.port(), "searcher"));
    const auto added = other.WaitFor(code::UsersAdded);
    QVERIFY(added);
    const std::string kz = added->payload;
    std::string answer;
    for (int i = 0; i < 1000; ++i)
        answer += "\xc3\xa9";
    for (int i = 0; i < answers; ++i)
        answerer.Send(code::SearchReply, ka, kz, answer);
    answerer.Send(code::InstantMessage, ka, ko, "after the answers");
    QVERIFY(other.WaitFor(code::InstantMessage, 0, 15000));
    const QString line = QStringLiteral("127.0.0.1:%1 reads nothing: 1 senders held for it go on")
                             .arg(sleeper.localPort());
    if (held)
        QTRY_VERIFY2(log().contains(line), qPrintable(log()));
    else
        QVERIFY2(!log().contains(QStringLiteral("reads nothing")), qPrintable(log()));
    QCOMPARE(sleeper.state(), QAbstractSocket::ConnectedState);
}

QTEST_GUILESS_MAIN(TestControl)
#include "tst_control.moc"
