// MealMaster files: the sample files of each layout, the column rules on both sides, and
// the writer read back.
#include "formats/Formats.h"

#include <QFile>
#include <QTest>

using namespace zestrel;
using namespace zestrel::formats;

namespace
{
QByteArray Sample(const QString &name)
{
    QFile f(QFINDTESTDATA(QStringLiteral("mealmaster/") + name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Lines(const cookbook::Recipe &r)
{
    QStringList out;
    for (const cookbook::Ingredient &i : r.ingredients)
        out << i.amount + QLatin1Char('|') + i.measure + QLatin1Char('|') + i.ingredient;
    return out;
}

const QByteArray kHead = "MMMMM----- Recipe via Meal-Master (tm) v8.05\n\n      Title: T\n\n";
} // namespace

class TestMealMaster : public QObject
{
    Q_OBJECT
  private slots:
    void files_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>(
            "summary"); // per recipe: "title / category / servings @ line"
        QTest::addColumn<QList<QStringList>>("ingredients");
        QTest::addColumn<QList<QStringList>>("steps");
        QTest::addColumn<QStringList>("errors"); // "line: message"
        QTest::newRow("dash and MMMMM headers, continuation, two columns, heading")
            << "two-recipes.mmf"
            << QStringList{"Buttermilk Biscuits / Breads, Southern / 12 @ 3",
                           "Two-Column Stew / Main dish / 2 quarts @ 24"}
            << QList<QStringList>{{"2|cup|All-purpose flour", "1|tbsp|Baking powder",
                                   "1/2|tsp|Salt", "6|tbsp|Cold butter, cut into small pieces",
                                   "3 1/4|cup|Buttermilk"},
                                  {"2|lb|Beef chuck, cubed", "1|cup|Red wine", "3|medium|Carrots",
                                   "2|tsp|Thyme", "||FOR SERVING", "1|package|Egg noodles"}}
            << QList<QStringList>{{"Heat the oven to 450F. Whisk the dry ingredients, then cut in "
                                   "the butter until it "
                                   "looks like coarse meal.",
                                   "Stir in the buttermilk, pat out and cut rounds. Bake 12 "
                                   "minutes."},
                                  {"Brown the beef, add the rest and simmer two hours."}}
            << QStringList{};
        QTest::newRow("code page 437")
            << "cp437.mmf" << QStringList{"Crêpes Suzette / Desserts / 4 @ 1"}
            << QList<QStringList>{{"1|cup|Flour", "2||Eggs"}}
            << QList<QStringList>{{"Make thin crêpes."}} << QStringList{};
        QTest::newRow("no title, no end marker: only the sound recipe")
            << "broken.mmf" << QStringList{"Good One /  /  @ 10"}
            << QList<QStringList>{{"1|cup|Sugar"}} << QList<QStringList>{{"Fine."}}
            << QStringList{"1: The recipe has no title", "19: The recipe has no end marker"};
    }
    void files()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, summary);
        QFETCH(QList<QStringList>, ingredients);
        QFETCH(QList<QStringList>, steps);
        QFETCH(QStringList, errors);
        const ReadResult result = ReadMealMaster(Sample(file), file);
        QStringList gotSummary, gotErrors;
        QList<QStringList> gotIngredients, gotSteps;
        for (int i = 0; i < result.recipes.size(); ++i) {
            const cookbook::Recipe &r = result.recipes[i];
            gotSummary << QStringLiteral("%1 / %2 / %3 @ %4")
                              .arg(r.title, r.category, r.servings)
                              .arg(result.recipeLines[i]);
            gotIngredients << Lines(r);
            gotSteps << r.directions;
        }
        for (const ReadIssue &e : result.errors) {
            QCOMPARE(e.file, file);
            gotErrors << QStringLiteral("%1: %2").arg(e.line).arg(e.message);
        }
        QCOMPARE(gotSummary, summary);
        QCOMPARE(gotIngredients, ingredients);
        QCOMPARE(gotSteps, steps);
        QCOMPARE(gotErrors, errors);
    }

