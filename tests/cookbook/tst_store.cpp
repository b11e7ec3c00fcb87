// The Cookbook store on a real cookbook.db: new ids, validation, whole-recipe writes
// that either happen completely or not at all, the list and its filter.
#include "config/Ini.h"
#include "cookbook/Cookbook.h"
#include "cookbook/Schema.h"

#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;
using namespace zestrel::cookbook;

namespace
{

struct Fixture {
    QTemporaryDir dir;
    Cookbook book;

    explicit Fixture(const QString &maxRecipeId = QStringLiteral("0"), bool withPrivate = true)
    {
        if (withPrivate) {
            CreateCookbook(dir.path());
        } else {
            QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "old");
            raw.setDatabaseName(Cookbook::DatabasePath(dir.path()));
            raw.open();
            CreateSchema(raw, nullptr, false);
            raw.close();
            raw = QSqlDatabase();
            QSqlDatabase::removeDatabase("old");
        }
        WriteIniKey(Cookbook::IniPath(dir.path()), "Misc", "MaxRecipeID=" + maxRecipeId);
        QString error;
        if (!book.Open(dir.path(), &error))
            qFatal("%s", qPrintable(error));
    }

    void exec(const QString &sql)
    {
        QSqlQuery q(book.Database());
        if (!q.exec(sql))
            qFatal("%s: %s", qPrintable(sql), qPrintable(q.lastError().text()));
    }

    // Every row of the three tables, one a line.
    QString dump()
    {
        QString out;
        for (const char *sql :
             {"SELECT * FROM RECIPE ORDER BY id", "SELECT * FROM INGREDIENTS ORDER BY 1, 2",
              "SELECT * FROM DIRECTIONS ORDER BY 1, 2"}) {
            QSqlQuery q(book.Database());
            q.exec(QLatin1String(sql));
            while (q.next()) {
                QStringList fields;
                for (int i = 0; i < q.record().count(); ++i)
                    fields << q.value(i).toString();
                out += fields.join('|') + '\n';
            }
            out += "--\n";
        }
        return out;
    }
};

Recipe Full()
{
    Recipe r;
    r.type = "D";
    r.title = "Hot Spiced Cider";
    r.category = "Holiday, Punches";
    r.servings = "8";
    r.prepTime = "5 min";
    r.cookTime = "20 min";
    r.notes = "Keeps warm in a slow cooker.\r\nServe in mugs.";
    r.rating = "5";
    r.source = "Aunt May";
    r.cuisine = "American";
    r.misc = "Tested 3 times";
    r.isPrivate = true;
    r.ingredients = {{"2", "qt", "apple cider", "Drinks"},
                     {"", "", "For the spice bag:", ""},
                     {"3", "", "cinnamon sticks", "Spices"}};
    r.directions = {"Tie the spices in cheesecloth.", "Simmer with the cider for 20 minutes.",
                    "Remove the bag and serve."};
    return r;
}

Recipe Titled(const QString &title, const QString &type = "F", const QString &category = {},
              const QString &ingredient = {})
{
    Recipe r;
    r.type = type;
    r.title = title;
    r.category = category;
    if (!ingredient.isEmpty())
        r.ingredients = {{"1", "lb", ingredient, ""}};
    return r;
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT
  private slots:
    void newIds_data();
    void newIds();
    void validation_data();
    void validation();
    void saveLoadUpdate();
    void failedSaveChangesNothing_data();
    void failedSaveChangesNothing();
    void deleteRemovesEveryRow();
    void listAndFilter_data();
    void listAndFilter();
    void olderDatabaseWithoutPrivate();
    void lockedOrUnwritable();
};

void TestStore::newIds_data()
{
    QTest::addColumn<QString>("maxRecipeId");
    QTest::addColumn<QList<qint64>>("existing");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("empty cookbook") << "0" << QList<qint64>{} << qint64(1);
    QTest::newRow("empty, shipped recipes removed") << "99" << QList<qint64>{} << qint64(100);
    QTest::newRow("highest just below first new") << "10" << QList<qint64>{3, 10} << qint64(11);
    QTest::newRow("highest at first new") << "10" << QList<qint64>{3, 11} << qint64(12);
    QTest::newRow("highest far above") << "10" << QList<qint64>{500, 7} << qint64(501);
    QTest::newRow("no MaxRecipeID") << "" << QList<qint64>{4} << qint64(5);
}

