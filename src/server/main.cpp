// zestrel-server: the relay every Zestrel client connects to.
#include "server/Server.h"

#include <asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
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
        const auto endpoint = server.Listen();
        const auto address = endpoint.address();
        const std::string host =
            address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
        std::printf("listening on %s:%u\n", host.c_str(), unsigned(endpoint.port()));
        std::fflush(stdout);
        server.AttachOperatorInput(STDIN_FILENO);
        asio::signal_set signals(io, SIGINT, SIGTERM);
        signals.async_wait([&](std::error_code ec, int signal) {
            if (ec)
                return;
            std::fprintf(stderr, "stopping on signal %d\n", signal);
            server.Stop();
        });
        io.run();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "zestrel-server: %s\n", e.what());
        return 1;
    }
    return 0;
}