    // Each column rule on both sides: the line either is an ingredient or starts the directions.
    void columns_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QStringList>("ingredients");
        QTest::addColumn<QStringList>("steps");
        QTest::newRow("amount ends in column 7")
            << QByteArray("      1 c  Flour\n") << QStringList{"1|cup|Flour"} << QStringList{};
        QTest::newRow("amount runs into column 8")
            << QByteArray("       1 c Flour\n") << QStringList{} << QStringList{"1 c Flour"};
        QTest::newRow("unit code in columns 9-10")
            << QByteArray("      2 tb Oil\n") << QStringList{"2|tbsp|Oil"} << QStringList{};
        QTest::newRow("unit code not known")
            << QByteArray("      2 zz Oil\n") << QStringList{} << QStringList{"2 zz Oil"};
        QTest::newRow("text from column 12")
            << QByteArray("      3    Eggs\n") << QStringList{"3||Eggs"} << QStringList{};
        QTest::newRow("\"-\" at column 12 continues")
            << QByteArray("      1 c  Nuts, toasted\n           -and chopped\n")
            << QStringList{"1|cup|Nuts, toasted and chopped"} << QStringList{};
        QTest::newRow("\"-\" at column 13 does not")
            << QByteArray("      1 c  Nuts\n            -and chopped\n")
            << QStringList{"1|cup|Nuts", "||-and chopped"} << QStringList{};
        QTest::newRow("second column at 42")
            << QByteArray("      1 c  Flour                               2 ts Salt\n")
            << QStringList{"1|cup|Flour", "2|tsp|Salt"} << QStringList{};
        QTest::newRow("text only, ending at 41, stays one column")
            << QByteArray("      1 c  Flour, sifted with the cocoa, 2 ts Salt\n")
            << QStringList{"1|cup|Flour, sifted with the cocoa, 2 ts Salt"} << QStringList{};
        QTest::newRow("dash heading")
            << QByteArray("-----For the glaze-----\n      1 c  Sugar\n")
            << QStringList{"||For the glaze", "1|cup|Sugar"} << QStringList{};
    }
    void columns()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QStringList, ingredients);
        QFETCH(QStringList, steps);
        const ReadResult result =
            ReadMealMaster(kHead + lines + "\nMMMMM\n", QStringLiteral("c.mmf"));
        QCOMPARE(result.errors.size(), 0);
        QCOMPARE(result.recipes.size(), 1);
        QCOMPARE(Lines(result.recipes.first()), ingredients);
        QCOMPARE(result.recipes.first().directions, steps);
    }

    void roundTrip()
    {
        cookbook::Recipe a;
        a.title = QStringLiteral("Crème Brûlée for a Crowd");
        a.category = QStringLiteral("Desserts, French");
        a.servings = QStringLiteral("8");
        a.source = QStringLiteral("Aunt Lou");
        a.cuisine = QStringLiteral("French");
        a.prepTime = QStringLiteral("20 min");
        a.cookTime = QStringLiteral("45 min");
        a.rating = QStringLiteral("5");
        a.type = QString::fromLatin1(cookbook::kTypeOther);
        a.notes = QStringLiteral("Make a day ahead.\nKeeps three days.");
        a.ingredients = {
            {"1", "quart", "heavy cream", {}},
            {"1/2", "cup", "sugar, plus more for the tops", {}},
            {"", "", "For the tops", {}},
            {"8",
             "large",
             "egg yolks, from the freshest eggs you can find at the market this morning "
             "and kept cold until the moment they are used",
             {}},
            {"1", "", "-vanilla pod, split", {}},
            {"", "pinch", "salt", {}},
            {"1 1/2-2", "tsp", "vanilla", {}}};
        a.directions = {
            QStringLiteral(
                "Heat the oven to 150C and warm the cream with the vanilla until it steams, "
                "then leave it to stand for a quarter of an hour so the flavour comes through."),
            QStringLiteral("Whisk, strain, bake in a water bath.")};
        cookbook::Recipe b;
        b.title = QStringLiteral("Toast");
        b.ingredients = {{"1", "slice", "bread", {}}};
        b.directions = {QStringLiteral("Toast it.")};
        const QByteArray file = WriteMealMaster({a, b});
        for (const QByteArray &line : file.split('\n'))
            QVERIFY2(QString::fromUtf8(line).size() <= 80, line.constData());
        const ReadResult back = ReadMealMaster(file, QStringLiteral("out.mmf"));
        QCOMPARE(back.errors.size(), 0);
        QCOMPARE(back.recipes, (QList<cookbook::Recipe>{a, b}));
    }
};

QTEST_GUILESS_MAIN(TestMealMaster)
#include "tst_mealmaster.moc"
