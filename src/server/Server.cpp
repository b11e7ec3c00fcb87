// Accepting and reading connections, operator input and the public interface.
// See Impl.h for how the relay keeps its costs down.
#include "server/Impl.h"
#include "server/Log.h"

#include <algorithm>
#include <system_error>
#include <unistd.h>

namespace zestrel::server
{

void Server::Impl::Accept(tcp::acceptor &acceptor, bool tls)
{
    acceptor.async_accept(io_.get_executor(),
                          [this, &acceptor, tls](std::error_code ec, Socket socket) {
                              if (ec == asio::error::operation_aborted || stopped_)
                                  return;
                              if (ec) {
                                  Log("accept failed: %s", ec.message().c_str());
                                  // Out of descriptors: wait a little rather than spin.
                                  asio::steady_timer &retry = tls ? retryTlsAccept_ : retryAccept_;
                                  retry.expires_after(std::chrono::milliseconds(100));
                                  retry.async_wait([this, &acceptor, tls](std::error_code e) {
                                      if (!e && !stopped_)
                                          Accept(acceptor, tls);
                                  });
                                  return;
                              }
                              Adopt(std::move(socket), tls);
                              // Take every connection already waiting, so their sign-ins are read
                              // in the same pass and each member gets one write for all the
                              // announcements.
                              for (int i = 0; i < kAcceptsPerTurn && !stopped_; ++i) {
                                  std::error_code e;
                                  Socket next = acceptor.accept(io_.get_executor(), e);
                                  if (e)
                                      break;
                                  Adopt(std::move(next), tls);
                              }
                              Accept(acceptor, tls);
                          });
}

void Server::Impl::Adopt(Socket socket, bool tls)
{
    std::error_code ec;
    const tcp::endpoint peer = socket.remote_endpoint(ec);
    if (ec) {
        socket.close(ec);
        return;
    }
    if (Banned(peer)) {
        socket.close(ec);
        return;
    }
    // Members are limited at sign-in; here only those still to sign in count.
    const std::size_t waiting = connections_.size() - members_.size();
    if (options_.maxUnsigned != 0 && waiting >= options_.maxUnsigned) {
        LogFolded("refusals", HostText(peer), "refused %s: %zu connections not signed in yet",
                  EndpointText(peer).c_str(), waiting);
        socket.close(ec);
        return;
    }
    if (options_.maxUnsignedPerAddress != 0) {
        const auto it = waitingFrom_.find(peer.address());
        if (it != waitingFrom_.end() && it->second >= options_.maxUnsignedPerAddress) {
            LogFolded("refusals", HostText(peer),
                      "refused %s: %u connections from its address not signed in yet",
                      EndpointText(peer).c_str(), unsigned(it->second));
            socket.close(ec);
            return;
        }
    }
    socket.non_blocking(true, ec);
    socket.set_option(tcp::no_delay(true), ec);
    auto conn = std::make_shared<Connection>(std::move(socket), peer, options_.maxFrameBytes);
    // The handshake is part of the sign-in: it runs under the same deadline and
    // the same limits of connections not signed in yet.
    if (tls && !StartTls(*conn)) {
        Log("refused %s: no TLS session", EndpointText(peer).c_str());
        return;
    }
    conn->slot = connections_.size();
    connections_.push_back(conn);
    LogFolded("connects", HostText(peer), "connect %s (%zu open)", EndpointText(peer).c_str(),
              connections_.size());
    conn->since = conn->bucketTime = SteadyClock::now(); // waiting for a sign-in since
    SetWaiting(*conn, true);
    ArmSignInTimer();
    if (options_.welcome)
        Send(*conn, proto::kServerNotice);
    WaitReadable(conn);
    ScheduleFlush();
}

void Server::Impl::WaitReadable(const std::shared_ptr<Connection> &conn)
{
    conn->socket.async_wait(Socket::wait_read, [this, conn](std::error_code ec) {
        if (ec || conn->closing)
            return;
        OnReadable(conn);
    });
}

void Server::Impl::WaitWritableToRead(const std::shared_ptr<Connection> &conn)
{
    conn->socket.async_wait(Socket::wait_write, [this, conn](std::error_code ec) {
        if (ec || conn->closing)
            return;
        OnReadable(conn);
    });
}

void Server::Impl::OnReadable(const std::shared_ptr<Connection> &conn)
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
        const std::size_t n = conn->tls != nullptr
                                  ? TlsRead(*conn, ec)
                                  : conn->socket.read_some(asio::buffer(readBuffer_), ec);
        if (ec == asio::error::would_block || ec == asio::error::try_again) {
            if (conn->tlsWantsWrite)
                WaitWritableToRead(conn);
            else
                WaitReadable(conn);
            break;
        }
        if (ec) {
            MarkClose(*conn, ec == asio::error::eof ? "closed by peer"
                             : conn->tls != nullptr ? tlsError_.c_str()
                                                    : ec.message().c_str());
            break;
        }
        // A TLS client on the plain port gets its answer at once, not at the deadline.
        if (!conn->signedIn && conn->tls == nullptr && conn->input.Buffered() == 0 && n >= 3 &&
            readBuffer_[0] == 0x16 && readBuffer_[1] == 0x03) {
            MarkClose(*conn, "a TLS handshake on the plain port");
            break;
        }
        // The budget first: an unfinished frame may grow the input buffer.
        const std::size_t held = conn->input.Buffered(), cap = conn->input.Capacity();
        if (held + n > cap)
            Reserve(std::max(held + n, held > 0 ? 2 * cap : 0) - cap);
        if (conn->closing)
            break;
        HandleInput(*conn, std::string_view(readBuffer_.data(), n));
        if (conn->closing) {
            ResetInput(*conn);
            break;
        }
        SyncInput(*conn);
        if (!conn->signedIn && conn->input.Buffered() > options_.maxUnsignedInput) {
            MarkClose(*conn, "unfinished frame before sign-in over the bound");
            break;
        }
        if (conn->readPaused) // a destination is behind; read again once it catches up
            break;
        // A short read has emptied the socket: no need to ask again to hear "no more".
        // (Not so for TLS: a read returns one record, and more may wait.)
        if (n < readBuffer_.size() && conn->tls == nullptr) {
            WaitReadable(conn);
            break;
        }
    }
    ScheduleFlush();
}

