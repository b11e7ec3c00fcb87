// Importing received recipe texts: the rows written, one transaction per recipe,
// the two commands and their refusals.
#include "store/Import.h"
#include "store/TransferText.h"
#include "support/StoreFixture.h"

#include <QtTest>

using namespace zestrel;
using zestrel::test::StoreFixture;

class TestImport : public QObject
{
    Q_OBJECT
  private slots:
    void placeholdersOnlyWriteRecipeRow();
    void linesKeepOrderAndStepNumbers();
    void sevenFieldHeaderLeavesOptionalColumnsUnset();
    void consecutiveIds();
    void emptyCookbookStartsAtFirstNewId();
    void malformedText_data();
    void malformedText();
    void databaseRefusalLeavesNoPartialRecipe();
    void importAllOrder_data();
    void importAllOrder();
    void importAllTriesFailingEntryOnce();
    void importAllRefusals();
    void importButton_data();
    void importButton();
    void roundTripThroughTransferText();
};

namespace
{

QString Text(const StoreFixture &f, const QStringList &header,
             const QList<QStringList> &ingredients, const QList<QStringList> &directions,
             const QString &window = QStringLiteral("0"))
{
    auto section = [&](const QList<QStringList> &items, const QStringList &none) {
        QStringList out;
        for (const QStringList &i : items)
            out << i.join(f.app.FieldSep);
        if (out.isEmpty())
            out << none.join(f.app.FieldSep);
        return out.join(f.app.ListSep);
    };
    const QString ss = SectionSep(f.app);
    return header.join(f.app.FieldSep) + ss +
           section(ingredients, {"<#NONE#>", "---", "---", "---"}) + ss +
           section(directions, {"<#NONE#>", "---"}) + ss + window;
}

QStringList Header(const QString &title)
{
    return {"F", title, "Beef", "4", "10", "20", "notes", "src", "cuis", "misc"};
}

} // namespace

void TestImport::placeholdersOnlyWriteRecipeRow()
{
    StoreFixture f;
    f.open();
    f.addRecipe(3, "F", "Existing");
    const ImportOutcome out = WriteRecipe(*f.db, Text(f, Header("Plain"), {}, {}));
    QVERIFY(out.imported);
    QCOMPARE(out.id, 4);
    QCOMPARE(f.column("SELECT COUNT(*) FROM INGREDIENTS WHERE recipe_id = 4"), QStringList{"0"});
    QCOMPARE(f.column("SELECT COUNT(*) FROM DIRECTIONS WHERE recipe_id = 4"), QStringList{"0"});
    QCOMPARE(f.column("SELECT type || '|' || title || '|' || category || '|' || servings || '|' || "
                      "prep_time || '|' || cook_time || '|' || notes || '|' || rating || '|' || "
                      "source || '|' || cuisine || '|' || misc || '|' || private FROM RECIPE "
                      "WHERE id = 4"),
             QStringList{"F|Plain|Beef|4|10|20|notes||src|cuis|misc|0"});
}

void TestImport::linesKeepOrderAndStepNumbers()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "Existing");
    QVERIFY(WriteRecipe(*f.db, Text(f, Header("Stew"),
                                    {{"1", "cup", "rice", "Pantry"},
                                     {"2", "", "eggs", "Dairy"},
                                     {"", "", "salt", ""}},
                                    {{"1", "Boil."}, {"5", "Stir."}, {"9", "Serve."}}))
                .imported);
    QCOMPARE(f.column("SELECT ingred_id || ':' || ingredient FROM INGREDIENTS WHERE recipe_id = 2 "
                      "ORDER BY ingred_id"),
             (QStringList{"1:rice", "2:eggs", "3:salt"}));
    QCOMPARE(f.column("SELECT step || ':' || direction FROM DIRECTIONS WHERE recipe_id = 2 ORDER "
                      "BY step"),
             (QStringList{"1:Boil.", "5:Stir.", "9:Serve."}));
}

void TestImport::sevenFieldHeaderLeavesOptionalColumnsUnset()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "Existing");
    QVERIFY(
        WriteRecipe(*f.db, Text(f, {"D", "Punch", "Punches", "8", "5", "0", ""}, {}, {})).imported);
    QCOMPARE(f.column("SELECT source FROM RECIPE WHERE id = 2"), QStringList{"<null>"});
    QCOMPARE(f.column("SELECT cuisine FROM RECIPE WHERE id = 2"), QStringList{"<null>"});
    QCOMPARE(f.column("SELECT misc FROM RECIPE WHERE id = 2"), QStringList{"<null>"});
    QCOMPARE(f.column("SELECT title FROM RECIPE WHERE id = 2"), QStringList{"Punch"});
}

