#include "ServerProcess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

namespace zestrel::test
{

ServerProcess::~ServerProcess()
{
    stop();
}

bool ServerProcess::start(const QStringList &extraArgs, quint16 port)
{
    stop(); // a restart, or a start that failed before
    port_ = 0;
    tlsPort_ = 0;
    const bool tls = extraArgs.contains(QStringLiteral("--listen-tls"));
    proc_.setProcessChannelMode(QProcess::SeparateChannels);
    proc_.setReadChannel(QProcess::StandardOutput);
    proc_.start(QStringLiteral(ZESTREL_SERVER_PATH),
                QStringList{QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)} +
                    extraArgs);
    if (!proc_.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(10000);
    QByteArray seen;
    while (!deadline.hasExpired()) {
        if (!proc_.canReadLine() && !proc_.waitForReadyRead(int(deadline.remainingTime())))
            break;
        while (proc_.canReadLine()) {
            const QString line = QString::fromUtf8(proc_.readLine()).trimmed();
            static const QRegularExpression re(
                QStringLiteral("^listening (\\(tls\\) )?on .*:(\\d+)$"));
            const auto m = re.match(line);
            if (m.hasMatch())
                (m.captured(1).isEmpty() ? port_ : tlsPort_) = quint16(m.captured(2).toUInt());
            if (port_ != 0 && (!tls || tlsPort_ != 0))
                return true;
        }
    }
    qWarning("zestrel-server did not start: %s", proc_.readAllStandardError().constData());
    stop();
    return false;
}

bool MakeCertificate(const QString &certPath, const QString &keyPath)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                   QStringLiteral("/CN=localhost"), QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"),
                   QStringLiteral("-keyout"), keyPath, QStringLiteral("-out"), certPath});
    return openssl.waitForFinished(20000) && openssl.exitStatus() == QProcess::NormalExit &&
           openssl.exitCode() == 0;
}

QString OpenSslFingerprint(const QString &certPath)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-fingerprint"),
                   QStringLiteral("-sha256"), QStringLiteral("-in"), certPath});
    if (!openssl.waitForFinished(10000))
        return {};
    // "sha256 Fingerprint=AB:CD:..."
    const QString out = QString::fromLatin1(openssl.readAllStandardOutput()).trimmed();
    return out.mid(out.indexOf(QLatin1Char('=')) + 1);
}

void ServerProcess::command(const QString &line)
{
    proc_.write(line.toUtf8() + '\n');
    proc_.waitForBytesWritten(1000);
}

void ServerProcess::stop()
{
    if (proc_.state() == QProcess::NotRunning)
        return;
    proc_.terminate();
    if (!proc_.waitForFinished(5000)) {
        proc_.kill();
        proc_.waitForFinished(2000);
    }
}

} // namespace zestrel::test
