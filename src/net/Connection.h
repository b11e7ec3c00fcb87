// The one TCP connection to the network server: connect and sign in, send,
// receive and reassemble, keep alive, reconnect, and the send/receive lights.
#pragma once

#include "app/AppState.h"
#include "net/ActivityLights.h"
#include "net/Dispatcher.h"
#include "net/RequestLedger.h"
#include "protocol/Protocol.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>
#include <deque>

namespace zestrel
{

// What the connection needs of the members directory and its browse tree.
// The browse layer implements it; the connection knows no more of it.
class MemberTreeAccess
{
  public:
    virtual ~MemberTreeAccess() = default;
    virtual bool TreeIsEmpty() const = 0;
    // Empties the tree and the directory and asks the server for the list again.
    virtual void RefreshMembers() = 0;
    // Drops every member node and directory entry after the connection was lost or reset.
    virtual void DropMembers() = 0;
    // Around the messages of one turn of the event loop: changes in between may be
    // gathered and shown at once at the end.
    virtual void BeginUpdates() {}
    virtual void EndUpdates() {}
};

class Connection : public QObject, public MessageSender
{
    Q_OBJECT
  public:
    // Socket states the program distinguishes; any other value is neither.
    static constexpr int StateClosed = 0;
    static constexpr int StateConnected = 7;
    // Error numbers the program tells apart.
    static constexpr qint64 ErrInvalidState = 40020;
    static constexpr qint64 ErrHostUnreachable = 10065;
    static constexpr qint64 ErrTypeMismatch = 13;
    static constexpr qint64 ErrInvalidValue = 380;
    static constexpr qint64 ErrWrongState = 40006;
    // Sends that wait for a connection nest at most this deep.
    static constexpr int MaxNestedSendWaits = 8;
    // Received data is taken at the program's own pace: at most this much waits in the
    // socket's buffer (beyond it the system's buffers fill and TCP slows the sender),
    // at most TurnReadBytes is read at a time, and one turn of the event loop handles
    // messages for at most TurnMilliseconds before the window gets its turn again.
    static constexpr qint64 ReadBufferBytes = 256 * 1024;
    static constexpr qint64 TurnReadBytes = 64 * 1024;
    static constexpr int TurnMilliseconds = 15;

    Connection(AppState &app, Dispatcher &dispatcher, QObject *parent = nullptr);
    ~Connection() override;

    AppState &app;
    Dispatcher &dispatcher;
    ActivityLights lights;
    // The requests sent that other members may answer with a notice.
    RequestLedger requests;

    QTimer timPing;      // 60 s, always on
    QTimer timReconnect; // 5 s, on after the first connect wait
    QTimer timIdle;      // 10 s, the status line's idle rule

    // Set by the window: while minimized, connect errors and notices stay quiet.
    bool Minimized = false;

    void SetMemberTree(MemberTreeAccess *tree) { tree_ = tree; }

    QSslSocket &socket() { return *socket_; }
    // 0 closed, 7 connected, anything else in between.
    int State() const;
    // The socket's local address, or the machine's first non-loopback IPv4 address
    // while there is no connection.
    QString LocalAddress() const;
    // True while a connect or a send is waiting for the connection.
    bool Waiting() const { return connecting_ || sendWaits_ > 0; }

    bool ConnectToServer();

    // Trusted relay certificates live in zestrel.ini, section CERTIFICATES, one key per
    // relay address ("HOST:PORT"): the SHA-256 fingerprint the member accepted, or "!"
    // and the fingerprint of one the member refused.
    static QString CertificateSection() { return QStringLiteral("CERTIFICATES"); }
    // "AB:CD:..." of the certificate's DER bytes.
    static QString Fingerprint(const QSslCertificate &certificate);
    // Sends one frame's bytes over the existing connection.
    void SendToServer(const QString &address, const QString &port, const QByteArray &frame);
    void SendMessage(int code, const QString &source, const QString &destination,
                     const QString &payload) override;
    void CloseConnection();

    // Unframed text kept for the next chunk.
    std::size_t PartialDataSize() const { return reassembler_.Buffered(); }

    // Reassembles and dispatches one chunk, all of its messages at once.
    void ProcessChunk(const QByteArray &chunk);
    // Received messages not yet handled (at most one read's worth).
    qsizetype PendingMessages() const { return qsizetype(pending_.size()); }

    // The machine's address for the profile box before any connection exists.
    static QString MachineAddress();

  public slots:
    void DataArrival();
    void SendPing();
    void ReconnectTick();
    void ResetZestrel();
    void SendSignOff();
    void IdleTick();

  signals:
    // A connection attempt begins: the storage box starts empty.
    void connectStarting();
    // The sign-in message went out.
    void signedIn();
    // Sign-off of a reset: the search results, room list, previews and storage
    // counter are cleared by their owners.
    void viewsCleared();
    // The server closed the connection.
    void connectionLost();

  private:
    // One turn's share of the received data; the rest waits for the next turn.
    void receiveTurn();
    void beginTurn();
    void endTurn();
    void acceptChunk(const QByteArray &chunk);
    void handleEvent(const protocol::Reassembler::Event &event);
    void onDisconnected();
    void onSocketError(QAbstractSocket::SocketError error);
    void onSslErrors(const QList<QSslError> &errors);
    // After a TLS connect failed on a certificate the system does not trust: asks the
    // member about an unknown one when it may (true: accepted, try again), or says why not.
    bool decideCertificate(bool mayAsk);
    QString relayAddress() const;
    bool connectFailed(qint64 number, const QString &source);
    void status(const QString &text);

    MemberTreeAccess *tree_ = nullptr;
    QSslSocket *socket_;
    // The last TLS connect: its certificate was not trusted (unknown or changed), or
    // its handshake failed otherwise.
    enum class CertProblem { None, Unknown, Refused, Changed };
    CertProblem certProblem_ = CertProblem::None;
    QString certFingerprint_;
    QString certWarned_; // the changed certificate the member was already told about
    bool handshakeFailed_ = false;
    protocol::Reassembler reassembler_;
    std::deque<protocol::Reassembler::Event> pending_;
    QTimer nextTurn_;
    bool draining_ = false;
    bool connecting_ = false;
    int sendWaits_ = 0;
    bool closingLocally_ = false;
    bool unreachable_ = false;
};

} // namespace zestrel
