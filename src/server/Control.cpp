// Address ranges, the ban list and its file, reserved names.
#include "server/Control.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zestrel::server
{

namespace
{

// Keeps the first `bits` bits of the address bytes.
template <std::size_t N> void Mask(std::array<unsigned char, N> &bytes, unsigned bits)
{
    for (std::size_t i = 0; i < N; ++i) {
        const unsigned keep = bits >= 8 ? 8 : bits;
        bytes[i] &= static_cast<unsigned char>(keep == 0 ? 0 : 0xff << (8 - keep));
        bits -= keep;
    }
}

bool Whole(std::string_view s, unsigned &out)
{
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return !s.empty() && ec == std::errc{} && end == s.data() + s.size();
}

} // namespace

asio::ip::address Plain(const asio::ip::address &a)
{
    if (a.is_v6() && a.to_v6().is_v4_mapped())
        return asio::ip::make_address_v4(asio::ip::v4_mapped, a.to_v6());
    return a;
}

bool ParseRange(std::string_view text, AddressRange &out)
{
    const auto slash = text.find('/');
    const std::string host(text.substr(0, slash));
    std::error_code ec;
    asio::ip::address a = asio::ip::make_address(host, ec);
    if (ec || host.empty())
        return false;
    unsigned prefix = a.is_v4() ? 32 : 128;
    if (slash != std::string_view::npos &&
        (!Whole(text.substr(slash + 1), prefix) || prefix > (a.is_v4() ? 32u : 128u)))
        return false;
    if (a.is_v6() && a.to_v6().is_v4_mapped()) {
        if (prefix < 96)
            return false; // half IPv4, half not: no such range
        a = Plain(a);
        prefix -= 96;
    }
    if (a.is_v4()) {
        auto bytes = a.to_v4().to_bytes();
        Mask(bytes, prefix);
        out.base = asio::ip::address_v4(bytes);
    } else {
        auto bytes = a.to_v6().to_bytes();
        Mask(bytes, prefix);
        out.base = asio::ip::address_v6(bytes);
    }
    out.prefix = prefix;
    return true;
}

bool ParseRanges(std::string_view text, std::vector<AddressRange> &out, std::string &bad)
{
    out.clear();
    while (!text.empty()) {
        const auto comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ')
            item.remove_suffix(1);
        if (!item.empty()) {
            AddressRange r;
            if (!ParseRange(item, r)) {
                bad = std::string(item);
                return false;
            }
            out.push_back(r);
        }
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return true;
}

bool AddressRange::Contains(const asio::ip::address &raw) const noexcept
{
    const asio::ip::address a = Plain(raw);
    if (a.is_v4() != base.is_v4())
        return false;
    if (a.is_v4()) {
        auto bytes = a.to_v4().to_bytes();
        Mask(bytes, prefix);
        return asio::ip::address_v4(bytes) == base.to_v4();
    }
    auto bytes = a.to_v6().to_bytes();
    Mask(bytes, prefix);
    return asio::ip::address_v6(bytes) == base.to_v6();
}

std::string AddressRange::Text() const
{
    std::string out = base.to_string();
    if (prefix != (base.is_v4() ? 32u : 128u)) {
        out += '/';
        out += std::to_string(prefix);
    }
    return out;
}

bool HoldsReservedWord(std::string_view name)
{
    // Upper-cased as the clients do; the long s (U+017F) is an upper-case S too.
    std::string upper;
    upper.reserve(name.size());
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '\xc5' && i + 1 < name.size() && name[i + 1] == '\xbf') {
            upper += 'S';
            ++i;
        } else {
            upper += c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        }
    }
    return upper.find("QEVO") != std::string::npos || upper.find("SERVER") != std::string::npos;
}

std::int64_t WallSeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

const BanList::Ban *BanList::Find(const asio::ip::address &a, std::int64_t now) const noexcept
{
    for (const Ban &b : bans_)
        if ((b.until == 0 || b.until > now) && b.range.Contains(a))
            return &b;
    return nullptr;
}

bool BanList::Add(const AddressRange &range, std::int64_t until)
{
    for (Ban &b : bans_)
        if (b.range == range) {
            b.until = until;
            return true;
        }
    if (bans_.size() >= kMaxBans)
        return false;
    bans_.push_back({range, until});
    return true;
}

bool BanList::Remove(const AddressRange &range)
{
    const auto it =
        std::find_if(bans_.begin(), bans_.end(), [&](const Ban &b) { return b.range == range; });
    if (it == bans_.end())
        return false;
    bans_.erase(it);
    return true;
}

bool BanList::Prune(std::int64_t now)
{
    const auto before = bans_.size();
    std::erase_if(bans_, [&](const Ban &b) { return b.until != 0 && b.until <= now; });
    return bans_.size() != before;
}

bool BanList::Load(const std::string &path, std::int64_t now, std::size_t &skipped,
                   std::string &error)
{
    bans_.clear();
    skipped = 0;
    std::FILE *f = std::fopen(path.c_str(), "r");
    if (f == nullptr) {
        if (errno == ENOENT)
            return true;
        error = std::strerror(errno);
        return false;
    }
    char buf[512];
    while (std::fgets(buf, sizeof buf, f) != nullptr) {
        std::string_view line(buf);
        const bool whole = !line.empty() && line.back() == '\n';
        if (!whole && !std::feof(f)) { // longer than any ban: skip the rest of it
            int c;
            while ((c = std::fgetc(f)) != EOF && c != '\n') {
            }
            ++skipped;
            continue;
        }
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.empty() || line.front() == '#')
            continue;
        const auto space = line.find(' ');
        AddressRange r;
        std::int64_t until = 0;
        const std::string_view when =
            space == std::string_view::npos ? std::string_view{} : line.substr(space + 1);
        const auto [end, ec] = std::from_chars(when.data(), when.data() + when.size(), until);
        if (space == std::string_view::npos || !ParseRange(line.substr(0, space), r) ||
            ec != std::errc{} || end != when.data() + when.size() || when.empty() || until < 0) {
            ++skipped;
            continue;
        }
        if (until != 0 && until <= now)
            continue; // over while the relay was away
        if (!Add(r, until))
            ++skipped;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        error = "read error";
        return false;
    }
    return true;
}

bool BanList::Save(const std::string &path, std::string &error) const
{
    std::string text = "# zestrel-server bans: ADDRESS[/PREFIX] and the Unix time the ban ends "
                       "(0: until unbanned)\n";
    for (const Ban &b : bans_) {
        text += b.range.Text();
        text += ' ';
        text += std::to_string(b.until);
        text += '\n';
    }
    const std::string temp = path + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = std::strerror(errno);
            ::close(fd);
            ::unlink(temp.c_str());
            return false;
        }
        done += std::size_t(n);
    }
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    if (!synced || ::close(fd) != 0) {
        error = std::strerror(synced ? errno : syncError);
        if (!synced)
            ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace zestrel::server
