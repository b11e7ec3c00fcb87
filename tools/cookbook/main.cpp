// zestrel-cookbook: stands in for the recipe manager that owns cookbook.db.
//   zestrel-cookbook create FOLDER
//   zestrel-cookbook sample FOLDER --recipes N --seed S [--mix FOOD,DRINK] [--cuisines A,B]
#include "cookbook/Commands.h"
#include "cookbook/CookbookFactory.h"

#include <QGuiApplication>
#include <QStringList>
#include <QTextStream>

namespace
{

int Usage(QTextStream &err)
{
    err << "usage: zestrel-cookbook create FOLDER\n"
           "       zestrel-cookbook sample FOLDER --recipes N --seed S [--mix FOOD,DRINK]\n"
           "                                      [--cuisines NAME,NAME,...]\n"
           "--mix: percent of food and of drink recipes (default 72,18); the rest are other\n"
           "recipes. --cuisines: the cuisines the recipes are labelled with.\n"
        << zestrel::cookbook::ImportExportUsage();
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    // The commands lay out text (the PDF cookbook) without showing a window, also where
    // there is no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout), err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("import"))
        return zestrel::cookbook::ImportCommand(args.mid(1), QString(), out, err);
    if (args.value(0) == QLatin1String("export"))
        return zestrel::cookbook::ExportCommand(args.mid(1), QString(), out, err);
    if (args.size() < 2)
        return Usage(err);
    const QString command = args[0], folder = args[1];
    QString error;
    if (command == QLatin1String("create") && args.size() == 2) {
        if (!zestrel::cookbook::CreateCookbook(folder, &error)) {
            err << "zestrel-cookbook: " << error << "\n";
            return 1;
        }
        out << "created " << folder << "/cookbook.db\n";
        return 0;
    }
    if (command != QLatin1String("sample"))
        return Usage(err);
    qint64 recipes = 100;
    quint64 seed = 1;
    zestrel::cookbook::SampleMix mix;
    for (qsizetype i = 2; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return Usage(err);
        bool ok = false;
        if (args[i] == QLatin1String("--recipes"))
            recipes = args[i + 1].toLongLong(&ok);
        else if (args[i] == QLatin1String("--seed"))
            seed = args[i + 1].toULongLong(&ok);
        else if (args[i] == QLatin1String("--mix")) {
            const QStringList shares = args[i + 1].split(QLatin1Char(','));
            bool drinkOk = false;
            if (shares.size() == 2) {
                mix.foodPercent = shares[0].toInt(&ok);
                mix.drinkPercent = shares[1].toInt(&drinkOk);
            }
            ok = ok && drinkOk && mix.foodPercent >= 0 && mix.drinkPercent >= 0 &&
                 mix.foodPercent + mix.drinkPercent <= 100;
        } else if (args[i] == QLatin1String("--cuisines")) {
            mix.cuisines = args[i + 1].split(QLatin1Char(','), Qt::SkipEmptyParts);
            ok = !mix.cuisines.isEmpty();
        }
        if (!ok || recipes < 0 || recipes > 10'000'000)
            return Usage(err);
    }
    zestrel::cookbook::SampleSummary summary;
    if (!zestrel::cookbook::FillSample(folder, int(recipes), seed, &error, &summary, mix)) {
        err << "zestrel-cookbook: " << error << "\n";
        return 1;
    }
    out << "added recipes " << summary.firstId << " to " << summary.lastId << " ("
        << summary.privateCount << " private); MaxRecipeID=" << summary.maxRecipeId << "\n";
    return 0;
}
