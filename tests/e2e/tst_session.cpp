// A whole session across processes: the real relay, member A's program in this
// process driven through its widgets, member B the real zestrel program (offscreen),
// member C this test's own executable started again in member mode (the same program
// objects, driven by lines on its standard input, so it can talk in a room). Each
// member has its own program folder and its own cookbook made by zestrel-cookbook.
#include "browse/StorageBox.h"
#include "client/Session.h"
#include "store/Import.h"
#include "support/BrowseFixture.h"
#include "support/FakePrompter.h"
#include "support/ServerProcess.h"
#include "ui/Application.h"
#include "ui/FrmMessage.h"
#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <cstdio>
#include <unistd.h>

using namespace zestrel;
using test::FakePrompter;

namespace
{

// Generous: CI runs this under the sanitizers too, about three times slower.
constexpr int kWait = 30000;
// The reconnect timer ticks every 5 s; a few ticks may be needed while the relay restarts.
constexpr int kReconnectWait = 60000;

void WriteFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    f.write(bytes);
}

QByteArray ReadFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// zestrel-cookbook, as a member would run it.
bool RunCookbook(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral(ZESTREL_COOKBOOK_PATH), args);
    return p.waitForFinished(kWait) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// Adds Corn Bread under its own category, so it is the only recipe of its letter group.
bool AddCornBreadTo(const QString &folder, qint64 id, const QString &category)
{
    bool ok = false;
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("add"));
        db.setDatabaseName(QDir(folder).filePath(QStringLiteral("cookbook.db")));
        ok = db.open() && test::AddCornBread(db, id, category);
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("add"));
    return ok;
}

// One member's program folder: a sample cookbook, its settings and network settings.
void MakeFolder(const QString &folder, const QString &name, int recipes, int seed, quint16 port,
                const QByteArray &extraMisc)
{
    QVERIFY(
        RunCookbook({QStringLiteral("sample"), folder, QStringLiteral("--recipes"),
                     QString::number(recipes), QStringLiteral("--seed"), QString::number(seed)}));
    WriteFile(QDir(folder).filePath(QStringLiteral("zestrel.ini")),
              "[PROFILE]\r\nUSERNAME=" + name.toUtf8() +
                  "\r\nDESCRIPTION=Cooks for the test\r\n[MISC]\r\nALLOWSEARCHES=1\r\n"
                  "RECONNECT=1\r\nDEV=TRUE\r\n" +
                  extraMisc);
    WriteFile(QDir(folder).filePath(QStringLiteral("zestrel.set")),
              "SETTING_VERSION=1\r\nREMOTE_SERVER_IP=127.0.0.1\r\nSERVER_LISTEN_PORT=" +
                  QByteArray::number(port) + "\r\nWINSOCK_CONNECT_TIME_OUT=5\r\nLOG=1\r\n");
}

// Bert's Corn Bread as his program formats it for the preview box.
QString CornBreadPreview()
{
    return QStringLiteral("Title:    \tCorn Bread\n"
                          "Source:    \t\n"
                          "Category:     \tTest Breads\n"
                          "Cuisine:     \t\n"
                          "Servings:     \t8\n"
                          "Prep Time:    \t10 min\n"
                          "Cook Time:    \t25 min\n"
                          "Misc/Other: \t\n"
                          "\n"
                          "Ingredients:\n"
                          "  1 cup cornmeal\n"
                          "\n"
                          "Directions:\n"
                          "1:  Mix.\n"
                          "\n"
                          "Notes:\n"
                          "  Serve warm.\n");
}

template <class T> T *Widget(QWidget *window, const char *name)
{
    return window ? window->findChild<T *>(QString::fromLatin1(name)) : nullptr;
}

// The child of `parent` in the tree's model whose text is `text`.
QModelIndex Child(const QAbstractItemModel *model, const QModelIndex &parent, const QString &text)
{
    for (int r = 0; r < model->rowCount(parent); ++r) {
        const QModelIndex i = model->index(r, 0, parent);
        if (i.data().toString() == text)
            return i;
    }
    return {};
}

