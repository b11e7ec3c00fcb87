// Start-up, the single-instance rule and shutdown, driven through the real
// Application against a program folder in a temporary directory.
#include "client/Session.h"
#include "client/SingleInstance.h"
#include "config/Ini.h"
#include "config/SettingsCatalogue.h"
#include "cookbook/CookbookFactory.h"
#include "store/RecipeDatabase.h"
#include "support/FakePrompter.h"
#include "support/ServerProcess.h"
#include "support/TestFiles.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <QFile>
#include <QLabel>
#include <QLocalServer>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;
using test::FakePrompter;

namespace
{

QByteArray readAll(const QString &path)
{
    return test::ReadAll(path, {});
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    test::WriteAll(path, bytes);
}

// A program folder whose settings file holds only a user name (and `extra`).
struct Folder {
    QTemporaryDir dir;
    explicit Folder(const QByteArray &extra = {})
    {
        writeFile(ini(), "[PROFILE]\r\nUSERNAME=alice\r\n" + extra);
    }
    QString path() const { return dir.path(); }
    QString ini() const { return dir.filePath(QStringLiteral("zestrel.ini")); }
    QString key(const char *section, const char *k) const
    {
        return ReadIniKey(ini(), QString::fromLatin1(section), QString::fromLatin1(k));
    }
};

} // namespace

class TestStartUp : public QObject
{
    Q_OBJECT
  private slots:
    void freshFolder();
    void recipeDatabase();
    void firstNewRecipeId_data();
    void firstNewRecipeId();
    void firstNewRecipeIdFromText_data();
    void firstNewRecipeIdFromText();
    void stepsInOrder_data();
    void stepsInOrder();
    void startLogLine_data();
    void startLogLine();
    void minimizeKeepsWindowHidden();
    void cancelledUserNameEnds();
    void secondInstance_data();
    void secondInstance();
    void staleSocketIsReplaced();
    void activateShowsPendingMessages();
    void shutdownOrder();
    void closeWhileLoading_data();
    void closeWhileLoading();
    void connectsAndSignsOff();
    void noUserNameNoConnection();
};

void TestStartUp::freshFolder()
{
    Folder folder;
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    QVERIFY(app.StartUp());

    QCOMPARE(folder.key("FLAG", "VERSION"), QStringLiteral("2.4.0"));
    const QString ckf = folder.dir.filePath(QStringLiteral("cookbook.ini"));
    QCOMPARE(folder.key("MISC", "CKFPATH"), ckf);
    QCOMPARE(app.state().CookbookIniPath, ckf);
    QCOMPARE(folder.key("PROFILE", "USERNAME"), QStringLiteral("alice"));
    QCOMPARE(app.state().UserName, QStringLiteral("alice"));
    // Every user setting is on file with its default.
    for (const SettingDef &def : SettingsCatalogue()) {
        const QString key = QString::fromLatin1(def.key);
        const QString expected = key == QLatin1String("USERNAME")  ? QStringLiteral("alice")
                                 : key == QLatin1String("CKFPATH") ? ckf
                                                                   : DefaultSettingValue(def);
        QCOMPARE(ReadIniKey(folder.ini(), QString::fromLatin1(def.section), key), expected);
        QCOMPARE(app.state().Setting(key), expected);
    }
    // No database beside the program: the member is told once, in the message center.
    QVERIFY(app.state().NoDatabase);
    QVERIFY(app.diag().messageCenter());
    QCOMPARE(app.diag().messageCenter()->Title, QStringLiteral("DB Not Present"));
    QCOMPARE(app.state().FirstNewRecipeId, QStringLiteral("1"));
    QCOMPARE(app.state().FieldSep, QString(3, QChar(0)));
    QVERIFY(prompter.shown.isEmpty());

    MainWindow *w = app.mainWindow();
    QVERIFY(w);
    QTRY_VERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("ZESTREL Recipe tool for use with the Cookfolio"));
    QCOMPARE(w->tabs()->count(), 4);
    QCOMPARE(w->tabs()->currentIndex(), 3);
    QCOMPARE(w->tabs()->tabText(3), QStringLiteral("News"));
    auto *status = w->findChild<QLabel *>(QStringLiteral("lblStatus"));
    QVERIFY(status && status->isVisible());
    app.diag().SetStatus(QStringLiteral("Connecting to server..."));
    QTRY_COMPARE(status->text(), QStringLiteral("Connecting to server..."));
    QVERIFY(app.singleInstance().isListening());
}

