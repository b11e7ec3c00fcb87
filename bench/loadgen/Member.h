// One simulated member: a TCP connection that signs in with one of the dialects,
// sends time-stamped payloads to a peer or to everyone, and counts what it receives.
#pragma once

#include "Wire.h"

#include <asio.hpp>

#include "protocol/Protocol.h"

#include <cstdint>
#include <string>
#include <vector>

namespace loadgen
{

// Totals shared by all members of one run (the run is single-threaded).
struct Counters {
    std::uint64_t delivered = 0; // payloads received by counted members
    std::uint64_t bytesIn = 0;
    Clock::time_point lastByte{};
    int ready = 0;
    int failed = 0;
    // Latency samples (ns) of payloads sent at or after recordFromNs, while recording.
    bool recording = false;
    std::uint64_t recordFromNs = 0;
    std::uint64_t recordUntilNs = ~std::uint64_t{0};
    std::size_t maxSamples = 4'000'000;
    std::vector<std::uint32_t> latencies;
};

class Member
{
  public:
    Member(asio::io_context &io, Proto proto, int id, Counters &counters);
    Member(const Member &) = delete;
    Member &operator=(const Member &) = delete;

    // Connects from source (a loopback address) and signs in; joinFanout also joins the
    // shared channel/topic. rcvbuf > 0 shrinks the receive buffer (the stalled reader).
    void Start(const asio::ip::tcp::endpoint &server, const asio::ip::address_v4 &source,
               bool joinFanout, int rcvbuf = 0);

    // Queue one 64-byte time-stamped payload; Flush() puts queued bytes on the wire.
    void QueueDirect(const Member &to, std::uint64_t sentNs);
    void QueueFanout(std::uint64_t sentNs);
    void Flush();

    // Stops reading: the member stays connected but never drains its socket again.
    void Stall() { stalled_ = true; }
    // Stops reading as soon as the sign-in is answered (a member that never reads).
    void StallWhenReady() { stallWhenReady_ = true; }
    // After sign-in, drop incoming bytes without parsing them and stop waking on them
    // (idle members); the owner calls Drain() now and then instead.
    void SetDiscard(bool on) { discard_ = on; }
    // For a stalled member: reads and drops what is waiting. -1 when the server has
    // closed the connection, 0 when nothing is waiting, 1 when more may follow.
    int Probe();
    // Reads and drops whatever is waiting; returns the byte count.
    std::size_t Drain();
    // Whether deliveries to this member go into the shared counters.
    void SetCounted(bool on) { counted_ = on; }
    void Close();

    bool Ready() const { return ready_; }
    bool Failed() const { return failed_; }
    bool Closed() const { return closed_; }
    std::uint64_t Received() const { return received_; }
    std::size_t Queued() const { return outq_.size() + sending_.size(); }
    // How others address this member: its user key, nick or topic.
    const std::string &Address() const { return address_; }

  private:
    void OnConnected();
    void WaitRead();
    void OnReadable();
    void Consume(std::string_view data);
    void ConsumeZestrel(std::string_view data);
    std::size_t ConsumeIrc(std::string_view data);
    std::size_t ConsumeMqtt(std::string_view data);
    void OnFrame(std::string_view frame);
    void Deliver(std::string_view payload);
    void MarkReady();
    void Fail(const char *why);
    void StartWrite();

    asio::ip::tcp::socket socket_;
    Proto proto_;
    int id_;
    Counters &counters_;
    std::string name_;
    std::string sourceIp_;
    std::string address_;
    bool joinFanout_ = false;
    bool ready_ = false;
    bool failed_ = false;
    bool closed_ = false;
    bool stalled_ = false;
    bool stallWhenReady_ = false;
    bool discard_ = false;
    bool counted_ = true;
    bool writing_ = false;
    std::uint64_t received_ = 0;
    std::string outq_;
    std::string sending_;
    std::string pending_; // IRC/MQTT bytes of an unfinished line or packet
    zestrel::protocol::Reassembler frames_;
    std::string scratch_;
    std::string readError_;
};

} // namespace loadgen
