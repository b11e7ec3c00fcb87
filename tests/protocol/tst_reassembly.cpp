// Cutting a received byte stream into frames, whatever the TCP splitting.
#include "protocol/Protocol.h"

#include <QtTest>

using namespace zestrel::protocol;
using Kind = Reassembler::Event::Kind;

namespace
{

// Compact trace of events: "J" junk, "P" partial, "N" notice, "O" overflow,
// "F:<payload>" parsed frame, "X" frame that failed to parse.
QStringList Trace(const std::vector<Reassembler::Event> &events)
{
    QStringList out;
    for (const auto &e : events) {
        switch (e.kind) {
        case Kind::Junk:
            out << QStringLiteral("J");
            break;
        case Kind::Partial:
            out << QStringLiteral("P");
            break;
        case Kind::ServerNotice:
            out << QStringLiteral("N");
            break;
        case Kind::Overflow:
            out << QStringLiteral("O");
            break;
        case Kind::Frame:
            out << (e.parsed ? QStringLiteral("F:") + QString::fromStdString(e.message.payload)
                             : QStringLiteral("X"));
            break;
        }
    }
    return out;
}

QStringList FeedAll(Reassembler &r, const QList<QByteArray> &chunks)
{
    QStringList out;
    for (const auto &c : chunks)
        out << Trace(r.Feed(c.toStdString()));
    return out;
}

QStringList Frames(const QStringList &trace)
{
    return trace.filter(QRegularExpression(QStringLiteral("^(F:|X)")));
}

const QByteArray kA("*~B~*103^s^d^alpha*~E~*");
const QByteArray kB("*~B~*103^s^d^beta*~E~*");

} // namespace

class TestReassembly : public QObject
{
    Q_OBJECT
  private slots:
    void everySplitOfOneFrame();
    void everyThreeWaySplit();
    void streams_data();
    void streams();
    void byteByByte();
    void abandonedStartEverySplit();
    void overlappingMarkersEverySplit();
    void noticeKeepsPartialFrame();
    void longFramesInChunks();
    void overflowRecovers_data();
    void overflowRecovers();
    void junkStaysBounded();
    void frameEventCarriesText();
    void scanStopsEarly();
};

void TestReassembly::everySplitOfOneFrame()
{
    for (int i = 0; i <= kA.size(); ++i) {
        Reassembler r;
        const QStringList t = FeedAll(r, {kA.left(i), kA.mid(i)});
        QCOMPARE(Frames(t), QStringList{QStringLiteral("F:alpha")});
        QVERIFY2(!t.contains(QStringLiteral("J")), qPrintable(QString::number(i)));
        QCOMPARE(r.Buffered(), std::size_t(0));
    }
}

// Two frames cut at every pair of positions: both arrive, in order, nothing lost.
void TestReassembly::everyThreeWaySplit()
{
    const QByteArray stream = kA + kB;
    for (int i = 0; i <= stream.size(); ++i) {
        for (int j = i; j <= stream.size(); ++j) {
            Reassembler r;
            const QStringList t = FeedAll(r, {stream.left(i), stream.mid(i, j - i), stream.mid(j)});
            QCOMPARE(Frames(t), (QStringList{QStringLiteral("F:alpha"), QStringLiteral("F:beta")}));
            QCOMPARE(r.Buffered(), std::size_t(0));
        }
    }
}

