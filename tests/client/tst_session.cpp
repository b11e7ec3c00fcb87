// Whole clients against the real relay server on a free local port.
#include "TestClient.h"
#include "support/ServerProcess.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

constexpr int kWait = 5000;

std::unique_ptr<TestClient> Client(const ServerProcess &server, const QString &name)
{
    return std::make_unique<TestClient>(name, server.host(), server.port());
}

// Connected, signed in and listed in its own tree.
bool Ready(TestClient &c)
{
    return !c.app.MyUserKey.isEmpty() && c.members.MyMemberNode.isValid();
}

// What a client went through, for a failure message.
QString Why(const TestClient &c)
{
    return c.statuses.join(" | ") + " / key: " + QString(c.app.MyUserKey).replace(QChar(0), '0');
}

quint16 ClosedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

// A local listener whose accept queue is full: further connects stay unanswered
// (the kernel drops their SYN), so a client keeps "connecting".
class SilentServer
{
  public:
    SilentServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr *>(&a), len) != 0 ||
            ::listen(fd_, 0) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len))
            return;
        port_ = ntohs(a.sin_port);
        // Fill the queue; these complete, later ones hang.
        for (auto &f : fillers_) {
            f.connectToHost(QHostAddress::LocalHost, port_);
            f.waitForConnected(200);
        }
    }
    ~SilentServer()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    quint16 port() const { return port_; }

  private:
    int fd_ = -1;
    quint16 port_ = 0;
    QTcpSocket fillers_[3];
};

} // namespace

class TestSession : public QObject
{
    Q_OBJECT
  private slots:
    void signInGivesExactKey();
    void membersSeeEachOther_data();
    void membersSeeEachOther();
    void serverClosesConnection_data();
    void serverClosesConnection();
    void reconnectFillsTreeAgain();
    void reconnectTickWithoutReconnect();
    void emptyTreeAsksForMembers();
    void resetReconnects();
    void serverAbsentTimesOut_data();
    void serverAbsentTimesOut();
    void noSecondConnectInsideWait();
    void closingEndsWaits();
    void unreachableHostEndsWaitWithNotice();
    void connectWhileConnected();
    void badPortFailsAtOnce_data();
    void badPortFailsAtOnce();
    void portBounds_data();
    void portBounds();
    void cancelledNameSendsNothing();
    void ping_data();
    void ping();
    void sendOnClosedSocket();
    void sendOnClosingSocket();
    void sendLogFailureReported();
    void relayedNotice();
};

void TestSession::signInGivesExactKey()
{
    ServerProcess server;
    QVERIFY(server.start());
    auto c = Client(server, "Anna");
    // An unfinished frame from before must not swallow the new connection's first one.
    c->connection.ProcessChunk("*~B~*118^^^left over");
    QVERIFY(c->connection.PartialDataSize() > 0);
    QTRY_COMPARE(c->connection.lights.Colour(ActivityLights::Receive), ActivityLights::White);
    c->enableLog();
    QSignalSpy lights(&c->connection.lights, &ActivityLights::colourChanged);
    QVERIFY(c->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);

    QVERIFY(QRegularExpression("^\\d+$").match(c->app.ConnectionIndex).hasMatch());
    QCOMPARE(c->app.MyUserKey, "127.0.0.1" + QString(3, QChar(0)) + "Anna" + QString(3, QChar(0)) +
                                   c->app.ConnectionIndex);
    QCOMPARE(c->members.UserKeyForNode(BrowseTree::NodeKey(c->members.MyMemberNode)),
             c->app.MyUserKey);
    QVERIFY(c->members.IsLocalMember());
    QVERIFY(c->app.ConnectedAt.isValid());
    QVERIFY(c->connection.timReconnect.isActive());
    QVERIFY(c->connection.timIdle.isActive());
    QVERIFY(c->connection.timPing.isActive());

    const QStringList steps{"Connecting to server...", "Connected to server.",
                            "Signing in to server...", "Data sent..."};
    qsizetype at = 0;
    for (const QString &step : steps) {
        at = c->statuses.indexOf(step, at);
        QVERIFY2(at >= 0, qPrintable(step));
    }
    const QByteArray signIn = "Client - Sending Data: '*~B~*1^^^127.0.0.1" + QByteArray(3, '\0') +
                              "Anna" + QByteArray(3, '\0') + "2.4.0*~E~*'\r\n";
    QVERIFY(c->log().startsWith(signIn));
    QVERIFY(c->log().contains("Client - Data Arrival: '*~B~*117^^^" +
                              c->app.ConnectionIndex.toUtf8() + "*~E~*"));

    // Send and receive lights went on and are off again.
    QTRY_COMPARE(c->connection.lights.Colour(ActivityLights::Send), ActivityLights::White);
    QTRY_COMPARE(c->connection.lights.Colour(ActivityLights::Receive), ActivityLights::White);
    QList<QPair<int, quint32>> seen;
    for (const auto &args : lights)
        seen.append({args.at(0).toInt(), args.at(1).toUInt()});
    QVERIFY(seen.contains(qMakePair(int(ActivityLights::Send), ActivityLights::Green)));
    QVERIFY(seen.contains(qMakePair(int(ActivityLights::Receive), ActivityLights::Red)));
}

