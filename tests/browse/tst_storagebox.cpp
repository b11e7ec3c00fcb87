// The storage box: receiving, paging, removing, clearing, the
// capacity, and what a connection attempt and a reset do to it.
#include "browse/Preview.h"
#include "browse/StorageBox.h"
#include "store/Import.h"
#include "support/BrowseFixture.h"
#include "support/StoreFixture.h"

#include <QSignalSpy>
#include <QtTest>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

struct Box {
    Box() { app.InitSeparators(); }
    // A recipe text titled "R<n>" (window section "0", or none).
    QString recipe(int n, bool window = true) const
    {
        const QString fs = app.FieldSep, ss = app.ListSep + app.ListSep;
        return "Food" + fs + "R" + QString::number(n) + ss + "1" + fs + "cup" + fs + "flour" + fs +
               "x" + ss + "1" + fs + "Stir." + (window ? ss + "0" : QString());
    }
    QString shown(int n) const { return *FormatRecipe(recipe(n), app); }
    void fill(int count)
    {
        for (int n = 1; n <= count; ++n)
            storage.ProcessRecipe(recipe(n));
    }
    QStringList titles() const
    {
        QStringList t;
        for (const QString &r : storage.StoredRecipes())
            t << r.split(app.FieldSep).value(1).split(app.ListSep).value(0);
        return t;
    }
    bool bothShow(const QString &text) const
    {
        return storage.txtPreview_0() == text && storage.txtPreview_1() == text;
    }

    QTemporaryDir dir;
    Diagnostics diag;
    FakePrompter prompter;
    AppState app{diag, prompter, dir.path()};
    StorageBox storage{app};
};

} // namespace

class TestStorageBox : public QObject
{
    Q_OBJECT
  private slots:
    void startsEmpty();
    void receivedRecipeIsShownInBoth();
    void paging_data();
    void paging();
    void removal_data();
    void removal();
    void removeWithEmptyBox();
    void capacity_data();
    void capacity();
    void sameRecipeTwice();
    void clearAll();
    void resetThenConnect();
    void automaticReconnection();
    void textWithoutWindowIsStoredNotShown();
    void currentPreviewSeam();
    void importRemovesTheRecipeOnShow();
};

void TestStorageBox::startsEmpty()
{
    Box b;
    QCOMPARE(b.storage.txtStoredRecipe(), "0/0");
    QCOMPARE(b.storage.StoredPosition(), 0);
    QVERIFY(b.bothShow(QString()));
}

void TestStorageBox::receivedRecipeIsShownInBoth()
{
    Box b;
    QSignalSpy counter(&b.storage, &StorageBox::counterChanged);
    b.fill(5);
    QCOMPARE(b.storage.txtStoredRecipe(), "5/5");
    QVERIFY(b.bothShow(b.shown(5)));
    QCOMPARE(counter.size(), 5);
}

void TestStorageBox::paging_data()
{
    // Three stored, on show at 3; a press sequence of b(ack) and n(ext).
    QTest::addColumn<QString>("presses");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("counter");
    QTest::newRow("back once") << "b" << 2 << "2/3";
    QTest::newRow("back twice") << "bb" << 1 << "1/3";
    QTest::newRow("back three times stays at 1") << "bbb" << 1 << "1/3";
    QTest::newRow("next at the end stays") << "n" << 3 << "3/3";
    QTest::newRow("there and back") << "bbbnn" << 3 << "3/3";
}

void TestStorageBox::paging()
{
    QFETCH(QString, presses);
    QFETCH(int, position);
    QFETCH(QString, counter);
    Box b;
    b.fill(3);
    for (QChar p : presses)
        p == 'b' ? b.storage.cmdBack_Click() : b.storage.cmdNext_Click();
    QCOMPARE(b.storage.StoredPosition(), position);
    QCOMPARE(b.storage.txtStoredRecipe(), counter);
    QVERIFY(b.bothShow(b.shown(position)));
}

void TestStorageBox::removal_data()
{
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("at");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("shownTitle"); // 0: both boxes empty
    QTest::addColumn<QStringList>("left");
    QTest::newRow("first of three: the next moves up")
        << 3 << 1 << "1/2" << 2 << QStringList{"R2", "R3"};
    QTest::newRow("middle of three: the previous is shown")
        << 3 << 2 << "1/2" << 1 << QStringList{"R1", "R3"};
    QTest::newRow("last of three: the previous is shown")
        << 3 << 3 << "2/2" << 2 << QStringList{"R1", "R2"};
    QTest::newRow("the only one") << 1 << 1 << "0/0" << 0 << QStringList{};
}

void TestStorageBox::removal()
{
    QFETCH(int, stored);
    QFETCH(int, at);
    QFETCH(QString, counter);
    QFETCH(int, shownTitle);
    QFETCH(QStringList, left);
    Box b;
    b.fill(stored);
    while (b.storage.StoredPosition() > at)
        b.storage.cmdBack_Click();
    b.storage.cmdRemove_Click();
    QCOMPARE(b.storage.txtStoredRecipe(), counter);
    QCOMPARE(b.titles(), left);
    QVERIFY(b.bothShow(shownTitle ? b.shown(shownTitle) : QString()));
}

void TestStorageBox::removeWithEmptyBox()
{
    Box b;
    QSignalSpy counter(&b.storage, &StorageBox::counterChanged);
    b.storage.RemoveStoredRecipe();
    QCOMPARE(b.storage.txtStoredRecipe(), "0/0");
    QCOMPARE(counter.size(), 0);
}

