// INI files: the reading and writing rules every setting relies on.
#include "config/Ini.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace zestrel;

namespace
{

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<missing>";
    return f.readAll();
}

void WriteAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// Lines joined with CR LF, each line ending in CR LF, as the writer stores them.
QByteArray Crlf(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const auto &l : lines)
        out += l + "\r\n";
    return out;
}

} // namespace

class TestIni : public QObject
{
    Q_OBJECT

  private slots:
    // A fresh folder for every test row, so leftovers of one row cannot hide in another.
    void init()
    {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        const QByteArray misc = Crlf({"[MISC]", "DEV=TRUE", "", "[PROFILE]", "USERNAME=bob"});
        QTest::newRow("plain") << misc << "MISC"
                               << "DEV"
                               << "TRUE";
        QTest::newRow("second section") << misc << "PROFILE"
                                        << "USERNAME"
                                        << "bob";
        QTest::newRow("key case differs") << misc << "MISC"
                                          << "dev"
                                          << "";
        QTest::newRow("section case differs") << misc << "misc"
                                              << "DEV"
                                              << "";
        QTest::newRow("key in another section") << misc << "PROFILE"
                                                << "DEV"
                                                << "";
        QTest::newRow("space before =") << Crlf({"[MISC]", "DEV =TRUE"}) << "MISC"
                                        << "DEV"
                                        << "";
        QTest::newRow("spaces belong to key and value") << Crlf({"[MISC]", "A = 1"}) << "MISC"
                                                        << "A "
                                                        << " 1";
        // A key matches only up to its "=": a longer or shorter key is another key.
        QTest::newRow("PINGX is not PING") << Crlf({"[MISC]", "PINGX=1", "PING=0"}) << "MISC"
                                           << "PING"
                                           << "0";
        QTest::newRow("PINGX alone gives nothing for PING") << Crlf({"[MISC]", "PINGX=1"}) << "MISC"
                                                            << "PING"
                                                            << "";
        QTest::newRow("PING alone gives nothing for PINGX") << Crlf({"[MISC]", "PING=1"}) << "MISC"
                                                            << "PINGX"
                                                            << "";
        QTest::newRow("bare key line has no value") << Crlf({"[MISC]", "PING", "PINGX=1"}) << "MISC"
                                                    << "PING"
                                                    << "";
        QTest::newRow("empty value") << Crlf({"[MISC]", "DEV="}) << "MISC"
                                     << "DEV"
                                     << "";
        QTest::newRow("value keeps later =") << Crlf({"[M]", "K=a=b"}) << "M"
                                             << "K"
                                             << "a=b";
        QTest::newRow("first section of a name wins")
            << Crlf({"[M]", "A=1", "[M]", "A=2", "B=3"}) << "M"
            << "A"
            << "1";
        QTest::newRow("key only in duplicate section") << Crlf({"[M]", "A=1", "[M]", "B=3"}) << "M"
                                                       << "B"
                                                       << "";
        QTest::newRow("blank lines inside section skipped") << Crlf({"[M]", "", "", "A=1"}) << "M"
                                                            << "A"
                                                            << "1";
        QTest::newRow("line starting with = carries nothing") << Crlf({"[M]", "=x", "A=1"}) << "M"
                                                              << ""
                                                              << "";
        QTest::newRow("text after ] ignored") << Crlf({"[M] comment", "A=1"}) << "M"
                                              << "A"
                                              << "1";
        QTest::newRow("header with leading space is no header")
            << Crlf({"[X]", " [M]", "A=1"}) << "M"
            << "A"
            << "";
        QTest::newRow("header without ] before the section") << Crlf({"[BAD", "[M]", "A=1"}) << "M"
                                                             << "A"
                                                             << "";
        QTest::newRow("header without ] after the key is never reached")
            << Crlf({"[M]", "A=1", "[BAD"}) << "M"
            << "A"
            << "1";
        QTest::newRow("lone CR ends a line") << QByteArray("[M]\rA=1\rB=2\r") << "M"
                                             << "B"
                                             << "2";
        QTest::newRow("LF ends a line") << QByteArray("[M]\nA=1\nB=2") << "M"
                                        << "B"
                                        << "2";
        QTest::newRow("list separator survives") << QByteArray("[P]\r\nD=a\0\1\0b\r\n", 14) << "P"
                                                 << "D" << QString::fromLatin1("a\0\1\0b", 5);
        QTest::newRow("utf-8 value") << Crlf({"[P]", "USERNAME=J\xc3\xb8rn"}) << "P"
                                     << "USERNAME" << QString::fromUtf8("J\xc3\xb8rn");
    }

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString path = tmp_->filePath(QStringLiteral("r.ini"));
        WriteAll(path, content);
        QCOMPARE(ReadIniKey(path, section, key), expected);
    }

    void readMissingFile()
    {
        QCOMPARE(ReadIniKey(tmp_->filePath(QStringLiteral("none.ini")), "M", "A"), QString());
    }

    void write_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("keyLine");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("missing file: two lines, no leading blank")
            << false << QByteArray() << "MISC"
            << "DEV=TRUE" << Crlf({"[MISC]", "DEV=TRUE"});
        QTest::newRow("existing empty file gets a blank line first")
            << true << QByteArray() << "MISC"
            << "DEV=TRUE" << Crlf({"", "[MISC]", "DEV=TRUE"});
        QTest::newRow("missing section appended after a blank line")
            << true << Crlf({"[A]", "X=1"}) << "MISC"
            << "DEV=TRUE" << Crlf({"[A]", "X=1", "", "[MISC]", "DEV=TRUE"});
        QTest::newRow("existing key replaced in place")
            << true << Crlf({"; top", "[M]", "A=1", "B=2", "C=3", "", "[N]", "B=9"}) << "M"
            << "B=20" << Crlf({"; top", "[M]", "A=1", "B=20", "C=3", "", "[N]", "B=9"});
        QTest::newRow("new key before the blank line ending its section")
            << true << Crlf({"[M]", "A=1", "", "[N]", "X=1"}) << "M"
            << "B=2" << Crlf({"[M]", "A=1", "B=2", "", "[N]", "X=1"});
        QTest::newRow("new key before a directly following header")
            << true << Crlf({"[M]", "A=1", "[N]", "X=1"}) << "M"
            << "B=2" << Crlf({"[M]", "A=1", "B=2", "[N]", "X=1"});
        QTest::newRow("new key after the last line of the last section")
            << true << Crlf({"[N]", "X=1", "", "[M]", "A=1"}) << "M"
            << "B=2" << Crlf({"[N]", "X=1", "", "[M]", "A=1", "B=2"});
        QTest::newRow("section header is the last line")
            << true << Crlf({"[N]", "X=1", "[M]"}) << "M"
            << "B=2" << Crlf({"[N]", "X=1", "[M]", "B=2"});
        QTest::newRow("key after a blank line is not replaced")
            << true << Crlf({"[M]", "A=1", "", "B=2"}) << "M"
            << "B=3" << Crlf({"[M]", "A=1", "B=3", "", "B=2"});
        QTest::newRow("bare key line without = is the key's line")
            << true << Crlf({"[MISC]", "DEV", "X=1"}) << "MISC"
            << "DEV=TRUE" << Crlf({"[MISC]", "DEV=TRUE", "X=1"});
        QTest::newRow("longer key with the same start is another key")
            << true << Crlf({"[M]", "PINGX=1", "", "[N]"}) << "M"
            << "PING=1" << Crlf({"[M]", "PINGX=1", "PING=1", "", "[N]"});
        QTest::newRow("shorter key with the same start is another key")
            << true << Crlf({"[M]", "PING=1", "", "[N]"}) << "M"
            << "PINGX=0" << Crlf({"[M]", "PING=1", "PINGX=0", "", "[N]"});
        QTest::newRow("first of two same-named sections")
            << true << Crlf({"[M]", "A=1", "", "[M]", "A=2"}) << "M"
            << "A=5" << Crlf({"[M]", "A=5", "", "[M]", "A=2"});
        QTest::newRow("section names are case-sensitive")
            << true << Crlf({"[misc]", "DEV=x"}) << "MISC"
            << "DEV=TRUE" << Crlf({"[misc]", "DEV=x", "", "[MISC]", "DEV=TRUE"});
        QTest::newRow("LF and lone CR files come back as CR LF")
            << true << QByteArray("[M]\nA=1\rB=2") << "M"
            << "A=3" << Crlf({"[M]", "A=3", "B=2"});
        QTest::newRow("untouched lines keep their bytes")
            << true << Crlf({"[X]", "N=\xe9t\xe9", "[M]", "A=1"}) << "M"
            << "A=2" << Crlf({"[X]", "N=\xe9t\xe9", "[M]", "A=2"});
    }

    void write()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, keyLine);
        QFETCH(QByteArray, after);
        const QString path = tmp_->filePath(QStringLiteral("w.ini"));
        QFile::remove(path);
        if (exists)
            WriteAll(path, before);
        QString error;
        QVERIFY2(WriteIniKey(path, section, keyLine, &error), qPrintable(error));
        QCOMPARE(ReadAll(path), after);
        // What was written reads back.
        const qsizetype eq = keyLine.indexOf('=');
        QCOMPARE(ReadIniKey(path, section, keyLine.left(eq)), keyLine.mid(eq + 1));
        // Nothing is left beside the file.
        QCOMPARE(QDir(dirPath()).entryList(QDir::Files), QStringList{"w.ini"});
    }

    void writeCreatesFolders()
    {
        const QString path = tmp_->filePath(QStringLiteral("a/b/zestrel.ini"));
        QVERIFY(WriteIniKey(path, "PROFILE", "USERNAME=ann"));
        QCOMPARE(ReadIniKey(path, "PROFILE", "USERNAME"), QString("ann"));
    }

    void brokenHeaderFailsWithoutTouchingTheFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::newRow("before the section") << Crlf({"[BAD", "[M]", "A=1"}) << "M";
        QTest::newRow("section missing") << Crlf({"[M]", "A=1", "[BAD"}) << "N";
    }

    void brokenHeaderFailsWithoutTouchingTheFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        const QString path = tmp_->filePath(QStringLiteral("b.ini"));
        WriteAll(path, content);
        QString error;
        QVERIFY(!WriteIniKey(path, section, "A=2", &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(ReadAll(path), content);
        QCOMPARE(QDir(dirPath()).entryList(QDir::Files), QStringList{"b.ini"});
    }

    void lineBreakInValueIsRefused_data()
    {
        QTest::addColumn<QString>("keyLine");
        QTest::newRow("LF") << "CKFPATH=/a\n[MISC]\nDEV=TRUE";
        QTest::newRow("CR") << "USERNAME=a\rb";
        QTest::newRow("CR LF") << "USERNAME=a\r\nb";
    }

    void lineBreakInValueIsRefused()
    {
        QFETCH(QString, keyLine);
        const QString path = tmp_->filePath(QStringLiteral("n.ini"));
        const QByteArray content = Crlf({"[MISC]", "CKFPATH=/x"});
        WriteAll(path, content);
        QString error;
        QVERIFY(!WriteIniKey(path, "MISC", keyLine, &error));
        QVERIFY(!error.isEmpty());
        QCOMPARE(ReadAll(path), content);
    }

    void unwritableFolderLeavesFileWhole()
    {
        const QString sub = tmp_->filePath(QStringLiteral("ro"));
        QVERIFY(QDir().mkpath(sub));
        const QString path = sub + QStringLiteral("/z.ini");
        const QByteArray content = Crlf({"[M]", "A=1"});
        WriteAll(path, content);
        QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner);
        const bool canStillWrite = QFile(sub + "/probe").open(QIODevice::WriteOnly);
        if (canStillWrite) {
            QFile::remove(sub + "/probe");
            QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("running with rights that ignore folder permissions");
        }
        QVERIFY(!WriteIniKey(path, "M", "A=2"));
        QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(ReadAll(path), content);
    }

    void fileHelpers()
    {
        const QString path = tmp_->filePath(QStringLiteral("x/y/f.txt"));
        QVERIFY(!FileExists(path));
        QVERIFY(CreateEmptyFile(path));
        QVERIFY(FileExists(path));
        QCOMPARE(QFileInfo(path).size(), 0);
        WriteAll(path, "data");
        QVERIFY(CreateEmptyFile(path)); // existing folder is fine; the file is emptied
        QCOMPARE(QFileInfo(path).size(), 0);
        QVERIFY(!FileExists(tmp_->filePath(QStringLiteral("x")))); // a folder is no file
        QVERIFY(DeleteFile(path));
        QVERIFY(!FileExists(path));
        QVERIFY(!DeleteFile(path));
    }

  private:
    std::unique_ptr<QTemporaryDir> tmp_;
    QString dirPath() const { return tmp_->path(); }
};

QTEST_GUILESS_MAIN(TestIni)
#include "tst_ini.moc"
