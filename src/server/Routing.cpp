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
        if (code == proto::code::ChatLine)
            NoteRoom(conn, m.payload);
        FanOut(code == proto::code::ChatLine ? proto::code::ChatLineRelay
                                             : proto::code::SearchRequest,
               conn.key, m.payload);
        return;
    default:
        return;
    }
}

void Server::Impl::SetWaiting(Connection &conn, bool waiting)
{
    if (conn.waiting == waiting)
        return;
    conn.waiting = waiting;
    const asio::ip::address address = conn.peer.address();
    if (waiting) {
        ++waitingFrom_[address];
        return;
    }
    const auto it = waitingFrom_.find(address);
    if (it != waitingFrom_.end() && --it->second == 0)
        waitingFrom_.erase(it);
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
        Connection &destination = *it->second;
        Send(destination, frame); // unchanged, as received
        if (destination.output.Bytes() > kRelayHold)
            Hold(conn, destination); // the sender waits for its reader
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
    if (!MayTakeName(conn, name)) {
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
    conn.room = -1;
    conn.tokens = std::max(double(options_.fanoutRate), double(options_.maxLinePayload));
    conn.refused = 0;
    conn.bucketTime = SteadyClock::now();
    members_.push_back(&conn);
    SetWaiting(conn, false);
    byKey_.emplace(std::string_view(conn.key), &conn);
    MemberListAdded(conn.key);
    LogFolded("sign-ins", HostText(conn.peer), "sign-in '%s' as #%s from %s (%zu members)",
              Printable(name).c_str(), index.c_str(), EndpointText(conn.peer).c_str(),
              members_.size());
    // The newcomer's list holds itself and every arrival so far: its notices start
    // after its own arrival (also when that arrival fills the notice block).
    SkipNotices(conn);
    AddNotice(proto::code::UsersAdded, conn.key);
    SkipNotices(conn);
    // The list may be large: it goes out in the background, after members that
    // are talking.
    SendBuilt(conn, proto::code::ConnectionIndex, {}, index, false);
    SendMemberList(conn, false);
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
    if (memberList_ == nullptr)
        return; // built when next asked for
    const bool first = memberList_->size == ListHeadSize();
    const std::size_t need = (first ? 0 : proto::kListSep.size()) + key.size();
    if (memberList_->room() < need) {
        // Grown into a new block; queued slices keep the old one.
        const std::size_t cap = 2 * (memberList_->size + need);
        Reserve(sizeof(Block) + cap);
        Block *grown = pool_.Get(cap);
        grown->Append(std::string_view(memberList_->data(), memberList_->size));
        pool_.Release(memberList_);
        memberList_ = grown;
    }
    if (!first)
        memberList_->Append(proto::kListSep);
    memberList_->Append(key);
}

void Server::Impl::DropMemberList()
{
    if (memberList_ != nullptr) {
        pool_.Release(memberList_);
        memberList_ = nullptr;
    }
}

void Server::Impl::Depart(Connection &conn, const char *why)
{
    const auto pos = std::find(members_.begin(), members_.end(), &conn);
    if (pos != members_.end())
        members_.erase(pos);
    byKey_.erase(std::string_view(conn.key));
    DropMemberList();
    conn.signedIn = false;
    conn.stale = false;
    conn.bucketTime = SteadyClock::now(); // it may sign in again, in time
    if (!conn.closing)
        SetWaiting(conn, true);
    ArmSignInTimer();
    LogFolded("departures", HostText(conn.peer), "departure '%s' #%s: %s (%zu members)",
              Printable(proto::UserKeyPart(conn.key, 1)).c_str(),
              proto::UserKeyPart(conn.key, 2).c_str(), why, members_.size());
    const std::string key = std::move(conn.key);
    conn.key.clear();
    AddNotice(proto::code::UserLeft, key);
    if (cluster_)
        cluster_->Left(key);
}

// Built once per change of membership and shared by everyone asking meanwhile:
// a slice of the list block and the shared end marker.
void Server::Impl::SendMemberList(Connection &conn, bool urgent)
{
    if (memberList_ == nullptr) {
        std::string remote;
        if (cluster_)
            cluster_->AppendRemoteKeys(remote, proto::kListSep);
        std::size_t size = ListHeadSize() + remote.size();
        for (const Connection *member : members_)
            size += member->key.size() + proto::kListSep.size();
        // Room to grow: arrivals append in place.
        const std::size_t cap = std::max<std::size_t>(2 * size, 1024);
        Reserve(sizeof(Block) + cap);
        memberList_ = pool_.Get(cap);
        AppendFrame(*memberList_, proto::code::UsersList, {}, {});
        memberList_->size = std::uint32_t(ListHeadSize()); // the end marker comes apart
        for (std::size_t i = 0; i < members_.size(); ++i) {
            if (i > 0)
                memberList_->Append(proto::kListSep);
            memberList_->Append(members_[i]->key);
        }
        // Remote keys come each behind a separator.
        memberList_->Append(std::string_view(remote).substr(
            members_.empty() && !remote.empty() ? proto::kListSep.size() : 0));
    }
    if (endMarker_ == nullptr) {
        endMarker_ = pool_.Get(proto::kEndMarker.size());
        endMarker_->Append(proto::kEndMarker);
    }
    const std::uint32_t size = memberList_->size;
    if (!Admit(conn, size + endMarker_->size, urgent))
        return;
    conn.output.PushSlice(pool_, memberList_, 0, size);
    conn.output.PushShared(pool_, endMarker_);
}

// Every signed-in member gets the same frame, built once.
void Server::Impl::FanOut(int code, std::string_view source, std::string_view payload)
{
    Block *b = Build(code, source, payload);
    FanOutBlock(b, false);
    // Chat and search reach the other nodes' members too.
    if (cluster_)
        cluster_->FanOut(std::string_view(b->data(), b->size), false);
    pool_.Release(b);
}

void Server::Impl::FanOutBlock(Block *b, bool everyone)
{
    if (everyone) {
        for (const auto &conn : connections_)
            SendShared(*conn, b);
        return;
    }
    // Closing members are only marked here; nobody leaves members_ during the loop.
    for (Connection *member : members_)
        SendShared(*member, b);
}

void Server::Impl::ToEveryone(int code, std::string_view payload)
{
    Block *b = Build(code, {}, payload);
    FanOutBlock(b, true);
    if (cluster_)
        cluster_->FanOut(std::string_view(b->data(), b->size), true);
    pool_.Release(b);
}

void Server::Impl::RemoteArrived(std::string_view key)
{
    MemberListAdded(key);
    AddNotice(proto::code::UsersAdded, key);
}

void Server::Impl::RemoteLeft(std::string_view key)
{
    DropMemberList();
    AddNotice(proto::code::UserLeft, key);
}

void Server::Impl::RemoteFanOut(std::string_view frame, bool everyone)
{
    Reserve(sizeof(Block) + frame.size());
    Block *b = pool_.Get(frame.size());
    b->Append(frame);
    FanOutBlock(b, everyone);
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
