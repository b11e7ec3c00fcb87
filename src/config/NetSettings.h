// zestrel.set: where the network server is, how long to wait for it, whether to log;
// and its web copy, adopted at start-up when its version differs.
#pragma once

#include "app/AppState.h"

#include <QString>
#include <QUrl>

#include <optional>

namespace zestrel
{

// The web copy is a few lines; anything bigger is not it.
inline constexpr qint64 kMaxWebSettingsBytes = 64 * 1024;
inline constexpr int kWebSettingsTimeoutMs = 5000;

// The log file in the program folder when LOGFILE names none there.
inline constexpr const char *kDefaultLogFileName = "zestrel.log";

// programFolder/zestrel.set
QString NetSettingsPath(const QString &programFolder);

// Value after the first "=" of the first line that holds `key` followed by "=" anywhere;
// empty when the file or the key is missing.
QString ReadNetSetting(const QString &programFolder, const QString &key);

// A connect time-out: a whole number 0..255 (surrounding spaces allowed); an empty text
// is allowed only when `emptyIsZero`. nullopt when the text is no such number.
std::optional<int> ParseConnectTimeout(const QString &text, bool emptyIsZero);

// Fills state.Net from zestrel.set and switches the log on or off (state.diag).
// A time-out that is no whole number 0..255 counts as 0. A LOGFILE that is empty or leads
// out of the program folder gives kDefaultLogFileName (the latter with a status).
void LoadNetSettings(AppState &state);

// Value of `key` in downloaded text: from after the first "key=" to the next CR LF or
// the end of the text; empty when the key is missing.
QString WebSettingValue(const QString &text, const QString &key);

enum class WebUpdate {
    NoCopy,      // nothing downloaded (no answer, time-out, empty, too big)
    ErrorPage,   // the web server answered with an error page
    SameVersion, // the web copy has the local version
    Rejected,    // no valid time-out, no address or port, or a value holding a break or "="
    Declined,    // the member said No
    Adopted,     // values taken over and zestrel.set rewritten
    WriteFailed, // values taken over for this run; zestrel.set could not be rewritten
};

// Fetches MakerWebAddress + "/support/zestrel.set" and adopts it when its version
// differs from the local one (asking first unless SKIPWEBVERIFY is "1").
WebUpdate UpdateNetSettingsFromWeb(AppState &state, int timeoutMs = kWebSettingsTimeoutMs);

// Writes the four values as the first lines of zestrel.set and keeps every other line of
// the old file after them. false when it could not be read or written (the old file then
// stays as it was).
bool WriteNetSettings(const QString &programFolder, const QString &version, const QString &address,
                      const QString &port, const QString &timeout);

// Downloads a small text file, running the event loop meanwhile. Empty text when nothing
// came back within `timeoutMs`, no server answered or the body exceeded `maxBytes`.
// Bodies of HTTP error answers are returned as they came.
QString DownloadText(const QUrl &url, int timeoutMs, qint64 maxBytes = kMaxWebSettingsBytes);

} // namespace zestrel
