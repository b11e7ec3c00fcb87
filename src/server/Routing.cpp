// Sign-in, departures, relaying by key and fan-out to every member.
#include "server/Impl.h"
#include "server/Log.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <span>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace zestrel::server
{

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
    case proto::code::RequestUsers:
        SendMemberList(conn);
        return;
    case proto::code::RequestRooms:
        SendBuilt(conn, proto::code::RoomList, {}, roomList_);
        return;
    case proto::code::ChatLine:
        if (conn.signedIn)
            FanOut(proto::code::ChatLineRelay, conn.key, m.payload, nullptr);
        return;
    case proto::code::Search:
        if (conn.signedIn)
            FanOut(proto::code::SearchRequest, conn.key, m.payload, nullptr);
        return;
    case proto::code::Ping:
        return;
    default:
        if (proto::IsMemberToMember(code))
            Relay(conn, m, frame);
        return;
    }
}

void Server::Impl::Relay(Connection &conn, const proto::MessageView &m, std::string_view frame)
{
    if (!conn.signedIn || m.source != conn.key) {
        // Only the member itself may speak for its key.
        if (!conn.warnedSpoof) {
            conn.warnedSpoof = true;
            Log("dropping frames from %s: source is not its own key",
                EndpointText(conn.peer).c_str());
        }
        return;
    }
    const auto it = byKey_.find(m.destination);
    if (it != byKey_.end() && !it->second->closing) {
        Send(*it->second, frame); // unchanged, as received
        return;
    }
    SendBuilt(conn, proto::code::UserUnavailable, {}, m.destination);
}

void Server::Impl::SignIn(Connection &conn, std::string_view payload)
{
    if (conn.signedIn)
        Depart(conn, "signed in again");
    const std::string ip = proto::UserKeyPart(payload, 0);
    const std::string name = proto::UserKeyPart(payload, 1);
    if (ip.size() > kMaxIpBytes || name.size() > kMaxNameBytes) {
        Log("refused sign-in from %s: address or name too long", EndpointText(conn.peer).c_str());
        MarkClose(conn, "bad sign-in");
        return;
    }
    const std::string index = std::to_string(nextIndex_++);
    conn.key = proto::BuildUserKey(ip, name, index);
    conn.signedIn = true;
    members_.push_back(&conn);
    byKey_.emplace(std::string_view(conn.key), &conn);
    if (!memberListStale_) {
        if (members_.size() > 1)
            memberList_.append(proto::kListSep);
        memberList_.append(conn.key);
    }
    Log("sign-in '%s' as #%s from %s (%zu members)", Printable(name).c_str(), index.c_str(),
        EndpointText(conn.peer).c_str(), members_.size());
    SendBuilt(conn, proto::code::ConnectionIndex, {}, index);
    SendMemberList(conn);
    FanOut(proto::code::UsersAdded, {}, conn.key, &conn);
}

void Server::Impl::Depart(Connection &conn, const char *why)
{
    const auto pos = std::find(members_.begin(), members_.end(), &conn);
    if (pos != members_.end())
        members_.erase(pos);
    byKey_.erase(std::string_view(conn.key));
    memberListStale_ = true;
    conn.signedIn = false;
    Log("departure '%s' #%s: %s (%zu members)", Printable(proto::UserKeyPart(conn.key, 1)).c_str(),
        proto::UserKeyPart(conn.key, 2).c_str(), why, members_.size());
    const std::string key = std::move(conn.key);
    conn.key.clear();
    FanOut(proto::code::UserLeft, {}, key, nullptr);
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
        memberListStale_ = false;
    }
    SendBuilt(conn, proto::code::UsersList, {}, memberList_);
}

// Every signed-in member except `except` gets the same frame, built once.
void Server::Impl::FanOut(int code, std::string_view source, std::string_view payload,
                          const Connection *except)
{
    Block *b = Build(code, source, payload);
    // Closing members are only marked here; nobody leaves members_ during the loop.
    for (Connection *member : members_)
        if (member != except)
            SendShared(*member, b);
    pool_.Release(b);
}

void Server::Impl::ToEveryone(int code, std::string_view payload)
{
    Block *b = Build(code, {}, payload);
    for (const auto &conn : connections_)
        SendShared(*conn, b);
    pool_.Release(b);
}
} // namespace zestrel::server
