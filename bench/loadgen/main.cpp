// zestrel-loadgen: runs one load scenario against a relay on loopback and prints
// its figures, as a readable block and as one "RESULT key=value ..." line that
// bench/relay.sh collects. Speaks our protocol, IRC or MQTT 3.1.1.
//
//   a  one sender to one receiver, 64-byte payloads, bounded window: delivered msgs/s
//   b  pairs of members at a fixed rate each: latency p50/p99/max
//   c  one chat line at a time to every member (bounded window): deliveries/s
//   d  many idle signed-in members: server resident memory per member
//   e  fan-out with one member that never reads: server memory over time and the
//      others' rate with and without the stalled member
//   g  pairs as in b while many members sign in, a fifth of them never reading:
//      the pairs' latency and the server's peak memory
#include "Member.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

using namespace loadgen;
using asio::ip::tcp;

namespace
{

struct Options {
    Proto proto = Proto::Zestrel;
    std::string protoName = "zestrel";
    std::string label;
    std::string host = "127.0.0.1";
    unsigned short port = 0;
    unsigned short port2 = 0; // a second relay node: odd-numbered members go there
    char scenario = 'a';
    long serverPid = 0;
    double seconds = 3.0; // measured time per phase
    double warmup = 0.5;
    int window = 128;    // in-flight messages, scenario a
    int fanWindow = 8;   // in-flight chat lines, scenarios c and e
    int pairs = 200;     // scenario b
    int rate = 100;      // messages/s per pair, scenario b
    int payload = 64;    // bytes per payload, send time included
    int members = 500;   // scenarios c and e
    int idle = 10000;    // scenario d
    int sources = 8;     // loopback source addresses 127.0.0.1 .. 127.0.0.N
    int concurrency = 8; // connects in flight; more overflows small listen backlogs
    double signInTimeout = 60.0;
    bool storm = false;  // scenario g's sign-in storm, run as a process of its own
};

[[noreturn]] void Usage()
{
    std::fprintf(
        stderr,
        "usage: zestrel-loadgen --proto zestrel|irc|mqtt --port PORT --scenario a|b|c|d|e|g\n"
        "       [--host 127.0.0.x] [--server-pid PID] [--seconds S] [--warmup S]\n"
        "       [--window N] [--fan-window N] [--pairs N] [--rate N] [--members N]\n"
        "       [--idle N] [--sources N] [--concurrency N] [--sign-in-timeout S]\n"
        "       [--label TEXT] [--port2 PORT] [--storm 1]\n"
        "--port2: a second node of the same relay; members alternate between the two\n"
        "(a: sender on PORT, receiver on PORT2; b: each pair split; c: half on each).\n");
    std::exit(2);
}

Options Parse(int argc, char **argv)
{
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (i + 1 >= argc)
            Usage();
        const std::string v = argv[++i];
        if (a == "--proto") {
            o.protoName = v;
            if (v == "zestrel")
                o.proto = Proto::Zestrel;
            else if (v == "irc")
                o.proto = Proto::Irc;
            else if (v == "mqtt")
                o.proto = Proto::Mqtt;
            else
                Usage();
        } else if (a == "--host")
            o.host = v;
        else if (a == "--port")
            o.port = static_cast<unsigned short>(std::stoi(v));
        else if (a == "--port2")
            o.port2 = static_cast<unsigned short>(std::stoi(v));
        else if (a == "--scenario" && v.size() == 1 &&
                 ((v[0] >= 'a' && v[0] <= 'e') || v[0] == 'g'))
            o.scenario = v[0];
        else if (a == "--server-pid")
            o.serverPid = std::stol(v);
        else if (a == "--seconds")
            o.seconds = std::stod(v);
        else if (a == "--warmup")
            o.warmup = std::stod(v);
        else if (a == "--window")
            o.window = std::stoi(v);
        else if (a == "--fan-window")
            o.fanWindow = std::stoi(v);
        else if (a == "--pairs")
            o.pairs = std::stoi(v);
        else if (a == "--payload")
            o.payload = std::stoi(v);
        else if (a == "--rate")
            o.rate = std::stoi(v);
        else if (a == "--members")
            o.members = std::stoi(v);
        else if (a == "--idle")
            o.idle = std::stoi(v);
        else if (a == "--sources")
            o.sources = std::clamp(std::stoi(v), 1, 250);
        else if (a == "--concurrency")
            o.concurrency = std::max(1, std::stoi(v));
        else if (a == "--sign-in-timeout")
            o.signInTimeout = std::stod(v);
        else if (a == "--label")
            o.label = v;
        else if (a == "--storm")
            o.storm = v == "1";
        else
            Usage();
    }
    if (o.port == 0)
        Usage();
    // Loopback only: the bench never aims load at another machine.
    asio::error_code ec;
    const auto addr = asio::ip::make_address_v4(o.host, ec);
    if (ec || (addr.to_uint() >> 24) != 127) {
        std::fprintf(stderr, "zestrel-loadgen: --host must be a 127.0.0.0/8 address\n");
        std::exit(2);
    }
    // Every load loop is bounded.
    o.seconds = std::clamp(o.seconds, 0.2, 60.0);
    o.warmup = std::clamp(o.warmup, 0.0, 10.0);
    o.signInTimeout = std::clamp(o.signInTimeout, 1.0, 300.0);
    o.pairs = std::clamp(o.pairs, 1, 5000);
    o.rate = std::clamp(o.rate, 1, 100000);
    o.members = std::clamp(o.members, 3, 10000);
    o.idle = std::clamp(o.idle, 1, 15000);
    o.window = std::clamp(o.window, 1, 100000);
    o.fanWindow = std::clamp(o.fanWindow, 1, 10000);
    o.payload = std::clamp(o.payload, 20, 60000);
    if (o.label.empty())
        o.label = o.protoName;
    return o;
}

