// Browsing over the real relay: two whole headless clients, each with its own
// cookbook. Anna walks Bert's collection down to a recipe and sees the exact
// preview; her own collection is browsed without a message on the wire.
#include "TestClient.h"
#include "browse/Preview.h"
#include "cookbook/CookbookFactory.h"
#include "store/Answers.h"
#include "store/RecipeDatabase.h"
#include "store/TransferText.h"
#include "support/BrowseFixture.h"
#include "support/ServerProcess.h"

#include <QSqlQuery>
#include <QtTest>
#include <memory>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

constexpr int kWait = 10000;
constexpr qint64 kCornBreadId = 500;

// A client with its own cookbook in its program folder.
struct Member {
    Member(const ServerProcess &server, const QString &name)
        : c(std::make_unique<TestClient>(name, server.host(), server.port()))
    {
        c->app.UserName = name;
        c->app.Settings["ALLRECIPES"] = "0"; // the catalogue's default
        c->app.CookbookIniPath = QDir(c->dir.path()).filePath("cookbook.ini");
    }
    bool open(int samples)
    {
        if (!cookbook::FillSample(c->dir.path(), samples, 3))
            return false;
        db = std::make_unique<RecipeDatabase>(c->app);
        db->OpenRecipeDatabase();
        c->session.AnswerFrom(*db);
        return !c->app.NoDatabase;
    }
    bool add(qint64 id, const QString &title, const QString &category)
    {
        QSqlQuery q(db->RecipeDb());
        q.prepare("INSERT INTO RECIPE (id, type, title, category, private) VALUES "
                  "(?, 'F', ?, ?, 0)");
        q.addBindValue(id);
        q.addBindValue(title);
        q.addBindValue(category);
        return q.exec();
    }
    bool start()
    {
        return c->session.Start() &&
               QTest::qWaitFor([&] { return c->members.MyMemberNode.isValid(); }, kWait);
    }
    // Frames this client sent, from its log.
    int sentFrames() const { return int(c->log().count("Client - Sending Data")); }

    BrowseTree &tree() { return c->session.tree; }
    QModelIndex child(const QModelIndex &parent, const QString &text)
    {
        const auto &m = tree().tvUsers;
        for (int r = 0; r < m.rowCount(parent); ++r)
            if (m.index(r, 0, parent).data().toString() == text)
                return m.index(r, 0, parent);
        return {};
    }
    QStringList children(const QModelIndex &parent)
    {
        QStringList t;
        for (int r = 0; r < tree().tvUsers.rowCount(parent); ++r)
            t << tree().tvUsers.index(r, 0, parent).data().toString();
        return t;
    }
    void click(const QModelIndex &node)
    {
        Browser &b = c->session.browser;
        tree().tvUsersSelection.setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
        b.tvUsers_MouseDown(Browser::LeftButton);
        b.tvUsers_NodeClick(node);
        b.tvUsers_MouseUp(Browser::LeftButton);
    }
    // Clicks and waits for the node's children.
    QStringList open(const QModelIndex &node)
    {
        const QPersistentModelIndex n(node);
        click(node);
        (void)QTest::qWaitFor([&] { return tree().tvUsers.rowCount(n) > 0; }, kWait);
        return children(n);
    }

    std::unique_ptr<TestClient> c;
    std::unique_ptr<RecipeDatabase> db;
};

// The letter-group labels of Bert's list, as Anna's tree shows them.
QStringList Labels(const QString &list, const AppState &app)
{
    QStringList labels;
    const QStringList items = list.isEmpty() ? QStringList() : list.split(app.ListSep);
    for (const QString &item : items) {
        const QStringList f = item.split(app.FieldSep);
        labels << Browser::LetterGroupText(f[0], f[1], f[2], items.size());
    }
    return labels;
}

} // namespace

class TestBrowsing : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();
    void otherMemberDownToThePreview();
    void ownMemberWithoutMessages();
    void replyForRemovedNodeAddsNothing();
    void twoClicksGiveTheGroupsTwice();
    void excludeMultiCategories();
    void letterGroupLabels_data();
    void letterGroupLabels();
    void resetEmptiesTheBox();

  private:
    QModelIndex bertNode();
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<Member> anna_, bert_;
};

