// The browse tree's rules without a connection: which node click sends
// which request with which payload, what each reply adds, the menu, the folding
// buttons, the selected-member panel and the keyboard brake.
#include "support/BrowseFixture.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <functional>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

// bob's tree down to a letter group: member, Food, Beef, the group "1:    Appl".
struct Walked {
    explicit Walked(BrowseStack &s)
    {
        s.app.Settings["ALLRECIPES"] = "0";
        s.list({"bob", "carol"});
        bob = s.member("bob");
        s.click(bob);
        food = s.child(bob, "Food");
        s.click(food);
        s.browser.ProcessCategories(s.reply({"Beef", "Soup"}, BrowseTree::NodeKey(food)));
        beef = s.child(food, "Beef");
        s.click(beef);
        s.browser.ProcessRecipeLetters(s.reply(
            {"Appl" + s.app.FieldSep + "Appl" + s.app.FieldSep + "1"}, BrowseTree::NodeKey(beef)));
        group = s.child(beef, "1:    Appl");
        s.sender.sent.clear();
    }
    QPersistentModelIndex bob, food, beef, group;
};

} // namespace

class TestBrowser : public QObject
{
    Q_OBJECT
  private slots:
    void memberNodeAddsTypesWithoutTraffic();
    void requests_data();
    void requests();
    void twoClicksBeforeTheAnswer();
    void excludeMultiCategories_data();
    void excludeMultiCategories();
    void letterGroupsInTree_data();
    void letterGroupsInTree();
    void recipeNodeText();
    void brokenItemEndsTheReader();
    void replyForRemovedNodeAddsNothing();
    void rightClickOnlyOpensTheMenu();
    void removeSubNodesActsOnOwnChildren();
    void refreshNodeAsksAgain();
    void folding_data();
    void folding();
    void autoExpand();
    void memberPanel_data();
    void memberPanel();
    void resetBrowseWindow();
    void brakeSwallowsWithoutNesting();
    void brakeLetsAboutTwoRequestsASecond();
};

void TestBrowser::memberNodeAddsTypesWithoutTraffic()
{
    BrowseStack s;
    s.list({"bob"});
    const QModelIndex bob = s.member("bob");
    s.click(bob);
    QCOMPARE(s.children(bob), (QStringList{"Food", "Drink", "Other"}));
    for (int r = 0; r < 3; ++r)
        QVERIFY(BrowseTree::NodeKey(s.tree.tvUsers.index(r, 0, bob)).startsWith('T'));
    s.click(bob);
    QCOMPARE(s.children(bob).size(), 3);
    QVERIFY(s.sender.sent.isEmpty());
}

void TestBrowser::requests_data()
{
    QTest::addColumn<QString>("level");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("payload"); // '|' FieldSep, '^' ArgSep; KEY the node's key
    QTest::newRow("type") << "T" << 111 << "Food^KEY^0";
    QTest::newRow("category") << "C" << 119 << "Food^Beef^KEY^0";
    QTest::newRow("letter group") << "L" << 113 << "Food|Beef|1:    Appl^KEY^0";
    QTest::newRow("recipe") << "R" << 107 << "42|0";
}

void TestBrowser::requests()
{
    QFETCH(QString, level);
    QFETCH(int, code);
    QFETCH(QString, payload);
    BrowseStack s;
    Walked w(s);
    QModelIndex node = level == "T" ? w.food : level == "C" ? w.beef : w.group;
    if (level == "T") {
        s.tree.RemoveChildren(w.food);
    } else if (level == "C") {
        s.tree.RemoveChildren(w.beef);
    } else if (level == "R") {
        s.browser.ProcessRecipes(
            s.reply({"42" + s.app.FieldSep + "Corn Bread"}, BrowseTree::NodeKey(w.group)));
        node = s.child(w.group, "Corn Bread (42)");
    }
    s.sender.sent.clear();
    s.click(node);
    QCOMPARE(s.sender.codes(), QList<int>{code});
    const SentMessage &m = s.sender.sent[0];
    QCOMPARE(m.source, s.app.MyUserKey);
    QCOMPARE(m.destination, s.Key("10.0.0.2", "bob", "2"));
    payload.replace("KEY", BrowseTree::NodeKey(node))
        .replace('|', s.app.FieldSep)
        .replace('^', s.app.ArgSep);
    QCOMPARE(m.payload, payload);
}

void TestBrowser::twoClicksBeforeTheAnswer()
{
    BrowseStack s;
    Walked w(s);
    s.tree.RemoveChildren(w.beef);
    s.click(w.beef);
    s.click(w.beef);
    QCOMPARE(s.sender.codes(), (QList<int>{119, 119}));
    const QString fs = s.app.FieldSep;
    const QString reply = s.reply({"A" + fs + "B" + fs + "1", "C" + fs + "D" + fs + "2"},
                                  BrowseTree::NodeKey(w.beef));
    s.browser.ProcessRecipeLetters(reply);
    s.browser.ProcessRecipeLetters(reply);
    QCOMPARE(s.children(w.beef),
             (QStringList{"1:    A -> B", "2:    C -> D", "1:    A -> B", "2:    C -> D"}));
}

