// Prints the time of: reading a generated file of N MealMaster recipes and importing them
// into a new cookbook (plan with duplicates, one transaction); exporting all of them as
// MealMaster (loading included, and the writing alone); a PDF cookbook of P of them.
//   zestrel-bench-cookbookio [--recipes N] [--pdf P]
#include "cookbook/Cookbook.h"
#include "cookbookio/Exporter.h"
#include "cookbookio/Importer.h"
#include "formats/Formats.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTextStream>

using namespace zestrel;
using namespace zestrel::cookbook;

namespace
{

QList<Recipe> Generated(int n)
{
    const char *const mains[] = {"Chicken", "Beef", "Lentil", "Pumpkin", "Apple", "Salmon"};
    const char *const dishes[] = {"Stew", "Pie", "Soup", "Salad", "Bread", "Curry", "Bake"};
    const char *const names[] = {"flour",  "sugar", "butter", "milk",    "eggs",  "salt",
                                 "pepper", "onion", "garlic", "carrots", "water", "olive oil",
                                 "lemon",  "thyme", "rice",   "cream"};
    const char *const units[] = {"cup", "tbsp", "tsp", "lb", "oz", ""};
    QList<Recipe> out;
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        Recipe r;
        r.title = QStringLiteral("%1 %2 No. %3")
                      .arg(QLatin1String(mains[i % 6]), QLatin1String(dishes[i % 7]))
                      .arg(i + 1);
        r.category = QStringLiteral("Main Dishes, Test");
        r.servings = QString::number(2 + i % 6);
        for (int k = 0; k < 8; ++k)
            r.ingredients << Ingredient{QStringLiteral("%1 1/2").arg(1 + (i + k) % 3),
                                        QString::fromLatin1(units[(i + k) % 6]),
                                        QString::fromLatin1(names[(i * 3 + k) % 16]), QString()};
        for (int k = 0; k < 5; ++k)
            r.directions << QStringLiteral("Step %1: combine everything, stir well and cook "
                                           "until done, about %2 minutes.")
                                .arg(k + 1)
                                .arg(5 + k * 3);
        out << r;
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    int n = 10000, pdf = 500;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--recipes"))
            n = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--pdf"))
            pdf = args[i + 1].toInt();
    }
    QTemporaryDir dir;
    const QString mmf = dir.filePath(QStringLiteral("many.mmf"));
    {
        QFile f(mmf);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(formats::WriteMealMaster(Generated(n)));
    }
    out << "file: " << n << " MealMaster recipes, " << QFile(mmf).size() / 1024 << " KiB\n";

    Cookbook cookbook;
    QString error;
    if (!cookbook.Create(dir.filePath(QStringLiteral("book")), &error)) {
        out << error << "\n";
        return 1;
    }
    QElapsedTimer t;
    t.start();
    const formats::ReadResult read = formats::ReadFile(mmf);
    const qint64 readMs = t.elapsed();
    const auto known = ReadFingerprints(cookbook, &error);
    const QList<ImportRow> rows = PlanImport({ImportSource{mmf, read}}, *known);
    const qint64 planMs = t.elapsed();
    const ImportReport report = ImportRows(cookbook, rows);
    const qint64 importMs = t.elapsed();
    out << "import: " << importMs << " ms (read " << readMs << ", plan " << planMs - readMs
        << ", save " << importMs - planMs << "); " << report.Text() << "\n";

    t.restart();
    const auto all = SelectRecipes(cookbook, {}, &error);
    if (!all) {
        out << error << "\n";
        return 1;
    }
    const qint64 loadMs = t.elapsed();
    ExportOptions mm;
    if (!ExportRecipes(*all, dir.filePath(QStringLiteral("out.mmf")), mm, &error))
        return 1;
    const qint64 exportMs = t.elapsed();
    out << "export " << all->size() << " as MealMaster: " << exportMs << " ms (load " << loadMs
        << ", write " << exportMs - loadMs << ")\n";

    t.restart();
    ExportOptions book;
    book.format = ExportFormat::Pdf;
    if (!ExportRecipes(all->mid(0, pdf), dir.filePath(QStringLiteral("out.pdf")), book, &error)) {
        out << error << "\n";
        return 1;
    }
    out << "PDF cookbook of " << qMin<qsizetype>(pdf, all->size()) << ": " << t.elapsed() << " ms, "
        << QFile(dir.filePath(QStringLiteral("out.pdf"))).size() / 1024 << " KiB\n";
    return 0;
}
