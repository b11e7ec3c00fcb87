// The stand-in recipe manager: the schema it creates and the sample recipes it fills in.
#include "config/Ini.h"
#include "store/Answers.h"
#include "support/StoreFixture.h"

#include <QProcess>
#include <QtTest>

#include <memory>

using namespace zestrel;
using zestrel::test::StoreFixture;

class TestCookbook : public QObject
{
    Q_OBJECT
  private slots:
    void sameSeedSameCookbook();
    void sampleIsVaried();
    void sampleReadsLikeRecipes_data();
    void sampleReadsLikeRecipes();
    void sampleAppendsAfterLargestId();
    void toolCommandLine_data();
    void toolCommandLine();

  private:
    std::unique_ptr<StoreFixture> sample_;
};

namespace
{

QString Snapshot(const QString &folder)
{
    StoreFixture f(false);
    f.app.CookbookIniPath = QDir(folder).filePath(QStringLiteral("cookbook.ini"));
    f.db->OpenRecipeDatabase();
    return f.snapshot();
}

} // namespace

void TestCookbook::sameSeedSameCookbook()
{
    QTemporaryDir a, b, c;
    QVERIFY(cookbook::FillSample(a.path(), 40, 7));
    QVERIFY(cookbook::FillSample(b.path(), 40, 7));
    QVERIFY(cookbook::FillSample(c.path(), 40, 8));
    const QString sa = Snapshot(a.path());
    QVERIFY(sa.count(QLatin1Char('\n')) > 40 * 4);
    QCOMPARE(Snapshot(b.path()), sa);
    QVERIFY(Snapshot(c.path()) != sa);
}

void TestCookbook::sampleIsVaried()
{
    StoreFixture f(false);
    cookbook::SampleSummary summary;
    QString error;
    QVERIFY2(cookbook::FillSample(f.dir.path(), 400, 3, &error, &summary), qPrintable(error));
    QCOMPARE(summary.firstId, 1);
    QCOMPARE(summary.lastId, 400);
    QCOMPARE(summary.maxRecipeId, 240);
    QCOMPARE(ReadIniKey(f.app.CookbookIniPath, "Misc", "MaxRecipeID"), QStringLiteral("240"));
    f.open();
    QCOMPARE(f.column("SELECT DISTINCT type FROM RECIPE ORDER BY type"),
             (QStringList{"D", "F", "O"}));
    QVERIFY(f.column("SELECT COUNT(*) FROM RECIPE WHERE category LIKE '%, %'")[0].toInt() > 20);
    QVERIFY(f.column("SELECT COUNT(*) FROM RECIPE WHERE trim(category) = ''")[0].toInt() > 5);
    QVERIFY(f.column("SELECT COUNT(DISTINCT category) FROM RECIPE")[0].toInt() > 30);
    // Short drinks and long bakes: from 2 lines up to at most 15.
    const QStringList lines = f.column("SELECT MIN(n) || '-' || MAX(n) FROM (SELECT COUNT(*) n "
                                       "FROM INGREDIENTS GROUP BY recipe_id)")
                                  .value(0)
                                  .split(QLatin1Char('-'));
    QCOMPARE(lines.value(0), QStringLiteral("2"));
    QVERIFY2(lines.value(1).toInt() >= 12 && lines.value(1).toInt() <= 15,
             qPrintable(lines.join('-')));
    QCOMPARE(f.column("SELECT MIN(n) || '-' || MAX(n) FROM (SELECT COUNT(*) n FROM DIRECTIONS "
                      "GROUP BY recipe_id)"),
             QStringList{"1-10"});
    QCOMPARE(f.column("SELECT COUNT(DISTINCT recipe_id) FROM INGREDIENTS"), QStringList{"400"});
    const int privateCount = f.column("SELECT COUNT(*) FROM RECIPE WHERE private")[0].toInt();
    QCOMPARE(privateCount, summary.privateCount);
    QVERIFY(privateCount > 0);
    // A sample cookbook passes the private-recipe rule.
    QVERIFY(f.db->CheckPrivateRecipes());
    // Recipes on both sides of MaxRecipeID, so the all-recipes flag makes a difference.
    f.app.FirstNewRecipeId = ReadFirstNewRecipeId(f.app.CookbookIniPath);
    QVERIFY(ListCategories(*f.db, "Food", true) != ListCategories(*f.db, "Food", false));
}

