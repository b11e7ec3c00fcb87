// One encode/decode pair per message that carries structured data. Consumers
// never split payloads by hand; a decoder says what the text holds, and
// nullopt where the text is not that message at all. Nothing here trusts the
// text: any input decodes without failing.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace zestrel::wire
{

// The three separators, as texts (three control characters each).
const QString &FieldSep();
const QString &ListSep();
const QString &ArgSep();

// A member as the relay lists it (100, 101): the three pieces of its UserKey.
struct MemberKey {
    QString ip, name, index;
    QString Key() const { return ip + FieldSep() + name + FieldSep() + index; }
    bool operator==(const MemberKey &) const = default;
};
// 100 and 101: member keys joined by ListSep.
QString EncodeMembers(const QList<MemberKey> &members);
struct MemberList {
    QList<MemberKey> members;
    // Records that are not a member key (fewer than three pieces; a record with more
    // uses its first three); empty records
    // (a trailing separator) are not counted.
    int malformed = 0;
};
MemberList DecodeMembers(const QString &payload);

// 106: description FieldSep extended information.
struct Profile {
    QString description, extended;
    bool operator==(const Profile &) const = default;
};
QString EncodeProfile(const Profile &profile);
Profile DecodeProfile(const QString &payload);

// The browse requests carry the requester's ALLRECIPES flag last; a request
// without it asks for all recipes.
// 111: type ArgSep nodeKey [ArgSep flag]
struct CategoriesRequest {
    QString type, nodeKey;
    std::optional<QString> allRecipes;
    bool operator==(const CategoriesRequest &) const = default;
};
QString Encode(const CategoriesRequest &request);
std::optional<CategoriesRequest> DecodeCategoriesRequest(const QString &payload);

// 119: type ArgSep category ArgSep nodeKey [ArgSep flag]
struct LettersRequest {
    QString type, category, nodeKey;
    std::optional<QString> allRecipes;
    bool operator==(const LettersRequest &) const = default;
};
QString Encode(const LettersRequest &request);
std::optional<LettersRequest> DecodeLettersRequest(const QString &payload);

// 113: (type FieldSep category FieldSep group) ArgSep nodeKey [ArgSep flag]
struct RecipesRequest {
    QString type, category, group, nodeKey;
    std::optional<QString> allRecipes;
    bool operator==(const RecipesRequest &) const = default;
};
QString Encode(const RecipesRequest &request);
std::optional<RecipesRequest> DecodeRecipesRequest(const QString &payload);

// 110, 120 and 112: the list ArgSep the node key of the request.
struct BrowseReply {
    QString list, nodeKey;
    bool operator==(const BrowseReply &) const = default;
};
QString Encode(const BrowseReply &reply);
// The node key is what follows the last ArgSep (lists never hold one).
std::optional<BrowseReply> DecodeBrowseReply(const QString &payload);

// 107: recipe id FieldSep the requester's reference, which comes back with 105.
struct RecipeRequest {
    QString id, reference;
    bool operator==(const RecipeRequest &) const = default;
};
QString Encode(const RecipeRequest &request);
std::optional<RecipeRequest> DecodeRecipeRequest(const QString &payload);

// 7 and 108: title FieldSep ingredient [FieldSep flag [FieldSep category]].
struct SearchCriteria {
    QString title, ingredient;
    std::optional<QString> allRecipes;
    QString category;
    bool operator==(const SearchCriteria &) const = default;
};
QString Encode(const SearchCriteria &criteria);
std::optional<SearchCriteria> DecodeSearchCriteria(const QString &payload);

// 114: hits joined by ListSep, each owner key ArgSep recipe id ArgSep title.
struct SearchHit {
    QString owner, id, title;
    bool operator==(const SearchHit &) const = default;
};
QString Encode(const SearchHit &hit);
QString EncodeSearchHits(const QList<SearchHit> &hits);
QList<SearchHit> DecodeSearchHits(const QString &payload);

// 116: room names joined by ListSep (empty names are kept).
QString EncodeRoomList(const QStringList &rooms);
QStringList DecodeRoomList(const QString &payload);

// 4 and 103: sender FieldSep text FieldSep colour FieldSep room.
struct ChatLine {
    QString sender, text, colour, room;
    bool operator==(const ChatLine &) const = default;
};
QString Encode(const ChatLine &line);
std::optional<ChatLine> DecodeChatLine(const QString &payload);

} // namespace zestrel::wire
