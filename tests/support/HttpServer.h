// A tiny HTTP/1.0 server on 127.0.0.1 with a free port: answers every GET with one
// configured status and body, then closes the connection.
#pragma once

#include <QByteArray>
#include <QHash>
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
    // An answer for one path instead of the configured one; `headers` are extra header
    // lines ("Location: /next\r\n"). A silent route never answers.
    void setRoute(const QByteArray &path, int status, const QByteArray &body,
                  const QByteArray &headers = {}, bool silent = false);

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
    struct Route {
        int status;
        QByteArray body;
        QByteArray headers;
        bool silent;
    };
    QHash<QByteArray, Route> routes_;
};

} // namespace zestrel::test
