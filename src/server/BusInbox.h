// Hand-over from the NATS client's threads to the relay's thread.
//
// The NATS client runs its own threads. Everything it delivers goes through one
// bounded inbox; while the inbox is full the delivery thread waits, so a relay
// that cannot keep up makes the NATS client's own pending limits apply (their
// overflow is logged and mended by a snapshot). All subscriptions share one
// delivery thread, so messages from one node are handled in the order it sent
// them, whatever their subject.
#pragma once

#include <nats/nats.h>

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace zestrel::server
{

// Bytes of bus messages waiting for the relay's thread before delivery waits.
inline constexpr std::size_t kInboxBytes = 64u << 20;

// What the NATS client's threads hand to the relay's thread: a message, or a
// change of the connection.
enum class BusEvent { Message, Connected, Reconnected, Disconnected, SlowConsumer };
struct BusItem {
    BusEvent event;
    natsMsg *msg;
};

// Message hand-over from the NATS client's threads to the relay's thread.
struct Inbox : std::enable_shared_from_this<Inbox> {
    explicit Inbox(asio::io_context &i) : io(i) {}
    asio::io_context &io;
    std::mutex mutex;
    std::condition_variable room;
    std::vector<BusItem> items;
    std::size_t bytes = 0;
    bool posted = false;
    bool stopping = false;
    std::function<void(const BusItem &)> handle; // relay's thread only; empty once stopped

    ~Inbox()
    {
        for (const BusItem &i : items)
            natsMsg_Destroy(i.msg);
    }

    // Any thread. Messages wait while the inbox is full.
    void Push(BusEvent event, natsMsg *msg)
    {
        std::unique_lock lock(mutex);
        if (msg != nullptr)
            room.wait(lock, [&] { return stopping || bytes < kInboxBytes; });
        if (stopping) {
            lock.unlock();
            natsMsg_Destroy(msg);
            return;
        }
        items.push_back({event, msg});
        if (msg != nullptr)
            bytes += std::size_t(natsMsg_GetDataLength(msg)) + 64;
        if (posted)
            return;
        posted = true;
        asio::post(io, [self = shared_from_this()] { self->Drain(); });
    }

    // The relay's thread.
    void Drain()
    {
        std::vector<BusItem> batch;
        {
            std::lock_guard l(mutex);
            batch.swap(items);
            bytes = 0;
            posted = false;
        }
        room.notify_all();
        for (const BusItem &i : batch) {
            if (handle)
                handle(i);
            natsMsg_Destroy(i.msg);
        }
    }
};

// The NATS client's callbacks; `closure` is the Inbox.
inline void OnNatsMessage(natsConnection *, natsSubscription *, natsMsg *msg, void *closure)
{
    static_cast<Inbox *>(closure)->Push(BusEvent::Message, msg);
}
inline void OnNatsConnected(natsConnection *, void *closure)
{
    static_cast<Inbox *>(closure)->Push(BusEvent::Connected, nullptr);
}
inline void OnNatsReconnected(natsConnection *, void *closure)
{
    static_cast<Inbox *>(closure)->Push(BusEvent::Reconnected, nullptr);
}
inline void OnNatsDisconnected(natsConnection *, void *closure)
{
    static_cast<Inbox *>(closure)->Push(BusEvent::Disconnected, nullptr);
}
inline void OnNatsError(natsConnection *, natsSubscription *, natsStatus err, void *closure)
{
    // The client's pending limits overflowed: it drops messages and goes on.
    if (err == NATS_SLOW_CONSUMER)
        static_cast<Inbox *>(closure)->Push(BusEvent::SlowConsumer, nullptr);
}

} // namespace zestrel::server
