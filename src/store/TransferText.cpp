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

QString BuildTransferText(const std::optional<QStringList> &header,
                          const QList<QStringList> &ingredients,
                          const QList<QStringList> &directions, const AppState &app)
{
    QString t;
    if (header) {
        for (int i = 0; i < 9; ++i)
            t += header->value(i) + app.FieldSep;
        t += header->value(9) + app.ListSep;
    }
    t += app.ListSep;
    auto section = [&](const QList<QStringList> &items, const QString &placeholder) {
        for (const QStringList &item : items)
            t += item.join(app.FieldSep) + app.ListSep;
        if (items.isEmpty())
            t += placeholder + app.ListSep;
    };
    const QString none = QString::fromLatin1(kNoneItem);
    const QString dash = QStringLiteral("---");
    section(ingredients, none + app.FieldSep + dash + app.FieldSep + dash + app.FieldSep + dash);
    t += app.ListSep;
    section(directions, none + app.FieldSep + dash);
    t += app.ListSep;
    t.chop(2 * app.ListSep.size());
    return t;
}

std::optional<QString> RecipeToText(RecipeDatabase &db, const QString &idText, bool *found,
                                    bool *shared)
{
    const std::optional<qint64> id = WholeNumber(idText);
    if (found)
        *found = false;
    if (shared)
        *shared = false;
    std::optional<QStringList> header;
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
            header.emplace();
            for (const char *column : kHeaderColumns)
                header->append(ColumnText(*recipe, rec, column));
            if (found)
                *found = true;
            if (shared)
                *shared = recipe->value(rec.indexOf(QStringLiteral("zestrel_shared"))).toInt() != 0;
        }
    } else if (!db.IsOpen()) {
        db.RunQuery(QStringLiteral("SELECT 1")); // the same "DB ERROR" as any other id
        return std::nullopt;
    }

    auto itemsOf = [&](const QString &sql, std::initializer_list<const char *> columns,
                       QList<QStringList> &items) -> bool {
        if (!id)
            return true;
        std::optional<QSqlQuery> rows = db.RunQuery(sql, {*id});
        if (!rows)
            return false;
        QSqlRecord rec;
        while (rows->next()) {
            if (items.isEmpty())
                rec = rows->record();
            QStringList fields;
            for (const char *c : columns)
                fields << ColumnText(*rows, rec, c);
            items.append(std::move(fields));
        }
        return true;
    };
    QList<QStringList> ingredients, directions;
    if (!itemsOf(QStringLiteral("SELECT * FROM INGREDIENTS WHERE recipe_id = ? ORDER BY ingred_id"),
                 {"amount", "measure", "ingredient", "cabinet"}, ingredients) ||
        !itemsOf(QStringLiteral("SELECT * FROM DIRECTIONS WHERE recipe_id = ? ORDER BY step"),
                 {"step", "direction"}, directions))
        return std::nullopt;
    return BuildTransferText(header, ingredients, directions, db.app);
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
