// Search and chat figures on a real relay:
//   zestrel-bench-search [--members N] [--recipes R] [--searches S]   (20, 10000, 50)
// Starts a relay and N member processes (this program with --member), each
// answering from a sample cookbook of R recipes, then times S searches of one more
// member from the search button to the last result row (median and p99), and the
// longest stall of its event loop meanwhile (a 2 ms timer's largest gap). Then
// 500 chat lines a second go into the chat display for 10 s: the longest stall
// and the resident memory before and after.
#include "chat/TextFilter.h"
#include "client/Session.h"
#include "cookbook/CookbookFactory.h"
#include "store/RecipeDatabase.h"
#include "wire/Frame.h"
#include "wire/Payloads.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <memory>
#include <vector>

using namespace zestrel;

namespace
{

struct Member {
    Member(const QString &folder, const QString &name, const QString &host, const QString &port)
        : app(diag, prompter, folder)
    {
        app.InitSeparators();
        app.Settings.insert("USERNAME", name);
        app.Settings.insert("ALLOWSEARCHES", "1");
        app.Net.ServerAddress = host;
        app.Net.ServerPort = port;
        app.Net.ConnectTimeout = 10;
        app.CookbookIniPath = QDir(folder).filePath("cookbook.ini");
    }
    Diagnostics diag;
    SilentPrompter prompter;
    AppState app;
    Session session{app, ScreenText};
};

// Runs until the event loop's condition holds or the time is up; the longest gap
// between ticks of a 2 ms timer meanwhile goes to `stall`.
bool RunUntil(const std::function<bool()> &done, int timeoutMs, qint64 *stall)
{
    QElapsedTimer clock, tick;
    clock.start();
    tick.start();
    qint64 longest = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] { longest = std::max(longest, tick.restart()); });
    beat.start(2);
    while (!done() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    longest = std::max(longest, tick.elapsed());
    if (stall)
        *stall = std::max(*stall, longest);
    return done();
}

qint64 RssKb()
{
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

double Percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

int RunMember(const QStringList &args)
{
    // --member HOST PORT NAME FOLDER
    Member m(args.value(4), args.value(3), args.value(1), args.value(2));
    RecipeDatabase db(m.app);
    db.OpenRecipeDatabase();
    m.session.AnswerFrom(db);
    if (!m.session.Start())
        return 1;
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication qapp(argc, argv);
    QStringList args = qapp.arguments().mid(1);
    if (args.value(0) == "--member")
        return RunMember(args);
    auto option = [&](const char *name, int fallback) {
        const qsizetype at = args.indexOf(QString::fromLatin1(name));
        return at >= 0 ? args.value(at + 1).toInt() : fallback;
    };
    const int members = option("--members", 20), recipes = option("--recipes", 10000),
              searches = option("--searches", 50);
    QTextStream out(stdout);

    QTemporaryDir dir;
    const QString sample = QDir(dir.path()).filePath("sample");
    QDir().mkpath(sample);
    QString error;
    if (!cookbook::FillSample(sample, recipes, 1, &error)) {
        out << "sample cookbook: " << error << "\n";
        return 1;
    }
    QProcess relay;
    relay.start(ZESTREL_SERVER_PATH, {"--listen", "127.0.0.1:0"});
    if (!relay.waitForReadyRead(10000))
        return 1;
    const QString port = QString::fromUtf8(relay.readLine()).trimmed().section(':', -1);

    std::vector<std::unique_ptr<QProcess>> procs;
    for (int i = 0; i < members; ++i) {
        const QString folder = QDir(dir.path()).filePath(QString("m%1").arg(i));
        QDir().mkpath(folder);
        for (const char *f : {"cookbook.db", "cookbook.ini"})
            QFile::copy(QDir(sample).filePath(f), QDir(folder).filePath(f));
        auto p = std::make_unique<QProcess>();
        p->start(qapp.applicationFilePath(),
                 {"--member", "127.0.0.1", port, QString("Member%1").arg(i), folder});
        procs.push_back(std::move(p));
    }

    const QString own = QDir(dir.path()).filePath("searcher");
    QDir().mkpath(own);
    Member s(own, "Searcher", "127.0.0.1", port);
    s.session.search.SearchPause = 0;
    bool ok =
        s.session.Start() &&
        RunUntil([&] { return s.session.tree.tvUsers.rowCount() == members + 1; }, 120000, nullptr);
    if (!ok) {
        out << "members did not all sign in\n";
        return 1;
    }
    SearchModel &search = s.session.search;
    search.SetData(0, "Soup");
    search.cmdSearch_Click();
    RunUntil([] { return false; }, 3000, nullptr);
    const int expected = search.lvwResults.rowCount();
    std::vector<double> times;
    qint64 stall = 0;
    for (int i = 0; i < searches; ++i) {
        QElapsedTimer t;
        t.start();
        search.cmdSearch_Click();
        if (!RunUntil([&] { return search.lvwResults.rowCount() >= expected; }, 10000, &stall))
            out << "search " << i << ": only " << search.lvwResults.rowCount() << " rows\n";
        times.push_back(double(t.nsecsElapsed()) / 1e6);
        RunUntil([] { return false; }, 100, nullptr);
    }
    out << "search: " << members << " members x " << recipes << " recipes, " << expected
        << " rows per search\n";
    out << QString("  cmdSearch to last row: median %1 ms, p99 %2 ms, max %3 ms\n")
               .arg(Percentile(times, 0.5), 0, 'f', 1)
               .arg(Percentile(times, 0.99), 0, 'f', 1)
               .arg(Percentile(times, 1.0), 0, 'f', 1);
    out << "  longest stall while answers arrive: " << stall << " ms\n";
    out.flush();

    // Chat: lines of the selected room arrive through the reassembly and dispatch.
    ChatRooms &chat = s.session.chat;
    chat.ProcessRoomList("Lobby");
    const QByteArray frame =
        BuildFrame(103, QString(), QString(),
                   wire::Encode(wire::ChatLine{"Member1",
                                               "a chat line of ordinary length, "
                                               "about sixty characters long",
                                               "255", "0"}));
    qint64 chatStall = 0, rssStart = 0;
    int sent = 0;
    QElapsedTimer clock;
    clock.start();
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    QObject::connect(&feed, &QTimer::timeout, [&] {
        const int due = int(clock.elapsed() / 2); // 500 a second
        for (; sent < due; ++sent)
            s.session.connection.ProcessChunk(frame);
        if (!rssStart && clock.elapsed() > 1000)
            rssStart = RssKb();
    });
    feed.start(10);
    RunUntil([&] { return clock.elapsed() >= 10000; }, 11000, &chatStall);
    feed.stop();
    out << "chat: " << sent << " lines in 10 s, display " << chat.DisplayLength()
        << " characters\n";
    out << "  longest stall: " << chatStall << " ms; resident memory " << rssStart
        << " kB after 1 s, " << RssKb() << " kB after 10 s\n";

    for (auto &p : procs)
        p->kill();
    for (auto &p : procs)
        p->waitForFinished(2000);
    relay.terminate();
    relay.waitForFinished(2000);
    return 0;
}
