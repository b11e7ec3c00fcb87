#include "support/HttpServer.h"

#include <QHostAddress>
#include <QTcpSocket>

namespace zestrel::test
{

HttpServer::HttpServer(QObject *parent) : QObject(parent)
{
    connect(&server_, &QTcpServer::newConnection, this, &HttpServer::onNewConnection);
}

bool HttpServer::start()
{
    return server_.listen(QHostAddress::LocalHost, 0);
}

QString HttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(server_.serverPort());
}

void HttpServer::setResponse(int status, const QByteArray &body)
{
    status_ = status;
    body_ = body;
}

void HttpServer::setRoute(const QByteArray &path, int status, const QByteArray &body,
                          const QByteArray &headers, bool silent)
{
    routes_.insert(path, {status, body, headers, silent});
}

void HttpServer::onNewConnection()
{
    while (QTcpSocket *socket = server_.nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            // The request so far lives on the socket itself, so it goes when the socket goes.
            QByteArray request = socket->property("request").toByteArray() + socket->readAll();
            socket->setProperty("request", request);
            if (request.size() > 64 * 1024) { // not a request we serve
                socket->abort();
                return;
            }
            if (!request.contains("\r\n\r\n"))
                return;
            const QList<QByteArray> requestLine = request.left(request.indexOf("\r\n")).split(' ');
            const QByteArray path = requestLine.size() > 1 ? requestLine.at(1) : QByteArray();
            socket->setProperty("request", QByteArray());
            requestPaths.append(path);
            emit requestReceived(path);
            const auto route = routes_.constFind(path);
            const Route answer =
                route != routes_.constEnd() ? *route : Route{status_, body_, {}, silent_};
            if (answer.silent)
                return;
            const QByteArray reason = answer.status == 200 ? "OK" : "Error";
            QByteArray reply = "HTTP/1.0 " + QByteArray::number(answer.status) + ' ' + reason +
                               "\r\nContent-Type: text/plain\r\nContent-Length: " +
                               QByteArray::number(answer.body.size()) + "\r\n" + answer.headers +
                               "Connection: close\r\n\r\n" + answer.body;
            socket->write(reply);
            socket->disconnectFromHost();
        });
    }
}

} // namespace zestrel::test
