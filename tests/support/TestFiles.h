// Files in a test's temporary program folder, and the state around one.
#pragma once

#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "support/FakePrompter.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace zestrel::test
{

// The whole file; `missing` when it cannot be read.
inline QByteArray ReadAll(const QString &path, const QByteArray &missing = "<missing>")
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : missing;
}

inline void WriteAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// A program folder with the state, diagnostics and scripted prompter of one client.
struct ProgramFolder {
    QTemporaryDir dir;
    Diagnostics diag;
    FakePrompter prompter;
    AppState state{diag, prompter, dir.path()};
};

} // namespace zestrel::test
