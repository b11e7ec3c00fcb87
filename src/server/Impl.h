// The relay's inner working, shared by Server.cpp (accepting, reading, operator
// input), Routing.cpp (sign-in, relay, fan-out) and Output.cpp (queues, writes,
// closing, giving memory back).
//
// How the relay keeps its costs down:
// - Reading waits for readiness and then reads into one buffer shared by all
//   connections; a connection keeps only an unfinished frame tail, so idle
//   members hold no read buffer.
// - Output is a queue of slices into reference-counted blocks (Buffers.h). A
//   frame for many members is built once; small frames for one member are
//   packed into a private block. Sends only queue: one flush, posted once per
//   loop pass, gives each connection a single gathered write.
// - Arrivals and departures (101, 102) of a tenth of a second go into one shared
//   block; each member is owed the part after its mark and gets it as one slice,
//   so a burst of sign-ins costs each member one slice and one write.
// - The member list (100) grows in place while members only arrive: a newcomer
//   gets a slice of it and the shared end marker, not a copy.
// - Writes nobody waits for (a newcomer's member list, the notices) go out a
//   few connections per loop pass, so members talking to each other are not held
//   up behind them.
// - Closing is deferred to that flush, so no fan-out loop ever sees a member
//   vanish under it.
#pragma once

#include "protocol/Protocol.h"
#include "server/Buffers.h"
#include "server/Cluster.h"
#include "server/Server.h"

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;

namespace zestrel::server
{

namespace proto = zestrel::protocol;
using asio::ip::tcp;

// Longest sign-in pieces accepted; real clients send an address and a name of
// at most 20 characters. Keys travel in every member list, so they stay small.
constexpr std::size_t kMaxIpBytes = 64;
constexpr std::size_t kMaxNameBytes = 256;
// Reads per readiness before other connections get their turn.
constexpr int kReadsPerTurn = 4;
// Connections taken from the listen queue per readiness.
constexpr int kAcceptsPerTurn = 256;
constexpr std::size_t kReadBufferBytes = 64 * 1024;
constexpr std::size_t kMaxOperatorLine = 64 * 1024;

// How often the relay looks whether memory can be given back, and how far below
// its peak since the last trim it must have fallen for that.
constexpr auto kTrimCheck = std::chrono::milliseconds(250);
constexpr std::size_t kTrimSlack = 1024 * 1024;
// A member with more than this queued gets no more arrival and departure notices
// (101, 102) until its queue is back under half of it; then one fresh member list.
constexpr std::size_t kAnnounceBound = 64 * 1024;
// Arrival and departure notices are gathered this long into one block, so a burst
// of sign-ins costs each member one write rather than one per sign-in.
constexpr auto kNoticeDelay = std::chrono::milliseconds(100);
// Room of a notice block; a full block goes out at once.
constexpr std::size_t kNoticeBlockBytes = 16 * 1024;
// Background writes per loop pass: at most this many connections or bytes.
constexpr int kBackgroundWrites = 32;
constexpr std::size_t kBackgroundBytes = 1024 * 1024;
// The memory budget cuts only connections holding at least this much.
constexpr std::size_t kBudgetVictimFloor = 64 * 1024;
// A member's refused fan-out bytes drain at half its rate; past two buckets' worth
// the member is cut.
constexpr double kRefusedBuckets = 2.0;
// A member-to-member frame for a member with more than this queued holds its
// sender: the relay stops reading the sender until the queue is under half of it.
constexpr std::size_t kRelayHold = 1024 * 1024;
// A destination that reads nothing this long while holding senders lets them go;
// frames for it then pile up to the output bound as before.
constexpr auto kStuckAfter = std::chrono::seconds(5);

// TLS: OpenSSL works on the connection's own descriptor, driven by the same
// readiness waits as a plain socket; a record at most this big is written at once.
constexpr std::size_t kTlsRecordBytes = 16 * 1024;

using SteadyClock = std::chrono::steady_clock;
// Bound to the relay's one io_context: a fifth of the size of a tcp::socket, which
// carries a type-erased executor.
using Socket = asio::basic_stream_socket<tcp, asio::io_context::executor_type>;

struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept
    {
        return std::hash<std::string_view>{}(s);
    }
};

