// The whole window: its controls and captions, the menu bar, the tab rules, the tray,
// the news page, the Help and Settings menu items and auto-start, driven through the
// real Application in a temporary program folder.
#include "client/Session.h"
#include "config/Backup.h"
#include "config/Ini.h"
#include "support/FakePrompter.h"
#include "support/HttpServer.h"
#include "support/TestFiles.h"
#include "ui/Application.h"
#include "ui/FrmSettings.h"
#include "ui/MainWindow.h"
#include "ui/NewsTab.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

using namespace zestrel;

namespace
{

// A started client without a relay, in its own folder.
struct Started {
    QTemporaryDir dir;
    test::FakePrompter prompter;
    std::unique_ptr<Application> app;
    explicit Started(const QByteArray &ini = {}, bool tray = false)
    {
        test::WriteAll(dir.filePath("zestrel.ini"),
                       "[PROFILE]\r\nUSERNAME=alice\r\nGETALLPROFILEDATA=1\r\n" + ini);
        app = std::make_unique<Application>(dir.path(), &prompter);
        app->registryPlace = {dir.filePath("registry"), dir.filePath("autostart"), QString()};
        app->autoStartCommand = QStringLiteral("/usr/bin/zestrel");
        if (tray)
            app->hooks.AddTrayIcon = [this](AppState &) {
                w()->TrayAvailable = [] { return true; };
                w()->AddTrayIcon();
            };
        started = app->StartUp();
    }
    bool started = false;
    MainWindow *w() const { return app->mainWindow(); }
    template <class T = QWidget> T *find(const QString &name) const
    {
        return w()->findChild<T *>(name);
    }
    QString entry() const { return dir.filePath("autostart/Zestrel.desktop"); }
};

// "name caption" per item, "name -" for a separator, "name >" before a submenu's items.
QStringList Items(const QMenu *menu)
{
    QStringList items;
    for (QAction *a : menu->actions()) {
        if (a->menu()) {
            items << a->objectName() + " " + a->text() + " >";
            items << Items(a->menu());
            items << "<";
        } else {
            items << a->objectName() + " " + (a->isSeparator() ? QString("-") : a->text());
        }
    }
    return items;
}

} // namespace

