#include "cookbook/Commands.h"

#include "cookbook/Cookbook.h"
#include "cookbookio/Importer.h"
#include "formats/PageFetcher.h"

#include <QUrl>

namespace zestrel::cookbook
{

namespace
{

bool IsWebAddress(const QString &source)
{
    return source.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           source.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

} // namespace

QString ImportExportUsage()
{
    return QStringLiteral(
        "       zestrel-cookbook import [--folder F] FILE|URL...\n"
        "       zestrel-cookbook export [--folder F] --format mmf|jsonld|cook|pdf --out FILE\n"
        "                               [--category C] [--ids ID...] [--servings N]\n"
        "                               [--measures metric|us] [--title T]\n");
}

int ImportCommand(const QStringList &args, const QString &defaultFolder, QTextStream &out,
                  QTextStream &err)
{
    QString folder = defaultFolder;
    QStringList sources;
    bool unknown = false;
    for (qsizetype i = 0; i < args.size() && !unknown; ++i) {
        if (args[i] == QLatin1String("--folder") && i + 1 < args.size())
            folder = args[++i];
        else if (args[i].startsWith(QLatin1String("--")))
            unknown = true;
        else
            sources << args[i];
    }
    if (unknown || sources.isEmpty() || folder.isEmpty()) {
        err << "usage: zestrel-cookbook import [--folder F] FILE|URL...\n";
        return 2;
    }

    QList<ImportSource> read;
    for (const QString &source : sources) {
        if (IsWebAddress(source))
            read << ImportSource{source, formats::PageFetcher::FetchNow(QUrl(source))};
        else
            read << ImportSource{source, formats::ReadFile(source)};
    }

    Cookbook cookbook;
    QString error;
    const bool opened =
        Cookbook::Exists(folder) ? cookbook.Open(folder, &error) : cookbook.Create(folder, &error);
    if (!opened) {
        err << "zestrel-cookbook: " << error << "\n";
        return 1;
    }
    const auto known = ReadFingerprints(cookbook, &error);
    if (!known) {
        err << "zestrel-cookbook: " << error << "\n";
        return 1;
    }
    const QList<ImportRow> rows = PlanImport(read, *known);
    int recipesRead = 0;
    for (const ImportRow &row : rows) {
        if (row.status == ImportRow::Status::Error)
            err << row.StatusText() << "\n";
        else
            ++recipesRead;
        if (row.status == ImportRow::Status::Duplicate)
            out << row.recipe.title << ": " << row.StatusText() << "\n";
    }
    const ImportReport report = ImportRows(cookbook, rows);
    out << report.Text() << "\n";
    return recipesRead == 0 || !report.ok ? 1 : 0;
}

} // namespace zestrel::cookbook
