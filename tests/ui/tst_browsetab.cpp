// The browse tab's widgets over a whole session: mouse clicks on the real tvUsers
// walk the own collection down to a recipe and show it in txtPreview_0; the
// storage row, the folding buttons, the context menu and the keyboard brake act
// through the widgets. With ZESTREL_SCREENSHOT set, the window is saved there.
#include "client/TestClient.h"
#include "cookbook/CookbookFactory.h"
#include "store/RecipeDatabase.h"
#include "support/BrowseFixture.h"
#include "ui/BrowseTab.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>
#include <QtTest>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

struct Window {
    Window()
    {
        c.app.UserName = "Anna";
        c.app.MyUserKey = "127.0.0.1" + c.app.FieldSep + "Anna" + c.app.FieldSep + "1";
        c.app.Settings["ALLRECIPES"] = "1";
        c.app.Settings["AUTOEXPANDNODES"] = "1";
        c.enableLog();
        c.app.CookbookIniPath = QDir(c.dir.path()).filePath("cookbook.ini");
        QVERIFY(cookbook::FillSample(c.dir.path(), 30, 7));
        db = std::make_unique<RecipeDatabase>(c.app);
        db->OpenRecipeDatabase();
        QVERIFY(AddCornBread(db->RecipeDb(), 500));
        c.session.AnswerFrom(*db);
        w.browseTab()->bind(c.session);
        w.bindStorageRow(c.session);
        w.resize(900, 620);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        c.members.ProcessUsers(wire::EncodeMembers({{"127.0.0.1", "Anna", "1"}}));
        view = w.findChild<QTreeView *>("tvUsers");
        QVERIFY(view);
    }
    QModelIndex child(const QModelIndex &parent, const QString &text) const
    {
        const QAbstractItemModel *m = view->model();
        for (int r = 0; r < m->rowCount(parent); ++r)
            if (m->index(r, 0, parent).data().toString() == text)
                return m->index(r, 0, parent);
        return {};
    }
    QModelIndex childStartingWith(const QModelIndex &parent, const QString &text) const
    {
        const QAbstractItemModel *m = view->model();
        for (int r = 0; r < m->rowCount(parent); ++r)
            if (m->index(r, 0, parent).data().toString().startsWith(text))
                return m->index(r, 0, parent);
        return {};
    }
    // A real mouse click in the middle of the node's rectangle.
    void click(const QModelIndex &node, Qt::MouseButton button = Qt::LeftButton)
    {
        view->scrollTo(node);
        const QRect r = view->visualRect(node);
        QVERIFY(r.isValid());
        QTest::mouseClick(view->viewport(), button, {}, r.center());
    }
    template <class T> T *find(const char *name) const
    {
        return w.findChild<T *>(QString::fromLatin1(name));
    }
    QString preview() const { return find<QPlainTextEdit>("txtPreview_0")->toPlainText(); }

    TestClient c{"Anna"};
    std::unique_ptr<RecipeDatabase> db;
    MainWindow w;
    QTreeView *view = nullptr;
};

} // namespace

class TestBrowseTab : public QObject
{
    Q_OBJECT
  private slots:
    void clickThroughToThePreview();
    void previewBoxFont();
    void contextMenuDisablesSubNodes();
    void keyboardBrakeHoldsTheArrow();
};

