// Answers to other members: category, letter-group, recipe and search lists, the
// whole recipe and the profile, with their exact payloads.
#include "config/Ini.h"
#include "store/Answers.h"
#include "store/TransferText.h"
#include "support/StoreFixture.h"

#include <QtTest>

using namespace zestrel;
using zestrel::test::StoreFixture;

class TestAnswers : public QObject
{
    Q_OBJECT
  private slots:
    void sixtyRecipesInThreeGroups();
    void groupRecipes_data();
    void groupRecipes();
    void answersCarryNodeKey();
    void categoryCombinations();
    void uncategorized();
    void newRecipesOnly_data();
    void newRecipesOnly();
    void noNewRecipes();
    void privateRecipes_data();
    void privateRecipes();
    void privateRecipeNeverOffered_data();
    void privateRecipeNeverOffered();
    void oldDatabaseWithoutPrivateColumn();
    void readingOrder_data();
    void readingOrder();
    void categoryOnlySearch();
    void searchIgnoresCase_data();
    void searchIgnoresCase();
    void searchCutAtItemBoundary();
    void searchLimitBounds_data();
    void searchLimitBounds();
    void searchLimitCountsCharacters_data();
    void searchLimitCountsCharacters();
    void searchPermission_data();
    void searchPermission();
    void wholeRecipe();
    void missingRecipeIs901_data();
    void missingRecipeIs901();
    void profile();
    void flagTexts_data();
    void flagTexts();
    void withoutDatabase();
};

namespace
{

QString Item(const StoreFixture &f, const QStringList &fields)
{
    return fields.join(f.app.FieldSep);
}

// Recipes 1..n in category "Beef", titled "R01 Beef" .. so title order is id order.
void AddNumbered(StoreFixture &f, int n, const QString &category = QStringLiteral("Beef"))
{
    f.exec(QStringLiteral("BEGIN"));
    for (int i = 1; i <= n; ++i)
        f.addRecipe(i, QStringLiteral("F"),
                    QStringLiteral("R%1 Beef").arg(i, 2, 10, QLatin1Char('0')), category);
    f.exec(QStringLiteral("COMMIT"));
}

QString Recipes(const StoreFixture &f, int from, int to)
{
    QStringList items;
    for (int i = from; i <= to; ++i)
        items << Item(
            f, {QString::number(i), QStringLiteral("R%1 Beef").arg(i, 2, 10, QLatin1Char('0'))});
    return items.join(f.app.ListSep);
}

// A wire text written out: "|" stands for FieldSep, "#" for ListSep, "~" for ArgSep.
QString W(const StoreFixture &f, const QString &text)
{
    QString out;
    for (const QChar c : text)
        out += c == QLatin1Char('|')   ? f.app.FieldSep
               : c == QLatin1Char('#') ? f.app.ListSep
               : c == QLatin1Char('~') ? f.app.ArgSep
                                       : QString(c);
    return out;
}

// The fixture's own key as a search item begins with it.
const char *const kMyKey = "10.0.0.1|me|1";

QString Ids(const StoreFixture &f, const QString &list)
{
    QStringList ids;
    for (const QString &item : list.split(f.app.ListSep, Qt::SkipEmptyParts))
        ids << item.split(f.app.FieldSep).value(0);
    return ids.join(QLatin1Char(','));
}

} // namespace

void TestAnswers::sixtyRecipesInThreeGroups()
{
    StoreFixture f;
    f.open();
    AddNumbered(f, 60);
    const QString ls = f.app.ListSep;
    QCOMPARE(ListLetterGroups(*f.db, QStringLiteral("Food"), QStringLiteral("Beef"), true),
             Item(f, {"R01 ", "R25 ", "1"}) + ls + Item(f, {"R26 ", "R50 ", "2"}) + ls +
                 Item(f, {"R51 ", "R60 ", "3"}));
    // Exactly 25 recipes make one full group and no empty second one.
    StoreFixture g;
    g.open();
    AddNumbered(g, 25);
    QCOMPARE(ListLetterGroups(*g.db, QStringLiteral("Food"), QStringLiteral("Beef"), true),
             Item(g, {"R01 ", "R25 ", "1"}));
    QCOMPARE(ListLetterGroups(*g.db, QStringLiteral("Drink"), QStringLiteral("Beef"), true),
             QString());
}

