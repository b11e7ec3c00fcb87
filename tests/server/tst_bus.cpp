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
    void batches_data();
    void batches();
    void batchRefused_data();
    void batchRefused();
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

// Frames of these sizes for one node (frame i made of letter 'a' + i) through a
// batcher with a 100-byte bound; what went on the bus, one message a line: its type
// and its frames' letters and sizes.
void TestBus::batches_data()
{
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<QStringList>("sent");
    // A frame of 47 bytes takes 50 in a batch ("47:" before it).
    QTest::newRow("exactly the bound") << QList<int>{47, 47} << QStringList{"M a47 b47"};
    QTest::newRow("one byte over") << QList<int>{47, 48} << QStringList{"R a47", "R b48"};
    QTest::newRow("order kept across batches")
        << QList<int>{20, 20, 20, 20, 20} << QStringList{"M a20 b20 c20 d20", "R e20"};
    QTest::newRow("one frame at the bound") << QList<int>{97} << QStringList{"R a97"};
    QTest::newRow("one frame over it, after what came before")
        << QList<int>{10, 98, 10} << QStringList{"R a10", "R b98", "R c10"};
}

void TestBus::batches()
{
    QFETCH(QList<int>, sizes);
    QFETCH(QStringList, sent);
    QStringList got;
    const FrameBatcher::Send send = [&](const std::string &subject, char type,
                                        std::string_view body) {
        QCOMPARE(subject, std::string("zestrel.node.relay2"));
        std::vector<std::string_view> frames;
        if (type == 'M')
            QVERIFY(SplitBatched(body, 1000, frames));
        else
            frames.push_back(body);
        QString line(QChar::fromLatin1(type));
        for (const std::string_view f : frames)
            line += QStringLiteral(" %1%2").arg(QChar::fromLatin1(f.front())).arg(f.size());
        got << line;
    };
    FrameBatcher batcher(100);
    for (int i = 0; i < sizes.size(); ++i)
        batcher.Add("zestrel.node.relay2", std::string(std::size_t(sizes[i]), char('a' + i)), send);
    batcher.Flush(send);
    QVERIFY(batcher.Empty());
    QCOMPARE(got, sent);
}

void TestBus::batchRefused_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("frames");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("two frames") << QByteArray("3:abc2:de") << 2 << true;
    QTest::newRow("frame at the bound of 10") << QByteArray("10:0123456789") << 1 << true;
    QTest::newRow("frame over the bound of 10") << QByteArray("11:0123456789a") << 0 << false;
    QTest::newRow("shorter than it says") << QByteArray("3:abc4:de") << 1 << false;
    QTest::newRow("no length") << QByteArray(":abc") << 0 << false;
    QTest::newRow("no colon") << QByteArray("3abc") << 0 << false;
}

void TestBus::batchRefused()
{
    QFETCH(QByteArray, body);
    QFETCH(int, frames);
    QFETCH(bool, accepted);
    std::vector<std::string_view> got;
    QCOMPARE(SplitBatched(body.toStdString(), 10, got), accepted);
    QCOMPARE(int(got.size()), frames);
}

QTEST_GUILESS_MAIN(TestBus)
#include "tst_bus.moc"