void TestBrowseTab::clickThroughToThePreview()
{
    Window t;
    const QModelIndex me = t.child({}, "Anna");
    QVERIFY(me.isValid());
    t.click(me);
    QCOMPARE(t.view->model()->rowCount(me), 3);
    t.click(t.child(me, "Food"));
    const QModelIndex breads = t.child(t.child(me, "Food"), "Breads");
    QVERIFY(breads.isValid());
    t.click(breads);
    QModelIndex corn;
    for (int r = 0; r < t.view->model()->rowCount(breads) && !corn.isValid(); ++r) {
        const QModelIndex group = t.view->model()->index(r, 0, breads);
        t.view->setExpanded(group, true);
        t.click(group);
        corn = t.child(group, "Corn Bread (500)");
    }
    QVERIFY(corn.isValid());
    t.click(corn);
    QCOMPARE(t.preview(), CornBreadPreview().replace("\r\n", "\n"));
    QCOMPARE(t.find<QLineEdit>("txtStoredRecipe")->text(), "1/1");
    // The own collection: nothing went on the wire.
    QVERIFY(!t.c.log().contains("Client - Sending Data"));

    // A second recipe, then the storage row's buttons.
    const QModelIndex group = corn.parent();
    const QModelIndex other = t.view->model()->index(corn.row() == 0 ? 1 : 0, 0, group);
    if (other.isValid()) {
        t.click(other);
        QCOMPARE(t.find<QLineEdit>("txtStoredRecipe")->text(), "2/2");
        QTest::mouseClick(t.find<QPushButton>("cmdBack"), Qt::LeftButton);
        QCOMPARE(t.find<QLineEdit>("txtStoredRecipe")->text(), "1/2");
        QCOMPARE(t.preview(), CornBreadPreview().replace("\r\n", "\n"));
        QTest::mouseClick(t.find<QPushButton>("cmdRemove"), Qt::LeftButton);
        QCOMPARE(t.find<QLineEdit>("txtStoredRecipe")->text(), "1/1");
    }
    // Folding: "Expand All" opens every loaded level, "Users" shows only the members.
    QTest::mouseClick(t.find<QPushButton>("cmdNodes_3"), Qt::LeftButton);
    QVERIFY(t.view->isExpanded(breads));
    QTest::mouseClick(t.find<QPushButton>("cmdNodes_0"), Qt::LeftButton);
    QVERIFY(!t.view->isExpanded(me));

    if (const QByteArray path = qgetenv("ZESTREL_SCREENSHOT"); !path.isEmpty()) {
        for (QModelIndex n = corn.parent(); n.isValid(); n = n.parent())
            t.view->setExpanded(n, true);
        t.c.session.storage.ProcessRecipe(CornBreadText(t.c.app));
        t.view->setCurrentIndex(corn);
        t.view->scrollTo(corn);
        QVERIFY(t.w.grab().save(QString::fromLocal8Bit(path)));
    }
    QTest::mouseClick(t.find<QPushButton>("cmdRecipeClear"), Qt::LeftButton);
    QCOMPARE(t.preview(), QString());
    QCOMPARE(t.find<QLineEdit>("txtStoredRecipe")->text(), "0/0");
}

void TestBrowseTab::previewBoxFont()
{
    Window t;
    auto *box = t.find<QPlainTextEdit>("txtPreview_0");
    QVERIFY(box->font().fixedPitch());
    QCOMPARE(box->font().pointSizeF(), 8.25);
    QCOMPARE(box->tabStopDistance(),
             QFontMetricsF(box->font()).horizontalAdvance(QLatin1Char(' ')) * 8);
    QCOMPARE(t.find<QLabel>("lblProfile_0")->text(), "Preview");
}

void TestBrowseTab::contextMenuDisablesSubNodes()
{
    Window t;
    auto *menu = t.w.findChild<QMenu *>("mnuBrowse");
    QVERIFY(menu);
    QAction *subNodes = menu->findChild<QAction *>("mnuSubNodeDel");
    QVERIFY(subNodes);
    const QModelIndex me = t.child({}, "Anna");
    bool shown = false, enabledWhileShown = true;
    QTimer::singleShot(200, [&] {
        if (QWidget *popup = QApplication::activePopupWidget()) {
            shown = true;
            enabledWhileShown = subNodes->isEnabled();
            popup->close();
        }
    });
    t.click(me, Qt::RightButton);
    QVERIFY(shown);
    QVERIFY(!enabledWhileShown); // no children yet
    QVERIFY(subNodes->isEnabled());
    // The right click asked for nothing.
    QCOMPARE(t.view->model()->rowCount(me), 0);
    QCOMPARE(t.c.session.browser.LastTreeButton, 0);
}

void TestBrowseTab::keyboardBrakeHoldsTheArrow()
{
    Window t;
    const QModelIndex me = t.child({}, "Anna");
    t.click(me);
    const QModelIndex food = t.child(me, "Food");
    t.click(food);
    QVERIFY(t.view->isExpanded(food));
    const QModelIndex first = t.view->model()->index(0, 0, food);
    const QModelIndex second = t.view->model()->index(1, 0, food);
    QVERIFY(second.isValid());
    // An unloaded category just clicked: a key within half a second is swallowed.
    t.click(first);
    t.c.session.browser.mnuSubNodeDel_Click();
    QCOMPARE(t.view->model()->rowCount(first), 0);
    t.c.session.browser.NoteClickTime();
    QTest::keyClick(t.view, Qt::Key_Down);
    QCOMPARE(t.view->currentIndex(), QModelIndex(first));
    // Later the key moves the selection and the new node is clicked (its groups load).
    QTest::qWait(550);
    QTest::keyClick(t.view, Qt::Key_Down);
    QCOMPARE(t.view->currentIndex(), QModelIndex(second));
    QVERIFY(t.view->model()->rowCount(second) > 0);
}

QTEST_MAIN(TestBrowseTab)
#include "tst_browsetab.moc"
