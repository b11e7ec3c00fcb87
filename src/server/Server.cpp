// How the relay keeps its costs down:
// - Reading waits for readiness and then reads into one buffer shared by all
//   connections; a connection keeps only an unfinished frame tail, so idle
//   members hold no read buffer.
// - Output is a queue of slices into reference-counted blocks (Buffers.h). A
//   frame for many members is built once; small frames for one member are
//   packed into a private block. Sends only queue: one flush, posted once per
//   loop pass, gives each connection a single gathered write.
// - Closing is deferred to that flush, so no fan-out loop ever sees a member
//   vanish under it.
#include "server/Server.h"

#include "protocol/Protocol.h"
#include "server/Buffers.h"

#include <asio.hpp>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <span>
#include <system_error>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <unordered_map>

namespace zestrel::server
{

namespace proto = zestrel::protocol;
using asio::ip::tcp;

namespace
{

// Longest sign-in pieces accepted; real clients send an address and a name of
// at most 20 characters. Keys travel in every member list, so they stay small.
constexpr std::size_t kMaxIpBytes = 64;
constexpr std::size_t kMaxNameBytes = 256;
// Reads per readiness before other connections get their turn.
constexpr int kReadsPerTurn = 4;
// Connections taken from the listen queue per readiness.
constexpr int kAcceptsPerTurn = 256;
// A server with no flush for this long gives the memory of its last burst back.
constexpr auto kTrimAfterQuiet = std::chrono::seconds(1);
constexpr std::size_t kReadBufferBytes = 64 * 1024;
constexpr std::size_t kMaxOperatorLine = 64 * 1024;

void Log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void Log(const char *fmt, ...)
{
    char line[1024];
    va_list args;
    va_start(args, fmt);
    const int n = std::vsnprintf(line, sizeof line - 1, fmt, args);
    va_end(args);
    if (n < 0)
        return;
    std::size_t len = std::min<std::size_t>(std::size_t(n), sizeof line - 2);
    line[len++] = '\n';
    // One write per line so lines of a busy server do not interleave.
    [[maybe_unused]] const auto written = ::write(2, line, len);
}

// Text from the network made safe for a log line.
std::string Printable(std::string_view text, std::size_t max = 64)
{
    std::string out;
    for (const char ch : text.substr(0, max)) {
        const auto u = static_cast<unsigned char>(ch);
        out.push_back(u < 0x20 || u == 0x7f ? '|' : ch);
    }
    if (text.size() > max)
        out += "...";
    return out;
}

std::string EndpointText(const tcp::endpoint &ep)
{
    const auto addr = ep.address();
    std::string host = addr.to_string();
    if (addr.is_v6())
        host = "[" + host + "]";
    return host + ":" + std::to_string(ep.port());
}

std::string Trim(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return std::string(s);
}

struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept
    {
        return std::hash<std::string_view>{}(s);
    }
};

} // namespace

std::vector<std::string> DefaultRooms()
{
    return {"Main Kitchen",     "Baking Corner",   "Quick Dinners",
            "Vegetarian Table", "Grill and Smoke", "World Kitchens"};
}