void TestAnswers::groupRecipes_data()
{
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::newRow("1") << QStringLiteral("1") << 1 << 25;
    QTest::newRow("2") << QStringLiteral("2") << 26 << 50;
    QTest::newRow("3") << QStringLiteral("3") << 51 << 60;
    QTest::newRow("7 is beyond: last group") << QStringLiteral("7") << 51 << 60;
    QTest::newRow("0: last group") << QStringLiteral("0") << 51 << 60;
    QTest::newRow("no number: last group") << QStringLiteral("abc") << 51 << 60;
    QTest::newRow("node text") << QStringLiteral("  2 (R26 -R50 )") << 26 << 50;
    QTest::newRow("huge number") << QStringLiteral("99999999999999999999999") << 51 << 60;
}

void TestAnswers::groupRecipes()
{
    QFETCH(QString, group);
    QFETCH(int, from);
    QFETCH(int, to);
    StoreFixture f;
    f.open();
    AddNumbered(f, 60);
    QCOMPARE(ListGroupRecipes(*f.db, QStringLiteral("Food"), QStringLiteral("Beef"), group, true),
             Recipes(f, from, to));
}

void TestAnswers::answersCarryNodeKey()
{
    StoreFixture f;
    f.open();
    AddNumbered(f, 30);
    const QString as = f.app.ArgSep, fs = f.app.FieldSep, ls = f.app.ListSep;
    const QString requester = QStringLiteral("10.0.0.9") + fs + QStringLiteral("you") + fs + "4";

    QCOMPARE(AnswerCategories(*f.db, requester, QStringLiteral("Food") + as + "T7" + as + "1"),
             (Replies{{110, requester, QStringLiteral("Beef") + as + "T7"}}));
    QCOMPARE(AnswerLetterGroups(*f.db, requester,
                                QStringLiteral("Food") + as + "Beef" + as + "C12" + as + "1"),
             (Replies{{120, requester,
                       Item(f, {"R01 ", "R25 ", "1"}) + ls + Item(f, {"R26 ", "R30 ", "2"}) + as +
                           "C12"}}));
    QCOMPARE(
        AnswerGroupRecipes(*f.db, requester,
                           QStringLiteral("Food") + fs + "Beef" + fs + "2" + as + "L3" + as + "0"),
        (Replies{{112, requester, Recipes(f, 26, 30) + as + "L3"}}));
}

void TestAnswers::categoryCombinations()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "Pot Roast", "Beef, Main Dishes");
    f.addRecipe(2, "F", "Burgers", "Beef");
    f.addRecipe(3, "F", "Fried Chicken", "Chicken, Main Dishes");
    QCOMPARE(ListCategories(*f.db, QStringLiteral("Food"), true),
             QStringLiteral("Beef") + f.app.ListSep + "Beef, Main Dishes" + f.app.ListSep +
                 "Chicken, Main Dishes");
    QCOMPARE(Ids(f, ListGroupRecipes(*f.db, "Food", "Beef", "1", true)), QStringLiteral("2,1"));
    QCOMPARE(Ids(f, ListGroupRecipes(*f.db, "Food", "Main Dishes", "1", true)),
             QStringLiteral("3,1"));
}

