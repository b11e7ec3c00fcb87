// The Cookbook window through its real widgets: write a recipe from the keyboard, save
// it, find it by the filter; the questions it asks before changes are lost.
#include "browse/Preview.h"
#include "config/Ini.h"
#include "cookbook/Schema.h"
#include "cookbookui/CookbookWindow.h"
#include "store/TransferText.h"
#include "support/FakePrompter.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;
using namespace zestrel::cookbook;
using zestrel::cookbookui::CookbookWindow;

namespace
{

template <typename T> T *Child(QWidget &w, const char *name)
{
    T *child = w.findChild<T *>(QLatin1String(name));
    if (!child)
        qFatal("no %s", name);
    return child;
}

QStringList Rows(QListView *list)
{
    QStringList rows;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        rows << list->model()->index(r, 0).data().toString();
    return rows;
}

struct Fixture {
    QTemporaryDir dir;
    test::FakePrompter prompter;
    CookbookWindow window{prompter};

    explicit Fixture(const QStringList &titles = {"Beef Stew", "Apple Pie"})
    {
        CreateCookbook(dir.path());
        WriteIniKey(Cookbook::IniPath(dir.path()), "Misc", "MaxRecipeID=100");
        Cookbook book;
        book.Open(dir.path());
        for (const QString &t : titles) {
            Recipe r;
            r.title = t;
            r.ingredients = {{"1", "lb", t == "Beef Stew" ? "stewing beef" : "apples", ""}};
            book.Save(r);
        }
    }