void TestReassembly::streams_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("trace");
    QTest::addColumn<int>("buffered");
    const QString a = QStringLiteral("F:alpha"), b = QStringLiteral("F:beta");
    const QString J = QStringLiteral("J"), P = QStringLiteral("P"), N = QStringLiteral("N");
    const QString X = QStringLiteral("X");
    QTest::newRow("two frames in one chunk")
        << QList<QByteArray>{kA + kB} << QStringList{a, b} << 0;
    QTest::newRow("frame and half, then the rest")
        << QList<QByteArray>{kA + kB.left(9), kB.mid(9)} << QStringList{a, P, b} << 0;
    QTest::newRow("half of A, then rest of A and whole B")
        << QList<QByteArray>{kA.left(9), kA.mid(9) + kB} << QStringList{P, a, b} << 0;
    QTest::newRow("line break between frames")
        << QList<QByteArray>{kA + "\r\n" + kB} << QStringList{a, J, b} << 0;
    QTest::newRow("text before the first frame")
        << QList<QByteArray>{"hello" + kA} << QStringList{J, a} << 0;
    QTest::newRow("chunk of junk only") << QList<QByteArray>{"just text"} << QStringList{J} << 0;
    QTest::newRow("junk ending in a marker prefix")
        << QList<QByteArray>{"text*~", "B~*103^s^d^alpha*~E~*"} << QStringList{J, P, a} << 0;
    QTest::newRow("notice alone") << QList<QByteArray>{"Server is currently running. WELCOME."}
                                  << QStringList{N} << 0;
    QTest::newRow("notice glued to a frame")
        << QList<QByteArray>{"Server is currently running. WELCOME." + kA} << QStringList{J, a}
        << 0;
    QTest::newRow("bad field count")
        << QList<QByteArray>{"*~B~*1^2^3^4^5*~E~*" + kA} << QStringList{X, a} << 0;
    QTest::newRow("end marker before begin is junk")
        << QList<QByteArray>{"*~E~*" + kA} << QStringList{J, a} << 0;
    QTest::newRow("unfinished tail waits")
        << QList<QByteArray>{kA + "*~B~*103^s"} << QStringList{a, P} << 10;
    QTest::newRow("frame split inside the end marker")
        << QList<QByteArray>{kA.left(kA.size() - 2), kA.right(2)} << QStringList{P, a} << 0;
    // A begin marker inside an unfinished frame starts a new frame; the unfinished part
    // before it is junk.
    QTest::newRow("begin marker mid-frame delivers the next frame")
        << QList<QByteArray>{kA.left(12) + kB} << QStringList{J, b} << 0;
    QTest::newRow("unfinished frame, then a whole frame")
        << QList<QByteArray>{kA.left(12), kB} << QStringList{P, J, b} << 0;
    QTest::newRow("new frame begins in the chunk, ends in the next")
        << QList<QByteArray>{kA.left(12) + kB.left(9), kB.mid(9)} << QStringList{J, P, b} << 0;
    QTest::newRow("begin marker split across chunks")
        << QList<QByteArray>{kA.left(12) + "*~B", kB.mid(3)} << QStringList{P, J, b} << 0;
    QTest::newRow("two abandoned starts are one piece of junk")
        << QList<QByteArray>{"*~B~*1^*~B~*2^" + kB + kA} << QStringList{J, b, a} << 0;
    QTest::newRow("abandoned start after a whole frame")
        << QList<QByteArray>{kA + kB.left(7), kB + kA.left(5)} << QStringList{a, P, J, b, P} << 5;
}

void TestReassembly::streams()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, trace);
    QFETCH(int, buffered);
    Reassembler r;
    QCOMPARE(FeedAll(r, chunks), trace);
    QCOMPARE(r.Buffered(), std::size_t(buffered));
}

void TestReassembly::byteByByte()
{
    const QByteArray stream = "x" + kA + "\n" + kB + kA.left(12) + kA;
    Reassembler r;
    QStringList t;
    for (const char c : stream)
        t << Trace(r.Feed(std::string_view(&c, 1)));
    QCOMPARE(Frames(t), (QStringList{QStringLiteral("F:alpha"), QStringLiteral("F:beta"),
                                     QStringLiteral("F:alpha")}));
}

// An abandoned start followed by a whole frame, cut at every position: the frame arrives.
void TestReassembly::abandonedStartEverySplit()
{
    const QByteArray stream = kA.left(12) + kB;
    for (int i = 0; i <= stream.size(); ++i) {
        Reassembler r;
        const QStringList t = FeedAll(r, {stream.left(i), stream.mid(i)});
        QVERIFY2(Frames(t) == QStringList{QStringLiteral("F:beta")}, qPrintable(t.join(',')));
        QCOMPARE(r.Buffered(), std::size_t(0));
    }
}

