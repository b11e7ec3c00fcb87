// The three wire dialects the load generator speaks: our framed protocol, IRC and
// MQTT 3.1.1. Each is reduced to the few operations the scenarios need: sign in,
// send to one member, send to everyone, and recognise what arrives.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace loadgen
{

enum class Proto { Zestrel, Irc, Mqtt };

using Clock = std::chrono::steady_clock;

inline std::uint64_t NowNs()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
            .count());
}

// A payload is the send time (steady clock, ns) as 20 digits, then filler that none
// of the dialects treats specially, up to this many bytes in all (64 unless changed).
extern std::size_t g_payloadBytes;
void AppendPayload(std::string &out, std::uint64_t sentNs);
// False when the payload does not start with a send time.
bool ReadSendTime(std::string_view payload, std::uint64_t &sentNs);

// The shared fan-out destination of IRC (channel) and MQTT (topic).
inline constexpr std::string_view kIrcChannel{"#fan"};
inline constexpr std::string_view kMqttFanTopic{"z/fan"};

std::string IrcNick(int id);
std::string MqttTopic(int id);

// MQTT packets (QoS 0 only).
void MqttConnect(std::string &out, std::string_view clientId);
void MqttSubscribe(std::string &out, std::uint16_t packetId, std::string_view topicA,
                   std::string_view topicB);
void MqttPublish(std::string &out, std::string_view topic, std::string_view payload);

// One complete MQTT packet at the start of data: its type byte and body. Returns the
// packet's whole length, 0 when more bytes are needed, or -1 on a malformed length.
long MqttNextPacket(std::string_view data, unsigned char &type, std::string_view &body);

} // namespace loadgen
