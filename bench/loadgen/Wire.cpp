#include "Wire.h"

#include <cstdio>

namespace loadgen
{

std::size_t g_payloadBytes = 64;

void AppendPayload(std::string &out, std::uint64_t sentNs)
{
    char stamp[24];
    std::snprintf(stamp, sizeof stamp, "%020llu", static_cast<unsigned long long>(sentNs));
    out.append(stamp, 20);
    out.append(g_payloadBytes > 20 ? g_payloadBytes - 20 : 0, 'x');
}

bool ReadSendTime(std::string_view payload, std::uint64_t &sentNs)
{
    if (payload.size() < 20)
        return false;
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < 20; ++i) {
        const char c = payload[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    sentNs = v;
    return true;
}

std::string IrcNick(int id)
{
    std::string nick{"m"};
    nick.append(std::to_string(id));
    return nick;
}

std::string MqttTopic(int id)
{
    std::string topic{"z/"};
    topic.append(IrcNick(id));
    return topic;
}

namespace
{
void PutLength(std::string &out, std::size_t n)
{
    do {
        unsigned char b = n % 128;
        n /= 128;
        if (n > 0)
            b |= 0x80;
        out.push_back(static_cast<char>(b));
    } while (n > 0);
}

void PutString(std::string &out, std::string_view s)
{
    out.push_back(static_cast<char>((s.size() >> 8) & 0xff));
    out.push_back(static_cast<char>(s.size() & 0xff));
    out.append(s);
}
} // namespace

void MqttConnect(std::string &out, std::string_view clientId)
{
    // Protocol name, level 4, clean session, keep-alive off.
    const std::size_t body = 10 + 2 + clientId.size();
    out.push_back(static_cast<char>(0x10));
    PutLength(out, body);
    PutString(out, "MQTT");
    out.push_back(4);
    out.push_back(0x02);
    out.push_back(0);
    out.push_back(0);
    PutString(out, clientId);
}

void MqttSubscribe(std::string &out, std::uint16_t packetId, std::string_view topicA,
                   std::string_view topicB)
{
    std::size_t body = 2 + 2 + topicA.size() + 1;
    if (!topicB.empty())
        body += 2 + topicB.size() + 1;
    out.push_back(static_cast<char>(0x82));
    PutLength(out, body);
    out.push_back(static_cast<char>(packetId >> 8));
    out.push_back(static_cast<char>(packetId & 0xff));
    PutString(out, topicA);
    out.push_back(0);
    if (!topicB.empty()) {
        PutString(out, topicB);
        out.push_back(0);
    }
}

void MqttPublish(std::string &out, std::string_view topic, std::string_view payload)
{
    out.push_back(static_cast<char>(0x30));
    PutLength(out, 2 + topic.size() + payload.size());
    PutString(out, topic);
    out.append(payload);
}

long MqttNextPacket(std::string_view data, unsigned char &type, std::string_view &body)
{
    if (data.size() < 2)
        return 0;
    std::size_t len = 0;
    std::size_t mult = 1;
    std::size_t i = 1;
    for (;; ++i) {
        if (i > 4)
            return -1;
        if (i >= data.size())
            return 0;
        const auto b = static_cast<unsigned char>(data[i]);
        len += (b & 0x7f) * mult;
        mult *= 128;
        if ((b & 0x80) == 0)
            break;
    }
    const std::size_t head = i + 1;
    if (data.size() < head + len)
        return 0;
    type = static_cast<unsigned char>(data[0]);
    body = data.substr(head, len);
    return static_cast<long>(head + len);
}

} // namespace loadgen
