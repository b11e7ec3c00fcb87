#include "wire/Payloads.h"

#include "wire/Frame.h"

namespace zestrel::wire
{

namespace
{
// The optional flag: present only when the request has exactly `withFlag` parts.
std::optional<QString> FlagAt(const QStringList &parts, qsizetype withFlag)
{
    return parts.size() == withFlag ? std::optional<QString>(parts[withFlag - 1]) : std::nullopt;
}

QString WithFlag(QString text, const std::optional<QString> &flag)
{
    if (flag)
        text += ArgSep() + *flag;
    return text;
}
} // namespace

const QString &FieldSep()
{
    static const QString sep = FromWire(protocol::kFieldSep);
    return sep;
}
const QString &ListSep()
{
    static const QString sep = FromWire(protocol::kListSep);
    return sep;
}
const QString &ArgSep()
{
    static const QString sep = FromWire(protocol::kArgSep);
    return sep;
}

QString EncodeMembers(const QList<MemberKey> &members)
{
    QStringList keys;
    for (const MemberKey &m : members)
        keys << m.Key();
    return keys.join(ListSep());
}

MemberList DecodeMembers(const QString &payload)
{
    MemberList list;
    if (payload.isEmpty())
        return list;
    for (const QString &record : payload.split(ListSep())) {
        if (record.isEmpty())
            continue; // a trailing separator, not a member
        const QStringList fields = record.split(FieldSep());
        // A record with more pieces uses its first three.
        if (fields.size() < 3) {
            ++list.malformed;
            continue;
        }
        list.members.append(MemberKey{fields[0], fields[1], fields[2]});
    }
    return list;
}

QString EncodeProfile(const Profile &profile)
{
    return profile.description + FieldSep() + profile.extended;
}

Profile DecodeProfile(const QString &payload)
{
    const QStringList pieces = payload.split(FieldSep());
    return Profile{pieces.value(0), pieces.value(1)};
}

QString Encode(const CategoriesRequest &r)
{
    return WithFlag(r.type + ArgSep() + r.nodeKey, r.allRecipes);
}

std::optional<CategoriesRequest> DecodeCategoriesRequest(const QString &payload)
{
    const QStringList parts = payload.split(ArgSep());
    if (parts.size() < 2)
        return std::nullopt;
    return CategoriesRequest{parts[0], parts[1], FlagAt(parts, 3)};
}

QString Encode(const LettersRequest &r)
{
    return WithFlag(r.type + ArgSep() + r.category + ArgSep() + r.nodeKey, r.allRecipes);
}

std::optional<LettersRequest> DecodeLettersRequest(const QString &payload)
{
    const QStringList parts = payload.split(ArgSep());
    if (parts.size() < 3)
        return std::nullopt;
    return LettersRequest{parts[0], parts[1], parts[2], FlagAt(parts, 4)};
}

QString Encode(const RecipesRequest &r)
{
    return WithFlag(r.type + FieldSep() + r.category + FieldSep() + r.group + ArgSep() + r.nodeKey,
                    r.allRecipes);
}

std::optional<RecipesRequest> DecodeRecipesRequest(const QString &payload)
{
    const QStringList parts = payload.split(ArgSep());
    if (parts.size() < 2)
        return std::nullopt;
    const QStringList first = parts[0].split(FieldSep());
    if (first.size() < 3)
        return std::nullopt;
    return RecipesRequest{first[0], first[1], first[2], parts[1], FlagAt(parts, 3)};
}

QString Encode(const BrowseReply &reply)
{
    return reply.list + ArgSep() + reply.nodeKey;
}

std::optional<BrowseReply> DecodeBrowseReply(const QString &payload)
{
    const qsizetype at = payload.lastIndexOf(ArgSep());
    if (at < 0)
        return std::nullopt;
    return BrowseReply{payload.left(at), payload.mid(at + ArgSep().size())};
}

QString Encode(const RecipeRequest &r)
{
    return r.id + FieldSep() + r.reference;
}

std::optional<RecipeRequest> DecodeRecipeRequest(const QString &payload)
{
    const QStringList parts = payload.split(FieldSep());
    if (parts.size() < 2)
        return std::nullopt;
    return RecipeRequest{parts[0], parts[1]};
}

QString Encode(const SearchCriteria &c)
{
    QString text = c.title + FieldSep() + c.ingredient;
    if (c.allRecipes || !c.category.isEmpty())
        text += FieldSep() + c.allRecipes.value_or(QStringLiteral("1"));
    if (!c.category.isEmpty())
        text += FieldSep() + c.category;
    return text;
}

std::optional<SearchCriteria> DecodeSearchCriteria(const QString &payload)
{
    const QStringList parts = payload.split(FieldSep());
    if (parts.size() < 2)
        return std::nullopt;
    SearchCriteria c{parts[0], parts[1], std::nullopt, QString()};
    if (parts.size() >= 3)
        c.allRecipes = parts[2];
    if (parts.size() == 4)
        c.category = parts[3];
    return c;
}

QString Encode(const SearchHit &hit)
{
    return hit.owner + ArgSep() + hit.id + ArgSep() + hit.title;
}

QString EncodeSearchHits(const QList<SearchHit> &hits)
{
    QStringList items;
    for (const SearchHit &h : hits)
        items << Encode(h);
    return items.join(ListSep());
}

QList<SearchHit> DecodeSearchHits(const QString &payload)
{
    QList<SearchHit> hits;
    if (payload.isEmpty())
        return hits;
    for (const QString &item : payload.split(ListSep())) {
        const QStringList f = item.split(ArgSep());
        hits.append(SearchHit{f.value(0), f.value(1), f.value(2)});
    }
    return hits;
}

QString EncodeRoomList(const QStringList &rooms)
{
    return rooms.join(ListSep());
}

QStringList DecodeRoomList(const QString &payload)
{
    return payload.split(ListSep());
}

QString Encode(const ChatLine &line)
{
    return line.sender + FieldSep() + line.text + FieldSep() + line.colour + FieldSep() + line.room;
}

std::optional<ChatLine> DecodeChatLine(const QString &payload)
{
    const QStringList f = payload.split(FieldSep());
    if (f.size() < 4)
        return std::nullopt;
    return ChatLine{f[0], f[1], f[2], f[3]};
}

} // namespace zestrel::wire
