// A desktop logout loses nothing: SIGTERM or SIGINT to a running client closes it
// through its own shutdown, so the relay sees the sign-off, not a dropped connection.
#include "support/ServerProcess.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

using namespace zestrel;

class TestSignals : public QObject
{
    Q_OBJECT
  private slots:
    void closeSignsOff_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }
    void closeSignsOff()
    {
        QFETCH(int, signal);
        test::ServerProcess relay;
        QVERIFY(relay.start());
        QTemporaryDir dir;
        test::WriteAll(dir.filePath("zestrel.ini"), "[PROFILE]\r\nUSERNAME=alice\r\n");
        test::WriteAll(dir.filePath("zestrel.set"),
                       "SETTING_VERSION=1\r\nREMOTE_SERVER_IP=127.0.0.1\r\nSERVER_LISTEN_PORT=" +
                           QByteArray::number(relay.port()) +
                           "\r\nWINSOCK_CONNECT_TIME_OUT=5\r\n");
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", dir.filePath("config")); // its autostart entry
        client.setProcessEnvironment(env);
        client.start(QStringLiteral(ZESTREL_CLIENT_PATH), {"--folder", dir.path()});
        QVERIFY(client.waitForStarted(10000));

        QByteArray log;
        auto relaySaid = [&](const char *text) {
            log += relay.process().readAllStandardError();
            return log.contains(text);
        };
        QTRY_VERIFY_WITH_TIMEOUT(relaySaid("sign-in 'alice'"), 20000);
        ::kill(pid_t(client.processId()), signal);
        QVERIFY(client.waitForFinished(15000));
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(relaySaid("departure 'alice'"), 10000);
        QVERIFY2(log.contains("signed off"), log.constData());
    }
};

QTEST_GUILESS_MAIN(TestSignals)
#include "tst_signals.moc"
