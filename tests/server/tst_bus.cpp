// Header lines between relay nodes: what one node writes another reads back
// unchanged, anything else is refused, and a node's name gives its index range.
#include "server/BusMessage.h"
#include "server/Cluster.h"

#include <QtTest>

#include <limits>
#include <string>

using namespace zestrel::server;

class TestBus : public QObject
{
    Q_OBJECT
  private slots:
    void headerRoundTrip_data();
    void headerRoundTrip();
    void refused_data();
    void refused();
    void slotOfNode_data();
    void slotOfNode();
};

void TestBus::headerRoundTrip_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("node");
    QTest::addColumn<quint64>("inc");
    QTest::addColumn<quint64>("seq");
    QTest::addColumn<uint>("slot");
    QTest::addColumn<bool>("more");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("arrival") << "A"
                             << "node7" << quint64(123) << quint64(4) << 7u << false
                             << QByteArray("A node7 123 4 7 0\n");
    QTest::newRow("snapshot chunk with more to come")
        << "S"
        << "relay-east_2" << std::numeric_limits<quint64>::max() << quint64(0) << 200u << true
        << QByteArray("S relay-east_2 18446744073709551615 0 200 1\n");
}

void TestBus::headerRoundTrip()
{
    QFETCH(QString, type);
    QFETCH(QString, node);
    QFETCH(quint64, inc);
    QFETCH(quint64, seq);
    QFETCH(uint, slot);
    QFETCH(bool, more);
    QFETCH(QByteArray, line);
    const std::string name = node.toStdString();
    std::string out;
    AppendHeader(out, {type.toLatin1()[0], name, inc, seq, slot, more, {}});
    QCOMPARE(QByteArray::fromStdString(out), line);
    out += "key^body";
    BusHeader h;
    QVERIFY(ParseHeader(out, h));
    QCOMPARE(h.type, type.toLatin1()[0]);
    QCOMPARE(std::string(h.node), name);
    QCOMPARE(h.inc, inc);
    QCOMPARE(h.seq, seq);
    QCOMPARE(h.slot, slot);
    QCOMPARE(h.more, more);
    QCOMPARE(std::string(h.body), std::string("key^body"));
}

void TestBus::refused_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("accepted");
    // A header line may be 128 bytes long; leading zeros make the length.
    const QByteArray zeros(128 - 11, '0');
    QTest::newRow("line of 128 bytes") << "A n " + zeros + "1 2 3 0\n" << true;
    QTest::newRow("line of 129 bytes") << "A n 0" + zeros + "1 2 3 0\n" << false;
    QTest::newRow("five fields") << QByteArray("A n 1 2 3\n") << false;
    QTest::newRow("seven fields") << QByteArray("A n 1 2 3 0 0\n") << false;
    QTest::newRow("no line end") << QByteArray("A n 1 2 3 0") << false;
    QTest::newRow("type of two letters") << QByteArray("AB n 1 2 3 0\n") << false;
    QTest::newRow("node name with a dot") << QByteArray("A n.x 1 2 3 0\n") << false;
    QTest::newRow("node name of 33 letters") << "A " + QByteArray(33, 'n') + " 1 2 3 0\n" << false;
    QTest::newRow("node name of 32 letters") << "A " + QByteArray(32, 'n') + " 1 2 3 0\n" << true;
    QTest::newRow("negative number") << QByteArray("A n -1 2 3 0\n") << false;
    QTest::newRow("flag 2") << QByteArray("A n 1 2 3 2\n") << false;
    QTest::newRow("empty number") << QByteArray("A n  2 3 0\n") << false;
}

void TestBus::refused()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, accepted);
    BusHeader h;
    QCOMPARE(ParseHeader(data.toStdString(), h), accepted);
}

void TestBus::slotOfNode_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("slot");
    QTest::newRow("node7") << "node7" << 7u;
    QTest::newRow("three digits") << "node007" << 7u;
    QTest::newRow("four digits") << "n0007" << 0u;
    QTest::newRow("highest") << "node200" << 200u;
    QTest::newRow("past the highest") << "node201" << 0u;
    QTest::newRow("no number") << "node" << 0u;
    QTest::newRow("bad name") << "no.de1" << 0u;
}

void TestBus::slotOfNode()
{
    QFETCH(QString, name);
    QFETCH(uint, slot);
    QCOMPARE(SlotOfNode(name.toStdString()), slot);
}

QTEST_GUILESS_MAIN(TestBus)
#include "tst_bus.moc"
