// zestrel: the recipe-sharing client.
#include "ui/Application.h"
#include "ui/SignalClose.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace
{

bool writableFolder(const QString &folder)
{
    // Ask the file system, not the permission bits: a read-only mount says yes to those.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("zestrel-probe-XXXXXX")));
    return probe.open();
}

// The folder that holds zestrel.ini, zestrel.set, the log and the backups:
// `--folder DIR` when given; else the program's own folder when it is writable
// (a copied-in install); else the per-user data folder.
QString programFolder(const QStringList &args)
{
    const qsizetype at = args.indexOf(QStringLiteral("--folder"));
    if (at >= 0 && at + 1 < args.size()) {
        const QString folder = QDir(args[at + 1]).absolutePath();
        QDir().mkpath(folder);
        return folder;
    }
    const QString own = QCoreApplication::applicationDirPath();
    if (writableFolder(own))
        return own;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication qapp(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zestrel"));
    QApplication::setApplicationVersion(QStringLiteral("2.4.0"));
    // The program ends through its own shutdown, also while it lives in the tray.
    QApplication::setQuitOnLastWindowClosed(false);

    zestrel::Application app(programFolder(QApplication::arguments()));
    app.EndProcess = [] { QCoreApplication::exit(0); };
    // A logout or Ctrl+C closes the window as the member would.
    zestrel::SignalClose closeOnSignal([&app] { app.CloseOnSignal(); });
    if (!app.StartUp())
        return 0;
    return QApplication::exec();
}
