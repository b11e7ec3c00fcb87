// Browse round trips through the real relay. Member B (a second process, like a real
// member) answers from a sample cookbook of N recipes; member A clicks through B's
// tree and times each click until the children (or the preview) are shown:
//   zestrel-bench-browse [N] [clicks]        (default 100000 200)
// Per level: median and p99 in ms. Meanwhile a 10 ms timer runs in A; the longest gap
// between its ticks is how long A's window would have stalled.
#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "app/Prompter.h"
#include "chat/TextFilter.h"
#include "client/Session.h"
#include "cookbook/CookbookFactory.h"
#include "store/AnswerCatalogue.h"
#include "store/RecipeDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <vector>

using namespace zestrel;

namespace
{

QTextStream &Out()
{
    static QTextStream out(stdout);
    return out;
}

// One member's client in this process.
struct Member {
    Member(const QString &folder, const QString &name, quint16 port) : app(diag, prompter, folder)
    {
        app.InitSeparators();
        app.Settings["USERNAME"] = name;
        app.Settings["ALLRECIPES"] = "1";
        app.Settings["STOREDRECIPES"] = "25";
        app.Net.ServerAddress = "127.0.0.1";
        app.Net.ServerPort = QString::number(port);
        app.Net.ConnectTimeout = 10;
        app.CookbookIniPath = QDir(folder).filePath("cookbook.ini");
    }
    Diagnostics diag;
    SilentPrompter prompter;
    AppState app;
    Session session{app, ScreenText};
};

// Member B: answers until the benchmark ends it.
int RunMemberB(const QString &folder, quint16 port)
{
    Member b(folder, "BenchB", port);
    RecipeDatabase db(b.app);
    db.OpenRecipeDatabase();
    if (b.app.NoDatabase)
        return 2;
    b.session.AnswerFrom(db);
    // Steady state: the answers' catalogue is built (it answers from SQLite until then).
    QElapsedTimer catalogue;
    catalogue.start();
    const bool current = db.Catalogue().WaitUntilCurrent(300000);
    Out() << "member B: answers' catalogue " << (current ? "ready" : "NOT ready") << " in "
          << catalogue.elapsed() << " ms" << Qt::endl;
    if (!b.session.Start())
        return 3;
    Out() << "ready" << Qt::endl;
    return QCoreApplication::exec();
}

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

struct Figures {
    double median = 0, p99 = 0;
};

Figures Summarise(std::vector<double> ms)
{
    if (ms.empty())
        return {};
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) {
        return ms[std::min(ms.size() - 1, size_t(q * double(ms.size())))];
    };
    return {at(0.5), at(0.99)};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication qapp(argc, argv);
    const QStringList args = qapp.arguments();
    if (args.value(1) == "--member-b")
        return RunMemberB(args.value(2), quint16(args.value(3).toUInt()));

    const int recipes = args.size() > 1 ? args[1].toInt() : 100000;
    const int clicks = args.size() > 2 ? args[2].toInt() : 200;

    QTemporaryDir folderA, folderB;
    Out() << "building a sample cookbook of " << recipes << " recipes..." << Qt::endl;
    QString error;
    if (!cookbook::FillSample(folderB.path(), recipes, 1, &error)) {
        Out() << "sample failed: " << error << Qt::endl;
        return 1;
    }

    QProcess server;
    server.start(ZESTREL_SERVER_PATH, {"--listen", "127.0.0.1:0"});
    if (!server.waitForReadyRead(10000))
        return 1;
    const auto match = QRegularExpression(":(\\d+)").match(QString::fromUtf8(server.readLine()));
    const quint16 port = quint16(match.captured(1).toUInt());

    QProcess memberB;
    memberB.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    memberB.start(args[0], {"--member-b", folderB.path(), QString::number(port)});
    if (!memberB.waitForReadyRead(60000)) {
        Out() << "member B did not start" << Qt::endl;
        return 1;
    }

