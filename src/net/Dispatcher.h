// Routes each parsed incoming message to the handler registered for its code.
// Subsystems register their handlers; the dispatcher knows none of them.
#pragma once

#include <QHash>
#include <QString>
#include <functional>

namespace zestrel
{

class StatusLine;

class Dispatcher
{
  public:
    // source = field 1, payload = field 3 of the received frame.
    using Handler = std::function<void(const QString &source, const QString &payload)>;

    void Register(int code, Handler handler) { handlers_.insert(code, std::move(handler)); }
    bool HasHandler(int code) const { return handlers_.contains(code); }

    // "Processing data received.", the handler for the code (the numeric value of
    // the code field: 117.0 selects 117; 117.5 and "abc" give -1 and select nothing),
    // "Data processed.".
    void DispatchMessage(StatusLine &status, int code, const QString &source,
                         const QString &payload);

  private:
    QHash<int, Handler> handlers_;
};

// Sends one framed message over the existing connection (SendToServer with the
// configured address and port). Implemented by the connection; tests may use
// the real connection against a real server.
class MessageSender
{
  public:
    virtual ~MessageSender() = default;
    virtual void SendMessage(int code, const QString &source, const QString &destination,
                             const QString &payload) = 0;
};

} // namespace zestrel