void TestStore::newIds()
{
    QFETCH(QString, maxRecipeId);
    QFETCH(QList<qint64>, existing);
    QFETCH(qint64, expected);
    Fixture f(maxRecipeId);
    for (qint64 id : existing)
        f.exec(
            QStringLiteral("INSERT INTO RECIPE (id, type, title) VALUES (%1, 'F', 'x')").arg(id));
    QCOMPARE(*f.book.NewRecipeId(), expected);
    Recipe r = Titled("Mine");
    QVERIFY(f.book.Save(r));
    QCOMPARE(r.id, expected);
    // Many at once get consecutive ids after it.
    QList<Recipe> many{Titled("A"), Titled("B")};
    QVERIFY(f.book.SaveMany(many));
    QCOMPARE(many[0].id, expected + 1);
    QCOMPARE(many[1].id, expected + 2);
}

void TestStore::validation_data()
{
    QTest::addColumn<QString>("field"); // what the row changes
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("problem"); // empty: saved
    const QString broken = " which would break the recipe as other members receive it.";
    QTest::newRow("no title") << "title"
                              << ""
                              << "A recipe needs a title.";
    QTest::newRow("blank title") << "title"
                                 << "   "
                                 << "A recipe needs a title.";
    QTest::newRow("title 200") << "title" << QString(200, 'a') << "";
    QTest::newRow("title 201") << "title" << QString(201, 'a')
                               << "The title may hold at most 200 characters; it holds 201.";
    QTest::newRow("servings 60") << "servings" << QString(60, '4') << "";
    QTest::newRow("servings 61") << "servings" << QString(61, '4')
                                 << "Servings may hold at most 60 characters; it holds 61.";
    QTest::newRow("category 250") << "category" << QString(250, 'c') << "";
    QTest::newRow("category 251") << "category" << QString(251, 'c')
                                  << "The category may hold at most 250 characters; it holds 251.";
    QTest::newRow("notes 20000") << "notes" << QString(20000, 'n') << "";
    QTest::newRow("notes 20001") << "notes" << QString(20001, 'n')
                                 << "The notes may hold at most 20000 characters; it holds 20001.";
    QTest::newRow("ingredient 250") << "ingredient" << QString(250, 'i') << "";
    QTest::newRow("ingredient 251")
        << "ingredient" << QString(251, 'i')
        << "Ingredient 2 may hold at most 250 characters; it holds 251.";
    QTest::newRow("500 ingredients") << "ingredients"
                                     << "500"
                                     << "";
    QTest::newRow("501 ingredients") << "ingredients"
                                     << "501"
                                     << "A recipe may have at most 500 ingredients; this one has "
                                        "501.";
    QTest::newRow("501 steps") << "steps"
                               << "501"
                               << "A recipe may have at most 500 steps; this one has 501.";
    QTest::newRow("code 0") << "title" << QString("Pie") + QChar(0)
                            << "The title holds a control character (code 0)," + broken;
    QTest::newRow("code 1 in notes") << "notes" << QString("a") + QChar(1) + "b"
                                     << "The notes hold a control character (code 1)," + broken;
    QTest::newRow("code 2 in a step")
        << "step" << QString(QChar(2)) << "Step 1 holds a control character (code 2)," + broken;
    QTest::newRow("code 3 is text") << "title" << QString("a") + QChar(3) << "";
    QTest::newRow("caret") << "title"
                           << "2^3 Cake"
                           << "The title holds \"^\"," + broken;
    QTest::newRow("begin marker in an ingredient") << "ingredient"
                                                   << "x*~B~*y"
                                                   << "Ingredient 2 holds \"*~B~*\"," + broken;
    QTest::newRow("end marker in the source") << "source"
                                              << "*~E~*"
                                              << "The source holds \"*~E~*\"," + broken;
    QTest::newRow("almost a marker") << "source"
                                     << "*~B~ *~E"
                                     << "";
    QTest::newRow("unknown type") << "type"
                                  << "X"
                                  << "The type must be Food, Drink or Other.";
    QTest::newRow("placeholder amount") << "amount"
                                        << "<#NONE#>"
                                        << "Ingredient 2 has the amount \"<#NONE#>\", which other "
                                           "members would not see.";
}

