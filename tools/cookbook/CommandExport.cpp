#include "cookbook/Commands.h"

#include "cookbook/Cookbook.h"
#include "cookbookio/Exporter.h"

namespace zestrel::cookbooktool
{

using namespace zestrel::cookbook;

namespace
{

int ExportUsage(QTextStream &err, const QString &why = {})
{
    if (!why.isEmpty())
        err << "zestrel-cookbook: " << why << "\n";
    err << "usage: zestrel-cookbook export [--folder F] --format mmf|jsonld|cook|pdf --out FILE\n"
           "                               [--category C] [--ids ID...] [--servings N]\n"
           "                               [--measures metric|us] [--title T]\n"
           "Cooklang with more than one recipe makes FILE a folder of .cook files.\n";
    return 2;
}

} // namespace

int CommandExport(Invocation &call)
{
    const QStringList &args = call.args;
    QTextStream &out = call.out, &err = call.err;
    const QString folder = call.Folder();
    QString path;
    std::optional<ExportFormat> format;
    ExportSelection selection;
    ExportOptions options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == QLatin1String("--ids")) {
            // The ids follow as words of their own or separated by commas.
            bool any = false;
            while (i + 1 < args.size() && !args[i + 1].startsWith(QLatin1String("--"))) {
                for (const QString &word : args[++i].split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                    bool ok = false;
                    const qint64 id = word.trimmed().toLongLong(&ok);
                    if (!ok || id <= 0)
                        return ExportUsage(err, QStringLiteral("not a recipe id: %1").arg(word));
                    selection.ids << id;
                    any = true;
                }
            }
            if (!any)
                return ExportUsage(err);
            continue;
        }
        if (!hasValue)
            return ExportUsage(err);
        const QString value = args[++i];
        if (a == QLatin1String("--format")) {
            format = ExportFormatNamed(value);
            if (!format)
                return ExportUsage(err, QStringLiteral("unknown format: %1").arg(value));
        } else if (a == QLatin1String("--out")) {
            path = value;
        } else if (a == QLatin1String("--category")) {
            selection.category = value;
        } else if (a == QLatin1String("--servings")) {
            bool ok = false;
            options.presentation.servings = value.toInt(&ok);
            if (!ok || options.presentation.servings < 1 ||
                options.presentation.servings > kMaxServings)
                return ExportUsage(err, QStringLiteral("servings are 1 to %1").arg(kMaxServings));
        } else if (a == QLatin1String("--measures")) {
            if (value.compare(QLatin1String("metric"), Qt::CaseInsensitive) == 0)
                options.presentation.measures = Measures::Metric;
            else if (value.compare(QLatin1String("us"), Qt::CaseInsensitive) == 0)
                options.presentation.measures = Measures::US;
            else
                return ExportUsage(err, QStringLiteral("measures are metric or us"));
        } else if (a == QLatin1String("--title")) {
            options.title = value;
        } else {
            return ExportUsage(err);
        }
    }
    if (!format || path.isEmpty() || folder.isEmpty())
        return ExportUsage(err);
    options.format = *format;

    Cookbook cookbook;
    QString error;
    if (!cookbook.Open(folder, &error)) {
        err << "zestrel-cookbook: " << error << "\n";
        return 1;
    }
    const auto recipes = SelectRecipes(cookbook, selection, &error);
    if (!recipes) {
        err << "zestrel-cookbook: " << error << "\n";
        return 1;
    }
    if (recipes->isEmpty()) {
        err << "zestrel-cookbook: no recipes to export\n";
        return 1;
    }
    if (!ExportRecipes(*recipes, path, options, &error)) {
        err << "zestrel-cookbook: " << error << "\n";
        return 1;
    }
    out << (recipes->size() == 1 ? QStringLiteral("Exported 1 recipe")
                                 : QStringLiteral("Exported %1 recipes").arg(recipes->size()))
        << " as " << ExportFormatTitle(*format) << " to " << path << "\n";
    return 0;
}

} // namespace zestrel::cookbooktool
