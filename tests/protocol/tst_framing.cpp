// Building and parsing single frames, the marker replacement and code numbers.
#include "protocol/Protocol.h"

#include <QtTest>

using namespace zestrel::protocol;

namespace
{
std::string S(const QByteArray &b)
{
    return b.toStdString();
}
} // namespace

class TestFraming : public QObject
{
    Q_OBJECT
  private slots:
    void roundTrip_data();
    void roundTrip();
    void parse_data();
    void parse();
    void parseFailureClearsFields();
    void viewMatchesCopy_data();
    void viewMatchesCopy();
    void replaceString_data();
    void replaceString();
    void longFrameParses();
    void codeNumber_data();
    void codeNumber();
    void memberToMember();
};

void TestFraming::roundTrip_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("destination");
    QTest::addColumn<QByteArray>("payload");
    const QByteArray key1("10.0.0.1\0\0\0anna\0\0\0"
                          "3",
                          19);
    const QByteArray key2("10.0.0.2\0\0\0bert\0\0\0"
                          "12",
                          20);
    QTest::newRow("107 between keys") << QByteArray("107") << key1 << key2
                                      << QByteArray("R\0\2\0"
                                                    "42",
                                                    6);
    QTest::newRow("all empty") << QByteArray() << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("separators in payload") << QByteArray("100") << QByteArray() << QByteArray()
                                           << QByteArray("a\0\0\0b\0\0\0"
                                                         "1\0\1\0c\0\0\0d\0\0\0"
                                                         "2",
                                                         21);
    QTest::newRow("utf8 text") << QByteArray("121") << key1 << key2
                               << QByteArray("Cr\xc3\xa8me br\xc3\xbbl\xc3\xa9"
                                             "e");
}

void TestFraming::roundTrip()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, destination);
    QFETCH(QByteArray, payload);
    const std::string frame = BuildMessage(S(code), S(source), S(destination), S(payload));
    QVERIFY(frame.starts_with(kBeginMarker));
    QVERIFY(frame.ends_with(kEndMarker));
    Message m;
    QVERIFY(ParseMessage(frame, m));
    QCOMPARE(m, (Message{S(code), S(source), S(destination), S(payload)}));
}

void TestFraming::parse_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QByteArray>("destination");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("caret in payload")
        << QByteArray("*~B~*107^a^b^x^y*~E~*") << false << QByteArray() << QByteArray()
        << QByteArray() << QByteArray();
    QTest::newRow("three fields") << QByteArray("*~B~*107^a^b*~E~*") << false << QByteArray()
                                  << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("no end marker") << QByteArray("*~B~*107^a^b^c") << false << QByteArray()
                                   << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("no begin marker") << QByteArray("107^a^b^c*~E~*") << false << QByteArray()
                                     << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("spaces trimmed")
        << QByteArray("*~B~*  117 ^ a b ^\tc ^ 7  *~E~*") << true << QByteArray("117")
        << QByteArray("a b") << QByteArray("\tc") << QByteArray("7");
    QTest::newRow("text before begin")
        << QByteArray("junk*~B~*5^s^d^p*~E~*") << true << QByteArray("junk5") << QByteArray("s")
        << QByteArray("d") << QByteArray("p");
    QTest::newRow("markers inside are removed")
        << QByteArray("*~B~*1^s*~E~*x^d^p*~B~*q*~E~*") << true << QByteArray("1")
        << QByteArray("sx") << QByteArray("d") << QByteArray("pq");
    QTest::newRow("removal joins a new end marker")
        << QByteArray("*~B~*1^a^b^c*~E*~B~*~**~E~*") << true << QByteArray("1") << QByteArray("a")
        << QByteArray("b") << QByteArray("c");
    QTest::newRow("empty fields") << QByteArray("*~B~*^^^*~E~*") << true << QByteArray()
                                  << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("overlapping markers") << QByteArray("*~B~*~E~*") << false << QByteArray()
                                         << QByteArray() << QByteArray() << QByteArray();
}

void TestFraming::parse()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, ok);
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, source);
    QFETCH(QByteArray, destination);
    QFETCH(QByteArray, payload);
    Message m;
    QCOMPARE(ParseMessage(S(frame), m), ok);
    QCOMPARE(m, (Message{S(code), S(source), S(destination), S(payload)}));
}

void TestFraming::parseFailureClearsFields()
{
    Message m{"old", "old", "old", "old"};
    QVERIFY(!ParseMessage("*~B~*1^2^3^4^5*~E~*", m));
    QCOMPARE(m, Message{});
}