class TestWindow : public QObject
{
    Q_OBJECT
  private slots:
    void menuBar_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("File") << "mnuFile"
                              << "&File"
                              << QStringList{
                                     "mnuResetZestrel &Reset Zestrel (disconnect/reconnect)",
                                     "mnuMessageCenter Show &Message Center",
                                     "mnuSettings &Settings >",
                                     "mnuShowSettings &Show",
                                     "mnuSpacer2 -",
                                     "mnuBackupSettings &Backup",
                                     "mnuRestoreSettings &Restore",
                                     "<",
                                     "mnuExit E&xit"};
        QTest::newRow("Browse") << "mnuBrowse"
                                << "&Browse" << QStringList{"mnuReset Reset &Browse Window",
                                                            "mnuSpacer -",
                                                            "mnuNodeDel Remove &Node",
                                                            "mnuSubNodeDel Remove &Sub Nodes",
                                                            "mnuRefreshNode &Refresh Node",
                                                            "mnuSpacer4 -",
                                                            "mnuSendMessage Send &Message"};
        QTest::newRow("Search") << "mnuSearch"
                                << "&Search" << QStringList{"mnuResetSearch Reset &Search Window"};
        QTest::newRow("News") << "mnuNews"
                              << "&News" << QStringList{"mnuResetBrowser &Refresh"};
        QTest::newRow("Help") << "mnuHelp"
                              << "&Help"
                              << QStringList{"mnuVersion &About", "munUpTime &Up Time",
                                             "mnuSpacer3 -", "mnuUninstall &Uninstall/Upgrade"};
        QTest::newRow("Popup") << "mnuPopup"
                               << "&Popup"
                               << QStringList{"mPopRestore &Restore", "mnuMinimize &Minimize",
                                              "mPopExit E&xit"};
    }
    void menuBar()
    {
        QFETCH(QString, menu);
        QFETCH(QString, caption);
        QFETCH(QStringList, items);
        MainWindow w;
        QStringList bar;
        for (QAction *a : w.menuBar()->actions())
            bar << a->text();
        QCOMPARE(bar, (QStringList{"&File", "&Browse", "&Search", "&News", "&Help", "&Popup"}));
        auto *m = w.findChild<QMenu *>(menu);
        QVERIFY(m);
        QCOMPARE(m->title(), caption);
        QCOMPARE(Items(m), items);
    }

    void controls_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        const std::pair<const char *, const char *> browse[] = {
            {"cmdNodes_0", "Users"},         {"cmdNodes_1", "Recipe Types"},
            {"cmdNodes_2", "Categories"},    {"cmdNodes_3", "Expand All"},
            {"lblProfile_1", "Description"}, {"lblProfile_2", "Extended Information"}};
        for (const auto &[n, c] : browse)
            QTest::newRow(n) << 0 << n << c;
        const std::pair<const char *, const char *> search[] = {{"lblData_0", "Title"},
                                                                {"lblData_1", "Ingredient"},
                                                                {"lblData_2", "Category"},
                                                                {"cmdSearch", "&Search"}};
        for (const auto &[n, c] : search)
            QTest::newRow(n) << 1 << n << c;
        const std::pair<const char *, const char *> chat[] = {
            {"lblMisc_4", "You are currently in Chat Room"},
            {"cmdJoin", "&Join"},
            {"cmdLeave", "E&xit"},
            {"cmdSend", "&Send"},
            {"cmdClear", "&Clear"}};
        for (const auto &[n, c] : chat)
            QTest::newRow(n) << 2 << n << c;
        // Below the tabs (-1).
        const std::pair<const char *, const char *> row[] = {{"cmdBack", "<&<<"},
                                                             {"txtStoredRecipe", "0/0"},
                                                             {"cmdNext", ">&>>"},
                                                             {"cmdRemove", "&Remove"},
                                                             {"cmdRecipeClear", "&Clear All"},
                                                             {"cmdImport", "&Import"},
                                                             {"cmdImportAll", "Import &All"},
                                                             {"cmdPrint", "&Print"},
                                                             {"lblMisc_1", "Status:"},
                                                             {"lblActivity_1", "S"},
                                                             {"lblActivity_0", "R"},
                                                             {"lblActivity_2", "C"}};
        for (const auto &[n, c] : row)
            QTest::newRow(n) << -1 << n << c;
        // Never shown.
        QTest::newRow("cmdTest") << -2 << "cmdTest"
                                 << "Test";
        QTest::newRow("cmdTestWeb") << -2 << "cmdTestWeb"
                                    << "Test Web";
    }
    void controls()
    {
        QFETCH(int, tab);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        Started s;
        QVERIFY(s.started);
        QWidget *control = s.find(name);
        QVERIFY2(control, qPrintable(name));
        QString text;
        if (auto *b = qobject_cast<QAbstractButton *>(control))
            text = b->text();
        else if (auto *l = qobject_cast<QLabel *>(control))
            text = l->text();
        else if (auto *e = qobject_cast<QLineEdit *>(control))
            text = e->text();
        QCOMPARE(text, caption);
        if (tab >= 0) {
            QVERIFY(s.w()->tabs()->widget(tab)->isAncestorOf(control));
            s.w()->tabs()->setCurrentIndex(tab);
        }
        QCOMPARE(control->isVisible(), tab != -2);
    }

    void tabRules_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("storage");
        QTest::addColumn<QString>("defaultButton");
        QTest::newRow("browse") << 0 << true << "";
        QTest::newRow("search") << 1 << true << "cmdSearch";
        QTest::newRow("chat") << 2 << false << "cmdJoin";
        QTest::newRow("news") << 3 << false << "";
    }
    void tabRules()
    {
        QFETCH(int, tab);
        QFETCH(bool, storage);
        QFETCH(QString, defaultButton);
        Started s;
        // At start the News tab is shown and the storage buttons are off.
        QCOMPARE(s.w()->tabs()->currentIndex(), 3);
        QVERIFY(!s.find<QPushButton>("cmdImport")->isEnabled());
        // From the opposite state, so every row changes something.
        s.w()->tabs()->setCurrentIndex(storage ? 2 : 1);
        s.w()->tabs()->setCurrentIndex(tab);
        for (const char *name : MainWindow::kStorageButtons)
            QCOMPARE(s.find<QPushButton>(name)->isEnabled(), storage);
        QCOMPARE(s.find<QPushButton>("cmdSearch")->isDefault(), defaultButton == "cmdSearch");
        if (tab == 2)
            QVERIFY(s.find<QPushButton>("cmdJoin")->isDefault());
    }

    void trayRules_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::newRow("tray") << true;
        QTest::newRow("no tray") << false;
    }
    void trayRules()
    {
        QFETCH(bool, tray);
        MainWindow w;
        w.TrayAvailable = [tray] { return tray; };
        QCOMPARE(w.AddTrayIcon(), tray);
        QCOMPARE(w.livesInTray(), tray);
        // The tray takes the "&Popup" menu; without a tray it stays in the menu bar.
        QCOMPARE(w.popupMenu()->menuAction()->isVisible(), !tray);
        if (tray) {
            QCOMPARE(w.trayIcon()->toolTip(),
                     QString("Zestrel Recipe Browsing and Searching Tool"));
            QCOMPARE(w.trayIcon()->contextMenu(), w.popupMenu());
            QVERIFY(!w.trayIcon()->icon().isNull());
        }
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        // Minimising hides the window only where the tray can bring it back.
        w.showMinimized();
        if (tray) {
            QTRY_VERIFY(!w.isVisible());
            w.trayClicked(MainWindow::TrayLeft);
            QVERIFY(w.isVisible());
            QVERIFY(!w.isMinimized());
        } else {
            QTest::qWait(50); // nothing may hide it: give a deferred hide its chance
            QVERIFY(w.isVisible());
            w.bringToFront();
        }
        // The tray menu's "&Minimize" hides without minimising (no tray: minimises).
        w.findChild<QAction *>("mnuMinimize")->trigger();
        QCOMPARE(w.isVisible(), !tray);
        QCOMPARE(w.isMinimized(), !tray);
        w.findChild<QAction *>("mPopRestore")->trigger();
        QVERIFY(w.isVisible());
        QVERIFY(!w.isMinimized());
        w.RemoveTrayIcon();
        QVERIFY(w.popupMenu()->menuAction()->isVisible());
    }

    void minimizeAtStart_data()
    {
        QTest::addColumn<bool>("tray");
        QTest::addColumn<QByteArray>("minimize");
        QTest::addColumn<bool>("shown");
        QTest::newRow("tray, MINIMIZE") << true << QByteArray("1") << false;
        QTest::newRow("tray, no MINIMIZE") << true << QByteArray("0") << true;
        QTest::newRow("no tray, MINIMIZE") << false << QByteArray("1") << true;
    }
    void minimizeAtStart()
    {
        QFETCH(bool, tray);
        QFETCH(QByteArray, minimize);
        QFETCH(bool, shown);
        Started s("[MISC]\r\nMINIMIZE=" + minimize + "\r\n", tray);
        QVERIFY(s.started);
        QCOMPARE(s.w()->isVisible(), shown);
        QCOMPARE(s.w()->trayIcon() != nullptr, tray);
    }

    void newsPage()
    {
        test::HttpServer http;
        QVERIFY(http.start());
        Started s;
        NewsTab *news = s.w()->newsTab();
        QTextBrowser *wb = s.find<QTextBrowser>("wb");
        QVERIFY(wb);
        // The built-in start page greets the member offline.
        QCOMPARE(news->address(), QUrl("qrc:/CKF/zestrel_startup.htm"));
        QVERIFY(wb->toPlainText().contains("Welcome to Zestrel"));
        // Its link to the Cookbook asks for the program and stays on the page (a tab of
        // its own here, so that no program is started).
        QVERIFY(wb->toHtml().contains("href=\"zestrel:cookbook\""));
        NewsTab alone;
        alone.ShowStartPage();
        QSignalSpy cookbook(&alone, &NewsTab::cookbookRequested);
        emit alone.browser()->anchorClicked(QUrl("zestrel:cookbook"));
        QCOMPARE(cookbook.size(), 1);
        QCOMPARE(alone.address(), QUrl("qrc:/CKF/zestrel_startup.htm"));

        // "Test Web" and a 115 from the relay go through the same routine.
        s.find<QPushButton>("cmdTestWeb")->click();
        QCOMPARE(news->address(), QUrl("qrc:/support.htm"));
        QVERIFY(wb->toPlainText().contains("Zestrel support"));

        QSignalSpy loaded(news, &NewsTab::loaded);
        QSignalSpy failed(news, &NewsTab::loadFailed);
        http.setResponse(200, "<html><body><p>Pie of the week</p></body></html>");
        s.app->session()->handlers.ShowWebPage(http.baseUrl() + "/news.htm");
        QVERIFY(loaded.wait(10000));
        QVERIFY(wb->toPlainText().contains("Pie of the week"));
        alone.Navigate(http.baseUrl() + "/news.htm");
        QTRY_COMPARE_WITH_TIMEOUT(alone.address(), QUrl(http.baseUrl() + "/news.htm"), 10000);
        emit alone.browser()->anchorClicked(QUrl("zestrel:cookbook")); // a web page starts nothing
        QCOMPARE(cookbook.size(), 1);
        QCOMPARE(news->address(), QUrl(http.baseUrl() + "/news.htm"));

        // A failing load, and refused schemes, leave the page as it was.
        http.setResponse(404, "<html><body>gone</body></html>");
        s.find<QMenu>("mnuNews")->actions().first()->trigger(); // "&Refresh"
        QVERIFY(failed.wait(10000));
        for (const char *refused : {"file:///etc/passwd", "javascript:alert(1)", "ftp://x/y",
                                    "http://", "data:text/html,<p>x</p>"}) {
            s.app->session()->handlers.ShowWebPage(QString::fromLatin1(refused));
            QVERIFY2(!news->Navigate(QString::fromLatin1(refused)), refused);
        }
        QVERIFY(wb->toPlainText().contains("Pie of the week"));
        QCOMPARE(news->address(), QUrl(http.baseUrl() + "/news.htm"));
    }

    void helpItems()
    {
        Started s;
        auto center = [&s] {
            MessageCenter *c = s.app->diag().messageCenter();
            // Newest on top (the start's missing-database notice lies below).
            return c ? c->Message().section("\r\n", 0, 0) : QString();
        };
        s.find<QMenu>("mnuHelp")->findChild<QAction *>("mnuVersion")->trigger();
        QCOMPARE(center(), QString("You are using Zestrel version 2.4.0"));
        s.app->state().ConnectedAt = QDateTime::currentDateTime().addSecs(-3600);
        s.w()->findChild<QAction *>("munUpTime")->trigger();
        QVERIFY2(center().startsWith("You have been logged on to Zestrel since: "),
                 qPrintable(center()));
        s.w()->findChild<QAction *>("mnuUninstall")->trigger();
        QCOMPARE(s.prompter.titles(), QStringList{"Uninstall/Upgrade Instructions"});
        QCOMPARE(s.prompter.shown[0].icon, PromptIcon::None);
        QCOMPARE(s.prompter.shown[0].buttons, PromptButtons::Ok);
        QVERIFY(s.prompter.shown[0].text.endsWith("\r\n\r\nQEVO"));
    }

    void backupAndRestoreMenus()
    {
        Started s("[MISC]\r\nBASEFONTSIZE=12\r\n");
        s.prompter.answers.enqueue(PromptAnswer::Yes);
        s.w()->findChild<QAction *>("mnuBackupSettings")->trigger();
        QCOMPARE(s.prompter.titles(), QStringList{"Backup Settings"});
        QCOMPARE(ReadIniKey(s.dir.filePath("zestrel.xxx"), "FLAG", "ASKTORESTORE"), QString("YES"));
        // Changed, then restored: the backup's values are current at once.
        WriteIniKey(s.dir.filePath("zestrel.ini"), "MISC", "BASEFONTSIZE=8");
        s.w()->findChild<QAction *>("mnuRestoreSettings")->trigger();
        QCOMPARE(s.app->state().Setting("BASEFONTSIZE"), QString("12"));
        QCOMPARE(s.find<QWidget>("tvUsers")->font().pointSize(), 12);
        QCOMPARE(ReadIniKey(s.dir.filePath("zestrel.old"), "MISC", "BASEFONTSIZE"), QString("8"));
    }

    void autoStartFollowsSettings()
    {
        Started on("[MISC]\r\nAUTOSTART=1\r\n");
        QVERIFY(on.started);
        const QByteArray entry = test::ReadAll(on.entry());
        QVERIFY2(entry.contains("\nExec=/usr/bin/zestrel\n"), entry.constData());
        QVERIFY2(entry.contains("\nIcon=" + on.dir.filePath("zestrel.svg").toUtf8() + "\n"),
                 entry.constData());
        QVERIFY(QFile::exists(on.dir.filePath("zestrel.svg")));
        // The settings dialog's close applies it again: switched off, the entry goes.
        on.app->ShowSettings();
        auto *dialog = on.w()->findChild<FrmSettings *>();
        QVERIFY(dialog);
        auto *box = dialog->findChild<QCheckBox *>("chkAutoStart");
        QVERIFY(box && box->isChecked());
        box->click();
        dialog->close();
        QVERIFY(!QFile::exists(on.entry()));
        QCOMPARE(ReadIniKey(on.dir.filePath("zestrel.ini"), "MISC", "AUTOSTART"), QString("0"));
    }

    void fontSizeOverTheWindow()
    {
        Started s("[MISC]\r\nBASEFONTSIZE=11\r\n");
        for (const char *name : {"tvUsers", "txtPreview_0", "txtPreview_1", "lvwResults"})
            QCOMPARE(s.find(QString::fromLatin1(name))->font().pointSize(), 11);
    }
};

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
