#include "chat/InstantMessages.h"

#include "app/Text.h"
#include "chat/FrameSafety.h"
#include "protocol/Protocol.h"
#include "wire/Frame.h"

namespace zestrel
{

InstantMessages::InstantMessages(AppState &app, Connection &connection, RecipientSource &recipients,
                                 QObject *parent)
    : QObject(parent), app_(app), connection_(connection), recipients_(recipients)
{
}

void InstantMessages::Register(Dispatcher &dispatcher)
{
    dispatcher.Register(protocol::code::InstantMessage, [this](const QString &s, const QString &p) {
        ProcessInstantMessage(s, p);
    });
}

void InstantMessages::mnuSendMessage_Click()
{
    if (app_.Flag(QStringLiteral("INSTANTMESSAGE"))) {
        app_.prompter.MessageBox(QStringLiteral("You have Instant Messages disabled in your "
                                                "settings!"),
                                 QStringLiteral("Instant Message Disabled"), PromptIcon::Error);
        return;
    }
    GatherInfoIM();
}

void InstantMessages::GatherInfoIM()
{
    // The prompt names the selected node: without one there is nobody to ask about.
    const std::optional<QString> nodeText = recipients_.SelectedNodeText();
    if (!nodeText) {
        app_.prompter.MessageBox(QStringLiteral("Please select the member you want to send a "
                                                "message to in the Browse for Recipes tab "
                                                "first."),
                                 QStringLiteral("Instant Message"), PromptIcon::Information);
        return;
    }
    recipients_.RememberRecipient();
    const QString prompt = QStringLiteral("Enter the message you would like to send (200 char "
                                          "limit) to ") +
                           *nodeText + QStringLiteral(".");
    QString typed;
    QString text;
    for (;;) {
        typed = app_.prompter.InputBox(prompt, QStringLiteral("Instant Message"), typed);
        text = TrimSpaces(typed);
        if (text.isEmpty())
            return;
        text = LeftChars(text, kMaxChars);
        // A text the framing would destroy is refused; the prompt comes back with it.
        if (CheckFraming(app_.prompter, text))
            break;
    }
    SendInstantMessage(text, recipients_.RecipientKey());
}

void InstantMessages::SendInstantMessage(const QString &pMsg, const QString &pDestination)
{
    emit busyChanged(true);
    emit messageSent(pDestination, pMsg);
    if (pDestination != app_.MyUserKey)
        connection_.SendMessage(protocol::code::InstantMessage, app_.MyUserKey, pDestination, pMsg);
    else
        ProcessInstantMessage(app_.MyUserKey, pMsg);
    emit busyChanged(false);
}

void InstantMessages::ProcessInstantMessage(const QString &pSource, const QString &pMessage)
{
    const QString name = UserKeyPart(pSource, 1);
    app_.diag.SetStatus(QStringLiteral("Inst. Msg. from: ") + name);
    if (pSource != app_.MyUserKey) {
        // An automatic reply is never answered automatically, so two members who both
        // answer automatically exchange one reply each instead of flooding each other.
        const bool automatic = pMessage == MinimizedReply() || pMessage == DisabledReply();
        if (connection_.Minimized) {
            if (!automatic)
                SendInstantMessage(MinimizedReply(), pSource);
            return;
        }
        // Switched off means nothing from another member is shown, not even a text that
        // reads like an automatic reply.
        if (app_.Flag(QStringLiteral("INSTANTMESSAGE"))) {
            if (!automatic)
                SendInstantMessage(DisabledReply(), pSource);
            return;
        }
    }
    app_.diag.ShowMessage(pMessage, QStringLiteral("Instant Message from: ") + name);
}

} // namespace zestrel
