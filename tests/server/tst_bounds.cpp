// Limits that protect the server and its members, and the process's own life:
// output and input bounds, the member limit, the welcome notice, stdin, signals.
#include "RawClient.h"
#include "support/ServerProcess.h"

#include <QtTest>

#include <csignal>

using namespace zestrel;
using namespace zestrel::test;
namespace code = zestrel::protocol::code;

namespace
{
constexpr std::size_t kFrameBound = 1024 * 1024;
} // namespace

class TestBounds : public QObject
{
    Q_OBJECT
  private slots:
    void memberThatNeverReadsIsCutOff();
    void frameSizeBound_data();
    void frameSizeBound();
    void unframedRunBound_data();
    void unframedRunBound();
    void memberLimit();
    void welcomeNotice_data();
    void welcomeNotice();
    void endOfStdinKeepsServing();
    void signalsStopCleanly_data();
    void signalsStopCleanly();
};

void TestBounds::memberThatNeverReadsIsCutOff()
{
    ServerProcess server;
    QVERIFY(server.start());
    RawClient sender, watcher;
    QVERIFY(sender.Connect(server.port()) && watcher.Connect(server.port()));
    const std::string ks = sender.SignIn("sender");
    const std::string kw = watcher.SignIn("watcher");

    // The sleeper signs in and then never reads another byte.
    QTcpSocket sleeper;
    QVERIFY(StartSleeper(sleeper, server.port()));
    const auto added = watcher.WaitFor(code::UsersAdded);
    QVERIFY(added);
    const std::string kz = added->payload;

    // 24 MiB for the sleeper: more than socket buffers and the 8 MiB bound hold.
    const std::string payload(kFrameBound - 200, 'p');
    for (int i = 0; i < 24; ++i)
        sender.Send(code::RecipeReply, ks, kz, payload);
    const auto left = watcher.WaitFor(code::UserLeft, 0, 30000);
    QVERIFY(left);
    QCOMPARE(left->payload, kz);
    QVERIFY(ServerLog(server)().contains(QStringLiteral("unsent output")));

    // Everybody else goes on as before.
    sender.Send(code::InstantMessage, ks, kw, "still here");
    const auto im = watcher.WaitFor(code::InstantMessage);
    QVERIFY(im);
    QCOMPARE(im->payload, std::string("still here"));
    QCOMPARE(sender.Socket().state(), QAbstractSocket::ConnectedState);
}

void TestBounds::frameSizeBound_data()
{
    QTest::addColumn<int>("extra"); // bytes beyond the bound
    QTest::addColumn<bool>("finished");
    QTest::addColumn<bool>("kept");
    QTest::newRow("exactly the bound") << 0 << true << true;
    QTest::newRow("one byte over") << 1 << true << false;
    QTest::newRow("unfinished, far over") << 100000 << false << false;
}

void TestBounds::frameSizeBound()
{
    QFETCH(int, extra);
    QFETCH(bool, finished);
    QFETCH(bool, kept);
    ServerProcess server;
    QVERIFY(server.start());
    RawClient big, other;
    QVERIFY(big.Connect(server.port()) && other.Connect(server.port()));
    const std::string kb = big.SignIn("big");
    const std::string ko = other.SignIn("other");
    const std::size_t overhead = protocol::BuildMessage("121", kb, ko, {}).size();
    std::string frame =
        protocol::BuildMessage("121", kb, ko, std::string(kFrameBound + extra - overhead, 'x'));
    QCOMPARE(frame.size(), kFrameBound + extra);
    if (!finished)
        frame.resize(frame.size() - protocol::kEndMarker.size());
    big.SendRaw(frame);
    if (kept) {
        const auto got = other.WaitFor(code::InstantMessage, 0, 15000);
        QVERIFY(got);
        QCOMPARE(got->payload.size(), frame.size() - overhead);
        QCOMPARE(big.Socket().state(), QAbstractSocket::ConnectedState);
    } else {
        QVERIFY(big.WaitDisconnected(15000));
        const auto left = other.WaitFor(code::UserLeft);
        QVERIFY(left);
        QCOMPARE(left->payload, kb);
        QCOMPARE(other.Count(code::InstantMessage), 0);
    }
}

