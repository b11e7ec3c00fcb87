// The Cookbook window on a large cookbook: opening it, each keystroke in the filter
// box, and a save. Usage: zestrel-bench-cookbook [RECIPES] (default 100000); runs
// under QT_QPA_PLATFORM=offscreen as well as on a screen.
#include "app/Prompter.h"
#include "cookbook/CookbookFactory.h"
#include "cookbookui/CookbookWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>

using namespace zestrel;

namespace
{

double Ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

double Median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

double Max(const QList<double> &v)
{
    return v.isEmpty() ? 0 : *std::max_element(v.begin(), v.end());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const int recipes = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 100000;
    QTextStream out(stdout);
    QTemporaryDir dir;
    QElapsedTimer t;
    t.start();
    QString error;
    if (!cookbook::FillSample(dir.path(), recipes, 1, &error)) {
        out << "sample failed: " << error << "\n";
        return 1;
    }
    out << "cookbook of " << recipes << " recipes made in " << qRound(Ms(t)) << " ms\n";
    SilentPrompter prompter;
    QList<double> open, typed, erased, saves, storeSaves;
    for (int round = 0; round < 3; ++round) {
        t.restart();
        cookbookui::CookbookWindow window(prompter);
        window.OpenFolder(dir.path());
        window.show();
        QApplication::processEvents();
        open << Ms(t);

        auto *filter = window.findChild<QLineEdit *>(QStringLiteral("txtFilter"));
        const QString word = QStringLiteral("chicken");
        for (qsizetype i = 1; i <= word.size(); ++i) {
            t.restart();
            filter->setText(word.left(i));
            QApplication::processEvents();
            typed << Ms(t);
        }
        for (qsizetype i = word.size() - 1; i >= 0; --i) {
            t.restart();
            filter->setText(word.left(i));
            QApplication::processEvents();
            erased << Ms(t);
        }
        for (int i = 0; i < 10; ++i) {
            auto *title = window.findChild<QLineEdit *>(QStringLiteral("txtTitle"));
            title->setText(QStringLiteral("Benchmark Pie %1 %2").arg(round).arg(i));
            t.restart();
            window.SaveRecipe();
            QApplication::processEvents();
            saves << Ms(t);
        }
        for (int i = 0; i < 10; ++i) {
            cookbook::Recipe r = *window.Store().Load(window.Store().Entries()->front().id);
            r.notes += QStringLiteral(" again");
            t.restart();
            window.Store().Save(r);
            storeSaves << Ms(t);
        }
    }
    out << QStringLiteral("open the window          median %1 ms, max %2 ms (goal < 1000)\n")
               .arg(Median(open), 0, 'f', 1)
               .arg(Max(open), 0, 'f', 1);
    out << QStringLiteral("filter keystroke (typed) median %1 ms, max %2 ms (goal < 50)\n")
               .arg(Median(typed), 0, 'f', 1)
               .arg(Max(typed), 0, 'f', 1);
    out << QStringLiteral("filter keystroke (erase) median %1 ms, max %2 ms (goal < 50)\n")
               .arg(Median(erased), 0, 'f', 1)
               .arg(Max(erased), 0, 'f', 1);
    out << QStringLiteral("save in the window       median %1 ms, max %2 ms (goal < 20)\n")
               .arg(Median(saves), 0, 'f', 1)
               .arg(Max(saves), 0, 'f', 1);
    out << QStringLiteral("save in the store only   median %1 ms, max %2 ms\n")
               .arg(Median(storeSaves), 0, 'f', 1)
               .arg(Max(storeSaves), 0, 'f', 1);
    return 0;
}
