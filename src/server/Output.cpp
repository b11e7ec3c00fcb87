// Output queues, gathered writes, deferred closing and giving burst memory back.
#include "server/Impl.h"
#include "server/Log.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <memory>
#include <span>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace zestrel::server
{

namespace
{

std::string_view CodeText(int code, char (&buf)[16])
{
    const auto r = std::to_chars(buf, buf + sizeof buf, code);
    return {buf, std::size_t(r.ptr - buf)};
}

} // namespace

std::size_t Server::Impl::FrameSize(int code, std::string_view source, std::string_view payload)
{
    char buf[16];
    return proto::kBeginMarker.size() + CodeText(code, buf).size() + source.size() +
           payload.size() + 3 + proto::kEndMarker.size();
}

void Server::Impl::AppendFrame(Block &b, int code, std::string_view source,
                               std::string_view payload)
{
    char buf[16];
    b.Append(proto::kBeginMarker);
    b.Append(CodeText(code, buf));
    b.Append("^");
    b.Append(source);
    b.Append("^^");
    b.Append(payload);
    b.Append(proto::kEndMarker);
}

// Builds a frame once into a shared block.
Block *Server::Impl::Build(int code, std::string_view source, std::string_view payload)
{
    const std::size_t size = FrameSize(code, source, payload);
    Reserve(sizeof(Block) + size);
    Block *b = pool_.Get(size);
    AppendFrame(*b, code, source, payload);
    return b;
}

void Server::Impl::SendBuilt(Connection &conn, int code, std::string_view source,
                             std::string_view payload, bool urgent)
{
    Block *b = Build(code, source, payload);
    SendShared(conn, b, urgent);
    pool_.Release(b);
}

bool Server::Impl::Admit(Connection &conn, std::size_t bytes, bool urgent)
{
    // Notices owed go first: nothing overtakes an arrival or a departure.
    DeliverNotices(conn);
    if (conn.closing)
        return false;
    if (conn.output.Bytes() + bytes > options_.maxOutputBytes) {
        MarkClose(conn, "unsent output over the bound");
        return false;
    }
    if (!urgent)
        WriteLater(conn);
    else if (!conn.dirty && !conn.waitingWrite) {
        conn.dirty = true;
        dirty_.push_back(&conn);
    }
    return true;
}

void Server::Impl::SendShared(Connection &conn, Block *b, bool urgent)
{
    if (Admit(conn, b->size, urgent))
        conn.output.PushShared(pool_, b);
}

void Server::Impl::AddNotice(int code, std::string_view key)
{
    const std::size_t size = FrameSize(code, {}, key);
    if (notices_ != nullptr && notices_->room() < size)
        PublishNotices();
    if (notices_ == nullptr) {
        const std::size_t cap = std::max(kNoticeBlockBytes, size);
        Reserve(sizeof(Block) + cap);
        notices_ = pool_.Get(cap);
    }
    AppendFrame(*notices_, code, {}, key);
    if (!noticeArmed_ && !stopped_) {
        noticeArmed_ = true;
        noticeTimer_.expires_after(kNoticeDelay);
        noticeTimer_.async_wait([this](std::error_code ec) {
            if (ec) // cancelled: the server may be gone, touch nothing
                return;
            noticeArmed_ = false;
            PublishNotices();
        });
    }
}

void Server::Impl::DeliverNotices(Connection &conn)
{
    if (notices_ == nullptr || !conn.signedIn || conn.closing)
        return;
    const std::uint32_t from = conn.noticeEpoch == noticeEpoch_ ? conn.noticeMark : 0;
    const std::uint32_t to = notices_->size;
    conn.noticeEpoch = noticeEpoch_;
    conn.noticeMark = to;
    if (from >= to)
        return;
    // Too far behind: no notices until it catches up, then a fresh list (Write).
    if (conn.stale || conn.output.Bytes() > kAnnounceBound) {
        conn.stale = true;
        return;
    }
    if (conn.output.Bytes() + (to - from) > options_.maxOutputBytes) {
        MarkClose(conn, "unsent output over the bound");
        return;
    }
    conn.output.PushSlice(pool_, notices_, from, to - from);
}

void Server::Impl::SkipNotices(Connection &conn)
{
    conn.noticeEpoch = noticeEpoch_;
    conn.noticeMark = notices_ != nullptr ? notices_->size : 0;
}

void Server::Impl::PublishNotices()
{
    if (notices_ == nullptr)
        return;
    // Closing members are only marked here; nobody leaves members_ during the loop.
    for (Connection *member : members_) {
        DeliverNotices(*member);
        if (!member->closing && !member->output.Empty())
            WriteLater(*member);
    }
    pool_.Release(notices_);
    notices_ = nullptr;
    ++noticeEpoch_;
    ScheduleFlush(); // for members the bound cut
}

void Server::Impl::WriteLater(Connection &conn)
{
    if (conn.dirty || conn.waitingWrite || conn.lazy || conn.closing)
        return; // a write is coming anyway
    conn.lazy = true;
    lazy_.push_back(conn.shared_from_this());
    PostBackground();
}

void Server::Impl::PostBackground()
{
    if (backgroundPosted_ || stopped_)
        return;
    backgroundPosted_ = true;
    asio::post(io_, [this] {
        backgroundPosted_ = false;
        WriteBackground();
    });
}

// A few connections per pass; the rest after the next look at the sockets.
void Server::Impl::WriteBackground()
{
    if (stopped_)
        return;
    int writes = 0;
    std::size_t bytes = 0;
    while (lazyNext_ < lazy_.size() && writes < kBackgroundWrites && bytes < kBackgroundBytes) {
        const std::shared_ptr<Connection> conn = std::move(lazy_[lazyNext_++]);
        conn->lazy = false;
        if (conn->closing || conn->dirty || conn->waitingWrite || conn->output.Empty())
            continue;
        const std::size_t before = conn->output.Bytes();
        Write(*conn);
        bytes += before - std::min(before, conn->output.Bytes());
        ++writes;
    }
    if (lazyNext_ == lazy_.size()) {
        lazy_.clear();
        lazyNext_ = 0;
    } else {
        // Under a steady stream of arrivals the written front goes, so the list
        // holds only what still waits.
        if (lazyNext_ >= 4096 && 2 * lazyNext_ >= lazy_.size()) {
            lazy_.erase(lazy_.begin(), lazy_.begin() + std::ptrdiff_t(lazyNext_));
            lazyNext_ = 0;
        }
        PostBackground();
    }
    ScheduleFlush();
}

void Server::Impl::Send(Connection &conn, std::string_view bytes)
{
    if (!Admit(conn, bytes.size()))
        return;
    Reserve(bytes.size());
    if (!conn.closing) // the budget may have cut this very member
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

// After a burst (ten thousand sign-ins announce themselves to each other, a
// member reads a backlog) the allocator keeps its peak. A few times a second, when
// metered memory has fallen well below its peak since the last trim (queues have
// drained, also while traffic goes on), or once the relay has gone quiet after
// writing, drained queues drop their slice arrays, the pool its free blocks, the
// member list its block, and the heap is trimmed.
void Server::Impl::ScheduleTrim()
{
    if (trimArmed_ || stopped_)
        return;
    trimArmed_ = true;
    trimTimer_.expires_after(kTrimCheck);
    trimTimer_.async_wait([this](std::error_code ec) {
        if (ec) // cancelled: the server may be gone, touch nothing
            return;
        trimArmed_ = false;
        if (stopped_)
            return;
        const std::size_t used = MemoryUsed();
        const bool quiet = writes_ == writesAtCheck_;
        writesAtCheck_ = writes_;
        if (peakSinceTrim_ >= used + kTrimSlack || pool_.FreeBytes() >= kTrimSlack ||
            (quiet && busySinceTrim_))
            TrimMemory();
        else if (!quiet)
            ScheduleTrim(); // once it goes quiet, what the last writes held goes back
    });
}

void Server::Impl::TrimMemory()
{
    for (const auto &conn : connections_)
        conn->output.ReleaseIdle(pool_);
    DropMemberList(); // built again when asked for
    pool_.Trim();
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
    peakSinceTrim_ = MemoryUsed();
    busySinceTrim_ = false;
}

void Server::Impl::SyncInput(Connection &conn)
{
    const std::size_t now = conn.input.Capacity();
    inputBytes_ = inputBytes_ - conn.inputCharge + now;
    conn.inputCharge = now;
    peakSinceTrim_ = std::max(peakSinceTrim_, MemoryUsed());
}

void Server::Impl::ResetInput(Connection &conn)
{
    // Rebuilt rather than assigned: a moved-into string may keep its old buffer.
    std::destroy_at(&conn.input);
    std::construct_at(&conn.input, options_.maxFrameBytes);
    SyncInput(conn);
}

void Server::Impl::Reserve(std::size_t bytes)
{
    while (MemoryUsed() + bytes > options_.maxMemory) {
        // Cutting members that hold little would not help: they are left alone.
        Connection *victim = nullptr;
        std::size_t most = kBudgetVictimFloor - 1;
        for (const auto &c : connections_) {
            if (c->closing)
                continue;
            const std::size_t holds = c->input.Capacity() + c->output.Bytes();
            if (holds > most) {
                most = holds;
                victim = c.get();
            }
        }
        if (victim == nullptr)
            break;
        Log("closing %s: memory budget of %zu bytes reached (%zu in use); it holds %zu "
            "(input %zu, unread output %zu)",
            EndpointText(victim->peer).c_str(), options_.maxMemory, MemoryUsed(), most,
            victim->input.Capacity(), victim->output.Bytes());
        MarkClose(*victim, "over the memory budget");
    }
    peakSinceTrim_ = std::max(peakSinceTrim_, MemoryUsed() + bytes);
}

void Server::Impl::Write(Connection &conn)
{
    ++writes_;
    busySinceTrim_ = true;
    ScheduleTrim();
    if (conn.handshaking) // TLS: the queue waits for the end of the handshake
        return;
    while (!conn.output.Empty()) {
        std::array<asio::const_buffer, OutputQueue::kMaxGather> bufs;
        const std::size_t count = conn.output.Gather(bufs.data(), bufs.size());
        std::error_code ec;
        const std::size_t n =
            conn.tls != nullptr ? TlsWrite(conn, bufs.data(), count, ec)
                                : conn.socket.write_some(
                                      std::span<const asio::const_buffer>(bufs.data(), count), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again || (!ec && n == 0)) {
            if (!conn.tlsWriteWantsRead) // else the next read goes on with it
                WaitWritable(conn);
            return;
        }
        if (ec) {
            MarkClose(conn, conn.tls != nullptr ? tlsError_.c_str() : ec.message().c_str());
            return;
        }
        conn.output.Consume(pool_, n);
        ++conn.writes;
        if (conn.holdsSenders && conn.output.Bytes() <= kRelayHold / 2)
            Release(conn); // caught up: its senders are read again
        if (conn.stale && conn.output.Bytes() <= kAnnounceBound / 2) {
            // Caught up: one fresh list replaces the notices it missed.
            conn.stale = false;
            SkipNotices(conn);
            SendMemberList(conn);
            if (conn.closing) // the budget may have cut it
                return;
        }
    }
    conn.output.Compact(pool_);
}

void Server::Impl::WaitWritable(Connection &conn)
{
    if (conn.waitingWrite)
        return;
    conn.waitingWrite = true;
    conn.socket.async_wait(Socket::wait_write,
                           [this, c = conn.shared_from_this()](std::error_code ec) {
                               c->waitingWrite = false;
                               if (ec || c->closing)
                                   return;
                               Write(*c);
                               ScheduleFlush();
                               ScheduleTrim();
                           });
}

void Server::Impl::MarkClose(Connection &conn, const char *why)
{
    if (conn.closing)
        return;
    conn.closing = true;
    LogFolded("closes", HostText(conn.peer), "closing %s: %s", EndpointText(conn.peer).c_str(),
              why);
    toClose_.push_back(conn.shared_from_this());
    // Nothing more is written to it: its buffers go back at once, the input only
    // after the frames being dispatched from it.
    conn.output.Clear(pool_);
    if (&conn != scanning_)
        ResetInput(conn);
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
    ResetInput(conn);
    SetWaiting(conn, false);
    if (conn.holdsSenders)
        Release(conn); // gone: its senders go on
    const std::size_t slot = conn.slot;
    if (slot < connections_.size() && connections_[slot].get() == &conn) {
        connections_[slot] = std::move(connections_.back());
        connections_[slot]->slot = slot;
        connections_.pop_back();
    }
}
} // namespace zestrel::server