void TestBrowser::excludeMultiCategories_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QStringList>("nodes");
    QTest::newRow("off") << "0" << QStringList{"Beef", "Beef,Main Dishes", "Soup"};
    QTest::newRow("empty is off") << "" << QStringList{"Beef", "Beef,Main Dishes", "Soup"};
    QTest::newRow("on") << "1" << QStringList{"Beef", "Soup"};
    QTest::newRow("any number but 0 is on") << "-1" << QStringList{"Beef", "Soup"};
}

void TestBrowser::excludeMultiCategories()
{
    QFETCH(QString, setting);
    QFETCH(QStringList, nodes);
    BrowseStack s;
    Walked w(s);
    s.app.Settings["EXCLUDEMULTICATEGORIES"] = setting;
    const QModelIndex drink = s.child(w.bob, "Drink");
    const qint64 before = s.tree.NodeCounter;
    s.browser.ProcessCategories(
        s.reply({"Beef", "Beef,Main Dishes", "Soup"}, BrowseTree::NodeKey(drink)));
    QCOMPARE(s.children(drink), nodes);
    // Skipped combinations take no number.
    QCOMPARE(s.tree.NodeCounter - before, nodes.size());
    QCOMPARE(BrowseTree::NodeKey(s.tree.tvUsers.index(nodes.size() - 1, 0, drink)),
             "C" + QString::number(s.tree.NodeCounter - 1));
}

void TestBrowser::letterGroupsInTree_data()
{
    QTest::addColumn<int>("items");
    QTest::addColumn<QString>("firstText");
    QTest::newRow("one item: no arrow") << 1 << "1:    Appl";
    QTest::newRow("two items: no arrow") << 2 << "1:    Appl";
    QTest::newRow("three items: the arrow") << 3 << "1:    Appl -> Appl";
}

void TestBrowser::letterGroupsInTree()
{
    QFETCH(int, items);
    QFETCH(QString, firstText);
    BrowseStack s;
    Walked w(s);
    const QModelIndex soup = s.child(w.food, "Soup");
    QStringList list;
    for (int i = 1; i <= items; ++i)
        list << "Appl" + s.app.FieldSep + "Appl" + s.app.FieldSep + QString::number(i);
    s.browser.ProcessRecipeLetters(s.reply(list, BrowseTree::NodeKey(soup)));
    QCOMPARE(s.children(soup).size(), items);
    QCOMPARE(s.children(soup).value(0), firstText);
    QVERIFY(BrowseTree::NodeKey(s.tree.tvUsers.index(0, 0, soup)).startsWith('L'));
}

void TestBrowser::recipeNodeText()
{
    BrowseStack s;
    Walked w(s);
    const QString fs = s.app.FieldSep;
    s.browser.ProcessRecipes(s.reply({"42" + fs + "Corn Bread", "7" + fs + "Chili (Texas)"},
                                     BrowseTree::NodeKey(w.group)));
    QCOMPARE(s.children(w.group), (QStringList{"Corn Bread (42)", "Chili (Texas) (7)"}));
    QVERIFY(BrowseTree::NodeKey(s.tree.tvUsers.index(0, 0, w.group)).startsWith('R'));
    // An empty list adds nothing.
    s.browser.ProcessRecipes(s.reply({}, BrowseTree::NodeKey(w.beef)));
    QCOMPARE(s.children(w.beef).size(), 1);
}

void TestBrowser::brokenItemEndsTheReader()
{
    BrowseStack s;
    Walked w(s);
    const QString fs = s.app.FieldSep;
    s.browser.ProcessRecipes(
        s.reply({"1" + fs + "A", "no title", "3" + fs + "C"}, BrowseTree::NodeKey(w.group)));
    QCOMPARE(s.children(w.group), QStringList{"A (1)"});
}

void TestBrowser::replyForRemovedNodeAddsNothing()
{
    BrowseStack s;
    Walked w(s);
    const QString key = BrowseTree::NodeKey(w.food);
    const QModelIndex drink = s.child(w.bob, "Drink");
    s.tree.tvUsersSelection.setCurrentIndex(w.food, QItemSelectionModel::ClearAndSelect);
    s.browser.mnuNodeDel_Click();
    QVERIFY(!w.food.isValid());
    const int nodes = int(s.tree.AllNodes().size());
    const qint64 counter = s.tree.NodeCounter;
    s.browser.ProcessCategories(s.reply({"Beef", "Soup"}, key));
    QCOMPARE(int(s.tree.AllNodes().size()), nodes);
    QCOMPARE(s.tree.NodeCounter, counter);
    QCOMPARE(s.children(drink), QStringList{});
    // The directory keeps a removed member node's member.
    QCOMPARE(s.members.OnlineUsers.Count(), 3);
}

