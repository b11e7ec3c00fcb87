// Real nats-server processes on 127.0.0.1 with free ports, joined as one NATS
// cluster by routes, for the tests of relay nodes joined over the bus.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace zestrel::test
{

class NatsServers
{
  public:
    ~NatsServers();
    // The nats-server executable, or empty when it is not installed.
    static QString Executable();
    // Starts `count` servers routed to each other; false when one did not come up.
    bool start(int count);
    // kill -9 of one server.
    void kill(int i);
    // Starts a killed server again on its old ports.
    bool restart(int i);
    QString url(int i) const;
    // All client addresses, comma-separated, first `first`.
    QString urls(int first = 0) const;
    QString log(int i) const;

  private:
    bool launch(int i);
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<QProcess>> procs_;
    std::vector<quint16> ports_, routePorts_;
};

// A port nobody listens on right now.
quint16 FreePort();

} // namespace zestrel::test
