// The pieces every reader shares: ingredient lines, durations, format detection and the
// file size bound.
#include "formats/Formats.h"

#include <QTemporaryDir>
#include <QTest>

using namespace zestrel;
using namespace zestrel::formats;

class TestLines : public QObject
{
    Q_OBJECT
  private slots:
    void ingredientLine_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("parts"); // amount|measure|ingredient
        QTest::newRow("mixed number") << "1 1/2 cups flour"
                                      << "1 1/2|cup|flour";
        QTest::newRow("fraction character") << "½ tsp salt"
                                            << "½|tsp|salt";
        QTest::newRow("number and fraction character") << "1½ Tablespoons sugar"
                                                       << "1½|tbsp|sugar";
        QTest::newRow("range") << "2-3 cloves garlic"
                               << "2-3|clove|garlic";
        QTest::newRow("range with words") << "2 to 3 lbs. potatoes"
                                          << "2 to 3|lb|potatoes";
        QTest::newRow("en-dash range, decimal") << "1.5–2 oz chocolate"
                                                << "1.5–2|oz|chocolate";
        QTest::newRow("fraction slash") << "1⁄4 cup oil"
                                        << "1/4|cup|oil";
        QTest::newRow("no amount") << "salt to taste"
                                   << "||salt to taste";
        QTest::newRow("amount, no measure") << "3 large eggs"
                                            << "3||large eggs";
        QTest::newRow("capital T is a tablespoon") << "2 T butter"
                                                   << "2|tbsp|butter";
        QTest::newRow("small t is a teaspoon") << "1 t vanilla"
                                               << "1|tsp|vanilla";
        QTest::newRow("fluid ounces") << "4 fl. oz. cream"
                                      << "4|fl oz|cream";
        QTest::newRow("amount glued to the measure") << "200g butter"
                                                     << "200|g|butter";
        QTest::newRow("a measure word alone is an ingredient") << "2 cups"
                                                               << "2|cup|";
        QTest::newRow("a word starting like a measure") << "2 cupcakes"
                                                        << "2||cupcakes";
        QTest::newRow("spaces folded") << "  1   cup \t rice "
                                       << "1|cup|rice";
    }
    void ingredientLine()
    {
        QFETCH(QString, line);
        QFETCH(QString, parts);
        const cookbook::Ingredient i = ParseIngredientLine(line);
        QCOMPARE(i.amount + QLatin1Char('|') + i.measure + QLatin1Char('|') + i.ingredient, parts);
    }

    void duration_data()
    {
        QTest::addColumn<QString>("iso");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("back"); // what the writers put out again
        QTest::newRow("hours and minutes") << "PT1H30M"
                                           << "1 hr 30 min"
                                           << "PT1H30M";
        QTest::newRow("minutes over an hour") << "PT90M"
                                              << "1 hr 30 min"
                                              << "PT1H30M";
        QTest::newRow("days") << "P1DT2H"
                              << "1 day 2 hr"
                              << "P1DT2H";
        QTest::newRow("seconds round to a minute") << "PT0M45S"
                                                   << "1 min"
                                                   << "PT1M";
        QTest::newRow("zero") << "PT0S"
                              << "0 min"
                              << "PT0M";
        QTest::newRow("lower case") << "pt20m"
                                    << "20 min"
                                    << "PT20M";
        QTest::newRow("not a duration") << " about an hour "
                                        << "about an hour"
                                        << "";
        QTest::newRow("empty T part is no duration") << "PT"
                                                     << "PT"
                                                     << "";
    }
    void duration()
    {
        QFETCH(QString, iso);
        QFETCH(QString, text);
        QFETCH(QString, back);
        QCOMPARE(DurationText(iso), text);
        QCOMPARE(IsoDuration(text), back);
    }

    void detect_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("format");
        QTest::newRow(".mmf") << "a.mmf" << QByteArray() << int(Format::MealMaster);
        QTest::newRow(".txt holding Meal-Master")
            << "a.txt" << QByteArray("xx\nMMMMM----- Meal-Master\n") << int(Format::MealMaster);
        QTest::newRow(".JSON") << "A.JSON" << QByteArray() << int(Format::JsonLd);
        QTest::newRow("no name, JSON with a byte-order mark")
            << "" << QByteArray("\xEF\xBB\xBF [{}]") << int(Format::JsonLd);
        QTest::newRow(".htm") << "a.htm" << QByteArray() << int(Format::Html);
        QTest::newRow("a page without a suffix")
            << "page" << QByteArray("<!DOCTYPE html><html>") << int(Format::Html);
        QTest::newRow(".cook") << "a.cook" << QByteArray() << int(Format::Cooklang);
        QTest::newRow("plain text") << "a.txt" << QByteArray("hello") << int(Format::Unknown);
    }
    void detect()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, head);
        QFETCH(int, format);
        QCOMPARE(int(DetectFormat(name, head)), format);
    }

    void fileSize_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QString>("message");
        QTest::newRow("64 MiB is read")
            << kMaxFileBytes
            << "Not a recipe file this program reads (MealMaster, JSON-LD, HTML or Cooklang)";
        QTest::newRow("64 MiB and a byte is refused")
            << kMaxFileBytes + 1 << "The file is larger than 64 MiB and is not read";
    }
    void fileSize()
    {
        QFETCH(qint64, size);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("big.txt"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size)); // sparse: the bound is about size, not content
        f.close();
        const ReadResult result = ReadFile(path);
        QCOMPARE(result.errors, (QList<ReadIssue>{{path, 0, message}}));
    }

    void readFileDispatches()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("soup.cook"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Heat @stock{1%l}.\n");
        f.close();
        const ReadResult result = ReadFile(path);
        QCOMPARE(result.errors.size(), 0);
        QCOMPARE(result.recipes.value(0).title, QStringLiteral("soup"));
        QCOMPARE(ReadFile(dir.filePath(QStringLiteral("missing.mmf"))).errors.value(0).message,
                 QStringLiteral("Cannot open the file: No such file or directory"));
    }
};

QTEST_GUILESS_MAIN(TestLines)
#include "tst_lines.moc"
