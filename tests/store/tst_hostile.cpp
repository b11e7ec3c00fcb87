// Requests from other members are hostile input: quotes, SQL, wildcards, NUL
// characters, huge texts and missing parts must leave the database as it was and
// get the documented answer or none.
#include "store/Answers.h"
#include "store/Import.h"
#include "store/TransferText.h"
#include "support/StoreFixture.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace zestrel;
using zestrel::test::StoreFixture;

class TestHostile : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();
    void eachField_data();
    void eachField();
    void idIsNeverSql_data();
    void idIsNeverSql();
    void tooFewParts_data();
    void tooFewParts();
    void wildcardSearchIsBounded();
    void garbagePayloads();
    void hugeTextsImportWhole();

  private:
    std::unique_ptr<StoreFixture> f;
    QString before;
};

namespace
{
const QString kKey = QStringLiteral("peer");
}

void TestHostile::initTestCase()
{
    f = std::make_unique<StoreFixture>();
    f->open();
    f->app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
    f->exec(QStringLiteral("BEGIN"));
    for (int i = 1; i <= 80; ++i)
        f->addRecipe(i, "F", QStringLiteral("Stew %1 with a longer title").arg(i), "Beef", false,
                     {{"1", "cup", "rice", "Pantry"}}, {{"1", "Cook."}});
    f->addRecipe(81, "F", "O'Brien's Stew", "Irish, Beef");
    f->exec(QStringLiteral("COMMIT"));
    before = f->snapshot();
}

void TestHostile::cleanupTestCase()
{
    f.reset();
}

void TestHostile::eachField_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("apostrophe") << QStringLiteral("'");
    QTest::newRow("name with apostrophe") << QStringLiteral("O'Brien");
    QTest::newRow("drop table") << QStringLiteral("'; DROP TABLE RECIPE; --");
    QTest::newRow("drop table unquoted") << QStringLiteral("1; DROP TABLE RECIPE");
    QTest::newRow("or 1=1") << QStringLiteral("1 OR 1=1");
    QTest::newRow("quote or") << QStringLiteral("x' OR '1'='1");
    QTest::newRow("percent") << QStringLiteral("%");
    QTest::newRow("underscore") << QStringLiteral("_");
    QTest::newRow("nul") << QString(QChar(0)) + QStringLiteral("a") + QChar(0);
    QTest::newRow("control") << QStringLiteral("\x01\x02\x7f");
    QTest::newRow("100 KB") << QString(100 * 1024, QLatin1Char('a'));
    QTest::newRow("100 KB quotes") << QString(100 * 1024, QLatin1Char('\''));
    QTest::newRow("non-latin") << QStringLiteral("Crème brûlée 🍮");
}

void TestHostile::eachField()
{
    QFETCH(QString, text);
    const AppState &app = f->app;
    const QString as = app.ArgSep, fs = app.FieldSep;

    // Type, category, node key and group positions.
    for (const Reply &r : AnswerCategories(*f->db, kKey, text + as + text + as + "1")) {
        QCOMPARE(r.code, 110);
        QCOMPARE(r.payload, QStringLiteral("N/A - no new recipes") + as + text);
    }
    Replies r = AnswerLetterGroups(*f->db, kKey, QStringLiteral("Food") + as + text + as + text);
    QCOMPARE(r.size(), 1);
    QCOMPARE(r[0].code, 120);
    QVERIFY(r[0].payload.endsWith(as + text));
    // No group list ever holds more than its labels and numbers.
    QVERIFY(r[0].payload.size() - text.size() < 200);

    r = AnswerGroupRecipes(*f->db, kKey,
                           QStringLiteral("Food") + fs + text + fs + text + as + text);
    QCOMPARE(r.size(), 1);
    QCOMPARE(r[0].code, 112);
    QVERIFY(r[0].payload.split(as)[0].count(app.ListSep) < kRecipesPerGroup);

    r = AnswerRecipe(*f->db, kKey, text + fs + text);
    QCOMPARE(r, (Replies{{901, kKey, QString()}}));

    r = AnswerSearch(*f->db, kKey, text + fs + text + fs + "1" + fs + text);
    for (const Reply &reply : r) {
        QVERIFY(reply.code == 900 || reply.code == 114);
        QVERIFY(reply.payload.size() <= kSearchAnswerLimit);
    }
    r = AnswerSearch(*f->db, kKey, text + fs + QString() + fs + "1");
    for (const Reply &reply : r)
        QVERIFY(reply.payload.size() <= kSearchAnswerLimit);

    QCOMPARE(f->snapshot(), before);
}

void TestHostile::idIsNeverSql_data()
{
    QTest::addColumn<QString>("id");
    QTest::newRow("1 OR 1=1") << QStringLiteral("1 OR 1=1");
    QTest::newRow("1 --") << QStringLiteral("1 --");
    QTest::newRow("union") << QStringLiteral("0 UNION SELECT * FROM RECIPE");
    QTest::newRow("hex") << QStringLiteral("0x1");
    QTest::newRow("exponent") << QStringLiteral("1e1");
    QTest::newRow("1.0") << QStringLiteral("1.0");
}

