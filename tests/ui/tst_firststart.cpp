// The first start of a client in a program folder that holds no settings yet: the
// relay question, the offer of an empty cookbook and the name prompt, one box at a
// time, through the real Application.
#include "client/FirstStart.h"
#include "cookbook/Schema.h"
#include "store/RecipeDatabase.h"
#include "support/FakePrompter.h"
#include "support/TestFiles.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;

namespace
{

// Notes, for every box, whether the message center stood open beside it.
class WatchingPrompter : public test::FakePrompter
{
  public:
    Diagnostics *diag = nullptr;
    int besideOpenCenter = 0;
    PromptAnswer MessageBox(const QString &text, const QString &title, PromptIcon icon,
                            PromptButtons buttons) override
    {
        watch();
        return FakePrompter::MessageBox(text, title, icon, buttons);
    }
    QString InputBox(const QString &prompt, const QString &title, const QString &def,
                     PromptEcho echo) override
    {
        watch();
        return FakePrompter::InputBox(prompt, title, def, echo);
    }
    void watch()
    {
        if (diag && diag->messageCenter() && diag->messageCenter()->Visible)
            ++besideOpenCenter;
    }
};

const QByteArray kSet = "SETTING_VERSION=1\r\nREMOTE_SERVER_IP=relay.example.org\r\n"
                        "SERVER_LISTEN_PORT=7520\r\nWINSOCK_CONNECT_TIME_OUT=10\r\n";

enum Creator { NoCreator, RealCreator, FailingCreator };

} // namespace

Q_DECLARE_METATYPE(Creator)

class TestFirstStart : public QObject
{
    Q_OBJECT
  private slots:
    void relayPlace_data();
    void relayPlace();
    void firstStart_data();
    void firstStart();
};

void TestFirstStart::relayPlace_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("address"); // empty: refused
    QTest::addColumn<QString>("port");

    const QString host253 = QString(249, QLatin1Char('a')) + QStringLiteral(".org");
    QTest::newRow("name") << "relay.example.org:7520"
                          << "relay.example.org"
                          << "7520";
    QTest::newRow("spaces around") << "  10.0.0.5:7520 "
                                   << "10.0.0.5"
                                   << "7520";
    QTest::newRow("IPv6 in brackets") << "[::1]:7600"
                                      << "::1"
                                      << "7600";
    QTest::newRow("IPv6 bare") << "::1:7600"
                               << ""
                               << "";
    QTest::newRow("IPv4 in brackets") << "[10.0.0.5]:7520"
                                      << ""
                                      << "";
    QTest::newRow("no port") << "relay.example.org"
                             << ""
                             << "";
    QTest::newRow("no address") << ":7520"
                                << ""
                                << "";
    QTest::newRow("port 0") << "relay:0"
                            << ""
                            << "";
    QTest::newRow("port 1") << "relay:1"
                            << "relay"
                            << "1";
    QTest::newRow("port 65535") << "relay:65535"
                                << "relay"
                                << "65535";
    QTest::newRow("port 65536") << "relay:65536"
                                << ""
                                << "";
    QTest::newRow("port 007520") << "relay:007520"
                                 << ""
                                 << "";
    QTest::newRow("port with sign") << "relay:+80"
                                    << ""
                                    << "";
    QTest::newRow("port with letters") << "relay:80x"
                                       << ""
                                       << "";
    QTest::newRow("space in name") << "my relay:7520"
                                   << ""
                                   << "";
    QTest::newRow("equals in name") << "a=b:7520"
                                    << ""
                                    << "";
    QTest::newRow("NUL in name") << QStringLiteral("relay") + QChar(0) + QStringLiteral(":7520")
                                 << ""
                                 << "";
    QTest::newRow("leading dash") << "-relay:7520"
                                  << ""
                                  << "";
    QTest::newRow("253 characters") << host253 + ":7520" << host253 << "7520";
    QTest::newRow("254 characters") << "a" + host253 + ":7520"
                                    << ""
                                    << "";
}

void TestFirstStart::relayPlace()
{
    QFETCH(QString, typed);
    QFETCH(QString, address);
    QFETCH(QString, port);
    const std::optional<RelayPlace> place = ParseRelayPlace(typed);
    QCOMPARE(place.has_value(), !address.isEmpty());
    if (place) {
        QCOMPARE(place->address, address);
        QCOMPARE(place->port, port);
    }
}

