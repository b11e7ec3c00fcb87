// Member-to-member frames at the pace of their reader.
//
// A sender whose frame leaves its destination with more than kRelayHold queued
// is not read again until that queue is under half of it: TCP then slows the
// sender, and the reader is never cut for being slower than its sender. Only
// that sender waits; the loop and everyone else's traffic go on. A destination
// that reads nothing at all for kStuckAfter lets its senders go, so a member
// that never reads cannot hold its senders for ever: frames for it pile up to
// the output bound and it is cut, as before.
#include "server/Impl.h"
#include "server/Log.h"

namespace zestrel::server
{

void Server::Impl::Hold(Connection &sender, Connection &destination)
{
    if (sender.readPaused || sender.closing || destination.closing)
        return;
    const auto now = SteadyClock::now();
    Held &h = held_[&destination];
    if (!destination.holdsSenders) {
        destination.holdsSenders = true;
        h.writes = destination.writes;
        h.moved = now;
    }
    if (h.stuck) {
        if (destination.writes == h.writes)
            return; // still reads nothing: its senders are not held
        h.stuck = false;
        h.writes = destination.writes;
        h.moved = now;
    }
    sender.readPaused = true;
    h.senders.push_back(sender.shared_from_this());
    ArmStuckTimer();
}

void Server::Impl::Release(Connection &destination)
{
    destination.holdsSenders = false;
    const auto it = held_.find(&destination);
    if (it == held_.end())
        return;
    std::vector<std::shared_ptr<Connection>> senders = std::move(it->second.senders);
    held_.erase(it);
    for (const auto &s : senders)
        Resume(s);
}

void Server::Impl::Resume(const std::shared_ptr<Connection> &sender)
{
    sender->readPaused = false;
    if (sender->closing || stopped_)
        return;
    asio::post(io_, [this, sender] {
        if (!sender->closing && !sender->readPaused && !stopped_)
            OnReadable(sender);
    });
}

void Server::Impl::ArmStuckTimer()
{
    if (stuckArmed_ || stopped_)
        return;
    stuckArmed_ = true;
    stuckTimer_.expires_after(std::chrono::seconds(1));
    stuckTimer_.async_wait([this](std::error_code ec) {
        if (ec) // cancelled: the server may be gone, touch nothing
            return;
        stuckArmed_ = false;
        CheckStuck();
    });
}

void Server::Impl::CheckStuck()
{
    const auto now = SteadyClock::now();
    bool waiting = false;
    for (auto &[destination, h] : held_) {
        if (destination->writes != h.writes) {
            h.writes = destination->writes;
            h.moved = now;
        } else if (!h.stuck && !h.senders.empty() && now - h.moved >= kStuckAfter) {
            h.stuck = true;
            LogFolded("closes", HostText(destination->peer),
                      "%s reads nothing: %zu senders held for it go on",
                      EndpointText(destination->peer).c_str(), h.senders.size());
            for (const auto &s : h.senders)
                Resume(s);
            h.senders.clear();
        }
        waiting = waiting || !h.senders.empty();
    }
    if (waiting)
        ArmStuckTimer();
}

} // namespace zestrel::server
