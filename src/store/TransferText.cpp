#include "store/TransferText.h"
#include "app/Text.h"

#include <QSqlRecord>

namespace zestrel
{

namespace
{

const char *const kHeaderColumns[] = {"type",      "title", "category", "servings", "prep_time",
                                      "cook_time", "notes", "source",   "cuisine",  "misc"};

QString ColumnText(const QSqlQuery &q, const QSqlRecord &rec, const char *name)
{
    const int i = rec.indexOf(QLatin1String(name));
    if (i < 0)
        return {};
    const QVariant v = q.value(i);
    return v.isNull() ? QString() : v.toString();
}

QList<TransferItem> ReadItems(const QString &section, const AppState &app)
{
    QList<TransferItem> items;
    const QStringList raw = section.split(app.ListSep);
    for (qsizetype i = 0; i < raw.size(); ++i) {
        TransferItem item{i, raw[i].split(app.FieldSep)};
        if (item.fields.value(0) != QLatin1String(kNoneItem))
            items.append(std::move(item));
    }
    return items;
}

} // namespace

QString SectionSep(const AppState &app)
{
    return app.ListSep + app.ListSep;
}

std::optional<QString> RecipeToText(RecipeDatabase &db, const QString &idText, bool *found,
                                    bool *shared)
{
    const AppState &app = db.app;
    const std::optional<qint64> id = WholeNumber(idText);
    if (found)
        *found = false;
    if (shared)
        *shared = false;
    QString t;
    if (id) {
        // Shared exactly when the lists would offer it: "NOT private" is true.
        auto recipe = db.RunQuery(
            db.HasPrivateColumn()
                ? QStringLiteral("SELECT *, COALESCE(NOT private, 0) AS zestrel_shared FROM RECIPE "
                                 "WHERE id = ?")
                : QStringLiteral("SELECT *, 1 AS zestrel_shared FROM RECIPE WHERE id = ?"),
            {*id});
        if (!recipe)
            return std::nullopt;
        if (recipe->next()) {
            const QSqlRecord rec = recipe->record();
            for (int i = 0; i < 9; ++i)
                t += ColumnText(*recipe, rec, kHeaderColumns[i]) + app.FieldSep;
            t += ColumnText(*recipe, rec, kHeaderColumns[9]) + app.ListSep;
            if (found)
                *found = true;
            if (shared)
                *shared = recipe->value(rec.indexOf(QStringLiteral("zestrel_shared"))).toInt() != 0;
        }
    } else if (!db.IsOpen()) {
        db.RunQuery(QStringLiteral("SELECT 1")); // the same "DB ERROR" as any other id
        return std::nullopt;
    }
    t += app.ListSep;

    auto itemsOf = [&](const QString &sql, std::initializer_list<const char *> columns,
                       const QString &placeholder) -> bool {
        std::optional<QSqlQuery> rows;
        if (id) {
            rows = db.RunQuery(sql, {*id});
            if (!rows)
                return false;
        }
        bool any = false;
        QSqlRecord rec;
        while (rows && rows->next()) {
            if (!any)
                rec = rows->record();
            bool first = true;
            for (const char *c : columns) {
                if (!first)
                    t += app.FieldSep;
                t += ColumnText(*rows, rec, c);
                first = false;
            }
            t += app.ListSep;
            any = true;
        }
        if (!any)
            t += placeholder + app.ListSep;
        return true;
    };
    const QString none = QString::fromLatin1(kNoneItem);
    const QString dash = QStringLiteral("---");
    if (!itemsOf(QStringLiteral("SELECT * FROM INGREDIENTS WHERE recipe_id = ? ORDER BY ingred_id"),
                 {"amount", "measure", "ingredient", "cabinet"},
                 none + app.FieldSep + dash + app.FieldSep + dash + app.FieldSep + dash))
        return std::nullopt;
    t += app.ListSep;
    if (!itemsOf(QStringLiteral("SELECT * FROM DIRECTIONS WHERE recipe_id = ? ORDER BY step"),
                 {"step", "direction"}, none + app.FieldSep + dash))
        return std::nullopt;
    t += app.ListSep;
    t.chop(2 * app.ListSep.size());
    return t;
}

std::optional<QString> BrowsePreviewText(RecipeDatabase &db, const QString &id)
{
    auto text = RecipeToText(db, id);
    if (text)
        *text += SectionSep(db.app) + QStringLiteral("0");
    return text;
}

std::optional<QString> SearchPreviewText(RecipeDatabase &db, const QString &id)
{
    auto text = RecipeToText(db, id);
    if (text)
        *text += SectionSep(db.app) + QStringLiteral("1");
    return text;
}

TransferRecipe ReadTransferText(const QString &text, const AppState &app)
{
    TransferRecipe r;
    r.sections = text.split(SectionSep(app));
    r.header = r.sections.value(0).split(app.FieldSep);
    if (r.hasIngredientSection())
        r.ingredients = ReadItems(r.sections[1], app);
    if (r.hasDirectionSection())
        r.directions = ReadItems(r.sections[2], app);
    return r;
}

} // namespace zestrel
