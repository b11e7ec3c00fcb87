#include "store/AnswerCatalogue.h"
#include "app/Text.h"

#include "store/Answers.h"
#include "store/RecipeDatabase.h"
#include "wire/Payloads.h"

#include <QAtomicInteger>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringView>
#include <QVariant>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

namespace zestrel
{

namespace
{

// The text SQLite's LIKE sees, upper-cased the way LIKE ignores case: as UTF-8, up to a
// NUL character (LIKE stops there), ASCII letters only.
std::string Fold(const QString &text)
{
    QByteArray utf8 = text.toUtf8();
    if (const qsizetype nul = utf8.indexOf('\0'); nul >= 0)
        utf8.truncate(nul);
    std::string folded(utf8.constData(), size_t(utf8.size()));
    for (char &c : folded)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return folded;
}

// A search text that matches as a plain substring under LIKE '%' || text || '%':
// no wildcard, no NUL, and far below SQLite's limit on the length of a pattern (longer
// patterns make the query fail, and the database's failure is the answer then).
bool Plain(const QString &text)
{
    return text.size() <= 10000 && !text.contains(QLatin1Char('%')) &&
           !text.contains(QLatin1Char('_')) && !text.contains(QChar(u'\0')) &&
           QStringView(text).isValidUtf16();
}

bool Contains(const std::string &text, const std::string &part)
{
    return part.empty() || text.find(part) != std::string::npos;
}

bool IsText(const QVariant &v)
{
    return v.isNull() || v.typeId() == QMetaType::QString;
}

bool IsWholeNumber(const QVariant &v)
{
    return !v.isNull() && (v.typeId() == QMetaType::LongLong || v.typeId() == QMetaType::Int);
}

qint64 FirstNew(const AppState &app)
{
    return app.FirstNewRecipeId.trimmed().toLongLong();
}

bool Cancelled(const std::atomic<bool> *cancel)
{
    return cancel && cancel->load(std::memory_order_relaxed);
}

} // namespace

std::shared_ptr<CatalogueData> CatalogueData::Build(const QString &connection, bool privateColumn,
                                                    const std::atomic<bool> *cancel)
{
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    if (!db.isOpen())
        return {};
    // One read transaction gives one consistent picture; inside a transaction the
    // connection already has one.
    const bool transaction = db.transaction();
    auto data = std::make_shared<CatalogueData>();
    bool ok = [&] {
        QSqlQuery q(db);
        q.setForwardOnly(true);
        // A collation declared in the schema would change what "=" and MIN() mean.
        if (!q.exec(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND "
                                   "name = 'RECIPE' COLLATE NOCASE")) ||
            !q.next() ||
            q.value(0).toString().contains(QLatin1String("COLLATE"), Qt::CaseInsensitive))
            return false;
        q.finish();

        // The categories in the order the category list uses: without regard to case
        // (one group each), then as stored.
        QHash<QString, int> categoryIndex;
        int nullCategory = -1;
        if (!q.exec(QStringLiteral(
                "SELECT category, DENSE_RANK() OVER (ORDER BY category COLLATE NOCASE) FROM "
                "(SELECT DISTINCT category FROM RECIPE) ORDER BY category COLLATE NOCASE, "
                "category")))
            return false;
        while (q.next()) {
            const QVariant v = q.value(0);
            if (!IsText(v))
                return false;
            Category c;
            c.null = v.isNull();
            c.text = c.null ? QString() : v.toString();
            c.blank = TrimSpaces(c.text).isEmpty();
            c.group = q.value(1).toInt();
            c.rank = int(data->categories.size());
            c.folded = Fold(c.text);
            if (c.null)
                nullCategory = c.rank;
            else
                categoryIndex.insert(c.text, c.rank);
            data->categories.push_back(std::move(c));
        }
        q.finish();

        // The recipes in answer order.
        const QString offered =
            privateColumn ? QStringLiteral("COALESCE(NOT private, 0)") : QStringLiteral("1");
        if (!q.exec(QStringLiteral("SELECT id, type, title, category, ") + offered +
                    QStringLiteral(" FROM RECIPE ORDER BY title COLLATE NOCASE, id")))
            return false;
        QHash<QString, QHash<int, size_t>> typeSlots;
        QHash<qint64, int> row;
        while (q.next()) {
            if (Cancelled(cancel))
                return false;
            const QVariant id = q.value(0), type = q.value(1), title = q.value(2),
                           category = q.value(3);
            if (!IsWholeNumber(id) || !IsText(type) || !IsText(title) || !IsText(category))
                return false;
            const int r = int(data->ids.size());
            const int c =
                category.isNull() ? nullCategory : categoryIndex.value(category.toString(), -1);
            if (c < 0)
                return false;
            data->ids.push_back(id.toLongLong());
            data->titles.push_back(title.isNull() ? QString() : title.toString());
            data->titleNull.push_back(title.isNull());
            data->shared.push_back(q.value(4).toLongLong() != 0);
            data->categoryOf.push_back(c);
            data->titleAt.push_back(std::uint32_t(data->foldedTitles.size()));
            if (!title.isNull())
                data->foldedTitles += Fold(data->titles.back());
            row.insert(data->ids.back(), r);
            if (type.isNull())
                continue; // "type = ?" never matches it
            const QString typeKey = type.toString();
            auto &places = typeSlots[typeKey];
            auto &list = data->types[typeKey];
            auto slot = places.constFind(c);
            if (slot == places.cend()) {
                slot = places.insert(c, list.size());
                list.push_back(TypeCategory{c, std::numeric_limits<qint64>::min(), {}});
            }
            TypeCategory &tc = list[*slot];
            tc.maxId = std::max(tc.maxId, data->ids.back());
            if (data->shared.back())
                tc.offered.push_back(r);
        }
        q.finish();
        data->titleAt.push_back(std::uint32_t(data->foldedTitles.size()));
        for (auto &list : data->types)
            std::sort(list.begin(), list.end(), [](const TypeCategory &a, const TypeCategory &b) {
                return a.category < b.category;
            });

        // Each recipe's ingredient lines, each after a NUL, so that a search text (which
        // has no NUL) never matches across two lines.
        std::vector<std::string> lines(data->ids.size());
        if (!q.exec(QStringLiteral("SELECT recipe_id, ingredient FROM INGREDIENTS")))
            return false;
        while (q.next()) {
            if (Cancelled(cancel))
                return false;
            const QVariant id = q.value(0), ingredient = q.value(1);
            if (id.isNull() || ingredient.isNull())
                continue; // matches no recipe
            if (!IsWholeNumber(id) || !IsText(ingredient))
                return false;
            const auto r = row.constFind(id.toLongLong());
            if (r == row.cend())
                continue;
            std::string &text = lines[size_t(*r)];
            text += '\0';
            text += Fold(ingredient.toString());
        }
        q.finish();
        size_t total = 0;
        for (const std::string &text : lines)
            total += text.size();
        if (total >= std::numeric_limits<std::uint32_t>::max() ||
            data->foldedTitles.size() >= std::numeric_limits<std::uint32_t>::max())
            return false;
        data->ingredients.reserve(total);
        for (std::string &text : lines) {
            data->ingredientAt.push_back(std::uint32_t(data->ingredients.size()));
            data->ingredients += text;
            std::string().swap(text);
        }
        data->ingredientAt.push_back(std::uint32_t(data->ingredients.size()));
        return true;
    }();
    if (transaction)
        db.commit();
    if (!ok)
        return {};
    return data;
}