void TestBrowser::rightClickOnlyOpensTheMenu()
{
    BrowseStack s;
    Walked w(s);
    QList<bool> enabledWhileShown;
    s.browser.PopupBrowseMenu = [&] { enabledWhileShown << s.browser.SubNodeDelEnabled(); };
    const QModelIndex soup = s.child(w.food, "Soup");
    for (const QModelIndex &node : {soup, QModelIndex(w.food)}) {
        s.tree.tvUsersSelection.setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
        s.browser.tvUsers_MouseDown(Browser::RightButton);
        s.browser.tvUsers_NodeClick(node);
        s.browser.tvUsers_MouseUp(Browser::RightButton);
        QCOMPARE(s.browser.LastTreeButton, 0);
        QVERIFY(s.browser.SubNodeDelEnabled());
    }
    QVERIFY(s.sender.sent.isEmpty());
    QCOMPARE(enabledWhileShown, (QList<bool>{false, true}));
}

void TestBrowser::removeSubNodesActsOnOwnChildren()
{
    BrowseStack s;
    Walked w(s);
    const QModelIndex carol = s.member("carol");
    s.click(carol);
    const QModelIndex carolFood = s.child(carol, "Food");
    s.browser.ProcessCategories(s.reply({"Fish"}, BrowseTree::NodeKey(carolFood)));
    s.tree.tvUsersSelection.setCurrentIndex(w.food, QItemSelectionModel::ClearAndSelect);
    s.browser.mnuSubNodeDel_Click();
    QCOMPARE(s.children(w.food), QStringList{});
    QCOMPARE(s.children(carolFood), QStringList{"Fish"});
    QVERIFY(w.food.isValid());
}

void TestBrowser::refreshNodeAsksAgain()
{
    BrowseStack s;
    Walked w(s);
    s.tree.tvUsersSelection.setCurrentIndex(w.beef, QItemSelectionModel::ClearAndSelect);
    s.browser.LastTreeButton = Browser::RightButton; // chosen from the context menu
    s.browser.mnuRefreshNode_Click();
    QCOMPARE(s.children(w.beef), QStringList{});
    QCOMPARE(s.sender.codes(), QList<int>{119});
    QCOMPARE(s.children(w.food), (QStringList{"Beef", "Soup"}));
}

void TestBrowser::folding_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("expandedLevels"); // levels whose loaded nodes are open
    QTest::newRow("Users") << 0 << "L";
    QTest::newRow("Recipe Types") << 1 << "UL";
    QTest::newRow("Categories") << 2 << "UTL";
    QTest::newRow("Expand All") << 3 << "UTCL";
}

void TestBrowser::folding()
{
    QFETCH(int, button);
    QFETCH(QString, expandedLevels);
    BrowseStack s;
    Walked w(s);
    s.browser.cmdNodes_Click(button);
    for (const QModelIndex &node : s.tree.AllNodes()) {
        const QString key = BrowseTree::NodeKey(node);
        QCOMPARE(s.tree.IsExpanded(node), expandedLevels.contains(key.front()));
    }
}

void TestBrowser::autoExpand()
{
    BrowseStack s;
    s.list({"bob"});
    s.click(s.member("bob"));
    QVERIFY(!s.tree.IsExpanded(s.member("bob")));
    s.app.Settings["AUTOEXPANDNODES"] = "1";
    const QModelIndex food = s.child(s.member("bob"), "Food");
    s.click(food);
    // Also before the children arrived.
    QVERIFY(s.tree.IsExpanded(food));
}

void TestBrowser::memberPanel_data()
{
    QTest::addColumn<QString>("member");
    QTest::addColumn<QString>("allProfile");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QString>("label");
    QTest::newRow("other member, no profile data")
        << "bob"
        << "0" << QStringList{"bob", "KEY", "", ""} << QList<int>{} << "Preview";
    QTest::newRow("other member, profile data asked for")
        << "bob"
        << "1" << QStringList{"bob", "KEY", "", ""} << QList<int>{109} << "Selected User";
    QTest::newRow("own member shows its settings")
        << "me"
        << "1" << QStringList{"me", "KEY", "Cooks", "More"} << QList<int>{} << "Selected User";
}

