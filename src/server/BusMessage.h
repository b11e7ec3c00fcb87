// What every message between relay nodes starts with: one header line
//     TYPE NODE INCARNATION SEQ SLOT FLAG \n
// (see Cluster.h for the subjects and the meaning of each type), and the names
// nodes may have.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>

namespace zestrel::server
{

inline constexpr const char *kAllSubject = "zestrel.all";
inline constexpr std::string_view kNodeSubjectPrefix = "zestrel.node.";

struct BusHeader {
    char type = 0;
    std::string_view node;
    std::uint64_t inc = 0;
    std::uint64_t seq = 0;
    unsigned slot = 0;
    bool more = false;     // a snapshot chunk with more to come
    std::string_view body; // what follows the line (parsing only)
};

// Letters, digits, "-" and "_", at most 32.
bool GoodNodeName(std::string_view name);

// A whole decimal number, nothing before or after it.
template <typename T> bool Number(std::string_view s, T &out)
{
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc{} && end == s.data() + s.size();
}

// Splits a bus message; false for anything not made by a node.
bool ParseHeader(std::string_view data, BusHeader &h);

// Appends the header line of `h` (its body is not used).
void AppendHeader(std::string &out, const BusHeader &h);

} // namespace zestrel::server
