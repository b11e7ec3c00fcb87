// Servings and measures: every form of amount at N and N+1 servings, the amounts left
// alone, and the measures converted either way on both sides of the unit choices.
#include "cookbook/Scaling.h"

#include <QtTest>

using namespace zestrel::cookbook;

Q_DECLARE_METATYPE(zestrel::cookbook::Measures)

class TestScaling : public QObject
{
    Q_OBJECT
  private slots:
    void scaledAmounts_data();
    void scaledAmounts();
    void servingsText_data();
    void servingsText();
    void measures_data();
    void measures();
};

namespace
{

Recipe OneLine(const QString &servings, const QString &amount, const QString &measure)
{
    Recipe r;
    r.title = QStringLiteral("Test");
    r.servings = servings;
    r.ingredients << Ingredient{amount, measure, QStringLiteral("flour"), QString()};
    return r;
}

} // namespace

void TestScaling::scaledAmounts_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<int>("servings");
    QTest::addColumn<QString>("expected");
    // The recipe serves 4.
    QTest::newRow("whole 6") << "2" << 6 << "3";
    QTest::newRow("whole 7") << "2" << 7 << "3 1/2";
    QTest::newRow("decimal 5") << "1.2" << 5 << "1.5";
    QTest::newRow("decimal 6") << "1.2" << 6 << "1.8";
    QTest::newRow("decimal comma 5") << "0,4" << 5 << "0,5";
    QTest::newRow("decimal comma 6") << "0,4" << 6 << "0,6";
    QTest::newRow("leading point") << ".5" << 8 << "1";
    QTest::newRow("fraction 8") << "3/4" << 8 << "1 1/2";
    QTest::newRow("fraction 9, no common fraction near") << "3/4" << 9 << "1.69";
    QTest::newRow("mixed 2") << "1 1/2" << 2 << "3/4";
    QTest::newRow("mixed 3") << "1 1/2" << 3 << "1 1/8";
    QTest::newRow("character 8") << "½" << 8 << "1";
    QTest::newRow("character 9") << "½" << 9 << "1⅛";
    QTest::newRow("character mixed 4") << "1½" << 4 << "1½";
    QTest::newRow("character mixed 5") << "1½" << 5 << "1⅞";
    QTest::newRow("character mixed spaced") << "1 ½" << 6 << "2¼";
    QTest::newRow("range 8") << "2-3" << 8 << "4-6";
    QTest::newRow("range 9") << "2-3" << 9 << "4 1/2-6 3/4";
    QTest::newRow("range spaced dash") << "1 – 2" << 8 << "2–4";
    QTest::newRow("range to 2") << "1 to 2" << 2 << "1/2 to 1";
    QTest::newRow("range to 3") << "1 to 2" << 3 << "3/4 to 1 1/2";
    QTest::newRow("thirds") << "1/3" << 8 << "2/3";
    QTest::newRow("same servings") << "1/3" << 4 << "1/3";
    QTest::newRow("empty") << "" << 8 << "";
    QTest::newRow("to taste") << "to taste" << 8 << "to taste";
    QTest::newRow("words") << "a pinch" << 8 << "a pinch";
    QTest::newRow("with a note") << "1 (8 oz)" << 8 << "1 (8 oz)";
    QTest::newRow("number then word") << "2 tomatoes" << 8 << "2 tomatoes";
    QTest::newRow("zero denominator") << "1/0" << 8 << "1/0";
    QTest::newRow("falling range") << "3-2" << 8 << "3-2";
    QTest::newRow("too many digits") << "1234567890" << 8 << "1234567890";
    QTest::newRow("nine digits") << "123456789" << 8 << "246913578";
}

void TestScaling::scaledAmounts()
{
    QFETCH(QString, amount);
    QFETCH(int, servings);
    QFETCH(QString, expected);
    const Recipe stored = OneLine(QStringLiteral("4"), amount, QStringLiteral("cup"));
    const Recipe shown = Presented(stored, Presentation{servings, Measures::AsWritten});
    QCOMPARE(shown.ingredients[0].amount, expected);
    QCOMPARE(shown.ingredients[0].measure, QStringLiteral("cup"));
    QCOMPARE(stored.ingredients[0].amount, amount);
}

void TestScaling::servingsText_data()
{
    QTest::addColumn<QString>("servings");
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("expectedServings");
    QTest::addColumn<QString>("expectedAmount"); // of "1 cup"
    QTest::newRow("number") << "4" << 8 << "8"
                            << "2";
    QTest::newRow("words around") << "Makes 12 cookies" << 24 << "Makes 24 cookies"
                                  << "2";
    QTest::newRow("range counts from its low end") << "4-6" << 8 << "8"
                                                   << "2";
    QTest::newRow("fraction") << "1/2" << 1 << "1"
                              << "2";
    QTest::newRow("no number: not scaled") << "a crowd" << 8 << "a crowd"
                                           << "1";
    QTest::newRow("zero: not scaled") << "0" << 8 << "0"
                                      << "1";
    QTest::newRow("empty: not scaled") << "" << 8 << ""
                                       << "1";
    QTest::newRow("0 keeps the recipe's") << "4" << 0 << "4"
                                          << "1";
    QTest::newRow("largest") << "1" << kMaxServings << "10000"
                             << "10000";
    QTest::newRow("above the largest") << "1" << kMaxServings + 1 << "1"
                                       << "1";
}