void TestAnswers::uncategorized()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "Empty", "");
    f.addRecipe(2, "F", "Blank", "   ");
    f.exec(QStringLiteral("INSERT INTO RECIPE (id, type, title) VALUES (3, 'F', 'Null')"));
    f.addRecipe(4, "F", "Named", "Soups");
    const QString u = QStringLiteral("<UNCATEGORIZED>"), ls = f.app.ListSep;
    f.addRecipe(5, "F", "Tabbed", "\t");
    // Missing, empty and blank categories are listed once, and browsing that node finds
    // all of them.
    QCOMPARE(ListCategories(*f.db, "Food", true), u + ls + QStringLiteral("\t") + ls + "Soups");
    QCOMPARE(Ids(f, ListGroupRecipes(*f.db, "Food", u, "1", true)), QStringLiteral("2,1,3"));
    QCOMPARE(ListLetterGroups(*f.db, "Food", QStringLiteral(" ") + u + " ", true),
             Item(f, {"Blan", "Null", "1"}));
}

void TestAnswers::newRecipesOnly_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<QString>("categories");
    QTest::addColumn<QString>("ids");
    QTest::newRow("off") << QStringLiteral("0") << QStringLiteral("Beef") << QStringLiteral("1300");
    QTest::newRow("on") << QStringLiteral("1") << QStringLiteral("Beef|Old Beef")
                        << QStringLiteral("5,1300");
    QTest::newRow("absent") << QString() << QStringLiteral("Beef|Old Beef")
                            << QStringLiteral("5,1300");
}

void TestAnswers::newRecipesOnly()
{
    QFETCH(QString, flag);
    QFETCH(QString, categories);
    QFETCH(QString, ids);
    StoreFixture f;
    f.open();
    f.app.FirstNewRecipeId = QStringLiteral("1201");
    f.app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
    f.addRecipe(5, "F", "A Old Beef", "Old Beef");
    f.addRecipe(1300, "F", "C New Beef", "Beef");
    const QString as = f.app.ArgSep, fs = f.app.FieldSep;
    const QString tail = flag.isNull() ? QString() : as + flag;
    const Replies cats = AnswerCategories(*f.db, "peer", QStringLiteral("Food") + as + "T1" + tail);
    QCOMPARE(cats.size(), 1);
    QCOMPARE(cats[0].payload.split(as)[0].split(f.app.ListSep).join(QLatin1Char('|')), categories);
    const Replies groups = AnswerGroupRecipes(
        *f.db, "peer", QStringLiteral("Food") + fs + "Beef" + fs + "1" + as + "L1" + tail);
    QCOMPARE(groups.size(), 1);
    QCOMPARE(Ids(f, groups[0].payload.split(as)[0]), ids);
    const Replies found = AnswerSearch(
        *f.db, "peer", QStringLiteral("Beef") + fs + "" + (flag.isNull() ? QString() : fs + flag));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found[0].payload.count(f.app.ArgSep), ids.count(',') * 2 + 2);
}

void TestAnswers::noNewRecipes()
{
    StoreFixture f;
    f.open();
    f.app.FirstNewRecipeId = QStringLiteral("1201");
    AddNumbered(f, 3);
    QCOMPARE(ListCategories(*f.db, "Food", false), QStringLiteral("N/A - no new recipes"));
    QCOMPARE(ListCategories(*f.db, "Drink", true), QStringLiteral("N/A - no new recipes"));
    QCOMPARE(ListLetterGroups(*f.db, "Food", "Beef", false), QString());
}

void TestAnswers::privateRecipes_data()
{
    QTest::addColumn<bool>("ignorePrivate");
    QTest::newRow("private excluded") << false;
    // The private-recipe rule failed at start-up: private recipes stay private all the same.
    QTest::newRow("IgnorePrivate") << true;
}

void TestAnswers::privateRecipes()
{
    QFETCH(bool, ignorePrivate);
    StoreFixture f;
    f.open();
    f.app.IgnorePrivate = ignorePrivate;
    f.addRecipe(1, "F", "Public Stew", "Beef");
    f.addRecipe(2, "F", "Secret Stew", "Beef", true);
    f.addRecipe(3, "F", "Secret Pie", "Pies", true);
    QCOMPARE(Ids(f, ListGroupRecipes(*f.db, "Food", "Beef", "1", true)), QStringLiteral("1"));
    QCOMPARE(ListLetterGroups(*f.db, "Food", "Beef", true), Item(f, {"Publ", "Publ", "1"}));
    const QString search = SearchRecipes(*f.db, "Stew", "", true, "");
    QCOMPARE(search.count(QStringLiteral("Secret")), 0);
    // The category list does not consult the private column.
    QCOMPARE(ListCategories(*f.db, "Food", true), QStringLiteral("Beef") + f.app.ListSep + "Pies");
}

