// The operator's controls beside broadcast and news: who, kick, ban, unban and
// bans; the ban check at accept time; names reserved for the network's master.
#include "server/Impl.h"
#include "server/Log.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace zestrel::server
{

namespace
{

// The most members one who lists; the rest are counted.
constexpr std::size_t kWhoLines = 300; // about 45 KB: within what the log holds
// Ten years of minutes.
constexpr unsigned kMaxBanMinutes = 10u * 366 * 24 * 60;

// A key as the operator sees and types it: its three parts between "|".
std::string KeyText(std::string_view key)
{
    std::string out = proto::UserKeyPart(key, 0);
    out += '|';
    out += proto::UserKeyPart(key, 1);
    out += '|';
    out += proto::UserKeyPart(key, 2);
    return out;
}

std::string Duration(SteadyClock::duration d)
{
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                  static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    return buf;
}

} // namespace

void Server::Impl::LoadBans()
{
    if (options_.banFile.empty())
        return;
    std::size_t skipped = 0;
    std::string error;
    if (!bans_.Load(options_.banFile, WallSeconds(), skipped, error))
        throw std::runtime_error("cannot read the ban file " + options_.banFile + ": " + error);
    if (skipped > 0)
        Log("ban file %s: %zu lines that are no ban skipped", options_.banFile.c_str(), skipped);
    Log("%zu bans from %s", bans_.All().size(), options_.banFile.c_str());
}

bool Server::Impl::Banned(const tcp::endpoint &peer)
{
    if (bans_.Empty())
        return false;
    const BanList::Ban *ban = bans_.Find(peer.address(), WallSeconds());
    if (ban == nullptr)
        return false;
    LogFolded("refusals", HostText(peer), "refused %s: banned (%s)", EndpointText(peer).c_str(),
              ban->range.Text().c_str());
    return true;
}

bool Server::Impl::MayTakeName(const Connection &conn, std::string_view name)
{
    if (!HoldsReservedWord(name))
        return true;
    for (const AddressRange &r : options_.masterFrom)
        if (r.Contains(conn.peer.address()))
            return true;
    LogFolded("refusals", HostText(conn.peer),
              "refused sign-in from %s: name '%s' holds a reserved word and the address is not "
              "in --master-from",
              EndpointText(conn.peer).c_str(), Printable(name).c_str());
    return false;
}

void Server::Impl::NoteRoom(Connection &conn, std::string_view payload)
{
    // The room is the fourth field of a chat line.
    for (int field = 0; field < 3; ++field) {
        const auto sep = payload.find(proto::kFieldSep);
        if (sep == std::string_view::npos)
            return;
        payload.remove_prefix(sep + proto::kFieldSep.size());
    }
    payload = payload.substr(0, payload.find(proto::kFieldSep));
    int room = 0;
    const auto [end, ec] = std::from_chars(payload.data(), payload.data() + payload.size(), room);
    if (ec == std::errc{} && end == payload.data() + payload.size() && room >= -999 &&
        room <= 32767)
        conn.room = static_cast<std::int16_t>(room);
}

bool Server::Impl::Control(std::string_view command, std::string_view argument, bool fromBus)
{
    if (command == "who") {
        Who();
        return true;
    }
    if (command == "bans") {
        ListBans();
        return true;
    }
    bool passOn = false;
    if (command == "kick") {
        if (argument.empty())
            Log("kick wants NAME, KEY or #INDEX");
        else {
            Kick(argument);
            passOn = true; // the member may be on another node
        }
    } else if (command == "ban") {
        Ban(argument);
        passOn = true;
    } else if (command == "unban") {
        Unban(argument);
        passOn = true;
    } else {
        return false;
    }
    if (passOn && !fromBus && cluster_) {
        std::string line(command);
        line += ' ';
        line.append(argument);
        cluster_->Control(line);
    }
    return true;
}

void Server::Impl::RemoteControl(std::string_view line)
{
    const std::string text = Trim(line);
    const auto space = text.find(' ');
    const std::string command = text.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : Trim(text.substr(space + 1));
    if (command == "kick" || command == "ban" || command == "unban") {
        Log("from the bus: %s", Printable(text, 200).c_str());
        Control(command, argument, true);
        ScheduleFlush();
    }
}

void Server::Impl::Who()
{
    const auto now = SteadyClock::now();
    if (cluster_)
        Log("who: %zu members here, %zu on other nodes", members_.size(), cluster_->RemoteCount());
    else
        Log("who: %zu members", members_.size());
    std::size_t shown = 0;
    for (const Connection *m : members_) {
        if (shown++ == kWhoLines) {
            Log("... and %zu more", members_.size() - kWhoLines);
            break;
        }
        std::string room = "-";
        if (m->room == -999)
            room = "all";
        else if (m->room >= 0 && std::size_t(m->room) < options_.rooms.size())
            room = "'" + options_.rooms[std::size_t(m->room)] + "'";
        else if (m->room >= 0)
            room = std::to_string(m->room);
        Log("  #%s '%s' key %s from %s room %s for %s", proto::UserKeyPart(m->key, 2).c_str(),
            Printable(proto::UserKeyPart(m->key, 1)).c_str(),
            Printable(KeyText(m->key), 400).c_str(), EndpointText(m->peer).c_str(), room.c_str(),
            Duration(now - m->since).c_str());
    }
}

void Server::Impl::Kick(std::string_view who)
{
    std::vector<Connection *> hit;
    for (Connection *m : members_) {
        const std::string index = proto::UserKeyPart(m->key, 2);
        if (proto::UserKeyPart(m->key, 1) == who || KeyText(m->key) == who ||
            (who.size() > 1 && who[0] == '#' && who.substr(1) == index))
            hit.push_back(m);
    }
    for (Connection *m : hit)
        MarkClose(*m, "kicked by the operator");
    Log("kick %s: %zu members closed here", Printable(who).c_str(), hit.size());
}

void Server::Impl::Ban(std::string_view argument)
{
    const auto space = argument.find(' ');
    AddressRange range;
    if (!ParseRange(argument.substr(0, space), range)) {
        Log("ban wants ADDRESS[/PREFIX] [MINUTES]: %s", Printable(argument).c_str());
        return;
    }
    unsigned minutes = 0;
    if (space != std::string_view::npos) {
        const std::string m = Trim(argument.substr(space + 1));
        const auto [end, ec] = std::from_chars(m.data(), m.data() + m.size(), minutes);
        if (ec != std::errc{} || end != m.data() + m.size() || minutes == 0 ||
            minutes > kMaxBanMinutes) {
            Log("ban wants MINUTES from 1 to %u: %s", kMaxBanMinutes, Printable(m).c_str());
            return;
        }
    }
    const std::int64_t until = minutes == 0 ? 0 : WallSeconds() + std::int64_t(minutes) * 60;
    if (!bans_.Add(range, until)) {
        Log("ban %s refused: %zu bans already", range.Text().c_str(), BanList::kMaxBans);
        return;
    }
    // Whoever is connected from there goes too, members or not.
    std::size_t closed = 0;
    for (const auto &c : connections_)
        if (!c->closing && range.Contains(c->peer.address())) {
            MarkClose(*c, "banned by the operator");
            ++closed;
        }
    if (minutes == 0)
        Log("ban %s until unbanned: %zu connections closed", range.Text().c_str(), closed);
    else
        Log("ban %s for %u minutes: %zu connections closed", range.Text().c_str(), minutes, closed);
    SaveBans();
}

void Server::Impl::Unban(std::string_view argument)
{
    AddressRange range;
    if (!ParseRange(Trim(argument), range)) {
        Log("unban wants ADDRESS[/PREFIX]: %s", Printable(argument).c_str());
        return;
    }
    if (!bans_.Remove(range)) {
        Log("unban %s: no such ban", range.Text().c_str());
        return;
    }
    Log("unban %s", range.Text().c_str());
    SaveBans();
}

void Server::Impl::ListBans()
{
    const std::int64_t now = WallSeconds();
    if (bans_.Prune(now))
        SaveBans();
    Log("bans: %zu", bans_.All().size());
    for (const BanList::Ban &b : bans_.All()) {
        if (b.until == 0)
            Log("  %s until unbanned", b.range.Text().c_str());
        else
            Log("  %s for %lld more minutes", b.range.Text().c_str(),
                static_cast<long long>((b.until - now + 59) / 60));
    }
}

void Server::Impl::SaveBans()
{
    bans_.Prune(WallSeconds());
    if (options_.banFile.empty())
        return;
    std::string error;
    if (!bans_.Save(options_.banFile, error))
        Log("cannot write the ban file %s: %s; the bans hold until the relay stops",
            options_.banFile.c_str(), error.c_str());
}

} // namespace zestrel::server