void TestCookbook::sampleReadsLikeRecipes_data()
{
    // Each row counts recipes that would not read like a recipe; there must be none.
    QTest::addColumn<QString>("sql");
    QTest::newRow("meat in a drink")
        << "SELECT COUNT(*) FROM RECIPE r JOIN INGREDIENTS i ON i.recipe_id = r.id WHERE "
           "r.type = 'D' AND i.cabinet IN ('Meat', 'Seafood')";
    QTest::newRow("punch with ground beef")
        << "SELECT COUNT(*) FROM RECIPE r JOIN INGREDIENTS i ON i.recipe_id = r.id WHERE "
           "r.title LIKE '%Punch%' AND i.ingredient LIKE '%beef%'";
    QTest::newRow("cookies under a meat")
        << "SELECT COUNT(*) FROM RECIPE WHERE title LIKE '%Cookies%' AND (category LIKE "
           "'%Chicken%' OR category LIKE '%Beef%' OR category LIKE '%Seafood%')";
    QTest::newRow("chicken dish without chicken")
        << "SELECT COUNT(*) FROM RECIPE r WHERE r.title LIKE '%Chicken%' AND NOT EXISTS (SELECT "
           "1 FROM INGREDIENTS i WHERE i.recipe_id = r.id AND i.ingredient LIKE '%chicken%')";
    QTest::newRow("a food category on a drink")
        << "SELECT COUNT(*) FROM RECIPE WHERE type = 'D' AND (category LIKE '%Beef%' OR category "
           "LIKE '%Cookies%' OR category LIKE '%Pasta%')";
    QTest::newRow("a craft in a cuisine")
        << "SELECT COUNT(*) FROM RECIPE WHERE type = 'O' AND cuisine <> ''";
    QTest::newRow("garnish step without its line")
        << "SELECT COUNT(*) FROM DIRECTIONS d WHERE d.direction LIKE '%green onions%' AND NOT "
           "EXISTS (SELECT 1 FROM INGREDIENTS i WHERE i.recipe_id = d.recipe_id AND "
           "i.ingredient LIKE 'green onions%')";
    QTest::newRow("a placeholder left")
        << "SELECT (SELECT COUNT(*) FROM RECIPE WHERE instr(title, '%') > 0) + (SELECT COUNT(*) "
           "FROM DIRECTIONS WHERE instr(direction, '%') > 0)";
    QTest::newRow("a title word twice")
        << "SELECT COUNT(*) FROM RECIPE WHERE title LIKE 'Lemon %Lemon%' OR title LIKE "
           "'Homemade Homemade%' OR title LIKE 'Classic Classic%'";
}

void TestCookbook::sampleReadsLikeRecipes()
{
    QFETCH(QString, sql);
    if (!sample_) { // one sample cookbook for every row
        sample_ = std::make_unique<StoreFixture>(false);
        QVERIFY(cookbook::FillSample(sample_->dir.path(), 3000, 11));
        sample_->open();
    }
    StoreFixture *f = sample_.get();
    QCOMPARE(f->column(sql), QStringList{"0"});
    // The rows check something: the sample has recipes of every kind they look at.
    QVERIFY(f->column("SELECT COUNT(*) FROM RECIPE WHERE title LIKE '%Punch%' OR title LIKE "
                      "'%Cookies%' OR title LIKE '%Chicken%'")
                .value(0)
                .toInt() > 100);
}

