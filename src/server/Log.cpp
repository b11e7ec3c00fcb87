// Log lines of the relay and the small text helpers they use.
#include "server/Log.h"

#include <asio.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace zestrel::server
{

namespace
{

// Distinct kind/address pairs tracked per second; further ones share one entry.
constexpr std::size_t kMaxFoldKeys = 256;

class Logger
{
  public:
    Logger()
    {
        // A plain file never blocks a write: keep standard error as it is.
        struct stat st {
        };
        if (::fstat(2, &st) == 0 && S_ISREG(st.st_mode))
            return;
        // A pipe or terminal: a description of our own, so that non-blocking mode
        // does not change the standard error other processes share; else
        // standard error itself.
        fd_ = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            fd_ = 2;
            const int flags = ::fcntl(2, F_GETFL);
            if (flags >= 0)
                ::fcntl(2, F_SETFL, flags | O_NONBLOCK);
        }
    }

    void Attach(asio::io_context &io)
    {
        io_ = &io;
        foldTimer_ = std::make_unique<asio::steady_timer>(io);
        const int own = ::dup(fd_);
        if (own >= 0) {
            waiter_ = std::make_unique<asio::posix::stream_descriptor>(io);
            std::error_code ec;
            waiter_->assign(own, ec);
            if (ec) {
                waiter_.reset();
                ::close(own);
            }
        }
    }

    void Detach()
    {
        FlushFolds();
        waiting_ = false;
        foldArmed_ = false;
        foldTimer_.reset(); // cancels; its handler only looks at the error code
        waiter_.reset();
        io_ = nullptr;
    }

    void Line(std::string_view line)
    {
        if (!pending_.empty() || waiting_) {
            Queue(line);
            return;
        }
        const ssize_t n = ::write(fd_, line.data(), line.size());
        if (n == ssize_t(line.size()))
            return;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            ++dropped_;
            return;
        }
        // The rest of a line is kept even past the bound, so no half line is lost.
        pending_.append(line.substr(n > 0 ? std::size_t(n) : 0));
        WaitWritable();
    }

    void Folded(const std::string &key, std::string_view line)
    {
        const auto now = std::chrono::steady_clock::now();
        if (folds_.empty())
            windowStart_ = now;
        else if (now - windowStart_ >= std::chrono::seconds(1)) {
            FlushFolds();
            windowStart_ = now;
        }
        auto it = folds_.find(key);
        if (it == folds_.end()) {
            if (folds_.size() >= kMaxFoldKeys)
                it =
                    folds_
                        .try_emplace(std::string(key.substr(0, key.find(' '))) + " other addresses")
                        .first;
            else
                it = folds_.try_emplace(key).first;
        }
        if (it->second < kLogLinesPerSecond) {
            ++it->second;
            Line(line);
            return;
        }
        ++it->second;
        ArmFoldTimer();
    }

  private:
    void Queue(std::string_view line)
    {
        if (pending_.size() + line.size() > kLogPendingBytes) {
            ++dropped_;
            return;
        }
        pending_.append(line);
    }

    void WaitWritable()
    {
        if (waiting_ || !waiter_)
            return;
        waiting_ = true;
        waiter_->async_wait(asio::posix::stream_descriptor::wait_write, [this](std::error_code ec) {
            if (ec == asio::error::operation_aborted || !waiting_)
                return;
            waiting_ = false;
            Drain();
        });
    }

    void Drain()
    {
        while (!pending_.empty()) {
            const ssize_t n = ::write(fd_, pending_.data(), pending_.size());
            if (n <= 0) {
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    WaitWritable();
                    return;
                }
                dropped_ += 1;
                pending_.clear();
                break;
            }
            pending_.erase(0, std::size_t(n));
        }
        if (dropped_ > 0) {
            char note[96];
            const int len = std::snprintf(
                note, sizeof note, "... %zu log lines dropped: the log destination was full\n",
                dropped_);
            dropped_ = 0;
            Line(std::string_view(note, std::size_t(std::max(len, 0))));
        }
        // Give back the buffer of a long stall.
        if (pending_.empty() && pending_.capacity() > 4096)
            std::string().swap(pending_);
    }

    void ArmFoldTimer()
    {
        if (foldArmed_ || !foldTimer_)
            return;
        foldArmed_ = true;
        foldTimer_->expires_at(windowStart_ + std::chrono::seconds(1));
        foldTimer_->async_wait([this](std::error_code ec) {
            if (ec)
                return;
            foldArmed_ = false;
            FlushFolds();
        });
    }

    void FlushFolds()
    {
        for (const auto &[key, count] : folds_) {
            if (count <= kLogLinesPerSecond)
                continue;
            const auto space = key.find(' ');
            char line[384];
            const int len =
                std::snprintf(line, sizeof line, "... %u more %s from %s in the last second\n",
                              count - kLogLinesPerSecond, key.substr(0, space).c_str(),
                              key.substr(space + 1).c_str());
            Line(std::string_view(line, std::size_t(std::clamp(len, 0, int(sizeof line) - 1))));
        }
        folds_.clear();
    }

    int fd_ = 2;
    asio::io_context *io_ = nullptr;
    std::unique_ptr<asio::posix::stream_descriptor> waiter_;
    std::unique_ptr<asio::steady_timer> foldTimer_;
    bool waiting_ = false;
    bool foldArmed_ = false;
    std::string pending_;
    std::size_t dropped_ = 0;
    std::map<std::string, unsigned> folds_;
    std::chrono::steady_clock::time_point windowStart_{};
};

Logger &TheLogger()
{
    static Logger logger;
    return logger;
}

std::size_t Format(char *line, std::size_t size, const char *fmt, va_list args)
{
    const int n = std::vsnprintf(line, size - 1, fmt, args);
    if (n < 0)
        return 0;
    std::size_t len = std::min<std::size_t>(std::size_t(n), size - 2);
    line[len++] = '\n';
    return len;
}

} // namespace

void LogAttach(asio::io_context &io)
{
    TheLogger().Attach(io);
}

void LogDetach()
{
    TheLogger().Detach();
}

void Log(const char *fmt, ...)
{
    char line[1024];
    va_list args;
    va_start(args, fmt);
    const std::size_t len = Format(line, sizeof line, fmt, args);
    va_end(args);
    if (len > 0)
        TheLogger().Line(std::string_view(line, len));
}

void LogFolded(const char *kind, std::string_view address, const char *fmt, ...)
{
    char line[1024];
    va_list args;
    va_start(args, fmt);
    const std::size_t len = Format(line, sizeof line, fmt, args);
    va_end(args);
    if (len == 0)
        return;
    std::string key = kind;
    key += ' ';
    key += address;
    TheLogger().Folded(key, std::string_view(line, len));
}

std::string Printable(std::string_view text, std::size_t max)
{
    std::string out;
    for (const char ch : text.substr(0, max)) {
        const auto u = static_cast<unsigned char>(ch);
        out.push_back(u < 0x20 || u == 0x7f ? '|' : ch);
    }
    if (text.size() > max)
        out += "...";
    return out;
}

std::string HostText(const asio::ip::tcp::endpoint &ep)
{
    const auto addr = ep.address();
    if (!addr.is_v6())
        return addr.to_string();
    // Appended rather than "[" + text: GCC 12 at -O3 warns falsely (-Wrestrict) on that.
    std::string out("[");
    out += addr.to_string();
    out += ']';
    return out;
}

std::string EndpointText(const asio::ip::tcp::endpoint &ep)
{
    return HostText(ep) + ":" + std::to_string(ep.port());
}

std::string Trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

} // namespace zestrel::server
