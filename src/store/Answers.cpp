#include "store/Answers.h"
#include "app/Text.h"

#include "protocol/Protocol.h"
#include "store/AnswerCatalogue.h"
#include "store/TransferText.h"
#include "wire/Payloads.h"

#include <limits>

namespace zestrel
{

namespace
{

namespace code = protocol::code;

QString Text(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString();
}

// The id filter and the private filter shared by the queries.
void AddFilters(const RecipeDatabase &db, bool allRecipes, bool privateFilter, QString &sql,
                QVariantList &values)
{
    if (!allRecipes) {
        sql += QStringLiteral(" AND id >= ?");
        values << db.app.FirstNewRecipeId.trimmed().toLongLong();
    }
    // A private recipe is never offered, also when the private-recipe rule failed at
    // start-up; only a database without the column has nothing to leave out.
    if (privateFilter && db.HasPrivateColumn())
        sql += QStringLiteral(" AND NOT private");
}

// The recipes of a category, numbered in title order (rn from 1, cnt in all), as a
// subquery; `select` and `where` pick what leaves the database, so a large category
// costs one pass there and only the rows needed here.
std::optional<QSqlQuery> GroupRows(RecipeDatabase &db, const QString &typeName,
                                   const QString &category, bool allRecipes, const QString &select,
                                   const QString &where, const QVariantList &whereValues)
{
    // Titles sort as people read them, without regard to case; the id breaks ties so the
    // groups are the same for every request. The member who numbered the groups is the
    // one asked for a group's recipes, so the numbering only has to agree with itself.
    QString sql = QStringLiteral("SELECT ") + select +
                  QStringLiteral(" FROM (SELECT id, title, ROW_NUMBER() OVER (ORDER BY title "
                                 "COLLATE NOCASE, id) AS rn, COUNT(*) OVER () AS cnt FROM RECIPE "
                                 "WHERE type = ?");
    QVariantList values{LeftChars(typeName, 1)};
    if (TrimSpaces(category) == QLatin1String("<UNCATEGORIZED>")) {
        // Every recipe the category list shows as "<UNCATEGORIZED>": missing, empty or
        // blank. (A blank text sorts below '!', which keeps the category index usable.)
        sql += QStringLiteral(
            " AND (category IS NULL OR (category < '!' AND TRIM(category, ' ') = ''))");
    } else {
        // Also matches every combination that contains the category.
        sql += QStringLiteral(" AND category LIKE '%' || ? || '%'");
        values << category;
    }
    AddFilters(db, allRecipes, true, sql, values);
    sql += QStringLiteral(") WHERE ") + where + QStringLiteral(" ORDER BY rn");
    return db.Execute(sql, values + whereValues);
}

Reply To(int replyCode, const QString &destination, const QString &payload)
{
    return Reply{replyCode, destination, payload};
}

} // namespace

// The query behind ListCategories.
static QString QueryCategories(RecipeDatabase &db, const QString &typeName, bool allRecipes);

QString ListCategories(RecipeDatabase &db, const QString &typeName, bool allRecipes)
{
    if (const CatalogueData *catalogue = db.Catalogue().Current())
        if (auto list = catalogue->ListCategories(db.app, typeName, allRecipes))
            return *list;
    // Only the type's first character and the flag make the list.
    const QString key =
        QStringLiteral("110") + QChar(allRecipes ? u'1' : u'0') + LeftChars(typeName, 1);
    if (const auto kept = db.CachedAnswer(key))
        return *kept;
    const QString list = QueryCategories(db, typeName, allRecipes);
    db.RememberAnswer(key, list);
    return list;
}

QString QueryCategories(RecipeDatabase &db, const QString &typeName, bool allRecipes)
{
    const AppState &app = db.app;
    // "Beef" and "beef" are one category (shown in the spelling that sorts first), and
    // categories sort without regard to case.
    QString sql = QStringLiteral("SELECT MIN(category) FROM RECIPE WHERE type = ?");
    QVariantList values{LeftChars(typeName, 1)};
    AddFilters(db, allRecipes, false, sql, values);
    sql +=
        QStringLiteral(" GROUP BY category COLLATE NOCASE ORDER BY MIN(category) COLLATE NOCASE");
    auto rows = db.Execute(sql, values);
    if (!rows)
        return QStringLiteral("N/A - user has no database!");
    QString list;
    bool any = false, uncategorized = false;
    while (rows->next()) {
        const QString category = Text(rows->value(0));
        const bool blank = TrimSpaces(category).isEmpty();
        // Missing, empty and blank categories are one node, browsed as one.
        if (blank && uncategorized)
            continue;
        uncategorized = uncategorized || blank;
        if (any)
            list += app.ListSep;
        list += blank ? QStringLiteral("<UNCATEGORIZED>") : category;
        any = true;
    }
    if (rows->lastError().isValid())
        return QStringLiteral("N/A - user has no database!");
    return any ? list : QStringLiteral("N/A - no new recipes");
}

QString ListLetterGroups(RecipeDatabase &db, const QString &typeName, const QString &category,
                         bool allRecipes)
{
    if (const CatalogueData *catalogue = db.Catalogue().Current())
        if (auto list = catalogue->ListLetterGroups(db.app, typeName, category, allRecipes))
            return *list;
    const AppState &app = db.app;
    // Only the first and last row of each group are needed for the labels.
    auto rows =
        GroupRows(db, typeName, category, allRecipes, QStringLiteral("rn, title"),
                  QStringLiteral("rn % %1 IN (0, 1) OR rn = cnt").arg(kRecipesPerGroup), {});
    if (!rows)
        return {};
    QString list, firstTitle, lastTitle;
    qint64 group = 0;
    auto closeGroup = [&] {
        if (!list.isEmpty())
            list += app.ListSep;
        list += LeftChars(firstTitle, kGroupLabelLength) + app.FieldSep +
                LeftChars(lastTitle, kGroupLabelLength) + app.FieldSep + QString::number(group);
    };
    while (rows->next()) {
        const qint64 rowGroup = (rows->value(0).toLongLong() - 1) / kRecipesPerGroup + 1;
        const QString title = Text(rows->value(1));
        if (rowGroup != group) {
            if (group > 0)
                closeGroup();
            group = rowGroup;
            firstTitle = title;
        }
        lastTitle = title;
    }
    if (rows->lastError().isValid())
        return {};
    if (group > 0)
        closeGroup();
    return list;
}

QString ListGroupRecipes(RecipeDatabase &db, const QString &typeName, const QString &category,
                         const QString &group, bool allRecipes)
{
    if (const CatalogueData *catalogue = db.Catalogue().Current())
        if (auto list = catalogue->ListGroupRecipes(db.app, typeName, category, group, allRecipes))
            return *list;
    const AppState &app = db.app;
    // The wanted group, or the last group when no group has that number (0, beyond the
    // last, or no number at all).
    const qint64 wanted = LeadingDigits(group);
    auto rows = GroupRows(
        db, typeName, category, allRecipes, QStringLiteral("id, title"),
        QStringLiteral("(rn - 1) / %1 = CASE WHEN ? BETWEEN 1 AND (cnt + %1 - 1) / %1 THEN ? - 1 "
                       "ELSE (cnt - 1) / %1 END")
            .arg(kRecipesPerGroup),
        {wanted, wanted});
    if (!rows)
        return {};
    QString list;
    bool any = false;
    while (rows->next()) {
        if (any)
            list += app.ListSep;
        list += Text(rows->value(0)) + app.FieldSep + Text(rows->value(1));
        any = true;
    }
    if (rows->lastError().isValid())
        return {};
    return list;
}

QString SearchRecipes(RecipeDatabase &db, const QString &title, const QString &ingredient,
                      bool allRecipes, const QString &category, qsizetype stopAfter)
{
    if (const CatalogueData *catalogue = db.Catalogue().Current())
        if (auto list = catalogue->SearchRecipes(db.app, title, ingredient, allRecipes, category,
                                                 stopAfter))
            return *list;
    const AppState &app = db.app;
    QString sql;
    QVariantList values;
    // Matching ignores case. SQLite's LIKE already compares ASCII letters without
    // regard to case (and its UPPER folds nothing else), so upper-casing both sides
    // would give the same matches at several times the cost per row.
    if (!ingredient.isEmpty()) {
        // One pass over the ingredient lines: its cost is bounded by their number.
        sql = QStringLiteral("SELECT id, title FROM RECIPE A WHERE A.id IN (SELECT B.recipe_id "
                             "FROM INGREDIENTS B WHERE B.ingredient LIKE '%' || ? || '%') ");
        values << ingredient;
    } else {
        sql = QStringLiteral("SELECT id, title FROM RECIPE A WHERE 1 ");
    }
    if (!title.isEmpty()) {
        sql += QStringLiteral("AND A.title LIKE '%' || ? || '%' ");
        values << title;
    }
    if (!category.isEmpty()) {
        sql += QStringLiteral("AND A.category LIKE '%' || ? || '%' ");
        values << category;
    }
    AddFilters(db, allRecipes, true, sql, values);
    sql += QStringLiteral(" ORDER BY title COLLATE NOCASE, id");
    if (stopAfter >= 0) {
        // Enough rows to pass stopAfter characters even if every title were empty; lets the
        // database stop early instead of listing every match.
        sql += QStringLiteral(" LIMIT ?");
        values << qint64(stopAfter / (CharCount(app.MyUserKey) + 2 * app.ArgSep.size() + 1) + 2);
    }
    auto rows = db.Execute(sql, values);
    if (!rows)
        return {};
    QString list;
    qsizetype chars = 0;
    bool any = false;
    while (rows->next()) {
        if (any)
            list += app.ListSep;
        const QString item = wire::Encode(
            wire::SearchHit{app.MyUserKey, Text(rows->value(0)), Text(rows->value(1))});
        list += item;
        chars += CharCount(item) + (any ? app.ListSep.size() : 0);
        any = true;
        if (stopAfter >= 0 && chars > stopAfter)
            break;
    }
    if (rows->lastError().isValid())
        return {};
    return list;
}

namespace
{
// The ALLRECIPES flag of a request: absent asks for all recipes; a text that is no
// truth value makes the whole request unanswerable.
std::optional<bool> AllRecipes(const std::optional<QString> &flag)
{
    return flag ? ReadTruthValue(*flag) : std::optional<bool>(true);
}
} // namespace

Replies AnswerCategories(RecipeDatabase &db, const QString &source, const QString &payload)
{
    const auto request = wire::DecodeCategoriesRequest(payload);
    if (!request)
        return {};
    const auto all = AllRecipes(request->allRecipes);
    if (!all)
        return {};
    return {To(code::CategoriesReply, source,
               wire::Encode(
                   wire::BrowseReply{ListCategories(db, request->type, *all), request->nodeKey}))};
}

Replies AnswerLetterGroups(RecipeDatabase &db, const QString &source, const QString &payload)
{
    const auto request = wire::DecodeLettersRequest(payload);
    if (!request)
        return {};
    const auto all = AllRecipes(request->allRecipes);
    if (!all)
        return {};
    return {
        To(code::LettersReply, source,
           wire::Encode(wire::BrowseReply{
               ListLetterGroups(db, request->type, request->category, *all), request->nodeKey}))};
}

Replies AnswerGroupRecipes(RecipeDatabase &db, const QString &source, const QString &payload)
{
    const auto request = wire::DecodeRecipesRequest(payload);
    if (!request)
        return {};
    const auto all = AllRecipes(request->allRecipes);
    if (!all)
        return {};
    return {To(code::RecipesReply, source,
               wire::Encode(wire::BrowseReply{
                   ListGroupRecipes(db, request->type, request->category, request->group, *all),
                   request->nodeKey}))};
}

Replies AnswerRecipe(RecipeDatabase &db, const QString &source, const QString &payload)
{
    const auto request = wire::DecodeRecipeRequest(payload);
    if (!request)
        return {};
    // Without a database there is nothing to look up: the requester learns so at once
    // instead of waiting, and a peer asking again and again shows nothing here.
    if (db.app.NoDatabase || !db.IsOpen())
        return {To(code::RecipeNotFound, source, QString())};
    bool found = false, shared = false;
    const auto text = RecipeToText(db, request->id, &found, &shared);
    if (!text)
        return {};
    const QString answer = *text + SectionSep(db.app) + request->reference;
    // A missing recipe is "not found", not a recipe with an empty header. So is a private
    // one: ids are sequential, and anyone could otherwise fetch each of them by its id.
    if (!found || !shared || answer.size() < 15)
        return {To(code::RecipeNotFound, source, QString())};
    return {To(code::RecipeReply, source, answer)};
}

Replies AnswerSearch(RecipeDatabase &db, const QString &source, const QString &payload)
{
    const AppState &app = db.app;
    if (NumericValueOf(app.Setting(QStringLiteral("ALLOWSEARCHES"))) == 0.0)
        return {};
    if (NumericValueOf(app.Setting(QStringLiteral("SELFSEARCH"))) == 0.0 && source == app.MyUserKey)
        return {};
    const auto criteria = wire::DecodeSearchCriteria(payload);
    if (!criteria)
        return {};
    const auto all = AllRecipes(criteria->allRecipes);
    if (!all)
        return {};
    QString result = SearchRecipes(db, criteria->title, criteria->ingredient, *all,
                                   criteria->category, kSearchAnswerLimit);
    Replies replies;
    const QString head = LeftChars(result, kSearchAnswerLimit);
    if (head.size() < result.size()) {
        replies << To(code::SearchTooGeneric, source, QString());
        // Keep only whole items: cut before the last ListSep wholly inside the limit.
        const qsizetype cut = head.lastIndexOf(app.ListSep);
        if (cut > 0)
            result.truncate(cut);
    }
    if (!TrimSpaces(result).isEmpty())
        replies << To(code::SearchReply, source, result);
    return replies;
}

Replies AnswerProfile(const AppState &app, const QString &source)
{
    return {To(code::ProfileReply, source,
               wire::EncodeProfile(wire::Profile{app.Setting(QStringLiteral("DESCRIPTION")),
                                                 app.Setting(QStringLiteral("EXTENDED"))}))};
}

} // namespace zestrel
