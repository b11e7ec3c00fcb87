// Two whole programs against the real relay: each sees the other in its browse
// tab, and a member's recipe database answers the other member's requests.
#include "client/Session.h"
#include "cookbook/CookbookFactory.h"
#include "store/Answers.h"
#include "support/FakePrompter.h"
#include "support/ServerProcess.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

using namespace zestrel;
using test::FakePrompter;

namespace
{

constexpr int kWait = 10000;

struct Member {
    QTemporaryDir dir;
    FakePrompter prompter;
    std::unique_ptr<Application> app;

    Member(const char *name, quint16 port, bool withCookbook)
    {
        if (withCookbook)
            cookbook::FillSample(dir.path(), 60, 3);
        write("zestrel.ini",
              QByteArray("[PROFILE]\r\nUSERNAME=") + name + "\r\nDESCRIPTION=Bakes bread\r\n");
        write("zestrel.set", "SETTING_VERSION=1\r\nREMOTE_SERVER_IP=127.0.0.1\r\n"
                             "SERVER_LISTEN_PORT=" +
                                 QByteArray::number(port) + "\r\nWINSOCK_CONNECT_TIME_OUT=5\r\n");
        app = std::make_unique<Application>(dir.path(), &prompter);
    }
    void write(const char *file, const QByteArray &bytes)
    {
        QFile f(dir.filePath(QString::fromLatin1(file)));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    QTreeView *tree() const { return app->mainWindow()->findChild<QTreeView *>("tvUsers"); }
    // Texts of the top-level nodes the window's tree shows.
    QStringList shownMembers() const
    {
        QStringList names;
        const QAbstractItemModel *model = tree()->model();
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, 0).data().toString();
        return names;
    }
};

} // namespace

class TestNetwork : public QObject
{
    Q_OBJECT
  private slots:
    void membersSeeEachOtherAndAnswer();
};

void TestNetwork::membersSeeEachOtherAndAnswer()
{
    test::ServerProcess server;
    QVERIFY(server.start());

    Member alice("alice", server.port(), true);
    QVERIFY(alice.app->StartUp());
    QTRY_VERIFY_WITH_TIMEOUT(!alice.app->state().MyUserKey.isEmpty(), kWait);

    Member bob("bob", server.port(), false);
    QVERIFY(bob.app->StartUp());
    QTRY_VERIFY_WITH_TIMEOUT(!bob.app->state().MyUserKey.isEmpty(), kWait);

    QVERIFY(bob.tree());
    QTRY_VERIFY_WITH_TIMEOUT(bob.shownMembers().contains("alice"), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(alice.shownMembers().contains("bob"), kWait);
    // The own profile boxes show the member's own name.
    auto *name = bob.app->mainWindow()->findChild<QLineEdit *>("txtProfile_0");
    QVERIFY(name);
    QCOMPARE(name->text(), QStringLiteral("bob"));

    // Bob asks alice for the categories of her food recipes: her program answers
    // from her database with exactly what her list builder gives.
    QString reply;
    bob.app->session()->dispatcher.Register(
        110, [&reply](const QString &, const QString &payload) { reply = payload; });
    const AppState &a = alice.app->state();
    bob.app->session()->connection.SendMessage(111, bob.app->state().MyUserKey, a.MyUserKey,
                                               "F" + a.ArgSep + "U1T1" + a.ArgSep + "1");
    QTRY_VERIFY_WITH_TIMEOUT(!reply.isEmpty(), kWait);
    QCOMPARE(reply, ListCategories(alice.app->recipeDatabase(), "F", true) + a.ArgSep + "U1T1");

    // Alice leaves: she disappears from bob's tree.
    alice.app->mainWindow()->close();
    QTRY_VERIFY_WITH_TIMEOUT(!bob.shownMembers().contains("alice"), kWait);
    bob.app->mainWindow()->close();
}

QTEST_MAIN(TestNetwork)
#include "tst_network.moc"