void TestStartUp::recipeDatabase()
{
    Folder folder;
    QString error;
    cookbook::SampleSummary summary;
    QVERIFY2(cookbook::FillSample(folder.path(), 20, 7, &error, &summary), qPrintable(error));
    QVERIFY(summary.maxRecipeId > 0);

    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    QVERIFY(app.StartUp());
    QVERIFY(!app.state().NoDatabase);
    QVERIFY(app.recipeDatabase().IsOpen());
    QCOMPARE(app.state().FirstNewRecipeId, QString::number(summary.maxRecipeId + 1));
    QCOMPARE(app.diag().messageCenter(), nullptr);

    app.mainWindow()->close();
    QVERIFY(!app.recipeDatabase().IsOpen());
}

void TestStartUp::firstNewRecipeId_data()
{
    QTest::addColumn<QByteArray>("cookbookIni"); // beside the program, empty: none
    QTest::addColumn<QString>("expected");

    QTest::newRow("no cookbook.ini") << QByteArray() << QStringLiteral("1");
    QTest::newRow("no MaxRecipeID") << QByteArray("[Misc]\r\nOther=5\r\n") << QStringLiteral("1");
    QTest::newRow("1200") << QByteArray("[Misc]\r\nMaxRecipeID=1200\r\n") << QStringLiteral("1201");
    QTest::newRow("section is case-exact")
        << QByteArray("[MISC]\r\nMaxRecipeID=1200\r\n") << QStringLiteral("1");
}

void TestStartUp::firstNewRecipeId()
{
    QFETCH(QByteArray, cookbookIni);
    QFETCH(QString, expected);

    Folder folder;
    if (!cookbookIni.isEmpty())
        writeFile(folder.dir.filePath(QStringLiteral("cookbook.ini")), cookbookIni);
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    QVERIFY(app.StartUp());
    QCOMPARE(app.state().FirstNewRecipeId, expected);
}

void TestStartUp::firstNewRecipeIdFromText_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing") << QString() << QStringLiteral("1");
    QTest::newRow("plain") << QStringLiteral("1200") << QStringLiteral("1201");
    QTest::newRow("spaces") << QStringLiteral("  1200 ") << QStringLiteral("1201");
    QTest::newRow("not a number") << QStringLiteral("abc") << QStringLiteral("1");
    QTest::newRow("leading digits") << QStringLiteral("77x") << QStringLiteral("78");
    QTest::newRow("fraction dropped") << QStringLiteral("1200.9") << QStringLiteral("1201");
    QTest::newRow("too large") << QStringLiteral("99999999999999999999999") << QStringLiteral("1");
    QTest::newRow("largest - 1") << QStringLiteral("9223372036854775806")
                                 << QStringLiteral("9223372036854775807");
    QTest::newRow("largest") << QStringLiteral("9223372036854775807") << QStringLiteral("1");
}

void TestStartUp::firstNewRecipeIdFromText()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(FirstNewRecipeIdFrom(value), expected);
}

void TestStartUp::stepsInOrder_data()
{
    QTest::addColumn<QString>("getWebSettings");
    QTest::addColumn<bool>("noDatabase");
    QTest::addColumn<bool>("privateOk");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("ignorePrivate");

    const QStringList head{"OfferRestore", "LoadSettingsUnseen", "LoadNetSettings"};
    const QStringList tail{"PrepareIdentity", "ShowStartPage", "AddTrayIcon",
                           "ApplyDisplaySettings", "ConnectToServer"};
    QTest::newRow("no web, no database")
        << "0" << true << true << (head + QStringList{"OpenRecipeDatabase"} + tail) << false;
    QTest::newRow("web copy allowed")
        << "1" << true << true
        << (head + QStringList{"UpdateNetSettingsFromWeb", "OpenRecipeDatabase"} + tail) << false;
    QTest::newRow("web flag is exact")
        << "true" << true << true << (head + QStringList{"OpenRecipeDatabase"} + tail) << false;
    QTest::newRow("database, private ok")
        << "0" << false << true
        << (head + QStringList{"OpenRecipeDatabase", "CheckPrivateRecipes"} + tail) << false;
    QTest::newRow("database, too many private")
        << "0" << false << false
        << (head + QStringList{"OpenRecipeDatabase", "CheckPrivateRecipes"} + tail) << true;
}

