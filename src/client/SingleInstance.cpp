#include "client/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

namespace zestrel
{

namespace
{
const QByteArray kShowRequest = "SHOW\n";
// Local connects either succeed or fail at once; this only bounds a stuck peer.
constexpr int kConnectWaitMs = 1000;
} // namespace

SingleInstance::SingleInstance(const QString &programFolder, QObject *parent)
    : QObject(parent), name_(ServerName(programFolder))
{
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::ServerName(const QString &programFolder)
{
    // A hash keeps the name short and free of path characters; the user id keeps
    // two users of one shared folder apart.
    QString folder = QFileInfo(programFolder).canonicalFilePath();
    if (folder.isEmpty())
        folder = QDir::cleanPath(QDir(programFolder).absolutePath());
    const QByteArray hash =
        QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("zestrel-%1-%2")
        .arg(qEnvironmentVariable("USER"), QString::fromLatin1(hash));
}

bool SingleInstance::FindRunningInstance()
{
    found_ = std::make_unique<QLocalSocket>();
    found_->connectToServer(name_);
    if (found_->waitForConnected(kConnectWaitMs))
        return true;
    found_.reset();
    return false;
}

bool SingleInstance::RequestShow()
{
    if (!found_ || found_->state() != QLocalSocket::ConnectedState)
        return false;
    found_->write(kShowRequest);
    const bool sent = found_->waitForBytesWritten(kConnectWaitMs);
    found_->disconnectFromServer();
    found_.reset();
    return sent;
}

void SingleInstance::Release()
{
    if (found_)
        found_->disconnectFromServer();
    found_.reset();
}

bool SingleInstance::Listen()
{
    if (server_)
        return server_->isListening();
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    if (server_->listen(name_))
        return true;
    // Nobody answered FindRunningInstance, so a socket file here is stale.
    QLocalServer::removeServer(name_);
    return server_->listen(name_);
}

bool SingleInstance::isListening() const
{
    return server_ && server_->isListening();
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket *peer = server_->nextPendingConnection()) {
        connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
        connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
            // Only the one fixed request is understood; anything else is dropped,
            // and a peer that sends more than that is cut off.
            if (peer->bytesAvailable() > 64) {
                peer->abort();
                return;
            }
            if (!peer->canReadLine())
                return;
            const QByteArray line = peer->readLine(64);
            if (line == kShowRequest)
                emit showRequested();
            peer->disconnectFromServer();
        });
    }
}

} // namespace zestrel
