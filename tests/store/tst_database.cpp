// Opening the recipe database, the one-time missing-database notice, the
// private-recipe rule and the query routine.
#include "config/Ini.h"
#include "support/StoreFixture.h"

#include <QFile>
#include <QtTest>

using namespace zestrel;
using zestrel::test::StoreFixture;

class TestDatabase : public QObject
{
    Q_OBJECT
  private slots:
    void missingDatabaseWarnsOnce();
    void missingDatabaseSilentWithFlag();
    void missingDatabaseIsNotCreated();
    void fileThatIsNotADatabase();
    void opensBesideCookbookIni();
    void privateRule_data();
    void privateRule();
    void tooManyPrivateText();
    void oldDatabase();
    void otherFailureShowsErrorBox();
    void runQueryFailureShowsDbError();
    void firstNewRecipeId_data();
    void firstNewRecipeId();
    void severalDatabasesAtOnce();
    void closeIsSafeTwice();
};

void TestDatabase::missingDatabaseWarnsOnce()
{
    StoreFixture f(false);
    f.db->OpenRecipeDatabase();
    QVERIFY(f.app.NoDatabase);
    QCOMPARE(f.messageTitle(), QStringLiteral("DB Not Present"));
    QVERIFY(f.messages().startsWith(
        QStringLiteral("There is no valid DSN for ZESTREL to save recipes to!\r\n\r\nZestrel was "
                       "desinged to work stand-alone, but some features")));
    QVERIFY(f.messages().contains(QStringLiteral(
        "require a database, you will need to install at least the Freeware/Shareware version "
        "of CKF from QEVO.  You can download CKF FREE at http://www.zestrel.example or http")));
    QCOMPARE(
        ReadIniKey(f.app.SettingsFilePath, QStringLiteral("FLAG"), QStringLiteral("NODBWARNING")),
        QStringLiteral("YES"));

    // The next start is silent.
    f.diag.CloseMessageCenter();
    RecipeDatabase again(f.app);
    again.OpenRecipeDatabase();
    QVERIFY(f.app.NoDatabase);
    QVERIFY(f.messages().isEmpty());
}

void TestDatabase::missingDatabaseSilentWithFlag()
{
    StoreFixture f(false);
    QVERIFY(WriteIniKey(f.app.SettingsFilePath, QStringLiteral("FLAG"),
                        QStringLiteral("NODBWARNING=YES")));
    f.db->OpenRecipeDatabase();
    QVERIFY(f.app.NoDatabase);
    QVERIFY(f.diag.messageCenter() == nullptr);
}

void TestDatabase::missingDatabaseIsNotCreated()
{
    StoreFixture f(false);
    f.db->OpenRecipeDatabase();
    QVERIFY(!QFile::exists(f.dir.filePath(QStringLiteral("cookbook.db"))));
}

