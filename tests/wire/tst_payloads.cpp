// Every structured payload: what the encoder writes, what the decoder reads back,
// and what it makes of text that is not that payload.
#include "wire/Payloads.h"

#include <QtTest>

using namespace zestrel;
using namespace zestrel::wire;

namespace
{
// Separators spelled out, so the expected texts do not come from the code under test.
const QString F = QString(QChar(0)) + QChar(0) + QChar(0);
const QString L = QString(QChar(0)) + QChar(1) + QChar(0);
const QString A = QString(QChar(0)) + QChar(2) + QChar(0);
} // namespace

class TestPayloads : public QObject
{
    Q_OBJECT
  private slots:
    void members_data();
    void members();
    void browseRequests_data();
    void browseRequests();
    void browseReply_data();
    void browseReply();
    void searchAndChat();
};

void TestPayloads::members_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("malformed");
    QTest::newRow("empty") << QString() << QStringList() << 0;
    QTest::newRow("one") << "1.2.3.4" + F + "Ann" + F + "7" << QStringList{"Ann"} << 0;
    QTest::newRow("trailing separator")
        << "1.2.3.4" + F + "Ann" + F + "7" + L << QStringList{"Ann"} << 0;
    QTest::newRow("two pieces skipped")
        << "1.2.3.4" + F + "Ann" + L + "5.6.7.8" + F + "Bob" + F + "2" << QStringList{"Bob"} << 1;
    QTest::newRow("no separator at all") << "garbage" << QStringList() << 1;
    QTest::newRow("four pieces: first three")
        << "1.2.3.4" + F + "Ann" + F + "7" + F + "extra" << QStringList{"Ann"} << 0;
}

void TestPayloads::members()
{
    QFETCH(QString, payload);
    QFETCH(QStringList, names);
    QFETCH(int, malformed);
    const MemberList list = DecodeMembers(payload);
    QStringList got;
    for (const MemberKey &m : list.members)
        got << m.name;
    QCOMPARE(got, names);
    QCOMPARE(list.malformed, malformed);
    if (malformed == 0 && !payload.endsWith(L) && !payload.endsWith("extra"))
        QCOMPARE(EncodeMembers(list.members), payload);
}

void TestPayloads::browseRequests_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("payload");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("flag"); // "-" when the request carries none
    QTest::newRow("111 without flag") << 111 << "Food" + A + "T3" << true << "-";
    QTest::newRow("111 with flag") << 111 << "Food" + A + "T3" + A + "0" << true << "0";
    QTest::newRow("111 too short") << 111 << "Food" << false << "-";
    QTest::newRow("111 extra part: no flag")
        << 111 << "Food" + A + "T3" + A + "0" + A + "x" << true << "-";
    QTest::newRow("119 with flag")
        << 119 << "Food" + A + "Soup" + A + "C4" + A + "1" << true << "1";
    QTest::newRow("119 too short") << 119 << "Food" + A + "Soup" << false << "-";
    QTest::newRow("113 with flag")
        << 113 << "Food" + F + "Soup" + F + "2" + A + "L9" + A + "True" << true << "True";
    QTest::newRow("113 group missing") << 113 << "Food" + F + "Soup" + A + "L9" << false << "-";
    QTest::newRow("107") << 107 << "42" + F + "R5" << true << "-";
    QTest::newRow("107 too short") << 107 << "42" << false << "-";
}