bool ParseOptions(int argc, char **argv, Options &options, std::string &message)
{
    const std::string usage =
        "usage: zestrel-server --listen HOST:PORT [--rooms \"Name1,Name2,...\"]\n"
        "                      [--max-members N] [--welcome]\n"
        "PORT 0 takes a free port. Operator lines on standard input:\n"
        "  broadcast TEXT   notice to every member\n"
        "  news URL         news page for every member\n";
    options.rooms = DefaultRooms();
    bool listen = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&](std::string_view &out) {
            if (i + 1 >= argc) {
                message = std::string(arg) + " needs a value\n" + usage;
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string_view v;
        if (arg == "--help" || arg == "-h") {
            message = usage;
            return false;
        } else if (arg == "--listen") {
            if (!value(v))
                return false;
            const auto colon = v.rfind(':');
            if (colon == std::string_view::npos || colon == 0) {
                message = "--listen wants HOST:PORT\n" + usage;
                return false;
            }
            std::string_view host = v.substr(0, colon);
            if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
                host = host.substr(1, host.size() - 2);
            const std::string_view port = v.substr(colon + 1);
            unsigned p = 0;
            const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), p);
            if (ec != std::errc{} || end != port.data() + port.size() || p > 65535) {
                message = "bad port in --listen: " + std::string(port) + "\n";
                return false;
            }
            options.host = std::string(host);
            options.port = static_cast<std::uint16_t>(p);
            listen = true;
        } else if (arg == "--rooms") {
            if (!value(v))
                return false;
            options.rooms.clear();
            while (!v.empty()) {
                const auto comma = v.find(',');
                std::string name = Trim(v.substr(0, comma));
                if (!name.empty())
                    options.rooms.push_back(std::move(name));
                if (comma == std::string_view::npos)
                    break;
                v.remove_prefix(comma + 1);
            }
        } else if (arg == "--max-members") {
            if (!value(v))
                return false;
            std::size_t n = 0;
            const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
            if (ec != std::errc{} || end != v.data() + v.size()) {
                message = "bad number for --max-members: " + std::string(v) + "\n";
                return false;
            }
            options.maxMembers = n;
        } else if (arg == "--welcome") {
            options.welcome = true;
        } else {
            message = "unknown argument: " + std::string(arg) + "\n" + usage;
            return false;
        }
    }
    if (!listen) {
        message = usage;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------

struct Connection : std::enable_shared_from_this<Connection> {
    Connection(tcp::socket s, const tcp::endpoint &p, std::size_t maxFrame)
        : socket(std::move(s)), input(maxFrame), peer(p)
    {
    }

    tcp::socket socket;
    proto::Reassembler input;
    OutputQueue output;
    tcp::endpoint peer;
    std::string key;         // empty until signed in
    std::size_t slot = 0;    // position in Impl::connections_
    std::size_t junkRun = 0; // unframed bytes since the last frame
    bool signedIn = false;
    bool closing = false;      // marked; the real close happens after the current pass
    bool dirty = false;        // listed for the next flush
    bool waitingWrite = false; // the socket is full; a writable wait is pending
    bool warnedSpoof = false;
};

struct Server::Impl {
    Impl(asio::io_context &io, Options o)
        : io_(io), options_(std::move(o)), acceptor_(io), retryAccept_(io), trimTimer_(io),
          readBuffer_(kReadBufferBytes)
    {
        for (std::size_t i = 0; i < options_.rooms.size(); ++i) {
            if (i > 0)
                roomList_.append(proto::kListSep);
            roomList_.append(options_.rooms[i]);
        }
    }

    asio::io_context &io_;
    Options options_;
    tcp::acceptor acceptor_;
    asio::steady_timer retryAccept_;
    asio::steady_timer trimTimer_;
    bool trimArmed_ = false;
    bool trimmed_ = true;      // nothing to give back since the last trim
    std::uint64_t passes_ = 0; // flush passes, to tell a quiet server from a busy one
    std::uint64_t passesAtArm_ = 0;
    std::unique_ptr<asio::posix::stream_descriptor> operatorInput_;
    std::string operatorBuffer_;
    bool stopped_ = false;

    std::vector<char> readBuffer_; // shared by all connections: idle members hold none
    BlockPool pool_;
    std::string scratch_;

    std::vector<std::shared_ptr<Connection>> connections_;
    std::vector<Connection *> members_; // signed in, in sign-in order
    std::unordered_map<std::string_view, Connection *, KeyHash, std::equal_to<>> byKey_;
    std::uint64_t nextIndex_ = 1;
    std::string memberList_; // keys joined by ListSep, rebuilt after departures
    bool memberListStale_ = false;
    std::string roomList_;

    std::vector<Connection *> dirty_;
    std::vector<std::shared_ptr<Connection>> toClose_;
    bool flushPosted_ = false;

    // ---- accepting ----

    void Accept()
    {
        acceptor_.async_accept([this](std::error_code ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || stopped_)
                return;
            if (ec) {
                Log("accept failed: %s", ec.message().c_str());
                // Out of descriptors: wait a little rather than spin.
                retryAccept_.expires_after(std::chrono::milliseconds(100));
                retryAccept_.async_wait([this](std::error_code e) {
                    if (!e && !stopped_)
                        Accept();
                });
                return;
            }
            Adopt(std::move(socket));
            // Take every connection already waiting, so their sign-ins are read in
            // the same pass and each member gets one write for all the announcements.
            for (int i = 0; i < kAcceptsPerTurn && !stopped_; ++i) {
                std::error_code e;
                tcp::socket next = acceptor_.accept(e);
                if (e)
                    break;
                Adopt(std::move(next));
            }
            Accept();
        });
    }

    void Adopt(tcp::socket socket)
    {
        std::error_code ec;
        const tcp::endpoint peer = socket.remote_endpoint(ec);
        if (ec) {
            socket.close(ec);
            return;
        }
        if (options_.maxMembers != 0 && connections_.size() >= options_.maxMembers) {
            Log("refused %s: member limit %zu reached", EndpointText(peer).c_str(),
                options_.maxMembers);
            socket.close(ec);
            return;
        }
        socket.non_blocking(true, ec);
        socket.set_option(tcp::no_delay(true), ec);
        auto conn = std::make_shared<Connection>(std::move(socket), peer, options_.maxFrameBytes);
        conn->slot = connections_.size();
        connections_.push_back(conn);
        Log("connect %s (%zu open)", EndpointText(peer).c_str(), connections_.size());
        if (options_.welcome)
            Send(*conn, proto::kServerNotice);
        WaitReadable(conn);
        ScheduleFlush();
    }

    // ---- reading ----

    void WaitReadable(const std::shared_ptr<Connection> &conn)
    {
        conn->socket.async_wait(tcp::socket::wait_read, [this, conn](std::error_code ec) {
            if (ec || conn->closing)
                return;
            OnReadable(conn);
        });
    }

    void OnReadable(const std::shared_ptr<Connection> &conn)
    {
        for (int turn = 0;; ++turn) {
            if (turn == kReadsPerTurn) {
                // More may be waiting; let the others read first, then go on.
                asio::post(io_, [this, conn] {
                    if (!conn->closing)
                        OnReadable(conn);
                });
                break;
            }
            std::error_code ec;
            const std::size_t n = conn->socket.read_some(asio::buffer(readBuffer_), ec);
            if (ec == asio::error::would_block || ec == asio::error::try_again) {
                WaitReadable(conn);
                break;
            }
            if (ec) {
                MarkClose(*conn, ec == asio::error::eof ? "closed by peer" : ec.message().c_str());
                break;
            }
            HandleInput(*conn, std::string_view(readBuffer_.data(), n));
            if (conn->closing)
                break;
        }
        ScheduleFlush();
    }

    void HandleInput(Connection &conn, std::string_view chunk)
    {
        using Kind = proto::Reassembler::Event::Kind;
        conn.input.Scan(chunk, [&](Kind kind, std::string_view frame) {
            if (kind == Kind::Overflow) {
                MarkClose(conn, "frame over the input bound");
                return false;
            }
            if (kind == Kind::Junk) {
                // Unframed bytes cost nothing to drop, but a peer that sends only
                // such bytes is not a client.
                conn.junkRun += frame.size();
                if (conn.junkRun > options_.maxFrameBytes) {
                    MarkClose(conn, "unframed data over the input bound");
                    return false;
                }
            }
            if (kind == Kind::Frame) {
                conn.junkRun = 0;
                Dispatch(conn, frame);
            }
            return !conn.closing;
        });
    }

    // ---- routing ----

    void Dispatch(Connection &conn, std::string_view frame)
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

    void Relay(Connection &conn, const proto::MessageView &m, std::string_view frame)
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

    void SignIn(Connection &conn, std::string_view payload)
    {
        if (conn.signedIn)
            Depart(conn, "signed in again");
        const std::string ip = proto::UserKeyPart(payload, 0);
        const std::string name = proto::UserKeyPart(payload, 1);
        if (ip.size() > kMaxIpBytes || name.size() > kMaxNameBytes) {
            Log("refused sign-in from %s: address or name too long",
                EndpointText(conn.peer).c_str());
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

    void Depart(Connection &conn, const char *why)
    {
        const auto pos = std::find(members_.begin(), members_.end(), &conn);
        if (pos != members_.end())
            members_.erase(pos);
        byKey_.erase(std::string_view(conn.key));
        memberListStale_ = true;
        conn.signedIn = false;
        Log("departure '%s' #%s: %s (%zu members)",
            Printable(proto::UserKeyPart(conn.key, 1)).c_str(),
            proto::UserKeyPart(conn.key, 2).c_str(), why, members_.size());
        const std::string key = std::move(conn.key);
        conn.key.clear();
        FanOut(proto::code::UserLeft, {}, key, nullptr);
    }

    void SendMemberList(Connection &conn)
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

    // ---- output ----

    // Builds a frame once into a shared block.
    Block *Build(int code, std::string_view source, std::string_view payload)
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

    void SendBuilt(Connection &conn, int code, std::string_view source, std::string_view payload)
    {
        Block *b = Build(code, source, payload);
        SendShared(conn, b);
        pool_.Release(b);
    }

    // Every signed-in member except `except` gets the same frame, built once.
    void FanOut(int code, std::string_view source, std::string_view payload,
                const Connection *except)
    {
        Block *b = Build(code, source, payload);
        // Closing members are only marked here; nobody leaves members_ during the loop.
        for (Connection *member : members_)
            if (member != except)
                SendShared(*member, b);
        pool_.Release(b);
    }

    void ToEveryone(int code, std::string_view payload)
    {
        Block *b = Build(code, {}, payload);
        for (const auto &conn : connections_)
            SendShared(*conn, b);
        pool_.Release(b);
    }

    bool Admit(Connection &conn, std::size_t bytes)
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

    void SendShared(Connection &conn, Block *b)
    {
        if (Admit(conn, b->size))
            conn.output.PushShared(pool_, b);
    }

    void Send(Connection &conn, std::string_view bytes)
    {
        if (Admit(conn, bytes.size()))
            conn.output.PushCopy(pool_, bytes);
    }

    void ScheduleFlush()
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

    void FlushAll()
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
    void ScheduleTrim()
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

    void TrimMemory()
    {
        for (const auto &conn : connections_)
            conn->output.ReleaseIdle();
        pool_.Trim();
#ifdef __GLIBC__
        ::malloc_trim(0);
#endif
        trimmed_ = true;
    }

    void Write(Connection &conn)
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

    void WaitWritable(Connection &conn)
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

    // ---- closing ----

    void MarkClose(Connection &conn, const char *why)
    {
        if (conn.closing)
            return;
        conn.closing = true;
        Log("closing %s: %s", EndpointText(conn.peer).c_str(), why);
        toClose_.push_back(conn.shared_from_this());
        ScheduleFlush();
    }

    void CloseMarked()
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
    void Drop(Connection &conn)
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

    // ---- operator ----

    void ReadOperator()
    {
        asio::async_read_until(*operatorInput_,
                               asio::dynamic_buffer(operatorBuffer_, kMaxOperatorLine), '\n',
                               [this](std::error_code ec, std::size_t n) {
                                   if (ec == asio::error::operation_aborted || stopped_)
                                       return;
                                   if (ec == asio::error::not_found) { // line too long: skip it
                                       operatorBuffer_.clear();
                                       ReadOperator();
                                       return;
                                   }
                                   if (ec) {
                                       if (!operatorBuffer_.empty())
                                           OperatorLine(operatorBuffer_);
                                       operatorBuffer_.clear();
                                       Log("operator input closed; the server keeps running");
                                       std::error_code ignored;
                                       operatorInput_->close(ignored);
                                       return;
                                   }
                                   const std::string line = operatorBuffer_.substr(0, n);
                                   operatorBuffer_.erase(0, n);
                                   OperatorLine(line);
                                   ReadOperator();
                               });
    }

    void OperatorLine(std::string_view raw)
    {
        std::string line = Trim(raw);
        const auto space = line.find(' ');
        const std::string command = line.substr(0, space);
        const std::string argument = space == std::string::npos ? "" : Trim(line.substr(space + 1));
        if (command == "broadcast") {
            Log("broadcast to %zu connections: %s", connections_.size(),
                Printable(argument).c_str());
            ToEveryone(proto::code::ServerBroadcast, argument);
        } else if (command == "news") {
            Log("news page for %zu connections: %s", connections_.size(),
                Printable(argument).c_str());
            ToEveryone(proto::code::ShowWebPage, argument);
        } else if (!command.empty()) {
            Log("unknown operator command '%s' (broadcast TEXT, news URL)",
                Printable(command).c_str());
        }
        ScheduleFlush();
    }

    // Files and /dev/null cannot be waited on; read them through at once.
    void ReadOperatorFile(int fd)
    {
        std::string all;
        char buf[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buf, sizeof buf);
            if (n <= 0 || all.size() > kMaxOperatorLine * 16)
                break;
            all.append(buf, std::size_t(n));
        }
        std::string_view rest = all;
        while (!rest.empty()) {
            const auto nl = rest.find('\n');
            OperatorLine(rest.substr(0, nl));
            if (nl == std::string_view::npos)
                break;
            rest.remove_prefix(nl + 1);
        }
        Log("operator input closed; the server keeps running");
    }
};

Server::Server(asio::io_context &io, Options options)
    : impl_(std::make_unique<Impl>(io, std::move(options)))
{
}

Server::~Server()
{
    Stop();
}

tcp::endpoint Server::Listen()
{
    Impl &d = *impl_;
    std::error_code ec;
    asio::ip::address address = asio::ip::make_address(d.options_.host, ec);
    if (ec) {
        tcp::resolver resolver(d.io_);
        const auto results = resolver.resolve(d.options_.host, "", ec);
        if (ec || results.empty())
            throw std::system_error(ec ? ec : make_error_code(asio::error::host_not_found),
                                    "cannot resolve " + d.options_.host);
        address = results.begin()->endpoint().address();
    }
    const tcp::endpoint endpoint(address, d.options_.port);
    d.acceptor_.open(endpoint.protocol());
    d.acceptor_.set_option(tcp::acceptor::reuse_address(true));
    d.acceptor_.bind(endpoint);
    d.acceptor_.listen(asio::socket_base::max_listen_connections);
    d.acceptor_.non_blocking(true); // the accept loop stops at an empty listen queue
    d.Accept();
    return d.acceptor_.local_endpoint();
}

void Server::AttachOperatorInput(int fd)
{
    Impl &d = *impl_;
    const int own = ::dup(fd);
    if (own < 0)
        return;
    d.operatorInput_ = std::make_unique<asio::posix::stream_descriptor>(d.io_);
    std::error_code ec;
    d.operatorInput_->assign(own, ec);
    if (!ec)
        d.operatorInput_->non_blocking(true, ec);
    if (ec) {
        d.operatorInput_.reset();
        ::close(own);
        return;
    }
    // A descriptor epoll refuses (a plain file, /dev/null) fails its first wait
    // with "not supported"; such input is read through at once instead.
    d.operatorInput_->async_wait(asio::posix::stream_descriptor::wait_read,
                                 [&d, own](std::error_code e) {
                                     if (e == asio::error::operation_aborted || d.stopped_)
                                         return;
                                     if (e == asio::error::operation_not_supported) {
                                         d.ReadOperatorFile(own);
                                         std::error_code ignored;
                                         d.operatorInput_->close(ignored);
                                         return;
                                     }
                                     d.ReadOperator();
                                 });
}

void Server::OperatorLine(std::string_view line)
{
    impl_->OperatorLine(line);
}

void Server::Stop()
{
    Impl &d = *impl_;
    if (d.stopped_)
        return;
    d.stopped_ = true;
    std::error_code ec;
    d.acceptor_.close(ec);
    d.retryAccept_.cancel();
    d.trimTimer_.cancel();
    if (d.operatorInput_)
        d.operatorInput_->close(ec);
    for (const auto &conn : d.connections_) {
        conn->closing = true;
        conn->socket.close(ec);
        conn->output.Clear(d.pool_);
    }
    d.connections_.clear();
    d.members_.clear();
    d.byKey_.clear();
    d.dirty_.clear();
    d.toClose_.clear();
}

std::size_t Server::ConnectionCount() const noexcept
{
    return impl_->connections_.size();
}

std::size_t Server::MemberCount() const noexcept
{
    return impl_->members_.size();
}

} // namespace zestrel::server
