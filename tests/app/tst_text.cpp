// The shared text rules, at both sides of each bound.
#include "app/Text.h"

#include <QtTest>

using namespace zestrel;

class TestText : public QObject
{
    Q_OBJECT
  private slots:
    void cutting_data();
    void cutting();
    void numbers_data();
    void numbers();
};

void TestText::cutting_data()
{
    const QString pie = QString::fromUtf8("\xF0\x9F\xA5\xA7"); // one character, two UTF-16 units
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("left");
    QTest::newRow("shorter than n") << "abc" << 4 << 3 << "abc";
    QTest::newRow("exactly n") << "abcd" << 4 << 4 << "abcd";
    QTest::newRow("one more than n") << "abcde" << 4 << 5 << "abcd";
    QTest::newRow("pair counts once") << "ab" + pie << 3 << 3 << "ab" + pie;
    QTest::newRow("pair never halved") << "abc" + pie << 3 << 4 << "abc";
    QTest::newRow("zero") << "abc" << 0 << 3 << "";
}

void TestText::cutting()
{
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(int, count);
    QFETCH(QString, left);
    QCOMPARE(CharCount(text), qsizetype(count));
    QCOMPARE(LeftChars(text, n), left);
}

void TestText::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("trimmed");
    QTest::addColumn<qint64>("leadingNumber");
    QTest::addColumn<qint64>("leadingDigits");
    QTest::addColumn<int>("truth"); // -1 none, 0 false, 1 true
    QTest::newRow("plain") << "12"
                           << "12" << qint64(12) << qint64(12) << 1;
    QTest::newRow("spaces only trimmed") << " \t7 "
                                         << "\t7" << qint64(0) << qint64(0) << 1;
    QTest::newRow("negative") << "-5x"
                              << "-5x" << qint64(-5) << qint64(0) << -1;
    QTest::newRow("largest - 1") << "9223372036854775806"
                                 << "9223372036854775806" << qint64(9223372036854775806)
                                 << qint64(9223372036854775806) << 1;
    QTest::newRow("largest") << "9223372036854775807"
                             << "9223372036854775807" << qint64(0)
                             << std::numeric_limits<qint64>::max() << 1;
    QTest::newRow("False") << "false"
                           << "false" << qint64(0) << qint64(0) << 0;
    QTest::newRow("zero") << "0"
                          << "0" << qint64(0) << qint64(0) << 0;
}

void TestText::numbers()
{
    QFETCH(QString, text);
    QFETCH(QString, trimmed);
    QFETCH(qint64, leadingNumber);
    QFETCH(qint64, leadingDigits);
    QFETCH(int, truth);
    QCOMPARE(TrimSpaces(text), trimmed);
    QCOMPARE(LeadingNumber(text), leadingNumber);
    QCOMPARE(LeadingDigits(text), leadingDigits);
    const auto t = ReadTruthValue(text);
    QCOMPARE(t ? int(*t) : -1, truth);
}

QTEST_GUILESS_MAIN(TestText)
#include "tst_text.moc"
