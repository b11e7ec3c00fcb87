#include "ui/SignalClose.h"

#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace zestrel
{

namespace
{
int g_pipe[2] = {-1, -1};

extern "C" void OnSignal(int)
{
    // Only async-signal-safe work here: one byte into the pipe.
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &byte, 1);
}
} // namespace

SignalClose::SignalClose(std::function<void()> close, QObject *parent)
    : QObject(parent), close_(std::move(close))
{
    if (g_pipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
        return;
    notifier_ = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_pipe[1], &byte, 1);
        if (close_)
            close_();
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

SignalClose::~SignalClose()
{
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

} // namespace zestrel