void TestSession::membersSeeEachOther_data()
{
    QTest::addColumn<bool>("signOff");
    QTest::newRow("leaves with sign-off") << true;
    QTest::newRow("connection simply closes") << false;
}

void TestSession::membersSeeEachOther()
{
    QFETCH(bool, signOff);
    ServerProcess server;
    QVERIFY(server.start());
    auto anna = Client(server, "Anna");
    auto ben = Client(server, "Ben");
    QVERIFY(anna->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*anna), qPrintable(Why(*anna)), kWait);
    QVERIFY(ben->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*ben), qPrintable(Why(*ben)), kWait);

    QTRY_COMPARE_WITH_TIMEOUT(anna->memberTexts(), (QStringList{"Anna", "Ben"}), kWait);
    QCOMPARE(ben->memberTexts(), (QStringList{"Anna", "Ben"}));
    QVERIFY(anna->members.UserExists(ben->app.MyUserKey));
    QVERIFY(ben->members.UserExists(anna->app.MyUserKey));

    if (signOff)
        ben->session.SignOffAndClose();
    else
        ben.reset();
    QTRY_COMPARE_WITH_TIMEOUT(anna->memberTexts(), QStringList{"Anna"}, kWait);
    QCOMPARE(anna->members.OnlineUsers.Count(), 1);
    QVERIFY(anna->members.MyMemberNode.isValid());
    QVERIFY(!anna->diag.messageCenter());
}

void TestSession::serverClosesConnection_data()
{
    QTest::addColumn<bool>("minimized");
    QTest::newRow("window shown") << false;
    QTest::newRow("window minimized") << true;
}

void TestSession::serverClosesConnection()
{
    QFETCH(bool, minimized);
    ServerProcess server;
    QVERIFY(server.start());
    auto c = Client(server, "Anna");
    c->connection.Minimized = minimized;
    QVERIFY(c->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);
    QSignalSpy lost(&c->connection, &Connection::connectionLost);

    server.stop();
    QVERIFY(lost.wait(kWait));
    QCOMPARE(c->diag.status.text(), QStringLiteral("Connection terminated..."));
    QCOMPARE(c->connection.State(), Connection::StateClosed);
    QVERIFY(!c->connection.timIdle.isActive());
    if (minimized) {
        QVERIFY(!c->diag.messageCenter());
    } else {
        QCOMPARE(c->centerTitle(), QStringLiteral("Connection Lost"));
        QCOMPARE(c->centerText(),
                 QStringLiteral("Your connection to the server has been terminated!"));
    }
}