std::optional<QString> CatalogueData::ListCategories(const AppState &app, const QString &typeName,
                                                     bool allRecipes) const
{
    const QString typeKey = LeftChars(typeName, 1);
    if (typeKey.isEmpty())
        return std::nullopt;
    const qint64 firstNew = FirstNew(app);
    const QString key = QChar(allRecipes ? u'1' : u'0') + typeKey +
                        (allRecipes ? QString() : QString::number(firstNew));
    if (const auto kept = categoryLists_.constFind(key); kept != categoryLists_.cend())
        return *kept;
    QString list;
    bool any = false, uncategorized = false;
    int lastGroup = -1;
    for (const TypeCategory &tc : types.value(typeKey)) {
        if (!allRecipes && tc.maxId < firstNew)
            continue;
        const Category &c = categories[size_t(tc.category)];
        // One entry per group: the spelling that sorts first.
        if (c.group == lastGroup)
            continue;
        lastGroup = c.group;
        if (c.blank && uncategorized)
            continue;
        uncategorized = uncategorized || c.blank;
        if (any)
            list += app.ListSep;
        list += c.blank ? QStringLiteral("<UNCATEGORIZED>") : c.text;
        any = true;
    }
    if (!any)
        list = QStringLiteral("N/A - no new recipes");
    // Few keys: two flags per type.
    if (categoryLists_.size() < 64)
        categoryLists_.insert(key, list);
    return list;
}

