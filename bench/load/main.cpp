// The client under load.
//
//   zestrel-bench-load [--recipes 10000] [--flood-seconds 10] [--flood-rate 10000]
//                      [--uniform-rows]
//
// 1. Throughput: a stand-in server (a thread with a plain socket, so it never waits on
//    the client's event loop) writes 1k, 10k and 50k frames to one whole client in this
//    process, whose tree is shown in a QTreeView (offscreen) and whose status line in a
//    QLabel: 101 (a member arrives), 102 (the members leave again, in random order) and
//    111 (category requests from many members, answered from a cookbook of --recipes
//    recipes; the server counts the answers), and 111 from one member, whose requests
//    over its burst are dropped. --uniform-rows tells the view that every row is as
//    high as the first (it then lays out 50k rows without measuring each). Figures: frames per
//    second and the longest gap of a 10 ms timer in the client (how long its window would stall).
// 2. Flood: the real relay, the client under test as a second process answering from
//    the same cookbook, a flooder sending --flood-rate category requests a second to it
//    for --flood-seconds, and a probe member asking every 100 ms. Figures: the probe's
//    answer latency, the client's peak resident memory, whether it stayed signed in.
//    --flood-seconds 0 leaves the flood out.
#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "app/Prompter.h"
#include "chat/TextFilter.h"
#include "client/Session.h"
#include "cookbook/CookbookFactory.h"
#include "store/RecipeDatabase.h"
#include "wire/Frame.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace zestrel;