void TestPayloads::browseRequests()
{
    QFETCH(int, code);
    QFETCH(QString, payload);
    QFETCH(bool, valid);
    QFETCH(QString, flag);
    const std::optional<QString> expectedFlag =
        flag == QLatin1String("-") ? std::nullopt : std::optional<QString>(flag);
    // Decoding then encoding gives the payload back whenever the request is whole.
    const bool exact = !payload.endsWith(A + "x");
    switch (code) {
    case 111: {
        const auto r = DecodeCategoriesRequest(payload);
        QCOMPARE(r.has_value(), valid);
        if (r) {
            QCOMPARE(r->type, QStringLiteral("Food"));
            QCOMPARE(r->nodeKey, QStringLiteral("T3"));
            QCOMPARE(r->allRecipes, expectedFlag);
            if (exact)
                QCOMPARE(Encode(*r), payload);
        }
        break;
    }
    case 119: {
        const auto r = DecodeLettersRequest(payload);
        QCOMPARE(r.has_value(), valid);
        if (r) {
            QCOMPARE(r->category, QStringLiteral("Soup"));
            QCOMPARE(r->nodeKey, QStringLiteral("C4"));
            QCOMPARE(r->allRecipes, expectedFlag);
            QCOMPARE(Encode(*r), payload);
        }
        break;
    }
    case 113: {
        const auto r = DecodeRecipesRequest(payload);
        QCOMPARE(r.has_value(), valid);
        if (r) {
            QCOMPARE(r->group, QStringLiteral("2"));
            QCOMPARE(r->nodeKey, QStringLiteral("L9"));
            QCOMPARE(r->allRecipes, expectedFlag);
            QCOMPARE(Encode(*r), payload);
        }
        break;
    }
    case 107: {
        const auto r = DecodeRecipeRequest(payload);
        QCOMPARE(r.has_value(), valid);
        if (r) {
            QCOMPARE(r->id, QStringLiteral("42"));
            QCOMPARE(r->reference, QStringLiteral("R5"));
            QCOMPARE(Encode(*r), payload);
        }
        break;
    }
    }
}

void TestPayloads::browseReply_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("nodeKey");
    QTest::newRow("list and key") << "Soup" + L + "Stew" + A + "T3" << true << "Soup" + L + "Stew"
                                  << "T3";
    QTest::newRow("empty list") << A + "T3" << true << QString() << "T3";
    QTest::newRow("no key") << "Soup" << false << QString() << QString();
}

void TestPayloads::browseReply()
{
    QFETCH(QString, payload);
    QFETCH(bool, valid);
    QFETCH(QString, list);
    QFETCH(QString, nodeKey);
    const auto r = DecodeBrowseReply(payload);
    QCOMPARE(r.has_value(), valid);
    if (r) {
        QCOMPARE(r->list, list);
        QCOMPARE(r->nodeKey, nodeKey);
        QCOMPARE(Encode(*r), payload);
    }
}

void TestPayloads::searchAndChat()
{
    const QString criteria = "pie" + F + "apple" + F + "1" + F + "Dessert";
    const auto c = DecodeSearchCriteria(criteria);
    QVERIFY(c);
    QCOMPARE(*c, (SearchCriteria{"pie", "apple", QStringLiteral("1"), "Dessert"}));
    QCOMPARE(Encode(*c), criteria);
    QCOMPARE(Encode(SearchCriteria{"pie", "", std::nullopt, ""}), "pie" + F);
    QVERIFY(!DecodeSearchCriteria("pie"));

    const QString hits = "K1" + A + "5" + A + "Pie" + L + "K2" + A + "6" + A + "Tart";
    const QList<SearchHit> decoded = DecodeSearchHits(hits);
    QCOMPARE(decoded.size(), 2);
    QCOMPARE(decoded[1], (SearchHit{"K2", "6", "Tart"}));
    QCOMPARE(EncodeSearchHits(decoded), hits);

    QCOMPARE(DecodeRoomList("Main" + L + L + "Grill"), (QStringList{"Main", "", "Grill"}));
    QCOMPARE(EncodeRoomList({"Main", "Grill"}), "Main" + L + "Grill");

    const QString line = "Ann" + F + "hello" + F + "255" + F + "-999";
    QCOMPARE(DecodeChatLine(line),
             (std::optional<ChatLine>(ChatLine{"Ann", "hello", "255", "-999"})));
    QCOMPARE(Encode(ChatLine{"Ann", "hello", "255", "-999"}), line);
    QVERIFY(!DecodeChatLine("Ann" + F + "hello" + F + "255"));

    QCOMPARE(DecodeProfile("desc"), (Profile{"desc", QString()}));
    QCOMPARE(EncodeProfile(Profile{"d", "e"}), "d" + F + "e");
}

QTEST_GUILESS_MAIN(TestPayloads)
#include "tst_payloads.moc"