void RaiseFdLimit()
{
    rlimit rl{};
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
}

// Resident memory of a process in KiB, or -1.
long RssKib(long pid)
{
    if (pid <= 0)
        return -1;
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

// Peak resident memory of a process in KiB (VmHWM), or -1.
long PeakKib(long pid)
{
    if (pid <= 0)
        return -1;
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double Percentile(std::vector<std::uint32_t> &v, double p)
{
    if (v.empty())
        return -1;
    const auto k = static_cast<std::size_t>(p * static_cast<double>(v.size() - 1));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k] / 1000.0; // microseconds
}


// Scenario g's sign-in storm as a child process of this same program; its one report
// line comes back through a pipe.
struct StormReport {
    bool ok = false;
    int joined = 0;
    double signInSeconds = 0;
};

class Storm
{
  public:
    bool Start(const Options &o)
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return false;
        std::vector<std::string> args = {
            "/proc/self/exe", "--proto", o.protoName, "--host", o.host,
            "--port", std::to_string(o.port), "--scenario", "g", "--storm", "1",
            "--idle", std::to_string(o.idle), "--pairs", std::to_string(o.pairs),
            "--concurrency", std::to_string(o.concurrency), "--sources", std::to_string(o.sources),
            "--sign-in-timeout", std::to_string(o.signInTimeout),
            "--seconds", std::to_string(o.seconds), "--label", o.label};
        std::vector<char *> argv;
        for (auto &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const int rc = ::posix_spawn(&pid_, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (rc != 0) {
            ::close(fds[0]);
            return false;
        }
        out_ = fds[0];
        return true;
    }

    bool Ended()
    {
        if (pid_ > 0 && ::waitpid(pid_, &status_, WNOHANG) == pid_)
            pid_ = 0;
        return pid_ == 0;
    }

    StormReport Finish()
    {
        if (!Ended()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status_, 0);
            pid_ = 0;
        }
        std::string text;
        char buf[512];
        for (ssize_t n; (n = ::read(out_, buf, sizeof buf)) > 0;)
            text.append(buf, std::size_t(n));
        ::close(out_);
        StormReport r;
        const auto at = text.find("STORM ");
        r.ok = WIFEXITED(status_) && WEXITSTATUS(status_) == 0 && at != std::string::npos &&
               std::sscanf(text.c_str() + at, "STORM joined=%d sign_in_s=%lf", &r.joined,
                           &r.signInSeconds) == 2;
        return r;
    }

    ~Storm()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

  private:
    pid_t pid_ = 0;
    int out_ = -1;
    int status_ = 0;
};

class Run
{
  public:
    explicit Run(const Options &o)
        : o_(o), server_(asio::ip::make_address_v4(o.host), o.port),
          server2_(asio::ip::make_address_v4(o.host), o.port2 ? o.port2 : o.port)
    {
    }

    ~Run()
    {
        for (auto &m : members_)
            m->Close();
        // Let the aborted handlers run before the members they refer to go away.
        io_.restart();
        while (io_.poll() > 0) {
        }
    }

    // Runs handlers until pred() holds or the time is up; tick() runs after each handler.
    bool PumpUntil(const std::function<bool()> &pred, double seconds,
                   const std::function<void()> &tick = {})
    {
        const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(seconds));
        for (;;) {
            if (pred())
                return true;
            if (Clock::now() >= deadline)
                return false;
            io_.run_one_for(std::chrono::milliseconds(1));
            if (tick)
                tick();
        }
    }
    void PumpFor(double seconds, const std::function<void()> &tick = {})
    {
        PumpUntil([] { return false; }, seconds, tick);
    }

    // Connects and signs in count members (at most o_.concurrency at a time).
    // Returns how many are ready.
    int SignIn(int count, bool joinFanout, const std::function<void(Member &)> &prepare = {},
               int stalledIndex = -1, const std::function<void()> &extraTick = {})
    {
        const auto t0 = Clock::now();
        int started = 0;
        auto tick = [&] {
            while (started < count && started - (c_.ready + c_.failed) < o_.concurrency) {
                const int id = static_cast<int>(members_.size());
                members_.push_back(std::make_unique<Member>(io_, o_.proto, id, c_));
                Member &m = *members_.back();
                if (prepare)
                    prepare(m);
                const std::uint32_t src =
                    (127u << 24) | static_cast<std::uint32_t>(1 + id % o_.sources);
                m.Start(id % 2 ? server2_ : server_, asio::ip::address_v4(src), joinFanout,
                        id == stalledIndex ? 4096 : 0);
                ++started;
            }
            if (extraTick)
                extraTick();
        };
        tick();
        PumpUntil([&] { return c_.ready + c_.failed >= count; }, o_.signInTimeout, tick);
        signInSeconds_ = Seconds(Clock::now() - t0);
        return c_.ready;
    }

    // Waits until no bytes have arrived for quiet seconds (the sign-in echoes are done).
    void Settle(double quiet, double limit)
    {
        PumpUntil([&] { return Seconds(Clock::now() - c_.lastByte) >= quiet; }, limit);
    }

    bool Enough(int ready, int wanted, const char *what)
    {
        if (ready >= wanted && c_.failed == 0)
            return true;
        std::printf("RESULT label=%s scenario=%c error=sign-in ready=%d wanted=%d failed=%d "
                    "what=%s\n",
                    o_.label.c_str(), o_.scenario, ready, wanted, c_.failed, what);
        return false;
    }

    int ScenarioA();
    int ScenarioB();
    int ScenarioC();
    int ScenarioD();
    int ScenarioE();
    int ScenarioG();
    int ScenarioGStorm();

  private:
    // Expected deliveries per chat line: IRC does not echo to the sender.
    int PerLine(int readers) const { return o_.proto == Proto::Irc ? readers - 1 : readers; }

    const Options &o_;
    asio::io_context io_;
    tcp::endpoint server_;
    tcp::endpoint server2_;
    Counters c_;
    std::vector<std::unique_ptr<Member>> members_;
    double signInSeconds_ = 0;
};

