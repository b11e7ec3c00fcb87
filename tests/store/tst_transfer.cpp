// The text form of a whole recipe: building it from the database and reading it back.
#include "config/Ini.h"
#include "store/TransferText.h"
#include "support/StoreFixture.h"

#include <QtTest>

using namespace zestrel;
using zestrel::test::Line;
using zestrel::test::StoreFixture;

class TestTransfer : public QObject
{
    Q_OBJECT
  private slots:
    void twoIngredientsThreeSteps();
    void placeholdersWhenNoLines();
    void emptyMiscKeepsTenFields();
    void nullColumnsAreEmpty();
    void missingRecipe_data();
    void missingRecipe();
    void stepsInNumericOrder();
    void previewsNameTheirWindow();
    void noDatabaseGivesNothing();
    void readerSections_data();
    void readerSections();
    void readerKeepsItemPositions();
};

namespace
{
QString H(const StoreFixture &f, const QStringList &fields)
{
    return fields.join(f.app.FieldSep);
}
} // namespace

void TestTransfer::twoIngredientsThreeSteps()
{
    StoreFixture f;
    f.open();
    f.addRecipe(5, QStringLiteral("F"), QStringLiteral("Beef Stew"), QStringLiteral("Beef"), false,
                {{"2", "lb", "beef", "Meat"}, {"1", "", "onion", "Produce"}},
                {{"1", "Brown the beef."}, {"2", "Add onion."}, {"3", "Simmer\r\n2 hours."}});
    bool found = false;
    const auto text = RecipeToText(*f.db, QStringLiteral("5"), &found);
    QVERIFY(text);
    QVERIFY(found);
    const QString fs = f.app.FieldSep, ls = f.app.ListSep;
    const QString expected =
        H(f, {"F", "Beef Stew", "Beef", "4", "10 min", "20 min", "n", "s", "c", "m"}) + ls + ls +
        H(f, {"2", "lb", "beef", "Meat"}) + ls + H(f, {"1", "", "onion", "Produce"}) + ls + ls +
        H(f, {"1", "Brown the beef."}) + ls + H(f, {"2", "Add onion."}) + ls +
        H(f, {"3", "Simmer\r\n2 hours."});
    QCOMPARE(*text, expected);

    const TransferRecipe r = ReadTransferText(*text, f.app);
    QCOMPARE(r.header.size(), 10);
    QCOMPARE(r.headerField(1), QStringLiteral("Beef Stew"));
    QCOMPARE(r.ingredients.size(), 2);
    QCOMPARE(r.ingredients[1].fields, (QStringList{"1", "", "onion", "Produce"}));
    QCOMPARE(r.directions.size(), 3);
    QCOMPARE(r.directions[2].field(1), QStringLiteral("Simmer\r\n2 hours."));
    QVERIFY(!r.hasWindow());
}

void TestTransfer::placeholdersWhenNoLines()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, QStringLiteral("D"), QStringLiteral("Water"));
    const auto text = RecipeToText(*f.db, QStringLiteral("1"));
    QVERIFY(text);
    const QString ls = f.app.ListSep;
    QVERIFY(text->endsWith(ls + ls + H(f, {"<#NONE#>", "---", "---", "---"}) + ls + ls +
                           H(f, {"<#NONE#>", "---"})));
    const TransferRecipe r = ReadTransferText(*text, f.app);
    QVERIFY(r.ingredients.isEmpty());
    QVERIFY(r.directions.isEmpty());
    QVERIFY(r.hasDirectionSection());
}

void TestTransfer::emptyMiscKeepsTenFields()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, QStringLiteral("F"), QStringLiteral("Toast"));
    f.exec(QStringLiteral("UPDATE RECIPE SET misc = '' WHERE id = 1"));
    const auto text = RecipeToText(*f.db, QStringLiteral("1"));
    QVERIFY(text->contains(QStringLiteral("c") + f.app.FieldSep + f.app.ListSep + f.app.ListSep));
    const TransferRecipe r = ReadTransferText(*text, f.app);
    QCOMPARE(r.header.size(), 10);
    QCOMPARE(r.headerField(9), QString());
    QCOMPARE(r.ingredients.size(), 0);
}

void TestTransfer::nullColumnsAreEmpty()
{
    StoreFixture f;
    f.open();
    f.exec(QStringLiteral("INSERT INTO RECIPE (id, type, title) VALUES (3, 'O', 'Soap')"));
    f.exec(QStringLiteral("INSERT INTO INGREDIENTS (recipe_id, ingred_id) VALUES (3, 1)"));
    const auto text = RecipeToText(*f.db, QStringLiteral("3"));
    const TransferRecipe r = ReadTransferText(*text, f.app);
    QCOMPARE(r.header, (QStringList{"O", "Soap", "", "", "", "", "", "", "", ""}));
    QCOMPARE(r.ingredients.size(), 1);
    QCOMPARE(r.ingredients[0].fields, (QStringList{"", "", "", ""}));
}

void TestTransfer::missingRecipe_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("no row") << QStringLiteral("42");
    QTest::newRow("or 1=1") << QStringLiteral("1 OR 1=1");
    QTest::newRow("decimal") << QStringLiteral("1.5");
    QTest::newRow("empty") << QString();
    QTest::newRow("huge") << QStringLiteral("99999999999999999999999");
    QTest::newRow("quote") << QStringLiteral("1'");
}

