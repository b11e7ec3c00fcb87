#include "net/Identity.h"

#include "app/Text.h"
#include "app/Wait.h"
#include "config/Ini.h"

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
        // Characters as the member typed them: a surrogate pair is one character.
        const qsizetype length = name.toUcs4().size();
        if (length > MaxNameLength || length < MinNameLength) {
            app_.prompter.MessageBox(QStringLiteral("You must enter a username between 3 and 20 "
                                                    "characters to be able to log on to the "
                                                    "Zestrel Network!"),
                                     QStringLiteral("No Username"), PromptIcon::Error);
            name.clear();
            continue;
        }
        if (screen_ && !screen_(app_.prompter, name)) {
            name.clear();
            continue;
        }
        if (HasReservedWord(name)) {
            const QString password = app_.prompter.InputBox(
                QStringLiteral("Enter the password for the master user!"),
                QStringLiteral("Server Password"), QString(), PromptEcho::Password);
            if (password != MasterPassword) {
                app_.prompter.MessageBox(
                    QStringLiteral("This username is not permitted because of reserved words!"),
                    QStringLiteral("QEVO Server conflict"), PromptIcon::Information);
                name.clear();
                continue;
            }
            app_.UserName = name;
            storeName();
            app_.IsMasterUser = true;
            return true;
        }
        app_.UserName = name;
        storeName();
        return true;
    }
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
