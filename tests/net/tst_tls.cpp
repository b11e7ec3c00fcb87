// TLS between members and the real relay: sign-in and relaying, certificate
// reload, bad input on either port, and the client's trust in certificates.
#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "config/Ini.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"
#include "server/RawClient.h"
#include "support/FakePrompter.h"
#include "support/ServerProcess.h"

#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

using namespace zestrel;
using namespace zestrel::test;
namespace code = zestrel::protocol::code;

class TestTls : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void relaysOverTlsAndReloads();
    void badInput_data();
    void badInput();
    void trust_data();
    void trust();
    void systemTrustedAsksNothing();

  private:
    bool startTls(ServerProcess &server, const QString &cert, quint16 tlsPort = 0,
                  const QStringList &extra = {})
    {
        return server.start(QStringList{QStringLiteral("--listen-tls"),
                                        QStringLiteral("127.0.0.1:%1").arg(tlsPort),
                                        QStringLiteral("--tls-cert"), dir_.filePath(cert + ".pem"),
                                        QStringLiteral("--tls-key"), dir_.filePath(cert + ".key")} +
                            extra);
    }
    QTemporaryDir dir_;
};

void TestTls::initTestCase()
{
    QVERIFY(dir_.isValid());
    for (const char *name : {"one", "two"})
        QVERIFY(MakeCertificate(dir_.filePath(QString::fromLatin1(name) + ".pem"),
                                dir_.filePath(QString::fromLatin1(name) + ".key")));
}

