// Starts the real zestrel-server on 127.0.0.1 with a free port for a test.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace zestrel::test
{

class ServerProcess
{
  public:
    ~ServerProcess();
    // Starts the server with extra arguments; false when it did not report its port.
    // Port 0 takes a free one; a restart passes the port it had.
    bool start(const QStringList &extraArgs = {}, quint16 port = 0);
    void stop();
    quint16 port() const { return port_; }
    // The TLS listener's port, when the arguments asked for one ("--listen-tls").
    quint16 tlsPort() const { return tlsPort_; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    // Writes one operator line to the server's standard input ("broadcast hi").
    void command(const QString &line);
    QProcess &process() { return proc_; }

  private:
    QProcess proc_;
    quint16 port_ = 0;
    quint16 tlsPort_ = 0;
};

// A self-signed certificate and its key made with the openssl tool, for CN=localhost.
// Returns false when the tool failed.
bool MakeCertificate(const QString &certPath, const QString &keyPath);
// "AB:CD:..." as the openssl tool reports the certificate's SHA-256 fingerprint.
QString OpenSslFingerprint(const QString &certPath);

// Everything the server has written to its log (standard error) so far.
class ServerLog
{
  public:
    explicit ServerLog(ServerProcess &server) : server_(server) {}
    QString operator()()
    {
        text_ += QString::fromUtf8(server_.process().readAllStandardError());
        return text_;
    }

  private:
    ServerProcess &server_;
    QString text_;
};

} // namespace zestrel::test
