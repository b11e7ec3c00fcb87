#include "config/NetSettings.h"
#include "app/Text.h"

#include "config/SettingsForm.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimer>

namespace zestrel
{

namespace
{

// LOGFILE names a file inside the program folder. A path that leads elsewhere (absolute,
// or climbing out with "..") is refused, and so is an empty name, which names the folder;
// the log then goes to the default file.
QString LogFileName(AppState &state)
{
    const QString name = ReadNetSetting(state.ProgramFolder, QStringLiteral("LOGFILE"));
    const QString fallback = QString::fromLatin1(kDefaultLogFileName);
    if (TrimSpaces(name).isEmpty())
        return fallback;
    QString slashed = name;
    slashed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const bool absolute = QDir::isAbsolutePath(slashed) || slashed.startsWith(QLatin1Char('/')) ||
                          (slashed.size() > 1 && slashed.at(1) == QLatin1Char(':'));
    const bool climbs = slashed.split(QLatin1Char('/')).contains(QStringLiteral(".."));
    if (!absolute && !climbs)
        return name;
    state.diag.SetStatus(QStringLiteral("LOGFILE \"") + name +
                         QStringLiteral("\" refused: the log file must be inside the program "
                                        "folder. Logging to ") +
                         fallback + QStringLiteral("."));
    return fallback;
}

} // namespace

QString NetSettingsPath(const QString &programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("zestrel.set"));
}

QString ReadNetSetting(const QString &programFolder, const QString &key)
{
    QFile file(NetSettingsPath(programFolder));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray wanted = key.toUtf8() + '=';
    const QByteArray data = file.readAll();
    // Lines end at CR LF, a lone CR or a lone LF.
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = start;
        while (end < data.size() && data.at(end) != '\r' && data.at(end) != '\n')
            ++end;
        const QByteArray line = data.mid(start, end - start);
        if (line.contains(wanted))
            return QString::fromUtf8(line.mid(line.indexOf('=') + 1));
        start = end + 1;
        if (end + 1 < data.size() && data.at(end) == '\r' && data.at(end + 1) == '\n')
            ++start;
    }
    return QString();
}

