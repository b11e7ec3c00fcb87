// A bare member for server tests: a QTcpSocket that sends frames and collects
// the frames it receives, with waits that end on a condition or a deadline.
#pragma once

#include "protocol/Protocol.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTest>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zestrel::test
{

class RawClient
{
  public:
    RawClient() : socket_(std::make_unique<QTcpSocket>()) { Attach(); }

    // Over TLS, trusting whatever certificate the relay shows.
    bool ConnectTls(quint16 port, int timeoutMs = 5000)
    {
        auto ssl = std::make_unique<QSslSocket>();
        ssl->setPeerVerifyMode(QSslSocket::VerifyNone);
        QSslSocket *raw = ssl.get();
        socket_ = std::move(ssl);
        Attach();
        raw->connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
        return raw->waitForEncrypted(timeoutMs);
    }

  private:
    void Attach()
    {
        QObject::connect(socket_.get(), &QTcpSocket::readyRead, [this] {
            const QByteArray data = socket_->readAll();
            raw_.append(data);
            for (auto &e : input_.Feed(data.toStdString()))
                if (e.kind == protocol::Reassembler::Event::Kind::Frame && e.parsed)
                    frames_.push_back(std::move(e));
        });
    }

  public:
    // From 127.0.0.1 unless another loopback address is given.
    bool Connect(quint16 port, const QString &from = {})
    {
        if (!from.isEmpty() && !socket_->bind(QHostAddress(from)))
            return false;
        socket_->connectToHost(QStringLiteral("127.0.0.1"), port);
        return socket_->waitForConnected(5000);
    }

    void SendRaw(const std::string &bytes)
    {
        socket_->write(bytes.data(), qint64(bytes.size()));
        socket_->flush();
    }

    void Send(int code, const std::string &source, const std::string &destination,
              const std::string &payload)
    {
        SendRaw(protocol::BuildMessage(std::to_string(code), source, destination, payload));
    }

    // Signs in and waits for the index and the member list that follows it;
    // returns the key the member now has.
    std::string SignIn(const std::string &name, const std::string &ip = "127.0.0.1")
    {
        const std::size_t seen = frames_.size();
        Send(protocol::code::SignIn, {}, {},
             ip + std::string(protocol::kFieldSep) + name + std::string(protocol::kFieldSep) +
                 "2.4.0");
        const auto m = WaitFor(protocol::code::ConnectionIndex, seen);
        if (!m)
            return {};
        index_ = m->payload;
        if (!WaitFor(protocol::code::UsersList, seen))
            return {};
        key_ = protocol::BuildUserKey(ip, name, index_);
        return key_;
    }

    // The first frame with this code at or after position `from`, waiting up to
    // the deadline for it; nothing when none came.
    std::optional<protocol::Message> WaitFor(int code, std::size_t from = 0, int timeoutMs = 5000)
    {
        std::optional<protocol::Message> found;
        (void)QTest::qWaitFor(
            [&] {
                if (const auto *m = Find(code, from))
                    found = *m;
                return found.has_value();
            },
            timeoutMs);
        return found;
    }

    const protocol::Message *Find(int code, std::size_t from = 0) const
    {
        for (std::size_t i = from; i < frames_.size(); ++i)
            if (protocol::CodeNumber(frames_[i].message.code) == code)
                return &frames_[i].message;
        return nullptr;
    }

    // How many frames with this code arrived.
    int Count(int code) const
    {
        int n = 0;
        for (const auto &e : frames_)
            n += protocol::CodeNumber(e.message.code) == code;
        return n;
    }

    bool WaitDisconnected(int timeoutMs = 5000)
    {
        return QTest::qWaitFor(
            [&] { return socket_->state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    }

    const std::vector<protocol::Reassembler::Event> &Frames() const { return frames_; }
    std::size_t Seen() const { return frames_.size(); }
    const QByteArray &Raw() const { return raw_; }
    const std::string &Key() const { return key_; }
    const std::string &Index() const { return index_; }
    QTcpSocket &Socket() { return *socket_; }

  private:
    std::unique_ptr<QTcpSocket> socket_;
    protocol::Reassembler input_;
    std::vector<protocol::Reassembler::Event> frames_;
    QByteArray raw_;
    std::string key_;
    std::string index_;
};

// A member that signs in and then never reads another byte: its socket takes at
// most 1 KiB, so what the server sends it piles up in the server. True once the
// sign-in is sent.
inline bool StartSleeper(QTcpSocket &sleeper, quint16 port, const std::string &name = "sleeper")
{
    sleeper.setReadBufferSize(1024);
    sleeper.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!sleeper.waitForConnected(5000))
        return false;
    const std::string signIn =
        protocol::BuildMessage(std::to_string(protocol::code::SignIn), {}, {},
                               "127.0.0.1" + std::string(protocol::kFieldSep) + name +
                                   std::string(protocol::kFieldSep) + "2.4.0");
    sleeper.write(signIn.data(), qint64(signIn.size()));
    return true;
}

inline std::vector<std::string> SplitList(const std::string &payload)
{
    std::vector<std::string> out;
    if (payload.empty())
        return out;
    std::size_t start = 0;
    for (;;) {
        const auto sep = payload.find(protocol::kListSep, start);
        out.push_back(payload.substr(start, sep == std::string::npos ? sep : sep - start));
        if (sep == std::string::npos)
            return out;
        start = sep + protocol::kListSep.size();
    }
}

} // namespace zestrel::test
