// TLS for members of the TLS listener. Asio's SSL context loads the certificate
// and key; each connection's OpenSSL session works on the socket's own
// descriptor, so the readiness waits, the shared read buffer and the output queue
// are the same as for plain members. Record buffers are given back while a member
// is idle (SSL_MODE_RELEASE_BUFFERS).
#include "server/Impl.h"
#include "server/Log.h"

#include <asio/ssl/context.hpp>
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <cerrno>
#include <cstring>

namespace zestrel::server
{

namespace
{

// The reason of the newest OpenSSL error, or a fallback.
std::string OpenSslReason(const char *fallback)
{
    const unsigned long e = ERR_peek_last_error();
    const char *reason = e != 0 ? ERR_reason_error_string(e) : nullptr;
    ERR_clear_error();
    return reason != nullptr ? reason : fallback;
}

} // namespace

Connection::~Connection()
{
    if (tls != nullptr)
        SSL_free(tls);
}

void TlsContextFree::operator()(ssl_ctx_st *ctx) const noexcept
{
    SSL_CTX_free(ctx);
}

ssl_ctx_st *Server::Impl::LoadTlsContext()
{
    try {
        asio::ssl::context context(asio::ssl::context::tls_server);
        SSL_CTX *ctx = context.native_handle();
        SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
        // A member that just closes its socket has left, not attacked; no
        // renegotiation, no compression.
        SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION |
                                     SSL_OP_NO_COMPRESSION | SSL_OP_CIPHER_SERVER_PREFERENCE);
        SSL_CTX_set_mode(ctx, SSL_MODE_RELEASE_BUFFERS | SSL_MODE_ENABLE_PARTIAL_WRITE |
                                  SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        // Whatever the socket holds is read in one go.
        SSL_CTX_set_read_ahead(ctx, 1);
        // Members come back after a lost connection: a resumed session skips the
        // costly part of the handshake.
        SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_SERVER);
        SSL_CTX_sess_set_cache_size(ctx, 4096);
        std::error_code ec;
        context.use_certificate_chain_file(options_.tlsCert, ec);
        if (ec) {
            tlsError_ = "cannot load the certificate " + options_.tlsCert + ": " +
                        OpenSslReason(ec.message().c_str());
            return nullptr;
        }
        context.use_private_key_file(options_.tlsKey, asio::ssl::context::pem, ec);
        if (ec || SSL_CTX_check_private_key(ctx) != 1) {
            tlsError_ = "cannot load the key " + options_.tlsKey + ": " +
                        OpenSslReason(ec ? ec.message().c_str() : "it does not match");
            return nullptr;
        }
        // The context outlives Asio's wrapper.
        SSL_CTX_up_ref(ctx);
        return ctx;
    } catch (const std::system_error &e) {
        tlsError_ = std::string("cannot set up TLS: ") + e.what();
        return nullptr;
    }
}

bool Server::Impl::StartTls(Connection &conn)
{
    SSL *ssl = SSL_new(tlsContext_.get());
    if (ssl == nullptr || SSL_set_fd(ssl, conn.socket.native_handle()) != 1) {
        if (ssl != nullptr)
            SSL_free(ssl);
        ERR_clear_error();
        return false;
    }
    SSL_set_accept_state(ssl);
    conn.tls = ssl;
    conn.handshaking = true;
    return true;
}

void Server::Impl::MarkDirty(Connection &conn)
{
    if (!conn.dirty && !conn.waitingWrite && !conn.output.Empty()) {
        conn.dirty = true;
        dirty_.push_back(&conn);
    }
}

std::size_t Server::Impl::TlsRead(Connection &conn, std::error_code &ec)
{
    conn.tlsWantsWrite = false;
    ERR_clear_error();
    if (conn.handshaking) {
        const int r = SSL_do_handshake(conn.tls);
        if (r != 1)
            return TlsFailed(conn, r, true, false, ec);
        conn.handshaking = false;
        MarkDirty(conn); // what was queued meanwhile (the welcome notice)
    }
    std::size_t n = 0;
    const int r = SSL_read_ex(conn.tls, readBuffer_.data(), readBuffer_.size(), &n);
    if (r != 1)
        return TlsFailed(conn, r, false, false, ec);
    if (conn.tlsWriteWantsRead) {
        conn.tlsWriteWantsRead = false;
        MarkDirty(conn);
    }
    ec = {};
    return n;
}

std::size_t Server::Impl::TlsWrite(Connection &conn, const asio::const_buffer *bufs,
                                   std::size_t count, std::error_code &ec)
{
    // One big slice goes from where it is; small ones are packed into one record,
    // so a queue of short frames costs one record and one system call. A write
    // repeated after "would block" starts at the same byte and is no shorter.
    const void *data = bufs[0].data();
    std::size_t size = std::min(bufs[0].size(), kTlsRecordBytes);
    if (count > 1 && size < kTlsRecordBytes) {
        tlsScratch_.resize(kTlsRecordBytes);
        size = 0;
        for (std::size_t i = 0; i < count && size < kTlsRecordBytes; ++i) {
            const std::size_t take = std::min(bufs[i].size(), kTlsRecordBytes - size);
            std::memcpy(tlsScratch_.data() + size, bufs[i].data(), take);
            size += take;
        }
        data = tlsScratch_.data();
    }
    conn.tlsWriteWantsRead = false;
    ERR_clear_error();
    std::size_t n = 0;
    const int r = SSL_write_ex(conn.tls, data, size, &n);
    if (r != 1)
        return TlsFailed(conn, r, false, true, ec);
    ec = {};
    return n;
}

std::size_t Server::Impl::TlsFailed(Connection &conn, int result, bool handshake, bool writing,
                                    std::error_code &ec)
{
    const int error = SSL_get_error(conn.tls, result);
    switch (error) {
    case SSL_ERROR_WANT_READ:
        // A write that needs the peer's answer first goes on after the next read.
        if (writing)
            conn.tlsWriteWantsRead = true;
        ec = asio::error::would_block;
        break;
    case SSL_ERROR_WANT_WRITE:
        conn.tlsWantsWrite = true;
        ec = asio::error::would_block;
        break;
    case SSL_ERROR_ZERO_RETURN:
        ec = asio::error::eof;
        tlsError_ = "closed by peer";
        break;
    case SSL_ERROR_SYSCALL: {
        const int e = errno;
        if (ERR_peek_last_error() == 0 && (e == 0 || e == ECONNRESET)) {
            ec = e == 0 ? std::error_code(asio::error::eof)
                        : std::error_code(asio::error::connection_reset);
            tlsError_ = ec.message();
        } else {
            ec = std::error_code(e != 0 ? e : EIO, asio::error::get_system_category());
            tlsError_ = OpenSslReason(ec.message().c_str());
        }
        break;
    }
    default:
        ec = std::make_error_code(std::errc::protocol_error);
        tlsError_ = std::string(handshake ? "TLS handshake failed: " : "TLS error: ") +
                    OpenSslReason("unknown");
        break;
    }
    ERR_clear_error();
    return 0;
}

bool Server::ReloadTls()
{
    Impl &d = *impl_;
    if (!d.options_.tls)
        return false;
    ssl_ctx_st *ctx = d.LoadTlsContext();
    if (ctx == nullptr) {
        Log("TLS reload failed, the old certificate stays: %s", d.tlsError_.c_str());
        return false;
    }
    d.tlsContext_.reset(ctx);
    Log("TLS certificate and key loaded again from %s and %s", d.options_.tlsCert.c_str(),
        d.options_.tlsKey.c_str());
    return true;
}

} // namespace zestrel::server