QStringList Texts(const QAbstractItemModel *model, const QModelIndex &parent = {})
{
    QStringList texts;
    for (int r = 0; r < model->rowCount(parent); ++r)
        texts << model->index(r, 0, parent).data().toString();
    return texts;
}

// A mouse click on a node, as the member clicks it.
void ClickNode(QTreeView *view, const QModelIndex &node)
{
    if (node.parent().isValid())
        view->expand(node.parent());
    view->scrollTo(node);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(node).center());
}

void ClickRow(QTreeView *view, const QModelIndex &row)
{
    view->scrollTo(row);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(row).center());
}

// Picks a room in the list with the keys, as a member does (the list takes a
// choice from the member only, not from the program).
void PickRoom(QComboBox *rooms, const QString &name)
{
    rooms->setFocus();
    QTest::keyClick(rooms, Qt::Key_Home);
    QTest::keyClick(rooms, Qt::Key_End);
    if (rooms->currentText() != name)
        QTest::keyClick(rooms, Qt::Key_Home);
    for (int i = 0; i < rooms->count() && rooms->currentText() != name; ++i)
        QTest::keyClick(rooms, Qt::Key_Down);
}

// Member mode: the program in FOLDER, a line on standard input at a time:
// "join ROOM", "say TEXT", "quit". Everything goes through the window's widgets.
// Nothing here waits: the program may be inside one of its own waits when a line
// arrives, so each command is tried on a timer until it can be done.
int RunMember(const QString &folder)
{
    QApplication::setQuitOnLastWindowClosed(false);
    SilentPrompter prompter;
    Application app(folder, &prompter);
    app.EndProcess = [] { QCoreApplication::exit(0); };
    if (!app.StartUp())
        return 1;
    MainWindow *window = app.mainWindow();
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QStringList commands;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            commands << QStringLiteral("quit");
            return;
        }
        pending.append(buffer, got);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            commands << QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
        }
    });
    // True when the command is done.
    auto attempt = [&](const QString &line) {
        const QString word = line.section(QLatin1Char(' '), 0, 0);
        const QString rest = line.section(QLatin1Char(' '), 1);
        if (word == QLatin1String("join")) {
            // The tab asks the relay for its rooms when it is shown.
            window->tabs()->setCurrentIndex(MainWindow::ChatTab);
            auto *rooms = Widget<QComboBox>(window, "cboChatRooms");
            if (rooms->findText(rest) < 0)
                return false;
            PickRoom(rooms, rest);
            QTest::mouseClick(Widget<QPushButton>(window, "cmdJoin"), Qt::LeftButton);
            fprintf(stderr, "member: in room %s\n", qPrintable(rooms->currentText()));
        } else if (word == QLatin1String("say")) {
            QTest::keyClicks(Widget<QLineEdit>(window, "txtSend"), rest);
            QTest::mouseClick(Widget<QPushButton>(window, "cmdSend"), Qt::LeftButton);
        } else if (word == QLatin1String("quit")) {
            window->close();
        }
        return true;
    };
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!commands.isEmpty() && !app.unloaded() && attempt(commands.first()))
            commands.removeFirst();
    });
    tick.start(50);
    return QApplication::exec();
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT
  private slots:
    void wholeSession();
};