void TestHostile::idIsNeverSql()
{
    QFETCH(QString, id);
    QCOMPARE(AnswerRecipe(*f->db, kKey, id + f->app.FieldSep + "1"),
             (Replies{{901, kKey, QString()}}));
    // A whole number with spaces around it is still that number.
    QCOMPARE(AnswerRecipe(*f->db, kKey, QStringLiteral(" 81 ") + f->app.FieldSep + "1")[0].code,
             105);
}

void TestHostile::tooFewParts_data()
{
    QTest::addColumn<QString>("payload");
    QTest::newRow("empty") << QString();
    QTest::newRow("one part") << QStringLiteral("Food");
    QTest::newRow("only separators") << QString(3, QChar(0));
}

void TestHostile::tooFewParts()
{
    QFETCH(QString, payload);
    QVERIFY(AnswerCategories(*f->db, kKey, payload).isEmpty());
    QVERIFY(AnswerLetterGroups(*f->db, kKey, payload).isEmpty());
    QVERIFY(AnswerGroupRecipes(*f->db, kKey, payload).isEmpty());
    QVERIFY(AnswerGroupRecipes(*f->db, kKey, payload + f->app.ArgSep + "L1").isEmpty());
    if (!payload.contains(f->app.FieldSep)) {
        QVERIFY(AnswerRecipe(*f->db, kKey, payload).isEmpty());
        QVERIFY(AnswerSearch(*f->db, kKey, payload).isEmpty());
    }
    QCOMPARE(f->snapshot(), before);
}

void TestHostile::wildcardSearchIsBounded()
{
    const QString fs = f->app.FieldSep;
    const Replies r = AnswerSearch(*f->db, kKey, QStringLiteral("%") + fs + "" + fs + "1");
    QCOMPARE(r.size(), 2);
    QCOMPARE(r[0].code, 900);
    QCOMPARE(r[1].code, 114);
    QVERIFY(r[1].payload.size() <= kSearchAnswerLimit);
    // An apostrophe is an ordinary character: it finds the title that has one.
    const Replies quote =
        AnswerSearch(*f->db, kKey, QStringLiteral("o'brien") + fs + "" + fs + "1");
    QCOMPARE(quote.size(), 1);
    QVERIFY(quote[0].payload.endsWith(QStringLiteral("O'Brien's Stew")));
}

void TestHostile::garbagePayloads()
{
    // Random mixes of separator characters, quotes, wildcards and digits.
    QRandomGenerator rng(20261209);
    const QString alphabet = QStringLiteral("'\"%_;-=1 0aZ") + QChar(0) + QChar(1) + QChar(2);
    for (int n = 0; n < 300; ++n) {
        QString payload;
        const int length = int(rng.bounded(40));
        for (int i = 0; i < length; ++i)
            payload += alphabet[int(rng.bounded(alphabet.size()))];
        AnswerCategories(*f->db, kKey, payload);
        AnswerLetterGroups(*f->db, kKey, payload);
        AnswerGroupRecipes(*f->db, kKey, payload);
        for (const Reply &r : AnswerRecipe(*f->db, kKey, payload))
            QVERIFY(r.code == 105 || r.code == 901);
        AnswerSearch(*f->db, kKey, payload);
    }
    QCOMPARE(f->snapshot(), before);
}

void TestHostile::hugeTextsImportWhole()
{
    StoreFixture g;
    g.open();
    g.addRecipe(1, "F", "Existing");
    const QString big = QString(100 * 1024, QLatin1Char('n')) + QChar(0x00e9);
    const QString ss = SectionSep(g.app), fs = g.app.FieldSep;
    const QString text =
        QStringList{"F", "'; DROP TABLE RECIPE; --", "Beef", "4", "", "", big}.join(fs) + ss +
        QStringList{"1", "cup", QString(QChar(0)) + "x", ""}.join(fs) + ss +
        QStringList{"1", "Stir."}.join(fs) + ss + "0";
    const ImportOutcome out = WriteRecipe(*g.db, text);
    QVERIFY(out.imported);
    QCOMPARE(g.column("SELECT notes FROM RECIPE WHERE id = 2"), QStringList{big});
    QCOMPARE(g.column("SELECT title FROM RECIPE WHERE id = 2"),
             QStringList{"'; DROP TABLE RECIPE; --"});
    // A NUL character inside a field is data like any other.
    QCOMPARE(g.column("SELECT ingredient FROM INGREDIENTS WHERE recipe_id = 2"),
             QStringList{QString(QChar(0)) + "x"});
    QCOMPARE(g.column("SELECT COUNT(*) FROM RECIPE"), QStringList{"2"});
}

QTEST_GUILESS_MAIN(TestHostile)
#include "tst_hostile.moc"