int Run::ScenarioA()
{
    if (!Enough(SignIn(2, false), 2, "a"))
        return 1;
    Settle(0.2, 5);
    Member &s = *members_[0];
    Member &r = *members_[1];
    std::uint64_t sent = 0;
    bool sending = true;
    auto topUp = [&] {
        if (!sending)
            return;
        bool any = false;
        while (sent - r.Received() < static_cast<std::uint64_t>(o_.window)) {
            s.QueueDirect(r, NowNs());
            ++sent;
            any = true;
        }
        if (any)
            s.Flush();
    };
    topUp();
    PumpFor(o_.warmup, topUp);
    const std::uint64_t r0 = r.Received();
    const auto t0 = Clock::now();
    c_.recordFromNs = NowNs();
    c_.recording = true;
    PumpFor(o_.seconds, topUp);
    const std::uint64_t r1 = r.Received();
    const double dt = Seconds(Clock::now() - t0);
    sending = false;
    c_.recording = false;
    const double rate = static_cast<double>(r1 - r0) / dt;
    const double p50 = Percentile(c_.latencies, 0.5), p99 = Percentile(c_.latencies, 0.99);
    std::printf("[%s] a: one to one, window %d: %.0f msgs/s delivered (p50 %.0f us, p99 %.0f "
                "us)\n",
                o_.label.c_str(), o_.window, rate, p50, p99);
    std::printf("RESULT label=%s scenario=a msgs_per_s=%.0f p50_us=%.1f p99_us=%.1f failed=%d\n",
                o_.label.c_str(), rate, p50, p99, c_.failed);
    return c_.failed ? 1 : 0;
}