std::vector<int> CatalogueData::Rows(const QString &typeKey, const QString &category,
                                     bool allRecipes, qint64 firstNew) const
{
    const auto type = types.constFind(typeKey);
    if (type == types.cend() || category.isNull())
        return {};
    const bool uncategorized = TrimSpaces(category) == QLatin1String("<UNCATEGORIZED>");
    const std::string part = uncategorized ? std::string() : Fold(category);
    std::vector<int> rows;
    int lists = 0;
    for (const TypeCategory &tc : *type) {
        const Category &c = categories[size_t(tc.category)];
        // Missing, empty and blank categories are "<UNCATEGORIZED>"; any other text
        // also matches every combination that contains it.
        if (uncategorized ? !c.blank : (c.null || !Contains(c.folded, part)))
            continue;
        for (int r : tc.offered)
            if (allRecipes || ids[size_t(r)] >= firstNew)
                rows.push_back(r);
        ++lists;
    }
    if (lists > 1)
        std::sort(rows.begin(), rows.end());
    return rows;
}

std::optional<QString> CatalogueData::ListLetterGroups(const AppState &app, const QString &typeName,
                                                       const QString &category,
                                                       bool allRecipes) const
{
    const QString typeKey = LeftChars(typeName, 1);
    if (typeKey.isEmpty() ||
        (TrimSpaces(category) != QLatin1String("<UNCATEGORIZED>") && !Plain(category)))
        return std::nullopt;
    const std::vector<int> rows = Rows(typeKey, category, allRecipes, FirstNew(app));
    QString list;
    const size_t n = rows.size();
    for (size_t first = 0, group = 1; first < n; first += kRecipesPerGroup, ++group) {
        const size_t last = std::min(n, first + kRecipesPerGroup) - 1;
        if (!list.isEmpty())
            list += app.ListSep;
        list += LeftChars(titles[size_t(rows[first])], kGroupLabelLength) + app.FieldSep +
                LeftChars(titles[size_t(rows[last])], kGroupLabelLength) + app.FieldSep +
                QString::number(group);
    }
    return list;
}

std::optional<QString> CatalogueData::ListGroupRecipes(const AppState &app, const QString &typeName,
                                                       const QString &category,
                                                       const QString &group, bool allRecipes) const
{
    const QString typeKey = LeftChars(typeName, 1);
    if (typeKey.isEmpty() ||
        (TrimSpaces(category) != QLatin1String("<UNCATEGORIZED>") && !Plain(category)))
        return std::nullopt;
    const std::vector<int> rows = Rows(typeKey, category, allRecipes, FirstNew(app));
    if (rows.empty())
        return QString();
    // The wanted group, or the last one when no group has that number.
    const qint64 groups = (qint64(rows.size()) + kRecipesPerGroup - 1) / kRecipesPerGroup;
    const qint64 wanted = LeadingDigits(group);
    const qint64 index = (wanted >= 1 && wanted <= groups) ? wanted - 1 : groups - 1;
    QString list;
    const size_t first = size_t(index) * kRecipesPerGroup;
    const size_t end = std::min(rows.size(), first + kRecipesPerGroup);
    for (size_t i = first; i < end; ++i) {
        if (i > first)
            list += app.ListSep;
        const size_t r = size_t(rows[i]);
        list += QString::number(ids[r]) + app.FieldSep + titles[r];
    }
    return list;
}

std::optional<QString> CatalogueData::SearchRecipes(const AppState &app, const QString &title,
                                                    const QString &ingredient, bool allRecipes,
                                                    const QString &category,
                                                    qsizetype stopAfter) const
{
    if ((!title.isEmpty() && !Plain(title)) || (!ingredient.isEmpty() && !Plain(ingredient)) ||
        (!category.isEmpty() && !Plain(category)))
        return std::nullopt;
    const std::string titlePart = Fold(title), ingredientPart = Fold(ingredient),
                      categoryPart = Fold(category);
    const qint64 firstNew = FirstNew(app);
    const qint64 rowLimit =
        stopAfter >= 0
            ? qint64(stopAfter / (CharCount(app.MyUserKey) + 2 * app.ArgSep.size() + 1) + 2)
            : -1;
    auto matches = [&](size_t r) {
        if (!shared[r] || (!allRecipes && ids[r] < firstNew))
            return false;
        if (!title.isEmpty()) {
            if (titleNull[r])
                return false;
            const std::string_view text(foldedTitles.data() + titleAt[r],
                                        titleAt[r + 1] - titleAt[r]);
            if (text.find(titlePart) == std::string_view::npos)
                return false;
        }
        if (!category.isEmpty()) {
            const Category &c = categories[size_t(categoryOf[r])];
            if (c.null || !Contains(c.folded, categoryPart))
                return false;
        }
        return true;
    };
    QString list;
    qsizetype chars = 0;
    qint64 count = 0;
    bool any = false;
    // False once the answer is long enough.
    auto add = [&](size_t r) {
        if (any)
            list += app.ListSep;
        const QString item =
            wire::Encode(wire::SearchHit{app.MyUserKey, QString::number(ids[r]), titles[r]});
        list += item;
        chars += CharCount(item) + (any ? app.ListSep.size() : 0);
        any = true;
        ++count;
        return !((stopAfter >= 0 && chars > stopAfter) || (rowLimit >= 0 && count >= rowLimit));
    };
    const size_t n = ids.size();
    if (!ingredient.isEmpty()) {
        // One pass over all ingredient text, recipe slices in answer order.
        const char *base = ingredients.data();
        size_t at = 0;
        while (at < ingredients.size()) {
            const void *hit = memmem(base + at, ingredients.size() - at, ingredientPart.data(),
                                     ingredientPart.size());
            if (!hit)
                break;
            const size_t offset = size_t(static_cast<const char *>(hit) - base);
            const size_t r = size_t(std::upper_bound(ingredientAt.begin(), ingredientAt.end(),
                                                     std::uint32_t(offset)) -
                                    ingredientAt.begin()) -
                             1;
            if (matches(r) && !add(r))
                break;
            at = ingredientAt[r + 1];
        }
    } else {
        for (size_t r = 0; r < n; ++r)
            if (matches(r) && !add(r))
                break;
    }
    return list;
}

