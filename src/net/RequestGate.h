// Fair answering: each requesting member gets answers at a bounded rate, so one
// member sending requests as fast as the network carries them cannot starve the
// others, nor keep this client busy answering.
#pragma once

#include <QHash>
#include <QString>
#include <functional>

namespace zestrel
{

class RequestGate
{
  public:
    // A member may send `Burst` requests at once and then `PerSecond` a second.
    static constexpr qint64 PerSecond = 50;
    static constexpr qint64 Burst = 200;
    // Members tracked at once; beyond it, those who have been quiet long enough to be
    // full again are forgotten (they lose nothing by it), else the least busy one.
    static constexpr qsizetype MaxRequesters = 4096;
    // Dropped requests are told on the status line at most this often.
    static constexpr qint64 ReportIntervalMs = 1000;

    enum class Verdict {
        Answer,
        Drop,          // over the rate; already reported within the last second
        DropAndReport, // over the rate; tell the status line now
    };

    // The clock in milliseconds, monotonic; a steady clock unless a test sets one.
    using Clock = std::function<qint64()>;
    explicit RequestGate(Clock clock = {});

    Verdict Admit(const QString &requester);
    qint64 DroppedTotal() const { return droppedTotal_; }
    qsizetype Tracked() const { return buckets_.size(); }

  private:
    // Counted in thousandths of a request, so a refill of PerSecond per 1000 ms is
    // exact per millisecond.
    static constexpr qint64 Unit = 1000;
    struct Bucket {
        qint64 tokens = Burst * Unit;
        qint64 at = 0;
    };
    static qint64 refilled(const Bucket &b, qint64 now);
    void makeRoom(qint64 now);

    Clock clock_;
    QHash<QString, Bucket> buckets_;
    qint64 lastReport_ = -1;
    qint64 droppedTotal_ = 0;
};

} // namespace zestrel
