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

#include "protocol/protocol.h"
#include "server/Buffers.h"
#include "server/Server.h"

#include <asio.hpp>

#include <chrono>
#include <cstdint>
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

// A server with no flush for this long gives the memory of its last burst back.
constexpr auto kTrimAfterQuiet = std::chrono::seconds(1);

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
    bool Admit(Connection &conn, std::size_t bytes);
    void SendShared(Connection &conn, Block *b);
    void Send(Connection &conn, std::string_view bytes);
    void ScheduleFlush();
    void FlushAll();
    void ScheduleTrim();
    void TrimMemory();
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
