// SIGTERM and SIGINT (a desktop logout, Ctrl+C) reach the event loop as an ordinary
// event, so the program closes through its own shutdown: sign-off sent, database closed.
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace zestrel
{

class SignalClose : public QObject
{
    Q_OBJECT
  public:
    // Installs the handlers; `close` runs on the event loop once per signal.
    explicit SignalClose(std::function<void()> close, QObject *parent = nullptr);
    ~SignalClose() override;

  private:
    std::function<void()> close_;
    QSocketNotifier *notifier_ = nullptr;
};

} // namespace zestrel