void TestBrowser::memberPanel()
{
    QFETCH(QString, member);
    QFETCH(QString, allProfile);
    QFETCH(QStringList, boxes);
    QFETCH(QList<int>, codes);
    QFETCH(QString, label);
    BrowseStack s;
    s.app.Settings["GETALLPROFILEDATA"] = allProfile;
    s.app.Settings["DESCRIPTION"] = "Cooks";
    s.app.Settings["EXTENDED"] = "More";
    s.list({"bob"});
    // The panel starts on the own member; click another member first for the own one.
    if (member == "me")
        s.click(s.member("bob"));
    s.sender.sent.clear();
    s.click(s.member(member));
    boxes[1] = s.members.UserKeyForNode(BrowseTree::NodeKey(s.member(member)));
    for (int i = 0; i < 4; ++i)
        QCOMPARE(s.profile.Text(i), boxes[i]);
    QCOMPARE(s.sender.codes(), codes);
    if (!codes.isEmpty())
        QCOMPARE(s.sender.sent[0].payload, s.app.UserName);
    QCOMPARE(s.browser.lblProfile_0(), label);
    QCOMPARE(s.browser.ProfilePanelShown(), label == "Selected User");
}

void TestBrowser::resetBrowseWindow()
{
    BrowseStack s;
    Walked w(s);
    s.profile.SetText(2, "x");
    s.browser.mnuReset_Click();
    for (int i = 0; i < 4; ++i)
        QCOMPARE(s.profile.Text(i), QString());
    QVERIFY(s.tree.IsEmpty());
    QCOMPARE(s.members.OnlineUsers.Count(), 0);
    QCOMPARE(s.sender.codes(), QList<int>{3});
}

void TestBrowser::brakeSwallowsWithoutNesting()
{
    BrowseStack s;
    Walked w(s);
    const QModelIndex soup = s.child(w.food, "Soup");
    s.click(soup); // unloaded: the brake applies
    int nestedAnswers = 0, nestedCalls = 0;
    QTimer during;
    during.setInterval(5);
    QObject::connect(&during, &QTimer::timeout, [&] {
        ++nestedCalls;
        QVERIFY(s.browser.Braking());
        if (s.browser.tvUsers_KeyDown(Qt::Key_Down))
            ++nestedAnswers;
    });
    during.start();
    QVERIFY(s.browser.tvUsers_KeyDown(Qt::Key_Down));
    during.stop();
    QVERIFY(!s.browser.Braking());
    QVERIFY(nestedCalls > 0);
    QCOMPARE(nestedAnswers, nestedCalls);
    // After the half second the key passes; a loaded node never brakes.
    QVERIFY(!s.browser.tvUsers_KeyDown(Qt::Key_Down));
    s.click(w.beef);
    QVERIFY(!s.browser.tvUsers_KeyDown(Qt::Key_Down));
}

void TestBrowser::brakeLetsAboutTwoRequestsASecond()
{
    BrowseStack s;
    Walked w(s);
    // Forty unloaded categories; a held-down arrow key walks them.
    const QModelIndex drink = s.child(w.bob, "Drink");
    QStringList names;
    for (int i = 0; i < 40; ++i)
        names << "Cat" + QString::number(i);
    s.browser.ProcessCategories(s.reply(names, BrowseTree::NodeKey(drink)));
    s.click(s.tree.tvUsers.index(0, 0, drink));
    s.sender.sent.clear();

    int depth = 0, deepest = 0, keys = 0;
    bool holding = true;
    // Key auto-repeat every 20 ms; each key is its own event, so one arrives while the
    // brake waits (as queued key presses do).
    std::function<void()> press = [&] {
        if (!holding)
            return;
        QTimer::singleShot(20, &s.browser, press);
        ++keys;
        deepest = std::max(deepest, ++depth);
        if (!s.browser.tvUsers_KeyDown(Qt::Key_Down)) {
            // What the view does with a key that passes: move down and raise the click.
            const QModelIndex now = s.tree.tvUsersSelection.currentIndex();
            const QModelIndex next = now.sibling(now.row() + 1, 0);
            if (next.isValid()) {
                s.tree.tvUsersSelection.setCurrentIndex(next, QItemSelectionModel::ClearAndSelect);
                s.browser.tvUsers_NodeClick(next);
            }
        }
        --depth;
    };
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, &s.browser, press);
    QTest::qWait(2100);
    holding = false;
    const qint64 elapsed = clock.elapsed();
    const int requests = int(s.sender.sent.size());
    // About two a second: never more than one per half second, and keys mostly swallowed.
    QVERIFY2(requests >= 2, qPrintable(QString::number(requests)));
    QVERIFY2(requests <= elapsed / Browser::BrakeMilliseconds + 1,
             qPrintable(QStringLiteral("%1 requests in %2 ms").arg(requests).arg(elapsed)));
    QVERIFY2(keys > 3 * requests, qPrintable(QStringLiteral("%1 keys").arg(keys)));
    // A key during the wait is swallowed at once: the handlers nest one level at most.
    QVERIFY(deepest <= 2);
}

QTEST_GUILESS_MAIN(TestBrowser)
#include "tst_browser.moc"
