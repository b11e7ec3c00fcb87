// The Cookbook beside a running client: a recipe saved by the recipe manager (a process
// of its own, this test program run as the writer) is browsed by another member over
// the real relay down to its preview, and the manager writing in a loop while the
// client answers gives no error on either side.
#include "TestClient.h"
#include "browse/Preview.h"
#include "config/Ini.h"
#include "cookbook/Cookbook.h"
#include "cookbook/CookbookFactory.h"
#include "cookbook/SharedText.h"
#include "store/Answers.h"
#include "store/RecipeDatabase.h"
#include "store/TransferText.h"
#include "support/ServerProcess.h"

#include <QProcess>
#include <QtTest>
#include <memory>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

constexpr int kWait = 10000;

cookbook::Recipe Cider()
{
    cookbook::Recipe r;
    r.type = "D";
    r.title = "Hot Spiced Cider";
    r.category = "Holiday Drinks";
    r.servings = "8";
    r.prepTime = "5 min";
    r.cookTime = "20 min";
    r.notes = "Keeps warm in a slow cooker.";
    r.source = "Aunt May";
    r.cuisine = "American";
    r.ingredients = {{"2", "qt", "apple cider", ""}, {"3", "", "cinnamon sticks", "Spices"}};
    r.directions = {"Simmer for 20 minutes.", "Serve in mugs."};
    return r;
}

// The recipe manager's part, run in a process of its own: `--save FOLDER` saves the
// cider and prints its id; `--save-loop FOLDER N` saves N times (new recipes and updates
// by turns) and prints "saved N" or the first error.
int Writer(int argc, char *argv[], const QStringList &args)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    cookbook::Cookbook book;
    QString error;
    if (!book.Open(args.value(1), &error)) {
        out << error << "\n";
        return 1;
    }
    cookbook::Recipe r = Cider();
    const int times = args[0] == "--save" ? 1 : args.value(2).toInt();
    for (int i = 0; i < times; ++i) {
        if (i % 2 == 1) {
            r.notes = QStringLiteral("Update %1").arg(i);
        } else {
            r.id = 0;
            r.title = QStringLiteral("Cider %1").arg(i);
        }
        if (times == 1)
            r.title = "Hot Spiced Cider";
        if (!book.Save(r, &error)) {
            out << error << "\n";
            return 1;
        }
    }
    out << (times == 1 ? QString::number(r.id) : QStringLiteral("saved %1").arg(times)) << "\n";
    return 0;
}

struct Member {
    Member(const ServerProcess &server, const QString &name)
        : c(std::make_unique<TestClient>(name, server.host(), server.port()))
    {
        c->app.UserName = name;
        c->app.Settings["ALLRECIPES"] = "0"; // only the recipes the member wrote
        c->app.CookbookIniPath = QDir(c->dir.path()).filePath("cookbook.ini");
    }
    bool open(int samples)
    {
        if (!cookbook::FillSample(c->dir.path(), samples, 5))
            return false;
        c->app.FirstNewRecipeId = ReadFirstNewRecipeId(c->app.CookbookIniPath);
        db = std::make_unique<RecipeDatabase>(c->app);
        db->OpenRecipeDatabase();
        c->session.AnswerFrom(*db);
        return !c->app.NoDatabase;
    }
    bool start()
    {
        return c->session.Start() &&
               QTest::qWaitFor([&] { return c->members.MyMemberNode.isValid(); }, kWait);
    }
    BrowseTree &tree() { return c->session.tree; }
    QModelIndex child(const QModelIndex &parent, const QString &text)
    {
        const auto &m = tree().tvUsers;
        for (int r = 0; r < m.rowCount(parent); ++r)
            if (m.index(r, 0, parent).data().toString() == text)
                return m.index(r, 0, parent);
        return {};
    }
    // Clicks a node and waits for its children (none for a recipe).
    QStringList open(const QModelIndex &node)
    {
        const QPersistentModelIndex n(node);
        Browser &b = c->session.browser;
        tree().tvUsersSelection.setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
        b.tvUsers_MouseDown(Browser::LeftButton);
        b.tvUsers_NodeClick(node);
        b.tvUsers_MouseUp(Browser::LeftButton);
        (void)QTest::qWaitFor([&] { return tree().tvUsers.rowCount(n) > 0; }, kWait);
        QStringList t;
        for (int r = 0; r < tree().tvUsers.rowCount(n); ++r)
            t << tree().tvUsers.index(r, 0, n).data().toString();
        return t;
    }

    std::unique_ptr<TestClient> c;
    std::unique_ptr<RecipeDatabase> db;
};

// Runs this program as the recipe manager.
QString RunWriter(const QStringList &args, int *exitCode)
{
    QProcess p;
    p.start(QCoreApplication::applicationFilePath(), args);
    if (!p.waitForFinished(60000))
        return "writer did not finish";
    *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

} // namespace

class TestCookbookBesideClient : public QObject
{
    Q_OBJECT
  private slots:
    void initTestCase();
    void cleanupTestCase();
    void savedRecipeBrowsedByOthers();
    void writerInALoopWhileAnswering();

