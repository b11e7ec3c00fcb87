// zestrel.set and its web copy, fetched from a local HTTP server.
#include "config/NetSettings.h"

#include "support/FakePrompter.h"
#include "support/HttpServer.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;
using test::FakePrompter;
using test::HttpServer;

namespace
{

using test::ReadAll;
using test::WriteAll;

struct Env : test::ProgramFolder {
    QString SetPath() const { return NetSettingsPath(dir.path()); }
};

const QByteArray kLocal = "LOG=1\r\nLOGFILE=client.log\r\nSETTING_VERSION=5\r\n"
                          "REMOTE_SERVER_IP=10.0.0.1\r\nSERVER_LISTEN_PORT=4000\r\n"
                          "WINSOCK_CONNECT_TIME_OUT=20\r\nMAX_SOCKS=50\r\n";

const QString kQuestion =
    "A newer settings file has been located on the web.  If you choose not to use these "
    "settings, you may not be able to connect to the Zestrel network!\r\n\r\nWould you like to "
    "use these settings and update you Zestrel.set file?";

} // namespace

class TestNetSettings : public QObject
{
    Q_OBJECT

  private slots:
    void load_data()
    {
        QTest::addColumn<QByteArray>("content"); // "<none>": no file
        QTest::addColumn<bool>("logging");
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QString>("address");

        QTest::newRow("full file") << kLocal << true << 20 << "10.0.0.1";
        QTest::newRow("no file") << QByteArray("<none>") << false << 0 << "";
        QTest::newRow("no time-out") << QByteArray("LOG=1\r\n") << true << 0 << "";
        QTest::newRow("LOG 0") << QByteArray("LOG=0\r\n") << false << 0 << "";
        QTest::newRow("LOG empty") << QByteArray("LOG=\r\n") << false << 0 << "";
        QTest::newRow("LOG text") << QByteArray("LOG=yes\r\n") << false << 0 << "";
        QTest::newRow("LOG 2") << QByteArray("LOG=2\r\n") << true << 0 << "";
        QTest::newRow("XLOG before LOG wins")
            << QByteArray("XLOG=1\r\nLOG=0\r\n") << true << 0 << "";
        QTest::newRow("time-out 59")
            << QByteArray("WINSOCK_CONNECT_TIME_OUT=59") << false << 59 << "";
        QTest::newRow("time-out 200 is seconds")
            << QByteArray("WINSOCK_CONNECT_TIME_OUT=200\r\n") << false << 200 << "";
        QTest::newRow("time-out 255")
            << QByteArray("WINSOCK_CONNECT_TIME_OUT=255\r\n") << false << 255 << "";
        QTest::newRow("time-out 256 counts as 0")
            << QByteArray("WINSOCK_CONNECT_TIME_OUT=256\r\n") << false << 0 << "";
        QTest::newRow("time-out negative")
            << QByteArray("WINSOCK_CONNECT_TIME_OUT=-5\r\n") << false << 0 << "";
        QTest::newRow("time-out fraction")
            << QByteArray("WINSOCK_CONNECT_TIME_OUT=2.5\r\n") << false << 0 << "";
        QTest::newRow("time-out huge")
            << QByteArray("WINSOCK_CONNECT_TIME_OUT=99999999999999999999999\r\n") << false << 0
            << "";
        QTest::newRow("LF line ends")
            << QByteArray("LOG=1\nREMOTE_SERVER_IP=h\n") << true << 0 << "h";
        QTest::newRow("value keeps later =")
            << QByteArray("REMOTE_SERVER_IP=a=b\r\n") << false << 0 << "a=b";
    }

