// The cluster over NATS: the connection to the bus, the directory of the other
// nodes' members, heartbeats and resynchronisation. See Cluster.h for the
// subjects, BusMessage.h for the header every bus message starts with and
// BusInbox.h for how deliveries reach the relay's thread.
#include "server/Cluster.h"
#include "protocol/Protocol.h"
#include "server/BusInbox.h"
#include "server/BusMessage.h"
#include "server/Log.h"
#include "server/Server.h"

#include <nats/nats.h>

#include <asio/post.hpp>
#include <asio/steady_timer.hpp>

#include <algorithm>
#include <random>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace zestrel::server
{

namespace proto = zestrel::protocol;

namespace
{

using Clock = std::chrono::steady_clock;

// The NATS client's own queue per subscription.
constexpr int kPendingMsgs = 1'000'000;
constexpr int kPendingBytes = 256 << 20;
constexpr std::size_t kSnapshotChunk = 256 * 1024;
// A snapshot being put together may not hold more than this.
constexpr std::size_t kMaxSnapshot = 256u << 20;
constexpr std::size_t kMaxKeyBytes = 512;
constexpr std::size_t kMaxNodes = 1000;
constexpr auto kResyncRetry = std::chrono::milliseconds(1000);
constexpr auto kCheck = std::chrono::milliseconds(250);

class NatsCluster final : public Cluster
{
  public:
    NatsCluster(asio::io_context &io, const Options &options, ClusterHost &host)
        : io_(io), options_(options), host_(host), inbox_(std::make_shared<Inbox>(io)), timer_(io)
    {
        std::random_device rd;
        incarnation_ = (std::uint64_t(rd()) << 32 | rd()) & ((std::uint64_t(1) << 53) - 1);
        ownSubject_ = std::string(kNodeSubjectPrefix) + options_.node;
        inbox_->handle = [this](const BusItem &i) { OnItem(i); };
    }

    ~NatsCluster() override { Stop(); }

    bool Start(std::string &error);

    void Arrived(std::string_view key) override
    {
        ++seq_;
        Publish(kAllSubject, 'A', key);
    }
    void Left(std::string_view key) override
    {
        ++seq_;
        Publish(kAllSubject, 'D', key);
    }
    // Members' traffic is not kept for later while the bus is away: a chat line
    // hours late helps nobody, and a frame for a member elsewhere is answered as
    // unreachable at once. Directory events are kept (their order is checked).
    bool OnBus() const
    {
        return nc_ != nullptr && natsConnection_Status(nc_) == NATS_CONN_STATUS_CONNECTED;
    }

    void FanOut(std::string_view frame, bool everyone) override
    {
        if (OnBus())
            Publish(kAllSubject, everyone ? 'E' : 'F', frame);
    }
    // Kicks and bans wait for the bus like directory events: one given while it
    // is away still reaches every node.
    void Control(std::string_view line) override { Publish(kAllSubject, 'C', line); }
    bool Forward(std::string_view destination, std::string_view frame) override
    {
        const Node *n = NodeOfKey(destination);
        if (n == nullptr || !OnBus())
            return false;
        // Gathered per node for this loop turn: one bus message instead of one per frame.
        batcher_.Add(SubjectOf(n->name), frame, sendBatch_);
        if (!batcher_.Empty() && !flushPosted_) {
            flushPosted_ = true;
            asio::post(io_, [this, alive = std::weak_ptr<int>(alive_)] {
                if (alive.expired())
                    return;
                flushPosted_ = false;
                FlushBatches();
            });
        }
        return true;
    }
    void Unavailable(std::string_view source, std::string_view destination) override
    {
        const Node *n = NodeOfKey(source);
        if (n == nullptr)
            return;
        std::string body(source);
        body.append(proto::kListSep);
        body.append(destination);
        Publish(SubjectOf(n->name), 'U', body);
    }
    void AppendRemoteKeys(std::string &list, std::string_view sep) const override
    {
        for (const auto &[name, node] : nodes_)
            for (const auto &key : node->keys) {
                list.append(sep);
                list.append(key);
            }
    }
    std::size_t RemoteCount() const override { return keyNode_.size(); }
    void Stop() override;

  private:
    struct Node {
        std::string name;
        std::uint64_t inc = 0;
        std::uint64_t seq = 0;
        unsigned slot = 0;
        bool synced = false;
        Clock::time_point lastSeen{};
        Clock::time_point askedAt{};
        std::unordered_set<std::string> keys;
        std::string pending; // snapshot chunks so far
        std::uint64_t pendingSeq = 0;
        bool pendingOpen = false;
    };

    static std::string SubjectOf(std::string_view node)
    {
        return std::string(kNodeSubjectPrefix) + std::string(node);
    }

    const Node *NodeOfKey(std::string_view key) const
    {
        if (const auto it = keyNode_.find(key); it != keyNode_.end())
            return it->second;
        // Not in the directory yet (its arrival may still be on the way): the
        // index names the node.
        std::uint64_t index = 0;
        if (!Number(std::string_view(proto::UserKeyPart(key, 2)), index))
            return nullptr;
        const std::uint64_t slot = (index - 1) / kSlotSpan;
        for (const auto &[name, node] : nodes_)
            if (node->slot == slot)
                return node.get();
        return nullptr;
    }

    void FlushBatches()
    {
        if (!batcher_.Empty())
            batcher_.Flush(sendBatch_);
    }

    // Everything this node sends leaves in the order it was sent: what is gathered goes
    // out before anything else.
    void Publish(const std::string &subject, char type, std::string_view body, bool more = false)
    {
        FlushBatches();
        Send(subject, type, body, more);
    }

    void Send(const std::string &subject, char type, std::string_view body, bool more = false)
    {
        if (nc_ == nullptr)
            return;
        out_.clear();
        AppendHeader(out_, {type, options_.node, incarnation_, seq_, options_.slot, more, {}});
        out_.append(body);
        const natsStatus s =
            natsConnection_Publish(nc_, subject.c_str(), out_.data(), int(out_.size()));
        if (s != NATS_OK) {
            // Bounded: while the bus is away the client buffers up to its limit;
            // what it refuses is mended by a snapshot after reconnecting.
            ++publishFailures_;
            LogFolded("bus", "nats", "bus refused a message of %zu bytes: %s", out_.size(),
                      natsStatus_GetText(s));
        }
    }

    void SendSnapshot(const std::string &subject)
    {
        std::string body;
        bool first = true;
        host_.ForEachLocalKey([&](std::string_view key) {
            if (body.size() + key.size() > kSnapshotChunk && !body.empty()) {
                Publish(subject, 'S', body, true);
                body.clear();
                first = true;
            }
            if (!first)
                body.append(proto::kListSep);
            body.append(key);
            first = false;
        });
        Publish(subject, 'S', body, false);
    }

    void Hello()
    {
        // Tells everyone what this node holds and asks for what they hold.
        Publish(kAllSubject, 'H', {});
        SendSnapshot(kAllSubject);
        Publish(kAllSubject, 'Q', {});
    }

    void AskSnapshot(Node &n, Clock::time_point now)
    {
        if (n.askedAt != Clock::time_point{} && now - n.askedAt < kResyncRetry)
            return;
        n.askedAt = now;
        Publish(SubjectOf(n.name), 'Q', {});
    }

    void DropNode(const std::string &name, const char *why)
    {
        const auto it = nodes_.find(name);
        if (it == nodes_.end())
            return;
        std::unique_ptr<Node> n = std::move(it->second);
        nodes_.erase(it);
        Log("node %s %s: its %zu members leave", name.c_str(), why, n->keys.size());
        for (const auto &key : n->keys)
            keyNode_.erase(std::string_view(key));
        for (const auto &key : n->keys)
            host_.RemoteLeft(key);
    }

    void AddKey(Node &n, std::string_view key)
    {
        if (key.empty() || key.size() > kMaxKeyBytes || keyNode_.count(key))
            return;
        const auto [it, fresh] = n.keys.emplace(key);
        if (!fresh)
            return;
        keyNode_.emplace(std::string_view(*it), &n);
        host_.RemoteArrived(key);
    }

    void RemoveKey(Node &n, std::string_view key)
    {
        const auto it = n.keys.find(std::string(key));
        if (it == n.keys.end())
            return;
        keyNode_.erase(std::string_view(*it));
        const std::string gone = std::move(n.keys.extract(it).value());
        host_.RemoteLeft(gone);
    }

    void ApplySnapshot(Node &n, std::string_view list)
    {
        std::unordered_set<std::string> now;
        while (!list.empty()) {
            const auto sep = list.find(proto::kListSep);
            const std::string_view key = list.substr(0, sep);
            if (!key.empty() && key.size() <= kMaxKeyBytes)
                now.emplace(key);
            if (sep == std::string_view::npos)
                break;
            list.remove_prefix(sep + proto::kListSep.size());
        }
        std::vector<std::string> gone;
        for (const auto &key : n.keys)
            if (!now.count(key))
                gone.push_back(key);
        for (const auto &key : gone)
            RemoveKey(n, key);
        for (const auto &key : now)
            if (!n.keys.count(key))
                AddKey(n, key);
    }

    void OnItem(const BusItem &item);
    void OnMessage(std::string_view data);
    void Tick();
    void ArmTimer();

    asio::io_context &io_;
    const Options &options_;
    ClusterHost &host_;
    std::shared_ptr<Inbox> inbox_;
    asio::steady_timer timer_;
    natsConnection *nc_ = nullptr;
    natsSubscription *subAll_ = nullptr;
    natsSubscription *subOwn_ = nullptr;
    std::string ownSubject_;
    std::uint64_t incarnation_ = 0;
    std::uint64_t seq_ = 0;
    std::string out_;
    FrameBatcher batcher_;
    const FrameBatcher::Send sendBatch_ = [this](const std::string &subject, char type,
                                                 std::string_view body) {
        Send(subject, type, body);
    };
    bool flushPosted_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::size_t publishFailures_ = 0;
    Clock::time_point lastBeat_{};
    bool stopped_ = false;
    std::unordered_map<std::string, std::unique_ptr<Node>> nodes_;
    std::unordered_map<std::string_view, Node *> keyNode_;
};

bool NatsCluster::Start(std::string &error)
{
    // One delivery thread for all subscriptions keeps one node's messages in order.
    natsStatus s = nats_Open(-1);
    if (s == NATS_OK)
        s = nats_SetMessageDeliveryPoolSize(1);
    natsOptions *opts = nullptr;
    if (s == NATS_OK)
        s = natsOptions_Create(&opts);
    std::vector<const char *> urls;
    for (const auto &u : options_.clusterUrls)
        urls.push_back(u.c_str());
    Inbox *closure = inbox_.get();
    const std::string clientName = "zestrel-server " + options_.node;
    if (s == NATS_OK)
        s = natsOptions_SetServers(opts, urls.data(), int(urls.size()));
    if (s == NATS_OK)
        s = natsOptions_SetName(opts, clientName.c_str());
    if (s == NATS_OK) // the operator's order: a node's nearest bus server first
        s = natsOptions_SetNoRandomize(opts, true);
    if (s == NATS_OK) // a node handles its own traffic itself
        s = natsOptions_SetNoEcho(opts, true);
    if (s == NATS_OK)
        s = natsOptions_UseGlobalMessageDelivery(opts, true);
    if (s == NATS_OK)
        s = natsOptions_SetAllowReconnect(opts, true);
    if (s == NATS_OK)
        s = natsOptions_SetMaxReconnect(opts, -1);
    if (s == NATS_OK)
        s = natsOptions_SetReconnectWait(opts, 100);
    if (s == NATS_OK)
        s = natsOptions_SetReconnectJitter(opts, 100, 100);
    if (s == NATS_OK)
        s = natsOptions_SetReconnectBufSize(opts, 8 << 20);
    if (s == NATS_OK)
        s = natsOptions_SetTimeout(opts, 2000);
    if (s == NATS_OK) // a bus server that stops answering is left within ~3 s
        s = natsOptions_SetPingInterval(opts, 1000);
    if (s == NATS_OK)
        s = natsOptions_SetMaxPingsOut(opts, 2);
    if (s == NATS_OK)
        s = natsOptions_SetMaxPendingMsgs(opts, kPendingMsgs);
    if (s == NATS_OK)
        s = natsOptions_SetErrorHandler(opts, OnNatsError, closure);
    if (s == NATS_OK)
        s = natsOptions_SetDisconnectedCB(opts, OnNatsDisconnected, closure);
    if (s == NATS_OK)
        s = natsOptions_SetReconnectedCB(opts, OnNatsReconnected, closure);
    if (s == NATS_OK) // the relay starts even while the bus is down
        s = natsOptions_SetRetryOnFailedConnect(opts, true, OnNatsConnected, closure);
    bool connectedNow = false;
    if (s == NATS_OK) {
        s = natsConnection_Connect(&nc_, opts);
        connectedNow = s == NATS_OK;
        if (s == NATS_NOT_YET_CONNECTED)
            s = NATS_OK;
    }
    natsOptions_Destroy(opts);
    if (s == NATS_OK)
        s = natsConnection_Subscribe(&subAll_, nc_, kAllSubject, OnNatsMessage, closure);
    if (s == NATS_OK)
        s = natsConnection_Subscribe(&subOwn_, nc_, ownSubject_.c_str(), OnNatsMessage, closure);
    if (s == NATS_OK)
        s = natsSubscription_SetPendingLimits(subAll_, kPendingMsgs, kPendingBytes);
    if (s == NATS_OK)
        s = natsSubscription_SetPendingLimits(subOwn_, kPendingMsgs, kPendingBytes);
    if (s != NATS_OK) {
        error = natsStatus_GetText(s);
        if (const char *last = nats_GetLastError(nullptr); last && *last)
            error = last;
        return false;
    }
    Log("node %s (indexes from %llu) joining the bus at %s", options_.node.c_str(),
        static_cast<unsigned long long>(options_.slot * kSlotSpan + 1),
        options_.clusterUrls.front().c_str());
    if (connectedNow)
        inbox_->Push(BusEvent::Connected, nullptr);
    ArmTimer();
    return true;
}

void NatsCluster::Stop()
{
    if (stopped_)
        return;
    stopped_ = true;
    timer_.cancel();
    if (nc_ != nullptr) {
        Publish(kAllSubject, 'B', {});
        natsConnection_FlushTimeout(nc_, 500);
    }
    {
        std::lock_guard lock(inbox_->mutex);
        inbox_->stopping = true;
        inbox_->handle = nullptr;
    }
    inbox_->room.notify_all();
    natsSubscription_Destroy(subAll_);
    natsSubscription_Destroy(subOwn_);
    subAll_ = subOwn_ = nullptr;
    if (nc_ != nullptr) {
        natsConnection_Close(nc_);
        natsConnection_Destroy(nc_);
        nc_ = nullptr;
    }
}

void NatsCluster::OnItem(const BusItem &item)
{
    switch (item.event) {
    case BusEvent::Message:
        OnMessage(std::string_view(natsMsg_GetData(item.msg),
                                   std::size_t(natsMsg_GetDataLength(item.msg))));
        return;
    case BusEvent::Connected:
    case BusEvent::Reconnected: {
        char url[256] = {};
        natsConnection_GetConnectedUrl(nc_, url, sizeof url);
        const std::int64_t max = natsConnection_GetMaxPayload(nc_);
        Log("node %s %s to the bus at %s", options_.node.c_str(),
            item.event == BusEvent::Connected ? "connected" : "reconnected", url);
        if (max < std::int64_t(options_.maxFrameBytes) + 256)
            Log("the bus takes messages of at most %lld bytes: frames over that between "
                "members of different nodes are lost (set max_payload to 2MB)",
                static_cast<long long>(max));
        Hello();
        return;
    }
    case BusEvent::Disconnected:
        Log("node %s lost the bus; its members are served, the bus is retried",
            options_.node.c_str());
        return;
    case BusEvent::SlowConsumer: {
        std::int64_t dropped = 0;
        natsSubscription_GetDropped(subAll_, &dropped);
        std::int64_t own = 0;
        natsSubscription_GetDropped(subOwn_, &own);
        LogFolded("bus", "nats",
                  "bus messages dropped over the pending limits (%lld so far); the directory "
                  "is mended by a snapshot",
                  static_cast<long long>(dropped + own));
        return;
    }
    }
}

void NatsCluster::OnMessage(std::string_view data)
{
    BusHeader h;
    if (!ParseHeader(data, h)) {
        LogFolded("bus", "nats", "ignored a bus message of %zu bytes that no node made",
                  data.size());
        return;
    }
    if (h.node == options_.node) {
        if (h.inc != incarnation_)
            LogFolded("bus", "nats", "another node calls itself %s: give each node its own name",
                      options_.node.c_str());
        return;
    }
    const auto now = Clock::now();
    const std::string name(h.node);
    auto it = nodes_.find(name);
    if (it != nodes_.end() && it->second->inc != h.inc) {
        DropNode(name, "restarted");
        it = nodes_.end();
    }
    if (h.type == 'B') {
        DropNode(name, "stopped");
        return;
    }
    if (it == nodes_.end()) {
        if (nodes_.size() >= kMaxNodes || h.slot == 0 || h.slot > kMaxSlot)
            return;
        for (const auto &[other, n] : nodes_)
            if (n->slot == h.slot)
                LogFolded("bus", "nats", "nodes %s and %s share index range %u: keys may clash",
                          other.c_str(), name.c_str(), h.slot);
        auto n = std::make_unique<Node>();
        n->name = name;
        n->inc = h.inc;
        n->slot = h.slot;
        it = nodes_.emplace(name, std::move(n)).first;
        Log("node %s seen on the bus", name.c_str());
    }
    Node &n = *it->second;
    n.lastSeen = now;
    switch (h.type) {
    case 'H':
        if (!n.synced || h.seq != n.seq)
            AskSnapshot(n, now);
        return;
    case 'A':
    case 'D':
        if (n.synced && h.seq == n.seq + 1) {
            n.seq = h.seq;
            if (h.type == 'A')
                AddKey(n, h.body);
            else
                RemoveKey(n, h.body);
        } else if (!n.synced || h.seq > n.seq) {
            AskSnapshot(n, now); // missed something
        }
        return;
    case 'S':
        if (!n.pendingOpen || n.pendingSeq != h.seq) {
            n.pending.clear();
            n.pendingOpen = true;
            n.pendingSeq = h.seq;
        }
        if (n.pending.size() + h.body.size() > kMaxSnapshot) {
            n.pending.clear();
            n.pendingOpen = false;
            LogFolded("bus", "nats", "snapshot of node %s over %zu bytes ignored", name.c_str(),
                      kMaxSnapshot);
            return;
        }
        if (!n.pending.empty() && !h.body.empty())
            n.pending.append(proto::kListSep);
        n.pending.append(h.body);
        if (h.more)
            return;
        n.pendingOpen = false;
        if (!n.synced || h.seq >= n.seq) {
            n.synced = true;
            n.seq = h.seq;
            n.askedAt = {};
            const std::string list = std::move(n.pending);
            n.pending.clear();
            ApplySnapshot(n, list);
        }
        n.pending.clear();
        return;
    case 'Q':
        SendSnapshot(SubjectOf(name));
        return;
    case 'F':
    case 'E':
        if (h.body.size() <= options_.maxFrameBytes + 1024)
            host_.RemoteFanOut(h.body, h.type == 'E');
        return;
    case 'C':
        if (h.body.size() <= 4096)
            host_.RemoteControl(h.body);
        return;
    case 'R':
        if (h.body.size() <= options_.maxFrameBytes)
            host_.RemoteRelay(h.body);
        return;
    case 'M': {
        // The frames gathered for this node, in the order they were sent.
        std::vector<std::string_view> frames;
        if (!SplitBatched(h.body, options_.maxFrameBytes, frames))
            LogFolded("bus", "nats", "ignored the rest of a batch from node %s", name.c_str());
        for (const std::string_view frame : frames)
            host_.RemoteRelay(frame);
        return;
    }
    case 'U': {
        const auto sep = h.body.find(proto::kListSep);
        if (sep != std::string_view::npos)
            host_.RemoteUnavailable(h.body.substr(0, sep),
                                    h.body.substr(sep + proto::kListSep.size()));
        return;
    }
    default:
        return;
    }
}

void NatsCluster::ArmTimer()
{
    if (stopped_)
        return;
    timer_.expires_after(kCheck);
    timer_.async_wait([this](std::error_code ec) {
        if (ec || stopped_)
            return;
        Tick();
        ArmTimer();
    });
}

// Heartbeats out, silent nodes dropped.
void NatsCluster::Tick()
{
    const auto now = Clock::now();
    if (now - lastBeat_ >= kHeartbeat) {
        lastBeat_ = now;
        Publish(kAllSubject, 'H', {});
    }
    std::vector<std::string> silent;
    for (const auto &[name, n] : nodes_)
        if (now - n->lastSeen > kNodeSilence)
            silent.push_back(name);
    for (const auto &name : silent)
        DropNode(name, "is silent");
}

} // namespace

std::unique_ptr<Cluster> StartCluster(asio::io_context &io, const Options &options,
                                      ClusterHost &host)
{
    auto cluster = std::make_unique<NatsCluster>(io, options, host);
    std::string error;
    if (!cluster->Start(error))
        throw std::runtime_error("cannot join the bus: " + error);
    return cluster;
}

} // namespace zestrel::server
