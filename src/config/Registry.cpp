#include "config/Registry.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <optional>

namespace zestrel
{

namespace
{

constexpr qsizetype kMaxData = 2048; // the largest value a read gives back
const char *const kValuesFile = "values";

struct Value {
    QByteArray name; // UTF-8
    int type = REG_SZ;
    QByteArray data;
};

// The key's path as folder names; none when it would leave the registry.
std::optional<QStringList> Segments(const QString &path)
{
    QStringList parts;
    for (const QString &part : path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        if (part == QLatin1String(".") || part == QLatin1String("..") ||
            part.contains(QLatin1Char('/')) || part.contains(QChar(0)))
            return std::nullopt;
        parts << part;
    }
    return parts;
}

bool IsRunKey(std::uint32_t root, const QStringList &parts)
{
    static const QStringList run = QString::fromLatin1(kRunKey).split(QLatin1Char('\\'),
                                                                       Qt::SkipEmptyParts);
    if (root != HKEY_LOCAL_MACHINE && root != HKEY_CURRENT_USER)
        return false;
    if (parts.size() != run.size())
        return false;
    for (qsizetype i = 0; i < parts.size(); ++i)
        if (parts[i].compare(run[i], Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

std::optional<QString> KeyFolder(const RegistryPlace &place, std::uint32_t root,
                                 const QString &path)
{
    const auto parts = Segments(path);
    if (!parts || place.keysFolder.isEmpty())
        return std::nullopt;
    QString folder = QDir(place.keysFolder).filePath(QString::number(root, 16).toUpper());
    for (const QString &part : *parts)
        folder = QDir(folder).filePath(part);
    return folder;
}

// Values file: one value per line, "hex(name) type hex(data)".
QList<Value> ReadValues(const QString &folder)
{
    QList<Value> values;
    QFile file(QDir(folder).filePath(QString::fromLatin1(kValuesFile)));
    if (!file.open(QIODevice::ReadOnly))
        return values;
    while (!file.atEnd()) {
        const QList<QByteArray> f = file.readLine(1 << 20).trimmed().split(' ');
        // An empty value has no data field.
        if (f.size() != 2 && f.size() != 3)
            continue;
        bool ok = false;
        const int type = f[1].toInt(&ok);
        if (ok)
            values.append({QByteArray::fromHex(f[0]), type,
                           f.size() == 3 ? QByteArray::fromHex(f[2]) : QByteArray()});
    }
    return values;
}

void WriteValues(const QString &folder, const QList<Value> &values)
{
    QDir().mkpath(folder);
    QSaveFile file(QDir(folder).filePath(QString::fromLatin1(kValuesFile)));
    if (!file.open(QIODevice::WriteOnly))
        return;
    for (const Value &v : values)
        file.write(v.name.toHex() + ' ' + QByteArray::number(v.type) + ' ' + v.data.toHex() +
                   '\n');
    file.commit();
}

// A value name that can be a file name in the autostart folder.
bool SafeEntryName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(0));
}

QString EntryPath(const RegistryPlace &place, const QString &name)
{
    return QDir(place.autostartFolder).filePath(name + QStringLiteral(".desktop"));
}

// A desktop entry's string value: backslash and line breaks escaped.
QString EscapeEntryString(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else
            out += c;
    }
    return out;
}

QString UnescapeEntryString(const QString &text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != QLatin1Char('\\') || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const QChar n = text[++i];
        out += n == QLatin1Char('n')   ? QChar(QLatin1Char('\n'))
               : n == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
               : n == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
               : n == QLatin1Char('s') ? QChar(QLatin1Char(' '))
                                       : n;
    }
    return out;
}

std::optional<QString> ReadEntryExec(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool inEntry = false;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine(1 << 16)).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inEntry = line == QLatin1String("[Desktop Entry]");
        else if (inEntry && line.startsWith(QLatin1String("Exec=")))
            return UnescapeEntryString(line.mid(5));
    }
    return std::nullopt;
}

