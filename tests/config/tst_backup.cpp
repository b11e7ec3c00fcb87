// Settings backup, restore and the start-up offer, with real files and the scripted
// prompter.
#include "config/Backup.h"
#include "config/Ini.h"
#include "support/TestFiles.h"

#include <QtTest>

using namespace zestrel;
using test::ReadAll;
using test::WriteAll;

namespace
{
struct Env : test::ProgramFolder {
    Env()
    {
        state.InitSeparators();
        WriteAll(state.SettingsFilePath, "[PROFILE]\r\nUSERNAME=alice\r\n");
    }
    QString backup() const { return BackupFilePath(state); }
    QString old() const { return PreviousFilePath(state); }
    QString flag() const
    {
        return ReadIniKey(backup(), QStringLiteral("FLAG"), QStringLiteral("ASKTORESTORE"));
    }
    QString centerTitle() const
    {
        return diag.messageCenter() ? diag.messageCenter()->Title : QString();
    }
    QString centerText() const
    {
        return diag.messageCenter() ? diag.messageCenter()->Message() : QString();
    }
};
const QString kOffer = QStringLiteral(
    "Zestrel has detected that a backup Zestrel settings file exists from a previous version of "
    "Zestrel.\\r\\n\\r\\nWould you like to restore all Zestrel settings from the backup file?");
} // namespace