namespace
{

QTextStream &Out()
{
    static QTextStream out(stdout);
    return out;
}

QString Option(const QStringList &args, const QString &name, const QString &fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

QString FS()
{
    return FromWire(protocol::kFieldSep);
}
QString AS()
{
    return FromWire(protocol::kArgSep);
}

QString MemberKey(int i)
{
    return "10." + QString::number(i / 65536) + "." + QString::number(i / 256 % 256) + "." +
           QString::number(i % 256) + FS() + "Cook" + QString::number(i) + FS() +
           QString::number(i + 100);
}

// One member's whole client in this process.
struct Client {
    Client(const QString &folder, const QString &name, quint16 port) : app(diag, prompter, folder)
    {
        app.InitSeparators();
        app.Settings["USERNAME"] = name;
        app.Settings["ALLRECIPES"] = "1";
        app.Settings["ALLOWSEARCHES"] = "1";
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

// The longest gap between the ticks of a 10 ms timer.
struct StallMeter {
    StallMeter()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
    }
    void start()
    {
        clock.start();
        last = 0;
        longest = 0;
        timer.start();
    }
    double stopMs()
    {
        timer.stop();
        longest = std::max(longest, clock.nsecsElapsed() - last);
        return double(longest) / 1e6;
    }
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
};

// A stand-in server on its own thread: accepts one client, answers its sign-in with
// 117, then on each Run writes the frames as fast as the client takes them and counts
// the frames that come back.
class StandIn
{
  public:
    StandIn()
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(listen_, 1);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &len);
        port = ntohs(a.sin_port);
    }
    ~StandIn()
    {
        if (fd_ >= 0)
            ::close(fd_);
        ::close(listen_);
    }
    quint16 port = 0;

    // Accepts and signs the client in (blocking; the client connects from another thread's
    // point of view, so this runs on a thread too).
    void AcceptAsync()
    {
        worker_ = std::thread([this] {
            fd_ = ::accept(listen_, nullptr, nullptr);
            std::string in;
            char buf[4096];
            while (in.find("*~E~*") == std::string::npos) {
                const ssize_t n = ::read(fd_, buf, sizeof buf);
                if (n <= 0)
                    return;
                in.append(buf, std::size_t(n));
            }
            const QByteArray f = BuildFrame(117, QString(), QString(), "1");
            (void)!::write(fd_, f.constData(), std::size_t(f.size()));
            ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
            signedIn = true;
        });
    }
    void Join()
    {
        if (worker_.joinable())
            worker_.join();
    }

    // Writes `data` and counts end markers coming back until `replies` have come.
    void RunAsync(QByteArray data, long replies)
    {
        done = false;
        stop = false;
        repliesSeen = 0;
        worker_ = std::thread([this, data = std::move(data), replies] {
            std::size_t sent = 0;
            std::string tail;
            char buf[65536];
            while ((sent < std::size_t(data.size()) || repliesSeen < replies) && !stop) {
                pollfd p{fd_, short(POLLIN | (sent < std::size_t(data.size()) ? POLLOUT : 0)), 0};
                if (::poll(&p, 1, 100) < 0)
                    break;
                if (p.revents & POLLOUT) {
                    const ssize_t n = ::write(fd_, data.constData() + sent,
                                              std::min<std::size_t>(65536, data.size() - sent));
                    if (n > 0)
                        sent += std::size_t(n);
                }
                if (p.revents & POLLIN) {
                    const ssize_t n = ::read(fd_, buf, sizeof buf);
                    if (n <= 0)
                        break;
                    tail.append(buf, std::size_t(n));
                    std::size_t at = 0;
                    while ((at = tail.find("*~E~*", at)) != std::string::npos) {
                        ++repliesSeen;
                        at += 5;
                    }
                    tail.erase(0, tail.size() > 4 ? tail.size() - 4 : 0);
                }
                if (p.revents & (POLLERR | POLLHUP))
                    break;
            }
            done = true;
        });
    }
    std::atomic<bool> signedIn{false};
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::atomic<long> repliesSeen{0};

  private:
    int listen_ = -1, fd_ = -1;
    std::thread worker_;
};

bool WaitFor(const std::function<bool()> &condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!condition()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

struct Row {
    QString what;
    int frames;
    double seconds, stallMs;
};

// Part 1 for one size: 101, 102 and 111 through one client.
void Throughput(const QString &cookbookFolder, int n, bool uniformRows, std::vector<Row> &rows)
{
    QTemporaryDir home;
    QFile::copy(QDir(cookbookFolder).filePath("cookbook.db"),
                QDir(home.path()).filePath("cookbook.db"));
    QFile::copy(QDir(cookbookFolder).filePath("cookbook.ini"),
                QDir(home.path()).filePath("cookbook.ini"));
    StandIn server;
    Client c(home.path(), "Bench", server.port);
    RecipeDatabase db(c.app);
    db.OpenRecipeDatabase();
    c.session.AnswerFrom(db);
    QTreeView view;
    view.setModel(&c.session.tree.tvUsers);
    view.setSelectionModel(&c.session.tree.tvUsersSelection);
    view.setHeaderHidden(true);
    view.setUniformRowHeights(uniformRows);
    view.resize(300, 600);
    view.show();
    QLabel status;
    QObject::connect(&c.diag.status, &StatusLine::shown, &status, &QLabel::setText);
    status.show();

    server.AcceptAsync();
    if (!c.session.connection.ConnectToServer()) {
        Out() << "the client did not connect" << Qt::endl;
        return;
    }
    // The sign-in goes out when the event loop turns.
    WaitFor([&] { return server.signedIn.load(); }, 10000);
    server.Join();
    WaitFor([&] { return !c.app.MyUserKey.isEmpty(); }, 5000);
    // No member list ever comes from the stand-in; the client must not ask for one.
    c.session.connection.timReconnect.stop();

    StallMeter stall;
    const auto run = [&](const QString &what, const QByteArray &data, long replies,
                         const std::function<bool()> &finished) {
        WaitFor([] { return false; }, 50); // quiet before
        stall.start();
        QElapsedTimer t;
        t.start();
        server.RunAsync(data, replies);
        WaitFor(finished, 600000);
        const double seconds = double(t.nsecsElapsed()) / 1e9;
        server.stop = true;
        rows.push_back({what, n, seconds, stall.stopMs()});
        server.Join();
    };

    QByteArray data;
    for (int i = 0; i < n; ++i)
        data += BuildFrame(101, QString(), QString(), MemberKey(i));
    QStandardItemModel &model = c.session.tree.tvUsers;
    run("101 arrivals", data, 0, [&] { return model.rowCount() == n; });

    std::vector<int> order(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        order[std::size_t(i)] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(42));
    data.clear();
    for (int i : order)
        data += BuildFrame(102, QString(), QString(), MemberKey(i));
    run("102 departures", data, 0, [&] { return model.rowCount() == 0; });

    // Requests from n/100 members (at least one), 100 each: within every member's burst.
    data.clear();
    const QString types[] = {"Food", "Drink", "Other"};
    for (int i = 0; i < n; ++i)
        data += BuildFrame(111, MemberKey(i / 100), c.app.MyUserKey,
                           types[i % 3] + AS() + "C" + QString::number(i) + AS() + "1");
    run("111 requests answered", data, n, [&] { return server.done.load(); });

    // The same from one member: its burst is answered, the rest dropped.
    data.clear();
    for (int i = 0; i < n; ++i)
        data += BuildFrame(111, MemberKey(n + 7), c.app.MyUserKey,
                           types[i % 3] + AS() + "C" + QString::number(i) + AS() + "1");
    const qint64 droppedBefore = c.session.answerGate.DroppedTotal();
    // The server counts answers until told to stop (refills may add a few).
    run("111 from one member (rest dropped)", data, long(n), [&] {
        return c.session.answerGate.DroppedTotal() - droppedBefore + server.repliesSeen >= n;
    });
}

qint64 RssKb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

int RunClient(const QString &folder, quint16 port)
{
    Client c(folder, "Target", port);
    RecipeDatabase db(c.app);
    db.OpenRecipeDatabase();
    if (c.app.NoDatabase)
        return 2;
    c.session.AnswerFrom(db);
    if (!c.session.Start())
        return 3;
    Out() << "ready" << Qt::endl;
    return QCoreApplication::exec();
}

void Flood(const QString &self, const QString &cookbookFolder, int seconds, int rate)
{
    QProcess server;
    server.start(ZESTREL_SERVER_PATH, {"--listen", "127.0.0.1:0"});
    if (!server.waitForReadyRead(10000))
        return;
    const auto match = QRegularExpression(":(\\d+)").match(QString::fromUtf8(server.readLine()));
    const quint16 port = quint16(match.captured(1).toUInt());

    QProcess target;
    target.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    target.start(self, {"--client", cookbookFolder, QString::number(port)});
    if (!target.waitForReadyRead(60000)) {
        Out() << "the client under test did not start" << Qt::endl;
        return;
    }
    QTemporaryDir fh, ph;
    Client flood(fh.path(), "Flood", port), probe(ph.path(), "Probe", port);
    if (!flood.session.Start() || !probe.session.Start())
        return;
    const auto sees = [](Client &c) { return c.session.tree.tvUsers.rowCount() == 3; };
    if (!WaitFor([&] { return sees(flood) && sees(probe); }, 10000)) {
        Out() << "members did not see each other" << Qt::endl;
        return;
    }
    QString targetKey;
    for (const cUser &u : probe.session.members.OnlineUsers)
        if (u.UserName() == "Target")
            targetKey = u.UserKey();

    long floodAnswers = 0;
    flood.session.dispatcher.Register(110,
                                      [&](const QString &, const QString &) { ++floodAnswers; });
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> sentAt;
    std::vector<double> latencies;
    probe.session.dispatcher.Register(110, [&](const QString &, const QString &p) {
        const qsizetype at = p.lastIndexOf(AS());
        const long n = p.mid(at + AS().size() + 1).toLong();
        if (at >= 0 && n >= 0 && n < long(sentAt.size()))
            latencies.push_back(double(clock.nsecsElapsed() - sentAt[std::size_t(n)]) / 1e6);
    });

    const QByteArray one =
        BuildFrame(111, flood.app.MyUserKey, targetKey, "Food" + AS() + "C1" + AS() + "1");
    long floodSent = 0;
    qint64 peakRss = RssKb(target.processId());
    const qint64 startRss = peakRss;
    QTimer pump;
    pump.setTimerType(Qt::PreciseTimer);
    pump.setInterval(5);
    QObject::connect(&pump, &QTimer::timeout, [&] {
        const long due = long(double(clock.nsecsElapsed()) / 1e9 * rate);
        QByteArray batch;
        for (; floodSent < due; ++floodSent)
            batch += one;
        if (!batch.isEmpty())
            flood.session.connection.socket().write(batch);
    });
    QTimer ask;
    ask.setInterval(100);
    QObject::connect(&ask, &QTimer::timeout, [&] {
        sentAt.push_back(clock.nsecsElapsed());
        probe.session.connection.SendMessage(111, probe.app.MyUserKey, targetKey,
                                             "Food" + AS() + "P" +
                                                 QString::number(sentAt.size() - 1) + AS() + "1");
        peakRss = std::max(peakRss, RssKb(target.processId()));
    });
    pump.start();
    ask.start();
    WaitFor([&] { return clock.elapsed() >= qint64(seconds) * 1000; }, seconds * 1000 + 5000);
    pump.stop();
    ask.stop();
    // The last answers come in.
    WaitFor([&] { return latencies.size() >= sentAt.size(); }, 10000);
    const bool signedIn = target.state() == QProcess::Running &&
                          probe.session.members.UserExists(targetKey) && sees(probe);

    std::vector<double> l = latencies;
    std::sort(l.begin(), l.end());
    const auto at = [&](double q) {
        return l.empty() ? -1.0 : l[std::min(l.size() - 1, std::size_t(q * double(l.size())))];
    };
    Out() << "\nFlood: " << rate << " requests/s for " << seconds << " s from one member ("
          << floodSent << " sent, " << floodAnswers << " answered)\n";
    Out() << QString("  other member: %1 of %2 requests answered; latency median %3 ms, p99 %4 ms, "
                     "max %5 ms\n")
                 .arg(l.size())
                 .arg(sentAt.size())
                 .arg(at(0.5), 0, 'f', 1)
                 .arg(at(0.99), 0, 'f', 1)
                 .arg(l.empty() ? -1.0 : l.back(), 0, 'f', 1);
    Out() << QString("  client RSS: %1 MB at the start, %2 MB at the peak; still signed in: %3\n")
                 .arg(double(startRss) / 1024.0, 0, 'f', 1)
                 .arg(double(peakRss) / 1024.0, 0, 'f', 1)
                 .arg(signedIn ? "yes" : "no");
    Out().flush();
    target.terminate();
    target.waitForFinished(5000);
    server.terminate();
    server.waitForFinished(5000);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    if (raw.value(1) == "--client") {
        QCoreApplication qapp(argc, argv);
        return RunClient(raw.value(2), quint16(raw.value(3).toUInt()));
    }
    QApplication qapp(argc, argv);
    const QStringList args = qapp.arguments();
    const int recipes = Option(args, "--recipes", "10000").toInt();
    const int seconds = Option(args, "--flood-seconds", "10").toInt();
    const int rate = Option(args, "--flood-rate", "10000").toInt();

    QTemporaryDir cookbook;
    QString error;
    Out() << "building a sample cookbook of " << recipes << " recipes..." << Qt::endl;
    if (!cookbook::FillSample(cookbook.path(), recipes, 1, &error)) {
        Out() << "sample failed: " << error << Qt::endl;
        return 1;
    }

    std::vector<Row> rows;
    const bool uniformRows = args.contains("--uniform-rows");
    for (int n : {1000, 10000, 50000})
        Throughput(cookbook.path(), n, uniformRows, rows);
    Out()
        << "\n| frames | kind | seconds | frames/s | longest stall (ms) |\n|---|---|---|---|---|\n";
    for (const Row &r : rows)
        Out() << QString("| %1 | %2 | %3 | %4 | %5 |\n")
                     .arg(r.frames)
                     .arg(r.what)
                     .arg(r.seconds, 0, 'f', 3)
                     .arg(double(r.frames) / r.seconds, 0, 'f', 0)
                     .arg(r.stallMs, 0, 'f', 1);
    Out().flush();

    if (seconds > 0)
        Flood(args[0], cookbook.path(), seconds, rate);
    return 0;
}
