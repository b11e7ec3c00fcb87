// The Search and Chat tabs show their models and pass the member's actions on;
// with ZESTREL_SCREENSHOTS set to a folder, the tabs of a member searching and
// chatting on a real relay are saved there as PNG files.
#include "client/NetMembers.h"
#include "ui/ChatTab.h"
#include "ui/MainWindow.h"
#include "ui/SearchTab.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>

using namespace zestrel;
using namespace zestrel::test;

class TestTabs : public QObject
{
    Q_OBJECT
  private slots:
    void searchTab();
    void chatTab();
    void screenshots();
};

void TestTabs::searchTab()
{
    TestClient c("Anna");
    MainWindow w;
    SearchModel &s = c.session.search;
    w.searchTab()->bind(s);
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    w.tabs()->setCurrentIndex(MainWindow::SearchTab);
    QCOMPARE(w.page(MainWindow::SearchTab), static_cast<QWidget *>(w.searchTab()));

    auto *title = w.findChild<QLineEdit *>("txtData_0");
    QVERIFY(title);
    QTest::keyClicks(title, "Soup");
    QCOMPARE(s.Data(0), QString("Soup"));
    s.ResetSearchWindow();
    QCOMPARE(title->text(), QString());

    const QString owner = "10.0.0.9" + FS() + "Bob" + FS() + "1";
    s.ProcessSearchResults(wire::Encode(wire::SearchHit{owner, "2", "Zucchini Bread"}) + LS() +
                           wire::Encode(wire::SearchHit{owner, "1", "Apple Pie"}));
    auto *list = w.findChild<QTreeView *>("lvwResults");
    QCOMPARE(list->model()->rowCount(), 2);
    QVERIFY(list->isColumnHidden(SearchModel::IpColumn));
    emit list->header()->sectionClicked(SearchModel::TitleColumn);
    QCOMPARE(s.SortColumn(), int(SearchModel::TitleColumn));
    QCOMPARE(list->model()->index(0, 2).data().toString(), QString("Apple Pie (1)"));

    auto *preview = w.findChild<QPlainTextEdit *>("txtPreview_1");
    s.SetPreviewText("Apple Pie\r\nApples");
    QCOMPARE(preview->toPlainText(), QString("Apple Pie\nApples"));
    preview->setFocus();
    QTRY_VERIFY(preview->hasFocus());
    QTest::keyClick(preview, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(c.centerText(), QString("Apple Pie\r\nApples"));

    // Too short: the message, and the title field takes the focus.
    w.findChild<QPushButton *>("cmdSearch")->click();
    QCOMPARE(c.centerTitle(), QString("Error"));
    QTRY_VERIFY(title->hasFocus());
}

void TestTabs::chatTab()
{
    TestClient c("Anna");
    c.app.UserName = "Anna";
    MainWindow w;
    ChatRooms &chat = c.session.chat;
    w.chatTab()->bind(chat);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *rooms = w.findChild<QComboBox *>("cboChatRooms");
    auto *join = w.findChild<QPushButton *>("cmdJoin");
    auto *send = w.findChild<QPushButton *>("cmdSend");
    auto *leave = w.findChild<QPushButton *>("cmdLeave");
    QVERIFY(join->isEnabled() && !send->isEnabled() && !leave->isEnabled());
    QVERIFY(w.findChild<QPushButton *>("cmdClear")->isEnabled());

    chat.ProcessRoomList(Rooms().join(LS()));
    QCOMPARE(rooms->count(), 3);
    QCOMPARE(rooms->currentIndex(), 0);
    chat.SetListIndex(2);
    QCOMPARE(rooms->currentIndex(), 2);
    chat.ShowChatLine(wire::Encode(wire::ChatLine{"Bob", "hello", "255", "2"}));
    QCOMPARE(w.findChild<QTextEdit *>("rtbChat")->toPlainText(), QString("[Bob]:  hello\n"));
    auto *box = w.findChild<QLineEdit *>("txtSend");
    QTest::keyClicks(box, "typed");
    QCOMPARE(chat.SendText(), QString("typed"));
    box->setText(QString(40000, 'p')); // no silent cut at 32,767
    QCOMPARE(box->text().size(), 40000);
    w.findChild<QPushButton *>("cmdClear")->click();
    QCOMPARE(w.findChild<QTextEdit *>("rtbChat")->toPlainText(), QString());
}

void TestTabs::screenshots()
{
    const QString folder = qEnvironmentVariable("ZESTREL_SCREENSHOTS");
    if (folder.isEmpty())
        QSKIP("ZESTREL_SCREENSHOTS not set");
    ServerProcess server;
    QVERIFY(StartRelay(server));
    NetMember a(server, "Anna"), b(server, "Bob"), c(server, "Cleo");
    b.giveCookbook({{1, "Tomato Soup", "Soups"},
                    {2, "Onion Soup", "Soups"},
                    {3, "Chicken Noodle Soup", "Soups"}});
    c.giveCookbook({{5, "Soup (Cold)", "Soups"}, {6, "Pumpkin Soup", "Soups"}});
    a.setting("TEXTCOLOR", "8388608");
    b.setting("TEXTCOLOR", "32768");
    c.setting("TEXTCOLOR", "128");
    QVERIFY(SignInAll({&a, &b, &c}));
    MainWindow w;
    w.bindStatus(a.client->diag.status);
    w.searchTab()->bind(a.session.search);
    w.chatTab()->bind(a.session.chat);
    for (NetMember *m : {&a, &b, &c})
        m->session.chat.ApplyDisplaySettings();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));

    w.tabs()->setCurrentIndex(MainWindow::SearchTab);
    a.session.search.SearchPause = 0.3;
    a.session.search.SetData(0, "Soup");
    QVERIFY(a.session.search.cmdSearch_Click());
    QTRY_COMPARE_WITH_TIMEOUT(a.session.search.lvwResults.rowCount(), 5, kNetWait);
    // The recipe reply (105) is the preview's; its text stands in here.
    QTreeView *list = w.searchTab()->results();
    for (int r = 0; r < list->model()->rowCount(); ++r)
        if (list->model()->index(r, 2).data().toString().startsWith("Tomato"))
            list->setCurrentIndex(list->model()->index(r, 0));
    a.session.search.SetPreviewText(
        "Tomato Soup\r\n\r\n4 servings\r\n\r\n2 lb tomatoes\r\n1 onion");
    QTest::qWait(200);
    QVERIFY(w.grab().save(QDir(folder).filePath("search-tab.png")));

    w.tabs()->setCurrentIndex(MainWindow::ChatTab);
    for (NetMember *m : {&a, &b, &c})
        m->session.chat.TabShown();
    QTRY_COMPARE_WITH_TIMEOUT(a.session.chat.cboChatRooms.rowCount(), 3, kNetWait);
    QTRY_COMPARE_WITH_TIMEOUT(c.session.chat.cboChatRooms.rowCount(), 3, kNetWait);
    for (NetMember *m : {&a, &b, &c})
        m->session.chat.EnterRoom();
    QTRY_VERIFY_WITH_TIMEOUT(a.session.chat.DisplayText().count("ENTERED") == 3, kNetWait);
    auto say = [](NetMember &m, const QString &text) {
        m.session.chat.SetSendText(text);
        m.session.chat.cmdSend_Click();
        QTest::qWait(100);
    };
    say(b, "Anyone tried the onion soup yet?");
    say(a, "Yes! Found it with the search, it is great.");
    say(c, "Mine is the cold one, perfect for summer.");
    QTRY_VERIFY_WITH_TIMEOUT(a.session.chat.DisplayText().contains("summer"), kNetWait);
    a.session.chat.SetSendText("See you later");
    QTest::qWait(200);
    QVERIFY(w.grab().save(QDir(folder).filePath("chat-tab.png")));
}

QTEST_MAIN(TestTabs)
#include "tst_tabs.moc"
