#include "browse/MemberDirectory.h"
#include "net/NetHandlers.h"
#include "support/FakePrompter.h"
#include "wire/Frame.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;

namespace
{

QString FS()
{
    return FromWire(protocol::kFieldSep);
}
QString LS()
{
    return FromWire(protocol::kListSep);
}
QString Key(const QString &ip, const QString &name, const QString &index)
{
    return ip + FS() + name + FS() + index;
}

// One client without a server: messages go in through the real reassembly and dispatch.
struct Client {
    QTemporaryDir dir;
    Diagnostics diag;
    test::FakePrompter prompter;
    AppState app{diag, prompter, dir.path()};
    Dispatcher dispatcher;
    Connection connection{app, dispatcher};
    NetHandlers handlers{app, connection};
    BrowseTree tree;
    MemberDirectory m{app, connection, tree};
    Client()
    {
        app.InitSeparators();
        handlers.Register(dispatcher);
        m.Register(dispatcher);
        connection.SetMemberTree(&m);
    }

    void receive(int code, const QString &source, const QString &payload)
    {
        connection.ProcessChunk(
            BuildMessage(QString::number(code), source, QString(), payload).toUtf8());
    }
    QStringList texts() const
    {
        QStringList t;
        for (int r = 0; r < m.tree.tvUsers.rowCount(); ++r)
            t << m.tree.tvUsers.index(r, 0).data().toString();
        return t;
    }
    QStringList keys() const
    {
        QStringList t;
        for (const QModelIndex &n : m.tree.AllNodes())
            t << BrowseTree::NodeKey(n);
        return t;
    }
    QModelIndex addChild(const QModelIndex &parent, const QString &key, const QString &text)
    {
        auto *item = new QStandardItem(text);
        item->setData(key, NodeKeyRole);
        m.tree.tvUsers.itemFromIndex(parent)->appendRow(item);
        return item->index();
    }
    QString centerText() const
    {
        return diag.messageCenter() ? diag.messageCenter()->Message() : QString();
    }
};

} // namespace

class TestMembers : public QObject
{
    Q_OBJECT
  private slots:
    void processUsers_data();
    void processUsers();
    void repeatedListAddsOnlyNewAndResetsCurrent();
    void removal_data();
    void removal();
    void removedNodeStaysInDirectory();
    void findUserFromFourLevelsDown();
    void userKeyPart_data();
    void userKeyPart();
    void nodeNumbers();
    void localMemberAndTestEntries();
    void noSixteenBitLimit();
};

void TestMembers::processUsers_data()
{
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<int>("myRecord"); // index into records of the own key, -1 none
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("directory");
    QTest::addColumn<int>("myRow");
    QTest::addColumn<QString>("notice");

    const QString a = Key("10.0.0.1", "Anna", "1"), b = Key("10.0.0.2", "Ben", "2");
    const QString me = Key("10.0.0.3", "Me", "3");
    QTest::newRow("empty payload") << QStringList() << -1 << QStringList() << 0 << -1 << QString();
    QTest::newRow("two members") << QStringList{a, b} << -1 << QStringList{"Anna", "Ben"} << 2 << -1
                                 << QString();
    QTest::newRow("duplicate in one list")
        << QStringList{a, b, a} << -1 << QStringList{"Anna", "Ben"} << 2 << -1 << QString();
    QTest::newRow("same name, two connections")
        << QStringList{a, Key("10.0.0.1", "Anna", "9")} << -1 << QStringList{"Anna", "Anna"} << 2
        << -1 << QString();
    QTest::newRow("own record") << QStringList{a, me, b} << 1 << QStringList{"Anna", "Me", "Ben"}
                                << 3 << 1 << QString();
    QTest::newRow("bad record between good ones")
        << QStringList{a, "10.0.0.9" + FS() + "Half", b} << -1 << QStringList{"Anna", "Ben"} << 2
        << -1 << QStringLiteral("9: Zestrel\r\n\r\nSubscript out of range");
    QTest::newRow("trailing separator")
        << QStringList{a, QString()} << -1 << QStringList{"Anna"} << 1 << -1 << QString();
}

