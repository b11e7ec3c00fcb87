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
// Arrival and departure notices wait this long for a write of their own, so a
// burst of sign-ins costs each member a few writes rather than one per sign-in.
constexpr auto kNoticeDelay = std::chrono::milliseconds(100);
// The memory budget cuts only connections holding at least this much.
constexpr std::size_t kBudgetVictimFloor = 64 * 1024;
// A member's refused fan-out bytes drain at half its rate; past two buckets' worth
// the member is cut.
constexpr double kRefusedBuckets = 2.0;

using SteadyClock = std::chrono::steady_clock;

struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept
    {
        return std::hash<std::string_view>{}(s);
    }
};

struct Connection : std::enable_shared_from_this<Connection> {
    Connection(tcp::socket s, const tcp::endpoint &p, std::size_t maxFrame)
        : socket(std::move(s)), input(maxFrame), peer(p)
    {
    }

    tcp::socket socket;
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
    SteadyClock::time_point bucketTime{};
    bool signedIn = false;
    bool stale = false;        // announcements were skipped; a fresh list is owed
    bool lazy = false;         // holds notices only; listed for the next notice write
    bool closing = false;      // marked; the real close happens after the current pass
    bool dirty = false;        // listed for the next flush
    bool waitingWrite = false; // the socket is full; a writable wait is pending
    bool warnedSpoof = false;
    bool warnedUnsigned = false;
};

struct Server::Impl final : ClusterHost {
    Impl(asio::io_context &io, Options o)
        : io_(io), options_(std::move(o)), acceptor_(io), retryAccept_(io), trimTimer_(io),
          signInTimer_(io), readBuffer_(kReadBufferBytes), noticeTimer_(io)
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
    asio::steady_timer retryAccept_;
    asio::steady_timer trimTimer_;
    bool trimArmed_ = false;
    std::size_t peakSinceTrim_ = 0; // highest metered memory since the last trim
    // Connections in order of their sign-in deadline (they all get the same time).
    asio::steady_timer signInTimer_;
    bool signInArmed_ = false;
    std::deque<std::pair<SteadyClock::time_point, std::weak_ptr<Connection>>> signInDue_;
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
    std::uint64_t firstIndex_ = 1;
    std::unique_ptr<Cluster> cluster_; // none without --cluster
    std::string memberList_;           // keys joined by ListSep, rebuilt after departures
    bool memberListStale_ = false;
    Block *memberListBlock_ = nullptr; // the 100 frame of the current list, shared

    // The memory budget: input buffers here, blocks and slice arrays in pool_.
    std::size_t inputBytes_ = 0;
    Connection *scanning_ = nullptr; // whose input is being cut into frames
    std::string roomList_;

    std::vector<Connection *> dirty_;
    std::vector<std::shared_ptr<Connection>> lazy_; // notices waiting for kNoticeDelay
    asio::steady_timer noticeTimer_;
    bool noticeArmed_ = false;
    std::vector<std::shared_ptr<Connection>> toClose_;
    bool flushPosted_ = false;

    void Accept();
    void Adopt(tcp::socket socket);
    void WaitReadable(const std::shared_ptr<Connection> &conn);
    void OnReadable(const std::shared_ptr<Connection> &conn);
    void HandleInput(Connection &conn, std::string_view chunk);
    void Dispatch(Connection &conn, std::string_view frame);
    void Relay(Connection &conn, const proto::MessageView &m, std::string_view frame);
    void SignIn(Connection &conn, std::string_view payload);
    void Depart(Connection &conn, const char *why);
    void SendMemberList(Connection &conn);
    Block *Build(int code, std::string_view source, std::string_view payload);
    void SendBuilt(Connection &conn, int code, std::string_view source, std::string_view payload);
    // Every signed-in member except `except` gets the same frame, built once.
    void FanOut(int code, std::string_view source, std::string_view payload,
                const Connection *except);
    void ToEveryone(int code, std::string_view payload);
    void FanOutBlock(Block *b, bool notice, bool everyone, const Connection *except);
    void MemberListAdded(std::string_view key);
    std::string NextIndex();

    // What the other nodes report (see Cluster.h).
    void RemoteArrived(std::string_view key) override;
    void RemoteLeft(std::string_view key) override;
    void RemoteFanOut(std::string_view frame, bool everyone) override;
    void RemoteRelay(std::string_view frame) override;
    void RemoteUnavailable(std::string_view source, std::string_view destination) override;
    void ForEachLocalKey(const std::function<void(std::string_view)> &f) override;
    bool Admit(Connection &conn, std::size_t bytes);
    void SendShared(Connection &conn, Block *b);
    // Queues a notice without asking for a write now (see kNoticeDelay).
    void SendNotice(Connection &conn, Block *b);
    void WriteNotices();
    void Send(Connection &conn, std::string_view bytes);
    void ScheduleFlush();
    void FlushAll();
    void ScheduleTrim();
    void TrimMemory();
    void ArmSignInTimer();
    void SignInDeadlines();
    bool TakeFanOut(Connection &conn, std::size_t bytes);
    void WarnUnsigned(Connection &conn);
    void InvalidateMemberList();
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
};

} // namespace zestrel::server
