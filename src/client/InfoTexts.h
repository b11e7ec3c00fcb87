// The texts of the Help menu: up time, version and the uninstall instructions.
#pragma once

#include <QDateTime>
#include <QString>

namespace zestrel
{

struct UpTime {
    qint64 days = 0, hours = 0, minutes = 0, seconds = 0;
};
// Whole seconds split into days, hours below 24, minutes and seconds below 60.
UpTime SplitUpTime(qint64 seconds);

// The up-time report for a connection made at `connectedAt`, seen at `now`.
QString UpTimeText(const QDateTime &connectedAt, const QDateTime &now);
QString VersionText(const QString &appVersion);
QString UninstallTitle();
QString UninstallText();

} // namespace zestrel