void Server::Impl::HandleInput(Connection &conn, std::string_view chunk)
{
    using Kind = proto::Reassembler::Event::Kind;
    scanning_ = &conn;
    conn.input.Scan(chunk, [&](Kind kind, std::string_view frame) {
        if (kind == Kind::Overflow) {
            MarkClose(conn, "frame over the input bound");
            return false;
        }
        if (kind == Kind::Junk) {
            // Unframed bytes cost nothing to drop, but a peer that sends only
            // such bytes is not a client.
            conn.junkRun += frame.size();
            if (conn.junkRun >
                (conn.signedIn ? options_.maxFrameBytes : options_.maxUnsignedInput)) {
                MarkClose(conn, "unframed data over the input bound");
                return false;
            }
        }
        if (kind == Kind::Frame) {
            // A sign-in is tiny: before it, nothing larger is taken.
            if (!conn.signedIn && frame.size() > options_.maxUnsignedInput) {
                MarkClose(conn, "frame before sign-in over the bound");
                return false;
            }
            conn.junkRun = 0;
            Dispatch(conn, frame);
        }
        return !conn.closing;
    });
    scanning_ = nullptr;
}

void Server::Impl::ArmSignInTimer()
{
    if (signInArmed_ || connections_.size() == members_.size() || stopped_)
        return;
    signInArmed_ = true;
    // A connection is closed at most a quarter of its time (and a second) late.
    const auto every = std::clamp<SteadyClock::duration>(
        std::chrono::duration_cast<SteadyClock::duration>(
            std::chrono::duration<double>(options_.signInSeconds / 4)),
        std::chrono::milliseconds(10), std::chrono::seconds(1));
    signInTimer_.expires_after(every);
    signInTimer_.async_wait([this](std::error_code ec) {
        if (ec) // cancelled: the server may be gone, touch nothing
            return;
        signInArmed_ = false;
        SignInDeadlines();
    });
}

// Connections still not signed in at their deadline are closed. A look at every
// connection costs nothing beside its reads, and a member holds no entry of its own.
void Server::Impl::SignInDeadlines()
{
    const auto due =
        SteadyClock::now() - std::chrono::duration_cast<SteadyClock::duration>(
                                 std::chrono::duration<double>(options_.signInSeconds));
    // MarkClose leaves connections_ as it is until the next flush.
    for (const auto &conn : connections_)
        if (!conn->signedIn && !conn->closing && conn->bucketTime <= due)
            MarkClose(*conn, "no sign-in in time");
    ArmSignInTimer();
    ScheduleFlush();
}

