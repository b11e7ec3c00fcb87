// The Help menu's texts: up-time arithmetic, the version and the uninstall lines.
#include "client/InfoTexts.h"

#include <QLocale>
#include <QtTest>

using namespace zestrel;

class TestInfoTexts : public QObject
{
    Q_OBJECT
  private slots:
    void upTime_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("counts");
        QTest::newRow("59 s") << qint64(59) << "0 Days, 0 Hours, 0 Minutes, 59 Seconds";
        QTest::newRow("60 s") << qint64(60) << "0 Days, 0 Hours, 1 Minutes, 0 Seconds";
        QTest::newRow("3599 s") << qint64(3599) << "0 Days, 0 Hours, 59 Minutes, 59 Seconds";
        QTest::newRow("one hour") << qint64(3600) << "0 Days, 1 Hours, 0 Minutes, 0 Seconds";
        QTest::newRow("86399 s") << qint64(86399) << "0 Days, 23 Hours, 59 Minutes, 59 Seconds";
        QTest::newRow("one day") << qint64(86400) << "1 Days, 0 Hours, 0 Minutes, 0 Seconds";
        QTest::newRow("1d 1h 1m 1s") << qint64(90061) << "1 Days, 1 Hours, 1 Minutes, 1 Seconds";
        QTest::newRow("400 days") << qint64(400 * 86400 + 5) << "400 Days, 0 Hours, 0 Minutes, 5 Seconds";
        QTest::newRow("clock set back") << qint64(-30) << "0 Days, 0 Hours, 0 Minutes, 0 Seconds";
    }
    void upTime()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, counts);
        const QDateTime at(QDate(2026, 3, 1), QTime(23, 30, 0));
        const QString text = UpTimeText(at, at.addSecs(seconds));
        QCOMPARE(text, "You have been logged on to Zestrel since: " +
                           QLocale::system().toString(at, QLocale::ShortFormat) +
                           "\r\n\r\nTotal time since last disconnect: " + counts);
    }

    void version() { QCOMPARE(VersionText("1.2.15"), QString("You are using Zestrel version 1.2.15")); }

    void uninstall()
    {
        QCOMPARE(UninstallTitle(), QString("Uninstall/Upgrade Instructions"));
        QCOMPARE(
            UninstallText(),
            QString("Uninstall/Upgrade Instructions for Zestrel\r\n"
                    "\r\n"
                    "To uninstall/reinstall Zestrel please do the following...\r\n"
                    "\r\n"
                    "1.  If you are planning on installing the latest version of Zestrel, backup "
                    "your settings file by choosing File -> Settings -> Backup\r\n"
                    "2.  When asked if you want to flag the file for restoration the next time "
                    "you run Zestrel, choose OK\r\n"
                    "3.  Go to your control panel: Start -> Settings -> Control Panel\r\n"
                    "4.  Double Click Add/Remove programs\r\n"
                    "5.  Highligh/Click Zestrel\r\n"
                    "6.  Click Add/Remove\r\n"
                    "7.  If you are upgrading, just run the latest Zestrel install kit and when "
                    "prompted, restore settings from backup Zestrel settings file (created during "
                    "step 1).\r\n"
                    "\r\n"
                    "We would like to thank you for trying Zestrel!\r\n"
                    "\r\n"
                    "QEVO"));
    }
};

QTEST_GUILESS_MAIN(TestInfoTexts)
#include "tst_infotexts.moc"