void TestStartUp::stepsInOrder()
{
    QFETCH(QString, getWebSettings);
    QFETCH(bool, noDatabase);
    QFETCH(bool, privateOk);
    QFETCH(QStringList, steps);
    QFETCH(bool, ignorePrivate);

    Folder folder;
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    QStringList ran;
    auto &h = app.hooks;
    h.OfferRestore = [&](AppState &s) {
        ran << "OfferRestore";
        // The version is on file before the offer copies anything.
        QCOMPARE(ReadIniKey(s.SettingsFilePath, "FLAG", "VERSION"), QStringLiteral("2.4.0"));
        QVERIFY(s.FieldSep.isEmpty());
    };
    h.LoadSettingsUnseen = [&](AppState &s) {
        ran << "LoadSettingsUnseen";
        QCOMPARE(s.ListSep, QString(QChar(0)) + QChar(1) + QChar(0));
        s.Settings.insert("GETWEBSETTINGS", getWebSettings);
    };
    h.LoadNetSettings = [&](AppState &) { ran << "LoadNetSettings"; };
    h.UpdateNetSettingsFromWeb = [&](AppState &) { ran << "UpdateNetSettingsFromWeb"; };
    h.OpenRecipeDatabase = [&](AppState &s) {
        ran << "OpenRecipeDatabase";
        QVERIFY(app.mainWindow());
        QVERIFY(!app.mainWindow()->isVisible());
        QVERIFY(!s.CookbookIniPath.isEmpty());
        s.NoDatabase = noDatabase;
    };
    h.CheckPrivateRecipes = [&](AppState &) {
        ran << "CheckPrivateRecipes";
        return privateOk;
    };
    h.PrepareIdentity = [&](AppState &) {
        ran << "PrepareIdentity";
        [&] {
            QVERIFY(!app.mainWindow()->isVisible());
            QCOMPARE(app.mainWindow()->tabs()->currentIndex(), 3);
        }();
        return true;
    };
    h.ShowStartPage = [&](AppState &) { ran << "ShowStartPage"; };
    h.AddTrayIcon = [&](AppState &) { ran << "AddTrayIcon"; };
    h.ApplyDisplaySettings = [&](AppState &) {
        if (!ran.contains("ApplyDisplaySettings")) // activation applies them again later
            ran << "ApplyDisplaySettings";
    };
    h.ConnectToServer = [&](AppState &) {
        ran << "ConnectToServer";
        QVERIFY(app.mainWindow()->isVisible());
    };

    QVERIFY(app.StartUp());
    QCOMPARE(ran, steps);
    QCOMPARE(app.state().IgnorePrivate, ignorePrivate);
    QVERIFY(!app.state().Closing);
}

void TestStartUp::startLogLine_data()
{
    QTest::addColumn<bool>("logging");
    QTest::newRow("logging on") << true;
    QTest::newRow("logging off") << false;
}

void TestStartUp::startLogLine()
{
    QFETCH(bool, logging);
    Folder folder;
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    const QString log = folder.dir.filePath(QStringLiteral("zestrel.log"));
    app.hooks.LoadNetSettings = [&](AppState &s) {
        s.Net.LoggingEnabled = logging;
        s.Net.LogFilePath = log;
    };
    QVERIFY(app.StartUp());
    if (!logging) {
        QVERIFY(!QFile::exists(log));
        return;
    }
    const QByteArray text = readAll(log);
    QVERIFY2(text.startsWith("----- Client - Start: "), text);
    QVERIFY2(text.endsWith(" -----\r\n"), text);
    QCOMPARE(text.count("\r\n"), 1);
    // The date and time sit between the markers.
    QVERIFY(text.size() > int(strlen("----- Client - Start:  -----\r\n")) + 8);
}

