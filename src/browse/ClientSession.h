// One whole client: connection, dispatch, the connection's own handlers, the
// sign-in identity and the members directory, wired together. The main window
// holds one; tests create as many as they need.
#pragma once

#include "app/AppState.h"
#include "browse/Members.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"
#include "net/Identity.h"
#include "net/NetHandlers.h"
#include "net/ProfileBoxes.h"

#include <QObject>

namespace zestrel
{

class ClientSession : public QObject
{
    Q_OBJECT
  public:
    // screen is the outgoing-text filter (ScreenText) used on the user name.
    ClientSession(AppState &app, TextScreen screen, QObject *parent = nullptr);

    AppState &app;
    Dispatcher dispatcher;
    ProfileBoxes profile;
    Connection connection;
    NetHandlers handlers;
    Identity identity;
    Members members;

    // The identity and connection steps of the window's start: asks for the name,
    // then connects and signs in. False when no name was given (nothing was sent)
    // or the connection failed.
    bool Start();
    // Leaving: sign-off, then the socket is closed.
    void SignOffAndClose();
};

} // namespace zestrel