void TestBounds::unframedRunBound_data()
{
    QTest::addColumn<int>("junk");
    QTest::addColumn<bool>("kept");
    QTest::newRow("a little") << 1000 << true;
    QTest::newRow("exactly the bound") << int(kFrameBound) << true;
    QTest::newRow("one byte over") << int(kFrameBound) + 1 << false;
}

void TestBounds::unframedRunBound()
{
    QFETCH(int, junk);
    QFETCH(bool, kept);
    ServerProcess server;
    QVERIFY(server.start());
    RawClient noisy, other;
    QVERIFY(noisy.Connect(server.port()) && other.Connect(server.port()));
    const std::string kn = noisy.SignIn("noisy");
    const std::string ko = other.SignIn("other");
    noisy.SendRaw(std::string(std::size_t(junk), '~') +
                  protocol::BuildMessage("121", kn, ko, "after the noise"));
    if (kept) {
        const auto got = other.WaitFor(code::InstantMessage, 0, 15000);
        QVERIFY(got);
        QCOMPARE(got->payload, std::string("after the noise"));
    } else {
        QVERIFY(noisy.WaitDisconnected(15000));
        QVERIFY(other.WaitFor(code::UserLeft));
        QCOMPARE(other.Count(code::InstantMessage), 0);
    }
}

void TestBounds::memberLimit()
{
    ServerProcess server;
    QVERIFY(server.start({QStringLiteral("--max-members"), QStringLiteral("2")}));
    auto a = std::make_unique<RawClient>();
    RawClient b, refused;
    QVERIFY(a->Connect(server.port()) && b.Connect(server.port()));
    QVERIFY(!a->SignIn("anna").empty());
    QVERIFY(!b.SignIn("bert").empty());
    // The limit counts members: the connection is taken, its sign-in refused.
    QVERIFY(refused.Connect(server.port()));
    QVERIFY(refused.SignIn("carl").empty());
    QVERIFY(refused.WaitDisconnected());
    ServerLog log(server);
    QTRY_VERIFY(log().contains(QStringLiteral("refused")));

    // A place that frees up can be taken again.
    a.reset();
    QVERIFY(b.WaitFor(code::UserLeft));
    RawClient late;
    QVERIFY(late.Connect(server.port()));
    QVERIFY(!late.SignIn("late").empty());
    QTRY_VERIFY(log().contains(QStringLiteral("sign-in 'late'")));
    for (const char *word : {"connect", "sign-in", "departure", "refused"})
        QVERIFY2(log().contains(QLatin1String(word)), word);
}

void TestBounds::welcomeNotice_data()
{
    QTest::addColumn<bool>("welcome");
    QTest::newRow("default: none") << false;
    QTest::newRow("--welcome") << true;
}

void TestBounds::welcomeNotice()
{
    QFETCH(bool, welcome);
    ServerProcess server;
    QVERIFY(server.start(welcome ? QStringList{QStringLiteral("--welcome")} : QStringList{}));
    RawClient c;
    QVERIFY(c.Connect(server.port()));
    QVERIFY(!c.SignIn("anna").empty());
    const QByteArray notice = QByteArray::fromStdString(std::string(protocol::kServerNotice));
    QCOMPARE(c.Raw().startsWith(notice), welcome);
    QVERIFY(c.Raw().mid(welcome ? notice.size() : 0).startsWith("*~B~*117^"));
}

void TestBounds::endOfStdinKeepsServing()
{
    ServerProcess server;
    QVERIFY(server.start());
    server.process().closeWriteChannel();
    ServerLog log(server);
    QTRY_VERIFY(log().contains(QStringLiteral("operator input closed")));
    RawClient c;
    QVERIFY(c.Connect(server.port()));
    QVERIFY(!c.SignIn("anna").empty());
}

void TestBounds::signalsStopCleanly_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestBounds::signalsStopCleanly()
{
    QFETCH(int, signal);
    ServerProcess server;
    QVERIFY(server.start());
    RawClient a, b;
    QVERIFY(a.Connect(server.port()) && b.Connect(server.port()));
    QVERIFY(!a.SignIn("anna").empty());
    QVERIFY(!b.SignIn("bert").empty());
    ::kill(pid_t(server.process().processId()), signal);
    QVERIFY(server.process().waitForFinished(5000));
    QCOMPARE(server.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(server.process().exitCode(), 0);
    QVERIFY(a.WaitDisconnected());
}

QTEST_GUILESS_MAIN(TestBounds)
#include "tst_bounds.moc"
