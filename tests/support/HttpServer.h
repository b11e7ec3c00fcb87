// A tiny HTTP/1.0 server on 127.0.0.1 with a free port: answers every GET with one
// configured status and body, then closes the connection.
#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>

namespace zestrel::test
{

class HttpServer : public QObject
{
    Q_OBJECT
  public:
    explicit HttpServer(QObject *parent = nullptr);

    bool start();
    quint16 port() const { return server_.serverPort(); }
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;

    void setResponse(int status, const QByteArray &body);
    // Accept connections but never answer (for time-outs).
    void setSilent(bool silent) { silent_ = silent; }

    // Paths of the requests received, in order.
    QList<QByteArray> requestPaths;

  signals:
    void requestReceived(const QByteArray &path);

  private:
    void onNewConnection();

    QTcpServer server_;
    int status_ = 200;
    QByteArray body_;
    bool silent_ = false;
};

} // namespace zestrel::test
