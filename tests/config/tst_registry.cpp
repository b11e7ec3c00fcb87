// The registry layer (typed values, "Not Found", the Run key as autostart entries)
// and auto-start on and off, in a temporary folder.
#include "config/AutoStart.h"
#include "config/Registry.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;

namespace
{
struct Place {
    QTemporaryDir dir;
    RegistryPlace place{dir.filePath(QStringLiteral("keys")), dir.filePath(QStringLiteral("autostart")),
                        QStringLiteral("/opt/zestrel/zestrel.svg")};
    QString entry() const { return QDir(place.autostartFolder).filePath("Zestrel.desktop"); }
};
const QString kKey = QStringLiteral("\\Software\\Zestrel\\Test\\");
} // namespace

class TestRegistry : public QObject
{
    Q_OBJECT
  private slots:
    void values_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("stored"); // bytes as stored
        QTest::addColumn<QString>("read");
        QTest::addColumn<QString>("listed"); // the data item of the enumeration
        const QByteArray text2048 = QByteArray(2047, 'x') + '\0';
        QTest::newRow("number 5") << int(REG_DWORD) << QByteArray("\x05\0\0\0", 4) << "005" << "005";
        QTest::newRow("number 99") << int(REG_DWORD) << QByteArray("\x63\0\0\0", 4) << "099" << "099";
        QTest::newRow("number 999") << int(REG_DWORD) << QByteArray("\xe7\x03\0\0", 4) << "999" << "999";
        QTest::newRow("number 1000") << int(REG_DWORD) << QByteArray("\xe8\x03\0\0", 4) << "1000"
                                     << "1000";
        QTest::newRow("number top") << int(REG_DWORD) << QByteArray("\xff\xff\xff\xff", 4)
                                    << "4294967295" << "4294967295";
        // Enumerated, a binary value is text without its last character.
        QTest::newRow("binary 10,255") << int(REG_BINARY) << QByteArray("\x0a\xff", 2) << "0AFF" << "\n";
        QTest::newRow("binary AB!") << int(REG_BINARY) << QByteArray("AB!") << "414221" << "AB";
        QTest::newRow("binary empty") << int(REG_BINARY) << QByteArray() << "" << "";
        QTest::newRow("text without its NUL") << int(REG_SZ) << QByteArray("abc\0", 4) << "abc" << "abc";
        QTest::newRow("text UTF-8") << int(REG_SZ) << QByteArray("cr\xc3\xa8me\0", 7)
                                    << QString::fromUtf8("cr\xc3\xa8me") << QString::fromUtf8("cr\xc3\xa8me");
        // The read buffer holds 2,048 bytes: one more does not fit.
        QTest::newRow("text of 2048 bytes") << int(REG_SZ) << text2048 << QString(2047, 'x')
                                            << QString(2047, 'x');
        QTest::newRow("text of 2049 bytes") << int(REG_SZ) << ('y' + text2048) << "Not Found"
                                            << "Not Found";
        QTest::newRow("binary of 2049 bytes") << int(REG_BINARY) << QByteArray(2049, '\x01')
                                              << "Not Found" << "Not Found";
    }
    void values()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, stored);
        QFETCH(QString, read);
        QFETCH(QString, listed);
        Place p;
        RegistryWriteBytes(p.place, HKEY_CURRENT_USER, kKey, "v", ValType(type), stored);
        QCOMPARE(RegistryRead(p.place, HKEY_CURRENT_USER, kKey, "v"), read);
        QCOMPARE(RegistryValueAt(p.place, HKEY_CURRENT_USER, kKey, 0),
                 (QStringList{QString::number(type), "v", listed}));
    }

    void writesReadBack_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("read");
        QTest::newRow("text") << int(REG_SZ) << "C:\\Zestrel\\Zestrel.exe"
                              << "C:\\Zestrel\\Zestrel.exe";
        QTest::newRow("empty text") << int(REG_SZ) << "" << "";
        QTest::newRow("number 5") << int(REG_DWORD) << "5" << "005";
        QTest::newRow("number 12345") << int(REG_DWORD) << "12345" << "12345";
        QTest::newRow("number -1") << int(REG_DWORD) << "-1" << "4294967295";
        QTest::newRow("number 2147483647") << int(REG_DWORD) << "2147483647" << "2147483647";
        // Not a 32-bit whole number: nothing is stored.
        QTest::newRow("number 2147483648") << int(REG_DWORD) << "2147483648" << "Not Found";
        QTest::newRow("number 4294967301") << int(REG_DWORD) << "4294967301" << "Not Found";
        QTest::newRow("number 12abc") << int(REG_DWORD) << "12abc" << "Not Found";
        QTest::newRow("number empty") << int(REG_DWORD) << "" << "Not Found";
    }
    void writesReadBack()
    {
        QFETCH(int, type);
        QFETCH(QString, value);
        QFETCH(QString, read);
        Place p;
        clsRegAccess reg(p.place);
        reg.Group = HKEY_LOCAL_MACHINE;
        reg.Section = kKey;
        reg.WriteRegistry("name", ValType(type), value);
        QCOMPARE(reg.ReadRegistry("name"), read);
        // Text is stored with one final NUL.
        if (type == REG_SZ)
            QCOMPARE(test::ReadAll(QDir(p.place.keysFolder).filePath("80000002/Software/Zestrel/Test/values"))
                         .trimmed(),
                     QByteArray("6e616d65 1 ") + (value.toUtf8() + '\0').toHex());
        reg.DeleteValue("name");
        QCOMPARE(reg.ReadRegistry("name"), QString("Not Found"));
    }

    void notFound()
    {
        Place p;
        clsRegAccess reg(p.place);
        reg.Section = kKey;
        QCOMPARE(reg.ReadRegistry("missing"), QString("Not Found")); // missing key
        reg.WriteRegistry("a", REG_SZ, "1");
        QCOMPARE(reg.ReadRegistry("missing"), QString("Not Found")); // missing value
        QCOMPARE(reg.ReadRegistryGetAll(1).value(2), QString("Not Found"));
        QCOMPARE(reg.ReadRegistryGetSubkey(0), QString("Not Found"));
        // A path that would leave the registry reads nothing and writes nothing.
        reg.Section = QStringLiteral("\\..\\..\\outside\\");
        reg.WriteRegistry("a", REG_SZ, "1");
        QCOMPARE(reg.ReadRegistry("a"), QString("Not Found"));
        QVERIFY(!QFileInfo::exists(p.dir.filePath("outside")));
        // Subkeys, and deleting a key with its values.
        reg.Section = QStringLiteral("\\Software\\Zestrel\\");
        QCOMPARE(reg.ReadRegistryGetSubkey(0), QString("Test"));
        reg.Section = kKey;
        reg.DeleteSubkey();
        QCOMPARE(reg.ReadRegistry("a"), QString("Not Found"));
    }

    void autoStart_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("exec");
        QTest::newRow("plain") << "/usr/bin/zestrel" << "Exec=/usr/bin/zestrel";
        QTest::newRow("space") << "/home/a b/zestrel" << "Exec=\"/home/a b/zestrel\"";
        QTest::newRow("percent and dollar")
            << "/opt/50%/$x" << "Exec=\"/opt/50%%/\\\\$x\"";
    }
    void autoStart()
    {
        QFETCH(QString, program);
        QFETCH(QString, exec);
        Place p;
        const QString command = AutoStartCommand({program});
        ApplyAutoStart(true, command, p.place);
        const QString entry = QString::fromUtf8(test::ReadAll(p.entry()));
        QVERIFY2(entry.startsWith("[Desktop Entry]\nType=Application\nName=Zestrel\n"), qPrintable(entry));
        QVERIFY2(entry.contains("\n" + exec + "\n"), qPrintable(entry));
        QVERIFY(entry.contains("\nIcon=/opt/zestrel/zestrel.svg\n"));
        // Read back through the Run key, the value is the command line.
        clsRegAccess reg(p.place);
        reg.Section = QString::fromLatin1(kRunKey);
        QCOMPARE(reg.ReadRegistry("Zestrel"), command);
        ApplyAutoStart(false, command, p.place);
        QVERIFY(!QFile::exists(p.entry()));
        QCOMPARE(reg.ReadRegistry("Zestrel"), QString("Not Found"));
        // Off when there is no entry: nothing happens.
        ApplyAutoStart(false, command, p.place);
        QVERIFY(!QFile::exists(p.entry()));
    }

    void autoStartSilentWhenUnwritable()
    {
        // The autostart "folder" is a file: nothing can be written below it, even by root.
        Place p;
        test::WriteAll(p.place.autostartFolder, "not a folder");
        ApplyAutoStart(true, "/usr/bin/zestrel", p.place);
        ApplyAutoStart(false, "/usr/bin/zestrel", p.place);
        QCOMPARE(test::ReadAll(p.place.autostartFolder), QByteArray("not a folder"));
        clsRegAccess reg(p.place);
        reg.Section = QString::fromLatin1(kRunKey);
        QCOMPARE(reg.ReadRegistry("Zestrel"), QString("Not Found"));
        // The same for ordinary keys.
        test::WriteAll(p.place.keysFolder, "not a folder");
        reg.Section = kKey;
        reg.WriteRegistry("a", REG_SZ, "1");
        QCOMPARE(reg.ReadRegistry("a"), QString("Not Found"));
    }
};

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