    void show()
    {
        QVERIFY(window.OpenFolder(dir.path()));
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
};

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
  private slots:
    void writeSaveFind();
    void unsavedChangesAreAsked();
    void deleteAsksFirst();
    void refusedAndLockedSavesKeepTheEdit();
    void missingOrOlderCookbook();
};

void TestWindow::writeSaveFind()
{
    Fixture f;
    f.show();
    QCOMPARE(f.window.windowTitle(),
             "Zestrel Cookbook - " + QDir::toNativeSeparators(f.dir.path()) + "[*]");
    auto *list = Child<QListView>(f.window, "lvwRecipes");
    QCOMPARE(Rows(list), (QStringList{"Apple Pie", "Beef Stew"}));
    QCOMPARE(Child<QLabel>(f.window, "lblCount")->text(), "2 recipes");

    // Ctrl+N: an empty recipe, the cursor in its title.
    QTest::keyClick(&f.window, Qt::Key_N, Qt::ControlModifier);
    QTRY_COMPARE(QApplication::focusWidget(), Child<QLineEdit>(f.window, "txtTitle"));
    QTest::keyClicks(QApplication::focusWidget(), "Lemon Bars");
    Child<QComboBox>(f.window, "cboRecipeType")->setCurrentIndex(0);
    QTest::keyClicks(Child<QLineEdit>(f.window, "txtCategory"), "Cookies");
    QTest::keyClicks(Child<QLineEdit>(f.window, "txtServings"), "16");
    auto *ingredients = Child<QTableWidget>(f.window, "tblIngredients");
    for (const QStringList &row : {QStringList{"1", "cup", "flour"}, {"2", "", "lemons"}}) {
        Child<QPushButton>(f.window, "cmdAddIngredient")->click();
        for (int c = 0; c < row.size(); ++c)
            ingredients->item(ingredients->currentRow(), c)->setText(row[c]);
    }
    Child<QPushButton>(f.window, "cmdAddIngredient")->click(); // left empty: not saved
    Child<QPushButton>(f.window, "cmdUpIngredient")->click();  // nor does moving it matter
    auto *steps = Child<QTableWidget>(f.window, "tblDirections");
    Child<QPushButton>(f.window, "cmdAddStep")->click();
    steps->item(0, 0)->setText("Bake at 350 F.");
    QTest::keyClicks(Child<QPlainTextEdit>(f.window, "txtNotes"), "Tart.");
    QVERIFY(f.window.HasUnsavedChanges());

    // As other members will see it, before it is saved.
    const QString shared = Child<QPlainTextEdit>(f.window, "txtShared")->toPlainText();
    QCOMPARE(shared, "Title:    \tLemon Bars\nSource:    \t\nCategory:     \tCookies\n"
                     "Cuisine:     \t\nServings:     \t16\nPrep Time:    \t\nCook Time:    \t\n"
                     "Misc/Other: \t\n\nIngredients:\n  1 cup flour\n  2  lemons\n\n"
                     "Directions:\n1:  Bake at 350 F.\n\nNotes:\n  Tart.\n");

    QTest::keyClick(&f.window, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(f.prompter.shown.size(), 0);
    QVERIFY(!f.window.HasUnsavedChanges());
    QCOMPARE(Child<QLabel>(f.window, "lblCount")->text(), "3 recipes");
    const Recipe saved = *f.window.Store().Load(103);
    QCOMPARE(saved.title, "Lemon Bars");
    QCOMPARE(saved.ingredients.size(), 2);
    QCOMPARE(saved.directions, QStringList{"Bake at 350 F."});

    // The client, reading the saved rows, previews exactly that.
    Diagnostics diag;
    test::FakePrompter quiet;
    AppState app(diag, quiet, f.dir.path());
    app.InitSeparators();
    app.CookbookIniPath = Cookbook::IniPath(f.dir.path());
    RecipeDatabase db(app);
    db.OpenRecipeDatabase();
    QCOMPARE(FormatRecipe(*BrowsePreviewText(db, "103"), app)->replace("\r\n", "\n"), shared);

    // Ctrl+F, then the filter finds it by its ingredient, without regard to case.
    QTest::keyClick(&f.window, Qt::Key_F, Qt::ControlModifier);
    QTRY_COMPARE(QApplication::focusWidget(), Child<QLineEdit>(f.window, "txtFilter"));
    QTest::keyClicks(QApplication::focusWidget(), "LEMON");
    QCOMPARE(Rows(list), QStringList{"Lemon Bars"});
    QCOMPARE(Child<QLabel>(f.window, "lblCount")->text(), "1 of 3 recipes");
    Child<QComboBox>(f.window, "cboType")->setCurrentIndex(2); // Drink
    QCOMPARE(Rows(list), QStringList{});

    // Private: marked in the list, not shared.
    Child<QComboBox>(f.window, "cboType")->setCurrentIndex(0);
    Child<QCheckBox>(f.window, "chkPrivate")->setChecked(true);
    QCOMPARE(Child<QPlainTextEdit>(f.window, "txtShared")->toPlainText(), "Private: not shared");
    QVERIFY(f.window.SaveRecipe());
    QCOMPARE(Rows(list), QStringList{"Lemon Bars   (private)"});
}

void TestWindow::unsavedChangesAreAsked()
{
    Fixture f;
    f.show();
    auto *list = Child<QListView>(f.window, "lvwRecipes");
    auto *title = Child<QLineEdit>(f.window, "txtTitle");
    QCOMPARE(title->text(), "Apple Pie");
    QTest::keyClicks(title, " Deluxe");
    // No: the change is dropped and the other recipe shown.
    list->setCurrentIndex(list->model()->index(1, 0));
    QCOMPARE(f.prompter.titles(), QStringList{"Unsaved Changes"});
    QCOMPARE(f.prompter.shown[0].text, "You have changed \"Apple Pie Deluxe\" and not saved it.\n\n"
                                       "Save the changes now? (No drops them.)");
    QCOMPARE(title->text(), "Beef Stew");
    QCOMPARE(Rows(list), (QStringList{"Apple Pie", "Beef Stew"}));
    // Yes: saved first.
    QTest::keyClicks(title, " II");
    f.prompter.answers.enqueue(PromptAnswer::Yes);
    list->setCurrentIndex(list->model()->index(0, 0));
    QCOMPARE(title->text(), "Apple Pie");
    QCOMPARE(Rows(list), (QStringList{"Apple Pie", "Beef Stew II"}));
    // Closing asks too.
    QTest::keyClicks(title, "!");
    f.prompter.answers.enqueue(PromptAnswer::Yes);
    QVERIFY(f.window.close());
    QCOMPARE(f.prompter.titles().size(), 3);
    QCOMPARE(f.window.Store().Entries()->front().title, "Apple Pie!");
}

void TestWindow::deleteAsksFirst()
{
    Fixture f;
    f.show();
    auto *list = Child<QListView>(f.window, "lvwRecipes");
    list->setFocus();
    list->setCurrentIndex(list->model()->index(1, 0));
    QCOMPARE(f.window.SelectedIds(), QList<qint64>{101});
    QTest::keyClick(list, Qt::Key_Delete); // answered No
    QCOMPARE(f.prompter.shown.back().text,
             "Delete \"Beef Stew\" from the cookbook? This cannot be undone.");
    QCOMPARE(f.prompter.shown.back().title, "Delete Recipe");
    QCOMPARE(*f.window.Store().Count(), 2);
    f.prompter.answers.enqueue(PromptAnswer::Yes);
    QTest::keyClick(list, Qt::Key_Delete);
    QCOMPARE(*f.window.Store().Count(), 1);
    QCOMPARE(Rows(list), QStringList{"Apple Pie"});
    QCOMPARE(Child<QLabel>(f.window, "lblCount")->text(), "1 recipe");
    QCOMPARE(Child<QLineEdit>(f.window, "txtTitle")->text(), "Apple Pie");
    // Delete in a text field deletes text, not the recipe.
    auto *title = Child<QLineEdit>(f.window, "txtTitle");
    title->setFocus();
    title->setCursorPosition(0);
    QTest::keyClick(title, Qt::Key_Delete);
    QCOMPARE(title->text(), "pple Pie");
    QCOMPARE(f.prompter.shown.size(), 2);
}

void TestWindow::refusedAndLockedSavesKeepTheEdit()
{
    Fixture f;
    f.show();
    auto *title = Child<QLineEdit>(f.window, "txtTitle");
    title->clear();
    QTest::keyClicks(title, "2^3 Pie");
    QVERIFY(!f.window.SaveRecipe());
    QCOMPARE(f.prompter.shown.back().text,
             "The title holds \"^\", which would break the recipe as other members receive it.");
    QCOMPARE(QApplication::focusWidget(), title);
    QCOMPARE(Child<QPlainTextEdit>(f.window, "txtShared")->toPlainText(),
             "Not shared as it stands: The title holds \"^\", which would break the recipe as "
             "other members receive it.");

    // Another program holds the file longer than the time-out.
    title->setText("Apple Pie Deluxe");
    f.window.Store().SetBusyTimeout(100);
    QVERIFY(f.window.Store().Open(f.dir.path()));
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
        other.setDatabaseName(Cookbook::DatabasePath(f.dir.path()));
        QVERIFY(other.open());
        QSqlQuery(other).exec("BEGIN EXCLUSIVE");
        QVERIFY(!f.window.SaveRecipe());
        QCOMPARE(f.prompter.shown.back().text,
                 "The cookbook is in use by another program, which kept it locked for more than "
                 "0.1 seconds. Nothing was written; try again in a moment.");
        QCOMPARE(title->text(), "Apple Pie Deluxe");
        QVERIFY(f.window.HasUnsavedChanges());
        QSqlQuery(other).exec("ROLLBACK");
        other.close();
    }
    QSqlDatabase::removeDatabase("other");
    QVERIFY(f.window.SaveRecipe());
    QCOMPARE(f.window.Store().Load(100 + 2)->title, "Apple Pie Deluxe");
}

void TestWindow::missingOrOlderCookbook()
{
    {
        QTemporaryDir dir;
        test::FakePrompter prompter;
        CookbookWindow window(prompter);
        QVERIFY(!window.OpenFolder(dir.path())); // answered No
        QCOMPARE(prompter.shown[0].text, "There is no cookbook in " +
                                             QDir::toNativeSeparators(dir.path()) +
                                             " yet.\n\nCreate an empty cookbook there now?");
        QVERIFY(!Cookbook::Exists(dir.path()));
        prompter.answers.enqueue(PromptAnswer::Yes);
        QVERIFY(window.OpenFolder(dir.path()));
        QVERIFY(Cookbook::Exists(dir.path()));
        QCOMPARE(Child<QLabel>(window, "lblCount")->text(), "0 recipes");
        QVERIFY(Child<QCheckBox>(window, "chkPrivate")->isEnabled());
    }
    QTemporaryDir dir;
    {
        QSqlDatabase raw = QSqlDatabase::addDatabase("QSQLITE", "old");
        raw.setDatabaseName(Cookbook::DatabasePath(dir.path()));
        QVERIFY(raw.open());
        QVERIFY(CreateSchema(raw, nullptr, false));
        raw.close();
    }
    QSqlDatabase::removeDatabase("old");
    test::FakePrompter prompter;
    CookbookWindow window(prompter);
    QVERIFY(window.OpenFolder(dir.path()));
    auto *box = Child<QCheckBox>(window, "chkPrivate");
    QVERIFY(!box->isEnabled());
    QCOMPARE(box->toolTip(), "This cookbook was made by a recipe manager older than 2.7: it has "
                             "no place for the private mark, so every recipe in it is shared.");
    QTest::keyClicks(Child<QLineEdit>(window, "txtTitle"), "Toast");
    QVERIFY(window.SaveRecipe());
    QCOMPARE(Child<QLabel>(window, "lblCount")->text(), "1 recipe");
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