void TestStore::validation()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, problem);
    Fixture f;
    Recipe r = Full();
    if (field == "title")
        r.title = value;
    else if (field == "servings")
        r.servings = value;
    else if (field == "category")
        r.category = value;
    else if (field == "notes")
        r.notes = value;
    else if (field == "source")
        r.source = value;
    else if (field == "type")
        r.type = value;
    else if (field == "ingredient")
        r.ingredients[1].ingredient = value;
    else if (field == "amount")
        r.ingredients[1].amount = value;
    else if (field == "step")
        r.directions[0] = value;
    else if (field == "ingredients")
        r.ingredients = QList<Ingredient>(value.toInt(), Ingredient{"1", "", "salt", ""});
    else if (field == "steps")
        r.directions = QStringList(value.toInt(), "Stir.");
    QString error;
    const QString before = f.dump();
    const bool saved = f.book.Save(r, &error);
    if (problem.isEmpty()) {
        QVERIFY2(saved, qPrintable(error));
        QCOMPARE(f.book.Load(r.id)->title, r.title);
    } else {
        QVERIFY(!saved);
        QCOMPARE(error, problem);
        QCOMPARE(f.dump(), before);
    }
}

void TestStore::saveLoadUpdate()
{
    Fixture f("20");
    Recipe r = Full();
    r.ingredients.insert(1, Ingredient{" ", "", "", ""}); // a row added and left empty
    r.directions << "  ";
    QVERIFY(f.book.Save(r));
    QCOMPARE(r.id, 21);
    Recipe expected = Full();
    expected.id = 21;
    QCOMPARE(r, expected);
    QCOMPARE(*f.book.Load(21), expected);

    // An update replaces every row of the recipe, in the new order.
    r.title = "Mulled Cider";
    r.isPrivate = false;
    r.ingredients = {r.ingredients[2], r.ingredients[0]};
    r.directions = {"Heat everything."};
    QVERIFY(f.book.Save(r));
    QCOMPARE(r.id, 21);
    QCOMPARE(*f.book.Load(21), r);
    QCOMPARE(*f.book.Count(), 1);
    QCOMPARE(f.dump().section("--\n", 1).count('\n'), 2 + 1 + 1 + 1); // lines, "--", steps
    QVERIFY(!f.book.Load(22));
    QVERIFY(f.book.SetPrivate(21, true));
    QVERIFY(f.book.Load(21)->isPrivate);
    QCOMPARE(f.book.Categories(), (QStringList{"Holiday", "Punches"}));
}

void TestStore::failedSaveChangesNothing_data()
{
    QTest::addColumn<bool>("update");
    QTest::addColumn<int>("batch");
    QTest::newRow("new recipe") << false << 1;
    QTest::newRow("update") << true << 1;
    QTest::newRow("third of five in one import") << false << 5;
}

void TestStore::failedSaveChangesNothing()
{
    QFETCH(bool, update);
    QFETCH(int, batch);
    Fixture f;
    Recipe old = Full();
    QVERIFY(f.book.Save(old));
    // The database refuses the last row written, as a full disk would.
    f.exec("CREATE TRIGGER planted BEFORE INSERT ON DIRECTIONS WHEN NEW.direction = 'FAIL' "
           "BEGIN SELECT RAISE(ABORT, 'planted failure'); END");
    const QString before = f.dump();
    QList<Recipe> recipes;
    for (int i = 0; i < batch; ++i) {
        Recipe r = update ? old : Titled(QStringLiteral("R%1").arg(i));
        r.title += " changed";
        r.ingredients << Ingredient{"1", "", "new line", ""};
        r.directions << (i == batch / 2 ? "FAIL" : "fine");
        recipes << r;
    }
    const QList<Recipe> asGiven = recipes;
    QString error;
    QVERIFY(!f.book.SaveMany(recipes, &error));
    QVERIFY2(error.endsWith("planted failure"), qPrintable(error));
    QCOMPARE(f.dump(), before);
    QCOMPARE(recipes, asGiven); // the edit is kept as it was, no id handed out
    // Nothing is left half-open: the next save goes through.
    Recipe next = Titled("After");
    QVERIFY(f.book.Save(next));
}

void TestStore::deleteRemovesEveryRow()
{
    Fixture f;
    Recipe a = Full(), b = Full();
    QVERIFY(f.book.Save(a));
    QVERIFY(f.book.Save(b));
    QVERIFY(f.book.Delete(a.id));
    for (const char *sql : {"SELECT COUNT(*) FROM RECIPE WHERE id = ?",
                            "SELECT COUNT(*) FROM INGREDIENTS WHERE recipe_id = ?",
                            "SELECT COUNT(*) FROM DIRECTIONS WHERE recipe_id = ?"}) {
        for (qint64 id : {a.id, b.id}) {
            QSqlQuery q(f.book.Database());
            q.prepare(QLatin1String(sql));
            q.addBindValue(id);
            QVERIFY(q.exec() && q.next());
            QCOMPARE(q.value(0).toInt() > 0, id == b.id);
        }
    }
    QVERIFY(f.book.Delete(a.id)); // already gone: nothing to do
    QCOMPARE(*f.book.Load(b.id), b);
}

