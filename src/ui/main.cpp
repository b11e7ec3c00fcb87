// zestrel: the recipe-sharing client.
#include "client/ProgramFolder.h"
#include "cookbook/Schema.h"
#include "ui/Application.h"
#include "ui/SignalClose.h"

#include <QApplication>
#include <QStandardPaths>

#include <cstdio>
#include <cstring>

namespace
{
const char kUsage[] = "usage: zestrel [--folder DIR]\n"
                      "  --folder DIR  use DIR as the program folder (created when missing)\n"
                      "  --help        print this text and exit\n"
                      "  --version     print the version and exit\n";

// --help and --version answer on standard output before any window or display is needed.
bool AnswersAndExits(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zestrel %s\n", ZESTREL_VERSION);
            return true;
        }
    }
    return false;
}
} // namespace

int main(int argc, char *argv[])
{
    if (AnswersAndExits(argc, argv))
        return 0;
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zestrel"));
    QApplication::setApplicationVersion(QStringLiteral(ZESTREL_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zestrel.Zestrel"));
    // The program ends through its own shutdown, also while it lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    zestrel::Application app(zestrel::ResolveProgramFolder(
        QApplication::arguments(), QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)));
    app.EndProcess = [] { QCoreApplication::exit(0); };
    // A first start without a cookbook may make an empty one, with the Cookbook's own schema.
    app.hooks.CreateCookbook = [](zestrel::AppState &, const QString &folder, QString *error) {
        return zestrel::cookbook::CreateCookbook(folder, error);
    };
    // A logout or Ctrl+C closes the window as the member would.
    zestrel::SignalClose closeOnSignal([&app] { app.CloseOnSignal(); });
    if (!app.StartUp())
        return 0;
    return QApplication::exec();
}