void TestAnswers::privateRecipeNeverOffered_data()
{
    // How the private-recipe rule ended at start-up: "pass", "too many" (the real check,
    // which shows "Too Many Private Recipes"), or "failed" (a count query failed otherwise;
    // start-up then sets IgnorePrivate as well).
    QTest::addColumn<QString>("rule");
    QTest::newRow("rule passed") << "pass";
    QTest::newRow("Too Many Private Recipes") << "too many";
    QTest::newRow("count query failed") << "failed";
}

void TestAnswers::privateRecipeNeverOffered()
{
    QFETCH(QString, rule);
    StoreFixture f;
    f.open();
    f.app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
    f.addRecipe(1, "F", "Open Stew", "Beef");
    f.addRecipe(2, "F", "Hidden Stew", "Beef", true);
    if (rule == QLatin1String("too many")) {
        f.addRecipe(3, "F", "Hidden Pie", "Beef", true);
        f.app.IgnorePrivate = !f.db->CheckPrivateRecipes();
        QCOMPARE(f.prompter.titles(), QStringList{"Too Many Private Recipes"});
        QVERIFY(f.app.IgnorePrivate);
    } else {
        f.app.IgnorePrivate = rule == QLatin1String("failed");
    }
    const QString fs = f.app.FieldSep;
    QCOMPARE(AnswerLetterGroups(*f.db, "peer", W(f, "Food~Beef~C1~1")),
             (Replies{{120, "peer", W(f, "Open|Open|1~C1")}}));
    QCOMPARE(AnswerGroupRecipes(*f.db, "peer", W(f, "Food|Beef|1~L1~1")),
             (Replies{{112, "peer", W(f, "1|Open Stew~L1")}}));
    QCOMPARE(AnswerSearch(*f.db, "peer", W(f, "Stew||1")),
             (Replies{{114, "peer", W(f, QString::fromLatin1(kMyKey) + "~1~Open Stew")}}));
    QCOMPARE(AnswerSearch(*f.db, "peer", W(f, "Hidden||1")), Replies{});
    // Ids are sequential: asking for each one must not reveal a private recipe.
    for (const char *id : {"2", "3"})
        QCOMPARE(AnswerRecipe(*f.db, "peer", QLatin1String(id) + fs + "0"),
                 (Replies{{901, "peer", QString()}}));
    QCOMPARE(AnswerRecipe(*f.db, "peer", QStringLiteral("1") + fs + "0").value(0).code, 105);
}

void TestAnswers::oldDatabaseWithoutPrivateColumn()
{
    StoreFixture f(true, false);
    f.open();
    f.exec(QStringLiteral("INSERT INTO RECIPE (id, type, title, category) VALUES "
                          "(1, 'F', 'Stew', 'Beef')"));
    QVERIFY(!f.db->CheckPrivateRecipes());
    QVERIFY(!f.db->HasPrivateColumn());
    f.app.IgnorePrivate = true;
    QCOMPARE(ListLetterGroups(*f.db, "Food", "Beef", true), Item(f, {"Stew", "Stew", "1"}));
    QCOMPARE(Ids(f, ListGroupRecipes(*f.db, "Food", "Beef", "1", true)), QStringLiteral("1"));
    QCOMPARE(SearchRecipes(*f.db, "stew", "", true, "").count(f.app.ArgSep), 2);
    // Nothing is private there: the whole recipe is answered.
    QCOMPARE(AnswerRecipe(*f.db, "peer", QStringLiteral("1") + f.app.FieldSep + "0").value(0).code,
             105);
}

