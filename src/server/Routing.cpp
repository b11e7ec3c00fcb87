// Sign-in, departures, relaying by key and fan-out to every member.
#include "server/Impl.h"
#include "server/Log.h"

#include <algorithm>

namespace zestrel::server
{

namespace
{

// What a sign-in address or name may not hold: separators, the field mark "^",
// frame markers or other control characters would split or forge the records
// every member's list is made of.
const char *BadSignInText(std::string_view text)
{
    for (const char ch : text) {
        const auto u = static_cast<unsigned char>(ch);
        if (u < 0x20 || u == 0x7f)
            return "a control character or separator";
        if (ch == '^')
            return "\"^\"";
    }
    if (text.find(proto::kBeginMarker) != std::string_view::npos ||
        text.find(proto::kEndMarker) != std::string_view::npos)
        return "a frame marker";
    return nullptr;
}

} // namespace

void Server::Impl::Dispatch(Connection &conn, std::string_view frame)
{
    proto::MessageView m;
    if (!proto::ParseMessageView(frame, m, scratch_))
        return; // malformed frames are dropped, as the clients do
    const int code = proto::CodeNumber(m.code);
    switch (code) {
    case proto::code::SignIn:
        SignIn(conn, m.payload);
        return;
    case proto::code::SignOff:
        if (conn.signedIn)
            Depart(conn, "signed off");
        return;
    case proto::code::Ping:
        return;
    case proto::code::RequestUsers:
    case proto::code::RequestRooms:
    case proto::code::ChatLine:
    case proto::code::Search:
        break;
    default:
        if (proto::IsMemberToMember(code))
            Relay(conn, m, frame);
        return;
    }
    // Everything below is for members only.
    if (!conn.signedIn) {
        WarnUnsigned(conn);
        return;
    }
    switch (code) {
    case proto::code::RequestUsers:
        SendMemberList(conn);
        return;
    case proto::code::RequestRooms:
        SendBuilt(conn, proto::code::RoomList, {}, roomList_);
        return;
    case proto::code::ChatLine:
    case proto::code::Search:
        // A client shows at most 5,000 characters of a line; more is not a client.
        if (m.payload.size() > options_.maxLinePayload) {
            LogFolded("refusals", HostText(conn.peer),
                      "refused %s of %zu bytes from %s: over %zu bytes",
                      code == proto::code::ChatLine ? "chat line" : "search", m.payload.size(),
                      EndpointText(conn.peer).c_str(), options_.maxLinePayload);
            return;
        }
        if (!TakeFanOut(conn, frame.size()))
            return;
        FanOut(code == proto::code::ChatLine ? proto::code::ChatLineRelay
                                             : proto::code::SearchRequest,
               conn.key, m.payload, nullptr);
        return;
    default:
        return;
    }
}

void Server::Impl::WarnUnsigned(Connection &conn)
{
    if (conn.warnedUnsigned)
        return;
    conn.warnedUnsigned = true;
    LogFolded("refusals", HostText(conn.peer), "dropping frames from %s: not signed in",
              EndpointText(conn.peer).c_str());
}

// The member's token bucket holds one second of its rate (at least one largest
// line) and refills continuously. A line that does not fit is refused; refused
// bytes drain at half the rate, and a member whose refused bytes pass two
// buckets' worth keeps sending far over its rate and is cut.
bool Server::Impl::TakeFanOut(Connection &conn, std::size_t bytes)
{
    const double rate = double(options_.fanoutRate);
    const double bucket = std::max(rate, double(options_.maxLinePayload));
    const auto now = SteadyClock::now();
    const double elapsed = std::chrono::duration<double>(now - conn.bucketTime).count();
    conn.bucketTime = now;
    conn.tokens = std::min(bucket, conn.tokens + elapsed * rate);
    conn.refused = std::max(0.0, conn.refused - elapsed * rate / 2);
    if (double(bytes) <= conn.tokens) {
        conn.tokens -= double(bytes);
        return true;
    }
    conn.refused += double(bytes);
    if (conn.refused > kRefusedBuckets * bucket) {
        MarkClose(conn, "chat and search far over the fan-out rate");
        return false;
    }
    LogFolded("refusals", HostText(conn.peer),
              "refused line of %zu bytes from '%s': over the fan-out rate of %zu bytes/s", bytes,
              Printable(proto::UserKeyPart(conn.key, 1)).c_str(), options_.fanoutRate);
    return false;
}

void Server::Impl::Relay(Connection &conn, const proto::MessageView &m, std::string_view frame)
{
    if (!conn.signedIn || m.source != conn.key) {
        // Only the member itself may speak for its key.
        if (!conn.warnedSpoof) {
            conn.warnedSpoof = true;
            LogFolded("refusals", HostText(conn.peer),
                      "dropping frames from %s: source is not its own key",
                      EndpointText(conn.peer).c_str());
        }
        return;
    }
    const auto it = byKey_.find(m.destination);
    if (it != byKey_.end() && !it->second->closing) {
        Send(*it->second, frame); // unchanged, as received
        return;
    }
    if (it == byKey_.end() && cluster_ && cluster_->Forward(m.destination, frame))
        return;
    SendBuilt(conn, proto::code::UserUnavailable, {}, m.destination);
}

void Server::Impl::SignIn(Connection &conn, std::string_view payload)
{
    if (conn.signedIn)
        Depart(conn, "signed in again");
    const std::string ip = proto::UserKeyPart(payload, 0);
    const std::string name = proto::UserKeyPart(payload, 1);
    if (ip.size() > kMaxIpBytes || name.size() > kMaxNameBytes) {
        LogFolded("refusals", HostText(conn.peer),
                  "refused sign-in from %s: address or name too long",
                  EndpointText(conn.peer).c_str());
        MarkClose(conn, "bad sign-in");
        return;
    }
    const char *badIp = BadSignInText(ip);
    const char *badName = BadSignInText(name);
    if (badIp || badName) {
        LogFolded("refusals", HostText(conn.peer), "refused sign-in from %s: %s holds %s",
                  EndpointText(conn.peer).c_str(), badIp ? "address" : "name",
                  badIp ? badIp : badName);
        MarkClose(conn, "bad sign-in");
        return;
    }
    if (options_.maxMembers != 0 && members_.size() >= options_.maxMembers) {
        LogFolded("refusals", HostText(conn.peer),
                  "refused sign-in from %s: member limit %zu reached",
                  EndpointText(conn.peer).c_str(), options_.maxMembers);
        MarkClose(conn, "member limit");
        return;
    }
    const std::string index = NextIndex();
    conn.key = proto::BuildUserKey(ip, name, index);
    conn.signedIn = true;
    conn.stale = false;
    conn.tokens = std::max(double(options_.fanoutRate), double(options_.maxLinePayload));
    conn.refused = 0;
    conn.bucketTime = SteadyClock::now();
    members_.push_back(&conn);
    InvalidateMemberList();
    byKey_.emplace(std::string_view(conn.key), &conn);
    MemberListAdded(conn.key);
    LogFolded("sign-ins", HostText(conn.peer), "sign-in '%s' as #%s from %s (%zu members)",
              Printable(name).c_str(), index.c_str(), EndpointText(conn.peer).c_str(),
              members_.size());
    SendBuilt(conn, proto::code::ConnectionIndex, {}, index);
    SendMemberList(conn);
    FanOut(proto::code::UsersAdded, {}, conn.key, &conn);
    if (cluster_)
        cluster_->Arrived(conn.key);
}

// Indexes count up from the node's first; a node of a cluster wraps around
// within its range, skipping none in use (a member holding an index for ten
// million sign-ins is not worth a search).
std::string Server::Impl::NextIndex()
{
    const std::uint64_t index = nextIndex_++;
    if (cluster_ && nextIndex_ >= firstIndex_ + kSlotSpan)
        nextIndex_ = firstIndex_;
    return std::to_string(index);
}

void Server::Impl::MemberListAdded(std::string_view key)
{
    if (memberListStale_)
        return;
    if (!memberList_.empty())
        memberList_.append(proto::kListSep);
    memberList_.append(key);
}

void Server::Impl::Depart(Connection &conn, const char *why)
{
    const auto pos = std::find(members_.begin(), members_.end(), &conn);
    if (pos != members_.end())
        members_.erase(pos);
    byKey_.erase(std::string_view(conn.key));
    memberListStale_ = true;
    InvalidateMemberList();
    conn.signedIn = false;
    conn.stale = false;
    LogFolded("departures", HostText(conn.peer), "departure '%s' #%s: %s (%zu members)",
              Printable(proto::UserKeyPart(conn.key, 1)).c_str(),
              proto::UserKeyPart(conn.key, 2).c_str(), why, members_.size());
    const std::string key = std::move(conn.key);
    conn.key.clear();
    FanOut(proto::code::UserLeft, {}, key, nullptr);
    if (cluster_)
        cluster_->Left(key);
}

void Server::Impl::SendMemberList(Connection &conn)
{
    if (memberListStale_) {
        memberList_.clear();
        for (std::size_t i = 0; i < members_.size(); ++i) {
            if (i > 0)
                memberList_.append(proto::kListSep);
            memberList_.append(members_[i]->key);
        }
        if (cluster_)
            cluster_->AppendRemoteKeys(memberList_,
                                       memberList_.empty() ? std::string_view{} : proto::kListSep);
        memberListStale_ = false;
    }
    // Built once per change of membership, shared by everyone asking meanwhile.
    if (memberListBlock_ == nullptr)
        memberListBlock_ = Build(proto::code::UsersList, {}, memberList_);
    SendShared(conn, memberListBlock_);
}

void Server::Impl::InvalidateMemberList()
{
    if (memberListBlock_ != nullptr) {
        pool_.Release(memberListBlock_);
        memberListBlock_ = nullptr;
    }
}

// Every signed-in member except `except` gets the same frame, built once.
void Server::Impl::FanOut(int code, std::string_view source, std::string_view payload,
                          const Connection *except)
{
    Block *b = Build(code, source, payload);
    const bool notice = code == proto::code::UsersAdded || code == proto::code::UserLeft;
    FanOutBlock(b, notice, false, except);
    // Chat and search reach the other nodes' members too; arrivals and departures
    // travel as directory events instead.
    if (cluster_ && !notice)
        cluster_->FanOut(std::string_view(b->data(), b->size), false);
    pool_.Release(b);
}

void Server::Impl::FanOutBlock(Block *b, bool notice, bool everyone, const Connection *except)
{
    if (everyone) {
        for (const auto &conn : connections_)
            SendShared(*conn, b);
        return;
    }
    // Arrivals and departures skip members too far behind: they get one fresh list
    // once they catch up (Write), so their backlog cannot grow with members squared.
    // Closing members are only marked here; nobody leaves members_ during the loop.
    for (Connection *member : members_) {
        if (member == except)
            continue;
        if (notice && (member->stale || member->output.Bytes() > kAnnounceBound)) {
            member->stale = true;
            continue;
        }
        if (notice)
            SendNotice(*member, b);
        else
            SendShared(*member, b);
    }
}

void Server::Impl::ToEveryone(int code, std::string_view payload)
{
    Block *b = Build(code, {}, payload);
    FanOutBlock(b, false, true, nullptr);
    if (cluster_)
        cluster_->FanOut(std::string_view(b->data(), b->size), true);
    pool_.Release(b);
}

void Server::Impl::RemoteArrived(std::string_view key)
{
    InvalidateMemberList();
    MemberListAdded(key);
    FanOut(proto::code::UsersAdded, {}, key, nullptr);
    ScheduleFlush();
}

void Server::Impl::RemoteLeft(std::string_view key)
{
    memberListStale_ = true;
    InvalidateMemberList();
    FanOut(proto::code::UserLeft, {}, key, nullptr);
    ScheduleFlush();
}

void Server::Impl::RemoteFanOut(std::string_view frame, bool everyone)
{
    Reserve(sizeof(Block) + frame.size());
    Block *b = pool_.Get(frame.size());
    b->Append(frame);
    FanOutBlock(b, false, everyone, nullptr);
    pool_.Release(b);
    ScheduleFlush();
}

void Server::Impl::RemoteRelay(std::string_view frame)
{
    proto::MessageView m;
    if (!proto::ParseMessageView(frame, m, scratch_))
        return;
    const auto it = byKey_.find(m.destination);
    if (it != byKey_.end() && !it->second->closing) {
        Send(*it->second, frame);
        ScheduleFlush();
        return;
    }
    cluster_->Unavailable(m.source, m.destination);
}

void Server::Impl::RemoteUnavailable(std::string_view source, std::string_view destination)
{
    const auto it = byKey_.find(source);
    if (it == byKey_.end() || it->second->closing)
        return;
    SendBuilt(*it->second, proto::code::UserUnavailable, {}, destination);
    ScheduleFlush();
}

void Server::Impl::ForEachLocalKey(const std::function<void(std::string_view)> &f)
{
    for (const Connection *member : members_)
        f(member->key);
}
} // namespace zestrel::server
