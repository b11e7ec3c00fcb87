// Private messages between members: "Send &Message", the prompt, the
// 200-character cut, sending (121, or locally to oneself), showing what arrives
// and the two automatic replies.
#pragma once

#include "app/AppState.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"

#include <QObject>
#include <optional>

namespace zestrel
{

// Where the recipient comes from: the browse tree's selection. The browse layer
// implements it, so instant messages do not depend on the tree itself.
class RecipientSource
{
  public:
    virtual ~RecipientSource() = default;
    // The text of the tree's selected node; nullopt when no node is selected.
    virtual std::optional<QString> SelectedNodeText() const = 0;
    // Remembers the member node at or above the selected node as the recipient; a
    // selection without a member node leaves the previous recipient in place.
    virtual void RememberRecipient() = 0;
    // The UserKey of the remembered recipient; empty when no listed member has it.
    virtual QString RecipientKey() const = 0;
};

class InstantMessages : public QObject
{
    Q_OBJECT
  public:
    static constexpr qsizetype kMaxChars = 200;

    InstantMessages(AppState &app, Connection &connection, RecipientSource &recipients,
                    QObject *parent = nullptr);

    static QString MinimizedReply()
    {
        return QStringLiteral("This user has Zestrel minimized and can not respond to messages!");
    }
    static QString DisabledReply()
    {
        return QStringLiteral("This user has instant messaging disabled!");
    }

    // Registers 121 (ProcessInstantMessage).
    void Register(Dispatcher &dispatcher);

    // The menu item "Send &Message".
    void mnuSendMessage_Click();
    void GatherInfoIM();
    void SendInstantMessage(const QString &pMsg, const QString &pDestination);
    void ProcessInstantMessage(const QString &pSource, const QString &pMessage);

  signals:
    // One message left (over the network or handed over locally).
    void messageSent(const QString &destination, const QString &text);
    void busyChanged(bool busy);

  private:
    AppState &app_;
    Connection &connection_;
    RecipientSource &recipients_;
};

} // namespace zestrel
