// Several whole clients on one real relay, each with its own cookbook, for the
// search, chat and instant-message suites.
#pragma once

#include "TestClient.h"
#include "cookbook/CookbookFactory.h"
#include "store/RecipeDatabase.h"
#include "support/ServerProcess.h"
#include "wire/Payloads.h"

#include <QSqlQuery>
#include <QtTest>
#include <memory>

namespace zestrel::test
{

inline constexpr int kNetWait = 10000;

class NetMember
{
  public:
    NetMember(const ServerProcess &server, const QString &name)
        : client(std::make_unique<TestClient>(name, server.host(), server.port())),
          app(client->app), session(client->session)
    {
        app.CookbookIniPath = QDir(client->dir.path()).filePath(QStringLiteral("cookbook.ini"));
    }
    ~NetMember()
    {
        client->connection.CloseConnection();
        client.reset();
        db.reset();
    }

    // A cookbook with these recipes (id, title, category); the member answers from it.
    void giveCookbook(const QList<std::tuple<qint64, QString, QString>> &recipes)
    {
        QString error;
        QVERIFY2(cookbook::CreateCookbook(client->dir.path(), &error), qPrintable(error));
        db = std::make_unique<RecipeDatabase>(app);
        db->OpenRecipeDatabase();
        QVERIFY(!app.NoDatabase);
        QSqlQuery q(db->RecipeDb());
        q.exec(QStringLiteral("PRAGMA synchronous = OFF"));
        for (const auto &[id, title, category] : recipes) {
            QVERIFY(q.prepare(QStringLiteral(
                "INSERT INTO RECIPE (id, type, title, category, servings, prep_time, cook_time, "
                "notes, rating, source, cuisine, misc, private) VALUES (?, 'Main Dish', ?, ?, "
                "'4', '10 min', '20 min', 'n', '', 's', 'c', 'm', 0)")));
            q.addBindValue(id);
            q.addBindValue(title);
            q.addBindValue(category);
            QVERIFY(q.exec());
        }
        session.AnswerFrom(*db);
        setting("ALLOWSEARCHES", "1");
    }

    void setting(const char *key, const QString &value)
    {
        app.Settings.insert(QString::fromLatin1(key), value);
    }

    // Connected, signed in and listed in its own tree.
    bool signIn()
    {
        return session.Start() && QTest::qWaitFor([this] { return Ready(); }, kNetWait);
    }
    bool Ready() const
    {
        return !app.MyUserKey.isEmpty() && client->members.MyMemberNode.isValid();
    }
    // Waits until this member's tree lists `count` members.
    bool sees(int count) const
    {
        return QTest::qWaitFor(
            [this, count] { return client->members.tree.tvUsers.rowCount() == count; }, kNetWait);
    }
    // Selects the member node whose text is `name` in the browse tree.
    bool selectMember(const QString &name)
    {
        auto &tree = client->members.tree;
        for (int r = 0; r < tree.tvUsers.rowCount(); ++r) {
            const QModelIndex node = tree.tvUsers.index(r, 0);
            if (node.data().toString() == name) {
                tree.tvUsersSelection.setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
                return true;
            }
        }
        return false;
    }

    std::unique_ptr<TestClient> client;
    std::unique_ptr<RecipeDatabase> db;
    AppState &app;
    Session &session;
};

// Starts a relay with three rooms and signs in members with these names; every
// member sees all the others before it returns.
inline bool SignInAll(const QList<NetMember *> &members)
{
    for (NetMember *m : members)
        if (!m->signIn())
            return false;
    for (NetMember *m : members)
        if (!m->sees(int(members.size())))
            return false;
    return true;
}

inline QStringList Rooms()
{
    return {QStringLiteral("Lobby"), QStringLiteral("Kitchen"), QStringLiteral("Bakery")};
}

inline bool StartRelay(ServerProcess &server)
{
    return server.start({QStringLiteral("--rooms"), Rooms().join(QLatin1Char(','))});
}

} // namespace zestrel::test
