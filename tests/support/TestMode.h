// Tests never touch the member's own configuration: the standard places (the
// autostart folder, our registry) point into a test folder for every suite that
// includes this.
#pragma once

#include <QStandardPaths>

namespace zestrel::test
{
inline const bool kStandardPathsInTestMode = [] {
    QStandardPaths::setTestModeEnabled(true);
    return true;
}();
} // namespace zestrel::test
