// A whole client for tests: its own program folder, diagnostics, scripted prompter,
// state and session, pointed at a server address and port.
#pragma once

#include "chat/TextFilter.h"
#include "client/Session.h"
#include "support/FakePrompter.h"
#include "wire/Frame.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

namespace zestrel::test
{

inline QString FS()
{
    return FromWire(protocol::kFieldSep);
}
inline QString LS()
{
    return FromWire(protocol::kListSep);
}

struct TestClient {
    explicit TestClient(const QString &name = QString(), const QString &host = QString(),
                        quint16 port = 0, int timeout = 5)
    {
        app.InitSeparators();
        app.Net.ServerAddress = host;
        app.Net.ServerPort = port ? QString::number(port) : QString();
        app.Net.ConnectTimeout = timeout;
        if (!name.isEmpty())
            app.Settings.insert(QStringLiteral("USERNAME"), name);
        QObject::connect(&diag.status, &StatusLine::textChanged,
                         [this](const QString &t) { statuses << t; });
    }

    QTemporaryDir dir;
    Diagnostics diag;
    FakePrompter prompter;
    AppState app{diag, prompter, dir.path()};
    Session session{app, ScreenText};
    Connection &connection = session.connection;
    MemberDirectory &members = session.members;
    QStringList statuses;

    // Turns the log on, into the program folder.
    QString enableLog()
    {
        const QString path = QDir(dir.path()).filePath(QStringLiteral("zestrel.log"));
        app.Net.LoggingEnabled = diag.LoggingEnabled = true;
        app.Net.LogFilePath = diag.LogFilePath = path;
        return path;
    }
    QByteArray log() const
    {
        QFile f(diag.LogFilePath);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList memberTexts() const
    {
        QStringList t;
        for (int r = 0; r < members.tree.tvUsers.rowCount(); ++r)
            t << members.tree.tvUsers.index(r, 0).data().toString();
        return t;
    }
    QString centerText() const
    {
        return diag.messageCenter() ? diag.messageCenter()->Message() : QString();
    }
    QString centerTitle() const
    {
        return diag.messageCenter() ? diag.messageCenter()->Title : QString();
    }
    void receive(const QString &code, const QString &source, const QString &payload)
    {
        connection.ProcessChunk(BuildMessage(code, source, QString(), payload).toUtf8());
    }
};

} // namespace zestrel::test
