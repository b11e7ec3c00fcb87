// The text rules of the preview and of the tree's node texts:
// recipe ids from node texts, the formatted recipe, the letter-group labels.
#include "browse/Browser.h"
#include "browse/Preview.h"
#include "support/BrowseFixture.h"

#include <QtTest>

using namespace zestrel;
using namespace zestrel::test;

class TestPreview : public QObject
{
    Q_OBJECT
  private slots:
    void recipeId_data();
    void recipeId();
    void exampleRecipe();
    void layout_data();
    void layout();
    void letterGroupLabel_data();
    void letterGroupLabel();
    void nodeLevel_data();
    void nodeLevel();
};

void TestPreview::recipeId_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("id");
    QTest::newRow("plain") << "Corn Bread (42)"
                           << "42";
    QTest::newRow("parentheses in the title") << "Chili (Texas) (42)"
                                              << "42";
    QTest::newRow("no parenthesis") << "Corn Bread"
                                    << "";
    QTest::newRow("blanks trimmed") << "Soup (  7 )"
                                    << "7";
    QTest::newRow("last character dropped, whatever it is") << "Soup (12x"
                                                            << "12";
    QTest::newRow("open parenthesis last") << "Soup ("
                                           << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("large id") << "Stew (123456789012)"
                              << "123456789012";
}

void TestPreview::recipeId()
{
    QFETCH(QString, text);
    QFETCH(QString, id);
    QCOMPARE(RecipeIdFromText(text), id);
}

void TestPreview::exampleRecipe()
{
    BrowseStack s;
    const auto text = FormatRecipe(CornBreadText(s.app), s.app);
    QVERIFY(text);
    QCOMPARE(*text, CornBreadPreview());
    // Every value starts in column 16 with tab stops every eight columns.
    for (const QString &line : text->split("\r\n")) {
        const qsizetype tab = line.indexOf('\t');
        if (tab >= 0)
            QVERIFY2(tab < 16 && tab >= 8, qPrintable(line));
    }
}

void TestPreview::layout_data()
{
    QTest::addColumn<QString>("recipe"); // '|' FieldSep, '~' ListSep, '@' section separator
    QTest::addColumn<QString>("shown");  // '\n' for CR LF; "<none>" when nothing is shown
    const QString head8 = "Title:    \tT\nSource:    \tS\nCategory:     \tC\nCuisine:     \tK\n"
                          "Servings:     \t2\nPrep Time:    \tp\nCook Time:    \tc\n"
                          "Misc/Other: \tM\n";
    QTest::newRow("placeholders only")
        << "Food|T|C|2|p|c|N|S|K|M@<#NONE#>|---|---|---@<#NONE#>|---@0"
        << head8 + "\nIngredients:\n\nDirections:\n\nNotes:\n  N\n";
    QTest::newRow("seven header fields: no source, cuisine, misc")
        << "Food|T|C|2|p|c|N@1|cup|flour|x@1|Stir.@0"
        << "Title:    \tT\nCategory:     \tC\nServings:     \t2\nPrep Time:    \tp\n"
           "Cook Time:    \tc\n\nIngredients:\n  1 cup flour\n\nDirections:\n1:  Stir.\n\n"
           "Notes:\n  N\n";
    QTest::newRow("six header fields: nothing after the notes' two spaces")
        << "Food|T|C|2|p|c@1|cup|flour|x@1|Stir.@0"
        << "Title:    \tT\nCategory:     \tC\nServings:     \t2\nPrep Time:    \tp\n"
           "Cook Time:    \tc\n\nIngredients:\n  1 cup flour\n\nDirections:\n1:  Stir.\n\n"
           "Notes:\n  ";
    QTest::newRow("two ingredients, cabinet not shown, several steps")
        << "Food|T|C|2|p|c|N|S|K|M@1|cup|flour|baking~---|---|salt|spices@1|Stir.~2|Bake.@1"
        << head8 + "\nIngredients:\n  1 cup flour\n  --- --- salt\n\nDirections:\n1:  Stir.\n"
                   "2:  Bake.\n\nNotes:\n  N\n";
    QTest::newRow("window number with text") << "Food|T@1|a|b|c@1|x@12abc"
                                             << "<shown>";
    QTest::newRow("negative window in range") << "Food|T@1|a|b|c@1|x@-32768"
                                              << "<shown>";
    QTest::newRow("no window section") << "Food|T|C|2|p|c|N|S|K|M@1|cup|flour|x@1|Stir."
                                       << "<none>";
    QTest::newRow("window beyond 16 bits") << "Food|T@1|a|b|c@1|x@32768"
                                           << "<none>";
    QTest::newRow("ingredient with two fields") << "Food|T@1|cup@1|x@0"
                                                << "<none>";
    QTest::newRow("direction with one field") << "Food|T@1|a|b|c@1@0"
                                              << "<none>";
}

