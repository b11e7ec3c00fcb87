#include "cookbookio/Importer.h"

#include "cookbook/Cookbook.h"
#include "cookbook/Fingerprint.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>

namespace zestrel::cookbook
{

namespace
{

QString Counted(int n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QString::fromLatin1(n == 1 ? one : many));
}

} // namespace

namespace
{

// Every recipe's id, title and fingerprint in id order, in two queries.
std::optional<QList<std::pair<QByteArray, KnownRecipe>>> AllFingerprints(Cookbook &cookbook,
                                                                         QString *error)
{
    QSqlDatabase db = cookbook.Database();
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Recipes in id order, their ingredient rows after them; one pass over each
    // table.
    QHash<qint64, QList<Ingredient>> lines;
    if (!q.exec(QStringLiteral("SELECT recipe_id, amount, measure, ingredient FROM INGREDIENTS "
                               "ORDER BY recipe_id, ingred_id"))) {
        if (error)
            *error = q.lastError().text();
        return std::nullopt;
    }
    while (q.next()) {
        Ingredient i;
        i.amount = q.value(1).toString();
        i.measure = q.value(2).toString();
        i.ingredient = q.value(3).toString();
        lines[q.value(0).toLongLong()] << std::move(i);
    }
    if (!q.exec(QStringLiteral("SELECT id, title FROM RECIPE ORDER BY id"))) {
        if (error)
            *error = q.lastError().text();
        return std::nullopt;
    }
    QList<std::pair<QByteArray, KnownRecipe>> all;
    while (q.next()) {
        const qint64 id = q.value(0).toLongLong();
        const QString title = q.value(1).toString();
        all.append({Fingerprint(title, lines.value(id)), KnownRecipe{id, title}});
    }
    return all;
}

} // namespace

std::optional<KnownFingerprints> ReadFingerprints(Cookbook &cookbook, QString *error)
{
    const auto all = AllFingerprints(cookbook, error);
    if (!all)
        return std::nullopt;
    KnownFingerprints known;
    known.reserve(all->size());
    for (const auto &[fp, recipe] : *all)
        if (!known.contains(fp))
            known.insert(fp, recipe);
    return known;
}

std::optional<QList<QList<KnownRecipe>>> DuplicateGroups(Cookbook &cookbook, QString *error)
{
    const auto all = AllFingerprints(cookbook, error);
    if (!all)
        return std::nullopt;
    QHash<QByteArray, QList<KnownRecipe>> byPrint;
    for (const auto &[fp, recipe] : *all)
        byPrint[fp] << recipe;
    QList<QList<KnownRecipe>> groups;
    for (const auto &group : std::as_const(byPrint))
        if (group.size() > 1)
            groups << group;
    std::sort(groups.begin(), groups.end(), [](const auto &a, const auto &b) {
        const int c = a.first().title.compare(b.first().title, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a.first().id < b.first().id;
    });
    return groups;
}

QString ImportRow::Where() const
{
    return line > 0 ? QStringLiteral("%1, line %2").arg(file).arg(line) : file;
}

QString ImportRow::StatusText() const
{
    switch (status) {
    case Status::New:
        return QStringLiteral("New");
    case Status::Duplicate:
        return duplicateId > 0
                   ? QStringLiteral("Duplicate of \"%1\" (%2)").arg(duplicateTitle).arg(duplicateId)
                   : QStringLiteral("Duplicate of \"%1\" (row %2)")
                         .arg(duplicateTitle)
                         .arg(duplicateRow + 1);
    case Status::Error:
        break;
    }
    return QStringLiteral("Error: %1: %2").arg(Where(), message);
}

QList<ImportRow> PlanImport(const QList<ImportSource> &sources, const KnownFingerprints &known)
{
    QList<ImportRow> rows;
    QHash<QByteArray, int> planned; // fingerprint -> first row of this import
    for (const ImportSource &source : sources) {
        const formats::ReadResult &result = source.result;
        for (qsizetype i = 0; i < result.recipes.size(); ++i) {
            ImportRow row;
            row.recipe = WithoutEmptyRows(result.recipes[i]);
            row.recipe.id = 0;
            row.line = result.recipeLines.value(i);
            row.file = source.name;
            rows << row;
        }
        for (const formats::ReadIssue &issue : result.errors) {
            ImportRow row;
            row.status = ImportRow::Status::Error;
            row.file = issue.file.isEmpty() ? source.name : issue.file;
            row.line = issue.line;
            row.message = issue.message;
            rows << row;
        }
    }
    for (int r = 0; r < rows.size(); ++r) {
        ImportRow &row = rows[r];
        if (row.status == ImportRow::Status::Error)
            continue;
        if (const auto problem = Validate(row.recipe)) {
            row.status = ImportRow::Status::Error;
            row.message = problem->field.isEmpty()
                              ? problem->message
                              : problem->field + QStringLiteral(": ") + problem->message;
            continue;
        }
        const QByteArray fp = Fingerprint(row.recipe);
        if (const auto it = known.constFind(fp); it != known.constEnd()) {
            row.status = ImportRow::Status::Duplicate;
            row.duplicateId = it->id;
            row.duplicateTitle = it->title;
        } else if (const auto p = planned.constFind(fp); p != planned.constEnd()) {
            row.status = ImportRow::Status::Duplicate;
            row.duplicateRow = *p;
            row.duplicateTitle = rows[*p].recipe.title;
        } else {
            planned.insert(fp, r);
            row.ticked = true;
        }
    }
    return rows;
}

ImportReport ImportRows(Cookbook &cookbook, const QList<ImportRow> &rows)
{
    ImportReport report;
    QList<Recipe> recipes;
    for (const ImportRow &row : rows) {
        if (!row.canImport()) {
            ++report.errors;
        } else if (row.ticked) {
            recipes << row.recipe;
        } else if (row.status == ImportRow::Status::Duplicate) {
            ++report.duplicates;
        } else {
            ++report.leftOut;
        }
    }
    if (recipes.isEmpty())
        return report;
    QString error;
    if (!cookbook.SaveMany(recipes, &error)) {
        report.ok = false;
        report.failure = error;
        return report;
    }
    report.imported = int(recipes.size());
    for (const Recipe &r : recipes)
        report.ids << r.id;
    return report;
}

QString ImportReport::Text() const
{
    QString text;
    if (!ok)
        text = QStringLiteral("Nothing was imported: %1. ").arg(failure);
    text += QStringLiteral("Imported ") + Counted(imported, "recipe", "recipes") +
            QStringLiteral(", skipped ") + Counted(duplicates, "duplicate", "duplicates") +
            QStringLiteral(", ") + Counted(errors, "error", "errors");
    if (leftOut > 0)
        text += QStringLiteral(", left out ") + QString::number(leftOut);
    return text;
}

} // namespace zestrel::cookbook
