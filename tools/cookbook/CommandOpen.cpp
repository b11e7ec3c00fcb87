// `open [FOLDER]` (and no command): the Cookbook window; the shared parts of the commands.
#include "client/ProgramFolder.h"
#include "cookbook/Commands.h"
#include "cookbookui/CookbookWindow.h"
#include "ui/GuiPrompter.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zestrel::cookbooktool
{

QString Invocation::Folder(bool positional) const
{
    if (!folder.isEmpty())
        return folder;
    if (positional && !args.isEmpty())
        return args.front();
    return ClientCookbookFolder();
}

int Invocation::Fail(const QString &text) const
{
    err << "zestrel-cookbook: " << text << "\n";
    err.flush();
    return 1;
}

QString ClientCookbookFolder()
{
    // The client is installed beside this program; in a build tree it is built in src/.
    const QString here = QCoreApplication::applicationDirPath();
    QString clientFolder = here;
    if (!QFileInfo::exists(QDir(here).filePath(QStringLiteral("zestrel"))) &&
        QFileInfo::exists(QDir(here).filePath(QStringLiteral("../../src/zestrel"))))
        clientFolder = QDir::cleanPath(QDir(here).filePath(QStringLiteral("../../src")));
    // The client's per-user data folder (it runs under the application name "zestrel").
    const QString data = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                             .filePath(QStringLiteral("zestrel"));
    const QString programFolder = ResolveProgramFolder({}, clientFolder, data);
    return QFileInfo(ClientCookbookIniPath(programFolder)).absolutePath();
}

int Usage(QTextStream &err)
{
    err << "usage: zestrel-cookbook [open] [FOLDER]\n"
           "       zestrel-cookbook create FOLDER\n"
           "       zestrel-cookbook sample FOLDER --recipes N --seed S [--mix FOOD,DRINK]\n"
           "                                      [--cuisines NAME,NAME,...]\n"
           "       zestrel-cookbook import [--folder F] FILE|URL...\n"
           "       zestrel-cookbook export [--folder F] --format mmf|jsonld|cook|pdf --out FILE\n"
           "                               [--category C] [--ids ID...] [--servings N]\n"
           "                               [--measures metric|us] [--title T]\n"
           "Every command takes --folder FOLDER instead of its FOLDER; without a folder the\n"
           "Cookbook opens the cookbook the client uses.\n"
           "--mix: percent of food and of drink recipes (default 72,18); the rest are other\n"
           "recipes. --cuisines: the cuisines the recipes are labelled with.\n";
    err.flush();
    return 2;
}

int CommandOpen(Invocation &call)
{
    if (call.args.size() > 1 || (call.args.size() == 1 && !call.folder.isEmpty()))
        return Usage(call.err);
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Zestrel Cookbook"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zestrel.Cookbook"));
    GuiPrompter prompter;
    cookbookui::CookbookWindow window(prompter);
    prompter.setParentWindow(&window);
    if (!window.OpenFolder(call.Folder(true)))
        return 1;
    window.show();
    return QApplication::exec();
}

} // namespace zestrel::cookbooktool
