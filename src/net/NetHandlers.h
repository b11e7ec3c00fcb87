// The small handlers of received messages that belong to the connection itself:
// the connection index (117), profile replies (106), the member notices (900, 901),
// the news page address (115) and server broadcasts (118).
#pragma once

#include "app/AppState.h"
#include "net/Connection.h"
#include "net/Dispatcher.h"

#include <QObject>

namespace zestrel
{

class NetHandlers : public QObject
{
    Q_OBJECT
  public:
    NetHandlers(AppState &app, Connection &connection, QObject *parent = nullptr);

    // Registers 104, 106, 115, 117, 118, 900 and 901.
    void Register(Dispatcher &dispatcher);

    void SetConnectionIndex(const QString &index);
    void ShowProfileReply(const QString &payload);
    void ShowSearchTooGeneric(const QString &source);
    void ShowRecipeNotFound(const QString &source);
    void ShowServerBroadcast(const QString &payload);
    void ShowWebPage(const QString &address);

    // The last address the server asked the news page to show.
    QString NewsAddress;

  signals:
    // The news page should navigate to this address.
    void webPageRequested(const QString &address);
    // Another member's profile arrived (106): description and extended information.
    void profileReceived(const QString &description, const QString &extended);

  private:
    AppState &app_;
    Connection &connection_;
};

} // namespace zestrel
