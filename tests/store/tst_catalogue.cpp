// The in-memory catalogue behind the browse and search answers: its answers equal the
// database's on varied cookbooks, and it follows changes made by other connections.
#include "store/AnswerCatalogue.h"
#include "store/Answers.h"
#include "support/StoreFixture.h"

#include <QtTest>
#include <functional>

using namespace zestrel;
using zestrel::test::Line;
using zestrel::test::StoreFixture;

class TestCatalogue : public QObject
{
    Q_OBJECT
  private slots:
    void sameAnswersAsTheDatabase_data();
    void sameAnswersAsTheDatabase();
    void followsOtherConnections_data();
    void followsOtherConnections();
    void unusualValuesLeaveItToTheDatabase();
};

namespace
{

using Fill = std::function<void(StoreFixture &)>;

// One recipe with one ingredient line; on a database without the private column the
// recipe is simply shared.
void Add(StoreFixture &f, int id, const QString &type, const QString &title,
         const QString &category, bool isPrivate, const char *ingredient)
{
    if (f.db->HasPrivateColumn()) {
        f.addRecipe(id, type, title, category, isPrivate, {Line("1", "", ingredient)});
        return;
    }
    f.exec(QStringLiteral("INSERT INTO RECIPE (id, type, title, category) VALUES (?, ?, ?, ?)"),
           {id, type, title, category});
    f.exec(QStringLiteral("INSERT INTO INGREDIENTS (recipe_id, ingred_id, ingredient) VALUES "
                          "(?, 1, ?)"),
           {id, QString::fromUtf8(ingredient)});
}

void MixedCase(StoreFixture &f)
{
    const QStringList categories = {
        QStringLiteral("Beef"),    QStringLiteral("beef"),    QStringLiteral("BEEF, Main Dishes"),
        QStringLiteral("Éclairs"), QStringLiteral("éclairs"), QStringLiteral("Zucchini")};
    const QStringList titles = {QStringLiteral("apple"),     QStringLiteral("Apple"),
                                QStringLiteral("APPLE pie"), QStringLiteral("banana"),
                                QStringLiteral("Ärger"),     QStringLiteral("_under 50%"),
                                QStringLiteral("ämber"),     QStringLiteral("Zest")};
    for (int i = 0; i < 70; ++i)
        f.addRecipe(i + 1, i % 5 == 4 ? QStringLiteral("D") : QStringLiteral("F"),
                    titles[i % titles.size()] + QString::number(i % 3),
                    categories[(i * 7) % categories.size()], false,
                    {Line("1", "cup", i % 2 ? "Garlic cloves" : "gInGeR ale"),
                     Line("2", "", i % 3 ? "crème fraîche" : "Rice")});
}

void Blanks(StoreFixture &f)
{
    const QStringList categories = {QString(),
                                    QStringLiteral(""),
                                    QStringLiteral(" "),
                                    QStringLiteral("   "),
                                    QStringLiteral("<UNCATEGORIZED>"),
                                    QStringLiteral(" Beef "),
                                    QStringLiteral("Beef")};
    for (int i = 0; i < 60; ++i)
        Add(f, i + 1, QStringLiteral("F"), i % 9 ? QStringLiteral("T%1").arg(i % 13) : QString(),
            categories[i % categories.size()], i % 11 == 0, i % 2 ? "salt" : "beef stock");
}

void Private(StoreFixture &f)
{
    for (int i = 0; i < 80; ++i)
        f.addRecipe(i + 1, QStringLiteral("F"), QStringLiteral("Stew %1").arg(80 - i),
                    i % 2 ? QStringLiteral("Beef") : QStringLiteral("Pork"), i % 3 == 0,
                    {Line("1", "", "garlic")});
}

} // namespace

void TestCatalogue::sameAnswersAsTheDatabase_data()
{
    QTest::addColumn<Fill>("fill");
    QTest::addColumn<QString>("firstNew");
    QTest::addColumn<bool>("privateColumn");
    QTest::newRow("mixed case") << Fill(MixedCase) << "1" << true;
    QTest::newRow("blank and uncategorized") << Fill(Blanks) << "1" << true;
    QTest::newRow("private recipes") << Fill(Private) << "1" << true;
    QTest::newRow("new recipes only") << Fill(MixedCase) << "31" << true;
    QTest::newRow("private, new only") << Fill(Private) << "41" << true;
    QTest::newRow("database without private column") << Fill(Blanks) << "1" << false;
}