int Run::ScenarioB()
{
    const int n = o_.pairs * 2;
    if (!Enough(SignIn(n, false), n, "b"))
        return 1;
    Settle(0.3, 20);
    const std::uint64_t period = 1'000'000'000ull / static_cast<std::uint64_t>(o_.rate);
    const std::uint64_t start = NowNs();
    std::vector<std::uint64_t> next(static_cast<std::size_t>(o_.pairs));
    for (int k = 0; k < o_.pairs; ++k)
        next[static_cast<std::size_t>(k)] =
            start + period * static_cast<std::uint64_t>(k) / static_cast<std::uint64_t>(o_.pairs);
    const std::uint64_t recordFrom = start + static_cast<std::uint64_t>(o_.warmup * 1e9);
    const std::uint64_t stopAt = recordFrom + static_cast<std::uint64_t>(o_.seconds * 1e9);
    std::uint64_t sentInWindow = 0;
    std::uint64_t nextScan = 0;
    auto tick = [&] {
        const std::uint64_t now = NowNs();
        if (now < nextScan || now >= stopAt)
            return;
        nextScan = now + 100'000; // scan the schedule at most every 0.1 ms
        for (int k = 0; k < o_.pairs; ++k) {
            auto &due = next[static_cast<std::size_t>(k)];
            if (due > now)
                continue;
            Member &s = *members_[static_cast<std::size_t>(2 * k)];
            const Member &r = *members_[static_cast<std::size_t>(2 * k + 1)];
            // Catch up at most one missed slot; a slow loop must not turn into a burst.
            while (due <= now) {
                const std::uint64_t t = NowNs();
                s.QueueDirect(r, t);
                if (t >= recordFrom && t < stopAt) // the window the receivers record
                    ++sentInWindow;
                due += period;
                if (due + period <= now)
                    due = now + period;
            }
            s.Flush();
        }
    };
    c_.recordFromNs = recordFrom;
    c_.recordUntilNs = stopAt;
    c_.recording = true;
    PumpUntil([&] { return NowNs() >= stopAt; }, o_.warmup + o_.seconds + 5, tick);
    // Give the last messages time to arrive.
    PumpFor(0.5);
    c_.recording = false;
    auto &lat = c_.latencies;
    const std::size_t got = lat.size();
    const double p50 = Percentile(lat, 0.5), p99 = Percentile(lat, 0.99);
    const double mx = lat.empty() ? -1 : *std::max_element(lat.begin(), lat.end()) / 1000.0;
    const double offered = static_cast<double>(sentInWindow) / o_.seconds;
    std::printf("[%s] b: %d pairs x %d msgs/s (%.0f msgs/s offered): p50 %.0f us, p99 %.0f us, "
                "max %.0f us, %llu of %llu arrived\n",
                o_.label.c_str(), o_.pairs, o_.rate, offered, p50, p99, mx,
                static_cast<unsigned long long>(got),
                static_cast<unsigned long long>(sentInWindow));
    std::printf("RESULT label=%s scenario=b p50_us=%.1f p99_us=%.1f max_us=%.1f sent=%llu "
                "arrived=%llu failed=%d\n",
                o_.label.c_str(), p50, p99, mx, static_cast<unsigned long long>(sentInWindow),
                static_cast<unsigned long long>(got), c_.failed);
    return c_.failed ? 1 : 0;
}