void TestBrowsing::initTestCase()
{
    server_ = std::make_unique<ServerProcess>();
    QVERIFY(server_->start());
    bert_ = std::make_unique<Member>(*server_, "Bert");
    QVERIFY(bert_->open(80));
    QVERIFY(AddCornBread(bert_->db->RecipeDb(), kCornBreadId));
    QVERIFY(bert_->add(600, "Beef Wellington", "Beef,Main Dishes"));
    QVERIFY(bert_->add(601, "Apple Pie", "Single"));
    QVERIFY(bert_->add(602, "Apple Tart", "Single"));
    for (int i = 0; i < 60; ++i) {
        QVERIFY(bert_->add(700 + i, "Apple " + QString::number(100 + i), "Triple"));
        if (i < 30)
            QVERIFY(bert_->add(800 + i, "Apple " + QString::number(100 + i), "Double"));
    }
    anna_ = std::make_unique<Member>(*server_, "Anna");
    QVERIFY(anna_->open(40));
    anna_->c->enableLog();
    QVERIFY(bert_->start());
    QVERIFY(anna_->start());
    QTRY_COMPARE_WITH_TIMEOUT(anna_->tree().tvUsers.rowCount(), 2, kWait);
}

void TestBrowsing::cleanupTestCase()
{
    anna_.reset();
    bert_.reset();
    server_.reset();
}

QModelIndex TestBrowsing::bertNode()
{
    return anna_->child(QModelIndex(), "Bert");
}

void TestBrowsing::otherMemberDownToThePreview()
{
    Member &a = *anna_;
    const QModelIndex bert = bertNode();
    QVERIFY(bert.isValid());
    QCOMPARE(a.open(bert), (QStringList{"Food", "Drink", "Other"}));
    QCOMPARE(a.c->session.profile.Text(0), "Bert");
    QCOMPARE(a.c->session.profile.Text(1), bert_->c->app.MyUserKey);

    const QModelIndex food = a.child(bert, "Food");
    const QString categories = ListCategories(*bert_->db, "Food", false);
    QCOMPARE(a.open(food), categories.split(a.c->app.ListSep));

    const QModelIndex breads = a.child(food, "Breads");
    QVERIFY(breads.isValid());
    const QStringList groups = a.open(breads);
    QCOMPARE(groups, Labels(ListLetterGroups(*bert_->db, "Food", "Breads", false), a.c->app));

    // The group holding Corn Bread.
    QModelIndex corn;
    for (const QString &g : groups) {
        const QModelIndex group = a.child(breads, g);
        if (a.open(group).contains("Corn Bread (500)")) {
            corn = a.child(group, "Corn Bread (500)");
            break;
        }
    }
    QVERIFY(corn.isValid());
    a.click(corn);
    QTRY_COMPARE_WITH_TIMEOUT(a.c->session.storage.txtStoredRecipe(), "1/1", kWait);
    QCOMPARE(a.c->session.storage.txtPreview_0(), CornBreadPreview());
    QCOMPARE(a.c->session.storage.txtPreview_1(), CornBreadPreview());
    // Asked for by id and window 0; the answer carries that window section.
    QVERIFY(a.c->log().contains(QString("*~B~*107^").toUtf8()));
    QVERIFY(a.c->session.storage.StoredText(1).endsWith(a.c->app.ListSep + a.c->app.ListSep + "0"));
}

void TestBrowsing::ownMemberWithoutMessages()
{
    Member &a = *anna_;
    const QModelIndex me = a.c->members.MyMemberNode;
    const int before = a.sentFrames();
    QCOMPARE(a.open(me), (QStringList{"Food", "Drink", "Other"}));
    QVERIFY(a.c->members.IsLocalMember());
    const QModelIndex food = a.child(me, "Food");
    const QStringList categories = a.open(food);
    QCOMPARE(categories, ListCategories(*a.db, "Food", false).split(a.c->app.ListSep));
    const QModelIndex category = a.child(food, categories.first());
    const QStringList groups = a.open(category);
    QVERIFY(!groups.isEmpty());
    const QStringList recipes = a.open(a.child(category, groups.first()));
    QVERIFY(!recipes.isEmpty());
    const int stored = a.c->session.storage.StoredCount();
    a.click(a.child(a.child(category, groups.first()), recipes.first()));
    QCOMPARE(a.c->session.storage.StoredCount(), stored + 1);
    QCOMPARE(a.c->session.storage.txtPreview_0(),
             *FormatRecipe(*BrowsePreviewText(*a.db, RecipeIdFromText(recipes.first())), a.c->app));
    QTest::qWait(100);
    QCOMPARE(a.sentFrames(), before);
}