void TestFirstStart::firstStart_data()
{
    QTest::addColumn<QByteArray>("ini");      // zestrel.ini before; null: none
    QTest::addColumn<bool>("setBefore");      // zestrel.set for relay.example.org:7520
    QTest::addColumn<bool>("cookbookBefore"); // an empty cookbook beside the program
    QTest::addColumn<Creator>("creator");
    QTest::addColumn<QStringList>("inputs"); // typed into the text prompts, in order
    QTest::addColumn<bool>("createAnswer");
    QTest::addColumn<QStringList>("titles"); // of every box shown, in order
    QTest::addColumn<QByteArray>("set");     // zestrel.set afterwards; null: none
    QTest::addColumn<bool>("database");      // open afterwards; otherwise the notice

    const QString relay = QStringLiteral("Zestrel Relay"), cookbook = QStringLiteral("No Cookbook"),
                  name = QStringLiteral("Username");
    const QStringList relayAndName{"relay.example.org:7520", "alice"};
    // A name on file: this member has started before.
    const QByteArray named = "[PROFILE]\r\nUSERNAME=alice\r\n";
    QTest::newRow("both asked, Yes")
        << QByteArray() << false << false << RealCreator << relayAndName << true
        << QStringList{relay, cookbook, name} << kSet << true;
    QTest::newRow("both asked, No") << QByteArray() << false << false << RealCreator << relayAndName
                                    << false << QStringList{relay, cookbook, name} << kSet << false;
    QTest::newRow("relay asked again")
        << QByteArray() << false << false << RealCreator
        << QStringList{"relay.example.org", "[::1]:7600", "alice"} << true
        << QStringList{relay, relay, relay, cookbook, name}
        << QByteArray("SETTING_VERSION=1\r\nREMOTE_SERVER_IP=::1\r\nSERVER_LISTEN_PORT=7600\r\n"
                      "WINSOCK_CONNECT_TIME_OUT=10\r\n")
        << true;
    QTest::newRow("relay cancelled")
        << QByteArray() << false << false << RealCreator << QStringList{"", "alice"} << true
        << QStringList{relay, cookbook, name} << QByteArray() << true;
    QTest::newRow("network settings there")
        << QByteArray() << true << false << RealCreator << QStringList{"alice"} << true
        << QStringList{cookbook, name} << kSet << true;
    QTest::newRow("cookbook there") << QByteArray() << false << true << RealCreator << relayAndName
                                    << true << QStringList{relay, name} << kSet << true;
    QTest::newRow("no way to make one")
        << QByteArray() << false << false << NoCreator << relayAndName << true
        << QStringList{relay, name} << kSet << false;
    QTest::newRow("making it fails")
        << QByteArray() << false << false << FailingCreator << relayAndName << true
        << QStringList{relay, cookbook, cookbook, name} << kSet << false;
    QTest::newRow("name cancelled last time")
        << QByteArray("[FLAG]\r\nVERSION=2.4.0\r\n[PROFILE]\r\nUSERNAME=  \r\n") << false << false
        << RealCreator << relayAndName << true << QStringList{relay, cookbook, name} << kSet
        << true;
    QTest::newRow("not a first start") << named << false << false << RealCreator << QStringList{}
                                       << true << QStringList{} << QByteArray() << false;
}