void TestImport::consecutiveIds()
{
    StoreFixture f;
    f.open();
    f.addRecipe(57, "F", "Existing");
    f.addRecipe(3, "F", "Older");
    QCOMPARE(*NextRecipeId(*f.db), 58);
    RecipeList box;
    box.texts = {Text(f, Header("First"), {}, {}), Text(f, Header("Second"), {}, {})};
    box.position = 2;
    QVERIFY(ImportRecipe(*f.db, box, box.StoredText(2)));
    QVERIFY(ImportRecipe(*f.db, box, box.StoredText(1)));
    QCOMPARE(f.column("SELECT id || ':' || title FROM RECIPE WHERE id > 57 ORDER BY id"),
             (QStringList{"58:Second", "59:First"}));
    QCOMPARE(box.StoredCount(), 0);
    QCOMPARE(f.messageTitle(), QStringLiteral("Import Sucessful"));
    QVERIFY(f.messages().startsWith(QStringLiteral("'First' has been imported into CKF!")));
    QVERIFY(f.messages().contains(QStringLiteral("Saving Recipe: 'Second'...")));
}

void TestImport::emptyCookbookStartsAtFirstNewId()
{
    StoreFixture f;
    f.open();
    f.app.FirstNewRecipeId = QStringLiteral("1201");
    QCOMPARE(*NextRecipeId(*f.db), 1201);
    QCOMPARE(WriteRecipe(*f.db, Text(f, Header("First ever"), {}, {})).id, 1201);
    QCOMPARE(*NextRecipeId(*f.db), 1202);
}

void TestImport::malformedText_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("six header fields") << 0 << "fewer than seven header fields";
    QTest::newRow("ingredient with three fields") << 1 << "Ingredient 2";
    QTest::newRow("direction with one field") << 2 << "Direction 1";
    QTest::newRow("no sections") << 3 << "no ingredient section";
    QTest::newRow("empty text") << 4 << "fewer than seven header fields";
}

void TestImport::malformedText()
{
    QFETCH(int, kind);
    QFETCH(QString, reason);
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "Existing");
    const QString before = f.snapshot();
    QString text;
    switch (kind) {
    case 0:
        text = Text(f, {"F", "Short", "Beef", "4", "10", "20"}, {}, {});
        break;
    case 1:
        text = Text(f, Header("Bad line"), {{"1", "cup", "rice", "P"}, {"2", "cup", "oats"}},
                    {{"1", "Go."}});
        break;
    case 2:
        text = Text(f, Header("Bad step"), {{"1", "cup", "rice", "P"}}, {{"Go without number"}});
        break;
    case 3:
        text = Header("Header only").join(f.app.FieldSep);
        break;
    default:
        break;
    }
    RecipeList box;
    box.texts = {text};
    box.position = 1;
    QVERIFY(!ImportRecipe(*f.db, box, text));
    QCOMPARE(f.snapshot(), before);
    QCOMPARE(box.StoredCount(), 1);
    QVERIFY2(f.messages().contains(reason), qPrintable(f.messages()));
    QVERIFY(f.messages().startsWith(QStringLiteral("Zestrel: 9\r\n\r\n")));
}

void TestImport::databaseRefusalLeavesNoPartialRecipe()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "Existing");
    // The database refuses the third row of the recipe.
    f.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON DIRECTIONS BEGIN "
                          "SELECT RAISE(ABORT, 'directions are read-only'); END"));
    const QString before = f.snapshot();
    RecipeList box;
    box.texts = {Text(f, Header("Half"), {{"1", "cup", "rice", "P"}}, {{"1", "Go."}})};
    box.position = 1;
    f.diag.ShowMessage(QString(), QStringLiteral("Before"));
    QVERIFY(!ImportRecipe(*f.db, box, box.texts[0]));
    QCOMPARE(f.snapshot(), before);
    QCOMPARE(box.StoredCount(), 1);
    QVERIFY(f.messages().startsWith(QStringLiteral("QSQLITE: ")));
    QVERIFY(f.messages().contains(QStringLiteral("directions are read-only")));
    // The error keeps the caption of the saving notice.
    QCOMPARE(f.messageTitle(), QStringLiteral("Saving recipe"));
    // The connection is usable afterwards: no transaction was left open.
    f.exec(QStringLiteral("DROP TRIGGER refuse"));
    QVERIFY(ImportRecipe(*f.db, box, box.texts[0]));
    QCOMPARE(f.column("SELECT COUNT(*) FROM DIRECTIONS"), QStringList{"1"});
}