void TestSession::reconnectFillsTreeAgain()
{
    ServerProcess server;
    QVERIFY(server.start());
    const quint16 port = server.port();
    auto anna = Client(server, "Anna");
    auto ben = Client(server, "Ben");
    for (auto *c : {anna.get(), ben.get()}) {
        c->app.Settings.insert("RECONNECT", "1");
        QVERIFY(c->session.Start());
        QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);
    }
    QTRY_COMPARE_WITH_TIMEOUT(anna->memberTexts(), (QStringList{"Anna", "Ben"}), kWait);
    const QString oldKey = anna->app.MyUserKey;

    QSignalSpy annaLost(&anna->connection, &Connection::connectionLost);
    QSignalSpy benLost(&ben->connection, &Connection::connectionLost);
    server.stop();
    QVERIFY(annaLost.count() || annaLost.wait(kWait));
    QVERIFY(benLost.count() || benLost.wait(kWait));

    ServerProcess again;
    QVERIFY(again.start({"--listen", QStringLiteral("127.0.0.1:%1").arg(port)}));
    QCOMPARE(again.port(), port);

    ben->connection.ReconnectTick();
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*ben), qPrintable(Why(*ben)), kWait);
    anna->connection.ReconnectTick();
    QVERIFY(anna->statuses.contains("Attempting to reconnect to the Zestrel Network..."));
    QCOMPARE(anna->centerTitle(), QStringLiteral("Connection Made"));
    QVERIFY(anna->centerText().startsWith(
        "Zestrel was able to re-establish a connection to the Zestrel Network!"));
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*anna), qPrintable(Why(*anna)), kWait);
    QVERIFY(anna->app.MyUserKey != oldKey);
    // Both members come back, each under a node that belongs to a listed member.
    QTRY_COMPARE_WITH_TIMEOUT(anna->memberTexts(), (QStringList{"Ben", "Anna"}), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(ben->memberTexts(), (QStringList{"Ben", "Anna"}), kWait);
    QCOMPARE(anna->members.OnlineUsers.Count(), 2);
    QVERIFY(anna->members.UserExists(ben->app.MyUserKey));
}

void TestSession::reconnectTickWithoutReconnect()
{
    ServerProcess server;
    QVERIFY(server.start());
    auto c = Client(server, "Anna");
    QVERIFY(c->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);
    c->connection.CloseConnection();
    QCOMPARE(c->connection.State(), Connection::StateClosed);
    c->statuses.clear();
    c->connection.ReconnectTick();
    QVERIFY(c->members.TreeIsEmpty());
    QCOMPARE(c->members.OnlineUsers.Count(), 0);
    QCOMPARE(c->connection.State(), Connection::StateClosed);
    QCOMPARE(c->statuses, QStringList());
}

void TestSession::emptyTreeAsksForMembers()
{
    ServerProcess server;
    QVERIFY(server.start());
    auto c = Client(server, "Anna");
    QVERIFY(c->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);
    c->members.tree.NextNodeNumber();
    c->members.tree.RemoveAllNodes(); // e.g. "Remove Node" on the only member
    c->connection.ReconnectTick();
    QVERIFY(c->statuses.contains("Automatically requesting users..."));
    QTRY_COMPARE_WITH_TIMEOUT(c->memberTexts(), QStringList{"Anna"}, kWait);
    // The directory was emptied and numbering started again.
    QCOMPARE(BrowseTree::NodeKey(c->members.tree.tvUsers.index(0, 0)), QStringLiteral("U0"));
    QVERIFY(c->members.MyMemberNode.isValid());
    // With nodes present a tick asks for nothing.
    c->statuses.clear();
    c->connection.ReconnectTick();
    QCOMPARE(c->statuses, QStringList());
}