void WriteEntry(const RegistryPlace &place, const QString &name, const QString &exec)
{
    QDir().mkpath(place.autostartFolder);
    QSaveFile file(EntryPath(place, name));
    if (!file.open(QIODevice::WriteOnly))
        return;
    QString text = QStringLiteral("[Desktop Entry]\n"
                                  "Type=Application\n"
                                  "Name=") +
                   EscapeEntryString(name) +
                   QStringLiteral("\n"
                                  "Comment=Browse, search and share recipes\n"
                                  "Exec=") +
                   EscapeEntryString(exec) + QLatin1Char('\n');
    if (!place.iconPath.isEmpty())
        text += QStringLiteral("Icon=") + EscapeEntryString(place.iconPath) + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\n");
    // An emptied entry starts nothing.
    text += exec.isEmpty() ? QStringLiteral("Hidden=true\n")
                           : QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    file.write(text.toUtf8());
    file.commit();
}

QStringList EntryNames(const RegistryPlace &place)
{
    QStringList names;
    const QStringList files = QDir(place.autostartFolder)
                                  .entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name);
    for (const QString &f : files)
        names << f.chopped(8);
    return names;
}

// A value as a read gives it back. The platform's buffer holds 2,048 bytes: a larger
// value does not fit and reads as "Not Found". `listed` is the enumeration's form,
// where everything but a number is text without its last character.
QString Formatted(int type, const QByteArray &data, bool listed)
{
    if (data.size() > kMaxData)
        return QString::fromLatin1(kNotFound);
    if (type == REG_DWORD) {
        if (data.size() < 4)
            return QString::fromLatin1(kNotFound);
        std::uint32_t n = 0;
        for (int i = 3; i >= 0; --i)
            n = (n << 8) | std::uint8_t(data[i]);
        return QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
    }
    if (listed)
        return QString::fromUtf8(data.chopped(data.isEmpty() ? 0 : 1));
    if (type == REG_BINARY)
        return QString::fromLatin1(data.toHex().toUpper());
    // Text without its final NUL.
    return QString::fromUtf8(data.endsWith('\0') ? data.chopped(1) : data);
}

} // namespace

RegistryPlace DefaultRegistryPlace()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return {QDir(config).filePath(QStringLiteral("zestrel/registry")),
            QDir(config).filePath(QStringLiteral("autostart")), QString()};
}

QString RegistryRead(const RegistryPlace &place, std::uint32_t root, const QString &path,
                     const QString &name)
{
    const auto parts = Segments(path);
    if (parts && IsRunKey(root, *parts)) {
        if (!SafeEntryName(name))
            return QString::fromLatin1(kNotFound);
        const auto exec = ReadEntryExec(EntryPath(place, name));
        return exec ? *exec : QString::fromLatin1(kNotFound);
    }
    const auto folder = KeyFolder(place, root, path);
    if (!folder)
        return QString::fromLatin1(kNotFound);
    const QByteArray wanted = name.toUtf8();
    for (const Value &v : ReadValues(*folder))
        if (v.name == wanted)
            return Formatted(v.type, v.data, false);
    return QString::fromLatin1(kNotFound);
}

QStringList RegistryValueAt(const RegistryPlace &place, std::uint32_t root, const QString &path,
                            int index)
{
    const QString notFound = QString::fromLatin1(kNotFound);
    const auto parts = Segments(path);
    if (parts && IsRunKey(root, *parts)) {
        const QStringList names = EntryNames(place);
        if (index < 0 || index >= names.size())
            return {QString::number(REG_SZ), QString(), notFound};
        return {QString::number(REG_SZ), names[index],
                RegistryRead(place, root, path, names[index])};
    }
    const auto folder = KeyFolder(place, root, path);
    const QList<Value> values = folder ? ReadValues(*folder) : QList<Value>{};
    if (index < 0 || index >= values.size())
        return {QString::number(REG_SZ), QString(), notFound};
    const Value &v = values[index];
    return {QString::number(v.type), QString::fromUtf8(v.name), Formatted(v.type, v.data, true)};
}

