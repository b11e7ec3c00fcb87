// libFuzzer target for the network-settings reader: any zestrel.set, read and loaded,
// and any downloaded web copy looked into.
#include "app/AppState.h"
#include "config/NetSettings.h"

#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace zestrel;
    static const QString folder = [] {
        const QString f = QDir::tempPath() + QStringLiteral("/zestrel-fuzz-net-%1").arg(getpid());
        QDir().mkpath(f);
        return f;
    }();
    QFile file(NetSettingsPath(folder));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    file.write(reinterpret_cast<const char *>(data), qint64(size));
    file.close();

    Diagnostics diagnostics;
    SilentPrompter prompter;
    AppState state(diagnostics, prompter, folder);
    LoadNetSettings(state);
    if (state.Net.ConnectTimeout < 0 || state.Net.ConnectTimeout > 255)
        abort();
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    for (const char *key : {"SETTING_VERSION", "REMOTE_SERVER_IP", "SERVER_LISTEN_PORT",
                            "WINSOCK_CONNECT_TIME_OUT", "LOGFILE", "LOG", ""}) {
        ReadNetSetting(folder, QLatin1String(key));
        WebSettingValue(text, QLatin1String(key));
    }
    if (const std::optional<int> t = ParseConnectTimeout(text, true); t && (*t < 0 || *t > 255))
        abort();
    return 0;
}
