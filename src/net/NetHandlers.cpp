#include "net/NetHandlers.h"

#include "protocol/Protocol.h"
#include "wire/Frame.h"
#include "wire/Payloads.h"

namespace zestrel
{

NetHandlers::NetHandlers(AppState &app, Connection &connection, QObject *parent)
    : QObject(parent), app_(app), connection_(connection)
{
}

void NetHandlers::Register(Dispatcher &dispatcher)
{
    namespace code = protocol::code;
    dispatcher.Register(code::Ignored104, [](const QString &, const QString &) {});
    dispatcher.Register(code::ProfileReply,
                        [this](const QString &, const QString &p) { ShowProfileReply(p); });
    dispatcher.Register(code::ShowWebPage,
                        [this](const QString &, const QString &p) { ShowWebPage(p); });
    dispatcher.Register(code::ConnectionIndex,
                        [this](const QString &, const QString &p) { SetConnectionIndex(p); });
    dispatcher.Register(code::ServerBroadcast,
                        [this](const QString &, const QString &p) { ShowServerBroadcast(p); });
    dispatcher.Register(code::SearchTooGeneric,
                        [this](const QString &s, const QString &) { ShowSearchTooGeneric(s); });
    dispatcher.Register(code::RecipeNotFound,
                        [this](const QString &s, const QString &) { ShowRecipeNotFound(s); });
}

void NetHandlers::SetConnectionIndex(const QString &index)
{
    app_.ConnectionIndex = index;
    app_.LocalIp = connection_.LocalAddress();
    app_.MyUserKey = app_.LocalIp + app_.FieldSep + app_.UserName + app_.FieldSep + index;
}

void NetHandlers::ShowProfileReply(const QString &payload)
{
    // A reply without the separator leaves the extended information empty rather
    // than stopping the messages behind it.
    const wire::Profile profile = wire::DecodeProfile(payload);
    emit profileReceived(profile.description, profile.extended);
}

void NetHandlers::ShowSearchTooGeneric(const QString &source)
{
    if (!connection_.requests.TakeSearchTooGeneric(source))
        return; // no search of ours it could be about
    app_.diag.ShowMessage(QStringLiteral("The search you performed was too generic and yeilded "
                                         "too many results from user [") +
                              UserKeyPart(source, 1) +
                              QStringLiteral("]!  You will see a partial list of results from "
                                             "this user.\r\n\r\nPlease me more specific with "
                                             "your search criteria!"),
                          QStringLiteral("Search too generic"));
}

void NetHandlers::ShowRecipeNotFound(const QString &source)
{
    if (!connection_.requests.TakeRecipeNotFound(source))
        return; // we asked this member for no recipe
    app_.diag.ShowMessage(QStringLiteral("The recipe you requested from user [") +
                              UserKeyPart(source, 1) + QStringLiteral("] was not found!"),
                          QStringLiteral("Recipe Not Found"));
}

void NetHandlers::ShowServerBroadcast(const QString &payload)
{
    app_.diag.ShowMessage(payload, QStringLiteral("Server Broadcast Message"));
}

void NetHandlers::ShowWebPage(const QString &address)
{
    NewsAddress = address;
    emit webPageRequested(address);
}

} // namespace zestrel