void TestAnswers::readingOrder_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("expected");
    QTest::newRow("recipe list") << "recipes"
                                 << "4|apple pie#2|Apricot tart#1|banana bread#"
                                    "3|Zucchini loaf";
    QTest::newRow("letter groups") << "groups"
                                   << "appl|Zucc|1";
    QTest::newRow("search") << "search"
                            << "10.0.0.1|me|1~4~apple pie#10.0.0.1|me|1~2~Apricot tart#"
                               "10.0.0.1|me|1~1~banana bread#10.0.0.1|me|1~3~Zucchini loaf";
    // "Beef" and "beef" are one category, in the spelling that sorts first.
    QTest::newRow("categories") << "categories"
                                << "apples#Baking#Beef";
}

void TestAnswers::readingOrder()
{
    QFETCH(QString, list);
    QFETCH(QString, expected);
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "banana bread", "Baking");
    f.addRecipe(2, "F", "Apricot tart", "beef");
    f.addRecipe(3, "F", "Zucchini loaf", "Beef");
    f.addRecipe(4, "F", "apple pie", "apples");
    QString got;
    if (list == QLatin1String("recipes"))
        got = ListGroupRecipes(*f.db, "Food", "", "1", true);
    else if (list == QLatin1String("groups"))
        got = ListLetterGroups(*f.db, "Food", "", true);
    else if (list == QLatin1String("search"))
        got = SearchRecipes(*f.db, "", "", true, "");
    else
        got = ListCategories(*f.db, "Food", true);
    QCOMPARE(got, W(f, expected));
}

void TestAnswers::categoryOnlySearch()
{
    StoreFixture f;
    f.open();
    // No ingredients and no title: only a search without ingredient join and without
    // title clause can find it.
    f.exec(QStringLiteral("INSERT INTO RECIPE (id, type, category) VALUES (7, 'F', 'Soups')"));
    f.addRecipe(8, "D", "Tea", "Hot Drinks");
    const QString as = f.app.ArgSep;
    QCOMPARE(SearchRecipes(*f.db, "", "", true, "soup"), f.app.MyUserKey + as + "7" + as);
}

void TestAnswers::searchIgnoresCase_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("ingredient");
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("ids");
    QTest::newRow("title lower") << "beef"
                                 << ""
                                 << ""
                                 << "1";
    QTest::newRow("title upper") << "STEW"
                                 << ""
                                 << ""
                                 << "1,2";
    QTest::newRow("ingredient") << ""
                                << "GARLIC"
                                << ""
                                << "2";
    QTest::newRow("ingredient twice in one recipe") << ""
                                                    << "oni"
                                                    << ""
                                                    << "1";
    QTest::newRow("all three") << "stew"
                               << "Garlic"
                               << "lamb"
                               << "2";
    QTest::newRow("no match") << "stew"
                              << "garlic"
                              << "beef"
                              << "";
}

void TestAnswers::searchIgnoresCase()
{
    QFETCH(QString, title);
    QFETCH(QString, ingredient);
    QFETCH(QString, category);
    QFETCH(QString, ids);
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "BEEF Stew", "Beef", false,
                {{"1", "", "Onion", ""}, {"2", "", "green onion", ""}});
    f.addRecipe(2, "F", "Lamb stew", "Lamb", false, {{"2", "", "garlic cloves", ""}});
    QStringList got;
    for (const QString &item : SearchRecipes(*f.db, title, ingredient, true, category)
                                   .split(f.app.ListSep, Qt::SkipEmptyParts))
        got << item.split(f.app.ArgSep).value(1);
    QCOMPARE(got.join(QLatin1Char(',')), ids);
}