void TestMembers::processUsers()
{
    QFETCH(QStringList, records);
    QFETCH(int, myRecord);
    QFETCH(QStringList, texts);
    QFETCH(int, directory);
    QFETCH(int, myRow);
    QFETCH(QString, notice);

    Client c;
    if (myRecord >= 0)
        c.app.MyUserKey = records[myRecord];
    c.receive(100, QString(), records.join(LS()));

    QCOMPARE(c.texts(), texts);
    QCOMPARE(int(c.m.OnlineUsers.Count()), directory);
    for (int r = 0; r < texts.size(); ++r)
        QCOMPARE(BrowseTree::NodeKey(c.m.tree.tvUsers.index(r, 0)), QStringLiteral("U%1").arg(r));
    // Every node has its directory entry and back.
    for (const cUser &u : c.m.OnlineUsers)
        QCOMPARE(c.m.tree.FindNode(u.NodeKey()).data().toString(), u.UserName());
    if (myRow < 0) {
        QVERIFY(!c.m.MyMemberNode.isValid());
        QVERIFY(!c.m.CurrentMemberNode.isValid());
    } else {
        QCOMPARE(c.m.MyMemberNode.row(), myRow);
        QCOMPARE(QModelIndex(c.m.CurrentMemberNode), QModelIndex(c.m.MyMemberNode));
        QCOMPARE(c.m.tree.tvUsersSelection.currentIndex(), QModelIndex(c.m.MyMemberNode));
        QVERIFY(c.m.tree.tvUsersSelection.isSelected(c.m.MyMemberNode));
    }
    QCOMPARE(c.centerText(), notice);
}

void TestMembers::repeatedListAddsOnlyNewAndResetsCurrent()
{
    Client c;
    const QString a = Key("1.1.1.1", "Anna", "1"), me = Key("1.1.1.2", "Me", "2");
    const QString b = Key("1.1.1.3", "Ben", "3");
    c.app.MyUserKey = me;
    c.receive(100, QString(), a + LS() + me);
    c.m.CurrentMemberNode = c.m.tree.tvUsers.index(0, 0);
    // 101 is handled exactly like 100.
    c.receive(101, QString(), a + LS() + b + LS() + me);
    QCOMPARE(c.texts(), (QStringList{"Anna", "Me", "Ben"}));
    QCOMPARE(c.m.OnlineUsers.Count(), 3);
    QCOMPARE(c.m.CurrentMemberNode.row(), 1);
    // An empty list, too, puts the current member back to the own node.
    c.m.CurrentMemberNode = c.m.tree.tvUsers.index(2, 0);
    c.receive(100, QString(), QString());
    QCOMPARE(c.m.CurrentMemberNode.row(), 1);
}

void TestMembers::removal_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("directory");
    const QString ben = Key("1.1.1.3", "Ben", "3");
    QTest::newRow("102 listed") << 102 << ben << QStringList{"Anna", "Me"} << 2;
    QTest::newRow("902 listed") << 902 << ben << QStringList{"Anna", "Me"} << 2;
    QTest::newRow("102 not listed")
        << 102 << Key("1.1.1.3", "Ben", "4") << QStringList{"Anna", "Me", "Ben"} << 3;
    QTest::newRow("102 empty key") << 102 << QString() << QStringList{"Anna", "Me", "Ben"} << 3;
    QTest::newRow("902 own") << 902 << Key("1.1.1.2", "Me", "2") << QStringList{"Anna", "Ben"} << 2;
}

