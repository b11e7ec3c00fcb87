// Times the answers a member's client gives to other members, on sample cookbooks
// of growing size built in a temporary folder:
//   zestrel-bench-answers [N ...]       (default 1000 10000 100000)
// Each figure is the median time of one whole answer (query and payload), in ms:
// wall clock, and the processor time of this thread (which other load on the
// machine does not inflate).
#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "app/Prompter.h"
#include "config/Ini.h"
#include "cookbook/CookbookFactory.h"
#include "store/AnswerCatalogue.h"
#include "store/Answers.h"
#include "store/RecipeDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <ctime>
#include <functional>
#include <malloc.h>
#include <vector>

using namespace zestrel;

namespace
{

struct Timing {
    double median = 0; // wall clock
    double cpu = 0;    // this thread's processor time, unaffected by other load
};

double ThreadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

Timing Measure(int repetitions, const std::function<Replies(int)> &answer)
{
    answer(0); // warm the page cache
    std::vector<double> ms, cpu;
    for (int i = 0; i < repetitions; ++i) {
        QElapsedTimer clock;
        const double cpuStart = ThreadCpuMs();
        clock.start();
        answer(i);
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        cpu.push_back(ThreadCpuMs() - cpuStart);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    return Timing{ms[ms.size() / 2], cpu[cpu.size() / 2]};
}

// This process's resident memory in MB, after freed memory went back to the system.
double ResidentMb()
{
    malloc_trim(0);
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return 0;
}

QString Cell(const Timing &t)
{
    return QStringLiteral("%1 / %2").arg(t.median, 0, 'f', 2).arg(t.cpu, 0, 'f', 2);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication qapp(argc, argv);
    QTextStream out(stdout);
    std::vector<int> sizes;
    for (const QString &a : qapp.arguments().mid(1))
        if (!a.startsWith(QLatin1Char('-')))
            sizes.push_back(a.toInt());
    if (sizes.empty())
        sizes = {1000, 10000, 100000};

    const bool fromDatabase = qapp.arguments().contains(QStringLiteral("--sqlite"));
    out << (fromDatabase ? "From SQLite alone (--sqlite)\n" : "From the in-memory catalogue\n");
    out << "Answer time in ms, median of repeated answers: wall clock / processor time of the "
           "answering thread; sample cookbook, seed 1\n\n";
    out << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9\n")
               .arg(QStringLiteral("recipes"), 8)
               .arg(QStringLiteral("build s"), 7)
               .arg(QStringLiteral("categories"), 14)
               .arg(QStringLiteral("letter groups"), 14)
               .arg(QStringLiteral("uncategorized"), 14)
               .arg(QStringLiteral("recipe list"), 14)
               .arg(QStringLiteral("whole recipe"), 14)
               .arg(QStringLiteral("search"), 14)
               .arg(QStringLiteral("search+ingr."), 14);
    out.flush();

    QStringList catalogueLines;
    for (int n : sizes) {
        QTemporaryDir dir;
        QElapsedTimer build;
        build.start();
        QString error;
        if (!cookbook::FillSample(dir.path(), n, 1, &error)) {
            out << "cannot build the sample cookbook: " << error << "\n";
            return 1;
        }
        const double buildSeconds = double(build.elapsed()) / 1000.0;

        Diagnostics diag;
        SilentPrompter prompter;
        AppState app(diag, prompter, dir.path());
        app.InitSeparators();
        app.CookbookIniPath = QDir(dir.path()).filePath(QStringLiteral("cookbook.ini"));
        app.FirstNewRecipeId = ReadFirstNewRecipeId(app.CookbookIniPath);
        app.MyUserKey = QStringLiteral("127.0.0.1") + app.FieldSep + QStringLiteral("bench") +
                        app.FieldSep + QStringLiteral("1");
        app.Settings[QStringLiteral("ALLOWSEARCHES")] = QStringLiteral("1");
        RecipeDatabase db(app);
        db.OpenRecipeDatabase();
        if (app.NoDatabase) {
            out << "cannot open the sample cookbook\n";
            return 1;
        }
        app.IgnorePrivate = !db.CheckPrivateRecipes();
        // The catalogue, built as the client builds it (off this thread when large).
        const double before = ResidentMb();
        QElapsedTimer catalogueClock;
        catalogueClock.start();
        db.Catalogue().enabled = !fromDatabase;
        if (!fromDatabase && !db.Catalogue().WaitUntilCurrent(600000)) {
            out << "the catalogue was not built\n";
            return 1;
        }
        catalogueLines << QStringLiteral("%1 recipes: catalogue built in %2 ms, %3 MB resident "
                                         "(%4 MB before)")
                              .arg(n)
                              .arg(catalogueClock.elapsed())
                              .arg(ResidentMb() - before, 0, 'f', 1)
                              .arg(before, 0, 'f', 1);

        const QString as = app.ArgSep, fs = app.FieldSep, peer = QStringLiteral("peer");
        // A category with many recipes, and a group in the middle of it.
        const QString category = QStringLiteral("Beef");
        const int groups =
            int(ListLetterGroups(db, QStringLiteral("Food"), category, true).count(app.ListSep)) +
            1;
        const QString group = QString::number(std::max(1, groups / 2));

        const Timing categories = Measure(20, [&](int) {
            return AnswerCategories(db, peer, QStringLiteral("Food") + as + "T1" + as + "1");
        });
        const Timing letters = Measure(20, [&](int) {
            return AnswerLetterGroups(
                db, peer, QStringLiteral("Food") + as + category + as + "C1" + as + "1");
        });
        // Missing, empty and blank categories together.
        const Timing uncategorized = Measure(20, [&](int) {
            return AnswerLetterGroups(
                db, peer, QStringLiteral("Food") + as + "<UNCATEGORIZED>" + as + "C1" + as + "1");
        });
        const Timing list = Measure(20, [&](int) {
            return AnswerGroupRecipes(db, peer,
                                      QStringLiteral("Food") + fs + category + fs + group + as +
                                          "L1" + as + "1");
        });
        const Timing whole = Measure(50, [&](int i) {
            const int id = 1 + int((quint64(i) * 2654435761u) % quint64(n));
            return AnswerRecipe(db, peer, QString::number(id) + fs + "1");
        });
        const QStringList titles = {QStringLiteral("chicken"), QStringLiteral("stew"),
                                    QStringLiteral("lemon"), QStringLiteral("zz")};
        const Timing search = Measure(20, [&](int i) {
            return AnswerSearch(db, peer, titles[i % titles.size()] + fs + "" + fs + "1" + fs + "");
        });
        const QStringList ingredients = {QStringLiteral("garlic"), QStringLiteral("rice"),
                                         QStringLiteral("ginger ale"), QStringLiteral("zz")};
        const Timing searchIngredient = Measure(20, [&](int i) {
            return AnswerSearch(
                db, peer, titles[i % titles.size()] + fs + ingredients[i % 4] + fs + "1" + fs + "");
        });

        out << QStringLiteral("%1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9\n")
                   .arg(n, 8)
                   .arg(buildSeconds, 7, 'f', 1)
                   .arg(Cell(categories), 14)
                   .arg(Cell(letters), 14)
                   .arg(Cell(uncategorized), 14)
                   .arg(Cell(list), 14)
                   .arg(Cell(whole), 14)
                   .arg(Cell(search), 14)
                   .arg(Cell(searchIngredient), 14);
        out.flush();
    }
    out << "\n" << catalogueLines.join(QLatin1Char('\n')) << "\n";
    out << "\nTargets at 100,000 recipes: a browse answer well under 15 ms, a search with an "
           "ingredient under 10 ms, the catalogue under 60 MB.\n";
    return 0;
}