void TestImport::importAllOrder_data()
{
    QTest::addColumn<int>("current");
    QTest::addColumn<bool>("arrives"); // D is stored (and shown) while the question is open
    QTest::addColumn<QStringList>("order");
    QTest::newRow("C current") << 3 << false << QStringList{"C", "B", "A"};
    QTest::newRow("A current") << 1 << false << QStringList{"A", "B", "C"};
    QTest::newRow("B current") << 2 << false << QStringList{"B", "A", "C"};
    QTest::newRow("D arrives during the question") << 3 << true << QStringList{"D", "C", "B", "A"};
}

void TestImport::importAllOrder()
{
    QFETCH(int, current);
    QFETCH(bool, arrives);
    QFETCH(QStringList, order);
    StoreFixture f;
    f.open();
    f.addRecipe(10, "F", "Existing");
    RecipeList box;
    for (const char *t : {"A", "B", "C"})
        box.texts << Text(f, Header(QString::fromLatin1(t)), {}, {});
    box.position = current;
    if (arrives)
        f.prompter.whileShown = [&] {
            box.texts << Text(f, Header(QStringLiteral("D")), {}, {});
            box.position = 4;
        };
    f.prompter.answers.enqueue(PromptAnswer::Yes);
    const ImportAllReport report = cmdImportAll(*f.db, box);
    QVERIFY(report.ran);
    QCOMPARE(report.imported, order.size());
    QCOMPARE(report.failed, 0);
    QCOMPARE(f.column("SELECT title FROM RECIPE WHERE id > 10 ORDER BY id"), order);
    QCOMPARE(box.StoredCount(), 0);
    QCOMPARE(box.StoredPosition(), 0);
    QCOMPARE(f.prompter.shown.size(), 1);
    QCOMPARE(f.prompter.shown[0].title, QStringLiteral("Import Confirmation"));
    QCOMPARE(f.prompter.shown[0].icon, PromptIcon::Question);
    QCOMPARE(f.prompter.shown[0].buttons, PromptButtons::YesNo);
    QCOMPARE(f.messageTitle(), QStringLiteral("Import Successful"));
    QVERIFY(f.messages().startsWith(QStringLiteral(
        "All recipes in the storage area have been imported into your CKF database!")));
}

void TestImport::importAllTriesFailingEntryOnce()
{
    StoreFixture f;
    f.open();
    f.addRecipe(10, "F", "Existing");
    RecipeList box;
    const QString bad = Text(f, {"F", "Broken"}, {}, {});
    box.texts = {Text(f, Header("A"), {}, {}), bad, Text(f, Header("C"), {}, {})};
    box.position = 3;
    f.prompter.answers.enqueue(PromptAnswer::Yes);
    const ImportAllReport report = cmdImportAll(*f.db, box);
    QCOMPARE(report.imported, 2);
    QCOMPARE(report.failed, 1);
    QCOMPARE(f.column("SELECT title FROM RECIPE WHERE id > 10 ORDER BY id"),
             (QStringList{"C", "A"}));
    // The failing entry stays and is the one on show.
    QCOMPARE(box.texts, QStringList{bad});
    QCOMPARE(box.StoredPosition(), 1);
    QCOMPARE(f.messageTitle(), QStringLiteral("Import Incomplete"));
    const QString summary = f.messages().section(QStringLiteral("\r\n\r\n---"), 0, 0);
    QVERIFY2(summary.startsWith(QStringLiteral(
                 "2 of 3 recipes in the storage area have been imported into your CKF database; 1 "
                 "could not be imported and stay in the storage area:\r\n\r\n'Broken': Zestrel: 9 "
                 "The recipe text has fewer than seven header fields.")),
             qPrintable(summary));
    QVERIFY(!f.messages().contains(QStringLiteral("All recipes in the storage area")));
    QCOMPARE(f.messages().count(QStringLiteral("Saving Recipe: 'Broken'")), 1);
}

