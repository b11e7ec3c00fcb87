#include "config/Ini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <optional>

namespace zestrel
{

namespace
{

// Lines are kept as bytes so that lines we do not touch are written back exactly as they
// were, whatever their encoding.
using Lines = QList<QByteArray>;

// A line ends at CR LF, at a lone CR, or (files edited on this platform) at a lone LF.
// A terminator at the very end does not start another line.
Lines SplitLines(const QByteArray &data)
{
    Lines lines;
    qsizetype start = 0;
    const qsizetype n = data.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = data.at(i);
        if (c != '\r' && c != '\n')
            continue;
        lines.append(data.mid(start, i - start));
        if (c == '\r' && i + 1 < n && data.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines.append(data.mid(start));
    return lines;
}

bool IsHeader(const QByteArray &line)
{
    return line.startsWith('[');
}

// Name between "[" and the first "]"; nullopt when the header has no "]".
std::optional<QByteArray> HeaderName(const QByteArray &line)
{
    const qsizetype close = line.indexOf(']');
    if (close < 0)
        return std::nullopt;
    return line.mid(1, close - 1);
}

bool OnlySpaces(const QByteArray &line)
{
    for (char c : line)
        if (c != ' ')
            return false;
    return true;
}

void SetError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

} // namespace

QString ReadIniKey(const QString &path, const QString &section, const QString &key)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return QString();
    const Lines lines = SplitLines(file.readAll());
    file.close();

    const QByteArray wantedSection = section.toUtf8();
    const QByteArray wantedKey = key.toUtf8();
    qsizetype i = 0;
    // Find the first header with the wanted name; a broken header makes the file unreadable.
    for (;; ++i) {
        if (i >= lines.size())
            return QString();
        if (!IsHeader(lines[i]))
            continue;
        const auto name = HeaderName(lines[i]);
        if (!name)
            return QString();
        if (*name == wantedSection)
            break;
    }
    for (++i; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.isEmpty())
            continue;
        if (IsHeader(line))
            return QString();
        const qsizetype eq = line.indexOf('=');
        if (eq <= 0)
            continue;
        if (line.left(eq) == wantedKey)
            return QString::fromUtf8(line.mid(eq + 1));
    }
    return QString();
}

bool WriteIniKey(const QString &path, const QString &section, const QString &keyLine,
                 QString *error)
{
    // A line break inside the value would split it and could plant other keys.
    if (keyLine.contains(QLatin1Char('\r')) || keyLine.contains(QLatin1Char('\n'))) {
        SetError(error, QStringLiteral("Line break in the value for %1").arg(path));
        return false;
    }

    bool isNew = false;
    if (!FileExists(path)) {
        if (!CreateEmptyFile(path)) {
            SetError(error, QStringLiteral("Cannot create %1").arg(path));
            return false;
        }
        isNew = true;
    }

    Lines in;
    {
        QFile file(path);
        // An unreadable file must not be taken as empty: rewriting it would drop every
        // other setting.
        if (!file.open(QIODevice::ReadOnly)) {
            SetError(error, QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
            return false;
        }
        in = SplitLines(file.readAll());
    }

    const QByteArray wantedSection = section.toUtf8();
    const QByteArray newLine = keyLine.toUtf8();
    Lines out;
    out.reserve(in.size() + 4);
    bool written = false;
    bool headerWasLast = false;

    qsizetype i = 0;
    while (i < in.size()) {
        const QByteArray line = in[i++];
        out.append(line);
        if (written) {
            continue;
        }
        if (!IsHeader(line))
            continue;
        const auto name = HeaderName(line);
        if (!name) {
            SetError(error, QStringLiteral("Section header without \"]\" in %1").arg(path));
            return false;
        }
        if (*name != wantedSection)
            continue;
        if (i >= in.size()) {
            headerWasLast = true;
            break;
        }
        while (i < in.size()) {
            const QByteArray l = in[i++];
            const qsizetype eq = l.indexOf('=');
            const QByteArray m = eq < 0 ? l : l.left(eq + 1);
            if (newLine.startsWith(m)) {
                // The key's own line is replaced; a blank line ends the run of keys and stays.
                out.append(newLine);
                if (OnlySpaces(l))
                    out.append(l);
                written = true;
                break;
            }
            if (IsHeader(l)) {
                out.append(newLine);
                out.append(l);
                written = true;
                break;
            }
            out.append(l);
            if (i >= in.size()) {
                out.append(newLine);
                written = true;
            }
        }
    }
    if (!written) {
        if (!headerWasLast) {
            if (!isNew)
                out.append(QByteArray());
            out.append('[' + wantedSection + ']');
        }
        out.append(newLine);
    }

    QByteArray data;
    for (const QByteArray &l : out)
        data += l + "\r\n";

    // QSaveFile writes a temporary file beside the target and renames it over the target
    // only after everything was written.
    QSaveFile save(path);
    if (!save.open(QIODevice::WriteOnly)) {
        SetError(error, QStringLiteral("Cannot write %1: %2").arg(path, save.errorString()));
        return false;
    }
    if (save.write(data) != data.size() || !save.commit()) {
        SetError(error, QStringLiteral("Cannot write %1: %2").arg(path, save.errorString()));
        save.cancelWriting();
        return false;
    }
    return true;
}

bool FileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

bool DeleteFile(const QString &path)
{
    return QFile::remove(path);
}

bool CreateEmptyFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath()); // an existing folder is fine
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.close();
    return true;
}

} // namespace zestrel
