// Search with three whole clients on the real relay: who answers a search, the
// rows in arrival order and sorted, the last "(" rule, a long answer list, a
// result click, and the search model's own rules.
#include "NetMembers.h"

#include <QSignalSpy>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

// Rows of the list as the view shows them: "User|Title (ID)".
QStringList Shown(const SearchModel &s)
{
    QStringList rows;
    for (int r = 0; r < s.sortedResults.rowCount(); ++r)
        rows << s.sortedResults.index(r, SearchModel::UserColumn).data().toString() + "|" +
                    s.sortedResults.index(r, SearchModel::TitleColumn).data().toString();
    return rows;
}

QString Hit(const QString &owner, const QString &id, const QString &title)
{
    return wire::Encode(wire::SearchHit{owner, id, title});
}

QString Key(const QString &name, const QString &index = "1")
{
    return "10.0.0.9" + FS() + name + FS() + index;
}

} // namespace

class TestSearch : public QObject
{
    Q_OBJECT
  private slots:
    void criteriaLength_data();
    void criteriaLength();
    void resultRows();
    void lastParenthesis_data();
    void lastParenthesis();
    void malformedItemEndsMessage();
    void resultRowsBounded();
    void resetAndPreview();
    void searchAcrossMembers();
    void longAnswerList();
    void resultClickAsksOwner();
};

void TestSearch::criteriaLength_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("ingredient");
    QTest::addColumn<QString>("category");
    QTest::addColumn<bool>("sent");
    QTest::newRow("two letters in blanks") << "  ab  "
                                           << ""
                                           << "" << false;
    QTest::newRow("nothing") << ""
                             << ""
                             << "" << false;
    QTest::newRow("blanks only") << "   "
                                 << "  "
                                 << " " << false;
    QTest::newRow("three letters") << "abc"
                                   << ""
                                   << "" << true;
    QTest::newRow("two and one") << "ab"
                                 << ""
                                 << "c" << true;
    QTest::newRow("ingredient alone") << ""
                                      << "egg"
                                      << "" << true;
}

void TestSearch::criteriaLength()
{
    QFETCH(QString, title);
    QFETCH(QString, ingredient);
    QFETCH(QString, category);
    QFETCH(bool, sent);
    ServerProcess server;
    QVERIFY(StartRelay(server));
    NetMember a(server, "Anna");
    QVERIFY(a.signIn());
    QString received;
    a.session.dispatcher.Register(protocol::code::SearchRequest,
                                  [&](const QString &, const QString &p) { received = p; });
    SearchModel &s = a.session.search;
    s.SearchPause = 0.3;
    QSignalSpy focus(&s, &SearchModel::focusTitleRequested);
    s.SetData(0, title);
    s.SetData(1, ingredient);
    s.SetData(2, category);
    QCOMPARE(s.cmdSearch_Click(), sent);
    if (!sent) {
        QCOMPARE(focus.count(), 1);
        QCOMPARE(a.client->centerTitle(), QString("Error"));
        QVERIFY(a.client->centerText().contains("must be more than 2 characters"));
        QTest::qWait(300);
        QVERIFY(received.isEmpty());
        return;
    }
    // Sent as typed, with the ALLRECIPES flag third; the notice went away after the pause.
    QTRY_COMPARE_WITH_TIMEOUT(received, title + FS() + ingredient + FS() + "0" + FS() + category,
                              kNetWait);
    QVERIFY(!a.client->diag.messageCenter());
}

void TestSearch::resultRows()
{
    TestClient c("Anna");
    SearchModel &s = c.session.search;
    s.ProcessSearchResults(Hit(Key("Bob"), "3", "Apple Pie") + LS() +
                           Hit(Key("Bob"), "1", "Zucchini Bread"));
    s.ProcessSearchResults(Hit(Key("Al"), "7", "Beef Stew"));
    // Arrival order, each member's rows in its own order.
    QCOMPARE(Shown(s),
             QStringList({"Bob|Apple Pie (3)", "Bob|Zucchini Bread (1)", "Al|Beef Stew (7)"}));
    QCOMPARE(s.lvwResults.index(0, SearchModel::IpColumn).data().toString(),
             QString("10.0.0.9~@#@~Bob~@#@~1"));
    QCOMPARE(s.RowOwnerKey(0), Key("Bob"));
    QCOMPARE(s.SortColumn(), -1);
    // A header click sorts by that column, ascending.
    s.lvwResults_ColumnClick(SearchModel::UserColumn);
    QCOMPARE(Shown(s).first(), QString("Al|Beef Stew (7)"));
    s.lvwResults_ColumnClick(SearchModel::TitleColumn);
    QCOMPARE(Shown(s),
             QStringList({"Bob|Apple Pie (3)", "Al|Beef Stew (7)", "Bob|Zucchini Bread (1)"}));
    // Answers arriving while sorted are sorted in.
    s.ProcessSearchResults(Hit(Key("Cy"), "2", "Carrot Cake"));
    QCOMPARE(Shown(s).at(2), QString("Cy|Carrot Cake (2)"));
}