void TestBrowsing::replyForRemovedNodeAddsNothing()
{
    Member &a = *anna_;
    const QModelIndex bert = bertNode();
    QPersistentModelIndex drink = a.child(bert, "Drink");
    a.click(drink);
    // Removed before the answer can arrive.
    a.c->session.browser.mnuNodeDel_Click();
    QVERIFY(!drink.isValid());
    const int nodes = int(a.tree().AllNodes().size());
    // Bert answers in order: once Other is filled, Drink's answer has been dropped.
    const QStringList other = a.open(a.child(bert, "Other"));
    QCOMPARE(int(a.tree().AllNodes().size()), nodes + other.size());
    QCOMPARE(a.children(bert), (QStringList{"Food", "Other"}));
}

void TestBrowsing::twoClicksGiveTheGroupsTwice()
{
    Member &a = *anna_;
    const QModelIndex food = a.child(bertNode(), "Food");
    const QPersistentModelIndex soup = a.child(food, "Single");
    QVERIFY(soup.isValid());
    a.click(soup);
    a.click(soup);
    QTRY_COMPARE_WITH_TIMEOUT(a.tree().tvUsers.rowCount(soup), 2, kWait);
    QCOMPARE(a.children(soup), (QStringList{"1:    Appl", "1:    Appl"}));
}

void TestBrowsing::excludeMultiCategories()
{
    Member &a = *anna_;
    const QPersistentModelIndex food = a.child(bertNode(), "Food");
    QVERIFY(a.children(food).contains("Beef,Main Dishes"));
    a.c->app.Settings["EXCLUDEMULTICATEGORIES"] = "1";
    a.tree().tvUsersSelection.setCurrentIndex(food, QItemSelectionModel::ClearAndSelect);
    a.c->session.browser.mnuRefreshNode_Click();
    QTRY_VERIFY_WITH_TIMEOUT(a.tree().tvUsers.rowCount(food) > 0, kWait);
    QStringList expected = ListCategories(*bert_->db, "Food", false).split(a.c->app.ListSep);
    expected.removeIf([](const QString &c) { return c.contains(','); });
    QVERIFY(!expected.contains("Beef,Main Dishes"));
    QCOMPARE(a.children(food), expected);
    a.c->app.Settings["EXCLUDEMULTICATEGORIES"] = "0";
    a.c->session.browser.mnuRefreshNode_Click();
    QTRY_VERIFY_WITH_TIMEOUT(a.tree().tvUsers.rowCount(food) > 0, kWait);
    QVERIFY(a.children(food).contains("Beef,Main Dishes"));
}

void TestBrowsing::letterGroupLabels_data()
{
    QTest::addColumn<QString>("category");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("one group: no arrow") << "Single" << QStringList{"1:    Appl"};
    QTest::newRow("two groups: no arrow") << "Double" << QStringList{"1:    Appl", "2:    Appl"};
    QTest::newRow("three groups: the arrow")
        << "Triple"
        << QStringList{"1:    Appl -> Appl", "2:    Appl -> Appl", "3:    Appl -> Appl"};
}

void TestBrowsing::letterGroupLabels()
{
    QFETCH(QString, category);
    QFETCH(QStringList, labels);
    Member &a = *anna_;
    const QModelIndex node = a.child(a.child(bertNode(), "Food"), category);
    QVERIFY(node.isValid());
    a.tree().RemoveChildren(node);
    QCOMPARE(a.open(node), labels);
}

void TestBrowsing::resetEmptiesTheBox()
{
    Member &a = *anna_;
    StorageBox &box = a.c->session.storage;
    QVERIFY(box.StoredCount() > 0);
    a.c->connection.ResetZestrel();
    QCOMPARE(box.txtStoredRecipe(), "0/0");
    QCOMPARE(box.StoredCount(), 0);
    QCOMPARE(box.txtPreview_0(), QString());
    box.cmdNext_Click();
    QCOMPARE(box.txtStoredRecipe(), "0/0");
    QTRY_COMPARE_WITH_TIMEOUT(a.tree().tvUsers.rowCount(), 2, kWait);
}

QTEST_MAIN(TestBrowsing)
#include "tst_browsing.moc"
