#include "net/Dispatcher.h"

#include "app/Diagnostics.h"
#include "protocol/Protocol.h"

namespace zestrel
{

void Dispatcher::DispatchMessage(StatusLine &status, int code, const QString &source,
                                 const QString &payload)
{
    status.SetStatus(QStringLiteral("Processing data received."));
    if (code >= 0) {
        const auto it = handlers_.constFind(code);
        if (it != handlers_.constEnd()) {
            const Handler handler = it.value(); // a handler may re-register codes
            handler(source, payload);
        }
    }
    status.SetStatus(QStringLiteral("Data processed."));
}

} // namespace zestrel