void TestStartUp::minimizeKeepsWindowHidden()
{
    Folder folder;
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    bool tray = false, connected = false;
    app.hooks.LoadSettingsUnseen = [load = app.hooks.LoadSettingsUnseen](AppState &s) {
        load(s);
        s.Settings.insert("MINIMIZE", "1");
    };
    // A desktop with a tray (offscreen has none).
    app.hooks.AddTrayIcon = [&](AppState &) {
        app.mainWindow()->TrayAvailable = [] { return true; };
        tray = app.mainWindow()->AddTrayIcon();
    };
    app.hooks.ConnectToServer = [&](AppState &) { connected = true; };
    QVERIFY(app.StartUp());
    QVERIFY(tray);
    QVERIFY(connected);
    QVERIFY(!app.mainWindow()->isVisible());

    // A later copy's request brings it up all the same.
    emit app.singleInstance().showRequested();
    QVERIFY(app.mainWindow()->isVisible());
}

void TestStartUp::cancelledUserNameEnds()
{
    Folder folder;
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    QStringList ran;
    app.hooks.PrepareIdentity = [&](AppState &) { return false; };
    app.hooks.ShowStartPage = [&](AppState &) { ran << "ShowStartPage"; };
    app.hooks.ConnectToServer = [&](AppState &) { ran << "ConnectToServer"; };
    app.hooks.CloseRecipeDatabase = [&](AppState &) { ran << "CloseRecipeDatabase"; };
    int ended = 0;
    app.EndProcess = [&] { ++ended; };

    QVERIFY(!app.StartUp());
    QCOMPARE(ran, QStringList{"CloseRecipeDatabase"});
    QCOMPARE(ended, 1);
    QVERIFY(app.unloaded());
    QVERIFY(!app.mainWindow()->isVisible());
}

void TestStartUp::secondInstance_data()
{
    QTest::addColumn<QByteArray>("dev");
    QTest::addColumn<bool>("secondRuns");

    QTest::newRow("DEV TRUE") << QByteArray("TRUE") << true;
    QTest::newRow("DEV true") << QByteArray("true") << false;
    QTest::newRow("DEV TRUE with space") << QByteArray("TRUE ") << false;
    QTest::newRow("no DEV") << QByteArray() << false;
}

void TestStartUp::secondInstance()
{
    QFETCH(QByteArray, dev);
    QFETCH(bool, secondRuns);

    Folder folder(dev.isNull() ? QByteArray() : "[MISC]\r\nDEV=" + dev + "\r\n");
    FakePrompter firstPrompter;
    Application first(folder.path(), &firstPrompter);
    QVERIFY(first.StartUp());
    first.mainWindow()->hide();
    QSignalSpy showRequests(&first.singleInstance(), &SingleInstance::showRequested);

    const QByteArray iniBefore = readAll(folder.ini());
    FakePrompter prompter;
    Application second(folder.path(), &prompter);
    bool settingsLoaded = false;
    second.hooks.LoadSettingsUnseen = [&, load = second.hooks.LoadSettingsUnseen](AppState &s) {
        settingsLoaded = true;
        load(s);
    };
    const bool runs = second.StartUp();
    QCOMPARE(runs, secondRuns);
    QCOMPARE(settingsLoaded, secondRuns);

    if (secondRuns) {
        QVERIFY(prompter.shown.isEmpty());
        QVERIFY(second.mainWindow()->isVisible());
        QVERIFY(!showRequests.wait(200));
        QVERIFY(!first.mainWindow()->isVisible());
        return;
    }
    QCOMPARE(prompter.shown.size(), 1);
    const auto &box = prompter.shown.first();
    QCOMPARE(box.kind, QStringLiteral("message"));
    QCOMPARE(box.title, QStringLiteral("Zestrel running"));
    QCOMPARE(box.text, QStringLiteral("A previous instance of Zestrel is already running on this "
                                      "machine and will be loaded/refreshed!  \r\n\r\nOnly one "
                                      "version of Zestrel is permitted per machine!"));
    QCOMPARE(box.icon, PromptIcon::Information);
    QCOMPARE(second.mainWindow(), nullptr);
    // The second copy wrote nothing.
    QCOMPARE(readAll(folder.ini()), iniBefore);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"zestrel.ini"});

    // The first copy shows its window.
    QVERIFY(showRequests.count() == 1 || showRequests.wait(5000));
    QTRY_VERIFY(first.mainWindow()->isVisible());
}