void TestSearch::lastParenthesis_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("id");
    QTest::newRow("plain") << "Soup"
                           << "12";
    QTest::newRow("title with a bracket") << "Soup (Cold)"
                                          << "12";
    QTest::newRow("blanks around the id") << "Stew"
                                          << " 4 ";
}

void TestSearch::lastParenthesis()
{
    QFETCH(QString, title);
    QFETCH(QString, id);
    TestClient c("Anna");
    c.session.search.ProcessSearchResults(Hit(Key("Bob"), id, title));
    QCOMPARE(c.session.search.RowRecipeId(0), id.trimmed());
}

void TestSearch::malformedItemEndsMessage()
{
    TestClient c("Anna");
    SearchModel &s = c.session.search;
    s.ProcessSearchResults(Hit(Key("Bob"), "1", "One") + LS() + "broken" + LS() +
                           Hit(Key("Bob"), "2", "Two"));
    QCOMPARE(Shown(s), QStringList({"Bob|One (1)"}));
}

void TestSearch::resultRowsBounded()
{
    TestClient c("Anna");
    SearchModel &s = c.session.search;
    QStringList items;
    for (int i = 0; i < SearchModel::kMaxResultRows + 500; ++i)
        items << Hit(Key("Bob"), QString::number(i), "Recipe " + QString::number(i));
    s.ProcessSearchResults(items.join(LS()));
    QCOMPARE(s.lvwResults.rowCount(), SearchModel::kMaxResultRows);
    // The earliest rows stay.
    QCOMPARE(s.RowRecipeId(SearchModel::kMaxResultRows - 1),
             QString::number(SearchModel::kMaxResultRows - 1));
    QVERIFY(c.diag.status.text().contains("limited to the first"));
    s.ProcessSearchResults(Hit(Key("Cy"), "1", "Late"));
    QCOMPARE(s.lvwResults.rowCount(), SearchModel::kMaxResultRows);
}

void TestSearch::resetAndPreview()
{
    TestClient c("Anna");
    SearchModel &s = c.session.search;
    s.SetData(0, "Soup");
    s.SetData(2, "Beef");
    s.ProcessSearchResults(Hit(Key("Bob"), "1", "One"));
    s.lvwResults_ColumnClick(0);
    QSignalSpy preview(&s, &SearchModel::previewTextChanged);
    s.setProperty("txtPreview_1", "Recipe text");
    QCOMPARE(preview.count(), 1);
    QCOMPARE(s.PreviewText(), QString("Recipe text"));
    s.ResetSearchWindow();
    QCOMPARE(s.Data(0), QString());
    QCOMPARE(s.Data(2), QString());
    QCOMPARE(s.lvwResults.rowCount(), 0);
    // Sorting and the preview stay as they were.
    QCOMPARE(s.SortColumn(), 0);
    QCOMPARE(s.PreviewText(), QString("Recipe text"));
    s.ShowPreviewText();
    QCOMPARE(c.centerText(), QString("Recipe text"));
    // A reset of the connection empties the list and the preview.
    s.ProcessSearchResults(Hit(Key("Bob"), "1", "One"));
    emit c.connection.viewsCleared();
    QCOMPARE(s.lvwResults.rowCount(), 0);
    QCOMPARE(s.PreviewText(), QString());
}