// A begin marker whose last character starts an end marker: the same outcome wherever
// the stream is cut (the new frame ends at the next end marker, after its own begin).
void TestReassembly::overlappingMarkersEverySplit()
{
    const QByteArray stream = kA.left(12) + "*~B~*~E~*" + kB;
    Reassembler whole;
    const QStringList expected = Frames(FeedAll(whole, {stream}));
    for (int i = 0; i <= stream.size(); ++i) {
        Reassembler r;
        const QStringList t = FeedAll(r, {stream.left(i), stream.mid(i)});
        QVERIFY2(Frames(t) == expected, qPrintable(QString::number(i) + ": " + t.join(',')));
        QCOMPARE(r.Buffered(), whole.Buffered());
    }
    QCOMPARE(expected.size(), 1);
}

void TestReassembly::noticeKeepsPartialFrame()
{
    Reassembler r;
    r.Feed(kA.left(10).toStdString());
    QCOMPARE(Trace(r.Feed(kServerNotice)), QStringList{QStringLiteral("N")});
    QCOMPARE(Trace(r.Feed(kA.mid(10).toStdString())), QStringList{QStringLiteral("F:alpha")});
}

void TestReassembly::longFramesInChunks()
{
    const std::string payload(40000, 'r');
    const std::string stream = BuildMessage("105", "s", "d", payload) +
                               BuildMessage("103", "s", "d", "short") +
                               BuildMessage("105", "s", "d", payload);
    for (const std::size_t chunk : {1000u, 4096u, 65536u}) {
        Reassembler r;
        std::vector<std::string> payloads;
        for (std::size_t i = 0; i < stream.size(); i += chunk)
            for (const auto &e : r.Feed(std::string_view(stream).substr(i, chunk)))
                if (e.kind == Kind::Frame && e.parsed)
                    payloads.push_back(e.message.payload);
        QCOMPARE(payloads.size(), std::size_t(3));
        QVERIFY(payloads[0] == payload);
        QCOMPARE(payloads[1], std::string("short"));
        QVERIFY(payloads[2] == payload);
    }
}

void TestReassembly::overflowRecovers_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("trace");
    const QByteArray big(300, 'z');
    const QString a = QStringLiteral("F:alpha"), O = QStringLiteral("O"), J = QStringLiteral("J"),
                  P = QStringLiteral("P");
    QTest::newRow("whole oversized frame, then a good one")
        << QList<QByteArray>{"*~B~*1^^^" + big + "*~E~*" + kA} << QStringList{O, a};
    QTest::newRow("unfinished frame grows past the bound")
        << QList<QByteArray>{"*~B~*1^^^", big, big + "*~E~*" + kA} << QStringList{P, O, J, a};
    QTest::newRow("bound passed inside one chunk, rest in the next")
        << QList<QByteArray>{kA + "*~B~*1^^^" + big, big + "*~E~*\r\n" + kA}
        << QStringList{a, O, J, a};
}

void TestReassembly::overflowRecovers()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, trace);
    Reassembler r(200);
    QCOMPARE(FeedAll(r, chunks), trace);
    QCOMPARE(r.Buffered(), std::size_t(0));
}

// Whatever arrives, the kept data never grows past the bound plus one chunk.
void TestReassembly::junkStaysBounded()
{
    Reassembler r(1000);
    const std::string junk(512, '~');
    const std::string opened = "*~B~*" + std::string(700, 'y');
    for (int i = 0; i < 200; ++i) {
        r.Feed(i % 3 == 0 ? opened : junk);
        QVERIFY(r.Buffered() <= 1000 + opened.size());
    }
}

void TestReassembly::frameEventCarriesText()
{
    Reassembler r;
    const auto events = r.Feed(("junk" + kA).toStdString());
    QCOMPARE(events.size(), std::size_t(2));
    QCOMPARE(QByteArray::fromStdString(events[1].frame), kA);
    QCOMPARE(events[1].message, (Message{"103", "s", "d", "alpha"}));
}

void TestReassembly::scanStopsEarly()
{
    Reassembler r;
    int frames = 0;
    r.Scan((kA + kB + "*~B~*1").toStdString(), [&](Kind kind, std::string_view) {
        frames += kind == Kind::Frame;
        return false;
    });
    QCOMPARE(frames, 1);
    QCOMPARE(r.Buffered(), std::size_t(0));
}

QTEST_APPLESS_MAIN(TestReassembly)
#include "tst_reassembly.moc"