std::optional<int> ParseConnectTimeout(const QString &text, bool emptyIsZero)
{
    static const QRegularExpression digits(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9]*")));
    const QString t = TrimSpaces(text);
    if (t.isEmpty())
        return emptyIsZero ? std::optional<int>(0) : std::nullopt;
    if (!digits.match(t).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qulonglong v = t.toULongLong(&ok);
    if (!ok || v > 255)
        return std::nullopt;
    return int(v);
}

void LoadNetSettings(AppState &state)
{
    const QString folder = state.ProgramFolder;
    NetSettings &net = state.Net;
    net.LoggingEnabled = NumericValueOf(ReadNetSetting(folder, QStringLiteral("LOG"))) != 0.0;
    net.LogFilePath = QDir(folder).filePath(LogFileName(state));
    net.SettingVersion = ReadNetSetting(folder, QStringLiteral("SETTING_VERSION"));
    net.ServerAddress = ReadNetSetting(folder, QStringLiteral("REMOTE_SERVER_IP"));
    net.ServerPort = ReadNetSetting(folder, QStringLiteral("SERVER_LISTEN_PORT"));
    net.ServerTls =
        TrimSpaces(ReadNetSetting(folder, QStringLiteral("SERVER_TLS"))) == QLatin1String("1");
    net.ConnectTimeout =
        ParseConnectTimeout(ReadNetSetting(folder, QStringLiteral("WINSOCK_CONNECT_TIME_OUT")),
                            true)
            .value_or(0);
    net.BeginMarker = QStringLiteral("*~B~*");
    net.EndMarker = QStringLiteral("*~E~*");
    state.diag.LoggingEnabled = net.LoggingEnabled;
    state.diag.LogFilePath = net.LogFilePath;
}

QString WebSettingValue(const QString &text, const QString &key)
{
    const QString wanted = key + QLatin1Char('=');
    const qsizetype at = text.indexOf(wanted);
    if (at < 0)
        return QString();
    const qsizetype from = at + wanted.size();
    const qsizetype to = text.indexOf(kCrLf, from);
    return to < 0 ? text.mid(from) : text.mid(from, to - from);
}

QString DownloadText(const QUrl &url, int timeoutMs, qint64 maxBytes)
{
    QNetworkAccessManager manager;
    // A proxy cannot reach this machine's own loopback address.
    if (QHostAddress(url.host()).isLoopback() || url.host() == QLatin1String("localhost"))
        manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    QNetworkReply *reply = manager.get(request);

    QByteArray body;
    bool tooBig = false;
    auto take = [&] {
        if (tooBig)
            return;
        body += reply->read(maxBytes + 1 - body.size());
        if (body.size() > maxBytes) {
            tooBig = true;
            reply->abort();
        }
    };
    QObject::connect(reply, &QNetworkReply::readyRead, reply, take);

    // Start-up waits here, but the event loop keeps turning.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    deadline.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec();

    if (!reply->isFinished()) {
        reply->abort();
        return QString();
    }
    take();
    // No HTTP answer at all (refused, unreachable, timed out) gives nothing; an error
    // answer's page is handed on, the caller recognises it.
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (tooBig || !answered)
        return QString();
    return QString::fromUtf8(body);
}

WebUpdate UpdateNetSettingsFromWeb(AppState &state, int timeoutMs)
{
    const QString text = DownloadText(
        QUrl(state.MakerWebAddress + QStringLiteral("/support/zestrel.set")), timeoutMs);
    if (text.isEmpty())
        return WebUpdate::NoCopy;

    auto warn = [&] {
        if (state.Flag(QStringLiteral("WEBWARNING")))
            state.prompter.MessageBox(
                QStringLiteral("There was an error downloading the latest settings file!"),
                QStringLiteral("Warning"), PromptIcon::Information);
    };
    if (text.contains(QLatin1String("<HTML>"))) {
        warn();
        return WebUpdate::ErrorPage;
    }

    const QString version = WebSettingValue(text, QStringLiteral("SETTING_VERSION"));
    if (version == state.Net.SettingVersion)
        return WebUpdate::SameVersion;

    // A copy without a usable time-out is broken; drop it before anything changes.
    // So is one whose values hold line breaks or "=": a key is read from the first line
    // that holds it followed by "=" anywhere, so either would plant other keys (LOG,
    // LOGFILE) in zestrel.set. And one without a server address or port would replace the
    // working ones with nothing.
    const QString timeoutText = WebSettingValue(text, QStringLiteral("WINSOCK_CONNECT_TIME_OUT"));
    const std::optional<int> timeout = ParseConnectTimeout(timeoutText, false);
    const QString address = WebSettingValue(text, QStringLiteral("REMOTE_SERVER_IP"));
    const QString port = WebSettingValue(text, QStringLiteral("SERVER_LISTEN_PORT"));
    auto unsafe = [](const QString &v) {
        return v.contains(QLatin1Char('\r')) || v.contains(QLatin1Char('\n')) ||
               v.contains(QLatin1Char('='));
    };
    if (!timeout || unsafe(version) || unsafe(address) || unsafe(port) ||
        TrimSpaces(address).isEmpty() || TrimSpaces(port).isEmpty()) {
        warn();
        return WebUpdate::Rejected;
    }

    if (state.Setting(QStringLiteral("SKIPWEBVERIFY")) != QLatin1String("1")) {
        const PromptAnswer answer = state.prompter.MessageBox(
            QStringLiteral("A newer settings file has been located on the web.  If you choose not "
                           "to use these settings, you may not be able to connect to the Zestrel "
                           "network!") +
                kCrLf + kCrLf +
                QStringLiteral(
                    "Would you like to use these settings and update you Zestrel.set file?"),
            QStringLiteral("Zestrel"), PromptIcon::Information, PromptButtons::YesNo);
        if (answer != PromptAnswer::Yes)
            return WebUpdate::Declined;
    }

    state.Net.SettingVersion = version;
    state.Net.ServerAddress = address;
    state.Net.ServerPort = port;
    state.Net.ConnectTimeout = *timeout;
    if (!WriteNetSettings(state.ProgramFolder, version, address, port, timeoutText)) {
        state.diag.ShowMessage(QStringLiteral("The new network settings are used for now, but "
                                              "could not be saved to ") +
                                   NetSettingsPath(state.ProgramFolder) + QLatin1Char('.'),
                               QStringLiteral("Zestrel"));
        return WebUpdate::WriteFailed;
    }
    return WebUpdate::Adopted;
}

bool WriteNetSettings(const QString &programFolder, const QString &version, const QString &address,
                      const QString &port, const QString &timeout)
{
    const QString text = QStringLiteral("SETTING_VERSION=") + version + kCrLf +
                         QStringLiteral("REMOTE_SERVER_IP=") + address + kCrLf +
                         QStringLiteral("SERVER_LISTEN_PORT=") + port + kCrLf +
                         QStringLiteral("WINSOCK_CONNECT_TIME_OUT=") + timeout + kCrLf;
    QByteArray data = text.toUtf8();
    // Every other line the member wrote (LOG, LOGFILE, MAX_SOCKS, ...) stays, byte for
    // byte and in its order, after the four new lines; only the old lines of these four
    // keys go. A key is read from the first line that holds it, so the new lines come first.
    QFile old(NetSettingsPath(programFolder));
    if (old.exists()) {
        if (!old.open(QIODevice::ReadOnly))
            return false; // rewriting an unreadable file would lose what it holds
        const QByteArray oldData = old.readAll();
        static const QByteArrayList replaced{"SETTING_VERSION", "REMOTE_SERVER_IP",
                                             "SERVER_LISTEN_PORT", "WINSOCK_CONNECT_TIME_OUT"};
        qsizetype start = 0;
        while (start < oldData.size()) {
            qsizetype end = start;
            while (end < oldData.size() && oldData.at(end) != '\r' && oldData.at(end) != '\n')
                ++end;
            const QByteArray line = oldData.mid(start, end - start);
            const qsizetype eq = line.indexOf('=');
            if (!(eq >= 0 && replaced.contains(line.left(eq))))
                data += line + "\r\n";
            start = end + 1;
            if (end + 1 < oldData.size() && oldData.at(end) == '\r' && oldData.at(end + 1) == '\n')
                ++start;
        }
    }
    // Written beside the old file and renamed over it, so a failed write loses nothing.
    QSaveFile file(NetSettingsPath(programFolder));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace zestrel
