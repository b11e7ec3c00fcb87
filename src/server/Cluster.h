// Several relay nodes acting as one relay, joined over a NATS bus.
//
// The relay talks to the cluster only through this seam: it reports its own
// members' arrivals and departures, hands over chat, search and operator frames
// for the other nodes, and asks the cluster to carry a member-to-member frame
// whose destination is not its own. The cluster calls back (ClusterHost) with
// what the other nodes report. A relay started without --cluster has no Cluster
// and never touches NATS.
//
// Each node gives out connection indexes from its own range (slot * kSlotSpan
// + 1 ...), so keys stay unique across nodes and a key names its node.
//
// Bus subjects and payloads. Every payload starts with one header line
//     TYPE NODE INCARNATION SEQ SLOT FLAG \n
// NODE is the sender's name, INCARNATION a random number per start (a restarted
// node is a new node), SEQ the sender's directory version (one more per arrival
// or departure), SLOT its index range, FLAG 1 on a snapshot chunk that has more
// to come. The body follows the line.
//
//   subject             type  body                         meaning
//   zestrel.all         H     -                            heartbeat, every second
//   zestrel.all         A     key                          a member signed in
//   zestrel.all         D     key                          a member left
//   zestrel.all/node.N  S     keys joined by ListSep       directory snapshot chunk
//   zestrel.all/node.N  Q     -                            send me your snapshot
//   zestrel.all         B     -                            the node stops
//   zestrel.all         F     frame                        for every signed-in member
//   zestrel.all         E     frame                        for every connection
//   zestrel.all         C     operator line                kick, ban or unban everywhere
//   zestrel.node.N      R     frame, unchanged             for the member it names
//   zestrel.node.N      M     frames, each "LEN:" frame    several R gathered in one turn
//   zestrel.node.N      U     source ListSep destination   destination unknown: 902
//
// Frames for one node within one loop turn travel as one M (up to kBatchBytes);
// anything else a node sends goes out after them, so the order of all a node
// sends is kept.
//
// Directed traffic goes to one subject per node (zestrel.node.NAME), never per
// member, so members coming and going cause no subscription churn on the bus.
// A node that misses directory events (SEQ jumps, or a heartbeat shows another
// SEQ) asks for a snapshot; a node silent for kNodeSilence is taken for dead
// and its members leave.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include <asio/io_context.hpp>

namespace zestrel::server
{

struct Options;

// Indexes per node: node N gives out N*kSlotSpan+1 .. (N+1)*kSlotSpan, so the
// highest index of the highest slot still fits a signed 32-bit number.
constexpr std::uint64_t kSlotSpan = 10'000'000;
constexpr unsigned kMaxSlot = 200;
constexpr auto kHeartbeat = std::chrono::milliseconds(1000);
constexpr auto kNodeSilence = std::chrono::milliseconds(3000);

// What the cluster asks of the relay; every call comes on the relay's thread.
class ClusterHost
{
  public:
    virtual ~ClusterHost() = default;
    virtual void RemoteArrived(std::string_view key) = 0;
    virtual void RemoteLeft(std::string_view key) = 0;
    // A frame for every signed-in member, or with `everyone` every connection.
    virtual void RemoteFanOut(std::string_view frame, bool everyone) = 0;
    // A member-to-member frame for a member of this node.
    virtual void RemoteRelay(std::string_view frame) = 0;
    // The destination of a frame this node's member sent is on no node.
    virtual void RemoteUnavailable(std::string_view source, std::string_view destination) = 0;
    // An operator control (kick, ban, unban) given at another node.
    virtual void RemoteControl(std::string_view line) = 0;
    // This node's signed-in members, for a snapshot.
    virtual void ForEachLocalKey(const std::function<void(std::string_view)> &f) = 0;
};

class Cluster
{
  public:
    virtual ~Cluster() = default;
    virtual void Arrived(std::string_view key) = 0;
    virtual void Left(std::string_view key) = 0;
    virtual void FanOut(std::string_view frame, bool everyone) = 0;
    // An operator control line (kick, ban, unban) for every other node.
    virtual void Control(std::string_view line) = 0;
    // Carries the frame to the node of `destination`; false when no node has it.
    virtual bool Forward(std::string_view destination, std::string_view frame) = 0;
    // Tells the node of `source` that `destination` is on no node.
    virtual void Unavailable(std::string_view source, std::string_view destination) = 0;
    // The other nodes' members, each after `sep`.
    virtual void AppendRemoteKeys(std::string &list, std::string_view sep) const = 0;
    virtual std::size_t RemoteCount() const = 0;
    // Says goodbye to the other nodes and leaves the bus.
    virtual void Stop() = 0;
};

// Connects to the bus (retrying in the background while it is down).
std::unique_ptr<Cluster> StartCluster(asio::io_context &io, const Options &options,
                                      ClusterHost &host);

// The slot a node name ends in ("relay3" -> 3); 0 when it ends in none or is
// out of range.
unsigned SlotOfNode(std::string_view name);

} // namespace zestrel::server