int Run::ScenarioC()
{
    const int n = o_.members;
    if (!Enough(SignIn(n, true), n, "c"))
        return 1;
    Settle(0.3, 30);
    Member &s = *members_[0];
    const std::uint64_t per = static_cast<std::uint64_t>(PerLine(n));
    const std::uint64_t d0 = c_.delivered;
    std::uint64_t sent = 0;
    auto topUp = [&] {
        bool any = false;
        while ((sent * per) - (c_.delivered - d0) <
               static_cast<std::uint64_t>(o_.fanWindow) * per) {
            s.QueueFanout(NowNs());
            ++sent;
            any = true;
        }
        if (any)
            s.Flush();
    };
    topUp();
    PumpFor(o_.warmup, topUp);
    const std::uint64_t a = c_.delivered;
    const auto t0 = Clock::now();
    c_.recordFromNs = NowNs();
    c_.recording = true;
    PumpFor(o_.seconds, topUp);
    const std::uint64_t b = c_.delivered;
    const double dt = Seconds(Clock::now() - t0);
    c_.recording = false;
    const double rate = static_cast<double>(b - a) / dt;
    const double p50 = Percentile(c_.latencies, 0.5), p99 = Percentile(c_.latencies, 0.99);
    std::printf("[%s] c: fan-out to %d members, %d lines in flight: %.0f deliveries/s "
                "(%.0f lines/s; p50 %.0f us, p99 %.0f us)\n",
                o_.label.c_str(), n, o_.fanWindow, rate, rate / static_cast<double>(per), p50, p99);
    std::printf("RESULT label=%s scenario=c deliveries_per_s=%.0f p50_us=%.1f p99_us=%.1f "
                "failed=%d\n",
                o_.label.c_str(), rate, p50, p99, c_.failed);
    return c_.failed ? 1 : 0;
}

int Run::ScenarioD()
{
    const long before = RssKib(o_.serverPid);
    // Idle members are swept every 100 ms rather than woken per announcement.
    auto next = Clock::now();
    auto sweep = [&] {
        if (Clock::now() < next)
            return;
        for (auto &m : members_)
            m->Drain();
        next = Clock::now() + std::chrono::milliseconds(100);
    };
    const int ready = SignIn(
        o_.idle, false, [](Member &m) { m.SetDiscard(true); }, -1, sweep);
    // Wait until the server has nothing more to say (sign-in announcements are done).
    PumpUntil([&] { return Seconds(Clock::now() - c_.lastByte) >= 1.0; }, o_.signInTimeout, sweep);
    // Idle means idle for a while: a server may give back its burst memory once quiet.
    PumpFor(2.5, sweep);
    const long after = RssKib(o_.serverPid);
    const double perMember =
        ready > 0 && before >= 0 ? static_cast<double>(after - before) * 1024.0 / ready : -1;
    std::printf("[%s] d: %d of %d idle members signed in (%.1f s): server RSS %ld KiB -> %ld KiB, "
                "%.0f bytes per member\n",
                o_.label.c_str(), ready, o_.idle, signInSeconds_, before, after, perMember);
    std::printf("RESULT label=%s scenario=d members=%d bytes_per_member=%.0f rss_before_kib=%ld "
                "rss_after_kib=%ld sign_in_s=%.2f failed=%d\n",
                o_.label.c_str(), ready, perMember, before, after, signInSeconds_, c_.failed);
    return ready == o_.idle ? 0 : 1;
}

