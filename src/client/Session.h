// One member's whole client without a window: the connection and dispatch, the
// connection's own handlers, the sign-in identity, the members directory with the
// browse tree, the profile boxes, the search, the chat rooms and instant messages.
// Every feature registers its handlers with the dispatcher here, in one place. The
// program holds one; tests create as many as they need.
#pragma once

#include "app/AppState.h"
#include "browse/BrowseTree.h"
#include "browse/Browser.h"
#include "browse/MemberDirectory.h"
#include "browse/Printing.h"
#include "browse/ProfileBoxes.h"
#include "browse/StorageBox.h"
#include "chat/ChatRooms.h"
#include "chat/InstantMessages.h"
#include "client/TreeRecipients.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"
#include "net/Identity.h"
#include "net/NetHandlers.h"
#include "net/RequestGate.h"
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
    StorageBox storage;
    Browser browser;
    // The print modules by name; the session installs ours as "Pagelark.cPagelark".
    PrintModules printModules;
    Printer printer;
    // What our print module does with the finished document (the window shows a
    // print preview; unset, the document is dropped).
    TextDocumentBuilder::Previewer PrintPreviewer;
    SearchModel search;
    ChatRooms chat;
    TreeRecipients recipients;
    InstantMessages messages;
    // Bounds the rate of answers each requesting member gets.
    RequestGate answerGate;

    // Answers other members' requests from this recipe database, and browses the own
    // member's recipes in it (the database must outlive the session).
    void AnswerFrom(RecipeDatabase &db);

    // Asks for the user name, then shows the own profile in the profile boxes.
    // False when the member gave no name.
    bool PrepareIdentity();
    // The identity and connection steps of the window's start: asks for the name,
    // then connects and signs in. False when no name was given (nothing was sent)
    // or the connection failed.
    bool Start();
    // After the settings changed: the own member node shows the user name, and the
    // profile boxes show the own profile again while the own node is selected.
    void ApplyDisplaySettings();
    // Leaving: sign-off, then the socket is closed.
    void SignOffAndClose();

  private:
    void registerHandlers();
    void showOwnProfile();
};

} // namespace zestrel
