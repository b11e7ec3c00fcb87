// What the operator controls: address ranges (bans, the addresses reserved names
// may sign in from), the ban list with its file, and the reserved words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// After the standard headers: Asio's configuration looks at what they define
// (aligned_alloc), and every file must see the same.
#include <asio/ip/address.hpp>

namespace zestrel::server
{

// An address with the number of leading bits that must match (32 or 128 for
// one host). IPv4 addresses mapped into IPv6 count as IPv4 everywhere.
struct AddressRange {
    asio::ip::address base; // host bits cleared
    unsigned prefix = 0;

    bool Contains(const asio::ip::address &a) const noexcept;
    // "10.0.0.7" for one host, "10.0.0.0/8" for more.
    std::string Text() const;
    bool operator==(const AddressRange &o) const noexcept
    {
        return prefix == o.prefix && base == o.base;
    }
};

// "ADDRESS" or "ADDRESS/PREFIX"; false for anything else.
bool ParseRange(std::string_view text, AddressRange &out);
// A comma-separated list of ranges; false naming the first bad one.
bool ParseRanges(std::string_view text, std::vector<AddressRange> &out, std::string &bad);
// An IPv4 address mapped into IPv6 as the IPv4 address it is.
asio::ip::address Plain(const asio::ip::address &a);

// Names holding "QEVO" or "SERVER" in any case belong to the network's master.
bool HoldsReservedWord(std::string_view name);

// Bans by address range, each until a wall-clock time (Unix seconds; 0: until
// unbanned). The file holds one ban a line, "RANGE UNTIL", and is replaced
// whole: written beside itself and renamed over, so a crash leaves the old or
// the new list, never half of one.
class BanList
{
  public:
    static constexpr std::size_t kMaxBans = 4096;

    struct Ban {
        AddressRange range;
        std::int64_t until = 0;
    };

    bool Empty() const noexcept { return bans_.empty(); }
    // The ban that holds `a` at `now`, or none.
    const Ban *Find(const asio::ip::address &a, std::int64_t now) const noexcept;
    // Adds or renews; false when the list is full.
    bool Add(const AddressRange &range, std::int64_t until);
    bool Remove(const AddressRange &range);
    // Drops bans that have ended; true when any did.
    bool Prune(std::int64_t now);
    const std::vector<Ban> &All() const noexcept { return bans_; }

    // A missing file is an empty list. Bad lines are skipped and counted.
    bool Load(const std::string &path, std::int64_t now, std::size_t &skipped, std::string &error);
    bool Save(const std::string &path, std::string &error) const;

  private:
    std::vector<Ban> bans_;
};

// Unix seconds now.
std::int64_t WallSeconds();

} // namespace zestrel::server
