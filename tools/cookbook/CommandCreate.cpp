// `create` and `sample`: an empty cookbook, and one filled with sample recipes.
#include "cookbook/Commands.h"
#include "cookbook/CookbookFactory.h"

namespace zestrel::cookbooktool
{

namespace
{

// The folder these two commands need: --folder F or the first argument. They make
// cookbooks for tests and demos, so they never fall back to the client's.
QString TakeFolder(Invocation &call)
{
    if (!call.folder.isEmpty())
        return call.folder;
    if (!call.args.isEmpty() && !call.args[0].startsWith(QLatin1String("--")))
        return call.args.takeFirst();
    return {};
}

} // namespace

int CommandCreate(Invocation &call)
{
    const QString folder = TakeFolder(call);
    if (folder.isEmpty() || !call.args.isEmpty())
        return Usage(call.err);
    QString error;
    if (!cookbook::CreateCookbook(folder, &error))
        return call.Fail(error);
    call.out << "created " << folder << "/cookbook.db\n";
    return 0;
}

int CommandSample(Invocation &call)
{
    const QString folder = TakeFolder(call);
    if (folder.isEmpty())
        return Usage(call.err);
    const QStringList &args = call.args;
    qint64 recipes = 100;
    quint64 seed = 1;
    cookbook::SampleMix mix;
    for (qsizetype i = 0; i < args.size(); i += 2) {
        if (i + 1 >= args.size())
            return Usage(call.err);
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
            return Usage(call.err);
    }
    cookbook::SampleSummary summary;
    QString error;
    if (!cookbook::FillSample(folder, int(recipes), seed, &error, &summary, mix))
        return call.Fail(error);
    call.out << "added recipes " << summary.firstId << " to " << summary.lastId << " ("
             << summary.privateCount << " private); MaxRecipeID=" << summary.maxRecipeId << "\n";
    return 0;
}

} // namespace zestrel::cookbooktool