QString RegistrySubkeyAt(const RegistryPlace &place, std::uint32_t root, const QString &path,
                         int index)
{
    const auto parts = Segments(path);
    const auto folder = KeyFolder(place, root, path);
    if (!folder || IsRunKey(root, *parts))
        return QString::fromLatin1(kNotFound);
    const QStringList subkeys =
        QDir(*folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (index < 0 || index >= subkeys.size())
        return QString::fromLatin1(kNotFound);
    return subkeys[index];
}

void RegistryWrite(const RegistryPlace &place, std::uint32_t root, const QString &path,
                   const QString &name, ValType type, const QString &value)
{
    QByteArray data;
    if (type == REG_DWORD) {
        // A 32-bit whole number, or nothing is stored: no silent 0 for "abc", no
        // wrap-around for numbers that do not fit.
        bool ok = false;
        const qint32 signedValue = value.trimmed().toInt(&ok);
        if (!ok)
            return;
        const auto n = std::uint32_t(signedValue);
        for (int i = 0; i < 4; ++i)
            data.append(char((n >> (8 * i)) & 0xFF));
    } else {
        data = value.toUtf8();
        if (type == REG_SZ)
            data.append('\0');
    }
    RegistryWriteBytes(place, root, path, name, type == REG_DWORD ? REG_DWORD : REG_SZ, data);
}

void RegistryWriteBytes(const RegistryPlace &place, std::uint32_t root, const QString &path,
                        const QString &name, ValType type, const QByteArray &data)
{
    const auto parts = Segments(path);
    if (parts && IsRunKey(root, *parts)) {
        if (type == REG_SZ && SafeEntryName(name))
            WriteEntry(place, name,
                       QString::fromUtf8(data.endsWith('\0') ? data.chopped(1) : data));
        return;
    }
    const auto folder = KeyFolder(place, root, path);
    if (!folder)
        return;
    QList<Value> values = ReadValues(*folder);
    const QByteArray key = name.toUtf8();
    bool replaced = false;
    for (Value &v : values)
        if (v.name == key) {
            v.type = type;
            v.data = data;
            replaced = true;
        }
    if (!replaced)
        values.append({key, type, data});
    WriteValues(*folder, values);
}

void RegistryDeleteValue(const RegistryPlace &place, std::uint32_t root, const QString &path,
                         const QString &name)
{
    const auto parts = Segments(path);
    if (parts && IsRunKey(root, *parts)) {
        if (SafeEntryName(name))
            QFile::remove(EntryPath(place, name));
        return;
    }
    const auto folder = KeyFolder(place, root, path);
    if (!folder || !QFileInfo::exists(*folder))
        return;
    QList<Value> values = ReadValues(*folder);
    const QByteArray key = name.toUtf8();
    if (values.removeIf([&key](const Value &v) { return v.name == key; }) > 0)
        WriteValues(*folder, values);
}

void RegistryDeleteKey(const RegistryPlace &place, std::uint32_t root, const QString &path)
{
    const auto parts = Segments(path);
    // The root itself and the autostart folder are never removed.
    if (!parts || parts->isEmpty() || IsRunKey(root, *parts))
        return;
    if (const auto folder = KeyFolder(place, root, path))
        QDir(*folder).removeRecursively();
}

QString clsRegAccess::ReadRegistry(const QString &key) const
{
    return RegistryRead(place_, Group, Section, key);
}

QStringList clsRegAccess::ReadRegistryGetAll(int idx) const
{
    return RegistryValueAt(place_, Group, Section, idx);
}

QString clsRegAccess::ReadRegistryGetSubkey(int idx) const
{
    return RegistrySubkeyAt(place_, Group, Section, idx);
}

void clsRegAccess::WriteRegistry(const QString &key, ValType type, const QString &value) const
{
    RegistryWrite(place_, Group, Section, key, type, value);
}

void clsRegAccess::DeleteValue(const QString &key) const
{
    RegistryDeleteValue(place_, Group, Section, key);
}

void clsRegAccess::DeleteSubkey() const
{
    RegistryDeleteKey(place_, Group, Section);
}

QString DesktopExecArgument(const QString &word)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`%");
    bool plain = !word.isEmpty();
    for (const QChar c : word)
        if (reserved.contains(c))
            plain = false;
    if (plain)
        return word;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : word) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%'))
            quoted += QLatin1Char('%');
        quoted += c;
    }
    return quoted + QLatin1Char('"');
}

} // namespace zestrel
