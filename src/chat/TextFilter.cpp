#include "chat/TextFilter.h"

namespace zestrel
{

const QStringList &ContainedWords()
{
    static const QStringList words{
        QStringLiteral("FUCK"),     QStringLiteral("SHIT"),  QStringLiteral("CUNT"),
        QStringLiteral("WANKER"),   QStringLiteral("BITCH"), QStringLiteral("BASTARD"),
        QStringLiteral("DICKHEAD"),
    };
    return words;
}

const QStringList &WholeTextWords()
{
    static const QStringList words{QStringLiteral("ASS"), QStringLiteral("DICK"),
                                   QStringLiteral("PRICK")};
    return words;
}

bool ScreenText(Prompter &prompter, const QString &text)
{
    // Only a to z change: a full Unicode upper-casing would turn "aß" into "ASS".
    QString upper = text;
    for (QChar &c : upper)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    bool refused = false;
    for (const QString &word : ContainedWords())
        refused = upper.contains(word) || refused;
    for (const QString &word : WholeTextWords())
        refused = upper == word || refused;
    if (!refused)
        return true;
    prompter.MessageBox(QStringLiteral("The Zestrel Network may contain users who do not want to "
                                       "see your unwelcomed comments.\r\n\r\nPlease watch your "
                                       "language!"),
                        QStringLiteral("Foul language detected"), PromptIcon::Error,
                        PromptButtons::Ok);
    return false;
}

} // namespace zestrel
