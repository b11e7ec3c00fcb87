// Conversions between the protocol library's byte strings and the client's
// QString texts. Payload text travels as UTF-8; embedded NULs are ordinary data.
#pragma once

#include "protocol/Protocol.h"

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

// The bytes of one frame, ready for the socket: each field is encoded once.
inline QByteArray BuildFrame(int code, const QString &source, const QString &destination,
                             const QString &payload)
{
    const QByteArray c = QByteArray::number(code), s = source.toUtf8(), d = destination.toUtf8(),
                     p = payload.toUtf8();
    const std::string frame =
        protocol::BuildMessage(std::string_view(c.constData(), std::size_t(c.size())),
                               std::string_view(s.constData(), std::size_t(s.size())),
                               std::string_view(d.constData(), std::size_t(d.size())),
                               std::string_view(p.constData(), std::size_t(p.size())));
    return QByteArray(frame.data(), qsizetype(frame.size()));
}

// The frame as text, for the log and for tests that write frames by hand.
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