void TestAnswers::searchCutAtItemBoundary()
{
    StoreFixture f;
    f.open();
    f.app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
    const QString x20(20, QLatin1Char('x'));
    f.exec(QStringLiteral("BEGIN"));
    for (int i = 1; i <= 30; ++i)
        f.addRecipe(i, "F", QStringLiteral("Soup %1 ").arg(i, 2, 10, QLatin1Char('0')) + x20);
    f.exec(QStringLiteral("COMMIT"));
    // Items of 52 characters (ids 1-9) and 53 (ids 10-30), 3 between them: the ListSep
    // after item 18 ends at character 999, the one after item 19 at 1055.
    QStringList items;
    for (int i = 1; i <= 30; ++i)
        items << W(f, QString::fromLatin1(kMyKey) + "~" + QString::number(i) + "~Soup " +
                          QStringLiteral("%1 ").arg(i, 2, 10, QLatin1Char('0')) + x20);
    const QString full = SearchRecipes(*f.db, "soup", "", true, "");
    QCOMPARE(full, items.join(f.app.ListSep));
    const Replies replies = AnswerSearch(
        *f.db, "peer", QStringLiteral("soup") + f.app.FieldSep + "" + f.app.FieldSep + "1");
    QCOMPARE(replies.size(), 2);
    QCOMPARE(replies[0], (Reply{900, "peer", QString()}));
    QCOMPARE(replies[1].code, 114);
    QCOMPARE(replies[1].payload, items.mid(0, 18).join(f.app.ListSep));
    QCOMPARE(replies[1].payload.size(), 996);
    // Reading stops early but the first characters are the same.
    QCOMPARE(SearchRecipes(*f.db, "soup", "", true, "", 1000).left(1001), full.left(1001));

    // A result of at most 1000 characters goes whole, without 900.
    const Replies few = AnswerSearch(
        *f.db, "peer", QStringLiteral("Soup 0") + f.app.FieldSep + "" + f.app.FieldSep + "1");
    QCOMPARE(few, (Replies{{114, "peer", items.mid(0, 9).join(f.app.ListSep)}}));
}

void TestAnswers::searchLimitBounds_data()
{
    // Recipes "Soup k " padded with x to 98 characters (item 1 longer by `extra`), so
    // every item is 125 characters with its ListSep.
    QTest::addColumn<int>("recipes");
    QTest::addColumn<int>("extra");
    QTest::addColumn<int>("kept");
    QTest::addColumn<bool>("tooGeneric");
    QTest::newRow("1000 characters go whole") << 8 << 3 << 8 << false;
    QTest::newRow("1001 characters are cut") << 8 << 4 << 7 << true;
    QTest::newRow("ListSep ending at 1000 is inside") << 9 << 0 << 8 << true;
    QTest::newRow("ListSep ending at 1001 is outside") << 9 << 1 << 7 << true;
}

void TestAnswers::searchLimitBounds()
{
    QFETCH(int, recipes);
    QFETCH(int, extra);
    QFETCH(int, kept);
    QFETCH(bool, tooGeneric);
    StoreFixture f;
    f.open();
    f.app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
    QStringList items;
    for (int i = 1; i <= recipes; ++i) {
        const QString title = QStringLiteral("Soup %1 ").arg(i) +
                              QString(91 + (i == 1 ? extra : 0), QLatin1Char('x'));
        f.addRecipe(i, "F", title);
        items << W(f, QString::fromLatin1(kMyKey) + "~" + QString::number(i) + "~" + title);
    }
    Replies expected;
    if (tooGeneric)
        expected << Reply{900, "peer", QString()};
    expected << Reply{114, "peer", items.mid(0, kept).join(f.app.ListSep)};
    QCOMPARE(AnswerSearch(*f.db, "peer", W(f, "soup||1")), expected);
}

void TestAnswers::searchLimitCountsCharacters_data()
{
    QTest::addColumn<int>("recipes");
    QTest::addColumn<bool>("cut");
    // Each title is 35 characters but 65 UTF-16 units.
    QTest::newRow("996 characters go whole") << 16 << false;
    QTest::newRow("over 1000 characters are cut") << 30 << true;
}