void TestSession::resetReconnects()
{
    ServerProcess server;
    QVERIFY(server.start());
    auto anna = Client(server, "Anna");
    auto ben = Client(server, "Ben");
    for (auto *c : {anna.get(), ben.get()}) {
        QVERIFY(c->session.Start());
        QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);
    }
    QTRY_COMPARE_WITH_TIMEOUT(ben->memberTexts(), (QStringList{"Anna", "Ben"}), kWait);
    const QString oldKey = anna->app.MyUserKey;
    QSignalSpy cleared(&anna->connection, &Connection::viewsCleared);

    anna->connection.ResetZestrel();
    QCOMPARE(cleared.count(), 1);
    QVERIFY(anna->statuses.contains("Connecting to server..."));
    QVERIFY(!anna->statuses.contains("Network resources unavailable."));
    QCOMPARE(anna->connection.State(), Connection::StateConnected);
    // The reset notice was the only message: the message center is gone again.
    QVERIFY(!anna->diag.messageCenter());
    QTRY_VERIFY_WITH_TIMEOUT(Ready(*anna) && anna->app.MyUserKey != oldKey, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(anna->memberTexts(), (QStringList{"Ben", "Anna"}), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(ben->members.UserExists(anna->app.MyUserKey), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(!ben->members.UserExists(oldKey), kWait);
    QCOMPARE(ben->memberTexts(), (QStringList{"Ben", "Anna"}));
    // The connection was not reported lost: it was closed on purpose.
    QVERIFY(!anna->statuses.contains("Connection terminated..."));
}

void TestSession::serverAbsentTimesOut_data()
{
    QTest::addColumn<bool>("answers");
    QTest::addColumn<int>("timeout");
    QTest::newRow("port closed") << true << 1;
    QTest::newRow("connect never answered") << false << 1;
    // 0 (a zestrel.set without a time-out) means within the current second, not at once.
    QTest::newRow("time-out 0, never answered") << false << 0;
}

void TestSession::serverAbsentTimesOut()
{
    QFETCH(bool, answers);
    QFETCH(int, timeout);
    SilentServer silent;
    const quint16 port = answers ? ClosedPort() : silent.port();
    QVERIFY(port);
    TestClient c("Anna", QStringLiteral("127.0.0.1"), port, timeout);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!c.connection.ConnectToServer());
    const qint64 ms = clock.elapsed();
    QVERIFY2(ms > 1000 && ms <= 2000, qPrintable(QString::number(ms)));
    QCOMPARE(c.diag.status.text(), QStringLiteral("Server Connect timed out."));
    QCOMPARE(c.connection.State(), Connection::StateClosed);
    QVERIFY(c.connection.timReconnect.isActive());
    QCOMPARE(c.connection.timReconnect.interval(), 5000);
    QVERIFY(!c.diag.messageCenter());
}

void TestSession::noSecondConnectInsideWait()
{
    TestClient c("Anna", QStringLiteral("127.0.0.1"), ClosedPort(), 1);
    c.app.Settings.insert("RECONNECT", "1");
    c.app.Settings.insert("PING", "1");
    int fired = 0;
    QTimer::singleShot(100, &c.connection, [&] {
        ++fired;
        c.connection.ReconnectTick();
        c.connection.ResetZestrel();
        c.connection.SendPing();
        QVERIFY(!c.connection.ConnectToServer());
    });
    QVERIFY(!c.connection.ConnectToServer());
    QCOMPARE(fired, 1);
    QCOMPARE(c.statuses.count("Connecting to server..."), 1);
    QVERIFY(!c.statuses.contains("Attempting to reconnect to the Zestrel Network..."));
    QVERIFY(!c.diag.messageCenter());
}

void TestSession::closingEndsWaits()
{
    SilentServer silent;
    QVERIFY(silent.port());
    TestClient c("Anna", QStringLiteral("127.0.0.1"), silent.port(), 10);
    c.enableLog();
    bool sendReturned = false;
    // A member's send inside the connect wait waits too; closing the window ends both.
    QTimer::singleShot(100, &c.connection, [&] {
        QTimer::singleShot(200, &c.connection, [&] { c.app.Closing = true; });
        QVERIFY(c.connection.State() != Connection::StateClosed &&
                c.connection.State() != Connection::StateConnected);
        c.connection.SendMessage(121, "me", "you", "hello");
        sendReturned = true;
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!c.connection.ConnectToServer());
    QVERIFY(sendReturned);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(c.statuses.contains("Starting timeout loop."));
    QCOMPARE(c.statuses.count("Server Connect timed out."), 0);
    QCOMPARE(c.connection.State(), Connection::StateClosed);
    QCOMPARE(c.log(), QByteArray()); // nothing was sent
}

void TestSession::unreachableHostEndsWaitWithNotice()
{
    // No address at all (no network settings file): the host cannot be found.
    TestClient c("Anna", QString(), 4000, 10);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!c.connection.ConnectToServer());
    QVERIFY(clock.elapsed() < 10000);
    QCOMPARE(
        c.statuses.mid(c.statuses.indexOf("Connecting to server...") + 1),
        (QStringList{"Unknown Error - Socket: 10065", "Server (Destination) is not reachable!"}));
    QCOMPARE(c.centerText(),
             QStringLiteral("You do not appear to be connected to the internet or the Zestrel "
                            "network server's IP address is unreachable.  There was a problem "
                            "trying to connect to the specified IP address on the specified "
                            "port.\r\n\r\nThis may be because proxy software or a gateway "
                            "program are blocking your computer from reaching the Zestrel IP "
                            "address or using the specified port!"));
    QCOMPARE(c.centerTitle(), QStringLiteral("Message"));
    QCOMPARE(c.connection.State(), Connection::StateClosed);
}

void TestSession::connectWhileConnected()
{
    ServerProcess server;
    QVERIFY(server.start());
    auto c = Client(server, "Anna");
    QVERIFY(c->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);
    c->statuses.clear();
    QVERIFY(!c->connection.ConnectToServer());
    QCOMPARE(c->statuses, (QStringList{"Network resources unavailable.",
                                       "Server (Destination) is not reachable!"}));
    QCOMPARE(c->connection.State(), Connection::StateConnected);
    QVERIFY(!c->diag.messageCenter());
}

void TestSession::badPortFailsAtOnce_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << ""
                           << "Unknown Error - Zestrel: 13";
    QTest::newRow("not a number") << "http"
                                  << "Unknown Error - Zestrel: 13";
    QTest::newRow("out of range") << "70000"
                                  << "Unknown Error - Zestrel: 380";
    QTest::newRow("negative") << "-1"
                              << "Unknown Error - Zestrel: 380";
}

