// Recipe web pages and JSON-LD files: the quirks real pages carry, the nesting bound,
// errors with their line, and the writer read back.
#include "formats/Formats.h"

#include <QFile>
#include <QJsonDocument>
#include <QTest>

using namespace zestrel;
using namespace zestrel::formats;

namespace
{
QByteArray Page(const QString &name)
{
    QFile f(QFINDTESTDATA(QStringLiteral("pages/") + name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Lines(const cookbook::Recipe &r)
{
    QStringList out;
    for (const cookbook::Ingredient &i : r.ingredients)
        out << QStringList{i.amount, i.measure, i.ingredient}
                   .filter(QRegularExpression(QStringLiteral(".")))
                   .join(QLatin1Char('|'));
    return out;
}
} // namespace

class TestJsonLd : public QObject
{
    Q_OBJECT
  private slots:
    void pages_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("ingredients");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>(
            "fields"); // servings, prep, cook, source, category, rating, notes, misc
        QTest::newRow("@graph, sections, @type list, trailing commas, @id author")
            << "graph.html"
            << "Lemon Tart & Berries"
            << QStringList{"1 1/2|cup|flour", "1/2|cup|cold butter, cubed", "3|large eggs",
                           "2|lemons, zest and juice", "salt to taste"}
            << QStringList{"For the crust",
                           "Rub the butter into the flour.",
                           "Chill for 30 minutes.",
                           "For the filling",
                           "Whisk the eggs with the lemon.",
                           "Bake at 160°C until just set."}
            << QStringList{"1 tart (8 slices)",
                           "30 min",
                           "1 hr 5 min",
                           "Ada Crumb",
                           "Dessert, Baking",
                           "4.8 (57 ratings)",
                           "",
                           "Total time: 1 hr 35 min"};
        QTest::newRow("CDATA, raw control characters, titled steps, two authors")
            << "cdata.html"
            << "Grandma's Chili"
            << QStringList{"2|lb|ground beef", "2-3|clove|garlic, minced",
                           "1|(15 oz) can kidney beans", "½|tsp|cayenne"}
            << QStringList{"Brown the meat: Cook the beef in a large pot until browned.",
                           "Simmer: Add everything else and simmer for 1 hour."}
            << QStringList{
                   "6", "", "", "June Pepper, Sam Pepper", "", "", "A big pot for a cold night.",
                   ""};
        QTest::newRow("mainEntity, instructions as one text, recipe in the second block")
            << "mainentity.html"
            << "Tomato Soup"
            << QStringList{"2|tbsp|olive oil", "1|onion, chopped", "800|g|tomatoes", "500|ml|stock"}
            << QStringList{"Soften the onion in the oil.", "Add the tomatoes and stock.",
                           "Simmer 20 minutes, then blend."}
            << QStringList{"4 servings", "", "", "https://example.test/page",
                           "",           "", "", "Total time: 45 min"};
        QTest::newRow("a broken block first, comment wrapper, bad escape, markup in steps")
            << "broken-first.html"
            << "Mom's Pancakes" << QStringList{"1|cup|milk", "1|egg", "1|tbsp|sugar", "pinch salt"}
            << QStringList{"Whisk everything together.", "Fry ladlefuls in a hot pan – flip once."}
            << QStringList{"", "", "", "https://cakes.example/pancakes", "", "", "", ""};
        QTest::newRow("top-level array, schema.org type URL, list items, entities encoded twice")
            << "html-steps.html"
            << "Garlic Bread"
            << QStringList{"1|baguette", "4|tbsp|butter, soft", "3|clove|garlic, crushed"}
            << QStringList{"Heat the oven to 200°C.", "Mix the butter and garlic.",
                           "Spread, wrap in foil and bake 15 minutes."}
            << QStringList{"", "", "", "https://example.test/page", "", "", "", ""};
        QTest::newRow("step made of directions and tips")
            << "tips.html"
            << "Iced Tea" << QStringList{"4|cup|water", "4|tea bags", "2|tbsp|honey"}
            << QStringList{"Steep the tea in hot water. Five minutes is enough.",
                           "Stir in the honey and chill."}
            << QStringList{"", "", "", "https://example.test/page", "Drinks", "", "", ""};
        QTest::newRow("a .json file")
            << "recipe.json"
            << "Plain Rice" << QStringList{"1|cup|rice", "2|cup|water"}
            << QStringList{"Simmer covered for 18 minutes."}
            << QStringList{"", "", "", "https://example.test/page", "", "", "", ""};
    }
    void pages()
    {
        QFETCH(QString, file);
        QFETCH(QString, title);
        QFETCH(QStringList, ingredients);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, fields);
        const QByteArray bytes = Page(file);
        QVERIFY(!bytes.isEmpty());
        const ReadResult result =
            ReadJsonLd(bytes, file, QStringLiteral("https://example.test/page"));
        QCOMPARE(result.recipes.size(), 1);
        const cookbook::Recipe &r = result.recipes.first();
        QCOMPARE(r.title, title);
        QCOMPARE(Lines(r), ingredients);
        QCOMPARE(r.directions, steps);
        QCOMPARE((QStringList{r.servings, r.prepTime, r.cookTime, r.source, r.category, r.rating,
                              r.notes, r.misc}),
                 fields);
        // A page with a broken block says where, and still gives the recipe of the next.
        if (file == QLatin1String("broken-first.html"))
            QCOMPARE(result.errors.value(0).line, 2);
    }

    void nesting_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("refused");
        QTest::newRow("64 levels") << 64 << false;
        QTest::newRow("65 levels") << 65 << true;
        QTest::newRow("a million levels") << 1000000 << true;
    }
    void nesting()
    {
        QFETCH(int, depth);
        QFETCH(bool, refused);
        // The recipe object is the first level; arrays make up the rest.
        const QByteArray json = R"({"@type":"Recipe","name":"Deep","x":)" +
                                QByteArray(depth - 1, '[') + QByteArray(depth - 1, ']') + "}";
        const ReadResult result = ReadJsonLd(json, QStringLiteral("deep.json"));
        QCOMPARE(result.recipes.size(), refused ? 0 : 1);
        QCOMPARE(result.errors.isEmpty(), !refused);
        if (refused)
            QCOMPARE(result.errors.first().message,
                     QStringLiteral("The JSON is nested deeper than 64 levels"));
    }

