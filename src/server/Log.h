// Log lines of the relay and the small text helpers they use.
#pragma once

#include <asio/ip/tcp.hpp>

#include <cstddef>
#include <string>
#include <string_view>

namespace zestrel::server
{

// One line on standard error.
void Log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Text from the network made safe for a log line.
std::string Printable(std::string_view text, std::size_t max = 64);

std::string EndpointText(const asio::ip::tcp::endpoint &ep);

// Without leading and trailing blanks (space, tab, CR, LF).
std::string Trim(std::string_view s);

} // namespace zestrel::server
