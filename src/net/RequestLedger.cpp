#include "net/RequestLedger.h"

#include "protocol/Protocol.h"

#include <QElapsedTimer>
#include <memory>

namespace zestrel
{

RequestLedger::RequestLedger(Clock clock) : clock_(std::move(clock))
{
    if (!clock_) {
        auto started = std::make_shared<QElapsedTimer>();
        started->start();
        clock_ = [started] { return started->elapsed(); };
    }
}

void RequestLedger::prune(qint64 now)
{
    for (auto it = recipeRequests_.begin(); it != recipeRequests_.end();) {
        QList<qint64> &times = it.value();
        while (!times.isEmpty() && now - times.first() > ExpiryMs)
            times.removeFirst();
        if (times.isEmpty())
            it = recipeRequests_.erase(it);
        else
            ++it;
    }
}

void RequestLedger::NoteSent(int code, const QString &destination)
{
    const qint64 now = clock_();
    if (code == protocol::code::Search) {
        searchAt_ = now;
        searchNoticed_.clear();
        return;
    }
    if (code != protocol::code::RecipeRequest)
        return;
    if (!recipeRequests_.contains(destination) && recipeRequests_.size() >= MaxMembers) {
        prune(now);
        if (recipeRequests_.size() >= MaxMembers)
            return; // asking that many members at once; their notices are not needed
    }
    QList<qint64> &times = recipeRequests_[destination];
    if (times.size() >= MaxPerMember)
        times.removeFirst();
    times.append(now);
}

bool RequestLedger::TakeRecipeNotFound(const QString &source)
{
    const qint64 now = clock_();
    const auto it = recipeRequests_.find(source);
    if (it == recipeRequests_.end())
        return false;
    QList<qint64> &times = it.value();
    while (!times.isEmpty() && now - times.first() > ExpiryMs)
        times.removeFirst();
    const bool open = !times.isEmpty();
    if (open)
        times.removeFirst();
    if (times.isEmpty())
        recipeRequests_.erase(it);
    return open;
}

bool RequestLedger::TakeSearchTooGeneric(const QString &source)
{
    if (searchAt_ < 0 || clock_() - searchAt_ > ExpiryMs)
        return false;
    // One notice per member and search; members are few compared with this bound.
    if (searchNoticed_.contains(source) || searchNoticed_.size() >= MaxMembers)
        return false;
    searchNoticed_.insert(source);
    return true;
}

} // namespace zestrel