int Run::ScenarioE()
{
    const int n = o_.members;
    const int stalledId = n - 1;
    if (!Enough(SignIn(n, true, {}, stalledId), n, "e"))
        return 1;
    Settle(0.3, 30);
    Member &s = *members_[0];
    Member &stalled = *members_[static_cast<std::size_t>(stalledId)];
    stalled.SetCounted(false);
    const std::uint64_t per = static_cast<std::uint64_t>(PerLine(n - 1));
    const std::uint64_t d0 = c_.delivered;
    std::uint64_t sent = 0;
    auto topUp = [&] {
        bool any = false;
        while ((sent * per) - (c_.delivered - d0) <
               static_cast<std::uint64_t>(o_.fanWindow) * per) {
            s.QueueFanout(NowNs());
            ++sent;
            any = true;
        }
        if (any)
            s.Flush();
    };
    // Phase 1: everyone reads.
    topUp();
    PumpFor(o_.warmup, topUp);
    std::uint64_t a = c_.delivered;
    auto t0 = Clock::now();
    PumpFor(o_.seconds, topUp);
    const double rateAll = static_cast<double>(c_.delivered - a) / Seconds(Clock::now() - t0);
    const long rssBefore = RssKib(o_.serverPid);

    // Phase 2: one member stops reading; sample the server's memory as it goes.
    stalled.Stall();
    std::vector<std::pair<double, long>> samples;
    const double phase = 2 * o_.seconds; // long enough to reach a server's output bound
    t0 = Clock::now();
    auto next = t0;
    a = c_.delivered;
    auto sampleTick = [&] {
        topUp();
        const auto now = Clock::now();
        if (now >= next) {
            samples.emplace_back(Seconds(now - t0), RssKib(o_.serverPid));
            next += std::chrono::milliseconds(static_cast<int>(phase * 1000 / 20));
        }
    };
    PumpFor(phase / 2, sampleTick);
    const std::uint64_t half = c_.delivered;
    const auto tHalf = Clock::now();
    PumpFor(phase / 2, sampleTick);
    const double rateStalled = static_cast<double>(c_.delivered - a) / Seconds(Clock::now() - t0);
    // The second half, once a server with a bound has dealt with the stalled member.
    const double rateLate =
        static_cast<double>(c_.delivered - half) / Seconds(Clock::now() - tHalf);
    const long rssEnd = RssKib(o_.serverPid);
    // A member that never reads cannot see the server hang up; read its backlog now
    // (nothing more is sent) and look for the end of the stream.
    bool cut = false;
    auto quietSince = Clock::now();
    PumpUntil(
        [&] {
            const int r = stalled.Probe();
            if (r < 0)
                cut = true;
            else if (r > 0)
                quietSince = Clock::now();
            return cut || Seconds(Clock::now() - quietSince) > 0.3;
        },
        5.0);
    // "Levelled off": compare the end with the middle of the stalled phase, by which time
    // a server with a bound has hit it.
    long rssMid = rssEnd;
    for (const auto &[t, kib] : samples) {
        if (t >= phase / 2) {
            rssMid = kib;
            break;
        }
    }
    const double growth =
        rssMid > 0 ? 100.0 * static_cast<double>(rssEnd - rssMid) / static_cast<double>(rssMid)
                   : -1;
    const double keep = rateAll > 0 ? 100.0 * rateStalled / rateAll : -1;
    std::ostringstream series;
    for (std::size_t i = 0; i < samples.size(); ++i)
        series << (i ? "," : "") << samples[i].second;
    std::printf("[%s] e: fan-out to %d, one never reads: others %.0f/s -> %.0f/s (%.0f%%); server "
                "RSS %ld KiB before stall, %ld KiB mid, %ld KiB end (%+.1f%% after mid); "
                "stalled member %s\n",
                o_.label.c_str(), n, rateAll, rateStalled, keep, rssBefore, rssMid, rssEnd, growth,
                cut ? "disconnected by server" : "still connected");
    std::printf("     RSS KiB every %.2f s: %s\n", phase / 20, series.str().c_str());
    const double keepLate = rateAll > 0 ? 100.0 * rateLate / rateAll : -1;
    std::printf("     others' rate in the second half of the stalled phase: %.0f/s (%.0f%%)\n",
                rateLate, keepLate);
    std::printf("RESULT label=%s scenario=e rate_all=%.0f rate_stalled=%.0f keep_pct=%.1f "
                "keep_late_pct=%.1f rss_before_kib=%ld rss_mid_kib=%ld rss_end_kib=%ld "
                "growth_pct=%.1f stalled_cut=%d rss_series=%s\n",
                o_.label.c_str(), rateAll, rateStalled, keep, keepLate, rssBefore, rssMid, rssEnd,
                growth, cut ? 1 : 0, series.str().c_str());
    return 0;
}

