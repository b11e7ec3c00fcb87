#include "cookbookio/Exporter.h"

#include "cookbook/Cookbook.h"
#include "formats/Formats.h"

#include <QDir>
#include <QSaveFile>
#include <QSet>

namespace zestrel::cookbook
{

namespace
{

bool Fail(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

bool WriteWhole(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit())
        return Fail(error, QStringLiteral("cannot write %1: %2").arg(path, f.errorString()));
    return true;
}

bool InCategory(const QString &categories, const QString &wanted)
{
    const QString w = wanted.trimmed();
    for (const QString &c : categories.split(QLatin1Char(',')))
        if (c.trimmed().compare(w, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

} // namespace

std::optional<ExportFormat> ExportFormatNamed(const QString &name)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("mmf") || n == QLatin1String("mealmaster"))
        return ExportFormat::MealMaster;
    if (n == QLatin1String("jsonld") || n == QLatin1String("json"))
        return ExportFormat::JsonLd;
    if (n == QLatin1String("cook") || n == QLatin1String("cooklang"))
        return ExportFormat::Cooklang;
    if (n == QLatin1String("pdf"))
        return ExportFormat::Pdf;
    return std::nullopt;
}

QString ExportFormatKey(ExportFormat format)
{
    switch (format) {
    case ExportFormat::MealMaster:
        return QStringLiteral("mmf");
    case ExportFormat::JsonLd:
        return QStringLiteral("jsonld");
    case ExportFormat::Cooklang:
        return QStringLiteral("cook");
    case ExportFormat::Pdf:
        break;
    }
    return QStringLiteral("pdf");
}

QString ExportFormatTitle(ExportFormat format)
{
    switch (format) {
    case ExportFormat::MealMaster:
        return QStringLiteral("MealMaster");
    case ExportFormat::JsonLd:
        return QStringLiteral("JSON-LD");
    case ExportFormat::Cooklang:
        return QStringLiteral("Cooklang");
    case ExportFormat::Pdf:
        break;
    }
    return QStringLiteral("PDF cookbook");
}

QString ExportExtension(ExportFormat format)
{
    switch (format) {
    case ExportFormat::MealMaster:
        return QStringLiteral("mmf");
    case ExportFormat::JsonLd:
        return QStringLiteral("json");
    case ExportFormat::Cooklang:
        return QStringLiteral("cook");
    case ExportFormat::Pdf:
        break;
    }
    return QStringLiteral("pdf");
}

std::optional<QList<Recipe>> SelectRecipes(Cookbook &cookbook, const ExportSelection &selection,
                                           QString *error)
{
    QList<Recipe> recipes;
    QList<qint64> ids = selection.ids;
    if (ids.isEmpty()) {
        const auto entries = cookbook.Entries(error);
        if (!entries)
            return std::nullopt;
        for (const RecipeEntry &e : *entries)
            if (selection.category.trimmed().isEmpty() ||
                InCategory(e.category, selection.category))
                ids << e.id;
    }
    recipes.reserve(ids.size());
    for (const qint64 id : ids) {
        QString why;
        auto r = cookbook.Load(id, &why);
        if (!r) {
            if (error)
                *error = why.isEmpty() ? QStringLiteral("there is no recipe %1").arg(id) : why;
            return std::nullopt;
        }
        recipes << std::move(*r);
    }
    return recipes;
}

QString FileNameFor(const QString &title)
{
    QString name;
    for (const QChar c : title.simplified()) {
        if (c.isLetterOrNumber() || c == QLatin1Char(' ') || c == QLatin1Char('-'))
            name += c;
        if (name.size() >= 80)
            break;
    }
    name = name.trimmed();
    return name.isEmpty() ? QStringLiteral("recipe") : name;
}

bool ExportRecipes(const QList<Recipe> &stored, const QString &path, const ExportOptions &options,
                   QString *error, const PdfCookbook::Progress &progress)
{
    QList<Recipe> recipes;
    recipes.reserve(stored.size());
    for (const Recipe &r : stored)
        recipes << (options.presentation.isIdentity() ? r : Presented(r, options.presentation));
    switch (options.format) {
    case ExportFormat::MealMaster:
        return WriteWhole(path, formats::WriteMealMaster(recipes), error);
    case ExportFormat::JsonLd:
        return WriteWhole(path, formats::WriteJsonLd(recipes), error);
    case ExportFormat::Cooklang: {
        if (recipes.size() == 1)
            return WriteWhole(path, formats::WriteCooklang(recipes.first()), error);
        if (!QDir().mkpath(path))
            return Fail(error, QStringLiteral("cannot make the folder %1").arg(path));
        const QDir dir(path);
        QSet<QString> used;
        for (const Recipe &r : recipes) {
            const QString stem = FileNameFor(r.title);
            QString name = stem;
            for (int n = 2; used.contains(name.toCaseFolded()); ++n)
                name = stem + QStringLiteral(" (%1)").arg(n);
            used.insert(name.toCaseFolded());
            if (!WriteWhole(dir.filePath(name + QStringLiteral(".cook")), formats::WriteCooklang(r),
                            error))
                return false;
        }
        return true;
    }
    case ExportFormat::Pdf:
        break;
    }
    PdfCookbook book(recipes, options.title);
    return book.Write(path, error, progress);
}

} // namespace zestrel::cookbook