void TestAnswers::searchLimitCountsCharacters()
{
    QFETCH(int, recipes);
    QFETCH(bool, cut);
    StoreFixture f;
    f.open();
    f.app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
    f.exec(QStringLiteral("BEGIN"));
    for (int i = 1; i <= recipes; ++i)
        f.addRecipe(i, "F", QStringLiteral("Soup ") + QString::fromUtf8("\U0001F372").repeated(30));
    f.exec(QStringLiteral("COMMIT"));
    const auto chars = [](const QString &s) { return s.toUcs4().size(); };
    const QString ls = f.app.ListSep;
    const QString full = SearchRecipes(*f.db, "soup", "", true, "");
    const QStringList items = full.split(ls);
    QCOMPARE(items.size(), recipes);
    // Whole items up to the last ListSep that ends within the first 1000 characters.
    QString expected = full;
    if (cut) {
        qsizetype k = 1;
        while (k < items.size() && chars(items.mid(0, k + 1).join(ls)) + ls.size() <= 1000)
            ++k;
        expected = items.mid(0, k).join(ls);
    }
    const Replies replies = AnswerSearch(
        *f.db, "peer", QStringLiteral("soup") + f.app.FieldSep + "" + f.app.FieldSep + "1");
    QCOMPARE(replies.size(), cut ? 2 : 1);
    if (cut)
        QCOMPARE(replies[0], (Reply{900, "peer", QString()}));
    QCOMPARE(replies.last().code, 114);
    QCOMPARE(replies.last().payload, expected);
    QVERIFY(chars(replies.last().payload) <= 1000);
}

void TestAnswers::searchPermission_data()
{
    QTest::addColumn<QString>("allow");
    QTest::addColumn<QString>("self");
    QTest::addColumn<bool>("fromSelf");
    QTest::addColumn<bool>("answered");
    QTest::newRow("allowed, other") << "1"
                                    << "0" << false << true;
    QTest::newRow("allowed, self, no selfsearch") << "1"
                                                  << "0" << true << false;
    QTest::newRow("allowed, self, selfsearch") << "1"
                                               << "1" << true << true;
    QTest::newRow("not allowed") << "0"
                                 << "1" << false << false;
    QTest::newRow("not allowed, missing") << ""
                                          << "1" << false << false;
    QTest::newRow("allowed as -1") << "-1"
                                   << "0" << false << true;
}

void TestAnswers::searchPermission()
{
    QFETCH(QString, allow);
    QFETCH(QString, self);
    QFETCH(bool, fromSelf);
    QFETCH(bool, answered);
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "Stew");
    f.app.Settings[QStringLiteral("ALLOWSEARCHES")] = allow;
    f.app.Settings[QStringLiteral("SELFSEARCH")] = self;
    const QString source = fromSelf ? f.app.MyUserKey : QStringLiteral("other");
    const Replies r = AnswerSearch(*f.db, source, QStringLiteral("stew") + f.app.FieldSep + "");
    QCOMPARE(r.size(), answered ? 1 : 0);
    if (answered)
        QCOMPARE(r[0].destination, source);
}

void TestAnswers::wholeRecipe()
{
    StoreFixture f;
    f.open();
    f.addRecipe(12, "F", "Soup (Cold)", "Soups", false, {{"1", "cup", "stock", "Pantry"}},
                {{"1", "Chill."}});
    const Replies r = AnswerRecipe(*f.db, "peer", QStringLiteral("12") + f.app.FieldSep + "1");
    QCOMPARE(r.size(), 1);
    QCOMPARE(r[0].code, 105);
    QCOMPARE(r[0].destination, QStringLiteral("peer"));
    QCOMPARE(r[0].payload, W(f, "F|Soup (Cold)|Soups|4|10 min|20 min|n|s|c|m##1|cup|stock|"
                                "Pantry##1|Chill.##1"));
    // The window value is returned as the request named it.
    QVERIFY(AnswerRecipe(*f.db, "peer", QStringLiteral("12") + f.app.FieldSep + "0")[0]
                .payload.endsWith(SectionSep(f.app) + "0"));
}

void TestAnswers::missingRecipeIs901_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("no row") << QStringLiteral("13");
    QTest::newRow("1 OR 1=1") << QStringLiteral("1 OR 1=1");
    QTest::newRow("text") << QStringLiteral("twelve");
    QTest::newRow("empty") << QString();
}

