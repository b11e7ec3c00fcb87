// The relay server: accepts members, signs them in, relays their messages by
// key and fans out chat, search and notices. One io_context, one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// After the standard headers: Asio's configuration looks at what they define
// (aligned_alloc), and every file must see the same.
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>

#include "server/Control.h"

namespace zestrel::server
{

// 127.0.0.1 and ::1: the relay's own host.
std::vector<AddressRange> DefaultMasterFrom();

struct Options {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0; // 0 takes a free port
    bool plain = true;      // the plain listener above runs
    // A TLS listener beside it (or instead): members talk TLS 1.2 or newer there.
    bool tls = false;
    std::string tlsHost = "127.0.0.1";
    std::uint16_t tlsPort = 0;
    std::string tlsCert; // PEM certificate chain
    std::string tlsKey;  // PEM private key
    std::vector<std::string> rooms;
    std::size_t maxMembers = 0;     // signed-in members; 0 means no limit
    std::size_t maxUnsigned = 1024; // connections not signed in yet; 0 means no limit
    // Of those, from one address: a single host cannot take every waiting place.
    std::size_t maxUnsignedPerAddress = 64;
    double signInSeconds = 10;                      // a connection not signed in by then is closed
    bool welcome = false;                           // send the bare notice at connect
    std::size_t maxMemory = std::size_t(512) << 20; // input buffers plus queued output
    std::size_t fanoutRate = std::size_t(1) << 20;  // chat and search bytes/s per member
    std::size_t maxFrameBytes = 1024 * 1024;
    std::size_t maxUnsignedInput = 4096;    // input held before sign-in
    std::size_t maxLinePayload = 64 * 1024; // chat line or search text
    std::size_t maxOutputBytes = 8 * 1024 * 1024;
    // Several nodes joined over NATS: bus addresses, this node's name and the
    // index range its name ends in. No bus addresses: a relay on its own.
    std::vector<std::string> clusterUrls;
    std::string node;
    unsigned slot = 0;
    // Names holding a reserved word sign in only from these addresses.
    std::vector<AddressRange> masterFrom = DefaultMasterFrom();
    std::string banFile; // empty: bans last as long as the process
};

std::vector<std::string> DefaultRooms();

// Reads the command line. Returns false with a message for the user on error;
// "--help" also returns false, with the usage text.
bool ParseOptions(int argc, char **argv, Options &options, std::string &message);

class Server
{
  public:
    Server(asio::io_context &io, Options options);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    struct Listener {
        asio::ip::tcp::endpoint endpoint;
        bool tls = false;
    };
    // Binds, listens and starts accepting, the plain listener first. Throws
    // std::system_error when an address cannot be used or the certificate and key
    // cannot be loaded. Returns the real local endpoints.
    std::vector<Listener> Listen();

    // Loads the certificate and key again for the connections still to come; those
    // already open keep theirs. On failure the old ones stay and the log says why.
    bool ReloadTls();

    // Reads operator lines ("broadcast TEXT", "news URL", "who", "kick NAME|KEY",
    // "ban ADDRESS[/PREFIX] [MINUTES]", "unban ADDRESS[/PREFIX]", "bans") from a file
    // descriptor, usually standard input. End of input only ends the reading.
    void AttachOperatorInput(int fd);
    void OperatorLine(std::string_view line);

    // Closes every connection and the listener; io_context::run then returns.
    void Stop();

    std::size_t ConnectionCount() const noexcept;
    std::size_t MemberCount() const noexcept;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace zestrel::server
