// Which folder the program writes to: given, its own (portable), or the per-user one.
#include "client/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel;

class TestProgramFolder : public QObject
{
    Q_OBJECT

private slots:
    void resolves_data();
    void resolves();
};

void TestProgramFolder::resolves_data()
{
    QTest::addColumn<bool>("giveFolder");
    QTest::addColumn<bool>("folderWithoutValue");
    QTest::addColumn<bool>("ownWritable");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("expected"); // given, own or data

    QTest::newRow("--folder wins over a writable own folder") << true << false << true << false << "given";
    QTest::newRow("--folder wins for an installed program") << true << false << false << true << "given";
    QTest::newRow("a portable copy writes beside itself") << false << false << true << false << "own";
    QTest::newRow("--folder without a value is ignored") << false << true << true << false << "own";
    QTest::newRow("an unwritable own folder") << false << false << false << false << "data";
    QTest::newRow("installed and writable (run as root)") << false << false << true << true << "data";
}

void TestProgramFolder::resolves()
{
    QFETCH(bool, giveFolder);
    QFETCH(bool, folderWithoutValue);
    QFETCH(bool, ownWritable);
    QFETCH(bool, installed);
    QFETCH(QString, expected);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    // Root may write anywhere, so an unwritable folder is one that cannot hold a file at all.
    const QString bin = root.filePath(ownWritable ? QStringLiteral("prefix/bin")
                                                  : QStringLiteral("prefix/bin/zestrel/bin"));
    const QString data = root.filePath(QStringLiteral("home/.local/share/zestrel"));
    const QString given = root.filePath(QStringLiteral("given/folder"));
    QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("prefix/bin"))));
    if (!ownWritable) {
        QFile executable(root.filePath(QStringLiteral("prefix/bin/zestrel")));
        QVERIFY(executable.open(QIODevice::WriteOnly));
    }
    if (installed) {
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("prefix/share/applications"))));
        QFile entry(root.filePath(QStringLiteral("prefix/share/applications/org.zestrel.Zestrel.desktop")));
        QVERIFY(entry.open(QIODevice::WriteOnly));
    }

    QStringList args{QStringLiteral("zestrel")};
    if (giveFolder)
        args << QStringLiteral("--folder") << given;
    if (folderWithoutValue)
        args << QStringLiteral("--folder");

    const QString got = ResolveProgramFolder(args, bin, data);

    const QString want = expected == QLatin1String("given") ? given
                         : expected == QLatin1String("own") ? bin
                                                            : data;
    QCOMPARE(got, want);
    QVERIFY(QFileInfo(got).isDir()); // made when missing
    if (ownWritable) // the probe leaves nothing behind
        QCOMPARE(QDir(bin).entryList(QDir::Files | QDir::Hidden).size(), 0);
}

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
