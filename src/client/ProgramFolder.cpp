#include "client/ProgramFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

namespace zestrel
{

namespace
{

bool WritableFolder(const QString &folder)
{
    // Ask the file system, not the permission bits: a read-only mount says yes to those.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("zestrel-probe-XXXXXX")));
    return probe.open();
}

bool Installed(const QString &executableFolder)
{
    return QFileInfo::exists(QDir(executableFolder)
                                 .filePath(QStringLiteral("../share/applications/") +
                                           QLatin1String(kDesktopEntryName)));
}

} // namespace

QString ResolveProgramFolder(const QStringList &arguments, const QString &executableFolder,
                             const QString &dataFolder)
{
    const qsizetype at = arguments.indexOf(QStringLiteral("--folder"));
    if (at >= 0 && at + 1 < arguments.size()) {
        const QString folder = QDir(arguments[at + 1]).absolutePath();
        QDir().mkpath(folder);
        return folder;
    }
    if (!Installed(executableFolder) && WritableFolder(executableFolder))
        return executableFolder;
    QDir().mkpath(dataFolder);
    return dataFolder;
}

} // namespace zestrel
