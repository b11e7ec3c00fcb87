// A small registry of our own: keys below a root hold typed values (text, binary,
// 32-bit numbers). Keys are folders under one base folder, each with a file of its
// values. The "Run" key of either root is the user's freedesktop autostart folder:
// a text value there is a desktop entry `<name>.desktop` whose Exec is the value.
// No operation reports a failure: writes and deletions that fail do nothing, reads
// of anything missing or unreadable give "Not Found".
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace zestrel
{

inline constexpr std::uint32_t HKEY_CURRENT_USER = 0x80000001u;
inline constexpr std::uint32_t HKEY_LOCAL_MACHINE = 0x80000002u;

// Value types, as stored.
enum ValType : std::uint8_t { REG_SZ = 1, REG_BINARY = 3, REG_DWORD = 4 };

inline constexpr const char *kNotFound = "Not Found";
// The key whose text values start programs when the member logs on.
inline constexpr const char *kRunKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\";

// Where the registry lives on disk.
struct RegistryPlace {
    QString keysFolder;      // one folder per key below it
    QString autostartFolder; // the Run key: ~/.config/autostart
    QString iconPath;        // Icon of the desktop entries written in the Run key
};

// The user's own places (XDG config folder).
RegistryPlace DefaultRegistryPlace();

QString RegistryRead(const RegistryPlace &place, std::uint32_t root, const QString &path,
                     const QString &name);
// The value at `index` of the key: type code, name, data ("Not Found" data when none).
QStringList RegistryValueAt(const RegistryPlace &place, std::uint32_t root, const QString &path,
                            int index);
QString RegistrySubkeyAt(const RegistryPlace &place, std::uint32_t root, const QString &path,
                         int index);
// Text types store the value as UTF-8 with a final NUL; REG_DWORD stores the value, a
// 32-bit whole number, as 4 little-endian bytes (any other text stores nothing).
void RegistryWrite(const RegistryPlace &place, std::uint32_t root, const QString &path,
                   const QString &name, ValType type, const QString &value);
// Stores the bytes as they are (binary values, and tests).
void RegistryWriteBytes(const RegistryPlace &place, std::uint32_t root, const QString &path,
                        const QString &name, ValType type, const QByteArray &data);
void RegistryDeleteValue(const RegistryPlace &place, std::uint32_t root, const QString &path,
                         const QString &name);
void RegistryDeleteKey(const RegistryPlace &place, std::uint32_t root, const QString &path);

// One key (`Group` root, `Section` path) and its operations; made for one use.
class clsRegAccess
{
  public:
    explicit clsRegAccess(RegistryPlace place = DefaultRegistryPlace()) : place_(std::move(place)) {}

    std::uint32_t Group = HKEY_LOCAL_MACHINE;
    QString Section;

    QString ReadRegistry(const QString &key) const;
    QStringList ReadRegistryGetAll(int idx) const;
    QString ReadRegistryGetSubkey(int idx) const;
    void WriteRegistry(const QString &key, ValType type, const QString &value) const;
    void DeleteValue(const QString &key) const;
    void DeleteSubkey() const;

  private:
    RegistryPlace place_;
};

// A command line word for a desktop entry's Exec: quoted when it holds anything
// but plain characters.
QString DesktopExecArgument(const QString &word);

} // namespace zestrel
