// Output queues, gathered writes, deferred closing and giving burst memory back.
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

// Builds a frame once into a shared block.
Block *Server::Impl::Build(int code, std::string_view source, std::string_view payload)
{
    char codeText[16];
    const auto r = std::to_chars(codeText, codeText + sizeof codeText, code);
    const std::string_view c(codeText, std::size_t(r.ptr - codeText));
    const std::size_t size = proto::kBeginMarker.size() + c.size() + source.size() +
                             payload.size() + 3 + proto::kEndMarker.size();
    Block *b = pool_.Get(size);
    b->Append(proto::kBeginMarker);
    b->Append(c);
    b->Append("^");
    b->Append(source);
    b->Append("^^");
    b->Append(payload);
    b->Append(proto::kEndMarker);
    return b;
}

void Server::Impl::SendBuilt(Connection &conn, int code, std::string_view source,
                             std::string_view payload)
{
    Block *b = Build(code, source, payload);
    SendShared(conn, b);
    pool_.Release(b);
}

bool Server::Impl::Admit(Connection &conn, std::size_t bytes)
{
    if (conn.closing)
        return false;
    if (conn.output.Bytes() + bytes > options_.maxOutputBytes) {
        MarkClose(conn, "unsent output over the bound");
        return false;
    }
    if (!conn.dirty && !conn.waitingWrite) {
        conn.dirty = true;
        dirty_.push_back(&conn);
    }
    return true;
}

void Server::Impl::SendShared(Connection &conn, Block *b)
{
    if (Admit(conn, b->size))
        conn.output.PushShared(pool_, b);
}

void Server::Impl::Send(Connection &conn, std::string_view bytes)
{
    if (Admit(conn, bytes.size()))
        conn.output.PushCopy(pool_, bytes);
}

void Server::Impl::ScheduleFlush()
{
    if (flushPosted_ || (dirty_.empty() && toClose_.empty()))
        return;
    flushPosted_ = true;
    // Runs after the handlers that are ready in this pass: each connection
    // then gets one gathered write for everything queued meanwhile.
    asio::post(io_, [this] {
        flushPosted_ = false;
        FlushAll();
    });
}

void Server::Impl::FlushAll()
{
    ++passes_;
    trimmed_ = false;
    ScheduleTrim();
    while (!dirty_.empty() || !toClose_.empty()) {
        std::vector<Connection *> batch;
        batch.swap(dirty_);
        for (Connection *conn : batch) {
            conn->dirty = false;
            if (!conn->closing)
                Write(*conn);
        }
        batch.clear();
        if (dirty_.empty())
            dirty_.swap(batch); // keep the capacity for the next pass
        CloseMarked();
    }
}

// After a burst (ten thousand sign-ins announce themselves to each other) the
// allocator keeps its peak. Once the server has been quiet for a moment, drained
// queues drop their slice arrays, the pool its free blocks, and the heap is trimmed.
void Server::Impl::ScheduleTrim()
{
    if (trimArmed_ || trimmed_ || stopped_)
        return;
    trimArmed_ = true;
    passesAtArm_ = passes_;
    trimTimer_.expires_after(kTrimAfterQuiet);
    trimTimer_.async_wait([this](std::error_code ec) {
        if (ec) // cancelled: the server may be gone, touch nothing
            return;
        trimArmed_ = false;
        if (stopped_)
            return;
        if (passes_ != passesAtArm_) {
            ScheduleTrim(); // still busy: look again later
            return;
        }
        TrimMemory();
    });
}

void Server::Impl::TrimMemory()
{
    for (const auto &conn : connections_)
        conn->output.ReleaseIdle();
    pool_.Trim();
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
    trimmed_ = true;
}

void Server::Impl::Write(Connection &conn)
{
    while (!conn.output.Empty()) {
        std::array<asio::const_buffer, OutputQueue::kMaxGather> bufs;
        const std::size_t count = conn.output.Gather(bufs.data(), bufs.size());
        std::error_code ec;
        const std::size_t n =
            conn.socket.write_some(std::span<const asio::const_buffer>(bufs.data(), count), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again || (!ec && n == 0)) {
            WaitWritable(conn);
            return;
        }
        if (ec) {
            MarkClose(conn, ec.message().c_str());
            return;
        }
        conn.output.Consume(pool_, n);
    }
    conn.output.Compact();
}

void Server::Impl::WaitWritable(Connection &conn)
{
    if (conn.waitingWrite)
        return;
    conn.waitingWrite = true;
    conn.socket.async_wait(tcp::socket::wait_write,
                           [this, c = conn.shared_from_this()](std::error_code ec) {
                               c->waitingWrite = false;
                               if (ec || c->closing)
                                   return;
                               Write(*c);
                               ScheduleFlush();
                           });
}

void Server::Impl::MarkClose(Connection &conn, const char *why)
{
    if (conn.closing)
        return;
    conn.closing = true;
    Log("closing %s: %s", EndpointText(conn.peer).c_str(), why);
    toClose_.push_back(conn.shared_from_this());
    ScheduleFlush();
}

void Server::Impl::CloseMarked()
{
    while (!toClose_.empty()) {
        const std::shared_ptr<Connection> conn = std::move(toClose_.back());
        toClose_.pop_back();
        if (conn->signedIn)
            Depart(*conn, "connection closed");
        Drop(*conn);
    }
}

// Releases the connection's resources; pending waits end as aborted and
// their handlers let go of the last references.
void Server::Impl::Drop(Connection &conn)
{
    std::error_code ec;
    conn.socket.close(ec);
    conn.output.Clear(pool_);
    if (conn.dirty) { // may be the last reference: never leave it listed
        const auto it = std::find(dirty_.begin(), dirty_.end(), &conn);
        if (it != dirty_.end())
            dirty_.erase(it);
        conn.dirty = false;
    }
    conn.input.Clear();
    const std::size_t slot = conn.slot;
    if (slot < connections_.size() && connections_[slot].get() == &conn) {
        connections_[slot] = std::move(connections_.back());
        connections_[slot]->slot = slot;
        connections_.pop_back();
    }
}
} // namespace zestrel::server