    Member a(folderA.path(), "BenchA", port);
    if (!a.session.Start())
        return 1;
    BrowseTree &tree = a.session.tree;
    Browser &browser = a.session.browser;
    QElapsedTimer wait;
    wait.start();
    while (tree.tvUsers.rowCount() < 2 && wait.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QModelIndex b;
    for (int r = 0; r < tree.tvUsers.rowCount(); ++r)
        if (tree.tvUsers.index(r, 0).data().toString() == "BenchB")
            b = tree.tvUsers.index(r, 0);
    if (!b.isValid()) {
        Out() << "member B not listed" << Qt::endl;
        return 1;
    }

    // The window's timer: the longest gap between its ticks.
    QElapsedTimer tickClock;
    qint64 longestGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (tickClock.isValid())
            longestGap = std::max(longestGap, tickClock.elapsed());
        tickClock.start();
    });
    ticker.start();

    // One click: select, click, and wait until `done` says the answer is shown.
    // A's own processor time per click (request, reply, reader), which other load on
    // the machine does not inflate.
    std::vector<double> *cpuOf = nullptr;
    auto timeClick = [&](const QModelIndex &node, const std::function<bool()> &done) {
        const double cpu0 = ThreadCpuMs();
        tree.RemoveChildren(node);
        tree.tvUsersSelection.setCurrentIndex(node, QItemSelectionModel::ClearAndSelect);
        QElapsedTimer t;
        t.start();
        browser.tvUsers_MouseDown(Browser::LeftButton);
        browser.tvUsers_NodeClick(node);
        browser.tvUsers_MouseUp(Browser::LeftButton);
        while (!done() && t.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const double wall = double(t.nsecsElapsed()) / 1e6;
        if (cpuOf)
            cpuOf->push_back(ThreadCpuMs() - cpu0);
        return wall;
    };
    auto filled = [&](const QModelIndex &node) {
        const QPersistentModelIndex n(node);
        return [&tree, n] { return tree.tvUsers.rowCount(n) > 0; };
    };
    auto child = [&](const QModelIndex &parent, int row) {
        return tree.tvUsers.index(row % std::max(1, tree.tvUsers.rowCount(parent)), 0, parent);
    };

    std::vector<double> types, categories, groups, list, preview;
    std::vector<double> cpu[5];
    cpuOf = &cpu[0];
    for (int i = 0; i < clicks; ++i)
        types.push_back(timeClick(b, filled(b)));
    const QPersistentModelIndex food = child(b, 0);
    cpuOf = &cpu[1];
    for (int i = 0; i < clicks; ++i)
        categories.push_back(timeClick(food, filled(food)));
    cpuOf = &cpu[2];
    // Letter groups of every category in turn; the recipes of the largest category's groups.
    QPersistentModelIndex largest;
    int largestGroups = 0;
    for (int i = 0; i < clicks; ++i) {
        const QPersistentModelIndex category = child(food, i);
        groups.push_back(timeClick(category, filled(category)));
        if (tree.tvUsers.rowCount(category) > largestGroups) {
            largestGroups = tree.tvUsers.rowCount(category);
            largest = category;
        }
    }
    cpuOf = nullptr;
    timeClick(largest, filled(largest));
    cpuOf = &cpu[3];
    for (int i = 0; i < clicks; ++i) {
        const QPersistentModelIndex group = child(largest, i);
        list.push_back(timeClick(group, filled(group)));
    }
    const QPersistentModelIndex group = child(largest, 0);
    cpuOf = nullptr;
    timeClick(group, filled(group));
    cpuOf = &cpu[4];
    int shown = 0;
    QObject::connect(&a.session.storage, &StorageBox::recipeShown, [&] { ++shown; });
    for (int i = 0; i < clicks; ++i) {
        const int before = shown;
        preview.push_back(timeClick(child(group, i), [&] { return shown > before; }));
    }
    ticker.stop();

    Out() << "\nbrowse round trips through the relay: member B with " << recipes << " recipes, "
          << clicks << " clicks per level (ms)\n";
    Out() << QString("%1 %2 %3 %4 %5\n")
                 .arg("level", -16)
                 .arg("median", 9)
                 .arg("p99", 9)
                 .arg("A cpu med", 10)
                 .arg("A cpu p99", 10);
    const std::pair<const char *, std::vector<double> *> rows[] = {{"types (local)", &types},
                                                                   {"categories", &categories},
                                                                   {"letter groups", &groups},
                                                                   {"recipes", &list},
                                                                   {"preview", &preview}};
    int level = 0;
    for (const auto &[name, values] : rows) {
        const Figures f = Summarise(*values), c = Summarise(cpu[level++]);
        Out() << QString("%1 %2 %3 %4 %5\n")
                     .arg(QString::fromLatin1(name), -16)
                     .arg(f.median, 9, 'f', 2)
                     .arg(f.p99, 9, 'f', 2)
                     .arg(c.median, 10, 'f', 2)
                     .arg(c.p99, 10, 'f', 2);
    }
    Out() << "largest category: " << largestGroups << " letter groups\n";
    Out() << "longest gap of the 10 ms timer in A: " << longestGap << " ms" << Qt::endl;

    a.session.SignOffAndClose();
    memberB.terminate();
    if (!memberB.waitForFinished(5000))
        memberB.kill();
    server.terminate();
    server.waitForFinished(5000);
    return 0;
}