AnswerCatalogue::AnswerCatalogue(RecipeDatabase &db) : db_(db) {}

AnswerCatalogue::~AnswerCatalogue()
{
    cancel_ = true;
    if (pending_.valid())
        pending_.wait();
}

std::optional<bool> AnswerCatalogue::CountersChanged()
{
    QSqlQuery q(db_.RecipeDb());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral(
            "SELECT (SELECT data_version FROM pragma_data_version), total_changes()")) ||
        !q.next())
        return std::nullopt;
    const qint64 version = q.value(0).toLongLong(), changes = q.value(1).toLongLong();
    const bool changed = version != dataVersion_ || changes != changes_;
    dataVersion_ = version;
    changes_ = changes;
    return changed;
}

void AnswerCatalogue::Collect(bool wait, int ms)
{
    if (!pending_.valid() ||
        pending_.wait_for(std::chrono::milliseconds(wait ? ms : 0)) != std::future_status::ready)
        return;
    auto data = pending_.get();
    if (data) {
        current_ = std::move(data);
        currentGeneration_ = pendingGeneration_;
    } else {
        failedGeneration_ = pendingGeneration_;
    }
}

void AnswerCatalogue::Start()
{
    const quint64 generation = generation_;
    qsizetype recipes = current_ ? current_->RecipeCount() : 0;
    if (!current_) {
        QSqlQuery q(db_.RecipeDb());
        if (q.exec(QStringLiteral("SELECT COUNT(*) FROM RECIPE")) && q.next())
            recipes = qsizetype(q.value(0).toLongLong());
    }
    const QSqlDatabase main = db_.RecipeDb();
    const bool privateColumn = db_.HasPrivateColumn();
    if (recipes < backgroundFrom) {
        if (auto data = CatalogueData::Build(main.connectionName(), privateColumn)) {
            current_ = std::move(data);
            currentGeneration_ = generation;
        } else {
            failedGeneration_ = generation;
        }
        return;
    }
    // A connection of the builder's own, on its thread.
    static QAtomicInteger<quint64> counter;
    const QString name = QStringLiteral("zestrel-catalogue-%1").arg(counter.fetchAndAddRelaxed(1));
    const QString file = main.databaseName(), options = main.connectOptions();
    pendingGeneration_ = generation;
    pending_ = std::async(std::launch::async, [this, name, file, options, privateColumn] {
        std::shared_ptr<CatalogueData> data;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(file);
            db.setConnectOptions(options);
            if (db.open()) {
                data = CatalogueData::Build(name, privateColumn, &cancel_);
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(name);
        return data;
    });
}

const CatalogueData *AnswerCatalogue::Current()
{
    if (!enabled || !db_.IsOpen())
        return nullptr;
    const auto changed = CountersChanged();
    if (!changed)
        return nullptr;
    if (*changed)
        ++generation_;
    Collect(false, 0);
    if (!(current_ && currentGeneration_ == generation_) && !pending_.valid() &&
        failedGeneration_ != generation_)
        Start();
    return current_ && currentGeneration_ == generation_ ? current_.get() : nullptr;
}

bool AnswerCatalogue::WaitUntilCurrent(int ms)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        if (Current())
            return true;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !pending_.valid())
            return false;
        Collect(true, int(left.count()));
    }
}

} // namespace zestrel