void TestSearch::searchAcrossMembers()
{
    ServerProcess server;
    QVERIFY(StartRelay(server));
    NetMember a(server, "Anna"), b(server, "Bob"), c(server, "Cleo");
    a.giveCookbook({{1, "Anna's Soup", "Soups"}});
    b.giveCookbook({{1, "Tomato Soup", "Soups"}, {2, "Onion Soup", "Soups"}, {3, "Bread", "B"}});
    c.giveCookbook({{5, "Soup (Cold)", "Soups"}});
    QVERIFY(SignInAll({&a, &b, &c}));
    SearchModel &s = a.session.search;
    s.SearchPause = 0.2;

    // The searcher's own client answers only with SELFSEARCH.
    s.SetData(0, "Soup");
    QVERIFY(s.cmdSearch_Click());
    QTRY_COMPARE_WITH_TIMEOUT(s.lvwResults.rowCount(), 3, kNetWait);
    QTest::qWait(300);
    QStringList rows = Shown(s);
    QCOMPARE(rows.size(), 3);
    QVERIFY(!rows.join(",").contains("Anna"));
    // Each member's rows together and in its title order.
    const QStringList bob{"Bob|Onion Soup (2)", "Bob|Tomato Soup (1)"};
    QVERIFY2(rows.mid(0, 2) == bob || rows.mid(1, 2) == bob, qPrintable(rows.join(",")));
    QVERIFY(rows.contains("Cleo|Soup (Cold) (5)"));
    const int cold = int(rows.indexOf("Cleo|Soup (Cold) (5)"));
    QCOMPARE(s.RowRecipeId(s.sortedResults.mapToSource(s.sortedResults.index(cold, 0)).row()),
             QString("5"));
    // A header click sorts all rows by user name.
    s.lvwResults_ColumnClick(SearchModel::UserColumn);
    QCOMPARE(Shown(s).last(), QString("Cleo|Soup (Cold) (5)"));

    a.setting("SELFSEARCH", "1");
    QVERIFY(s.cmdSearch_Click());
    QCOMPARE(s.SortColumn(), -1); // the next search switches sorting off
    QTRY_COMPARE_WITH_TIMEOUT(s.lvwResults.rowCount(), 4, kNetWait);
    QVERIFY(Shown(s).contains("Anna|Anna's Soup (1)"));

    // A member that does not allow searches sends nothing.
    c.setting("ALLOWSEARCHES", "0");
    QVERIFY(s.cmdSearch_Click());
    QTRY_COMPARE_WITH_TIMEOUT(s.lvwResults.rowCount(), 3, kNetWait);
    QTest::qWait(300);
    QVERIFY(!Shown(s).join(",").contains("Cleo"));
}

void TestSearch::longAnswerList()
{
    ServerProcess server;
    QVERIFY(StartRelay(server));
    NetMember a(server, "Anna"), b(server, "Bob");
    QList<std::tuple<qint64, QString, QString>> many;
    for (int i = 1; i <= 120; ++i)
        many.append({i, QString("Soup number %1").arg(i, 3, 10, QChar('0')), "Soups"});
    b.giveCookbook(many);
    QVERIFY(SignInAll({&a, &b}));
    SearchModel &s = a.session.search;
    s.SearchPause = 0.2;
    s.SetData(0, "Soup");
    QVERIFY(s.cmdSearch_Click());
    QTRY_VERIFY_WITH_TIMEOUT(s.lvwResults.rowCount() > 0, kNetWait);
    QTest::qWait(300);
    // 900 came first: its notice is shown, and only the whole items of the cut list.
    QCOMPARE(a.client->centerTitle(), QString("Search too generic"));
    QVERIFY(a.client->centerText().contains("too many results from user [Bob]!"));
    const int rows = s.lvwResults.rowCount();
    QVERIFY2(rows > 10 && rows < 120, qPrintable(QString::number(rows)));
    QCOMPARE(s.lvwResults.index(rows - 1, SearchModel::TitleColumn).data().toString(),
             QString("Soup number %1 (%2)").arg(rows, 3, 10, QChar('0')).arg(rows));
}

void TestSearch::resultClickAsksOwner()
{
    ServerProcess server;
    QVERIFY(StartRelay(server));
    NetMember a(server, "Anna"), b(server, "Bob");
    b.giveCookbook({{1, "Tomato Soup", "Soups"}, {2, "Onion Soup", "Soups"}});
    QVERIFY(SignInAll({&a, &b}));
    // The recipe reply (105) belongs to the preview; here it is only caught.
    QString source, recipe;
    a.session.dispatcher.Register(protocol::code::RecipeReply,
                                  [&](const QString &s, const QString &p) {
                                      source = s;
                                      recipe = p;
                                  });
    SearchModel &s = a.session.search;
    s.SearchPause = 0.2;
    QVERIFY(s.cmdSearch_Click() == false); // nothing typed yet
    s.SetData(0, "Soup");
    QVERIFY(s.cmdSearch_Click());
    QTRY_COMPARE_WITH_TIMEOUT(s.lvwResults.rowCount(), 2, kNetWait);
    s.lvwResults_ColumnClick(SearchModel::TitleColumn);
    QVERIFY(s.sortedResults.index(1, 2).data().toString().startsWith("Tomato Soup"));
    s.lvwResults_Click(s.sortedResults.index(1, SearchModel::UserColumn));
    QVERIFY(!s.LastClickTime.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!recipe.isEmpty(), kNetWait);
    QCOMPARE(source, b.app.MyUserKey);
    QVERIFY(recipe.contains("Tomato Soup"));
    QVERIFY(!recipe.contains("Onion Soup"));
    // The window part names the search preview.
    QVERIFY(recipe.endsWith(a.app.ListSep + a.app.ListSep + "1") || recipe.endsWith("1"));
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