void TestStartUp::staleSocketIsReplaced()
{
    // A copy that crashed leaves its socket file behind; the next copy takes over.
    Folder folder;
    const QString name = SingleInstance::ServerName(folder.path());
    {
        QLocalServer stale;
        stale.setSocketOptions(QLocalServer::UserAccessOption);
        QVERIFY(stale.listen(name));
        const QString socketPath = stale.fullServerName();
        stale.close(); // removes the file: put one back as a crash would leave it
        writeFile(socketPath, "");
    }
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    QVERIFY(app.StartUp());
    QVERIFY(prompter.shown.isEmpty());
    QVERIFY(app.singleInstance().isListening());

    // And it is found by the copy after it.
    SingleInstance probe(folder.path());
    QVERIFY(probe.FindRunningInstance());
    probe.Release();
}

void TestStartUp::activateShowsPendingMessages()
{
    Folder folder;
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    int applied = 0;
    app.hooks.ApplyDisplaySettings = [&](AppState &) { ++applied; };
    QVERIFY(app.StartUp());
    const int afterLoad = applied;

    app.diag().ShowMessage(QStringLiteral("DB Not Present"), QStringLiteral("Notice"));
    app.diag().messageCenter()->WindowClosed();
    QVERIFY(!app.diag().messageCenter()->Visible);

    app.MainWindowActivate();
    QCOMPARE(applied, afterLoad + 1);
    QVERIFY(app.diag().messageCenter()->Visible);
}

void TestStartUp::shutdownOrder()
{
    Folder folder;
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    QStringList ran;
    auto note = [&](const char *step) {
        return [&ran, &app, step](AppState &s) {
            ran << QString::fromLatin1(step);
            QVERIFY(s.Closing);
            QVERIFY(!app.mainWindow()->isVisible());
        };
    };
    app.hooks.LeaveChatRoom = note("LeaveChatRoom");
    app.hooks.SignOff = note("SignOff");
    app.hooks.CloseSocket = note("CloseSocket");
    app.hooks.RemoveTrayIcon = note("RemoveTrayIcon");
    app.hooks.CloseRecipeDatabase = note("CloseRecipeDatabase");
    app.EndProcess = [&] { ran << "EndProcess"; };
    QSignalSpy ended(&app, &Application::ended);

    QVERIFY(app.StartUp());
    QVERIFY(ran.isEmpty());
    app.diag().ShowMessage(QStringLiteral("one"), QString());

    app.mainWindow()->close();
    const QStringList order{"LeaveChatRoom",       "SignOff",   "CloseSocket", "RemoveTrayIcon",
                            "CloseRecipeDatabase", "EndProcess"};
    QCOMPARE(ran, order);
    QCOMPARE(ended.count(), 1);
    QVERIFY(!app.mainWindow()->isVisible());

    // A second close runs nothing again.
    app.mainWindow()->close();
    app.MainWindowUnload();
    QCOMPARE(ran, order);
}

void TestStartUp::closeWhileLoading_data()
{
    QTest::addColumn<QString>("closingStep");
    QTest::addColumn<QStringList>("ran");
    QTest::newRow("identity prompt") << "PrepareIdentity" << QStringList{"PrepareIdentity"};
    QTest::newRow("tray") << "AddTrayIcon"
                          << QStringList{"PrepareIdentity", "ShowStartPage", "AddTrayIcon"};
    QTest::newRow("connecting") << "ConnectToServer"
                                << QStringList{"PrepareIdentity", "ShowStartPage", "AddTrayIcon",
                                               "ApplyDisplaySettings", "ConnectToServer"};
}

