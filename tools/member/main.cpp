// zestrel-member: one member's client without a window, answering other members from
// its cookbook, so a single desktop has someone to browse (scripts/run.sh starts one).
//   zestrel-member --folder DIR --port PORT [--name NAME] [--recipes N]
// DIR gets a sample cookbook of N recipes (default 300) when it has none.
#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "app/Prompter.h"
#include "chat/TextFilter.h"
#include "client/Session.h"
#include "cookbook/CookbookFactory.h"
#include "store/RecipeDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

using namespace zestrel;

namespace
{

QString Option(const QStringList &args, const QString &name, const QString &fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication qapp(argc, argv);
    const QStringList args = qapp.arguments();
    QTextStream err(stderr);
    const QString folder = QDir(Option(args, "--folder", QString())).absolutePath();
    const QString port = Option(args, "--port", QString());
    if (Option(args, "--folder", QString()).isEmpty() || port.isEmpty()) {
        err << "usage: zestrel-member --folder DIR --port PORT [--name NAME] [--recipes N]\n";
        return 2;
    }
    QDir().mkpath(folder);
    if (!QFile::exists(QDir(folder).filePath("cookbook.db"))) {
        QString error;
        if (!cookbook::FillSample(folder, Option(args, "--recipes", "300").toInt(), 2, &error)) {
            err << "sample cookbook: " << error << "\n";
            return 1;
        }
    }

    Diagnostics diag;
    SilentPrompter prompter;
    AppState app(diag, prompter, folder);
    app.InitSeparators();
    app.Settings["USERNAME"] = Option(args, "--name", "DemoCook");
    app.Settings["ALLOWSEARCHES"] = "1";
    app.Settings["RECONNECT"] = "1";
    app.Settings["DESCRIPTION"] = "A demo member with sample recipes";
    app.Net.ServerAddress = Option(args, "--host", "127.0.0.1");
    app.Net.ServerPort = port;
    app.Net.ConnectTimeout = 5;
    app.CookbookIniPath = QDir(folder).filePath("cookbook.ini");

    RecipeDatabase db(app);
    db.OpenRecipeDatabase();
    Session session(app, ScreenText);
    session.AnswerFrom(db);
    // A relay that is not up yet is tried again by the reconnect timer.
    if (!session.Start())
        err << "not connected yet; trying again every 5 s\n";
    return QCoreApplication::exec();
}