void TestFraming::viewMatchesCopy_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("plain") << QByteArray("*~B~*1^a^b^c*~E~*");
    QTest::newRow("inner markers") << QByteArray("*~B~*1^a*~B~*^b^c*~E~**~E~*");
    QTest::newRow("begin straddles end") << QByteArray("*~B~*1^a^b^c*~B~*~E~*");
    QTest::newRow("end straddles end") << QByteArray("*~B~*1^a^b^c*~E~*~E~*");
    QTest::newRow("short") << QByteArray("*~B~*~E~*");
}

// The relay's allocation-free parse must agree with the client's parse exactly.
void TestFraming::viewMatchesCopy()
{
    QFETCH(QByteArray, frame);
    const std::string text = S(frame); // the views point into it
    Message m;
    const bool ok = ParseMessage(text, m);
    MessageView v;
    std::string scratch;
    QCOMPARE(ParseMessageView(text, v, scratch), ok);
    QCOMPARE((Message{std::string(v.code), std::string(v.source), std::string(v.destination),
                      std::string(v.payload)}),
             m);
}

void TestFraming::replaceString_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("find");
    QTest::addColumn<QByteArray>("replacement");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("remove all") << QByteArray("a*~B~*b*~B~*") << QByteArray("*~B~*") << QByteArray()
                                << QByteArray("ab");
    QTest::newRow("replacement not rescanned")
        << QByteArray("aaa") << QByteArray("a") << QByteArray("aa") << QByteArray("aaaaaa");
    QTest::newRow("left to right, no overlap")
        << QByteArray("aaaa") << QByteArray("aa") << QByteArray("b") << QByteArray("bb");
    QTest::newRow("odd overlap") << QByteArray("aaa") << QByteArray("aa") << QByteArray("b")
                                 << QByteArray("ba");
    QTest::newRow("no hit") << QByteArray("abc") << QByteArray("x") << QByteArray("y")
                            << QByteArray("abc");
    QTest::newRow("removal makes a new hit, kept")
        << QByteArray("*~*~B~*B~*") << QByteArray("*~B~*") << QByteArray() << QByteArray("*~B~*");
    QTest::newRow("nul bytes") << QByteArray("x\0\0\0y", 5) << QByteArray("\0\0\0", 3)
                               << QByteArray("|") << QByteArray("x|y");
}

void TestFraming::replaceString()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, find);
    QFETCH(QByteArray, replacement);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(ReplaceString(S(text), S(find), S(replacement))), expected);
}

// No 16-bit position limit: long recipes and search results must go through.
void TestFraming::longFrameParses()
{
    for (const std::size_t n : {32766u, 32767u, 40000u, 70000u}) {
        const std::string payload(n, 'x');
        Message m;
        QVERIFY(ParseMessage(BuildMessage("105", "s", "d", payload), m));
        QCOMPARE(m.payload.size(), n);
        QCOMPARE(
            ReplaceString(std::string(n, 'a') + std::string(kEndMarker), kEndMarker, "").size(), n);
    }
}

void TestFraming::codeNumber_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("number");
    QTest::newRow("plain") << QByteArray("117") << 117;
    QTest::newRow("zero fraction") << QByteArray("117.0") << 117;
    QTest::newRow("trailing point") << QByteArray("117.") << 117;
    QTest::newRow("leading zeros") << QByteArray("0902") << 902;
    QTest::newRow("spaces") << QByteArray("  117 ") << 117;
    QTest::newRow("plus sign") << QByteArray("+103") << 103;
    QTest::newRow("exponent") << QByteArray("1.17e2") << 117;
    QTest::newRow("fraction") << QByteArray("117.5") << -1;
    QTest::newRow("letters") << QByteArray("abc") << -1;
    QTest::newRow("empty") << QByteArray() << -1;
    QTest::newRow("negative") << QByteArray("-5") << -1;
    QTest::newRow("digits then letters") << QByteArray("117abc") << -1;
    QTest::newRow("inner space") << QByteArray("1 17") << -1;
    QTest::newRow("hex") << QByteArray("0x75") << -1;
    QTest::newRow("infinity") << QByteArray("inf") << -1;
    QTest::newRow("huge") << QByteArray("1e300") << -1;
    QTest::newRow("too big for int") << QByteArray("99999999999") << -1;
    QTest::newRow("nul inside") << QByteArray("11\0"
                                              "7",
                                              4)
                                << -1;
}

void TestFraming::codeNumber()
{
    QFETCH(QByteArray, text);
    QFETCH(int, number);
    QCOMPARE(CodeNumber(S(text)), number);
}

void TestFraming::memberToMember()
{
    QList<int> relayed;
    for (int c = 0; c < 1000; ++c)
        if (IsMemberToMember(c))
            relayed << c;
    QCOMPARE(relayed,
             (QList<int>{105, 106, 107, 109, 110, 111, 112, 113, 114, 119, 120, 121, 900, 901}));
}

QTEST_APPLESS_MAIN(TestFraming)
#include "tst_framing.moc"
