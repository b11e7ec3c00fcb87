// zestrel: the recipe-sharing client.
#include "client/ProgramFolder.h"
#include "cookbook/Schema.h"
#include "ui/Application.h"
#include "ui/SignalClose.h"

#include <QApplication>
#include <QStandardPaths>

int main(int argc, char *argv[])
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zestrel"));
    QApplication::setApplicationVersion(QStringLiteral("2.4.0"));
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
