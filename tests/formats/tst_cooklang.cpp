// Cooklang files: marks, metadata, sections, comments, errors, and the writer read back.
#include "formats/Formats.h"

#include <QFile>
#include <QTest>

using namespace zestrel;
using namespace zestrel::formats;

namespace
{
QStringList Lines(const cookbook::Recipe &r)
{
    QStringList out;
    for (const cookbook::Ingredient &i : r.ingredients)
        out << i.amount + QLatin1Char('|') + i.measure + QLatin1Char('|') + i.ingredient;
    return out;
}
} // namespace

class TestCooklang : public QObject
{
    Q_OBJECT
  private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("fields"); // title / servings / category / source / notes
        QTest::addColumn<QStringList>("ingredients");
        QTest::addColumn<QStringList>("steps");
        QFile sample(QFINDTESTDATA("cooklang/pancakes.cook"));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QTest::newRow("front matter, sections, cookware, timer, comments")
            << sample.readAll()
            << "Fluffy Pancakes / 4 / Breakfast / Dot Batter / Best eaten at once."
            << QStringList{"3||eggs", "125|g|plain flour", "250|ml|milk (cold)", "||butter",
                           "||maple syrup"}
            << QStringList{
                   "Batter",
                   "Crack eggs into a large bowl and whisk in plain flour and milk. Rest for 20 "
                   "minutes.",
                   "Cooking",
                   "Fry in a frying pan with a little butter, then serve with maple syrup."};
        QTest::newRow("no title: the file's name; >> metadata")
            << QByteArray(">> servings: 2\nBoil @water{1%l} for ~eggs{6%minutes}.\n")
            << "toast-and-eggs / 2 /  /  / " << QStringList{"1|l|water"}
            << QStringList{"Boil water for 6 minutes."};
        QTest::newRow("a single-word mark ends at punctuation; an @ alone is text")
            << QByteArray("Season with @salt, @pepper. Email me @ home.\n")
            << "toast-and-eggs /  /  /  / " << QStringList{"||salt", "||pepper"}
            << QStringList{"Season with salt, pepper. Email me @ home."};
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, fields);
        QFETCH(QStringList, ingredients);
        QFETCH(QStringList, steps);
        const ReadResult result = ReadCooklang(bytes, QStringLiteral("/tmp/toast-and-eggs.cook"));
        QCOMPARE(result.errors.size(), 0);
        QCOMPARE(result.recipes.size(), 1);
        const cookbook::Recipe &r = result.recipes.first();
        QCOMPARE(QStringList({r.title, r.servings, r.category, r.source, r.notes})
                     .join(QStringLiteral(" / ")),
                 fields);
        QCOMPARE(Lines(r), ingredients);
        QCOMPARE(r.directions, steps);
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        QTest::newRow("comment never closed") << QByteArray("Mix.\n\nStir [- forever\n") << 3
                                              << "A comment opened with \"[-\" is never closed";
        QTest::newRow("front matter never closed")
            << QByteArray("---\ntitle: X\n") << 1
            << "The metadata opened with \"---\" is never closed";
        QTest::newRow("not UTF-8")
            << QByteArray("Mix @caf\xe9{}.\n") << 0 << "The file is not UTF-8 text";
        QTest::newRow("nothing in it")
            << QByteArray("\n-- only a comment\n") << 0 << "The file holds no recipe";
    }
    void errors()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(QString, message);
        const ReadResult result = ReadCooklang(bytes, QStringLiteral("x.cook"));
        QVERIFY(result.recipes.isEmpty());
        QCOMPARE(result.errors, (QList<ReadIssue>{{QStringLiteral("x.cook"), line, message}}));
    }

    void roundTrip()
    {
        cookbook::Recipe a;
        a.title = QStringLiteral("Lentil Soup");
        a.servings = QStringLiteral("6");
        a.category = QStringLiteral("Soup, Vegan");
        a.cuisine = QStringLiteral("Turkish");
        a.prepTime = QStringLiteral("15 min");
        a.cookTime = QStringLiteral("1 hr");
        a.source = QStringLiteral("https://soup.example/lentil");
        a.rating = QStringLiteral("4");
        a.notes = QStringLiteral("Freezes well.\nAdd lemon at the table.");
        a.ingredients = {{"1 1/2", "cup", "red lentils", {}},
                         {"1", "", "onion, diced", {}},
                         {"", "", "salt to taste", {}},
                         {"2-3", "tbsp", "olive oil", {}}};
        a.directions = {QStringLiteral("Soften the onion in the oil."),
                        QStringLiteral("Simmer the lentils 25 min; blend.")};
        const QByteArray file = WriteCooklang(a);
        const ReadResult back = ReadCooklang(file, QStringLiteral("other-name.cook"));
        QCOMPARE(back.errors.size(), 0);
        QCOMPARE(back.recipes, (QList<cookbook::Recipe>{a}));
    }
};

QTEST_GUILESS_MAIN(TestCooklang)
#include "tst_cooklang.moc"
