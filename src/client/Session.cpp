#include "client/Session.h"

#include "app/Wait.h"
#include "client/Answering.h"
#include "protocol/Protocol.h"

namespace zestrel
{

Session::Session(AppState &app_, TextScreen screen, QObject *parent)
    : QObject(parent), app(app_), connection(app_, dispatcher), handlers(app_, connection),
      identity(app_, std::move(screen), connection), members(app_, connection, tree),
      search(app_, connection), chat(app_, connection), recipients(members),
      messages(app_, connection, recipients)
{
    if (app.FieldSep.isEmpty())
        app.InitSeparators();
    connection.SetMemberTree(&members);
    registerHandlers();
}

void Session::registerHandlers()
{
    handlers.Register(dispatcher);
    connect(&handlers, &NetHandlers::profileReceived, this,
            [this](const QString &description, const QString &extended) {
                profile.SetText(2, description);
                profile.SetText(3, extended);
            });
    members.Register(dispatcher);
    search.Register(dispatcher);
    chat.Register(dispatcher);
    messages.Register(dispatcher);
    connect(&connection, &Connection::viewsCleared, this, [this] {
        search.ClearViews();
        chat.ClearViews();
    });
}

void Session::AnswerFrom(RecipeDatabase &db)
{
    RegisterAnswers(dispatcher, db, connection);
}

bool Session::PrepareIdentity()
{
    if (!identity.PrepareIdentity())
        return false;
    profile.SetText(0, app.UserName);
    profile.SetText(1, app.LocalIp);
    profile.SetText(2, app.Setting(QStringLiteral("DESCRIPTION")));
    profile.SetText(3, app.Setting(QStringLiteral("EXTENDED")));
    return true;
}

bool Session::Start()
{
    if (!PrepareIdentity())
        return false;
    LetEventsRun();
    return connection.ConnectToServer();
}

void Session::SignOffAndClose()
{
    app.Closing = true;
    connection.SendMessage(protocol::code::SignOff, app.MyUserKey, QString(), QString());
    LetEventsRun();
    connection.CloseConnection();
}

} // namespace zestrel