void TestImport::importAllRefusals()
{
    {
        StoreFixture f;
        f.open();
        RecipeList box;
        box.texts = {Text(f, Header("Only"), {}, {})};
        box.position = 1;
        QVERIFY(!cmdImportAll(*f.db, box).ran);
        QCOMPARE(f.messageTitle(), QStringLiteral("Not Enough Recipes"));
        QCOMPARE(f.messages(), QStringLiteral("You do not have enough recipes in your storage box "
                                              "to perform this function!"));
        // The single import still works.
        cmdImport(*f.db, box, 0, QStringLiteral("shown"));
        QCOMPARE(box.StoredCount(), 0);
    }
    {
        StoreFixture f;
        f.open();
        RecipeList box;
        box.texts = {Text(f, Header("A"), {}, {}), Text(f, Header("B"), {}, {})};
        box.position = 1;
        f.prompter.answers.enqueue(PromptAnswer::No);
        QVERIFY(!cmdImportAll(*f.db, box).ran);
        QCOMPARE(box.StoredCount(), 2);
        QCOMPARE(f.column("SELECT COUNT(*) FROM RECIPE"), QStringList{"0"});
    }
    {
        StoreFixture f(false);
        f.app.NoDatabase = true;
        RecipeList box;
        box.texts = {Text(f, Header("A"), {}, {}), Text(f, Header("B"), {}, {})};
        box.position = 1;
        QVERIFY(!cmdImportAll(*f.db, box).ran);
        QCOMPARE(f.messageTitle(), QStringLiteral("CKF Not Installed"));
        QVERIFY(f.messages().startsWith(QStringLiteral(
            "You do not have a valid database installed!  If you want to directly import these "
            "recipes into the highest rated recipe manager on Recipe Downloads, then download "
            "the Cookfolio from QEVO!\r\n\r\nZestrel was desinged to work stand-alone")));
        QVERIFY(f.prompter.shown.isEmpty());
    }
}

void TestImport::importButton_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("preview");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::newRow("nothing current") << 0 << 0 << "shown"
                                     << "No Recipes"
                                     << "There are no recipes available to be imported!";
    QTest::newRow("search tab, empty preview") << 2 << 1 << ""
                                               << "Wrong Tab"
                                               << "You must be previewing a recipe to import it!";
    QTest::newRow("chat tab") << 2 << 2 << "shown"
                              << "Wrong Tab!"
                              << "You can only import recipes when you can see them!";
    QTest::newRow("browse tab") << 2 << 0 << "shown"
                                << "Import Sucessful"
                                << "'B' has been imported into CKF!";
    QTest::newRow("search tab") << 1 << 1 << "shown"
                                << "Import Sucessful"
                                << "'A' has been imported into CKF!";
}

void TestImport::importButton()
{
    QFETCH(int, position);
    QFETCH(int, tab);
    QFETCH(QString, preview);
    QFETCH(QString, title);
    QFETCH(QString, message);
    StoreFixture f;
    f.open();
    RecipeList box;
    box.texts = {Text(f, Header("A"), {}, {}), Text(f, Header("B"), {}, {})};
    box.position = position;
    cmdImport(*f.db, box, tab, preview);
    QCOMPARE(f.messageTitle(), title);
    QVERIFY2(f.messages().startsWith(message), qPrintable(f.messages()));
    const bool imported = title == QLatin1String("Import Sucessful");
    QCOMPARE(box.StoredCount(), imported ? 1 : 2);
    QCOMPARE(f.column("SELECT COUNT(*) FROM RECIPE"), QStringList{imported ? "1" : "0"});
}

void TestImport::roundTripThroughTransferText()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, "F", "Grandma's \"Best\" Pie", "Pies, Desserts", false,
                {{"1", "cup", "O'Brien's flour", "Baking"}, {"2", "", "eggs", "Dairy"}},
                {{"1", "Mix'; DROP TABLE RECIPE; --"}, {"2", "Bake\r\nand cool."}});
    const QString text = *BrowsePreviewText(*f.db, "1");
    const ImportOutcome out = WriteRecipe(*f.db, text);
    QVERIFY(out.imported);
    QCOMPARE(*BrowsePreviewText(*f.db, QString::number(out.id)), text);
}

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