struct Connection : std::enable_shared_from_this<Connection> {
    Connection(Socket s, const tcp::endpoint &p, std::size_t maxFrame)
        : socket(std::move(s)), input(maxFrame), peer(p)
    {
    }
    ~Connection(); // frees the TLS session (Tls.cpp)
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    Socket socket;
    proto::Reassembler input;
    OutputQueue output;
    tcp::endpoint peer;
    std::string key;             // empty until signed in
    std::size_t slot = 0;        // position in Impl::connections_
    std::size_t junkRun = 0;     // unframed bytes since the last frame
    std::size_t inputCharge = 0; // input capacity counted in Impl::inputBytes_
    // Fan-out token bucket (bytes) and the refused bytes that drain at half the rate.
    double tokens = 0;
    double refused = 0;
    // Signed in: when the bucket was last filled. Not signed in: since when it is
    // waiting for a sign-in.
    SteadyClock::time_point bucketTime{};
    // Notices owed: from noticeMark of the notice block numbered noticeEpoch (from
    // the start of any later one).
    std::uint32_t noticeEpoch = 0;
    std::uint32_t noticeMark = 0;
    std::uint32_t writes = 0; // writes that moved bytes: a reader is still reading
    std::int16_t room = -1;   // of its last chat line, for the operator's who
    bool signedIn = false;
    bool stale = false;        // announcements were skipped; a fresh list is owed
    bool lazy = false;         // listed for a background write
    bool closing = false;      // marked; the real close happens after the current pass
    bool dirty = false;        // listed for the next flush
    bool waitingWrite = false; // the socket is full; a writable wait is pending
    bool warnedSpoof = false;
    bool warnedUnsigned = false;
    bool waiting = false;            // counted in Impl::waitingFrom_
    bool readPaused = false;         // a destination of its frames is behind: not read meanwhile
    bool holdsSenders = false;       // listed in Impl::held_
    SteadyClock::time_point since{}; // connected at
    // TLS members only: the session, and what it waits for.
    bool handshaking = false;       // nothing is written before the handshake is done
    bool tlsWantsWrite = false;     // reading goes on once the socket takes output
    bool tlsWriteWantsRead = false; // writing goes on after the next read
    ssl_st *tls = nullptr;
};

// Senders waiting for one destination to read, and when it last moved.
struct Held {
    std::vector<std::shared_ptr<Connection>> senders;
    std::uint32_t writes = 0;
    SteadyClock::time_point moved{};
    bool stuck = false; // read nothing for kStuckAfter: its senders are not held
};

struct TlsContextFree {
    void operator()(ssl_ctx_st *ctx) const noexcept;
};

struct Server::Impl final : ClusterHost {
    Impl(asio::io_context &io, Options o)
        : io_(io), options_(std::move(o)), acceptor_(io), tlsAcceptor_(io), retryAccept_(io),
          retryTlsAccept_(io), trimTimer_(io), signInTimer_(io), readBuffer_(kReadBufferBytes),
          noticeTimer_(io), stuckTimer_(io)
    {
        for (std::size_t i = 0; i < options_.rooms.size(); ++i) {
            if (i > 0)
                roomList_.append(proto::kListSep);
            roomList_.append(options_.rooms[i]);
        }
        if (!options_.node.empty())
            nextIndex_ = firstIndex_ = options_.slot * kSlotSpan + 1;
    }

    asio::io_context &io_;
    Options options_;
    tcp::acceptor acceptor_;
    tcp::acceptor tlsAcceptor_;
    // Certificate and key for new TLS connections; open ones hold their own reference.
    std::unique_ptr<ssl_ctx_st, TlsContextFree> tlsContext_;
    std::string tlsError_;         // why the last TLS read or write failed
    std::vector<char> tlsScratch_; // small slices packed into one record
    asio::steady_timer retryAccept_;
    asio::steady_timer retryTlsAccept_;
    asio::steady_timer trimTimer_;
    bool trimArmed_ = false;
    std::size_t peakSinceTrim_ = 0; // highest metered memory since the last trim
    std::uint64_t writes_ = 0;      // write passes, to tell a quiet relay
    std::uint64_t writesAtCheck_ = 0;
    bool busySinceTrim_ = false;
    // Looks for connections past their sign-in deadline while any is waiting.
    asio::steady_timer signInTimer_;
    bool signInArmed_ = false;
    std::unique_ptr<asio::posix::stream_descriptor> operatorInput_;
    std::string operatorBuffer_;
    bool stopped_ = false;

