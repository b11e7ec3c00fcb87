// libFuzzer target for the INI reader: any file contents, any section and key asked for.
#include "config/Ini.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QString path =
        QDir::tempPath() + QStringLiteral("/zestrel-fuzz-ini-%1.ini").arg(getpid());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();
    for (const char *section : {"USER", "Settings", "", "[", "user"})
        for (const char *key : {"USERNAME", "PING", "", "=", "username"})
            zestrel::ReadIniKey(path, QLatin1String(section), QLatin1String(key));
    return 0;
}
