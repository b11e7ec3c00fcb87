// Where the program keeps zestrel.ini, zestrel.set, the log and the backups.
#pragma once

#include <QString>
#include <QStringList>

namespace zestrel
{

// `--folder DIR` when given (made when missing); else the executable's own folder when it
// is writable and not an installed program's (a copied-in, portable copy); else the
// per-user data folder `dataFolder` (made when missing). An installed program is one whose
// desktop entry lies in ../share/applications beside its folder: it never writes there,
// even when run by someone who could.
QString ResolveProgramFolder(const QStringList &arguments, const QString &executableFolder,
                             const QString &dataFolder);

inline constexpr const char *kDesktopEntryName = "org.zestrel.Zestrel.desktop";

} // namespace zestrel
