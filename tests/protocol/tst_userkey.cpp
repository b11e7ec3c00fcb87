// Building a member's key and reading its pieces back.
#include "protocol/Protocol.h"

#include <QtTest>

using namespace zestrel::protocol;

class TestUserKey : public QObject
{
    Q_OBJECT
  private slots:
    void build();
    void part_data();
    void part();
};

void TestUserKey::build()
{
    const std::string key = BuildUserKey("192.168.1.5", "Anna", "7");
    QCOMPARE(QByteArray::fromStdString(key), QByteArray("192.168.1.5\0\0\0"
                                                        "Anna\0\0\0"
                                                        "7",
                                                        22));
}

void TestUserKey::part_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<int>("part");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray full("1.2.3.4\0\0\0"
                          "bob\0\0\0"
                          "12",
                          18);
    QTest::newRow("ip") << full << 0 << QByteArray("1.2.3.4");
    QTest::newRow("name") << full << 1 << QByteArray("bob");
    QTest::newRow("index") << full << 2 << QByteArray("12");
    QTest::newRow("part 3") << full << 3 << QByteArray("N/A");
    QTest::newRow("part -1") << full << -1 << QByteArray("N/A");
    QTest::newRow("one piece, name") << QByteArray("bob") << 1 << QByteArray();
    QTest::newRow("one piece, ip") << QByteArray("bob") << 0 << QByteArray("bob");
    QTest::newRow("empty key, part 3") << QByteArray() << 3 << QByteArray("N/A");
    QTest::newRow("two pieces, index") << QByteArray("a\0\0\0b", 5) << 2 << QByteArray();
    QTest::newRow("empty name") << QByteArray("a\0\0\0\0\0\0"
                                              "9",
                                              8)
                                << 2 << QByteArray("9");
    QTest::newRow("extra piece ignored") << QByteArray("a\0\0\0b\0\0\0"
                                                       "c\0\0\0d",
                                                       13)
                                         << 2 << QByteArray("c");
    QTest::newRow("single nul stays in a piece")
        << QByteArray("a\0b\0\0\0c", 7) << 0 << QByteArray("a\0b", 3);
}

void TestUserKey::part()
{
    QFETCH(QByteArray, key);
    QFETCH(int, part);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(UserKeyPart(key.toStdString(), part)), expected);
}

QTEST_APPLESS_MAIN(TestUserKey)
#include "tst_userkey.moc"
