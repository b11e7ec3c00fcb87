// Duplicate fingerprints: what makes two recipes the same and what keeps them apart.
#include "cookbook/Fingerprint.h"

#include <QtTest>

using namespace zestrel::cookbook;

class TestFingerprint : public QObject
{
    Q_OBJECT
  private slots:
    void sameDish_data();
    void sameDish();
};

namespace
{

// "amount|measure|ingredient" a line
QList<Ingredient> Lines(const QStringList &lines)
{
    QList<Ingredient> out;
    for (const QString &l : lines) {
        const QStringList p = l.split(QLatin1Char('|'));
        out << Ingredient{p.value(0), p.value(1), p.value(2), QString()};
    }
    return out;
}

} // namespace

void TestFingerprint::sameDish_data()
{
    QTest::addColumn<QString>("titleA");
    QTest::addColumn<QStringList>("linesA");
    QTest::addColumn<QString>("titleB");
    QTest::addColumn<QStringList>("linesB");
    QTest::addColumn<bool>("same");
    const QStringList base{"2|cup|flour", "1|tsp|salt", "3||eggs"};
    QTest::newRow("identical") << "Bread" << base << "Bread" << base << true;
    QTest::newRow("case, accents, punctuation of the title")
        << "Crème Brûlée!" << base << "  creme   BRULEE" << base << true;
    QTest::newRow("order of the lines")
        << "Bread" << base << "Bread" << QStringList{"3||eggs", "2|cup|flour", "1|tsp|salt"}
        << true;
    QTest::newRow("amounts and measures")
        << "Bread" << base << "Bread" << QStringList{"500|g|flour", "1|pinch|salt", "||eggs"}
        << true;
    QTest::newRow("case and punctuation of the names")
        << "Bread" << base << "Bread" << QStringList{"2|cup|Flour.", "1|tsp|SALT", "3||eggs "}
        << true;
    QTest::newRow("headings and empty rows")
        << "Bread" << base << "Bread"
        << QStringList{"||For the dough:", "2|cup|flour", "||", "1|tsp|salt", "3||eggs"} << true;
    QTest::newRow("a heading-like line with an amount counts")
        << "Bread" << base << "Bread" << QStringList{"2|cup|flour", "1|tsp|salt", "3||eggs:"}
        << true;
    QTest::newRow("one more ingredient")
        << "Bread" << base << "Bread"
        << QStringList{"2|cup|flour", "1|tsp|salt", "3||eggs", "1|cup|milk"} << false;
    QTest::newRow("one ingredient fewer")
        << "Bread" << base << "Bread" << QStringList{"2|cup|flour", "1|tsp|salt"} << false;
    QTest::newRow("same ingredient twice is not once")
        << "Bread" << base << "Bread"
        << QStringList{"2|cup|flour", "1|tsp|salt", "3||eggs", "1||eggs"} << false;
    QTest::newRow("another title") << "Bread" << base << "Breads" << base << false;
    QTest::newRow("another name") << "Bread" << base << "Bread"
                                  << QStringList{"2|cup|flour", "1|tsp|salt", "3||egg"} << false;
    QTest::newRow("words run together differ")
        << "Bread" << base << "Bread" << QStringList{"2|cup|flour", "1|tsp|salt", "3||e ggs"}
        << false;
    QTest::newRow("title moved into a name differs")
        << "Bread" << QStringList{"1||a b"} << "Bread a" << QStringList{"1||b"} << false;
}

void TestFingerprint::sameDish()
{
    QFETCH(QString, titleA);
    QFETCH(QStringList, linesA);
    QFETCH(QString, titleB);
    QFETCH(QStringList, linesB);
    QFETCH(bool, same);
    const QByteArray a = Fingerprint(titleA, Lines(linesA));
    const QByteArray b = Fingerprint(titleB, Lines(linesB));
    QCOMPARE(a.size(), 40);
    QCOMPARE(a == b, same);
}

QTEST_GUILESS_MAIN(TestFingerprint)
#include "tst_fingerprint.moc"