// Pairs exchange messages as in b while o_.idle more members sign in, every fifth of
// them never reading after its sign-in is answered. The sign-ins run in a second
// process of this program (ScenarioGStorm): one thread draining thousands of member
// lists would otherwise delay the pairs' own reads, and the figure would measure the
// load generator instead of the server. The pairs' latency covers the whole sign-in
// phase and o_.seconds after it; the server's peak memory is its VmHWM at the end.
int Run::ScenarioG()
{
    const int n = o_.pairs * 2;
    if (!Enough(SignIn(n, false), n, "g pairs"))
        return 1;
    Settle(0.3, 20);
    const long rssBefore = RssKib(o_.serverPid);
    const std::uint64_t period = 1'000'000'000ull / static_cast<std::uint64_t>(o_.rate);
    const std::uint64_t start = NowNs();
    std::vector<std::uint64_t> next(static_cast<std::size_t>(o_.pairs));
    for (int k = 0; k < o_.pairs; ++k)
        next[static_cast<std::size_t>(k)] =
            start + period * static_cast<std::uint64_t>(k) / static_cast<std::uint64_t>(o_.pairs);
    std::uint64_t sent = 0, nextScan = 0;
    auto pairTick = [&] {
        const std::uint64_t now = NowNs();
        if (now < nextScan)
            return;
        nextScan = now + 100'000;
        for (int k = 0; k < o_.pairs; ++k) {
            auto &due = next[static_cast<std::size_t>(k)];
            if (due > now)
                continue;
            Member &s = *members_[static_cast<std::size_t>(2 * k)];
            const Member &r = *members_[static_cast<std::size_t>(2 * k + 1)];
            while (due <= now) {
                s.QueueDirect(r, NowNs());
                ++sent;
                due += period;
                if (due + period <= now)
                    due = now + period;
            }
            s.Flush();
        }
    };
    c_.recordFromNs = start;
    c_.recording = true;

    Storm storm;
    if (!storm.Start(o_)) {
        std::printf("RESULT label=%s scenario=g error=storm\n", o_.label.c_str());
        return 1;
    }
    PumpUntil([&] { return storm.Ended(); }, o_.signInTimeout + o_.seconds + 10, pairTick);
    const StormReport report = storm.Finish();
    PumpFor(0.5);
    c_.recording = false;
    // Pair members that lost their connection (a server may cut them) count as failed.
    int pairFailed = 0;
    for (int i = 0; i < n; ++i)
        pairFailed += members_[static_cast<std::size_t>(i)]->Failed() ? 1 : 0;
    auto &lat = c_.latencies;
    const std::size_t got = lat.size();
    const double p50 = Percentile(lat, 0.5), p99 = Percentile(lat, 0.99);
    const double mx = lat.empty() ? -1 : *std::max_element(lat.begin(), lat.end()) / 1000.0;
    const long peak = PeakKib(o_.serverPid);
    std::printf("[%s] g: %d pairs while %d of %d members sign in (%.1f s, a fifth never "
                "reading): p50 %.0f us, p99 %.0f us, max %.0f us, %zu of %llu arrived; server "
                "RSS %ld KiB before, peak %ld KiB; pair members lost %d\n",
                o_.label.c_str(), o_.pairs, report.joined, o_.idle, report.signInSeconds, p50,
                p99, mx, got, static_cast<unsigned long long>(sent), rssBefore, peak, pairFailed);
    std::printf("RESULT label=%s scenario=g p50_us=%.1f p99_us=%.1f max_us=%.1f sent=%llu "
                "arrived=%zu joined=%d peak_rss_kib=%ld rss_before_kib=%ld pairs_lost=%d "
                "sign_in_s=%.2f\n",
                o_.label.c_str(), p50, p99, mx, static_cast<unsigned long long>(sent), got,
                report.joined, peak, rssBefore, pairFailed, report.signInSeconds);
    return pairFailed == 0 && report.ok ? 0 : 1;
}

