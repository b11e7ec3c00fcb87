#include "net/RequestGate.h"

#include <QElapsedTimer>
#include <algorithm>

namespace zestrel
{

RequestGate::RequestGate(Clock clock) : clock_(std::move(clock))
{
    if (!clock_) {
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        clock_ = [started] { return started->elapsed(); };
    }
}

qint64 RequestGate::refilled(const Bucket &b, qint64 now)
{
    // A clock that went back refills nothing.
    const qint64 elapsedMs = std::max<qint64>(0, now - b.at);
    // Past a few seconds of quiet the bucket is full anyway; this keeps the product small.
    if (elapsedMs >= 1000 * Burst / PerSecond)
        return Burst * Unit;
    return std::min(Burst * Unit, b.tokens + elapsedMs * PerSecond * Unit / 1000);
}

void RequestGate::makeRoom(qint64 now)
{
    QString least;
    qint64 most = -1;
    for (auto it = buckets_.begin(); it != buckets_.end();) {
        const qint64 tokens = refilled(it.value(), now);
        if (tokens >= Burst * Unit) {
            it = buckets_.erase(it);
            continue;
        }
        if (tokens > most) {
            most = tokens;
            least = it.key();
        }
        ++it;
    }
    // Everyone still busy: the least busy member goes, never the one that floods.
    if (buckets_.size() >= MaxRequesters)
        buckets_.remove(least);
}

RequestGate::Verdict RequestGate::Admit(const QString &requester)
{
    const qint64 now = clock_();
    auto it = buckets_.find(requester);
    if (it == buckets_.end()) {
        if (buckets_.size() >= MaxRequesters)
            makeRoom(now);
        it = buckets_.insert(requester, Bucket{Burst * Unit, now});
    }
    Bucket &b = it.value();
    b.tokens = refilled(b, now);
    b.at = now;
    if (b.tokens >= Unit) {
        b.tokens -= Unit;
        return Verdict::Answer;
    }
    ++droppedTotal_;
    if (lastReport_ < 0 || now - lastReport_ >= ReportIntervalMs) {
        lastReport_ = now;
        return Verdict::DropAndReport;
    }
    return Verdict::Drop;
}

} // namespace zestrel