class TestBackup : public QObject
{
    Q_OBJECT
  private slots:
    void backupFlag_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("flag");
        QTest::addColumn<bool>("offered");
        QTest::newRow("yes") << int(PromptAnswer::Yes) << "YES" << true;
        QTest::newRow("no") << int(PromptAnswer::No) << "NO" << false;
    }
    void backupFlag()
    {
        QFETCH(int, answer);
        QFETCH(QString, flag);
        QFETCH(bool, offered);
        Env env;
        env.prompter.answers.enqueue(PromptAnswer(answer));
        BackupSettings(env.state);
        QCOMPARE(env.prompter.shown.size(), 1);
        QCOMPARE(env.prompter.shown[0].title, QString("Backup Settings"));
        QCOMPARE(env.prompter.shown[0].icon, PromptIcon::Question);
        QCOMPARE(env.prompter.shown[0].buttons, PromptButtons::YesNo);
        QCOMPARE(
            env.prompter.shown[0].text,
            QString("You have made a backup copy of your current settings.  This can be used "
                    "so when you upgrade to the next version of Zestrel, you can restore your "
                    "settings.\r\n\r\nWould you like to flag this file so that the next time "
                    "you run Zestrel, it will prompt you to restore Zestrel settings from your "
                    "backup file?"));
        QCOMPARE(env.flag(), flag);
        QVERIFY(ReadAll(env.backup()).startsWith("[PROFILE]\r\nUSERNAME=alice\r\n"));

        // The next start: offered only when flagged; answering No keeps the settings and
        // the offer never comes again.
        env.prompter.shown.clear();
        WriteIniKey(env.state.SettingsFilePath, "PROFILE", "USERNAME=bob");
        OfferRestore(env.state);
        QCOMPARE(env.prompter.shown.size(), offered ? 1 : 0);
        if (offered)
            QCOMPARE(env.prompter.shown[0].title, QString("Backup Settings File found"));
        QCOMPARE(env.flag(), QString("NO"));
        QCOMPARE(ReadIniKey(env.state.SettingsFilePath, "PROFILE", "USERNAME"), QString("bob"));
        env.prompter.shown.clear();
        OfferRestore(env.state);
        QCOMPARE(env.prompter.shown.size(), 0);
    }

    void offerYesRestores_data()
    {
        QTest::addColumn<QByteArray>("backup");
        QTest::newRow("flagged YES") << QByteArray("[PROFILE]\r\nUSERNAME=old\r\n\r\n[FLAG]\r\n"
                                                   "ASKTORESTORE=YES\r\n");
        QTest::newRow("copied by hand, no flag") << QByteArray("[PROFILE]\r\nUSERNAME=old\r\n");
        QTest::newRow("lower-case no is not NO")
            << QByteArray("[PROFILE]\r\nUSERNAME=old\r\n\r\n[FLAG]\r\nASKTORESTORE=no\r\n");
    }
    void offerYesRestores()
    {
        QFETCH(QByteArray, backup);
        Env env;
        WriteAll(env.backup(), backup);
        env.prompter.answers.enqueue(PromptAnswer::Yes);
        OfferRestore(env.state);
        QCOMPARE(env.prompter.titles(), QStringList{"Backup Settings File found"});
        QCOMPARE(env.prompter.shown[0].text.replace("\r\n", "\\r\\n"), kOffer);
        QCOMPARE(ReadIniKey(env.state.SettingsFilePath, "PROFILE", "USERNAME"), QString("old"));
        QCOMPARE(ReadAll(env.old()), QByteArray("[PROFILE]\r\nUSERNAME=alice\r\n"));
        QCOMPARE(env.flag(), QString("NO"));
    }

    void menuRestore()
    {
        Env env;
        WriteAll(env.backup(), "[PROFILE]\r\nUSERNAME=old\r\n\r\n[MISC]\r\nAUTOSTART=1\r\n");
        QList<bool> autoStart;
        RestoreSettings(env.state, [&autoStart](bool on) { autoStart << on; });
        QCOMPARE(env.centerTitle(), QString("Restore Settings"));
        QCOMPARE(env.centerText(),
                 QString("You have restored the last backed up copy of your settings.\r\n\r\nYou "
                         "will have to restart Zestrel before some of these changes are active!"));
        // Current at once, written back with every key, auto-start applied.
        QCOMPARE(env.state.UserName, QString("old"));
        QCOMPARE(ReadIniKey(env.state.SettingsFilePath, "MISC", "STOREDRECIPES"), QString("25"));
        QCOMPARE(autoStart, QList<bool>{true});
        QCOMPARE(ReadAll(env.old()), QByteArray("[PROFILE]\r\nUSERNAME=alice\r\n"));
        QVERIFY(env.prompter.shown.isEmpty());
    }

    void failures_data()
    {
        QTest::addColumn<bool>("backupNotRestore");
        QTest::newRow("backup without settings file") << true;
        QTest::newRow("restore without backup copy") << false;
    }
    void failures()
    {
        QFETCH(bool, backupNotRestore);
        Env env;
        WriteAll(env.old(), "older settings");
        if (backupNotRestore) {
            QVERIFY(QFile::remove(env.state.SettingsFilePath));
            BackupSettings(env.state);
            QVERIFY(!QFile::exists(env.backup()));
        } else {
            RestoreSettings(env.state);
            QCOMPARE(ReadAll(env.state.SettingsFilePath),
                     QByteArray("[PROFILE]\r\nUSERNAME=alice\r\n"));
        }
        // No question asked, the "Error" notice, and zestrel.old untouched.
        QVERIFY(env.prompter.shown.isEmpty());
        QCOMPARE(env.centerTitle(), QString("Error"));
        QVERIFY2(env.centerText().startsWith("53: Zestrel\r\n\r\nFile not found: "),
                 qPrintable(env.centerText()));
        QCOMPARE(ReadAll(env.old()), QByteArray("older settings"));
    }

    // A copy that cannot be completed changes no file; the offer stays flagged.
    void failedCopyChangesNothing_data()
    {
        QTest::addColumn<bool>("offer");
        QTest::newRow("restore from an unreadable backup copy") << false;
        QTest::newRow("offer answered Yes, zestrel.old cannot be written") << true;
    }
    void failedCopyChangesNothing()
    {
        QFETCH(bool, offer);
        Env env;
        if (offer) {
            WriteAll(env.backup(), "[PROFILE]\r\nUSERNAME=old\r\n\r\n[FLAG]\r\n"
                                   "ASKTORESTORE=YES\r\n");
            QVERIFY(QDir().mkpath(env.old() + "/in-the-way"));
            env.prompter.answers.enqueue(PromptAnswer::Yes);
            OfferRestore(env.state);
            QCOMPARE(env.flag(), QString("YES"));
        } else {
            QVERIFY(QDir().mkpath(env.backup())); // there, but no file to read
            RestoreSettings(env.state);
        }
        QCOMPARE(ReadAll(env.state.SettingsFilePath),
                 QByteArray("[PROFILE]\r\nUSERNAME=alice\r\n"));
        QCOMPARE(env.centerTitle(), QString("Error"));
        QVERIFY2(env.centerText().startsWith("75: Zestrel\r\n\r\nPath/File access error: "),
                 qPrintable(env.centerText()));
        const QStringList left = offer ? QStringList{"zestrel.ini", "zestrel.xxx"}
                                       : QStringList{"zestrel.ini", "zestrel.old"};
        QCOMPARE(QDir(env.state.ProgramFolder).entryList(QDir::Files), left);
    }
};

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
