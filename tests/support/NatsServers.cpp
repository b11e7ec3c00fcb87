#include "NatsServers.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>

namespace zestrel::test
{

quint16 FreePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

NatsServers::~NatsServers()
{
    for (auto &p : procs_) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
}

QString NatsServers::Executable()
{
    QString exe = QStandardPaths::findExecutable(QStringLiteral("nats-server"));
    if (exe.isEmpty())
        exe = QStandardPaths::findExecutable(QStringLiteral("nats-server"),
                                             {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                              QStringLiteral("/usr/local/sbin")});
    return exe;
}

bool NatsServers::start(int count)
{
    if (!dir_.isValid() || Executable().isEmpty())
        return false;
    for (int i = 0; i < count; ++i) {
        ports_.push_back(FreePort());
        routePorts_.push_back(FreePort());
        procs_.push_back(std::make_unique<QProcess>());
    }
    for (int i = 0; i < count; ++i)
        if (!launch(i))
            return false;
    return true;
}

bool NatsServers::launch(int i)
{
    QString routes;
    for (std::size_t j = 0; j < routePorts_.size(); ++j)
        if (int(j) != i)
            routes += QStringLiteral("nats-route://127.0.0.1:%1,").arg(routePorts_[j]);
    // Frames of up to 1 MiB travel between nodes with a header line.
    QString conf = QStringLiteral("listen: 127.0.0.1:%1\nmax_payload: 2MB\n").arg(ports_[i]);
    if (routePorts_.size() > 1)
        conf += QStringLiteral("cluster {\n  name: zestrel\n  listen: 127.0.0.1:%1\n"
                               "  routes: [%2]\n}\n")
                    .arg(routePorts_[i])
                    .arg(routes.chopped(1));
    const QString path = dir_.filePath(QStringLiteral("nats%1.conf").arg(i));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(conf.toUtf8()) < 0)
        return false;
    f.close();
    QProcess &p = *procs_[std::size_t(i)];
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(Executable(), {QStringLiteral("-c"), path});
    if (!p.waitForStarted(5000))
        return false;
    // Ready once it takes connections.
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, ports_[std::size_t(i)]);
        if (s.waitForConnected(500))
            return true;
        if (p.state() == QProcess::NotRunning)
            return false;
        p.waitForReadyRead(50);
    }
    return false;
}

void NatsServers::kill(int i)
{
    QProcess &p = *procs_[std::size_t(i)];
    p.kill();
    p.waitForFinished(5000);
}

bool NatsServers::restart(int i)
{
    return launch(i);
}

QString NatsServers::url(int i) const
{
    return QStringLiteral("nats://127.0.0.1:%1").arg(ports_[std::size_t(i)]);
}

QString NatsServers::urls(int first) const
{
    QStringList all;
    for (std::size_t j = 0; j < ports_.size(); ++j)
        all << url(int((std::size_t(first) + j) % ports_.size()));
    return all.join(QLatin1Char(','));
}

QString NatsServers::log(int i) const
{
    return QString::fromUtf8(procs_[std::size_t(i)]->readAll());
}

} // namespace zestrel::test
