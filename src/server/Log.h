// Log lines of the relay and the small text helpers they use.
//
// Logging never holds the relay up: lines go to standard error through a
// non-blocking descriptor; what the destination cannot take yet waits in a
// bounded buffer, and lines beyond it are dropped and counted. Lines of one kind
// from one address are folded after a few per second into one summary line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// After the standard headers: Asio's configuration looks at what they define
// (aligned_alloc), and every file must see the same.
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

namespace zestrel::server
{

// Lets the log wait for a full destination and close its fold windows on this
// loop; without it, a line that does not fit is dropped and counted.
void LogAttach(asio::io_context &io);
void LogDetach();

// One line on standard error.
void Log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// One line of a repeating kind ("connects") about one address: the first few per
// second are written, the rest counted and summed up as
// "... 412 more connects from 127.0.0.1 in the last second".
void LogFolded(const char *kind, std::string_view address, const char *fmt, ...)
    __attribute__((format(printf, 3, 4)));

// Lines of one kind from one address written per second before folding.
inline constexpr unsigned kLogLinesPerSecond = 10;
// Bytes waiting for a slow log destination before lines are dropped.
inline constexpr std::size_t kLogPendingBytes = 64 * 1024;

// Text from the network made safe for a log line.
std::string Printable(std::string_view text, std::size_t max = 64);

std::string EndpointText(const asio::ip::tcp::endpoint &ep);
// The address alone, as folded lines group it.
std::string HostText(const asio::ip::tcp::endpoint &ep);

// Without leading and trailing blanks (space, tab, CR, LF).
std::string Trim(std::string_view s);

} // namespace zestrel::server
