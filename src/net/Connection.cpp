#include "net/Connection.h"

#include "app/Text.h"
#include "app/Wait.h"
#include "config/Ini.h"
#include "wire/Frame.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkInterface>
#include <QSslCertificate>
#include <exception>

namespace zestrel
{

namespace
{

// How often a wait looks at the socket again; short enough to feel instant.
constexpr double kWaitStep = 0.01;

const QString kSocketSource = QStringLiteral("Socket");
const QString kProgramSource = QStringLiteral("Zestrel");

// The two numbers the program tells apart, and a Winsock-style number for the rest
// (they only ever appear inside a status text).
qint64 SocketErrorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::NetworkError:
        return Connection::ErrHostUnreachable;
    case QAbstractSocket::OperationError:
    case QAbstractSocket::UnfinishedSocketOperationError:
        return Connection::ErrInvalidState;
    case QAbstractSocket::ConnectionRefusedError:
        return 10061;
    case QAbstractSocket::SocketTimeoutError:
        return 10060;
    case QAbstractSocket::RemoteHostClosedError:
        return 10054;
    default:
        return 10000 + qint64(error);
    }
}

QString AddressText(const QHostAddress &address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

Connection::Connection(AppState &app_, Dispatcher &dispatcher_, QObject *parent)
    : QObject(parent), app(app_), dispatcher(dispatcher_), socket_(new QSslSocket(this))
{
    timPing.setInterval(60 * 1000);
    timReconnect.setInterval(5 * 1000);
    timIdle.setInterval(10 * 1000);
    connect(&timPing, &QTimer::timeout, this, &Connection::SendPing);
    connect(&timReconnect, &QTimer::timeout, this, &Connection::ReconnectTick);
    connect(&timIdle, &QTimer::timeout, this, &Connection::IdleTick);
    timPing.start();

    socket_->setReadBufferSize(ReadBufferBytes);
    nextTurn_.setSingleShot(true);
    nextTurn_.setInterval(0);
    connect(&nextTurn_, &QTimer::timeout, this, &Connection::receiveTurn);
    connect(socket_, &QTcpSocket::readyRead, this, &Connection::DataArrival);
    connect(socket_, &QTcpSocket::disconnected, this, &Connection::onDisconnected);
    connect(socket_, &QTcpSocket::errorOccurred, this, &Connection::onSocketError);
    connect(socket_, &QSslSocket::sslErrors, this, &Connection::onSslErrors);
    connect(socket_, &QTcpSocket::bytesWritten, this,
            [this] { lights.TurnOffLater(ActivityLights::Send); });
}

Connection::~Connection()
{
    // Going away is not the server dropping us: no notice from the destructor.
    closingLocally_ = true;
    socket_->abort();
}

int Connection::State() const
{
    switch (socket_->state()) {
    case QAbstractSocket::UnconnectedState:
        return StateClosed;
    case QAbstractSocket::ConnectedState:
        return StateConnected;
    // Winsock's numbers for the other states; none of them is 0 or 7.
    case QAbstractSocket::BoundState:
        return 1;
    case QAbstractSocket::ListeningState:
        return 2;
    case QAbstractSocket::HostLookupState:
        return 4;
    case QAbstractSocket::ConnectingState:
        return 6;
    case QAbstractSocket::ClosingState:
        return 8;
    }
    return 9; // not a state we know: neither closed nor connected
}

QString Connection::MachineAddress()
{
    for (const QHostAddress &a : QNetworkInterface::allAddresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            return a.toString();
    }
    return QStringLiteral("127.0.0.1");
}

QString Connection::LocalAddress() const
{
    if (socket_->state() == QAbstractSocket::ConnectedState)
        return AddressText(socket_->localAddress());
    return MachineAddress();
}

void Connection::status(const QString &text)
{
    app.diag.SetStatus(text);
}

// --- connecting ----------------------------------------------------------

bool Connection::ConnectToServer()
{
    // A timer or menu command inside a running connect wait must not start another one.
    if (connecting_)
        return false;
    connecting_ = true;
    struct Reset {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{connecting_};

    emit connectStarting();

    bool portOk = false;
    // Signed, so that "-1" is a number out of range rather than no number at all.
    const qlonglong port = app.Net.ServerPort.trimmed().toLongLong(&portOk);
    if (!portOk)
        return connectFailed(ErrTypeMismatch, kProgramSource);
    if (port <= 0 || port > 65535)
        return connectFailed(ErrInvalidValue, kProgramSource);
    if (socket_->state() != QAbstractSocket::UnconnectedState)
        return connectFailed(ErrInvalidState, kSocketSource);

    // Left-over text from the previous connection would glue onto this one's first frame.
    reassembler_.Clear();
    pending_.clear();
    const bool tls = app.Net.ServerTls;
    // Connected means encrypted too, with TLS.
    const auto ready = [&] {
        return State() == StateConnected && (!tls || socket_->isEncrypted());
    };
    // An unknown certificate the member accepts is tried again at once.
    for (int attempt = 0;; ++attempt) {
        unreachable_ = false;
        closingLocally_ = false;
        handshakeFailed_ = false;
        certProblem_ = CertProblem::None;
        if (tls)
            socket_->connectToHostEncrypted(app.Net.ServerAddress, quint16(port));
        else
            socket_->connectToHost(app.Net.ServerAddress, quint16(port));

        QElapsedTimer start;
        start.start();
        status(QStringLiteral("Connecting to server..."));
        bool timedOut = false;
        while (!ready() && !timedOut && !unreachable_ && !handshakeFailed_ && !app.Closing) {
            PauseWithEvents(kWaitStep);
            timedOut = TimedOut(start, app.Net.ConnectTimeout);
        }
        if (ready() || !handshakeFailed_ || app.Closing)
            break;
        CloseConnection();
        if (!timReconnect.isActive())
            timReconnect.start();
        if (!decideCertificate(attempt == 0))
            return false;
    }

    if (!timReconnect.isActive())
        timReconnect.start();
    if (!timIdle.isActive())
        timIdle.start();

    if (!ready()) {
        if (unreachable_) {
            CloseConnection();
            return connectFailed(ErrHostUnreachable, kSocketSource);
        }
        if (!app.Closing)
            status(QStringLiteral("Server Connect timed out."));
        CloseConnection();
        return false;
    }

    status(QStringLiteral("Connected to server."));
    app.ConnectedAt = QDateTime::currentDateTime();
    status(QStringLiteral("Signing in to server..."));
    // The address the server sees us at; message 117 builds our key from the same one.
    app.LocalIp = LocalAddress();
    SendToServer(
        app.Net.ServerAddress, app.Net.ServerPort,
        BuildFrame(protocol::code::SignIn, QString(), QString(),
                   app.LocalIp + app.FieldSep + app.UserName + app.FieldSep + app.AppVersion));
    status(QStringLiteral("Data sent..."));
    if (!timIdle.isActive())
        timIdle.start();
    emit signedIn();
    return true;
}

bool Connection::connectFailed(qint64 number, const QString &source)
{
    if (!Minimized) {
        if (number == ErrInvalidState)
            status(QStringLiteral("Network resources unavailable."));
        else
            status(QStringLiteral("Unknown Error - ") + source + QStringLiteral(": ") +
                   QString::number(number));
    }
    if (number == ErrHostUnreachable)
        app.diag.ShowMessage(
            QStringLiteral("You do not appear to be connected to the internet or the Zestrel "
                           "network server's IP address is unreachable.  There was a problem "
                           "trying to connect to the specified IP address on the specified "
                           "port.\r\n\r\nThis may be because proxy software or a gateway "
                           "program are blocking your computer from reaching the Zestrel IP "
                           "address or using the specified port!"),
            QString());
    status(QStringLiteral("Server (Destination) is not reachable!"));
    return false;
}

void Connection::onSocketError(QAbstractSocket::SocketError error)
{
    // A TLS connect that ends before it is encrypted has failed; the wait ends now.
    if (connecting_ && app.Net.ServerTls && !socket_->isEncrypted() &&
        error != QAbstractSocket::HostNotFoundError && error != QAbstractSocket::NetworkError &&
        error != QAbstractSocket::ConnectionRefusedError &&
        error != QAbstractSocket::SocketTimeoutError)
        handshakeFailed_ = true;
    // An unreachable host will not become reachable within the wait; end it now.
    if (connecting_ && SocketErrorNumber(error) == ErrHostUnreachable)
        unreachable_ = true;
}

QString Connection::Fingerprint(const QSslCertificate &certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

QString Connection::relayAddress() const
{
    return app.Net.ServerAddress.trimmed() + QLatin1Char(':') + app.Net.ServerPort.trimmed();
}

void Connection::onSslErrors(const QList<QSslError> &errors)
{
    const QString fingerprint = Fingerprint(socket_->peerCertificate());
    const QString known = ReadIniKey(app.SettingsFilePath, CertificateSection(), relayAddress());
    if (!fingerprint.isEmpty() && known == fingerprint) {
        socket_->ignoreSslErrors(errors); // the member trusted this very certificate
        return;
    }
    certFingerprint_ = fingerprint;
    certProblem_ = known.isEmpty()                           ? CertProblem::Unknown
                   : known == QLatin1Char('!') + fingerprint ? CertProblem::Refused
                   : known.startsWith(QLatin1Char('!'))      ? CertProblem::Unknown
                                                             : CertProblem::Changed;
    handshakeFailed_ = true;
}

bool Connection::decideCertificate(bool mayAsk)
{
    const QString where = relayAddress();
    switch (certProblem_) {
    case CertProblem::None:
        status(QStringLiteral("The secure connection to the server failed: ") +
               socket_->errorString());
        return false;
    case CertProblem::Refused:
        status(QStringLiteral("Not connected: you did not trust the certificate of ") + where +
               QLatin1Char('.'));
        return false;
    case CertProblem::Changed:
        status(QStringLiteral("Not connected: the certificate of ") + where +
               QStringLiteral(" is not the one you trusted."));
        // Told once per certificate, however often the reconnect timer tries again.
        if (certWarned_ != certFingerprint_) {
            certWarned_ = certFingerprint_;
            app.prompter.MessageBox(
                QStringLiteral("The server ") + where +
                    QStringLiteral(" shows a different certificate than the one you trusted "
                                   "before. Someone may be listening in between, so Zestrel "
                                   "does not connect.") +
                    kCrLf + kCrLf + QStringLiteral("SHA-256 fingerprint: ") + certFingerprint_ +
                    kCrLf + kCrLf +
                    QStringLiteral("If the server's operator changed it, remove the line for ") +
                    where + QStringLiteral(" in the [") + CertificateSection() +
                    QStringLiteral("] section of zestrel.ini and connect again."),
                QStringLiteral("Certificate Changed"), PromptIcon::Error);
        }
        return false;
    case CertProblem::Unknown:
        if (mayAsk)
            break;
        status(QStringLiteral("Not connected: the certificate of ") + where +
               QStringLiteral(" is not trusted."));
        return false;
    }
    const PromptAnswer answer = app.prompter.MessageBox(
        QStringLiteral("The server ") + where +
            QStringLiteral(" shows a certificate your system does not trust (a relay among "
                           "friends often makes its own).") +
            kCrLf + kCrLf + QStringLiteral("SHA-256 fingerprint: ") + certFingerprint_ + kCrLf +
            kCrLf +
            QStringLiteral("Compare it with the one the server's operator gave you. Trust "
                           "this certificate for this server?"),
        QStringLiteral("Unknown Certificate"), PromptIcon::Question, PromptButtons::YesNo);
    const bool yes = answer == PromptAnswer::Yes;
    QString error;
    if (!WriteIniKey(app.SettingsFilePath, CertificateSection(),
                     where + QLatin1Char('=') + (yes ? QString() : QStringLiteral("!")) +
                         certFingerprint_,
                     &error))
        app.diag.ReportError(75, error, QStringLiteral("WriteIniKey"));
    if (!yes)
        status(QStringLiteral("Not connected: you did not trust the certificate of ") + where +
               QLatin1Char('.'));
    return yes;
}

void Connection::CloseConnection()
{
    if (socket_->state() == QAbstractSocket::UnconnectedState)
        return;
    closingLocally_ = true;
    socket_->flush(); // a sign-off written just before still goes out
    socket_->disconnectFromHost();
    if (socket_->state() != QAbstractSocket::UnconnectedState)
        socket_->abort();
    closingLocally_ = false;
}

void Connection::onDisconnected()
{
    if (closingLocally_)
        return;
    // A TLS handshake that failed is no lost connection; the connect says why.
    if (connecting_ && app.Net.ServerTls && !socket_->isEncrypted())
        return;
    // The server closed the connection. A sign-off cannot travel over a closed
    // socket, so none is attempted.
    timIdle.stop();
    if (!Minimized)
        app.diag.ShowMessage(QStringLiteral("Your connection to the server has been terminated!"),
                             QStringLiteral("Connection Lost"));
    status(QStringLiteral("Connection terminated..."));
    emit connectionLost();
}

// --- sending -------------------------------------------------------------

void Connection::SendToServer(const QString &address, const QString &port, const QByteArray &frame)
{
    lights.TurnOn(ActivityLights::Send, ActivityLights::Green);
    status(QStringLiteral("Attempting to connect to remote server."));
    if (State() == StateClosed) {
        status(QStringLiteral("Socket was closed, unexpected error."));
        return;
    }

    QElapsedTimer start;
    start.start();
    status(QStringLiteral("Starting timeout loop."));
    bool timedOut = false;
    if (State() != StateConnected && !app.Closing) {
        if (sendWaits_ >= MaxNestedSendWaits) {
            // Too many sends already wait for the same connection; this one would
            // only deepen the stack of event loops.
            status(QStringLiteral("Server Connect timed out."));
            return;
        }
        ++sendWaits_;
        while (State() != StateConnected && !timedOut && !app.Closing) {
            PauseWithEvents(kWaitStep);
            timedOut = TimedOut(start, app.Net.ConnectTimeout);
        }
        --sendWaits_;
    }
    if (timedOut && State() != StateConnected) {
        status(QStringLiteral("Server Connect timed out."));
        CloseConnection();
        return;
    }

    if (State() == StateConnected)
        status(QStringLiteral("Connected to server."));
    status(QStringLiteral("Sending data to IP: ") + address + QStringLiteral(" PORT: ") + port);
    if (State() != StateConnected || socket_->write(frame) != frame.size()) {
        app.diag.ReportError(
            ErrWrongState,
            QStringLiteral(
                "Wrong protocol or connection state for the requested transaction or request"),
            kSocketSource);
        return;
    }
    // The data has gone out; a log that cannot be written is reported in its place.
    if (!app.diag.WriteLogBytes("Client - Sending Data: '" + frame + "'")) {
        app.diag.ReportError(kLogWriteError, QString::fromLatin1(kLogWriteErrorText),
                             kProgramSource);
        return;
    }
    status(QStringLiteral("Data sent..."));
}

void Connection::SendMessage(int code, const QString &source, const QString &destination,
                             const QString &payload)
{
    requests.NoteSent(code, destination);
    SendToServer(app.Net.ServerAddress, app.Net.ServerPort,
                 BuildFrame(code, source, destination, payload));
}

// --- receiving -----------------------------------------------------------

void Connection::DataArrival()
{
    // Inside a handler of the turn in progress: that turn reads the new data.
    if (draining_)
        return;
    receiveTurn();
}

void Connection::beginTurn()
{
    draining_ = true;
    if (tree_)
        tree_->BeginUpdates();
}

void Connection::endTurn()
{
    if (tree_)
        tree_->EndUpdates();
    draining_ = false;
}

void Connection::receiveTurn()
{
    if (draining_)
        return;
    lights.TurnOn(ActivityLights::Receive, ActivityLights::Red);
    beginTurn();
    QElapsedTimer turn;
    turn.start();
    for (;;) {
        if (pending_.empty()) {
            // Read only when everything read before is handled: what waits unhandled is
            // never more than one read.
            if (socket_->bytesAvailable() <= 0)
                break;
            acceptChunk(socket_->read(TurnReadBytes));
            continue;
        }
        const protocol::Reassembler::Event event = std::move(pending_.front());
        pending_.pop_front();
        handleEvent(event);
        if (turn.elapsed() >= TurnMilliseconds)
            break;
    }
    endTurn();
    if (!pending_.empty() || socket_->bytesAvailable() > 0)
        nextTurn_.start(); // the rest after the window had its turn
    else
        lights.TurnOffLater(ActivityLights::Receive);
}

void Connection::ProcessChunk(const QByteArray &chunk)
{
    lights.TurnOn(ActivityLights::Receive, ActivityLights::Red);
    acceptChunk(chunk);
    // Handlers may let events run; data that arrives meanwhile is queued behind the
    // messages already received and dispatched from here, in order.
    if (draining_)
        return;
    beginTurn();
    while (!pending_.empty()) {
        const protocol::Reassembler::Event event = std::move(pending_.front());
        pending_.pop_front();
        handleEvent(event);
    }
    endTurn();
    lights.TurnOffLater(ActivityLights::Receive);
}

void Connection::acceptChunk(const QByteArray &chunk)
{
    if (chunk.isEmpty())
        return;
    auto events = reassembler_.Feed(std::string_view(chunk.constData(), std::size_t(chunk.size())));
    const bool notice = events.size() == 1 &&
                        events.front().kind == protocol::Reassembler::Event::Kind::ServerNotice;
    for (auto &e : events)
        pending_.push_back(std::move(e));
    if (notice)
        return;
    // The bytes exactly as read. A log that cannot be written must not cost the data: the
    // chunk is processed all the same, and the status line says so.
    if (app.diag.WriteLogBytes("Client - Data Arrival: '" + chunk + "'"))
        status(QStringLiteral("Receiving Data."));
    else
        status(QStringLiteral("Receiving Data. The log could not be written (Error #") +
               QString::number(kLogWriteError) + QStringLiteral(", ") +
               QString::fromLatin1(kLogWriteErrorText) +
               QStringLiteral("); the data is processed all the same."));
}

void Connection::handleEvent(const protocol::Reassembler::Event &event)
{
    using Kind = protocol::Reassembler::Event::Kind;
    switch (event.kind) {
    case Kind::ServerNotice:
        status(QStringLiteral("Server echo recieved..."));
        return;
    case Kind::Junk:
    case Kind::Partial:
        status(QStringLiteral("Invalid data which has been stored as partial data."));
        return;
    case Kind::Overflow:
        status(QStringLiteral("Oversized data dropped."));
        return;
    case Kind::Frame:
        break;
    }
    if (!event.parsed) {
        status(QStringLiteral("Parsing failed."));
        return;
    }
    status(QStringLiteral("Parsing successful."));
    try {
        dispatcher.DispatchMessage(app.diag.status, event.code, FromWire(event.message.source),
                                   FromWire(event.message.payload));
    } catch (const std::exception &e) {
        // One failing handler costs only its own message, not the ones behind it.
        app.diag.ReportError(1, QString::fromUtf8(e.what()), kProgramSource);
    }
}

// --- timers and commands -------------------------------------------------

void Connection::SendPing()
{
    if (Waiting())
        return; // the connection is being made; a keep-alive adds nothing
    if (app.Flag(QStringLiteral("PING")))
        SendMessage(protocol::code::Ping, app.MyUserKey, app.MyUserKey, QString());
}

void Connection::ReconnectTick()
{
    if (Waiting())
        return; // never a second connect inside a running wait
    if (State() == StateConnected) {
        if (tree_ && tree_->TreeIsEmpty()) {
            status(QStringLiteral("Automatically requesting users..."));
            tree_->RefreshMembers();
        }
        return;
    }
    LetEventsRun();
    if (Waiting() || State() == StateConnected)
        return; // something connected while events ran
    // The directory goes with the nodes: members kept there would be skipped as
    // known when the list arrives again and never get a node back.
    if (tree_)
        tree_->DropMembers();
    LetEventsRun();
    if (Waiting() || State() == StateConnected)
        return;
    if (app.Flag(QStringLiteral("RECONNECT"))) {
        status(QStringLiteral("Attempting to reconnect to the Zestrel Network..."));
        if (ConnectToServer() && !Minimized)
            app.diag.ShowMessage(QStringLiteral("Zestrel was able to re-establish a connection "
                                                "to the Zestrel Network!"),
                                 QStringLiteral("Connection Made"));
    }
}

void Connection::SendSignOff()
{
    SendMessage(protocol::code::SignOff, app.MyUserKey, QString(), QString());
    if (tree_)
        tree_->DropMembers();
    emit viewsCleared();
}

void Connection::ResetZestrel()
{
    if (Waiting())
        return;
    app.diag.ShowMessage(
        QStringLiteral("Disconnecting and re-establishing a connection with the server!"),
        QStringLiteral("Disconnect/Reconnect"));
    SendSignOff();
    LetEventsRun();
    // Disconnect for real; connecting over a live socket only fails.
    CloseConnection();
    ConnectToServer();
    app.diag.CloseMessageCenter();
}

void Connection::IdleTick()
{
    app.diag.status.IdleTick();
}

} // namespace zestrel
