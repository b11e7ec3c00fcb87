// A member with a sample cookbook answers another member's requests over the real
// relay server: each answer arrives with exactly the payload the builders make.
#include "client/Answering.h"
#include "net/Connection.h"
#include "net/NetHandlers.h"
#include "store/Answers.h"
#include "store/TransferText.h"
#include "support/ServerProcess.h"
#include "support/StoreFixture.h"

#include <QtTest>

using namespace zestrel;
using zestrel::test::ServerProcess;
using zestrel::test::StoreFixture;

namespace
{

constexpr int kWait = 10000;

// One signed-in client: connection, dispatch and the connection's own handlers.
struct Member {
    Member(StoreFixture &f, const ServerProcess &server, const QString &name) : app(f.app)
    {
        app.MyUserKey.clear();
        app.UserName = name;
        app.Settings[QStringLiteral("USERNAME")] = name;
        app.Net.ServerAddress = server.host();
        app.Net.ServerPort = QString::number(server.port());
        app.Net.ConnectTimeout = 5;
        handlers.Register(dispatcher);
    }
    ~Member() { connection.CloseConnection(); }
    bool signIn()
    {
        return connection.ConnectToServer() &&
               QTest::qWaitFor([&] { return !app.MyUserKey.isEmpty(); }, kWait);
    }

    AppState &app;
    Dispatcher dispatcher;
    Connection connection{app, dispatcher};
    NetHandlers handlers{app, connection};
};

struct Received {
    int code;
    QString source;
    QString payload;
};

} // namespace

class TestNetwork : public QObject
{
    Q_OBJECT
  private slots:
    void answersOverTheServer();
};

void TestNetwork::answersOverTheServer()
{
    ServerProcess server;
    QVERIFY(server.start());

    StoreFixture ownerStore(false);
    QVERIFY(cookbook::FillSample(ownerStore.dir.path(), 120, 5));
    ownerStore.open();
    ownerStore.app.FirstNewRecipeId = ReadFirstNewRecipeId(ownerStore.app.CookbookIniPath);
    ownerStore.app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
    ownerStore.app.Settings[QStringLiteral("DESCRIPTION")] = QStringLiteral("Cooks a lot");
    Member owner(ownerStore, server, QStringLiteral("Owner"));
    RequestGate gate;
    RegisterAnswers(owner.dispatcher, *ownerStore.db, owner.connection, gate);
    QVERIFY(owner.signIn());

    StoreFixture askerStore(false);
    Member asker(askerStore, server, QStringLiteral("Asker"));
    QList<Received> received;
    for (int code : {105, 106, 110, 112, 114, 120, 900, 901})
        asker.dispatcher.Register(code,
                                  [&received, code](const QString &source, const QString &payload) {
                                      received.append({code, source, payload});
                                  });
    QVERIFY(asker.signIn());

    const AppState &o = ownerStore.app;
    const QString as = o.ArgSep, fs = o.FieldSep;
    auto ask = [&](int code, const QString &payload, int replyCode) -> QString {
        received.clear();
        asker.connection.SendMessage(code, askerStore.app.MyUserKey,
                                     code == 7 ? QString() : o.MyUserKey, payload);
        if (!QTest::qWaitFor([&] { return !received.isEmpty(); }, kWait))
            return QStringLiteral("<no answer>");
        const Received r = received.takeFirst();
        if (r.code != replyCode)
            return QStringLiteral("<code %1>").arg(r.code);
        if (r.source != o.MyUserKey)
            return QStringLiteral("<from %1>").arg(r.source);
        return r.payload;
    };

    QCOMPARE(ask(111, QStringLiteral("Food") + as + "U1T1" + as + "1", 110),
             ListCategories(*ownerStore.db, "Food", true) + as + "U1T1");
    QCOMPARE(ask(119, QStringLiteral("Food") + as + "Beef" + as + "C4" + as + "0", 120),
             ListLetterGroups(*ownerStore.db, "Food", "Beef", false) + as + "C4");
    QCOMPARE(ask(113, QStringLiteral("Food") + fs + "Beef" + fs + "1" + as + "L5" + as + "1", 112),
             ListGroupRecipes(*ownerStore.db, "Food", "Beef", "1", true) + as + "L5");
    QCOMPARE(ask(107, QStringLiteral("7") + fs + "0", 105),
             *BrowsePreviewText(*ownerStore.db, "7"));
    QCOMPARE(ask(107, QStringLiteral("7 OR 1=1") + fs + "0", 901), QString());
    QCOMPARE(ask(109, QStringLiteral("Asker"), 106), QStringLiteral("Cooks a lot") + fs);
    // A search goes to every member; the owner answers with its matches.
    const QString expected = SearchRecipes(*ownerStore.db, "a", "", true, "", kSearchAnswerLimit);
    QVERIFY(expected.size() > kSearchAnswerLimit);
    QCOMPARE(ask(7, QStringLiteral("a") + fs + "" + fs + "1" + fs + "", 900), QString());
    QVERIFY(QTest::qWaitFor([&] { return !received.isEmpty(); }, kWait));
    QCOMPARE(received.first().code, 114);
    QCOMPARE(received.first().payload,
             expected.left(expected.left(kSearchAnswerLimit).lastIndexOf(o.ListSep)));
}

QTEST_MAIN(TestNetwork)
#include "tst_answering.moc"