void TestStorageBox::capacity_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("received");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("oldest");
    QTest::newRow("ten of ten") << "10" << 10 << "10/10"
                                << "R1";
    QTest::newRow("eleventh drops the oldest") << "10" << 11 << "10/10"
                                               << "R2";
    QTest::newRow("default 25") << "" << 30 << "25/25"
                                << "R6";
    QTest::newRow("100") << "100" << 130 << "100/100"
                         << "R31";
    QTest::newRow("no 16-bit limit") << "40000" << 33000 << "33000/33000"
                                     << "R1";
}

void TestStorageBox::capacity()
{
    QFETCH(QString, setting);
    QFETCH(int, received);
    QFETCH(QString, counter);
    QFETCH(QString, oldest);
    Box b;
    if (!setting.isEmpty())
        b.app.Settings["STOREDRECIPES"] = setting;
    b.fill(received);
    QCOMPARE(b.storage.txtStoredRecipe(), counter);
    QCOMPARE(b.titles().value(0), oldest);
    QVERIFY(b.bothShow(b.shown(received)));
}

void TestStorageBox::sameRecipeTwice()
{
    Box b;
    b.fill(3);
    b.storage.cmdBack_Click();
    b.storage.cmdBack_Click();
    b.storage.ProcessRecipe(b.recipe(1));
    QCOMPARE(b.titles(), (QStringList{"R2", "R3", "R1"}));
    QCOMPARE(b.storage.txtStoredRecipe(), "3/3");
    QVERIFY(b.bothShow(b.shown(1)));
    // A text differing only in its window section is another recipe.
    b.storage.ProcessRecipe(b.recipe(1).chopped(1) + "1");
    QCOMPARE(b.storage.txtStoredRecipe(), "4/4");
}

void TestStorageBox::clearAll()
{
    Box b;
    b.fill(4);
    b.storage.cmdRecipeClear_Click();
    QCOMPARE(b.storage.txtStoredRecipe(), "0/0");
    QCOMPARE(b.storage.StoredCount(), 0);
    QVERIFY(b.bothShow(QString()));
}

void TestStorageBox::resetThenConnect()
{
    Box b;
    b.fill(5);
    b.storage.ResetViews();      // the window's connection reset
    b.storage.EmptyForConnect(); // the connection attempt after it
    QCOMPARE(b.storage.txtStoredRecipe(), "0/0");
    QVERIFY(b.bothShow(QString()));
    QCOMPARE(b.storage.StoredCount(), 0);
    b.storage.cmdNext_Click();
    QCOMPARE(b.storage.txtStoredRecipe(), "0/0");
    QCOMPARE(b.storage.StoredPosition(), 0);
}

void TestStorageBox::automaticReconnection()
{
    Box b;
    b.fill(3);
    b.storage.EmptyForConnect();
    QCOMPARE(b.storage.StoredCount(), 0);
    QCOMPARE(b.storage.StoredPosition(), 0);
    // The counter and the previews keep the old numbers and recipe...
    QCOMPARE(b.storage.txtStoredRecipe(), "3/3");
    QVERIFY(b.bothShow(b.shown(3)));
    // ...until the next press.
    b.storage.cmdBack_Click();
    QCOMPARE(b.storage.txtStoredRecipe(), "0/0");
    QVERIFY(b.bothShow(b.shown(3)));
}

void TestStorageBox::textWithoutWindowIsStoredNotShown()
{
    Box b;
    b.fill(1);
    b.storage.ProcessRecipe(b.recipe(2, false));
    QCOMPARE(b.storage.txtStoredRecipe(), "2/2");
    QVERIFY(b.bothShow(b.shown(1)));
}

void TestStorageBox::currentPreviewSeam()
{
    Box b;
    QSignalSpy shown(&b.storage, &StorageBox::recipeShown);
    b.fill(1);
    int tab = 1;
    b.storage.CurrentPreviewBox = [&tab] { return tab; };
    b.storage.ProcessRecipe(b.recipe(2));
    tab = -1;
    b.storage.ProcessRecipe(b.recipe(3));
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown[0][0].toInt(), 0); // unset: the browse box
    QCOMPARE(shown[1][0].toInt(), 1);
    QCOMPARE(shown[2][0].toInt(), -1);
    // Whichever box is current, both show the recipe.
    QVERIFY(b.bothShow(b.shown(3)));
}

void TestStorageBox::importRemovesTheRecipeOnShow()
{
    StoreFixture f;
    f.open();
    StorageBox storage(f.app);
    storage.ProcessRecipe(CornBreadText(f.app));
    const QString other = QString(CornBreadText(f.app)).replace("Corn Bread", "Rye Bread");
    storage.ProcessRecipe(other);
    storage.cmdBack_Click();
    cmdImport(*f.db, storage, 0, storage.txtPreview_0());
    QCOMPARE(f.column("SELECT title FROM RECIPE"), QStringList{"Corn Bread"});
    // The first one went; the next moved up and is on show.
    QCOMPARE(storage.txtStoredRecipe(), "1/1");
    QCOMPARE(storage.txtPreview_0(), *FormatRecipe(other, f.app));
}

QTEST_GUILESS_MAIN(TestStorageBox)
#include "tst_storagebox.moc"