void TestScaling::servingsText()
{
    QFETCH(QString, servings);
    QFETCH(int, target);
    QFETCH(QString, expectedServings);
    QFETCH(QString, expectedAmount);
    const Recipe shown = Presented(OneLine(servings, QStringLiteral("1"), QStringLiteral("cup")),
                                   Presentation{target, Measures::AsWritten});
    QCOMPARE(shown.servings, expectedServings);
    QCOMPARE(shown.ingredients[0].amount, expectedAmount);
}

void TestScaling::measures_data()
{
    QTest::addColumn<QString>("amount");
    QTest::addColumn<QString>("measure");
    QTest::addColumn<Measures>("to");
    QTest::addColumn<QString>("expectedAmount");
    QTest::addColumn<QString>("expectedMeasure");
    const Measures M = Measures::Metric, U = Measures::US;
    QTest::newRow("cup") << "1"
                         << "cup" << M << "237"
                         << "ml";
    QTest::newRow("cups, plural") << "2"
                                  << "Cups" << M << "473"
                                  << "ml";
    QTest::newRow("tablespoons") << "2"
                                 << "tbsp" << M << "30"
                                 << "ml";
    QTest::newRow("teaspoon below ten") << "1"
                                        << "tsp." << M << "4.9"
                                        << "ml";
    QTest::newRow("4 cups stay millilitres") << "4"
                                             << "cup" << M << "946"
                                             << "ml";
    QTest::newRow("5 cups become litres") << "5"
                                          << "cup" << M << "1.18"
                                          << "l";
    QTest::newRow("fluid ounces") << "4"
                                  << "fl oz" << M << "118"
                                  << "ml";
    QTest::newRow("pounds to grams") << "2"
                                     << "lb" << M << "907"
                                     << "g";
    QTest::newRow("pounds to kilograms") << "3"
                                         << "lbs" << M << "1.36"
                                         << "kg";
    QTest::newRow("ounces") << "8"
                            << "oz" << M << "227"
                            << "g";
    QTest::newRow("range") << "1-2"
                           << "cups" << M << "237-473"
                           << "ml";
    QTest::newRow("13 ml in teaspoons") << "13"
                                        << "ml" << U << "2 5/8"
                                        << "tsp";
    QTest::newRow("14 ml in tablespoons") << "14"
                                          << "ml" << U << "1"
                                          << "tbsp";
    QTest::newRow("58 ml in tablespoons") << "58"
                                          << "ml" << U << "3 7/8"
                                          << "tbsp";
    QTest::newRow("59 ml in cups") << "59"
                                   << "ml" << U << "1/4"
                                   << "cup";
    QTest::newRow("litres, decimal") << "1.5"
                                     << "l" << U << "6 3/8"
                                     << "cup";
    QTest::newRow("452 g in ounces") << "452"
                                     << "g" << U << "16"
                                     << "oz";
    QTest::newRow("453 g in pounds") << "453"
                                     << "g" << U << "1"
                                     << "lb";
    QTest::newRow("100 grams") << "100"
                               << "grams" << U << "3 1/2"
                               << "oz";
    QTest::newRow("tiny amount never nothing") << "0.1"
                                               << "ml" << U << "1/8"
                                               << "tsp";
    QTest::newRow("metric stays metric") << "250"
                                         << "ml" << M << "250"
                                         << "ml";
    QTest::newRow("US stays US") << "1"
                                 << "cup" << U << "1"
                                 << "cup";
    QTest::newRow("clove is no measure") << "2"
                                         << "clove" << M << "2"
                                         << "clove";
    QTest::newRow("unparsable amount") << "some"
                                       << "cup" << M << "some"
                                       << "cup";
}

void TestScaling::measures()
{
    QFETCH(QString, amount);
    QFETCH(QString, measure);
    QFETCH(Measures, to);
    QFETCH(QString, expectedAmount);
    QFETCH(QString, expectedMeasure);
    const Recipe shown =
        Presented(OneLine(QStringLiteral("4"), amount, measure), Presentation{0, to});
    QCOMPARE(shown.ingredients[0].amount, expectedAmount);
    QCOMPARE(shown.ingredients[0].measure, expectedMeasure);
}

QTEST_GUILESS_MAIN(TestScaling)
#include "tst_scaling.moc"
