#include "client/Session.h"

#include "app/Wait.h"
#include "client/Answering.h"
#include "protocol/Protocol.h"
#include "store/AnswerCatalogue.h"

namespace zestrel
{

Session::Session(AppState &app_, TextScreen screen, QObject *parent)
    : QObject(parent), app(app_), connection(app_, dispatcher), handlers(app_, connection),
      identity(app_, std::move(screen), connection), members(app_, connection, tree), storage(app_),
      browser(app_, connection, members, profile, storage), printer(app_, storage, printModules),
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
    // 110, 120, 112 and 105; a recipe reply also shows in the search tab's preview box.
    connect(&storage, &StorageBox::previewTextChanged, &search,
            [this](int box, const QString &text) {
                if (box == 1)
                    search.SetPreviewText(text);
            });
    browser.Register(dispatcher);
    connect(&connection, &Connection::connectStarting, &storage, &StorageBox::EmptyForConnect);
    connect(&connection, &Connection::viewsCleared, &storage, &StorageBox::ResetViews);
    printModules.Register(QLatin1String(kPrintModuleName), [this] {
        return std::make_unique<TextDocumentBuilder>(
            [this](std::unique_ptr<QTextDocument> document) {
                if (PrintPreviewer)
                    PrintPreviewer(std::move(document));
            });
    });
}

void Session::AnswerFrom(RecipeDatabase &db)
{
    RegisterAnswers(dispatcher, db, connection, answerGate);
    browser.BrowseFrom(&db);
    // The answers' catalogue starts building now (a large cookbook off this thread), so
    // it is ready by the time the first requests come.
    db.Catalogue().Current();
}

bool Session::PrepareIdentity()
{
    if (!identity.PrepareIdentity())
        return false;
    showOwnProfile();
    return true;
}

void Session::showOwnProfile()
{
    profile.SetText(0, app.UserName);
    profile.SetText(1, app.LocalIp);
    profile.SetText(2, app.Setting(QStringLiteral("DESCRIPTION")));
    profile.SetText(3, app.Setting(QStringLiteral("EXTENDED")));
}

void Session::ApplyDisplaySettings()
{
    if (!members.MyMemberNode.isValid())
        return;
    members.RenameMyMemberNode(app.UserName);
    if (tree.tvUsersSelection.currentIndex() == QModelIndex(members.MyMemberNode))
        showOwnProfile();
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
