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

// The recipe manager's cookbook.ini beside the program's settings, when CKFPATH names none.
QString DefaultCookbookIniPath(const QString &programFolder);
// The cookbook.ini the client of that program folder uses: CKFPATH of [MISC] in its
// zestrel.ini, else the default above. The cookbook (cookbook.db) lies beside it.
QString ClientCookbookIniPath(const QString &programFolder);

inline constexpr const char *kDesktopEntryName = "org.zestrel.Zestrel.desktop";

} // namespace zestrel