void TestTls::relaysOverTlsAndReloads()
{
    ServerProcess server;
    QVERIFY(startTls(server, "one"));
    QVERIFY(server.tlsPort() != 0 && server.tlsPort() != server.port());
    RawClient a, b, plain;
    QVERIFY(a.ConnectTls(server.tlsPort()));
    const auto *ssl = qobject_cast<QSslSocket *>(&a.Socket());
    QVERIFY(ssl->sessionProtocol() >= QSsl::TlsV1_2);
    QCOMPARE(QString::fromLatin1(
                 ssl->peerCertificate().digest(QCryptographicHash::Sha256).toHex(':').toUpper()),
             OpenSslFingerprint(dir_.filePath("one.pem")));
    const std::string ka = a.SignIn("alice");
    QVERIFY(!ka.empty());
    QVERIFY(b.ConnectTls(server.tlsPort()));
    const std::string kb = b.SignIn("bob");
    QVERIFY(!kb.empty());
    // Plain and TLS members are one network.
    QVERIFY(plain.Connect(server.port()));
    const std::string kp = plain.SignIn("carol");
    QVERIFY(!kp.empty());
    a.Send(code::InstantMessage, ka, kb, "over tls");
    const auto m = b.WaitFor(code::InstantMessage);
    QVERIFY(m && m->payload == "over tls");
    plain.Send(code::InstantMessage, kp, ka, "from plain");
    const auto p = a.WaitFor(code::InstantMessage);
    QVERIFY(p && p->payload == "from plain");

    // A new certificate in place of the old one: SIGHUP loads it for newcomers, and
    // the members already there stay.
    for (const char *ext : {".pem", ".key"}) {
        QFile::remove(dir_.filePath(QString("one") + ext));
        QVERIFY(
            QFile::copy(dir_.filePath(QString("two") + ext), dir_.filePath(QString("one") + ext)));
    }
    ServerLog log(server);
    ::kill(pid_t(server.process().processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(log().contains("TLS certificate and key loaded again"), 5000);
    RawClient c;
    QVERIFY(c.ConnectTls(server.tlsPort()));
    QCOMPARE(QString::fromLatin1(qobject_cast<QSslSocket *>(&c.Socket())
                                     ->peerCertificate()
                                     .digest(QCryptographicHash::Sha256)
                                     .toHex(':')
                                     .toUpper()),
             OpenSslFingerprint(dir_.filePath("two.pem")));
    const std::size_t seen = b.Seen();
    a.Send(code::InstantMessage, ka, kb, "still here");
    const auto again = b.WaitFor(code::InstantMessage, seen);
    QVERIFY(again && again->payload == "still here");
    // A key that does not load leaves the working one in place.
    QFile broken(dir_.filePath("one.key"));
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("not a key\n");
    broken.close();
    ::kill(pid_t(server.process().processId()), SIGHUP);
    QTRY_VERIFY_WITH_TIMEOUT(log().contains("TLS reload failed, the old certificate stays"), 5000);
    RawClient d;
    QVERIFY(d.ConnectTls(server.tlsPort()));
    // A fresh pair for the tests after this one.
    QFile::remove(dir_.filePath("one.pem"));
    QFile::remove(dir_.filePath("one.key"));
    QVERIFY(MakeCertificate(dir_.filePath("one.pem"), dir_.filePath("one.key")));
}

// Each costs that connection only, within the sign-in deadline, and the log
// says why with lines folded per address.
void TestTls::badInput_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("logged");
    QTest::newRow("plain client on the TLS port")
        << "plain-on-tls" << 1 << "TLS handshake failed: ";
    QTest::newRow("TLS client on the plain port")
        << "tls-on-plain" << 1 << "a TLS handshake on the plain port";
    QTest::newRow("handshake that stalls") << "stall" << 1 << "no sign-in in time";
    QTest::newRow("garbage after the handshake")
        << "garbage" << 1 << "decryption failed or bad record mac";
    // Past the lines written per second, the rest are summed up in one line.
    QTest::newRow("flood of failed handshakes")
        << "plain-on-tls" << 30 << "more closes from 127.0.0.1";
}

void TestTls::badInput()
{
    QFETCH(QString, kind);
    QFETCH(int, count);
    QFETCH(QString, logged);
    ServerProcess server;
    QVERIFY(startTls(server, "one", 0, {"--sign-in-timeout", "1"}));
    ServerLog log(server);
    RawClient member;
    QVERIFY(member.ConnectTls(server.tlsPort()));
    const std::string key = member.SignIn("member");
    QVERIFY(!key.empty());

    std::vector<std::unique_ptr<RawClient>> bad;
    for (int i = 0; i < count; ++i) {
        auto c = std::make_unique<RawClient>();
        if (kind == "tls-on-plain") {
            QVERIFY(!c->ConnectTls(server.port()));
        } else if (kind == "garbage") {
            QVERIFY(c->ConnectTls(server.tlsPort()));
            const int fd = int(c->Socket().socketDescriptor());
            const char junk[] = "\x17\x03\x03\x00\x10garbage-garbage!";
            QCOMPARE(::write(fd, junk, sizeof junk - 1), ssize_t(sizeof junk - 1));
        } else {
            QVERIFY(c->Connect(server.tlsPort()));
            if (kind == "plain-on-tls")
                c->Send(code::SignIn, {}, {},
                        "127.0.0.1\x01x\x01"
                        "2.4.0");
        }
        bad.push_back(std::move(c));
    }
    for (auto &c : bad)
        QVERIFY(c->WaitDisconnected(5000));
    if (!logged.isEmpty())
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(logged), 10000);
    // The member signed in before is untouched, and newcomers still get in.
    QCOMPARE(member.Socket().state(), QAbstractSocket::ConnectedState);
    RawClient late;
    QVERIFY(late.ConnectTls(server.tlsPort()));
    const std::string kl = late.SignIn("late");
    QVERIFY(!kl.empty());
    late.Send(code::InstantMessage, kl, key, "hello");
    QVERIFY(member.WaitFor(code::InstantMessage));
}

void TestTls::trust_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("accepted once, then trusted") << true;
    QTest::newRow("refused once, then refused without asking") << false;
}