void TestMembers::removal()
{
    QFETCH(int, code);
    QFETCH(QString, key);
    QFETCH(QStringList, texts);
    QFETCH(int, directory);

    Client c;
    c.app.MyUserKey = Key("1.1.1.2", "Me", "2");
    c.receive(
        100, QString(),
        QStringList{Key("1.1.1.1", "Anna", "1"), c.app.MyUserKey, Key("1.1.1.3", "Ben", "3")}.join(
            LS()));
    // A loaded subtree under Ben goes with him.
    const QModelIndex t = c.addChild(c.m.tree.tvUsers.index(2, 0), "T3", "Food");
    c.addChild(c.addChild(t, "C4", "Soup"), "L5", "1:    Soup");

    c.receive(code, QString(), key);
    QCOMPARE(c.texts(), texts);
    QCOMPARE(int(c.m.OnlineUsers.Count()), directory);
    if (!texts.contains("Ben")) {
        QCOMPARE(c.m.tree.AllNodes().size(), 2);
        QVERIFY(!c.m.UserExists(key));
    }
    QCOMPARE(c.m.MyMemberNode.isValid(), texts.contains("Me"));
}

void TestMembers::removedNodeStaysInDirectory()
{
    Client c;
    const QString a = Key("1.1.1.1", "Anna", "1");
    c.receive(100, QString(), a);
    c.m.tree.RemoveNode(c.m.tree.tvUsers.index(0, 0));
    QVERIFY(c.m.UserExists(a));
    c.receive(100, QString(), a);
    QCOMPARE(c.m.tree.tvUsers.rowCount(), 0);
    c.m.ClearBrowseTree();
    c.receive(100, QString(), a);
    QCOMPARE(c.texts(), QStringList{"Anna"});
}

void TestMembers::findUserFromFourLevelsDown()
{
    Client c;
    c.receive(100, QString(), Key("1.1.1.1", "Anna", "1") + LS() + Key("1.1.1.2", "Ben", "2"));
    const QModelIndex ben = c.m.tree.tvUsers.index(1, 0);
    const QModelIndex t = c.addChild(ben, "T2", "Food");
    const QModelIndex cat = c.addChild(t, "C3", "Soup");
    const QModelIndex l = c.addChild(cat, "L4", "1:    Soup");
    const QModelIndex r = c.addChild(l, "R5", "Corn Soup (42)");
    QCOMPARE(c.m.FindUser(r), ben);
    QCOMPARE(c.m.FindUser(ben), ben);
    QCOMPARE(c.m.UserKeyForNode(BrowseTree::NodeKey(c.m.FindUser(l))), Key("1.1.1.2", "Ben", "2"));
    QCOMPARE(c.m.UserKeyForNode(QStringLiteral("U99")), QString());
    // A stray node with no member above it gives no member, and no crash.
    auto *stray = new QStandardItem(QStringLiteral("stray"));
    stray->setData(QStringLiteral("R77"), NodeKeyRole);
    c.m.tree.tvUsers.appendRow(stray);
    QVERIFY(!c.m.FindUser(stray->index()).isValid());
    QVERIFY(!c.m.FindUser(QModelIndex()).isValid());
}

void TestMembers::userKeyPart_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("part");
    QTest::addColumn<QString>("expected");
    const QString full = Key("10.1.2.3", "Anna", "17");
    QTest::newRow("ip") << full << 0 << "10.1.2.3";
    QTest::newRow("name") << full << 1 << "Anna";
    QTest::newRow("index") << full << 2 << "17";
    QTest::newRow("part 3") << full << 3 << "N/A";
    QTest::newRow("part -1") << full << -1 << "N/A";
    QTest::newRow("no separator, part 0") << "Anna" << 0 << "Anna";
    QTest::newRow("no separator, part 1") << "Anna" << 1 << "";
    QTest::newRow("one separator, part 2") << "1.1.1.1" + FS() + "Anna" << 2 << "";
    QTest::newRow("empty key") << "" << 1 << "";
    QTest::newRow("two NULs are no separator")
        << QString("a") + QChar(0) + QChar(0) + "b" << 1 << "";
}

