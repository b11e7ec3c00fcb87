// zestrel-server: the relay every Zestrel client connects to.
#include "server/Server.h"

#include <asio/signal_set.hpp>
#include <asio/steady_timer.hpp>

#ifdef ZESTREL_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    zestrel::server::Options options;
    std::string message;
    if (!zestrel::server::ParseOptions(argc, argv, options, message)) {
        // Asked for, the usage goes to standard output and is no error.
        const bool help =
            argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0);
        std::fputs(message.c_str(), help ? stdout : stderr);
        return help ? 0 : 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    // Every member is a descriptor; take all the process may have.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }
    try {
        asio::io_context io(1);
        zestrel::server::Server server(io, options);
        // With TLS, SIGHUP reads the certificate and key again; members stay connected.
        asio::signal_set hangups(io);
        std::function<void()> waitHangup = [&] {
            hangups.async_wait([&](std::error_code ec, int) {
                if (ec)
                    return;
                server.ReloadTls();
                if (options.tls) {
                    hangups.add(SIGHUP);
                    waitHangup();
                }
            });
        };
        if (options.tls) {
            hangups.add(SIGHUP);
            waitHangup();
        }
        // systemd's watchdog is fed from the relay's own loop, so a loop that hangs
        // gets the relay restarted.
        asio::steady_timer watchdog(io);
        std::function<void()> feedWatchdog;
#ifdef ZESTREL_HAVE_SYSTEMD
        std::uint64_t watchdogUsec = 0;
        if (sd_watchdog_enabled(0, &watchdogUsec) > 0 && watchdogUsec > 0) {
            feedWatchdog = [&] {
                sd_notify(0, "WATCHDOG=1");
                watchdog.expires_after(std::chrono::microseconds(watchdogUsec / 2));
                watchdog.async_wait([&](std::error_code ec) {
                    if (!ec)
                        feedWatchdog();
                });
            };
        }
#endif
        // One line per listener, the plain one first: scripts read the first line.
        for (const auto &listener : server.Listen()) {
            const auto address = listener.endpoint.address();
            const std::string host =
                address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
            std::printf("listening%s on %s:%u\n", listener.tls ? " (tls)" : "", host.c_str(),
                        unsigned(listener.endpoint.port()));
        }
        std::fflush(stdout);
        server.AttachOperatorInput(STDIN_FILENO);
        asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([&](std::error_code ec, int signal) {
            if (ec)
                return;
            std::fprintf(stderr, "stopping on signal %d\n", signal);
            server.Stop();
            hangups.cancel();
            watchdog.cancel();
        });
#ifdef ZESTREL_HAVE_SYSTEMD
        sd_notify(0, "READY=1");
#endif
        if (feedWatchdog)
            feedWatchdog();
        io.run();
#ifdef ZESTREL_HAVE_SYSTEMD
        sd_notify(0, "STOPPING=1");
#endif
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zestrel-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