// The first connect to a relay with a certificate nobody vouches for asks; the
// answer is kept in zestrel.ini; a different certificate later is refused with one
// message box, however often the client tries again.
void TestTls::trust()
{
    QFETCH(bool, accept);
    QTemporaryDir folder;
    Diagnostics diag;
    FakePrompter prompter;
    AppState app{diag, prompter, folder.path()};
    Dispatcher dispatcher;
    Connection connection{app, dispatcher};
    ServerProcess server;
    QVERIFY(startTls(server, "one"));
    const quint16 tlsPort = server.tlsPort();
    app.Net.ServerTls = true;
    app.Net.ServerAddress = QStringLiteral("127.0.0.1");
    app.Net.ServerPort = QString::number(tlsPort);
    app.Net.ConnectTimeout = 5;
    app.UserName = QStringLiteral("tester");
    const QString where = QStringLiteral("127.0.0.1:%1").arg(tlsPort);
    const QString fingerprint = OpenSslFingerprint(dir_.filePath("one.pem"));

    prompter.answers.enqueue(accept ? PromptAnswer::Yes : PromptAnswer::No);
    QCOMPARE(connection.ConnectToServer(), accept);
    QCOMPARE(prompter.shown.size(), 1);
    QCOMPARE(prompter.shown[0].title, QStringLiteral("Unknown Certificate"));
    QVERIFY(prompter.shown[0].text.contains(QStringLiteral("SHA-256 fingerprint: ") + fingerprint));
    QCOMPARE(ReadIniKey(app.SettingsFilePath, QStringLiteral("CERTIFICATES"), where),
             (accept ? QString() : QStringLiteral("!")) + fingerprint);
    QCOMPARE(connection.socket().isEncrypted(), accept);
    connection.CloseConnection();

    // Asked once only.
    QCOMPARE(connection.ConnectToServer(), accept);
    QCOMPARE(prompter.shown.size(), 1);
    if (!accept) {
        QCOMPARE(diag.status.text(),
                 QStringLiteral("Not connected: you did not trust the certificate of ") + where +
                     ".");
        return;
    }
    QVERIFY(connection.socket().isEncrypted());
    connection.CloseConnection();

    // The same address with another certificate.
    server.stop();
    QVERIFY(startTls(server, "two", tlsPort));
    for (int attempt = 0; attempt < 3; ++attempt)
        QVERIFY(!connection.ConnectToServer());
    QCOMPARE(prompter.shown.size(), 2);
    QCOMPARE(prompter.shown[1].title, QStringLiteral("Certificate Changed"));
    QVERIFY(prompter.shown[1].text.contains(OpenSslFingerprint(dir_.filePath("two.pem"))));
    QCOMPARE(diag.status.text(), QStringLiteral("Not connected: the certificate of ") + where +
                                     QStringLiteral(" is not the one you trusted."));
    QCOMPARE(ReadIniKey(app.SettingsFilePath, QStringLiteral("CERTIFICATES"), where), fingerprint);
    QCOMPARE(connection.State(), Connection::StateClosed);
}

void TestTls::systemTrustedAsksNothing()
{
    ServerProcess server;
    QVERIFY(startTls(server, "two"));
    // Sockets take the default configuration when they are made.
    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = saved;
    QVERIFY(trusting.addCaCertificates(dir_.filePath("two.pem")));
    QSslConfiguration::setDefaultConfiguration(trusting);
    QTemporaryDir folder;
    Diagnostics diag;
    FakePrompter prompter;
    AppState app{diag, prompter, folder.path()};
    Dispatcher dispatcher;
    Connection connection{app, dispatcher};
    app.Net.ServerTls = true;
    app.Net.ServerAddress = QStringLiteral("127.0.0.1");
    app.Net.ServerPort = QString::number(server.tlsPort());
    app.Net.ConnectTimeout = 5;
    const bool connected = connection.ConnectToServer();
    QSslConfiguration::setDefaultConfiguration(saved);
    QVERIFY(connected);
    QVERIFY(connection.socket().isEncrypted());
    QVERIFY(prompter.shown.isEmpty());
}

QTEST_MAIN(TestTls)
#include "tst_tls.moc"