void TestTransfer::missingRecipe()
{
    QFETCH(QString, id);
    StoreFixture f;
    f.open();
    f.addRecipe(1, QStringLiteral("F"), QStringLiteral("Present"), QStringLiteral("Beef"), false,
                {{"1", "cup", "rice", ""}}, {{"1", "Cook."}});
    bool found = true;
    const auto text = RecipeToText(*f.db, id, &found);
    QVERIFY(text);
    QVERIFY(!found);
    const QString ls = f.app.ListSep;
    // An empty header: the text begins with a single ListSep, then the placeholders.
    QCOMPARE(*text,
             ls + H(f, {"<#NONE#>", "---", "---", "---"}) + ls + ls + H(f, {"<#NONE#>", "---"}));
}

void TestTransfer::stepsInNumericOrder()
{
    StoreFixture f;
    f.open();
    QList<Line> steps;
    for (int i = 11; i >= 1; --i)
        steps.append({QString::number(i), QStringLiteral("Step %1").arg(i)});
    f.addRecipe(1, QStringLiteral("F"), QStringLiteral("Long"), QStringLiteral("Beef"), false, {},
                steps);
    const TransferRecipe r = ReadTransferText(*RecipeToText(*f.db, QStringLiteral("1")), f.app);
    QCOMPARE(r.directions.size(), 11);
    QCOMPARE(r.directions[8].field(0), QStringLiteral("9"));
    QCOMPARE(r.directions[9].field(0), QStringLiteral("10"));
}

void TestTransfer::previewsNameTheirWindow()
{
    StoreFixture f;
    f.open();
    f.addRecipe(1, QStringLiteral("F"), QStringLiteral("Pie"));
    const QString base = *RecipeToText(*f.db, QStringLiteral("1"));
    QCOMPARE(*BrowsePreviewText(*f.db, QStringLiteral("1")),
             base + f.app.ListSep + f.app.ListSep + QStringLiteral("0"));
    const auto search = SearchPreviewText(*f.db, QStringLiteral("1"));
    QCOMPARE(*search, base + f.app.ListSep + f.app.ListSep + QStringLiteral("1"));
    const TransferRecipe r = ReadTransferText(*search, f.app);
    QVERIFY(r.hasWindow());
    QCOMPARE(r.window(), QStringLiteral("1"));
}

void TestTransfer::noDatabaseGivesNothing()
{
    StoreFixture f(false);
    QVERIFY(WriteIniKey(f.app.SettingsFilePath, QStringLiteral("FLAG"),
                        QStringLiteral("NODBWARNING=YES")));
    f.db->OpenRecipeDatabase();
    QVERIFY(f.app.NoDatabase);
    QVERIFY(!RecipeToText(*f.db, QStringLiteral("1")));
    QCOMPARE(f.messages(), QStringLiteral("DB ERROR"));
    QVERIFY(!BrowsePreviewText(*f.db, QStringLiteral("abc")));
}

void TestTransfer::readerSections_data()
{
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<int>("ingredients");
    QTest::addColumn<int>("directions");
    QTest::addColumn<bool>("window");
    // Seven header fields from an older sender: source, cuisine and misc are absent.
    QTest::newRow("seven fields") << QStringList{"F", "T", "C", "4", "5", "6", "N"} << 1 << 2
                                  << true;
    QTest::newRow("ten fields") << QStringList{"F", "T", "C", "4", "5", "6", "N", "S", "Cu", ""}
                                << 1 << 2 << false;
}

void TestTransfer::readerSections()
{
    QFETCH(QStringList, header);
    QFETCH(int, ingredients);
    QFETCH(int, directions);
    QFETCH(bool, window);
    StoreFixture f;
    const QString fs = f.app.FieldSep, ls = f.app.ListSep;
    QString text = header.join(fs) + ls + ls + H(f, {"1", "cup", "milk", "Dairy"}) + ls + ls +
                   H(f, {"1", "Pour."}) + ls + H(f, {"2", "Drink."});
    if (window)
        text += ls + ls + QStringLiteral("0");
    const TransferRecipe r = ReadTransferText(text, f.app);
    QCOMPARE(r.header, header);
    QCOMPARE(r.hasHeaderField(7), header.size() > 7);
    QCOMPARE(r.headerField(8), header.value(8));
    QCOMPARE(r.ingredients.size(), ingredients);
    QCOMPARE(r.directions.size(), directions);
    QCOMPARE(r.hasWindow(), window);
}

void TestTransfer::readerKeepsItemPositions()
{
    StoreFixture f;
    const QString ls = f.app.ListSep;
    const QString text = H(f, {"F", "T", "C", "", "", "", ""}) + ls + ls +
                         H(f, {"<#NONE#>", "---", "---", "---"}) + ls +
                         H(f, {"1", "", "salt", ""}) + ls + ls + H(f, {"7", "Stir."});
    const TransferRecipe r = ReadTransferText(text, f.app);
    QCOMPARE(r.ingredients.size(), 1);
    QCOMPARE(r.ingredients[0].position, 1);
    QCOMPARE(r.directions[0].field(0), QStringLiteral("7"));
}

QTEST_GUILESS_MAIN(TestTransfer)
#include "tst_transfer.moc"