void TestCookbook::sampleAppendsAfterLargestId()
{
    QTemporaryDir dir;
    QVERIFY(cookbook::CreateCookbook(dir.path()));
    QCOMPARE(ReadIniKey(dir.filePath("cookbook.ini"), "Misc", "MaxRecipeID"), QStringLiteral("0"));
    cookbook::SampleSummary first, second;
    QVERIFY(cookbook::FillSample(dir.path(), 10, 1, nullptr, &first));
    QVERIFY(cookbook::FillSample(dir.path(), 5, 2, nullptr, &second));
    QCOMPARE(second.firstId, 11);
    QCOMPARE(second.lastId, 15);
    QCOMPARE(second.maxRecipeId, 6);
    // Creating again leaves the recipes alone.
    QVERIFY(cookbook::CreateCookbook(dir.path()));
    QCOMPARE(Snapshot(dir.path()).count(QStringLiteral("\n")) > 15, true);
}

void TestCookbook::toolCommandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("recipes");
    // The distinct types and cuisines of the recipes made, when the row checks them.
    QTest::addColumn<QString>("types");
    QTest::addColumn<QString>("cuisines");
    const QStringList sample{"sample", "@", "--recipes", "25", "--seed", "9"};
    QTest::newRow("create") << QStringList{"create", "@"} << 0 << 0 << ""
                            << "";
    QTest::newRow("sample") << sample << 0 << 25 << "D,F,O"
                            << "";
    QTest::newRow("no folder") << QStringList{"create"} << 2 << -1 << ""
                               << "";
    QTest::newRow("bad count") << QStringList{"sample", "@", "--recipes", "many"} << 2 << -1 << ""
                               << "";
    QTest::newRow("unknown") << QStringList{"destroy", "@"} << 2 << -1 << ""
                             << "";
    QTest::newRow("all food") << sample + QStringList{"--mix", "100,0"} << 0 << 25 << "F"
                              << "";
    QTest::newRow("all drinks") << sample + QStringList{"--mix", "0,100"} << 0 << 25 << "D"
                                << "";
    QTest::newRow("neither food nor drinks")
        << sample + QStringList{"--mix", "0,0"} << 0 << 25 << "O"
        << "";
    QTest::newRow("shares over 100") << sample + QStringList{"--mix", "0,101"} << 2 << -1 << ""
                                     << "";
    QTest::newRow("negative share") << sample + QStringList{"--mix", "-1,50"} << 2 << -1 << ""
                                    << "";
    QTest::newRow("one share") << sample + QStringList{"--mix", "50"} << 2 << -1 << ""
                               << "";
    QTest::newRow("two cuisines") << sample + QStringList{"--cuisines", "Thai,Greek"} << 0 << 25
                                  << ""
                                  << "Greek,Thai";
    QTest::newRow("no cuisine") << sample + QStringList{"--cuisines", ","} << 2 << -1 << ""
                                << "";
}

void TestCookbook::toolCommandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(int, recipes);
    QFETCH(QString, types);
    QFETCH(QString, cuisines);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("new folder"));
    args.replaceInStrings(QStringLiteral("@"), folder);
    QProcess tool;
    tool.start(QStringLiteral(ZESTREL_COOKBOOK_PATH), args);
    QVERIFY(tool.waitForFinished(30000));
    QCOMPARE(tool.exitCode(), exitCode);
    if (recipes < 0) {
        QVERIFY(!QFile::exists(QDir(folder).filePath("cookbook.db")));
        return;
    }
    StoreFixture f(false);
    f.app.CookbookIniPath = QDir(folder).filePath(QStringLiteral("cookbook.ini"));
    f.db->OpenRecipeDatabase();
    QVERIFY(!f.app.NoDatabase);
    QCOMPARE(f.column("SELECT COUNT(*) FROM RECIPE"), QStringList{QString::number(recipes)});
    if (!types.isEmpty())
        QCOMPARE(f.column("SELECT DISTINCT type FROM RECIPE ORDER BY type").join(','), types);
    if (!cuisines.isEmpty())
        QCOMPARE(f.column("SELECT DISTINCT cuisine FROM RECIPE ORDER BY cuisine").join(','),
                 cuisines);
}

QTEST_GUILESS_MAIN(TestCookbook)
#include "tst_cookbook.moc"
