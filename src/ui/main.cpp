// zestrel: the recipe-sharing client.
#include "client/ProgramFolder.h"
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
    // A logout or Ctrl+C closes the window as the member would.
    zestrel::SignalClose closeOnSignal([&app] { app.CloseOnSignal(); });
    if (!app.StartUp())
        return 0;
    return QApplication::exec();
}