  private:
    std::unique_ptr<ServerProcess> server_;
    std::unique_ptr<Member> anna_, bert_;
};

void TestCookbookBesideClient::initTestCase()
{
    server_ = std::make_unique<ServerProcess>();
    QVERIFY(server_->start());
    bert_ = std::make_unique<Member>(*server_, "Bert");
    QVERIFY(bert_->open(30)); // ids 1-30; MaxRecipeID 18: only 19 and up are offered
    anna_ = std::make_unique<Member>(*server_, "Anna");
    QVERIFY(anna_->open(5));
    QVERIFY(bert_->start());
    QVERIFY(anna_->start());
    QTRY_COMPARE_WITH_TIMEOUT(anna_->tree().tvUsers.rowCount(), 2, kWait);
}

void TestCookbookBesideClient::cleanupTestCase()
{
    anna_.reset();
    bert_.reset();
    server_.reset();
}

void TestCookbookBesideClient::savedRecipeBrowsedByOthers()
{
    int code = -1;
    const QString id = RunWriter({"--save", bert_->c->dir.path()}, &code);
    QCOMPARE(code, 0);
    QCOMPARE(id, "31"); // above every id, so offered also without ALLRECIPES

    Member &a = *anna_;
    const QModelIndex bert = a.child({}, "Bert");
    QVERIFY(bert.isValid());
    a.open(bert);
    const QModelIndex drink = a.child(bert, "Drink");
    QVERIFY(a.open(drink).contains("Holiday Drinks"));
    const QModelIndex holiday = a.child(drink, "Holiday Drinks");
    const QStringList groups = a.open(holiday);
    QCOMPARE(groups.size(), 1);
    const QModelIndex group = a.child(holiday, groups[0]);
    QCOMPARE(a.open(group), QStringList{"Hot Spiced Cider (31)"});
    a.open(a.child(group, "Hot Spiced Cider (31)"));
    QTRY_COMPARE_WITH_TIMEOUT(a.c->session.storage.txtStoredRecipe(), "1/1", kWait);

    // Exactly what the Cookbook's "Shared as" pane showed for it.
    cookbook::Recipe saved = Cider();
    const QString shared =
        *FormatRecipe(cookbook::SharedText(saved, a.c->app) + SectionSep(a.c->app) + "0", a.c->app);
    QCOMPARE(a.c->session.storage.txtPreview_0(), shared);
    QVERIFY(shared.startsWith("Title:    \tHot Spiced Cider\r\nSource:    \tAunt May\r\n"));
    QVERIFY(shared.contains("Ingredients:\r\n  2 qt apple cider\r\n  3  cinnamon sticks\r\n"));
    QVERIFY(shared.contains("Directions:\r\n1:  Simmer for 20 minutes.\r\n2:  Serve in mugs.\r\n"));
}

void TestCookbookBesideClient::writerInALoopWhileAnswering()
{
    Member &b = *bert_;
    QProcess writer;
    writer.start(QCoreApplication::applicationFilePath(), {"--save-loop", b.c->dir.path(), "300"});
    QVERIFY(writer.waitForStarted());
    int answered = 0;
    // The client answers as fast as it can while the manager writes.
    while (writer.state() != QProcess::NotRunning || answered < 50) {
        b.db->ForgetAnswers();
        QSqlError probeError;
        const auto probe = b.db->Execute("SELECT COUNT(*) FROM RECIPE", {}, &probeError);
        QVERIFY2(probe, qPrintable(probeError.nativeErrorCode() + " " + probeError.text()));
        const QString categories = ListCategories(*b.db, "Drink", false);
        QVERIFY2(categories.contains("Holiday Drinks"), qPrintable(categories));
        const auto text = RecipeToText(*b.db, "31");
        QVERIFY(text && text->contains("Hot Spiced Cider"));
        QVERIFY(!SearchRecipes(*b.db, "Cider", {}, false, {}).isEmpty());
        ++answered;
        QCoreApplication::processEvents();
    }
    QCOMPARE(QString::fromUtf8(writer.readAllStandardOutput()).trimmed(), "saved 300");
    QCOMPARE(writer.exitCode(), 0);
    QVERIFY2(!b.c->centerText().contains("DB ERROR"), qPrintable(b.c->centerText()));
    QVERIFY(answered >= 50);
    // The recipes written meanwhile are all there.
    QCOMPARE(ListCategories(*b.db, "Drink", true).isEmpty(), false);
    QSqlQuery q(b.db->RecipeDb());
    QVERIFY(q.exec("SELECT COUNT(*) FROM RECIPE WHERE title LIKE 'Cider %'") && q.next());
    QCOMPARE(q.value(0).toInt(), 150);
}

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (!args.isEmpty() && (args[0] == "--save" || args[0] == "--save-loop"))
        return Writer(argc, argv, args);
    QCoreApplication app(argc, argv);
    TestCookbookBesideClient test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cookbook.moc"
