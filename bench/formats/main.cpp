// Times the file formats on a generated collection: 10,000 recipes (or argv[1]) of ten
// ingredients and four steps, written and read back in each format. Prints the best of
// three runs for each, in milliseconds, and the file sizes. No database: the import
// pipeline's own benchmark adds that side.
#include "formats/Formats.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace zestrel;

namespace
{
QList<cookbook::Recipe> Generate(int count)
{
    static const char *const measures[] = {"cup", "tbsp", "tsp", "lb", "oz", "", "pinch", "g"};
    static const char *const amounts[] = {"1", "1/2", "2", "1 1/2", "3/4", "", "4", "250"};
    QList<cookbook::Recipe> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        cookbook::Recipe r;
        r.title = QStringLiteral("Generated Dish %1").arg(i);
        r.category = QStringLiteral("Category %1, Weeknight").arg(i % 40);
        r.servings = QString::number(2 + i % 6);
        for (int k = 0; k < 10; ++k)
            r.ingredients.append(
                {QString::fromLatin1(amounts[(i + k) % 8]),
                 QString::fromLatin1(measures[(i * 3 + k) % 8]),
                 QStringLiteral("ingredient number %1, chopped fine").arg((i * 7 + k) % 500),
                 {}});
        for (int s = 0; s < 4; ++s)
            r.directions.append(
                QStringLiteral(
                    "Step %1 of dish %2: combine the ingredients in a bowl, stir well and "
                    "cook gently over a low heat for about %3 minutes.")
                    .arg(s + 1)
                    .arg(i)
                    .arg(5 + s * 5));
        out.append(r);
    }
    return out;
}

double BestMs(const std::function<void()> &run)
{
    double best = 1e18;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer t;
        t.start();
        run();
        best = std::min(best, double(t.nsecsElapsed()) / 1e6);
    }
    return best;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 10000;
    const QList<cookbook::Recipe> recipes = Generate(count);
    std::printf("%d recipes, 10 ingredients and 4 steps each; best of 3 runs\n\n", count);
    std::printf("%-11s %10s %10s %10s\n", "format", "write ms", "read ms", "MiB");

    QByteArray mmf;
    const double mmWrite = BestMs([&] { mmf = formats::WriteMealMaster(recipes); });
    qsizetype read = 0;
    const double mmRead = BestMs(
        [&] { read = formats::ReadMealMaster(mmf, QStringLiteral("bench.mmf")).recipes.size(); });
    std::printf("%-11s %10.0f %10.0f %10.1f  (%lld read)\n", "MealMaster", mmWrite, mmRead,
                mmf.size() / 1048576.0, qint64(read));

    QByteArray json;
    const double jsWrite = BestMs([&] { json = formats::WriteJsonLd(recipes); });
    const double jsRead = BestMs(
        [&] { read = formats::ReadJsonLd(json, QStringLiteral("bench.json")).recipes.size(); });
    std::printf("%-11s %10.0f %10.0f %10.1f  (%lld read)\n", "JSON-LD", jsWrite, jsRead,
                json.size() / 1048576.0, qint64(read));

    QList<QByteArray> cook;
    const double ckWrite = BestMs([&] {
        cook.clear();
        for (const cookbook::Recipe &r : recipes)
            cook.append(formats::WriteCooklang(r));
    });
    const double ckRead = BestMs([&] {
        read = 0;
        for (const QByteArray &file : cook)
            read += formats::ReadCooklang(file, QStringLiteral("bench.cook")).recipes.size();
    });
    qsizetype cookBytes = 0;
    for (const QByteArray &file : cook)
        cookBytes += file.size();
    std::printf("%-11s %10.0f %10.0f %10.1f  (%lld read, one file each)\n", "Cooklang", ckWrite,
                ckRead, cookBytes / 1048576.0, qint64(read));
    return 0;
}