void TestFirstStart::firstStart()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, setBefore);
    QFETCH(bool, cookbookBefore);
    QFETCH(Creator, creator);
    QFETCH(QStringList, inputs);
    QFETCH(bool, createAnswer);
    QFETCH(QStringList, titles);
    QFETCH(QByteArray, set);
    QFETCH(bool, database);

    QTemporaryDir dir;
    const QString setPath = dir.filePath(QStringLiteral("zestrel.set"));
    if (!ini.isNull())
        test::WriteAll(dir.filePath(QStringLiteral("zestrel.ini")), ini);
    if (setBefore)
        test::WriteAll(setPath, kSet);
    if (cookbookBefore)
        QVERIFY(cookbook::CreateCookbook(dir.path()));

    WatchingPrompter prompter;
    for (const QString &typed : inputs)
        prompter.inputs.enqueue(typed);
    prompter.answers.enqueue(createAnswer ? PromptAnswer::Yes : PromptAnswer::No);
    Application app(dir.path(), &prompter);
    prompter.diag = &app.diag();
    QStringList made;
    if (creator == RealCreator)
        app.hooks.CreateCookbook = [&](AppState &, const QString &folder, QString *error) {
            made << folder;
            return cookbook::CreateCookbook(folder, error);
        };
    else if (creator == FailingCreator)
        app.hooks.CreateCookbook = [&](AppState &, const QString &folder, QString *error) {
            made << folder;
            *error = QStringLiteral("disk full");
            return false;
        };
    app.hooks.ConnectToServer = [](AppState &) {};

    QVERIFY(app.StartUp());
    QCOMPARE(prompter.titles(), titles);
    QCOMPARE(prompter.besideOpenCenter, 0);
    QCOMPARE(app.state().UserName, QStringLiteral("alice"));
    QTRY_VERIFY(app.mainWindow()->isVisible());

    // The relay typed is on file and in use.
    QCOMPARE(QFile::exists(setPath), !set.isNull());
    if (!set.isNull()) {
        QCOMPARE(test::ReadAll(setPath, {}), set);
        QCOMPARE(app.state().Net.ServerAddress + QLatin1Char(' ') + app.state().Net.ServerPort,
                 QString::fromLatin1(set.contains("::1") ? "::1 7600" : "relay.example.org 7520"));
    } else {
        QVERIFY(app.state().Net.ServerAddress.isEmpty());
    }

    const QString folder = QDir(dir.path()).absolutePath();
    const QString native = QDir::toNativeSeparators(folder);
    const int offer = titles.indexOf(QStringLiteral("No Cookbook"));
    if (offer >= 0) {
        const auto &box = prompter.shown.at(offer);
        QCOMPARE(box.text, QStringLiteral("Zestrel keeps your own recipes, and the ones you import "
                                          "from other members, in a cookbook. There is none in ") +
                               native +
                               QStringLiteral(" yet.\r\n\r\nCreate an empty cookbook there now? "
                                              "You can then write your recipes down with the "
                                              "Zestrel Cookbook."));
        QCOMPARE(box.icon, PromptIcon::Question);
        QCOMPARE(box.buttons, PromptButtons::YesNo);
        QCOMPARE(made, createAnswer ? QStringList{folder} : QStringList{});
    }
    if (creator == FailingCreator)
        QCOMPARE(prompter.shown.at(offer + 1).text,
                 QStringLiteral("The cookbook could not be created in ") + native +
                     QStringLiteral(":\r\n\r\ndisk full"));
    const int relayBox = titles.indexOf(QStringLiteral("Zestrel Relay"));
    if (relayBox >= 0) {
        QCOMPARE(prompter.shown.at(relayBox).kind, QStringLiteral("input"));
        QCOMPARE(prompter.shown.at(relayBox).text,
                 QStringLiteral("Zestrel connects to the recipe network through a relay.\nEnter "
                                "the relay's address and port (your network's operator gives "
                                "them to you),\nfor example relay.example.org:7520"));
    }
    if (titles.count(QStringLiteral("Zestrel Relay")) > 1)
        QCOMPARE(prompter.shown.at(relayBox + 1).text,
                 QStringLiteral("That is not a relay's address and port. Enter them as "
                                "address:port, for example relay.example.org:7520 or "
                                "[2001:db8::1]:7520."));

    // A cookbook made here is the one the client reads, with new ids from 1; without one
    // the notice of a missing database shows once the name is settled.
    QCOMPARE(app.state().NoDatabase, !database);
    MessageCenter *center = app.diag().messageCenter();
    if (database) {
        QVERIFY(app.recipeDatabase().HasPrivateColumn());
        QCOMPARE(app.state().FirstNewRecipeId, QStringLiteral("1"));
        QCOMPARE(center, nullptr);
    } else {
        QVERIFY(center);
        QCOMPARE(center->Title, QStringLiteral("DB Not Present"));
        QVERIFY(center->Visible);
    }
}

QTEST_MAIN(TestFirstStart)
#include "tst_firststart.moc"
