// One member's whole client without a window: the connection and dispatch, the
// connection's own handlers, the sign-in identity, the members directory with the
// browse tree, the profile boxes, the search, the chat rooms and instant messages.
// Every feature registers its handlers with the dispatcher here, in one place. The
// program holds one; tests create as many as they need.
#pragma once

#include "app/AppState.h"
#include "browse/BrowseTree.h"
#include "browse/MemberDirectory.h"
#include "browse/ProfileBoxes.h"
#include "chat/ChatRooms.h"
#include "chat/InstantMessages.h"
#include "client/TreeRecipients.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"
#include "net/Identity.h"
#include "net/NetHandlers.h"
#include "search/SearchModel.h"

#include <QObject>

namespace zestrel
{

class RecipeDatabase;

class Session : public QObject
{
    Q_OBJECT
  public:
    // screen is the outgoing-text filter (ScreenText) used on the user name.
    Session(AppState &app, TextScreen screen, QObject *parent = nullptr);

    AppState &app;
    Dispatcher dispatcher;
    ProfileBoxes profile;
    Connection connection;
    NetHandlers handlers;
    Identity identity;
    BrowseTree tree;
    MemberDirectory members;
    SearchModel search;
    ChatRooms chat;
    TreeRecipients recipients;
    InstantMessages messages;

    // Answers other members' requests from this recipe database (which must outlive
    // the session).
    void AnswerFrom(RecipeDatabase &db);

    // Asks for the user name, then shows the own profile in the profile boxes.
    // False when the member gave no name.
    bool PrepareIdentity();
    // The identity and connection steps of the window's start: asks for the name,
    // then connects and signs in. False when no name was given (nothing was sent)
    // or the connection failed.
    bool Start();
    // Leaving: sign-off, then the socket is closed.
    void SignOffAndClose();

  private:
    void registerHandlers();
};

} // namespace zestrel
