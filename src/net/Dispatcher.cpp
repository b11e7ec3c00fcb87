#include "net/Dispatcher.h"

#include "app/Diagnostics.h"
#include "protocol/protocol.h"

namespace zestrel {

void Dispatcher::DispatchMessage(StatusLine &status, const QString &, const QString &source,
                                 const QString &, const QString &code, const QString &payload)
{
    status.SetStatus(QStringLiteral("Processing data received."));
    const int number = protocol::CodeNumber(code.toStdString());
    if (number >= 0) {
        const auto it = handlers_.constFind(number);
        if (it != handlers_.constEnd()) {
            const Handler handler = it.value(); // a handler may re-register codes
            handler(source, payload);
        }
    }
    status.SetStatus(QStringLiteral("Data processed."));
}

} // namespace zestrel
