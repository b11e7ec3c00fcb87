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
            static const QRegularExpression re(QStringLiteral("^listening on .*:(\\d+)$"));
            const auto m = re.match(line);
            if (m.hasMatch()) {
                port_ = quint16(m.captured(1).toUInt());
                return port_ != 0;
            }
        }
    }
    qWarning("zestrel-server did not start: %s", proc_.readAllStandardError().constData());
    stop();
    return false;
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
