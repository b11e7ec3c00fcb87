// Starting with the session: on every close of the settings dialog the Run key's
// "Zestrel" value (our autostart desktop entry) is written or removed, silently.
#pragma once

#include "config/Registry.h"

#include <QStringList>

namespace zestrel
{

inline constexpr const char *kAutoStartName = "Zestrel";

// The command line that starts this program (quoted words joined by spaces).
QString AutoStartCommand(const QStringList &words);

// Enabled: the entry runs `command`; disabled: the entry is gone. Never reports.
void ApplyAutoStart(bool enabled, const QString &command,
                    const RegistryPlace &place = DefaultRegistryPlace());

} // namespace zestrel