    void load()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, logging);
        QFETCH(int, timeout);
        QFETCH(QString, address);
        Env env;
        if (content != "<none>")
            WriteAll(env.SetPath(), content);
        env.state.Net.ConnectTimeout = 77; // must be overwritten
        LoadNetSettings(env.state);
        QCOMPARE(env.state.Net.LoggingEnabled, logging);
        QCOMPARE(env.diag.LoggingEnabled, logging);
        QCOMPARE(env.state.Net.ConnectTimeout, timeout);
        QCOMPARE(env.state.Net.ServerAddress, address);
        QCOMPARE(env.state.Net.BeginMarker, QString("*~B~*"));
        QCOMPARE(env.state.Net.EndMarker, QString("*~E~*"));
    }

    void loadFullFile()
    {
        Env env;
        WriteAll(env.SetPath(), kLocal);
        LoadNetSettings(env.state);
        QCOMPARE(env.state.Net.SettingVersion, QString("5"));
        QCOMPARE(env.state.Net.ServerPort, QString("4000"));
        QCOMPARE(env.state.Net.LogFilePath, QDir(env.dir.path()).filePath("client.log"));
        QCOMPARE(env.diag.LogFilePath, env.state.Net.LogFilePath);
    }

    void webSettingValue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("CR LF") << "A=1\r\nB=2\r\n"
                               << "B"
                               << "2";
        QTest::newRow("last without line end") << "A=1\r\nB=2"
                                               << "B"
                                               << "2";
        QTest::newRow("missing") << "A=1\r\n"
                                 << "C"
                                 << "";
        QTest::newRow("LF only swallows the rest") << "A=1\nB=2\nC=3\n"
                                                   << "A"
                                                   << "1\nB=2\nC=3\n";
        QTest::newRow("lone CR is no line end") << "A=1\rB=2\r\n"
                                                << "A"
                                                << "1\rB=2";
        QTest::newRow("first occurrence anywhere") << "XB=9\r\nB=2\r\n"
                                                   << "B"
                                                   << "9";
        QTest::newRow("empty value") << "B=\r\nC=1"
                                     << "B"
                                     << "";
    }

    void webSettingValue()
    {
        QFETCH(QString, text);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(WebSettingValue(text, key), expected);
    }

    void logFile_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QString>("file"); // relative to the program folder
        QTest::addColumn<QString>("status");
        const QString refused = "\" refused: the log file must be inside the program folder. "
                                "Logging to zestrel.log.";
        QTest::newRow("name") << QByteArray("LOGFILE=client.log") << "client.log"
                              << "";
        QTest::newRow("sub-folder") << QByteArray("LOGFILE=logs/client.log") << "logs/client.log"
                                    << "";
        QTest::newRow("dots inside a name") << QByteArray("LOGFILE=..client.log") << "..client.log"
                                            << "";
        QTest::newRow("no LOGFILE") << QByteArray("LOG=1") << "zestrel.log"
                                    << "";
        QTest::newRow("empty") << QByteArray("LOGFILE=") << "zestrel.log"
                               << "";
        QTest::newRow("absolute") << QByteArray("LOGFILE=/tmp/x.log") << "zestrel.log"
                                  << "LOGFILE \"/tmp/x.log" + refused;
        QTest::newRow("backslash root") << QByteArray("LOGFILE=\\x.log") << "zestrel.log"
                                        << "LOGFILE \"\\x.log" + refused;
        QTest::newRow("drive") << QByteArray("LOGFILE=C:\\x.log") << "zestrel.log"
                               << "LOGFILE \"C:\\x.log" + refused;
        QTest::newRow("parent") << QByteArray("LOGFILE=../x.log") << "zestrel.log"
                                << "LOGFILE \"../x.log" + refused;
        QTest::newRow("parent with backslash")
            << QByteArray("LOGFILE=logs\\..\\..\\x.log") << "zestrel.log"
            << "LOGFILE \"logs\\..\\..\\x.log" + refused;
    }

    void logFile()
    {
        QFETCH(QByteArray, line);
        QFETCH(QString, file);
        QFETCH(QString, status);
        Env env;
        WriteAll(env.SetPath(), line + "\r\n");
        LoadNetSettings(env.state);
        QCOMPARE(env.state.Net.LogFilePath, QDir(env.dir.path()).filePath(file));
        QCOMPARE(env.diag.LogFilePath, env.state.Net.LogFilePath);
        QCOMPARE(env.diag.status.text(), status);
    }

    void writeKeepsOtherLines_data()
    {
        QTest::addColumn<QByteArray>("before"); // "<none>": no file
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<bool>("logging");
        const QByteArray four = "SETTING_VERSION=6\r\nREMOTE_SERVER_IP=host.example\r\n"
                                "SERVER_LISTEN_PORT=5000\r\nWINSOCK_CONNECT_TIME_OUT=30\r\n";
        QTest::newRow("LOG, LOGFILE and MAX_SOCKS stay")
            << kLocal << four + "LOG=1\r\nLOGFILE=client.log\r\nMAX_SOCKS=50\r\n"
            << true;
        QTest::newRow("a line of the member's own stays")
            << QByteArray("REMOTE_SERVER_IP=old\r\n# moved in May\r\nLOG=1\r\n")
            << four + "# moved in May\r\nLOG=1\r\n"
            << true;
        QTest::newRow("LF and lone CR lines")
            << QByteArray("LOG=1\nSERVER_LISTEN_PORT=1\rX=2") << four + "LOG=1\r\nX=2\r\n"
            << true;
        QTest::newRow("duplicate keys go") << QByteArray("SERVER_LISTEN_PORT=1\r\n"
                                                         "SERVER_LISTEN_PORT=2\r\nLOG=0\r\n")
                                           << four + "LOG=0\r\n"
                                           << false;
        // Only the exact key is replaced; a look-alike stays, after the new lines.
        QTest::newRow("look-alike key stays")
            << QByteArray("XREMOTE_SERVER_IP=1\r\n") << four + "XREMOTE_SERVER_IP=1\r\n"
            << false;
        QTest::newRow("no file") << QByteArray("<none>") << four << false;
    }

    void writeKeepsOtherLines()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(bool, logging);
        Env env;
        if (before != "<none>")
            WriteAll(env.SetPath(), before);
        QVERIFY(WriteNetSettings(env.dir.path(), "6", "host.example", "5000", "30"));
        QCOMPARE(ReadAll(env.SetPath()), after);
        LoadNetSettings(env.state);
        QCOMPARE(env.state.Net.LoggingEnabled, logging);
        QCOMPARE(env.state.Net.ServerAddress, QString("host.example"));
        QCOMPARE(env.state.Net.ServerPort, QString("5000"));
        QCOMPARE(env.state.Net.ConnectTimeout, 30);
    }

    void webUpdate_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QStringList>("flags"); // settings set to "1"
        QTest::addColumn<bool>("answerYes");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("boxTitles");

        const QByteArray newer = "SETTING_VERSION=6\r\nREMOTE_SERVER_IP=192.168.1.9\r\n"
                                 "SERVER_LISTEN_PORT=4100\r\nWINSOCK_CONNECT_TIME_OUT=30\r\n";
        const QByteArray older = "SETTING_VERSION=4\r\nREMOTE_SERVER_IP=192.168.1.9\r\n"
                                 "SERVER_LISTEN_PORT=4100\r\nWINSOCK_CONNECT_TIME_OUT=30\r\n";
        const QByteArray page = "<HTML><BODY>Not Found</BODY></HTML>";
        auto r = [](WebUpdate u) { return int(u); };

        QTest::newRow("newer, Yes") << 200 << newer << QStringList{} << true
                                    << r(WebUpdate::Adopted) << QStringList{"Zestrel"};
        QTest::newRow("older is offered too") << 200 << older << QStringList{} << true
                                              << r(WebUpdate::Adopted) << QStringList{"Zestrel"};
        QTest::newRow("newer, No") << 200 << newer << QStringList{} << false
                                   << r(WebUpdate::Declined) << QStringList{"Zestrel"};
        QTest::newRow("skip verify") << 200 << newer << QStringList{"SKIPWEBVERIFY"} << false
                                     << r(WebUpdate::Adopted) << QStringList{};
        QTest::newRow("same version")
            << 200 << QByteArray("SETTING_VERSION=5\r\nWINSOCK_CONNECT_TIME_OUT=1\r\n")
            << QStringList{} << true << r(WebUpdate::SameVersion) << QStringList{};
        QTest::newRow("error page, warning on")
            << 404 << page << QStringList{"WEBWARNING"} << true << r(WebUpdate::ErrorPage)
            << QStringList{"Warning"};
        QTest::newRow("error page, warning off")
            << 404 << page << QStringList{} << true << r(WebUpdate::ErrorPage) << QStringList{};
        QTest::newRow("<HTML> in a 200 answer")
            << 200 << QByteArray("x<HTML>") << QStringList{"WEBWARNING"} << true
            << r(WebUpdate::ErrorPage) << QStringList{"Warning"};
        QTest::newRow("empty body") << 200 << QByteArray() << QStringList{"WEBWARNING"} << true
                                    << r(WebUpdate::NoCopy) << QStringList{};
        QTest::newRow("no time-out in web copy")
            << 200 << QByteArray("SETTING_VERSION=6\r\nREMOTE_SERVER_IP=h\r\n") << QStringList{}
            << true << r(WebUpdate::Rejected) << QStringList{};
        QTest::newRow("bad time-out, warning on")
            << 200 << QByteArray("SETTING_VERSION=6\r\nWINSOCK_CONNECT_TIME_OUT=300\r\n")
            << QStringList{"WEBWARNING"} << true << r(WebUpdate::Rejected)
            << QStringList{"Warning"};
        QTest::newRow("empty time-out")
            << 200 << QByteArray("SETTING_VERSION=6\r\nWINSOCK_CONNECT_TIME_OUT=\r\n")
            << QStringList{} << true << r(WebUpdate::Rejected) << QStringList{};
        QTest::newRow("LF-only copy has no valid time-out")
            << 200 << QByteArray("SETTING_VERSION=6\nWINSOCK_CONNECT_TIME_OUT=30\n")
            << QStringList{} << true << r(WebUpdate::Rejected) << QStringList{};
        QTest::newRow("line breaks inside a value")
            << 200
            << QByteArray("SETTING_VERSION=6\r\nREMOTE_SERVER_IP=h\nLOG=1\nLOGFILE=x\r\n"
                          "SERVER_LISTEN_PORT=1\r\nWINSOCK_CONNECT_TIME_OUT=30\r\n")
            << QStringList{} << true << r(WebUpdate::Rejected) << QStringList{};
        QTest::newRow("a value that plants LOG and LOGFILE")
            << 200
            << QByteArray("SETTING_VERSION=6 LOG=1\r\nREMOTE_SERVER_IP=h\r\n"
                          "SERVER_LISTEN_PORT=../LOGFILE=x\r\nWINSOCK_CONNECT_TIME_OUT=30\r\n")
            << QStringList{} << true << r(WebUpdate::Rejected) << QStringList{};
        QTest::newRow("no server address")
            << 200
            << QByteArray("SETTING_VERSION=6\r\nSERVER_LISTEN_PORT=4100\r\n"
                          "WINSOCK_CONNECT_TIME_OUT=30\r\n")
            << QStringList{} << true << r(WebUpdate::Rejected) << QStringList{};
        QTest::newRow("blank port")
            << 200
            << QByteArray("SETTING_VERSION=6\r\nREMOTE_SERVER_IP=h\r\nSERVER_LISTEN_PORT= \r\n"
                          "WINSOCK_CONNECT_TIME_OUT=30\r\n")
            << QStringList{} << true << r(WebUpdate::Rejected) << QStringList{};
        QTest::newRow("oversized copy")
            << 200 << QByteArray(kMaxWebSettingsBytes + 1, 'x') << QStringList{} << true
            << r(WebUpdate::NoCopy) << QStringList{};
    }

    void webUpdate()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, body);
        QFETCH(QStringList, flags);
        QFETCH(bool, answerYes);
        QFETCH(int, result);
        QFETCH(QStringList, boxTitles);

        HttpServer server;
        QVERIFY(server.start());
        server.setResponse(status, body);
        Env env;
        WriteAll(env.SetPath(), kLocal);
        LoadNetSettings(env.state);
        env.state.MakerWebAddress = server.baseUrl();
        for (const QString &f : flags)
            env.state.Settings.insert(f, "1");
        env.prompter.answers.enqueue(answerYes ? PromptAnswer::Yes : PromptAnswer::No);

        QCOMPARE(int(UpdateNetSettingsFromWeb(env.state)), result);
        QCOMPARE(server.requestPaths, QList<QByteArray>{"/support/zestrel.set"});
        QCOMPARE(env.prompter.titles(), boxTitles);
        if (boxTitles.contains("Zestrel")) {
            QCOMPARE(env.prompter.shown.first().text, kQuestion);
            QCOMPARE(env.prompter.shown.first().buttons, PromptButtons::YesNo);
            QCOMPARE(env.prompter.shown.first().icon, PromptIcon::Information);
        }
        if (boxTitles.contains("Warning"))
            QCOMPARE(env.prompter.shown.first().text,
                     QString("There was an error downloading the latest settings file!"));

        if (result == int(WebUpdate::Adopted)) {
            // The member's other lines stay.
            QCOMPARE(ReadAll(env.SetPath()),
                     body + "LOG=1\r\nLOGFILE=client.log\r\nMAX_SOCKS=50\r\n");
            LoadNetSettings(env.state);
            QVERIFY(env.state.Net.LoggingEnabled);
            QCOMPARE(env.state.Net.ServerAddress, QString("192.168.1.9"));
            QCOMPARE(env.state.Net.ServerPort, QString("4100"));
            QCOMPARE(env.state.Net.ConnectTimeout, 30);
            QVERIFY(env.state.Net.SettingVersion != "5");
        } else {
            QCOMPARE(ReadAll(env.SetPath()), kLocal);
            QCOMPARE(env.state.Net.SettingVersion, QString("5"));
            QCOMPARE(env.state.Net.ServerAddress, QString("10.0.0.1"));
            QCOMPARE(env.state.Net.ConnectTimeout, 20);
        }
    }

    void noServerListening()
    {
        quint16 port = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
            port = probe.serverPort();
        }
        Env env;
        WriteAll(env.SetPath(), kLocal);
        env.state.MakerWebAddress = QString("http://127.0.0.1:%1").arg(port);
        env.state.Settings.insert("WEBWARNING", "1");
        QCOMPARE(UpdateNetSettingsFromWeb(env.state), WebUpdate::NoCopy);
        QVERIFY(env.prompter.shown.isEmpty());
        QCOMPARE(ReadAll(env.SetPath()), kLocal);
    }

    void silentServerTimesOut()
    {
        HttpServer server;
        QVERIFY(server.start());
        server.setSilent(true);
        Env env;
        env.state.MakerWebAddress = server.baseUrl();
        // The wait keeps the event loop turning: the server (same thread) sees the request.
        QCOMPARE(UpdateNetSettingsFromWeb(env.state, 300), WebUpdate::NoCopy);
        QCOMPARE(server.requestPaths.size(), 1);
        QVERIFY(env.prompter.shown.isEmpty());
    }
};

QTEST_MAIN(TestNetSettings)
#include "tst_netsettings.moc"