void TestPreview::layout()
{
    QFETCH(QString, recipe);
    QFETCH(QString, shown);
    BrowseStack s;
    recipe.replace('@', s.app.ListSep + s.app.ListSep)
        .replace('|', s.app.FieldSep)
        .replace('~', s.app.ListSep);
    const auto text = FormatRecipe(recipe, s.app);
    if (shown == "<none>") {
        QVERIFY(!text);
    } else if (shown == "<shown>") {
        QVERIFY(text);
    } else {
        QVERIFY(text);
        QCOMPARE(*text, shown.replace("\n", "\r\n"));
    }
}

void TestPreview::letterGroupLabel_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("items");
    QTest::addColumn<QString>("text");
    QTest::newRow("one item, equal labels") << "Appl"
                                            << "Appl"
                                            << "1" << 1 << "1:    Appl";
    QTest::newRow("two items, equal labels") << "Appl"
                                             << "Appl"
                                             << "2" << 2 << "2:    Appl";
    QTest::newRow("three items, equal labels") << "Appl"
                                               << "Appl"
                                               << "1" << 3 << "1:    Appl -> Appl";
    QTest::newRow("one item, different labels") << "Appl"
                                                << "Bana"
                                                << "1" << 1 << "1:    Appl -> Bana";
    QTest::newRow("two digits") << "Soup"
                                << "Stew"
                                << "12" << 2 << "12:   Soup -> Stew";
    QTest::newRow("five digits") << "A"
                                 << "B"
                                 << "12345" << 3 << "12345:A -> B";
    QTest::newRow("six digits leave no colon") << "A"
                                               << "B"
                                               << "123456" << 3 << "123456A -> B";
    QTest::newRow("seven digits are cut") << "A"
                                          << "A"
                                          << "1234567" << 1 << "123456A";
}

void TestPreview::letterGroupLabel()
{
    QFETCH(QString, first);
    QFETCH(QString, last);
    QFETCH(QString, group);
    QFETCH(int, items);
    QFETCH(QString, text);
    QCOMPARE(Browser::LetterGroupText(first, last, group, items), text);
}

void TestPreview::nodeLevel_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("level");
    QTest::newRow("member") << "U0"
                            << "U";
    QTest::newRow("type") << "T12"
                          << "T";
    QTest::newRow("category") << "C3"
                              << "C";
    QTest::newRow("letter group") << "L4"
                                  << "L";
    QTest::newRow("recipe") << "R5"
                            << "R";
    QTest::newRow("first found in U T C L R order") << "RCU"
                                                    << "U";
    QTest::newRow("lower case is no level") << "u1"
                                            << "";
}

void TestPreview::nodeLevel()
{
    QFETCH(QString, key);
    QFETCH(QString, level);
    const QChar found = Browser::NodeLevel(key);
    QCOMPARE(found.isNull() ? QString() : QString(found), level);
}

QTEST_GUILESS_MAIN(TestPreview)
#include "tst_preview.moc"