void TestMembers::userKeyPart()
{
    QFETCH(QString, key);
    QFETCH(int, part);
    QFETCH(QString, expected);
    QCOMPARE(MemberDirectory::UserKeyPart(key, part), expected);
}

void TestMembers::nodeNumbers()
{
    Client c;
    QCOMPARE(c.m.tree.NextNodeNumber(), 0);
    QCOMPARE(c.m.tree.NextNodeNumber(), 1);
    c.receive(100, QString(), Key("1.1.1.1", "Anna", "1"));
    QCOMPARE(c.keys(), QStringList{"U2"});
    // Losing the connection drops the members but keeps counting.
    c.m.DropMembers();
    QVERIFY(c.m.TreeIsEmpty());
    QCOMPARE(c.m.OnlineUsers.Count(), 0);
    c.receive(100, QString(), Key("1.1.1.1", "Anna", "1"));
    QCOMPARE(c.keys(), QStringList{"U3"});
    c.m.ClearBrowseTree();
    QVERIFY(c.m.TreeIsEmpty());
    QCOMPARE(c.m.OnlineUsers.Count(), 0);
    c.receive(100, QString(), Key("1.1.1.1", "Anna", "1") + LS() + Key("1.1.1.2", "Ben", "2"));
    QCOMPARE(c.keys(), (QStringList{"U0", "U1"}));
}

void TestMembers::localMemberAndTestEntries()
{
    Client c;
    c.app.UserName = QStringLiteral("Me");
    c.receive(117, QString(), QStringLiteral("7"));
    QCOMPARE(c.app.MyUserKey, Key(c.app.LocalIp, "Me", "7"));
    c.receive(100, QString(), Key("1.1.1.1", "Anna", "1") + LS() + c.app.MyUserKey);
    QVERIFY(c.m.IsLocalMember());
    c.m.CurrentMemberNode = c.m.tree.tvUsers.index(0, 0);
    QVERIFY(!c.m.IsLocalMember());

    c.m.AddTestMembers();
    QCOMPARE(c.texts(),
             (QStringList{"Anna", "Me", "TestExternalUser", "TestLocalUser", "UserDoesn'tExist"}));
    QCOMPARE(c.keys(), (QStringList{"U0", "U1", "U2", "U3", "U4"}));
    QCOMPARE(c.m.CurrentMemberNode.row(), 4);
    QCOMPARE(c.m.UserKeyForNode("U4"), Key("Any IP", "UserDoesn'tExist", "Any Index"));
    QVERIFY(!c.m.IsLocalMember());
    // The external test member has the own key but is fetched through the network.
    QCOMPARE(c.m.UserKeyForNode("U2"), c.app.MyUserKey);
    c.m.CurrentMemberNode = c.m.tree.tvUsers.index(2, 0);
    QVERIFY(!c.m.IsLocalMember());
    c.m.CurrentMemberNode = c.m.tree.tvUsers.index(3, 0);
    QVERIFY(c.m.IsLocalMember());
    c.m.CurrentMemberNode = QPersistentModelIndex();
    QVERIFY(!c.m.IsLocalMember());
}

void TestMembers::noSixteenBitLimit()
{
    Client c;
    QStringList records;
    const int n = 40000;
    for (int i = 0; i < n; ++i)
        records << Key("10.0.0.1", QStringLiteral("m%1").arg(i), QString::number(i));
    c.receive(100, QString(), records.join(LS()));
    QCOMPARE(c.m.tree.tvUsers.rowCount(), n);
    QCOMPARE(int(c.m.OnlineUsers.Count()), n);
    c.receive(102, QString(), records.last());
    QCOMPARE(int(c.m.OnlineUsers.Count()), n - 1);
    QCOMPARE(c.m.tree.tvUsers.index(n - 2, 0).data().toString(), QStringLiteral("m%1").arg(n - 2));
    QVERIFY(!c.m.UserExists(records.last()));
}

QTEST_GUILESS_MAIN(TestMembers)
#include "tst_members.moc"