void TestAnswers::missingRecipeIs901()
{
    QFETCH(QString, id);
    StoreFixture f;
    f.open();
    f.addRecipe(12, "F", "Soup");
    QCOMPARE(AnswerRecipe(*f.db, "peer", id + f.app.FieldSep + "0"),
             (Replies{{901, "peer", QString()}}));
}

void TestAnswers::profile()
{
    StoreFixture f;
    f.app.Settings[QStringLiteral("DESCRIPTION")] =
        QStringLiteral("Line 1") + f.app.ListSep + "Line 2";
    f.app.Settings[QStringLiteral("EXTENDED")] = QStringLiteral("More");
    QCOMPARE(AnswerProfile(f.app, "peer"), (Replies{{106, "peer",
                                                     QStringLiteral("Line 1") + f.app.ListSep +
                                                         "Line 2" + f.app.FieldSep + "More"}}));
}

void TestAnswers::flagTexts_data()
{
    QTest::addColumn<QString>("flag");
    QTest::addColumn<int>("recipes"); // -1: no answer at all
    QTest::newRow("1") << "1" << 2;
    QTest::newRow("0") << "0" << 1;
    QTest::newRow("True") << "True" << 2;
    QTest::newRow("false") << "false" << 1;
    QTest::newRow("-1") << "-1" << 2;
    QTest::newRow("2.5") << "2.5" << 2;
    QTest::newRow("yes") << "yes" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestAnswers::flagTexts()
{
    QFETCH(QString, flag);
    QFETCH(int, recipes);
    StoreFixture f;
    f.open();
    f.app.FirstNewRecipeId = QStringLiteral("100");
    f.addRecipe(1, "F", "Old");
    f.addRecipe(100, "F", "New");
    const QString as = f.app.ArgSep;
    const Replies r = AnswerGroupRecipes(*f.db, "peer",
                                         QStringLiteral("Food") + f.app.FieldSep + "Beef" +
                                             f.app.FieldSep + "1" + as + "L1" + as + flag);
    if (recipes < 0) {
        QVERIFY(r.isEmpty());
        return;
    }
    QCOMPARE(r.size(), 1);
    QCOMPARE(r[0].payload.split(as)[0].split(f.app.ListSep).size(), recipes);
}

void TestAnswers::withoutDatabase()
{
    StoreFixture f(false);
    QVERIFY(WriteIniKey(f.app.SettingsFilePath, "FLAG", "NODBWARNING=YES"));
    f.db->OpenRecipeDatabase();
    QVERIFY(f.app.NoDatabase);
    f.app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
    const QString as = f.app.ArgSep, fs = f.app.FieldSep;
    QCOMPARE(AnswerCategories(*f.db, "peer", QStringLiteral("Food") + as + "T1" + as + "1"),
             (Replies{{110, "peer", QStringLiteral("N/A - user has no database!") + as + "T1"}}));
    QCOMPARE(AnswerLetterGroups(*f.db, "peer", QStringLiteral("Food") + as + "Beef" + as + "C1"),
             (Replies{{120, "peer", as + "C1"}}));
    QCOMPARE(AnswerGroupRecipes(*f.db, "peer",
                                QStringLiteral("Food") + fs + "Beef" + fs + "1" + as + "L1"),
             (Replies{{112, "peer", as + "L1"}}));
    QVERIFY(AnswerSearch(*f.db, "peer", QStringLiteral("stew") + fs + "" + fs + "1").isEmpty());
    // A whole recipe is "not found" at once, however often it is asked for, and shows
    // nothing in this member's message center.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(AnswerRecipe(*f.db, "peer", QStringLiteral("1") + fs + "0"),
                 (Replies{{901, "peer", QString()}}));
    QVERIFY(!f.diag.messageCenter());
}

QTEST_GUILESS_MAIN(TestAnswers)
#include "tst_answers.moc"