void TestStore::listAndFilter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("all, without regard to case")
        << ""
        << "" << QStringList{"Apple Pie", "apple pie", "Beef Stew", "chili", "Zinger"};
    QTest::newRow("title, category or ingredient")
        << "BEEF"
        << "" << QStringList{"Beef Stew", "chili", "Zinger"};
    QTest::newRow("blanks around the filter") << "  stew "
                                              << "" << QStringList{"Beef Stew"};
    QTest::newRow("drinks") << ""
                            << "D" << QStringList{"Zinger"};
    QTest::newRow("beef and food") << "beef"
                                   << "F" << QStringList{"Beef Stew", "chili"};
    QTest::newRow("nothing") << "lamb"
                             << "" << QStringList{};
    QTest::newRow("accented") << "CRÈME"
                              << "" << QStringList{"Apple Pie"};
}

void TestStore::listAndFilter()
{
    QFETCH(QString, text);
    QFETCH(QString, type);
    QFETCH(QStringList, titles);
    Fixture f;
    QList<Recipe> recipes{Titled("Zinger", "D", "Beefy Drinks"),
                          Titled("chili", "F", "", "ground beef"), Titled("Beef Stew", "F"),
                          Titled("Apple Pie", "F", "", "crème fraîche"), Titled("apple pie", "O")};
    recipes[4].isPrivate = true;
    QVERIFY(f.book.SaveMany(recipes));
    const auto list = f.book.List({text, type});
    QVERIFY(list);
    QStringList got;
    for (const RecipeEntry &e : *list) {
        got << e.title;
        QCOMPARE(e.isPrivate, e.title == "apple pie");
    }
    QCOMPARE(got, titles);
}

void TestStore::olderDatabaseWithoutPrivate()
{
    Fixture f("0", false);
    QVERIFY(!f.book.HasPrivateColumn());
    Recipe r = Full();
    QVERIFY(f.book.Save(r));
    Recipe expected = Full();
    expected.id = r.id;
    expected.isPrivate = false; // such a cookbook shares everything
    QCOMPARE(*f.book.Load(r.id), expected);
    QCOMPARE(f.book.Entries()->size(), 1);
    QString error;
    QVERIFY(!f.book.SetPrivate(r.id, true, &error));
    QCOMPARE(error, "This cookbook was made by a recipe manager older than 2.7 and cannot mark "
                    "recipes private.");
}

void TestStore::lockedOrUnwritable()
{
    Fixture f;
    f.book.SetBusyTimeout(300);
    QVERIFY(f.book.Open(f.dir.path()));
    {
        // Another program holds the file for longer than the time-out.
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
        other.setDatabaseName(Cookbook::DatabasePath(f.dir.path()));
        QVERIFY(other.open());
        QSqlQuery(other).exec("BEGIN EXCLUSIVE");
        Recipe r = Full();
        QString error;
        QVERIFY(!f.book.Save(r, &error));
        QCOMPARE(error, "The cookbook is in use by another program, which kept it locked for more "
                        "than 0.3 seconds. Nothing was written; try again in a moment.");
        QCOMPARE(r.id, 0);
        QSqlQuery(other).exec("ROLLBACK");
        QVERIFY(f.book.Save(r, &error));
        other.close();
    }
    QSqlDatabase::removeDatabase("other");

    // A cookbook that cannot be written to (as on a read-only medium).
    f.exec("PRAGMA query_only = ON");
    Recipe r = Full();
    QString error;
    QVERIFY(!f.book.Save(r, &error));
    QVERIFY2(error.startsWith("The cookbook in " + f.dir.path() + " cannot be written ("),
             qPrintable(error));
    QVERIFY(error.endsWith("). Nothing was written."));

    // A folder that cannot be made.
    QFile file(f.dir.filePath("plain-file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    Cookbook other;
    QVERIFY(!other.Open(f.dir.filePath("missing"), &error));
    QCOMPARE(error, "There is no cookbook in " + f.dir.filePath("missing") + ".");
    QVERIFY(!other.Create(f.dir.filePath("plain-file/sub"), &error));
    QCOMPARE(error, "The cookbook cannot be created in " + f.dir.filePath("plain-file/sub") +
                        ": cannot create folder " + f.dir.filePath("plain-file/sub"));
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
