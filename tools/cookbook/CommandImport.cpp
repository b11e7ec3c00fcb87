#include "cookbook/Commands.h"

#include "cookbook/Cookbook.h"
#include "cookbookio/Importer.h"
#include "formats/PageFetcher.h"

#include <QUrl>

namespace zestrel::cookbooktool
{

using namespace zestrel::cookbook;

namespace
{

bool IsWebAddress(const QString &source)
{
    return source.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
           source.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

} // namespace

int CommandImport(Invocation &call)
{
    const QStringList &args = call.args;
    QTextStream &out = call.out, &err = call.err;
    const QString folder = call.Folder();
    QStringList sources;
    bool unknown = false;
    for (qsizetype i = 0; i < args.size() && !unknown; ++i) {
        if (args[i].startsWith(QLatin1String("--")))
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

} // namespace zestrel::cookbooktool
