#include "chat/FrameSafety.h"

#include "protocol/Protocol.h"

namespace zestrel
{

namespace
{
QString Marker(std::string_view marker)
{
    return QString::fromLatin1(marker.data(), qsizetype(marker.size()));
}
} // namespace

bool SurvivesFraming(const QString &text)
{
    return !text.contains(QLatin1Char('^')) && !text.contains(Marker(protocol::kBeginMarker)) &&
           !text.contains(Marker(protocol::kEndMarker));
}

bool CheckFraming(Prompter &prompter, const QString &text)
{
    if (SurvivesFraming(text))
        return true;
    prompter.MessageBox(
        QStringLiteral("The text was not sent: it may not contain the character "
                       "\"^\" or the sequences \"%1\" and \"%2\", which the Zestrel "
                       "network uses to frame its messages.\r\n\r\nPlease change "
                       "the text and send it again.")
            .arg(Marker(protocol::kBeginMarker), Marker(protocol::kEndMarker)),
        QStringLiteral("Text not sent"), PromptIcon::Warning);
    return false;
}

} // namespace zestrel