void TestSession::badPortFailsAtOnce()
{
    QFETCH(QString, port);
    QFETCH(QString, error);
    TestClient c("Anna", QStringLiteral("127.0.0.1"), 0, 10);
    c.app.Net.ServerPort = port;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!c.connection.ConnectToServer());
    QVERIFY(clock.elapsed() < 10000); // the time-out was not waited out
    QCOMPARE(c.statuses, (QStringList{error, "Server (Destination) is not reachable!"}));
    QCOMPARE(c.connection.State(), Connection::StateClosed);
    QVERIFY(!c.connection.timReconnect.isActive());
}

void TestSession::portBounds_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<QStringList>("statuses");
    const QStringList refused{"Unknown Error - Zestrel: 380",
                              "Server (Destination) is not reachable!"};
    const QStringList tried{"Connecting to server..."};
    QTest::newRow("0 refused") << "0" << refused;
    QTest::newRow("1 tried") << "1" << tried;
    QTest::newRow("65535 tried") << "65535" << tried;
    QTest::newRow("65536 refused") << "65536" << refused;
}

void TestSession::portBounds()
{
    QFETCH(QString, port);
    QFETCH(QStringList, statuses);
    TestClient c("Anna", QStringLiteral("127.0.0.1"), 0, 10);
    c.app.Net.ServerPort = port;
    // Closing ends the connect wait at once: only whether a connect was tried matters here.
    c.app.Closing = true;
    c.connection.ConnectToServer();
    QCOMPARE(c.statuses.mid(0, statuses.size()), statuses);
}

void TestSession::cancelledNameSendsNothing()
{
    ServerProcess server;
    QVERIFY(server.start());
    auto watcher = Client(server, "Watcher");
    QVERIFY(watcher->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*watcher), qPrintable(Why(*watcher)), kWait);

    auto quitter = Client(server, QString());
    QVERIFY(!quitter->session.Start());
    QCOMPARE(quitter->prompter.titles(), QStringList{"Username"});
    QVERIFY(!quitter->statuses.contains("Connecting to server..."));
    QCOMPARE(quitter->connection.State(), Connection::StateClosed);

    // The server never heard of it.
    watcher->members.RefreshMembers();
    QTRY_COMPARE_WITH_TIMEOUT(watcher->memberTexts(), QStringList{"Watcher"}, kWait);
}

void TestSession::ping_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<bool>("sent");
    QTest::newRow("PING on") << "1" << true;
    QTest::newRow("PING off") << "0" << false;
    QTest::newRow("PING unset") << QString() << false;
}

void TestSession::ping()
{
    QFETCH(QString, flag);
    QFETCH(bool, sent);
    ServerProcess server;
    QVERIFY(server.start());
    auto c = Client(server, "Anna");
    if (!flag.isNull())
        c->app.Settings.insert("PING", flag);
    QVERIFY(c->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);
    c->enableLog();
    QCOMPARE(c->connection.timPing.interval(), 60000);
    c->connection.SendPing();
    const QByteArray key = c->app.MyUserKey.toUtf8();
    const QByteArray line = "Client - Sending Data: '*~B~*5^" + key + "^" + key + "^*~E~*'\r\n";
    QCOMPARE(c->log(), sent ? line : QByteArray());
    QCOMPARE(c->connection.State(), Connection::StateConnected);
}

