// Log lines of the relay and the small text helpers they use.
#include "server/Log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

namespace zestrel::server
{

void Log(const char *fmt, ...)
{
    char line[1024];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(line, sizeof line - 1, fmt, args);
    va_end(args);
    if (n < 0)
        return;
    std::size_t len = std::min<std::size_t>(std::size_t(n), sizeof line - 2);
    line[len++] = '\n';
    // One write per line so lines of a busy server do not interleave.
    [[maybe_unused]] const auto written = ::write(2, line, len);
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

std::string EndpointText(const asio::ip::tcp::endpoint &ep)
{
    const auto addr = ep.address();
    std::string host = addr.to_string();
    if (addr.is_v6())
        host = "[" + host + "]";
    return host + ":" + std::to_string(ep.port());
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