// Scenario g's other half: o_.idle members sign in, every fifth never reading after its
// sign-in is answered, the readers drained by sweeps as in d; then o_.seconds more.
// Prints one "STORM joined=N sign_in_s=S" line for the pairs' process.
int Run::ScenarioGStorm()
{
    std::size_t cursor = 0;
    auto sweep = [&] {
        // A few members per tick, round robin, so a sweep never holds up the sign-ins.
        const std::size_t all = members_.size();
        for (int k = 0; k < 32 && all > 0; ++k, ++cursor)
            members_[cursor % all]->Drain();
    };
    int started = 0;
    const auto t0 = Clock::now();
    auto tick = [&] {
        sweep();
        while (started < o_.idle && started - (c_.ready + c_.failed) < o_.concurrency) {
            // Ids past the pairs' own, so the two processes never pick the same name.
            const int id = 2 * o_.pairs + static_cast<int>(members_.size());
            members_.push_back(std::make_unique<Member>(io_, o_.proto, id, c_));
            Member &m = *members_.back();
            const bool reader = started % 5 != 0;
            m.SetCounted(false);
            if (reader)
                m.SetDiscard(true);
            else
                m.StallWhenReady();
            const std::uint32_t src =
                (127u << 24) | static_cast<std::uint32_t>(1 + id % o_.sources);
            m.Start(server_, asio::ip::address_v4(src), false, reader ? 0 : 4096);
            ++started;
        }
    };
    tick(); // work before the first pump: an io_context without any stops at once
    PumpUntil([&] { return c_.ready + c_.failed >= o_.idle; }, o_.signInTimeout, tick);
    const double signIn = Seconds(Clock::now() - t0);
    const int joined = c_.ready;
    PumpFor(o_.seconds, tick);
    std::printf("STORM joined=%d sign_in_s=%.2f\n", joined, signIn);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const Options o = Parse(argc, argv);
    RaiseFdLimit();
    g_payloadBytes = static_cast<std::size_t>(o.payload);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    try {
        Run run(o);
        switch (o.scenario) {
        case 'a':
            return run.ScenarioA();
        case 'b':
            return run.ScenarioB();
        case 'c':
            return run.ScenarioC();
        case 'd':
            return run.ScenarioD();
        case 'g':
            return o.storm ? run.ScenarioGStorm() : run.ScenarioG();
        default:
            return run.ScenarioE();
        }
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zestrel-loadgen: %s\n", e.what());
        return 1;
    }
}
