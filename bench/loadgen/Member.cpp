#include "Member.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstdio>

namespace loadgen
{

namespace zp = zestrel::protocol;
using asio::ip::tcp;

namespace
{
// One read buffer for every member: reads are done synchronously once the socket is
// readable, so 10,000 idle members do not each hold a buffer of their own.
char g_readBuffer[256 * 1024];

constexpr std::string_view kVersion{"2.4.0"};
} // namespace

Member::Member(asio::io_context &io, Proto proto, int id, Counters &counters)
    : socket_(io), proto_(proto), id_(id), counters_(counters), name_(IrcNick(id))
{
}

void Member::Start(const tcp::endpoint &server, const asio::ip::address_v4 &source, bool joinFanout,
                   int rcvbuf)
{
    joinFanout_ = joinFanout;
    sourceIp_ = source.to_string();
    asio::error_code ec;
    socket_.open(tcp::v4(), ec);
    if (ec)
        return Fail("socket");
    const int one = 1;
#ifdef IP_BIND_ADDRESS_NO_PORT
    // Let connect() pick the port per destination so many members can share a source.
    ::setsockopt(socket_.native_handle(), IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &one, sizeof one);
#endif
    if (rcvbuf > 0)
        ::setsockopt(socket_.native_handle(), SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    socket_.set_option(tcp::no_delay(true), ec);
    socket_.bind(tcp::endpoint(source, 0), ec);
    if (ec)
        return Fail("bind");
    socket_.async_connect(server, [this](const asio::error_code &e) {
        if (e)
            return Fail("connect");
        OnConnected();
    });
}

void Member::OnConnected()
{
    socket_.non_blocking(true);
    switch (proto_) {
    case Proto::Zestrel: {
        std::string payload = sourceIp_;
        payload.append(zp::kFieldSep).append(name_).append(zp::kFieldSep).append(kVersion);
        outq_ += zp::BuildMessage("1", "", "", payload);
        break;
    }
    case Proto::Irc:
        outq_ += "NICK " + name_ + "\r\nUSER " + name_ + " 0 * :load\r\n";
        break;
    case Proto::Mqtt:
        address_ = MqttTopic(id_);
        MqttConnect(outq_, name_);
        MqttSubscribe(outq_, 1, address_, joinFanout_ ? kMqttFanTopic : std::string_view{});
        break;
    }
    Flush();
    WaitRead();
}

void Member::WaitRead()
{
    socket_.async_wait(tcp::socket::wait_read, [this](const asio::error_code &e) {
        if (e) {
            if (!closed_)
                Fail("read");
            return;
        }
        OnReadable();
    });
}

void Member::OnReadable()
{
    if (stalled_ || closed_ || failed_)
        return;
    // Drain what is there now (bounded, so one busy member cannot starve the rest).
    for (int round = 0; round < 16; ++round) {
        asio::error_code ec;
        const std::size_t n = socket_.read_some(asio::buffer(g_readBuffer), ec);
        if (ec == asio::error::would_block)
            break;
        if (ec || n == 0) {
            readError_ = ec ? ec.message() : "closed by server";
            return Fail(readError_.c_str());
        }
        counters_.bytesIn += n;
        counters_.lastByte = Clock::now();
        if (!(discard_ && ready_))
            Consume(std::string_view(g_readBuffer, n));
        if (stalled_ || closed_ || failed_)
            return;
        if (n < sizeof g_readBuffer)
            break;
    }
    // An idle member is drained by periodic sweeps from here on (Drain): waking on every
    // sign-in announcement would cost the load generator one wake-up per member per sign-in.
    if (discard_ && ready_)
        return;
    WaitRead();
}

int Member::Probe()
{
    if (closed_ || failed_)
        return -1;
    for (int round = 0; round < 64; ++round) {
        asio::error_code ec;
        const std::size_t n = socket_.read_some(asio::buffer(g_readBuffer), ec);
        if (ec == asio::error::would_block)
            return 0;
        if (ec || n == 0)
            return -1;
    }
    return 1;
}

std::size_t Member::Drain()
{
    std::size_t total = 0;
    if (stalled_ || closed_ || failed_ || !ready_)
        return 0;
    for (int round = 0; round < 64; ++round) {
        asio::error_code ec;
        const std::size_t n = socket_.read_some(asio::buffer(g_readBuffer), ec);
        if (ec == asio::error::would_block)
            break;
        if (ec || n == 0) {
            readError_ = ec ? ec.message() : "closed by server";
            Fail(readError_.c_str());
            break;
        }
        total += n;
        counters_.bytesIn += n;
        counters_.lastByte = Clock::now();
    }
    return total;
}

void Member::Consume(std::string_view data)
{
    if (proto_ == Proto::Zestrel)
        return ConsumeZestrel(data);
    // IRC and MQTT: parse in place when nothing is left over, keep only a tail.
    if (pending_.empty()) {
        const std::size_t used = proto_ == Proto::Irc ? ConsumeIrc(data) : ConsumeMqtt(data);
        pending_.assign(data.substr(used));
    } else {
        pending_.append(data);
        const std::size_t used =
            proto_ == Proto::Irc ? ConsumeIrc(pending_) : ConsumeMqtt(pending_);
        pending_.erase(0, used);
    }
    if (pending_.size() > (16u << 20))
        Fail("unbounded input");
}

void Member::ConsumeZestrel(std::string_view data)
{
    frames_.Scan(data, [this](zp::Reassembler::Event::Kind kind, std::string_view frame) {
        if (kind == zp::Reassembler::Event::Kind::Frame)
            OnFrame(frame);
        return true;
    });
}

void Member::OnFrame(std::string_view frame)
{
    zp::MessageView m;
    if (!zp::ParseMessageView(frame, m, scratch_))
        return;
    if (m.code == "121" || m.code == "103")
        return Deliver(m.payload);
    if (m.code == "117" && !ready_) {
        address_ = zp::BuildUserKey(sourceIp_, name_, m.payload);
        MarkReady();
    }
}

std::size_t Member::ConsumeIrc(std::string_view data)
{
    std::size_t pos = 0;
    for (;;) {
        const std::size_t eol = data.find('\n', pos);
        if (eol == std::string_view::npos)
            return pos;
        std::string_view line = data.substr(pos, eol - pos);
        pos = eol + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with("PING ")) {
            outq_ += "PONG ";
            outq_.append(line.substr(5));
            outq_ += "\r\n";
            Flush();
            continue;
        }
        if (line.starts_with("ERROR")) {
            Fail("server error");
            return data.size();
        }
        // ":prefix COMMAND params"
        const std::size_t sp = line.find(' ');
        if (sp == std::string_view::npos)
            continue;
        std::string_view rest = line.substr(sp + 1);
        if (rest.starts_with("PRIVMSG ")) {
            const std::size_t colon = rest.find(" :");
            if (colon != std::string_view::npos)
                Deliver(rest.substr(colon + 2));
        } else if (!ready_ && rest.starts_with("001 ")) {
            address_ = name_;
            if (joinFanout_) {
                outq_ += "JOIN ";
                outq_.append(kIrcChannel);
                outq_ += "\r\n";
                Flush();
            } else {
                MarkReady();
            }
        } else if (!ready_ && rest.starts_with("366 ")) {
            MarkReady(); // end of the channel's names: the join is complete
        } else if (!ready_ && (rest.starts_with("433 ") || rest.starts_with("405 ") ||
                               rest.starts_with("471 "))) {
            Fail("refused by server");
            return data.size();
        }
    }
}

std::size_t Member::ConsumeMqtt(std::string_view data)
{
    std::size_t pos = 0;
    for (;;) {
        unsigned char type = 0;
        std::string_view body;
        const long n = MqttNextPacket(data.substr(pos), type, body);
        if (n == 0)
            return pos;
        if (n < 0) {
            Fail("malformed MQTT");
            return data.size();
        }
        pos += static_cast<std::size_t>(n);
        switch (type >> 4) {
        case 2: // CONNACK
            if (body.size() < 2 || body[1] != 0) {
                Fail("CONNACK refused");
                return data.size();
            }
            break;
        case 9: // SUBACK
            if (!ready_)
                MarkReady();
            break;
        case 3: { // PUBLISH
            if (body.size() < 2)
                break;
            const std::size_t topicLen =
                (static_cast<unsigned char>(body[0]) << 8) | static_cast<unsigned char>(body[1]);
            std::size_t skip = 2 + topicLen;
            if (((type >> 1) & 3) != 0)
                skip += 2; // packet id of QoS > 0
            if (skip <= body.size())
                Deliver(body.substr(skip));
            break;
        }
        default:
            break;
        }
    }
}

void Member::Deliver(std::string_view payload)
{
    ++received_;
    if (!counted_)
        return;
    ++counters_.delivered;
    if (!counters_.recording)
        return;
    std::uint64_t sent = 0;
    if (!ReadSendTime(payload, sent) || sent < counters_.recordFromNs ||
        sent >= counters_.recordUntilNs || counters_.latencies.size() >= counters_.maxSamples)
        return;
    const std::uint64_t lat = NowNs() - sent;
    counters_.latencies.push_back(
        static_cast<std::uint32_t>(std::min<std::uint64_t>(lat, 0xffffffffu)));
}

void Member::MarkReady()
{
    ready_ = true;
    if (stallWhenReady_)
        stalled_ = true;
    ++counters_.ready;
}

void Member::Fail(const char *why)
{
    if (failed_ || closed_)
        return;
    failed_ = true;
    ++counters_.failed;
    if (counters_.failed <= 5)
        std::fprintf(stderr, "member %d: %s\n", id_, why);
    asio::error_code ec;
    socket_.close(ec);
}

void Member::QueueDirect(const Member &to, std::uint64_t sentNs)
{
    switch (proto_) {
    case Proto::Zestrel: {
        std::string payload;
        AppendPayload(payload, sentNs);
        outq_ += zp::BuildMessage("121", address_, to.address_, payload);
        break;
    }
    case Proto::Irc:
        outq_ += "PRIVMSG ";
        outq_ += to.address_;
        outq_ += " :";
        AppendPayload(outq_, sentNs);
        outq_ += "\r\n";
        break;
    case Proto::Mqtt: {
        std::string payload;
        AppendPayload(payload, sentNs);
        MqttPublish(outq_, to.address_, payload);
        break;
    }
    }
}

void Member::QueueFanout(std::uint64_t sentNs)
{
    std::string payload;
    AppendPayload(payload, sentNs);
    switch (proto_) {
    case Proto::Zestrel:
        // A chat line goes to every signed-in member, the sender included.
        outq_ += zp::BuildMessage("4", address_, "127.0.0.1", payload);
        break;
    case Proto::Irc:
        outq_ += "PRIVMSG ";
        outq_.append(kIrcChannel);
        outq_ += " :";
        outq_ += payload;
        outq_ += "\r\n";
        break;
    case Proto::Mqtt:
        MqttPublish(outq_, kMqttFanTopic, payload);
        break;
    }
}

void Member::Flush()
{
    if (!writing_ && !outq_.empty() && !failed_ && !closed_)
        StartWrite();
}

void Member::StartWrite()
{
    writing_ = true;
    sending_.swap(outq_);
    asio::async_write(socket_, asio::buffer(sending_),
                      [this](const asio::error_code &e, std::size_t) {
                          writing_ = false;
                          sending_.clear();
                          if (e) {
                              if (!closed_)
                                  Fail("write");
                              return;
                          }
                          Flush();
                      });
}

void Member::Close()
{
    if (closed_)
        return;
    closed_ = true;
    asio::error_code ec;
    socket_.close(ec);
}

} // namespace loadgen