void TestStartUp::closeWhileLoading()
{
    // The member closes the window (or picks Exit in the tray) while a step of the
    // load waits: shutdown runs at once and the load starts nothing more.
    QFETCH(QString, closingStep);
    QFETCH(QStringList, ran);
    Folder folder;
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    QStringList steps;
    int ended = 0;
    app.EndProcess = [&] { ++ended; };
    auto step = [&](const char *name) {
        return [&, name](AppState &s) -> bool {
            steps << QString::fromLatin1(name);
            if (closingStep == QLatin1String(name)) {
                QTimer::singleShot(20, app.mainWindow(), [&] { app.mainWindow()->close(); });
                // A wait that ends when the program is closing, as the connect wait does.
                [&] { QTRY_VERIFY_WITH_TIMEOUT(s.Closing, 5000); }();
            }
            return true;
        };
    };
    app.hooks.PrepareIdentity = step("PrepareIdentity");
    app.hooks.ShowStartPage = step("ShowStartPage");
    app.hooks.AddTrayIcon = step("AddTrayIcon");
    app.hooks.ApplyDisplaySettings = [&, f = step("ApplyDisplaySettings")](AppState &s) {
        if (!steps.contains("ApplyDisplaySettings"))
            f(s);
    };
    app.hooks.ConnectToServer = step("ConnectToServer");

    QVERIFY(!app.StartUp());
    QCOMPARE(steps, ran);
    QCOMPARE(ended, 1);
    QVERIFY(app.unloaded());
    QVERIFY(!app.mainWindow()->isVisible());
}

void TestStartUp::connectsAndSignsOff()
{
    test::ServerProcess server;
    QVERIFY(server.start());
    Folder folder;
    writeFile(folder.dir.filePath(QStringLiteral("zestrel.set")),
              "SETTING_VERSION=1\r\nREMOTE_SERVER_IP=127.0.0.1\r\nSERVER_LISTEN_PORT=" +
                  QByteArray::number(server.port()) + "\r\nWINSOCK_CONNECT_TIME_OUT=5\r\n");
    FakePrompter prompter;
    Application app(folder.path(), &prompter);
    QVERIFY(app.StartUp());

    Connection &connection = app.session()->connection;
    QCOMPARE(connection.State(), Connection::StateConnected);
    // The server's answer to the sign-in gives this client its key.
    QTRY_VERIFY_WITH_TIMEOUT(!app.state().MyUserKey.isEmpty(), 10000);
    QVERIFY(app.state().MyUserKey.contains(QStringLiteral("alice")));
    // The window shows the connection's lights.
    connection.lights.TurnOn(ActivityLights::Receive, ActivityLights::Red);
    QCOMPARE(app.mainWindow()->activityLight(0), std::uint32_t(ActivityLights::Red));

    QSignalSpy closed(&connection.socket(), &QTcpSocket::disconnected);
    app.mainWindow()->close();
    QVERIFY(closed.count() > 0 || closed.wait(5000));
    QCOMPARE(connection.State(), Connection::StateClosed);
    QVERIFY(app.state().Closing);
}

void TestStartUp::noUserNameNoConnection()
{
    test::ServerProcess server;
    QVERIFY(server.start());
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("zestrel.set")),
              "SETTING_VERSION=1\r\nREMOTE_SERVER_IP=127.0.0.1\r\nSERVER_LISTEN_PORT=" +
                  QByteArray::number(server.port()) + "\r\nWINSOCK_CONNECT_TIME_OUT=5\r\n");
    FakePrompter prompter; // answers the name prompt with a cancel
    Application app(dir.path(), &prompter);
    int ended = 0;
    app.EndProcess = [&] { ++ended; };
    QVERIFY(!app.StartUp());
    QCOMPARE(prompter.shown.size(), 1);
    QCOMPARE(prompter.shown.first().kind, QStringLiteral("input"));
    QCOMPARE(app.session()->connection.State(), Connection::StateClosed);
    QVERIFY(app.state().ConnectedAt.isNull());
    QVERIFY(!app.mainWindow()->isVisible());
    QCOMPARE(ended, 1);
}

QTEST_MAIN(TestStartUp)
#include "tst_startup.moc"