void TestCatalogue::sameAnswersAsTheDatabase()
{
    QFETCH(Fill, fill);
    QFETCH(QString, firstNew);
    QFETCH(bool, privateColumn);
    StoreFixture f(true, privateColumn);
    f.open();
    f.app.FirstNewRecipeId = firstNew;
    f.exec(QStringLiteral("BEGIN"));
    fill(f);
    f.exec(QStringLiteral("COMMIT"));
    f.app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
    QVERIFY(f.db->Catalogue().Current());

    // Every answer twice: from the catalogue, then from the database alone.
    QStringList fromCatalogue, fromDatabase;
    const auto both = [&](const std::function<QString()> &answer) {
        f.db->Catalogue().enabled = true;
        fromCatalogue << answer();
        f.db->Catalogue().enabled = false;
        fromDatabase << answer();
    };
    const QStringList categories = {QStringLiteral("Beef"),
                                    QStringLiteral("beef"),
                                    QStringLiteral("É"),
                                    QStringLiteral("<UNCATEGORIZED>"),
                                    QStringLiteral(" <UNCATEGORIZED> "),
                                    QStringLiteral("Main"),
                                    QStringLiteral(""),
                                    QStringLiteral("e%f"),
                                    QStringLiteral("B_ef"),
                                    QStringLiteral("Nowhere"),
                                    QString()};
    for (const QString type : {"Food", "Drink", "Other", ""})
        for (bool all : {true, false}) {
            both([&] { return ListCategories(*f.db, type, all); });
            for (const QString &c : categories) {
                both([&] { return ListLetterGroups(*f.db, type, c, all); });
                for (const QString group : {"1", "2", " 3 x", "99", "x", "0"})
                    both([&] { return ListGroupRecipes(*f.db, type, c, group, all); });
            }
        }
    const QStringList texts = {QString(),
                               QStringLiteral("APPLE"),
                               QStringLiteral("apple"),
                               QStringLiteral("ä"),
                               QStringLiteral("garlic"),
                               QStringLiteral("ale"),
                               QStringLiteral("%"),
                               QStringLiteral("e_"),
                               QStringLiteral("T1"),
                               QStringLiteral("beef"),
                               QStringLiteral("Fraîche")};
    for (const QString &title : texts)
        for (const QString &ingredient : texts)
            for (const QString &category : {texts[0], texts[9], texts[3]})
                for (bool all : {true, false})
                    for (qsizetype stop : {qsizetype(-1), qsizetype(kSearchAnswerLimit)})
                        both([&] {
                            return SearchRecipes(*f.db, title, ingredient, all, category, stop);
                        });
    for (qsizetype i = 0; i < fromCatalogue.size(); ++i)
        QCOMPARE(fromCatalogue[i], fromDatabase[i]);
    // Nothing hides behind empty lists: many answers have something in them.
    QVERIFY2(fromCatalogue.size() - fromCatalogue.count(QString()) > 100,
             qPrintable(QString::number(fromCatalogue.count(QString()))));
}

void TestCatalogue::followsOtherConnections_data()
{
    QTest::addColumn<qsizetype>("backgroundFrom");
    QTest::newRow("built at once") << qsizetype(1000);
    QTest::newRow("built on its own thread") << qsizetype(0);
}

void TestCatalogue::followsOtherConnections()
{
    QFETCH(qsizetype, backgroundFrom);
    StoreFixture f;
    f.open();
    f.db->Catalogue().backgroundFrom = backgroundFrom;
    f.addRecipe(1, QStringLiteral("F"), QStringLiteral("Beef Stew"));
    f.addRecipe(2, QStringLiteral("F"), QStringLiteral("Chili"));
    const QString fs = f.app.FieldSep, ls = f.app.ListSep;
    const auto recipes = [&] {
        return ListGroupRecipes(*f.db, QStringLiteral("Food"), QStringLiteral("Beef"),
                                QStringLiteral("1"), true);
    };
    QCOMPARE(recipes(), "1" + fs + "Beef Stew" + ls + "2" + fs + "Chili");
    QVERIFY(f.db->Catalogue().WaitUntilCurrent(10000));

    // The recipe manager, on a connection of its own, adds one recipe and removes another.
    {
        QSqlDatabase other =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("recipe-manager"));
        other.setDatabaseName(f.dir.filePath(QStringLiteral("cookbook.db")));
        QVERIFY(other.open());
        QSqlQuery q(other);
        QVERIFY(q.exec(QStringLiteral("INSERT INTO RECIPE (id, type, title, category, private) "
                                      "VALUES (3, 'F', 'apple beef', 'Beef', 0)")));
        QVERIFY(q.exec(QStringLiteral("INSERT INTO INGREDIENTS (recipe_id, ingred_id, "
                                      "ingredient) VALUES (3, 1, 'Paprika')")));
        QVERIFY(q.exec(QStringLiteral("DELETE FROM RECIPE WHERE id = 2")));
        q.finish();
        other.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("recipe-manager"));

    // Seen at the next answer, from the database until the catalogue has caught up.
    const QString expected = "3" + fs + "apple beef" + ls + "1" + fs + "Beef Stew";
    QCOMPARE(recipes(), expected);
    QVERIFY(f.db->Catalogue().WaitUntilCurrent(10000));
    QCOMPARE(recipes(), expected);
    QCOMPARE(SearchRecipes(*f.db, QString(), QStringLiteral("PAPRIKA"), true, QString()),
             f.app.MyUserKey + f.app.ArgSep + "3" + f.app.ArgSep + "apple beef");
    QCOMPARE(SearchRecipes(*f.db, QStringLiteral("Chili"), QString(), true, QString()), QString());
}

void TestCatalogue::unusualValuesLeaveItToTheDatabase()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, QStringLiteral("F"), QStringLiteral("Beef Stew"));
    f.exec(QStringLiteral("INSERT INTO RECIPE (id, type, title, category, private) VALUES "
                          "(2, 'F', X'41', 'Beef', 0)"));
    QVERIFY(!f.db->Catalogue().Current());
    const QString fs = f.app.FieldSep, ls = f.app.ListSep;
    QCOMPARE(ListGroupRecipes(*f.db, QStringLiteral("Food"), QStringLiteral("Beef"),
                              QStringLiteral("1"), true),
             "1" + fs + "Beef Stew" + ls + "2" + fs + "A"); // a blob sorts after text
    // Once the odd value is gone, the catalogue answers again.
    f.exec(QStringLiteral("DELETE FROM RECIPE WHERE id = 2"));
    QVERIFY(f.db->Catalogue().Current());
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