    std::vector<char> readBuffer_; // shared by all connections: idle members hold none
    BlockPool pool_;
    std::string scratch_;

    std::vector<std::shared_ptr<Connection>> connections_;
    // Connections not signed in, per address; addresses with none are not kept.
    std::unordered_map<asio::ip::address, std::uint32_t> waitingFrom_;
    std::vector<Connection *> members_; // signed in, in sign-in order
    std::unordered_map<std::string_view, Connection *, KeyHash, std::equal_to<>> byKey_;
    std::uint64_t nextIndex_ = 1;
    std::uint64_t firstIndex_ = 1;
    std::unique_ptr<Cluster> cluster_; // none without --cluster
    // The member list frame without its end marker; grows in place on arrivals,
    // rebuilt on demand after a departure.
    Block *memberList_ = nullptr;
    Block *endMarker_ = nullptr; // shared by every member list sent
    // This window's arrival and departure notices (see Connection::noticeMark).
    Block *notices_ = nullptr;
    std::uint32_t noticeEpoch_ = 1;

    // The memory budget: input buffers here, blocks and slice arrays in pool_.
    std::size_t inputBytes_ = 0;
    Connection *scanning_ = nullptr; // whose input is being cut into frames
    std::string roomList_;

    std::vector<Connection *> dirty_;
    std::vector<std::shared_ptr<Connection>> lazy_; // waiting for a background write
    std::size_t lazyNext_ = 0;                      // next in lazy_ to write
    bool backgroundPosted_ = false;
    asio::steady_timer noticeTimer_;
    bool noticeArmed_ = false;
    std::vector<std::shared_ptr<Connection>> toClose_;
    bool flushPosted_ = false;
    BanList bans_;
    // Destinations holding senders (see kRelayHold).
    std::unordered_map<Connection *, Held> held_;
    asio::steady_timer stuckTimer_;
    bool stuckArmed_ = false;

    void Accept(tcp::acceptor &acceptor, bool tls);
    void Adopt(Socket socket, bool tls);
    // TLS (Tls.cpp): the context from the files named in the options (nullptr and
    // tlsError_ on failure), a session for a new connection, and reads and writes
    // through it with the socket's error codes (would_block, eof; others with
    // tlsError_ saying why).
    ssl_ctx_st *LoadTlsContext();
    bool StartTls(Connection &conn);
    std::size_t TlsRead(Connection &conn, std::error_code &ec);
    std::size_t TlsWrite(Connection &conn, const asio::const_buffer *bufs, std::size_t count,
                         std::error_code &ec);
    std::size_t TlsFailed(Connection &conn, int result, bool handshake, bool writing,
                          std::error_code &ec);
    void MarkDirty(Connection &conn);
    void WaitReadable(const std::shared_ptr<Connection> &conn);
    // TLS: reading goes on once the socket takes the session's output.
    void WaitWritableToRead(const std::shared_ptr<Connection> &conn);
    void OnReadable(const std::shared_ptr<Connection> &conn);
    void HandleInput(Connection &conn, std::string_view chunk);
    void Dispatch(Connection &conn, std::string_view frame);
    void Relay(Connection &conn, const proto::MessageView &m, std::string_view frame);
    void SignIn(Connection &conn, std::string_view payload);
    void Depart(Connection &conn, const char *why);
    // urgent: written in this loop pass; else in the background.
    void SendMemberList(Connection &conn, bool urgent = true);
    Block *Build(int code, std::string_view source, std::string_view payload);
    // Appends a frame to a block with room for it.
    static void AppendFrame(Block &b, int code, std::string_view source, std::string_view payload);
    static std::size_t FrameSize(int code, std::string_view source, std::string_view payload);
    void SendBuilt(Connection &conn, int code, std::string_view source, std::string_view payload,
                   bool urgent = true);
    // Every signed-in member gets the same frame, built once.
    void FanOut(int code, std::string_view source, std::string_view payload);
    void ToEveryone(int code, std::string_view payload);
    void FanOutBlock(Block *b, bool everyone);
    void MemberListAdded(std::string_view key);
    void DropMemberList();
    // The member list frame up to its first key.
    static std::size_t ListHeadSize() noexcept
    {
        return FrameSize(proto::code::UsersList, {}, {}) - proto::kEndMarker.size();
    }
    // An arrival (101) or departure (102) for every member, in this window's block.
    void AddNotice(int code, std::string_view key);
    // Queues what the member is owed of this window's notices, unless it is too far
    // behind for notices (then it owes a fresh list instead).
    void DeliverNotices(Connection &conn);
    // The member's mark moves past every notice so far (its list already holds them).
    void SkipNotices(Connection &conn);
    // Every member gets its share of the window's notices; the block is let go.
    void PublishNotices();
    std::string NextIndex();

