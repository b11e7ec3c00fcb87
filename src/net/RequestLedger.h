// What this client asked other members for, so that their notices about it can be
// told apart from notices nobody asked for: "recipe not found" (901) only answers a
// recipe request (107) sent to that member, "search too generic" (900) only a search
// (7) of ours, once per member and search. Others are dropped: a member cannot fill
// the message center with notices about requests never made.
#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <functional>

namespace zestrel
{

class RequestLedger
{
  public:
    // A request is remembered this long; an answer later than that is not expected.
    static constexpr qint64 ExpiryMs = 60 * 1000;
    // Bounds on what is remembered (requests to one member, members asked).
    static constexpr qsizetype MaxPerMember = 64;
    static constexpr qsizetype MaxMembers = 1024;

    using Clock = std::function<qint64()>;
    explicit RequestLedger(Clock clock = {});

    // Every message sent passes here; only 7 and 107 are remembered.
    void NoteSent(int code, const QString &destination);
    // True (and the request is settled) when a recipe request to this member is open.
    bool TakeRecipeNotFound(const QString &source);
    // True for the first notice of each member after a recent search of ours.
    bool TakeSearchTooGeneric(const QString &source);

  private:
    void prune(qint64 now);

    Clock clock_;
    QHash<QString, QList<qint64>> recipeRequests_;
    qint64 searchAt_ = -1;
    QSet<QString> searchNoticed_;
};

} // namespace zestrel