    void errors_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        QTest::newRow("no recipe on the page")
            << QByteArray("<html><script "
                          "type=\"application/ld+json\">{\"@type\":\"Thing\"}</script></html>")
            << 0 << "No schema.org Recipe found on the page";
        QTest::newRow("JSON broken on its third line")
            << QByteArray("{\"@type\": \"Recipe\",\n\"name\": \"X\",\n\"recipeIngredient\": [\"a\" "
                          "\"b\"]}")
            << 3 << "The JSON cannot be read: missing value separator";
        QTest::newRow("a recipe without a name")
            << QByteArray("[{\"@type\": \"Recipe\"}]") << 1 << "A recipe has no name";
    }
    void errors()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, line);
        QFETCH(QString, message);
        const ReadResult result = ReadJsonLd(bytes, QStringLiteral("f"));
        QVERIFY(result.recipes.isEmpty());
        QCOMPARE(result.errors.size(), 1);
        QCOMPARE(result.errors.first(), (ReadIssue{QStringLiteral("f"), line, message}));
    }

    void roundTrip()
    {
        cookbook::Recipe a;
        a.title = QStringLiteral("Pea & Mint Soup");
        a.category = QStringLiteral("Soup");
        a.cuisine = QStringLiteral("English");
        a.servings = QStringLiteral("4");
        a.prepTime = QStringLiteral("10 min");
        a.cookTime = QStringLiteral("1 hr 20 min");
        a.misc = QStringLiteral("Total time: 1 hr 30 min");
        a.notes = QStringLiteral("Bright and green.");
        a.source = QStringLiteral("Kim \"Peas\" Ng");
        a.rating = QStringLiteral("4.5 (12 ratings)");
        a.ingredients = {
            {"500", "g", "frozen peas", {}}, {"1", "", "onion", {}}, {"", "", "salt to taste", {}}};
        a.directions = {QStringLiteral("Soften the onion."),
                        QStringLiteral("Add the peas; blend.")};
        cookbook::Recipe b = a;
        b.title = QStringLiteral("Second");
        b.source = QStringLiteral("https://peas.example/2");
        b.rating = QStringLiteral("3");
        const QByteArray one = WriteJsonLd({a});
        QVERIFY(QJsonDocument::fromJson(one).isObject());
        QCOMPARE(ReadJsonLd(one, QStringLiteral("a.json")).recipes, (QList<cookbook::Recipe>{a}));
        const QByteArray two = WriteJsonLd({a, b});
        QVERIFY(QJsonDocument::fromJson(two).isArray());
        QCOMPARE(ReadJsonLd(two, QStringLiteral("b.json")).recipes,
                 (QList<cookbook::Recipe>{a, b}));
    }
};

QTEST_GUILESS_MAIN(TestJsonLd)
#include "tst_jsonld.moc"