void TestDatabase::fileThatIsNotADatabase()
{
    StoreFixture f(false);
    QFile junk(f.dir.filePath(QStringLiteral("cookbook.db")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(4096, 'x'));
    junk.close();
    f.db->OpenRecipeDatabase();
    QVERIFY(f.app.NoDatabase);
    QVERIFY(!f.db->IsOpen());
}

void TestDatabase::opensBesideCookbookIni()
{
    StoreFixture f;
    f.app.NoDatabase = true;
    f.db->OpenRecipeDatabase();
    QVERIFY(!f.app.NoDatabase);
    QVERIFY(f.db->IsOpen());
    QVERIFY(f.diag.messageCenter() == nullptr);
}

void TestDatabase::privateRule_data()
{
    QTest::addColumn<int>("total");
    QTest::addColumn<int>("privateCount");
    QTest::addColumn<bool>("passes");
    QTest::newRow("0/0") << 0 << 0 << true;
    QTest::newRow("10/1") << 10 << 1 << true;
    QTest::newRow("9/1") << 9 << 1 << false;
    QTest::newRow("20/2") << 20 << 2 << true;
    QTest::newRow("20/3") << 20 << 3 << false;
    QTest::newRow("5/0") << 5 << 0 << true;
}

void TestDatabase::privateRule()
{
    QFETCH(int, total);
    QFETCH(int, privateCount);
    QFETCH(bool, passes);
    StoreFixture f;
    f.open();
    for (int i = 1; i <= total; ++i)
        f.addRecipe(i, QStringLiteral("F"), QStringLiteral("R%1").arg(i), QStringLiteral("Beef"),
                    i <= privateCount);
    QCOMPARE(f.db->CheckPrivateRecipes(), passes);
    QCOMPARE(f.prompter.shown.size(), passes ? 0 : 1);
}

void TestDatabase::tooManyPrivateText()
{
    StoreFixture f;
    f.open();
    for (int i = 1; i <= 9; ++i)
        f.addRecipe(i, QStringLiteral("F"), QStringLiteral("R%1").arg(i), QStringLiteral("Beef"),
                    i == 1);
    QVERIFY(!f.db->CheckPrivateRecipes());
    QCOMPARE(f.prompter.shown.size(), 1);
    const auto &box = f.prompter.shown.first();
    QCOMPARE(box.title, QStringLiteral("Too Many Private Recipes"));
    QCOMPARE(box.icon, PromptIcon::Information);
    QCOMPARE(box.text,
             QStringLiteral("You MUST not mark more than 10% of your recipes as private to be able "
                            "to log on to the Zestrel server.\r\n\r\nYou have marked 1 / 9, or "
                            "11.1111111111111% of your recipes as private.\r\n\r\nZestrel promotes "
                            "the sharing of recipes.  If you are not willing to share your recipes "
                            "with others, you will not be permitted to use this program!"));
}

void TestDatabase::oldDatabase()
{
    StoreFixture f(true, false);
    f.open();
    QVERIFY(!f.db->CheckPrivateRecipes());
    QCOMPARE(f.prompter.shown.size(), 1);
    QCOMPARE(f.prompter.shown[0].title, QStringLiteral("Previous Database"));
    QCOMPARE(f.prompter.shown[0].icon, PromptIcon::Information);
    QCOMPARE(f.prompter.shown[0].text,
             QStringLiteral("It appears that your database is a previous version!  Please download "
                            "and apply the latest patch for CKF to get the CKF databse updated to "
                            "version 2.7\r\n\r\nCKF 2.7 allows users to specify which recipes are "
                            "shared and which are private."));
}

void TestDatabase::otherFailureShowsErrorBox()
{
    StoreFixture f;
    f.open();
    f.exec(QStringLiteral("DROP TABLE RECIPE"));
    QVERIFY(!f.db->CheckPrivateRecipes());
    QCOMPARE(f.prompter.shown.size(), 1);
    QCOMPARE(f.prompter.shown[0].title, QStringLiteral("Zestrel"));
    QCOMPARE(f.prompter.shown[0].icon, PromptIcon::None);
    QVERIFY(f.prompter.shown[0].text.contains(QStringLiteral(": QSQLITE\r\n\r\n")));
    QVERIFY(f.prompter.shown[0].text.contains(QStringLiteral("no such table")));
}

void TestDatabase::runQueryFailureShowsDbError()
{
    StoreFixture f;
    f.open();
    f.diag.ShowMessage(QString(), QStringLiteral("Kept title"));
    QVERIFY(!f.db->RunQuery(QStringLiteral("SELECT nothing FROM nowhere")));
    QCOMPARE(f.messages(), QStringLiteral("DB ERROR"));
    QCOMPARE(f.messageTitle(), QStringLiteral("Kept title"));
    QVERIFY(f.db->RunQuery(QStringLiteral("SELECT COUNT(*) FROM RECIPE WHERE id = ?"), {1}));
}

void TestDatabase::firstNewRecipeId_data()
{
    QTest::addColumn<QString>("iniText");
    QTest::addColumn<QString>("expected");
    QTest::newRow("missing key") << QStringLiteral("[Misc]\r\nOther=3\r\n") << QStringLiteral("1");
    QTest::newRow("1200") << QStringLiteral("[Misc]\r\nMaxRecipeID=1200\r\n")
                          << QStringLiteral("1201");
    QTest::newRow("not a number") << QStringLiteral("[Misc]\r\nMaxRecipeID=lots\r\n")
                                  << QStringLiteral("1");
    QTest::newRow("no file") << QString() << QStringLiteral("1");
    QTest::newRow("too large") << QStringLiteral("[Misc]\r\nMaxRecipeID=99999999999999999999\r\n")
                               << QStringLiteral("1");
    QTest::newRow("largest - 1") << QStringLiteral("[Misc]\r\nMaxRecipeID=9223372036854775806\r\n")
                                 << QStringLiteral("9223372036854775807");
    QTest::newRow("largest") << QStringLiteral("[Misc]\r\nMaxRecipeID=9223372036854775807\r\n")
                             << QStringLiteral("1");
}

void TestDatabase::firstNewRecipeId()
{
    QFETCH(QString, iniText);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("cookbook.ini"));
    if (!iniText.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(iniText.toLatin1());
    }
    QCOMPARE(ReadFirstNewRecipeId(path), expected);
}

void TestDatabase::severalDatabasesAtOnce()
{
    StoreFixture a, b;
    a.open();
    b.open();
    a.addRecipe(1, QStringLiteral("F"), QStringLiteral("Only in A"));
    QCOMPARE(a.column(QStringLiteral("SELECT COUNT(*) FROM RECIPE")), QStringList{"1"});
    QCOMPARE(b.column(QStringLiteral("SELECT COUNT(*) FROM RECIPE")), QStringList{"0"});
}

void TestDatabase::closeIsSafeTwice()
{
    StoreFixture f;
    f.db->CloseRecipeDatabase(); // never opened
    f.open();
    f.db->CloseRecipeDatabase();
    f.db->CloseRecipeDatabase();
    QVERIFY(!f.db->IsOpen());
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
