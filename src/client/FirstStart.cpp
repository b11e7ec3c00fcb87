#include "client/FirstStart.h"

#include "app/Diagnostics.h"
#include "app/Prompter.h"
#include "config/NetSettings.h"

#include <QDir>
#include <QHostAddress>

namespace zestrel
{

namespace
{
const QString kCrLf = QStringLiteral("\r\n");

bool IsHostName(const QString &host)
{
    if (host.isEmpty() || host.size() > kMaxRelayAddressChars)
        return false;
    for (const QChar c : host) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') ||
                        (u >= '0' && u <= '9') || u == '.' || u == '-';
        if (!ok)
            return false;
    }
    return host.front() != QLatin1Char('.') && host.front() != QLatin1Char('-');
}

std::optional<QString> ParsePort(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const int port = text.toInt();
    if (port < 1 || port > 65535)
        return std::nullopt;
    return QString::number(port);
}
} // namespace

std::optional<RelayPlace> ParseRelayPlace(const QString &typed)
{
    const QString text = typed.trimmed();
    if (text.size() > kMaxRelayAddressChars + 8)
        return std::nullopt;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return std::nullopt;
    QString host = text.left(colon);
    const std::optional<QString> port = ParsePort(text.mid(colon + 1));
    if (!port)
        return std::nullopt;
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
        QHostAddress address;
        if (!address.setAddress(host) || address.protocol() != QAbstractSocket::IPv6Protocol)
            return std::nullopt;
        return RelayPlace{host, *port};
    }
    if (!IsHostName(host))
        return std::nullopt;
    return RelayPlace{host, *port};
}

QString RelayQuestionTitle()
{
    return QStringLiteral("Zestrel Relay");
}

QString RelayQuestionText()
{
    return QStringLiteral("Zestrel connects to the recipe network through a relay.\n"
                          "Enter the relay's address and port (your network's operator gives "
                          "them to you),\nfor example relay.example.org:7520");
}

QString RelayRefusalText()
{
    return QStringLiteral("That is not a relay's address and port. Enter them as address:port, "
                          "for example relay.example.org:7520 or [2001:db8::1]:7520.");
}

bool AskForRelay(AppState &app)
{
    for (;;) {
        const QString typed = app.prompter.InputBox(RelayQuestionText(), RelayQuestionTitle());
        if (typed.trimmed().isEmpty())
            return false; // cancelled: the connection will say the relay is not reachable
        const std::optional<RelayPlace> place = ParseRelayPlace(typed);
        if (!place) {
            app.prompter.MessageBox(RelayRefusalText(), RelayQuestionTitle(), PromptIcon::Warning);
            continue;
        }
        if (WriteNetSettings(app.ProgramFolder, QString::fromLatin1(kFirstSettingVersion),
                             place->address, place->port,
                             QString::fromLatin1(kFirstConnectTimeout)))
            return true;
        app.prompter.MessageBox(QStringLiteral("The network settings could not be written to ") +
                                    QDir::toNativeSeparators(NetSettingsPath(app.ProgramFolder)) +
                                    QStringLiteral("."),
                                RelayQuestionTitle(), PromptIcon::Warning);
        return false;
    }
}

QString NewCookbookTitle()
{
    return QStringLiteral("No Cookbook");
}

QString NewCookbookText(const QString &folder)
{
    return QStringLiteral("Zestrel keeps your own recipes, and the ones you import from other "
                          "members, in a cookbook. There is none in ") +
           QDir::toNativeSeparators(folder) + QStringLiteral(" yet.") + kCrLf + kCrLf +
           QStringLiteral("Create an empty cookbook there now? You can then write your recipes "
                          "down with the Zestrel Cookbook.");
}

bool OfferNewCookbook(AppState &app, const QString &folder,
                      const std::function<bool(QString *error)> &create)
{
    if (app.prompter.MessageBox(NewCookbookText(folder), NewCookbookTitle(), PromptIcon::Question,
                                PromptButtons::YesNo) != PromptAnswer::Yes)
        return false;
    QString error;
    if (create(&error))
        return true;
    app.prompter.MessageBox(QStringLiteral("The cookbook could not be created in ") +
                                QDir::toNativeSeparators(folder) + QStringLiteral(":") + kCrLf +
                                kCrLf + error,
                            NewCookbookTitle(), PromptIcon::Warning);
    return false;
}

} // namespace zestrel
