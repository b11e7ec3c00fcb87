// Conversions between the protocol library's byte strings and the client's
// QString texts. Payload text travels as UTF-8; embedded NULs are ordinary data.
#pragma once

#include "protocol/protocol.h"

#include <QByteArray>
#include <QString>
#include <string>
#include <string_view>

namespace zestrel
{

inline std::string ToWire(const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

inline QString FromWire(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

// The frame text for one message.
inline QString BuildMessage(const QString &code, const QString &source, const QString &destination,
                            const QString &payload)
{
    return FromWire(
        protocol::BuildMessage(ToWire(code), ToWire(source), ToWire(destination), ToWire(payload)));
}

inline QString UserKeyPart(const QString &key, int part)
{
    return FromWire(protocol::UserKeyPart(ToWire(key), part));
}

} // namespace zestrel