void TestSession::wholeSession()
{
    test::ServerProcess relay;
    const QStringList relayArgs{QStringLiteral("--rooms"), QStringLiteral("Lobby,Kitchen")};
    QVERIFY(relay.start(relayArgs));
    const quint16 port = relay.port();

    // B (Bert): the real program, with Corn Bread among sample recipes.
    QTemporaryDir dirB, dirC, dirA;
    MakeFolder(dirB.path(), QStringLiteral("Bert"), 120, 5, port, {});
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(AddCornBreadTo(dirB.path(), 5000, QStringLiteral("Test Breads")));
    QProcess bert;
    bert.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    bert.setProcessEnvironment(env);
    bert.start(QStringLiteral(ZESTREL_CLIENT_PATH), {QStringLiteral("--folder"), dirB.path()});
    QVERIFY(bert.waitForStarted(kWait));

    // C (Cleo): instant messages switched off, her own Corn Bread too.
    MakeFolder(dirC.path(), QStringLiteral("Cleo"), 60, 9, port, "INSTANTMESSAGE=1\r\n");
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(AddCornBreadTo(dirC.path(), 7000, QStringLiteral("Breads")));
    QProcess cleo;
    cleo.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    cleo.setProcessEnvironment(env);
    cleo.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--member"), dirC.path()});
    QVERIFY(cleo.waitForStarted(kWait));
    // Whatever happens below, neither program outlives the test.
    const auto stopMembers = qScopeGuard([&] {
        for (QProcess *p : {&bert, &cleo}) {
            p->kill();
            p->waitForFinished(kWait);
        }
    });
    auto cleoDoes = [&cleo](const QByteArray &line) {
        cleo.write(line + '\n');
        cleo.waitForBytesWritten(kWait);
    };

    // A (Alice): this process, an empty cookbook to import into.
    MakeFolder(dirA.path(), QStringLiteral("Alice"), 0, 1, port, {});
    QVERIFY(!QTest::currentTestFailed());
    FakePrompter prompter;
    Application alice(dirA.path(), &prompter);
    QVERIFY(alice.StartUp());
    MainWindow *window = alice.mainWindow();
    QVERIFY(window);
    auto *tree = Widget<QTreeView>(window, "tvUsers");
    QVERIFY(tree);
    const QAbstractItemModel *nodes = tree->model();

    // Signed in, and every member listed.
    QTRY_COMPARE_WITH_TIMEOUT(Texts(nodes).size(), 3, kWait);
    QVERIFY(Texts(nodes).contains(QStringLiteral("Alice")));
    QVERIFY(Texts(nodes).contains(QStringLiteral("Bert")));
    QVERIFY(Texts(nodes).contains(QStringLiteral("Cleo")));

    // Browse Bert down to Corn Bread: member, type, category, letter group, recipe.
    window->tabs()->setCurrentIndex(MainWindow::BrowseTab);
    const QModelIndex bertNode = Child(nodes, {}, QStringLiteral("Bert"));
    ClickNode(tree, bertNode);
    QTRY_VERIFY_WITH_TIMEOUT(Child(nodes, bertNode, QStringLiteral("Food")).isValid(), kWait);
    const QModelIndex food = Child(nodes, bertNode, QStringLiteral("Food"));
    ClickNode(tree, food);
    QTRY_VERIFY_WITH_TIMEOUT(Child(nodes, food, QStringLiteral("Test Breads")).isValid(), kWait);
    const QModelIndex category = Child(nodes, food, QStringLiteral("Test Breads"));
    ClickNode(tree, category);
    QTRY_COMPARE_WITH_TIMEOUT(nodes->rowCount(category), 1, kWait);
    const QModelIndex group = nodes->index(0, 0, category);
    ClickNode(tree, group);
    QTRY_VERIFY_WITH_TIMEOUT(Child(nodes, group, QStringLiteral("Corn Bread (5000)")).isValid(),
                             kWait);
    ClickNode(tree, Child(nodes, group, QStringLiteral("Corn Bread (5000)")));
    auto *preview = Widget<QPlainTextEdit>(window, "txtPreview_0");
    QVERIFY(preview);
    QTRY_COMPARE_WITH_TIMEOUT(preview->toPlainText(), CornBreadPreview(), kWait);
    // It went into the storage box.
    auto *counter = Widget<QLineEdit>(window, "txtStoredRecipe");
    QVERIFY(counter);
    QCOMPARE(counter->text(), QStringLiteral("1/1"));

    // Import it into Alice's cookbook. Until the window has its import button, the
    // button's routine is called as the button would.
    if (auto *import = Widget<QPushButton>(window, "cmdImport"))
        QTest::mouseClick(import, Qt::LeftButton);
    else
        cmdImport(alice.recipeDatabase(), alice.session()->storage, MainWindow::BrowseTab,
                  preview->toPlainText());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("a"));
        db.setDatabaseName(dirA.filePath(QStringLiteral("cookbook.db")));
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral(
            "SELECT r.title, r.category, r.servings, r.notes, i.amount, i.measure, "
            "i.ingredient, d.direction FROM RECIPE r JOIN INGREDIENTS i ON i.recipe_id = r.id "
            "JOIN DIRECTIONS d ON d.recipe_id = r.id")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("Corn Bread"));
        QCOMPARE(q.value(1).toString(), QStringLiteral("Test Breads"));
        QCOMPARE(q.value(2).toString(), QStringLiteral("8"));
        QCOMPARE(q.value(3).toString(), QStringLiteral("Serve warm."));
        QCOMPARE(q.value(4).toString(), QStringLiteral("1"));
        QCOMPARE(q.value(5).toString(), QStringLiteral("cup"));
        QCOMPARE(q.value(6).toString(), QStringLiteral("cornmeal"));
        QCOMPARE(q.value(7).toString(), QStringLiteral("Mix."));
        QVERIFY(!q.next()); // one recipe, one ingredient, one direction
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("a"));

    // Search every member for Corn Bread and open Bert's.
    window->tabs()->setCurrentIndex(MainWindow::SearchTab);
    auto *title = Widget<QLineEdit>(window, "txtData_0");
    auto *results = Widget<QTreeView>(window, "lvwResults");
    QVERIFY(title && results);
    title->setFocus();
    QTest::keyClicks(title, QStringLiteral("Corn Bread"));
    QTest::mouseClick(Widget<QPushButton>(window, "cmdSearch"), Qt::LeftButton);
    const QAbstractItemModel *rows = results->model();
    auto rowOf = [rows](const QString &user, const QString &title) {
        for (int r = 0; r < rows->rowCount(); ++r)
            if (rows->index(r, 0).data().toString() == user &&
                rows->index(r, 2).data().toString() == title)
                return rows->index(r, 2);
        return QModelIndex();
    };
    QTRY_VERIFY_WITH_TIMEOUT(
        rowOf(QStringLiteral("Bert"), QStringLiteral("Corn Bread (5000)")).isValid(), kWait);
    QTRY_VERIFY_WITH_TIMEOUT(
        rowOf(QStringLiteral("Cleo"), QStringLiteral("Corn Bread (7000)")).isValid(), kWait);
    // Alice's own cookbook (her import included) is not searched without SELFSEARCH.
    for (int r = 0; r < rows->rowCount(); ++r)
        QCOMPARE_NE(rows->index(r, 0).data().toString(), QStringLiteral("Alice"));
    ClickRow(results, rowOf(QStringLiteral("Bert"), QStringLiteral("Corn Bread (5000)")));
    auto *searchPreview = Widget<QPlainTextEdit>(window, "txtPreview_1");
    QVERIFY(searchPreview);
    QTRY_COMPARE_WITH_TIMEOUT(searchPreview->toPlainText(), CornBreadPreview(), kWait);

    // Join the Kitchen and hear Cleo there.
    window->tabs()->setCurrentIndex(MainWindow::ChatTab);
    auto *rooms = Widget<QComboBox>(window, "cboChatRooms");
    QVERIFY(rooms);
    QTRY_VERIFY_WITH_TIMEOUT(rooms->findText(QStringLiteral("Kitchen")) >= 0, kWait);
    PickRoom(rooms, QStringLiteral("Kitchen"));
    QTest::mouseClick(Widget<QPushButton>(window, "cmdJoin"), Qt::LeftButton);
    auto *chat = Widget<QTextEdit>(window, "rtbChat");
    QVERIFY(chat);
    cleoDoes("join Kitchen");
    // Cleo speaks once she is in the room (her entry is announced there).
    QTRY_VERIFY2_WITH_TIMEOUT(chat->toPlainText().contains(QStringLiteral("[Cleo]:")),
                              qPrintable(chat->toPlainText()), kWait);
    cleoDoes("say The oven is hot");
    QTRY_VERIFY_WITH_TIMEOUT(
        chat->toPlainText().contains(QStringLiteral("[Cleo]:  The oven is hot")), kWait);

    // An instant message to Bert arrives in his program; Cleo's answers by itself.
    auto *send = window->findChild<QAction *>(QStringLiteral("mnuSendMessage"));
    QVERIFY(send);
    window->tabs()->setCurrentIndex(MainWindow::BrowseTab);
    ClickNode(tree, Child(nodes, {}, QStringLiteral("Bert")));
    prompter.inputs.enqueue(QStringLiteral("Hello Bert, thanks for the corn bread"));
    send->trigger();
    const QString bertLog = dirB.filePath(QStringLiteral("zestrel.log"));
    QTRY_VERIFY_WITH_TIMEOUT(ReadFile(bertLog).contains("Client - Data Arrival: '*~B~*121^"),
                             kWait);
    QTRY_VERIFY_WITH_TIMEOUT(
        ReadFile(bertLog).contains("^Hello Bert, thanks for the corn bread*~E~*"), kWait);
    ClickNode(tree, Child(nodes, {}, QStringLiteral("Cleo")));
    prompter.inputs.enqueue(QStringLiteral("Hello Cleo"));
    send->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(alice.messageWindow(), kWait);
    auto *center = Widget<QPlainTextEdit>(alice.messageWindow(), "txtMessage");
    QVERIFY(center);
    QTRY_VERIFY_WITH_TIMEOUT(
        center->toPlainText().contains(QStringLiteral("This user has instant messaging disabled!")),
        kWait);
    QCOMPARE(alice.messageWindow()->windowTitle(), QStringLiteral("Instant Message from: Cleo"));
    // Bert has instant messages on and his window open: he shows it and does not answer.
    QVERIFY(!center->toPlainText().contains(QStringLiteral("minimized")));

    // Bert's program ends: he leaves Alice's tree, Cleo stays.
    bert.terminate();
    QVERIFY(bert.waitForFinished(kWait));
    QTRY_VERIFY_WITH_TIMEOUT(!Texts(nodes).contains(QStringLiteral("Bert")), kWait);
    QVERIFY(Texts(nodes).contains(QStringLiteral("Cleo")));

    // The relay restarts on its port: Alice (RECONNECT on) signs in again by herself.
    relay.stop();
    QTRY_VERIFY_WITH_TIMEOUT(center->toPlainText().contains(QStringLiteral(
                                 "Your connection to the server has been terminated!")),
                             kWait);
    QTRY_VERIFY_WITH_TIMEOUT(relay.start(relayArgs, port), kWait);
    QByteArray relayLog;
    QTRY_VERIFY_WITH_TIMEOUT(
        (relayLog += relay.process().readAllStandardError(),
         relayLog.contains("sign-in 'Alice'") && relayLog.contains("sign-in 'Cleo'")),
        kReconnectWait);
    QTRY_VERIFY_WITH_TIMEOUT(
        center->toPlainText().contains(QStringLiteral(
            "Zestrel was able to re-establish a connection to the Zestrel Network!")),
        kWait);
    QTRY_COMPARE_WITH_TIMEOUT(Texts(nodes).size(), 2, kWait);
    QVERIFY(Texts(nodes).contains(QStringLiteral("Alice")));
    QVERIFY(Texts(nodes).contains(QStringLiteral("Cleo")));

    // A new name from the settings dialog shows on the own node once the window is
    // active again.
    alice.state().UserName = QStringLiteral("Alice Cook");
    alice.MainWindowActivate();
    QVERIFY(Texts(nodes).contains(QStringLiteral("Alice Cook")));

    cleoDoes("quit");
    QVERIFY(cleo.waitForFinished(kWait));
    QCOMPARE(cleo.exitCode(), 0);
    window->close();
    QVERIFY(alice.unloaded());
}

int main(int argc, char *argv[])
{
    QApplication qapp(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--member") == 0)
        return RunMember(QString::fromLocal8Bit(argv[2]));
    TestSession test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_session.moc"