void TestSession::sendOnClosedSocket()
{
    TestClient c("Anna", QStringLiteral("127.0.0.1"), 1, 5);
    c.enableLog();
    c.connection.SendMessage(5, QString(), QString(), QString());
    QCOMPARE(c.statuses, (QStringList{"Attempting to connect to remote server.",
                                      "Socket was closed, unexpected error."}));
    QCOMPARE(c.log(), QByteArray());
    QCOMPARE(c.connection.lights.Colour(ActivityLights::Send), ActivityLights::Green);
}

void TestSession::sendOnClosingSocket()
{
    // A peer that never reads: our disconnect then waits with data still queued.
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
    peer.pauseAccepting();
    TestClient c("Anna", QStringLiteral("127.0.0.1"), peer.serverPort(), 1);
    QVERIFY(c.connection.ConnectToServer());
    c.connection.socket().write(QByteArray(64 * 1024 * 1024, 'x'));
    c.connection.socket().disconnectFromHost();
    QCOMPARE(c.connection.socket().state(), QAbstractSocket::ClosingState);
    QVERIFY(c.connection.State() != Connection::StateClosed &&
            c.connection.State() != Connection::StateConnected);

    // A closing socket is not a connection: the send waits and is dropped.
    c.enableLog();
    c.statuses.clear();
    c.connection.SendMessage(5, QString(), QString(), QString());
    QVERIFY2(!c.statuses.contains("Connected to server."), qPrintable(c.statuses.join(" | ")));
    QCOMPARE(c.diag.status.text(), QStringLiteral("Server Connect timed out."));
    QCOMPARE(c.log(), QByteArray());
    QCOMPARE(c.connection.State(), Connection::StateClosed);
}

void TestSession::sendLogFailureReported()
{
    ServerProcess server;
    QVERIFY(server.start());
    auto c = Client(server, "Anna");
    QVERIFY(c->session.Start());
    QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);
    c->enableLog();
    c->diag.LogFilePath = c->dir.path() + "/missing/folder/zestrel.log";
    c->statuses.clear();
    // The request still goes out (the server answers it); the failed log write is reported
    // in place of "Data sent...".
    c->connection.SendMessage(3, c->app.MyUserKey, c->app.MyUserKey, QString());
    QCOMPARE(c->statuses.mid(0, 5),
             (QStringList{"Attempting to connect to remote server.", "Starting timeout loop.",
                          "Connected to server.",
                          "Sending data to IP: " + server.host() +
                              " PORT: " + QString::number(server.port()),
                          "Error #75\r\n    Path/File access error\r\n    (Source: Zestrel)\r\n"}));
    QVERIFY(!c->statuses.contains("Data sent..."));
    QTRY_VERIFY_WITH_TIMEOUT(c->statuses.contains("Parsing successful."), kWait);
}

void TestSession::relayedNotice()
{
    ServerProcess server;
    QVERIFY(server.start());
    auto anna = Client(server, "Anna");
    auto ben = Client(server, "Ben");
    for (auto *c : {anna.get(), ben.get()}) {
        QVERIFY(c->session.Start());
        QTRY_VERIFY2_WITH_TIMEOUT(Ready(*c), qPrintable(Why(*c)), kWait);
    }
    // A member's notice travels through the relay and names its sender (Anna asked
    // Ben for a recipe; Ben has no cookbook and does not answer it).
    anna->connection.SendMessage(107, anna->app.MyUserKey, ben->app.MyUserKey, "1" + FS() + "0");
    ben->connection.SendMessage(901, ben->app.MyUserKey, anna->app.MyUserKey, QString());
    QTRY_COMPARE_WITH_TIMEOUT(anna->centerTitle(), QStringLiteral("Recipe Not Found"), kWait);
    QCOMPARE(anna->centerText(),
             QStringLiteral("The recipe you requested from user [Ben] was not found!"));
    // The operator's broadcast reaches everyone.
    server.command("broadcast Kitchen closes at ten");
    QTRY_COMPARE_WITH_TIMEOUT(ben->centerTitle(), QStringLiteral("Server Broadcast Message"),
                              kWait);
    QCOMPARE(ben->centerText(), QStringLiteral("Kitchen closes at ten"));
}

QTEST_GUILESS_MAIN(TestSession)
#include "tst_session.moc"
