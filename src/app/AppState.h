// The process-wide state every subsystem shares. One instance, owned by the
// program (or by a test), passed by reference; nothing here is a global.
#pragma once

#include "app/Diagnostics.h"
#include "app/Prompter.h"

#include <QDateTime>
#include <QMap>
#include <QString>

namespace zestrel
{

// The maker's web address; the start page and the web copy of zestrel.set live under it.
inline constexpr const char *kMakerWebAddress = "http://www.zestrel.example";

// Values from zestrel.set.
struct NetSettings {
    bool LoggingEnabled = false;
    QString LogFilePath;
    QString SettingVersion;
    QString ServerAddress;
    QString ServerPort;
    int ConnectTimeout = 0; // seconds, 0..255
    bool ServerTls = false; // SERVER_TLS=1: the connection is encrypted
    QString BeginMarker = QStringLiteral("*~B~*");
    QString EndMarker = QStringLiteral("*~E~*");
};

class AppState
{
  public:
    AppState(Diagnostics &diagnostics, Prompter &prompter, QString programFolder);

    Diagnostics &diag;
    Prompter &prompter;

    // Where zestrel.ini, zestrel.set, the log and backups live.
    QString ProgramFolder;
    QString SettingsFilePath; // ProgramFolder/zestrel.ini
    QString AppVersion = QStringLiteral("2.4.0");
    QString MakerWebAddress = QString::fromLatin1(kMakerWebAddress);

    // Built by InitSeparators(); control characters that payload texts never hold.
    QString FieldSep, ListSep, ArgSep;
    void InitSeparators();

    // User settings by key (USERNAME, PING, ...): text values, flags "0"/"1".
    QMap<QString, QString> Settings;
    QString Setting(const QString &key) const { return Settings.value(key); }
    // A flag setting is on when its text is exactly "1".
    bool Flag(const QString &key) const { return Settings.value(key) == QLatin1String("1"); }
    QString UserName;
    QString CookbookIniPath;

    NetSettings Net;

    // Recipe database state, fixed at start-up.
    QString FirstNewRecipeId = QStringLiteral("1");
    bool NoDatabase = false; // set when the database is opened at start-up
    // The private-recipe rule did not pass at start-up (the member was told). Private
    // recipes are still never offered to others.
    bool IgnorePrivate = false;

    // Identity on the network.
    bool IsMasterUser = false;
    QString LocalIp;
    QString ConnectionIndex;
    QString MyUserKey;
    QDateTime ConnectedAt;

    // Set when the main window begins to close; ends a send that waits for the connection.
    bool Closing = false;
};

} // namespace zestrel
