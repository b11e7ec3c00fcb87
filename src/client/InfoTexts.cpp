#include "client/InfoTexts.h"

#include "app/Text.h"

#include <QLocale>
#include <QStringList>

namespace zestrel
{

UpTime SplitUpTime(qint64 s)
{
    UpTime t;
    if (s < 0)
        s = 0; // a clock set back does not give negative counts
    t.days = s / 86400;
    s -= t.days * 86400;
    t.hours = s / 3600;
    s -= t.hours * 3600;
    t.minutes = s / 60;
    t.seconds = s - t.minutes * 60;
    return t;
}

QString UpTimeText(const QDateTime &connectedAt, const QDateTime &now)
{
    const UpTime t = SplitUpTime(connectedAt.secsTo(now));
    return QStringLiteral("You have been logged on to Zestrel since: ") +
           QLocale::system().toString(connectedAt, QLocale::ShortFormat) + kCrLf + kCrLf +
           QStringLiteral("Total time since last disconnect: ") + QString::number(t.days) +
           QStringLiteral(" Days, ") + QString::number(t.hours) + QStringLiteral(" Hours, ") +
           QString::number(t.minutes) + QStringLiteral(" Minutes, ") +
           QString::number(t.seconds) + QStringLiteral(" Seconds");
}

QString VersionText(const QString &appVersion)
{
    return QStringLiteral("You are using Zestrel version ") + appVersion;
}

QString UninstallTitle()
{
    return QStringLiteral("Uninstall/Upgrade Instructions");
}

QString UninstallText()
{
    const QStringList lines{
        QStringLiteral("Uninstall/Upgrade Instructions for Zestrel"),
        QString(),
        QStringLiteral("To uninstall/reinstall Zestrel please do the following..."),
        QString(),
        QStringLiteral("1.  If you are planning on installing the latest version of Zestrel, "
                       "backup your settings file by choosing File -> Settings -> Backup"),
        QStringLiteral("2.  When asked if you want to flag the file for restoration the next "
                       "time you run Zestrel, choose OK"),
        QStringLiteral("3.  Go to your control panel: Start -> Settings -> Control Panel"),
        QStringLiteral("4.  Double Click Add/Remove programs"),
        QStringLiteral("5.  Highligh/Click Zestrel"),
        QStringLiteral("6.  Click Add/Remove"),
        QStringLiteral("7.  If you are upgrading, just run the latest Zestrel install kit and "
                       "when prompted, restore settings from backup Zestrel settings file "
                       "(created during step 1)."),
        QString(),
        QStringLiteral("We would like to thank you for trying Zestrel!"),
        QString(),
        QStringLiteral("QEVO"),
    };
    return lines.join(kCrLf);
}

} // namespace zestrel
