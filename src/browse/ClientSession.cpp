#include "browse/ClientSession.h"

#include "app/Wait.h"
#include "protocol/protocol.h"

namespace zestrel
{

ClientSession::ClientSession(AppState &app_, TextScreen screen, QObject *parent)
    : QObject(parent), app(app_), connection(app_, dispatcher), handlers(app_, connection, profile),
      identity(app_, std::move(screen), connection, profile), members(app_, connection)
{
    if (app.FieldSep.isEmpty())
        app.InitSeparators();
    handlers.Register(dispatcher);
    members.Register(dispatcher);
    connection.SetMemberTree(&members);
}

bool ClientSession::Start()
{
    if (!identity.PrepareIdentity())
        return false;
    LetEventsRun();
    return connection.ConnectToServer();
}

void ClientSession::SignOffAndClose()
{
    app.Closing = true;
    connection.SendMessage(protocol::code::SignOff, app.MyUserKey, QString(), QString());
    LetEventsRun();
    connection.CloseConnection();
}

} // namespace zestrel
