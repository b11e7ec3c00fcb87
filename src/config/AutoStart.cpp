#include "config/AutoStart.h"

namespace zestrel
{

QString AutoStartCommand(const QStringList &words)
{
    QStringList quoted;
    for (const QString &w : words)
        quoted << DesktopExecArgument(w);
    return quoted.join(QLatin1Char(' '));
}

void ApplyAutoStart(bool enabled, const QString &command, const RegistryPlace &place)
{
    clsRegAccess reg(place);
    reg.Group = HKEY_LOCAL_MACHINE;
    reg.Section = QString::fromLatin1(kRunKey);
    const QString name = QString::fromLatin1(kAutoStartName);
    if (enabled) {
        reg.WriteRegistry(name, REG_SZ, command);
    } else {
        // Emptied first, so an entry that cannot be removed no longer starts anything.
        reg.WriteRegistry(name, REG_SZ, QString());
        reg.DeleteValue(name);
    }
}

} // namespace zestrel