void Server::Impl::ReadOperator()
{
    asio::async_read_until(*operatorInput_, asio::dynamic_buffer(operatorBuffer_, kMaxOperatorLine),
                           '\n', [this](std::error_code ec, std::size_t n) {
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

void Server::Impl::OperatorLine(std::string_view raw)
{
    std::string line = Trim(raw);
    const auto space = line.find(' ');
    const std::string command = line.substr(0, space);
    const std::string argument = space == std::string::npos ? "" : Trim(line.substr(space + 1));
    if (command == "broadcast") {
        Log("broadcast to %zu connections: %s", connections_.size(), Printable(argument).c_str());
        ToEveryone(proto::code::ServerBroadcast, argument);
    } else if (command == "news") {
        Log("news page for %zu connections: %s", connections_.size(), Printable(argument).c_str());
        ToEveryone(proto::code::ShowWebPage, argument);
    } else if (!Control(command, argument, false) && !command.empty()) {
        Log("unknown operator command '%s' (broadcast TEXT, news URL, who, kick NAME|KEY, ban "
            "ADDRESS[/PREFIX] [MINUTES], unban ADDRESS[/PREFIX], bans)",
            Printable(command).c_str());
    }
    ScheduleFlush();
}

// Files and /dev/null cannot be waited on; read them through at once.
void Server::Impl::ReadOperatorFile(int fd)
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

Server::Server(asio::io_context &io, Options options)
    : impl_(std::make_unique<Impl>(io, std::move(options)))
{
    LogAttach(io);
}

Server::~Server()
{
    Stop();
}

std::vector<Server::Listener> Server::Listen()
{
    Impl &d = *impl_;
    const auto bind = [&d](tcp::acceptor &acceptor, const std::string &host, std::uint16_t port) {
        std::error_code ec;
        asio::ip::address address = asio::ip::make_address(host, ec);
        if (ec) {
            tcp::resolver resolver(d.io_);
            const auto results = resolver.resolve(host, "", ec);
            if (ec || results.empty())
                throw std::system_error(ec ? ec : make_error_code(asio::error::host_not_found),
                                        "cannot resolve " + host);
            address = results.begin()->endpoint().address();
        }
        const tcp::endpoint endpoint(address, port);
        acceptor.open(endpoint.protocol());
        acceptor.set_option(tcp::acceptor::reuse_address(true));
        acceptor.bind(endpoint);
        acceptor.listen(asio::socket_base::max_listen_connections);
        acceptor.non_blocking(true); // the accept loop stops at an empty listen queue
        return acceptor.local_endpoint();
    };
    std::vector<Listener> listeners;
    if (d.options_.tls) {
        d.tlsContext_.reset(d.LoadTlsContext());
        if (!d.tlsContext_)
            throw std::system_error(std::make_error_code(std::errc::invalid_argument), d.tlsError_);
    }
    if (d.options_.plain)
        listeners.push_back({bind(d.acceptor_, d.options_.host, d.options_.port), false});
    if (d.options_.tls)
        listeners.push_back({bind(d.tlsAcceptor_, d.options_.tlsHost, d.options_.tlsPort), true});
    d.LoadBans();
    if (!d.options_.clusterUrls.empty() && !d.cluster_)
        d.cluster_ = StartCluster(d.io_, d.options_, d);
    if (d.options_.plain)
        d.Accept(d.acceptor_, false);
    if (d.options_.tls)
        d.Accept(d.tlsAcceptor_, true);
    return listeners;
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
    if (d.cluster_)
        d.cluster_->Stop();
    std::error_code ec;
    d.acceptor_.close(ec);
    d.tlsAcceptor_.close(ec);
    d.retryAccept_.cancel();
    d.retryTlsAccept_.cancel();
    d.trimTimer_.cancel();
    d.signInTimer_.cancel();
    d.noticeTimer_.cancel();
    d.stuckTimer_.cancel();
    d.held_.clear();
    d.lazy_.clear();
    d.lazyNext_ = 0;
    d.DropMemberList();
    for (Block **held : {&d.endMarker_, &d.notices_}) {
        if (*held != nullptr)
            d.pool_.Release(*held);
        *held = nullptr;
    }
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
    d.waitingFrom_.clear();
    d.dirty_.clear();
    d.toClose_.clear();
    LogDetach();
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
