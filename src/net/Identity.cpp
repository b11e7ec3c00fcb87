#include "net/Identity.h"

#include "app/Text.h"
#include "app/Wait.h"
#include "config/Ini.h"
#include "protocol/Protocol.h"

namespace zestrel
{

Identity::Identity(AppState &app, TextScreen screen, Connection &connection)
    : app_(app), screen_(std::move(screen)), connection_(connection)
{
}

bool Identity::HasReservedWord(const QString &name)
{
    const QString upper = name.toUpper();
    return upper.contains(QLatin1String("QEVO")) || upper.contains(QLatin1String("SERVER"));
}

QString Identity::RefusedPart(const QString &name)
{
    // The relay refuses a sign-in whose name holds any of these, and the member would
    // only see the connection end at every start.
    for (const QChar ch : name) {
        if (ch.unicode() < 0x20 || ch.unicode() == 0x7f)
            return QStringLiteral("a control character (code %1)").arg(ch.unicode());
        if (ch == QLatin1Char('^'))
            return QStringLiteral("the character \"^\"");
    }
    for (const std::string_view marker : {protocol::kBeginMarker, protocol::kEndMarker}) {
        const QString text = QString::fromLatin1(marker.data(), qsizetype(marker.size()));
        if (name.contains(text))
            return QStringLiteral("the sequence \"") + text + QStringLiteral("\"");
    }
    return {};
}

std::optional<bool> Identity::CheckName(const QString &name)
{
    // Characters as the member typed them: a surrogate pair is one character.
    const qsizetype length = name.toUcs4().size();
    if (length > MaxNameLength || length < MinNameLength) {
        app_.prompter.MessageBox(QStringLiteral("You must enter a username between 3 and 20 "
                                                "characters to be able to log on to the "
                                                "Zestrel Network!"),
                                 QStringLiteral("No Username"), PromptIcon::Error);
        return std::nullopt;
    }
    if (const QString refused = RefusedPart(name); !refused.isEmpty()) {
        app_.prompter.MessageBox(QStringLiteral("The username may not contain ") + refused +
                                     QStringLiteral(", which the Zestrel network uses to frame "
                                                    "its messages. Please choose another name."),
                                 QStringLiteral("Username not allowed"), PromptIcon::Error);
        return std::nullopt;
    }
    if (screen_ && !screen_(app_.prompter, name))
        return std::nullopt;
    if (!HasReservedWord(name))
        return false;
    const QString password =
        app_.prompter.InputBox(QStringLiteral("Enter the password for the master user!"),
                               QStringLiteral("Server Password"), QString(), PromptEcho::Password);
    if (password != MasterPassword) {
        app_.prompter.MessageBox(
            QStringLiteral("This username is not permitted because of reserved words!"),
            QStringLiteral("QEVO Server conflict"), PromptIcon::Information);
        return std::nullopt;
    }
    return true;
}

bool Identity::AskUserName()
{
    app_.IsMasterUser = false;
    QString name = TrimSpaces(app_.Setting(QStringLiteral("USERNAME")));
    for (;;) {
        LetEventsRun();
        if (name.isEmpty())
            name = TrimSpaces(
                app_.prompter.InputBox(QStringLiteral("Please enter a username (3-20 characters)!"),
                                       QStringLiteral("Username")));
        if (name.isEmpty()) {
            app_.UserName.clear();
            return false;
        }
        LetEventsRun();
        const std::optional<bool> master = CheckName(name);
        if (!master) {
            name.clear();
            continue;
        }
        app_.UserName = name;
        storeName();
        app_.IsMasterUser = *master;
        return true;
    }
}

bool Identity::AcceptChangedName(const QString &typed, const QString &previous)
{
    const QString name = TrimSpaces(typed);
    if (name == previous)
        return true;
    const std::optional<bool> master = name.isEmpty() ? std::nullopt : CheckName(name);
    if (!master) {
        if (name.isEmpty())
            app_.prompter.MessageBox(QStringLiteral("You must enter a username between 3 and 20 "
                                                    "characters to be able to log on to the "
                                                    "Zestrel Network!"),
                                     QStringLiteral("No Username"), PromptIcon::Error);
        return false;
    }
    app_.IsMasterUser = *master;
    return true;
}

bool Identity::storeName()
{
    app_.Settings.insert(QStringLiteral("USERNAME"), app_.UserName);
    QString error;
    if (WriteIniKey(app_.SettingsFilePath, QStringLiteral("PROFILE"),
                    QStringLiteral("USERNAME=") + app_.UserName, &error))
        return true;
    // The name is good for this run even when the file cannot take it.
    app_.diag.ReportError(75, error, QStringLiteral("WriteIniKey"));
    return false;
}

bool Identity::PrepareIdentity()
{
    if (!AskUserName())
        return false;
    app_.LocalIp = connection_.LocalAddress();
    return true;
}

} // namespace zestrel