    // What the other nodes report (see Cluster.h).
    void RemoteArrived(std::string_view key) override;
    void RemoteLeft(std::string_view key) override;
    void RemoteFanOut(std::string_view frame, bool everyone) override;
    void RemoteRelay(std::string_view frame) override;
    void RemoteUnavailable(std::string_view source, std::string_view destination) override;
    void ForEachLocalKey(const std::function<void(std::string_view)> &f) override;
    bool Admit(Connection &conn, std::size_t bytes, bool urgent = true);
    void SendShared(Connection &conn, Block *b, bool urgent = true);
    void WriteLater(Connection &conn);
    void PostBackground();
    void WriteBackground();
    void Send(Connection &conn, std::string_view bytes);
    void ScheduleFlush();
    void FlushAll();
    void ScheduleTrim();
    void TrimMemory();
    void ArmSignInTimer();
    void SignInDeadlines();
    bool TakeFanOut(Connection &conn, std::size_t bytes);
    void WarnUnsigned(Connection &conn);
    // Counts the connection among its address's waiting ones, or no longer.
    void SetWaiting(Connection &conn, bool waiting);
    // Memory metered against the budget.
    std::size_t MemoryUsed() const noexcept { return pool_.Bytes() + inputBytes_; }
    // Makes room for `bytes` more: cuts the connections holding most until the
    // budget holds (or nobody is left to cut).
    void Reserve(std::size_t bytes);
    void SyncInput(Connection &conn);
    void ResetInput(Connection &conn);
    void Write(Connection &conn);
    void WaitWritable(Connection &conn);
    void MarkClose(Connection &conn, const char *why);
    void CloseMarked();
    void Drop(Connection &conn);
    void ReadOperator();
    void OperatorLine(std::string_view raw);
    void ReadOperatorFile(int fd);

    // Operator controls and bans (Control.cpp).
    void LoadBans();
    // True when the address is banned: the connection is then closed unread.
    bool Banned(const tcp::endpoint &peer);
    // False (logged) when the name holds a reserved word and the address may not use it.
    bool MayTakeName(const Connection &conn, std::string_view name);
    // who, kick, ban, unban, bans; false for other commands. From the bus: not
    // passed on again.
    bool Control(std::string_view command, std::string_view argument, bool fromBus);
    void RemoteControl(std::string_view line) override;
    static void NoteRoom(Connection &conn, std::string_view payload);
    void Who();
    void Kick(std::string_view who);
    void Ban(std::string_view argument);
    void Unban(std::string_view argument);
    void ListBans();
    void SaveBans();

    // Member-to-member flow (Flow.cpp): a sender waits while its destination is behind.
    void Hold(Connection &sender, Connection &destination);
    void Release(Connection &destination);
    void Resume(const std::shared_ptr<Connection> &sender);
    void ArmStuckTimer();
    void CheckStuck();
};

} // namespace zestrel::server
