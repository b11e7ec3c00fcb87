// Status line, idle rule, message center and log file.
#include "app/Diagnostics.h"

#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace zestrel;

namespace
{
const QString kDashes = QString(54, QLatin1Char('-'));
const QString kSep = QStringLiteral("\r\n\r\n") + kDashes + QStringLiteral("\r\n\r\n");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}
} // namespace

class TestDiagnostics : public QObject
{
    Q_OBJECT
  private slots:
    void messageLayout_data();
    void messageLayout();
    void titleRules_data();
    void titleRules();
    void okClearsAndCloseUnloads();
    void closeKeepsTwoUnanswered();
    void pendingMessages();
    void countHasNo16BitLimit();
    void textStaysBounded_data();
    void textStaysBounded();
    void writeLog_data();
    void writeLog();
    void loggingOffCreatesNoFile();
    void writeLogFailureReported();
    void reportError_data();
    void reportError();
    void setStatusCoalesced();
    void idleRule();
};

void TestDiagnostics::messageLayout_data()
{
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<qint64>("count");

    QTest::newRow("one") << QStringList{"first"} << QStringLiteral("first") << qint64(1);
    QTest::newRow("two, newest on top") << QStringList{"first", "second"}
                                        << (QStringLiteral("second") + kSep + "first") << qint64(2);
    QTest::newRow("three") << QStringList{"a", "b", "c"}
                           << (QStringLiteral("c") + kSep + "b" + kSep + "a") << qint64(3);
    // Only blank-by-spaces messages are skipped; the rest are kept untrimmed.
    QTest::newRow("spaces-only skipped")
        << QStringList{"first", "   ", "second"} << (QStringLiteral("second") + kSep + "first")
        << qint64(2);
    QTest::newRow("kept untrimmed")
        << QStringList{"  padded  "} << QStringLiteral("  padded  ") << qint64(1);
    QTest::newRow("line break is not blank")
        << QStringList{"first", "\r\n"} << (QStringLiteral("\r\n") + kSep + "first") << qint64(2);
}

void TestDiagnostics::messageLayout()
{
    QFETCH(QStringList, messages);
    QFETCH(QString, expected);
    QFETCH(qint64, count);

    Diagnostics diag;
    for (const QString &m : messages)
        diag.ShowMessage(m, QString());
    QVERIFY(diag.messageCenter());
    QCOMPARE(diag.messageCenter()->Message(), expected);
    QCOMPARE(diag.messageCenter()->MessageCount, count);
    QVERIFY(diag.messageCenter()->Visible);
    QVERIFY(!diag.messageCenter()->Shown);
}

void TestDiagnostics::titleRules_data()
{
    QTest::addColumn<QStringList>("titles");
    QTest::addColumn<QString>("caption");

    QTest::newRow("created") << QStringList{""} << QStringLiteral("Message");
    QTest::newRow("given") << QStringList{"Connection Lost"} << QStringLiteral("Connection Lost");
    QTest::newRow("empty keeps last")
        << QStringList{"Connection Lost", ""} << QStringLiteral("Connection Lost");
    QTest::newRow("blank keeps last")
        << QStringList{"Connection Lost", "   "} << QStringLiteral("Connection Lost");
    QTest::newRow("newer wins") << QStringList{"Connection Lost", "Error"}
                                << QStringLiteral("Error");
}

void TestDiagnostics::titleRules()
{
    QFETCH(QStringList, titles);
    QFETCH(QString, caption);

    Diagnostics diag;
    for (const QString &t : titles)
        diag.ShowMessage(QStringLiteral("text"), t);
    QCOMPARE(diag.messageCenter()->Title, caption);
}

void TestDiagnostics::okClearsAndCloseUnloads()
{
    Diagnostics diag;
    MessageCenter *created = nullptr;
    diag.onMessageCenterCreated = [&](MessageCenter *c) { created = c; };
    diag.ShowMessage(QStringLiteral("one"), QStringLiteral("Connection Lost"));
    diag.ShowMessage(QStringLiteral("two"), QString());
    QPointer<MessageCenter> center = diag.messageCenter();
    QCOMPARE(created, center.data());

    QSignalSpy hidden(center.data(), &MessageCenter::visibilityChanged);
    center->ClearAndHide();
    QCOMPARE(center->Message(), QString());
    QCOMPARE(center->Title, QStringLiteral("Zestrel Message Center"));
    QCOMPARE(center->MessageCount, qint64(0));
    QVERIFY(center->Shown);
    QVERIFY(!center->Visible);
    QCOMPARE(hidden.count(), 1);
    QCOMPARE(hidden.first().first().toBool(), false);

    diag.CloseMessageCenter();
    QCOMPARE(diag.messageCenter(), nullptr);
    QTRY_VERIFY(center.isNull());

    // The next message makes a fresh center under the initial caption.
    diag.ShowMessage(QStringLiteral("again"), QString());
    QVERIFY(diag.messageCenter());
    QCOMPARE(diag.messageCenter()->Title, QStringLiteral("Message"));
    QCOMPARE(diag.messageCenter()->Message(), QStringLiteral("again"));
}

void TestDiagnostics::closeKeepsTwoUnanswered()
{
    Diagnostics diag;
    diag.CloseMessageCenter(); // nothing to close
    QCOMPARE(diag.messageCenter(), nullptr);

    diag.ShowMessage(QStringLiteral("one"), QString());
    diag.ShowMessage(QStringLiteral("two"), QString());
    diag.CloseMessageCenter();
    QVERIFY(diag.messageCenter());
    QVERIFY(diag.messageCenter()->Visible);
    QCOMPARE(diag.messageCenter()->MessageCount, qint64(2));

    // One unanswered message may go.
    Diagnostics single;
    single.ShowMessage(QStringLiteral("one"), QString());
    single.CloseMessageCenter();
    QCOMPARE(single.messageCenter(), nullptr);
}

void TestDiagnostics::pendingMessages()
{
    Diagnostics diag;
    diag.ShowPendingMessages(); // no center: nothing happens
    QCOMPARE(diag.messageCenter(), nullptr);

    diag.ShowMessage(QStringLiteral("queued"), QStringLiteral("Title"));
    MessageCenter *c = diag.messageCenter();
    c->WindowClosed();
    QVERIFY(!c->Visible);
    diag.ShowPendingMessages();
    QVERIFY(c->Visible);

    // After OK nothing is pending, even when only a title arrives later.
    c->ClearAndHide();
    diag.ShowPendingMessages();
    QVERIFY(!c->Visible);
    c->SetTitle(QStringLiteral("Only a title"));
    diag.ShowPendingMessages();
    QVERIFY(!c->Visible);
}

void TestDiagnostics::countHasNo16BitLimit()
{
    Diagnostics diag;
    diag.ShowMessage(QStringLiteral("first"), QString());
    diag.messageCenter()->MessageCount = 32767;
    diag.ShowMessage(QStringLiteral("second"), QString());
    QCOMPARE(diag.messageCenter()->MessageCount, qint64(32768));
    QVERIFY(diag.messageCenter()->Message().startsWith(QStringLiteral("second")));
}

void TestDiagnostics::textStaysBounded_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("size");
    QTest::newRow("flood of small messages") << 5000 << 150;
    QTest::newRow("few large messages") << 5 << int(kMaxMessageCenterChars / 3);
    QTest::newRow("one message over the bound") << 1 << int(kMaxMessageCenterChars + 10);
}

void TestDiagnostics::textStaysBounded()
{
    QFETCH(int, count);
    QFETCH(int, size);
    Diagnostics diag;
    for (int i = 0; i < count; ++i)
        diag.ShowMessage(QString::number(i).leftJustified(size, QLatin1Char('x')), QString());
    const MessageCenter *c = diag.messageCenter();
    const QString text = c->Message();
    QCOMPARE(c->MessageCount, qint64(count));
    QVERIFY(text.size() <= kMaxMessageCenterChars);
    // The newest stays on top; what is left of the oldest ends in a whole message.
    QVERIFY(text.startsWith(QString::number(count - 1)));
    if (count > 1) {
        const QStringList kept = text.split(kSep);
        QVERIFY(kept.size() > 1 && kept.size() < count);
        for (const QString &m : kept)
            QCOMPARE(m.size(), qsizetype(size));
    }
}

void TestDiagnostics::writeLog_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QByteArray>("file");

    QTest::newRow("start line") << QStringList{"----- Client - Start: now -----"}
                                << QByteArray("----- Client - Start: now -----\r\n");
    QTest::newRow("spaces inside quotes kept")
        << QStringList{"Client - Data Arrival: '   *~B~*1^a^b^c*~E~*'"}
        << QByteArray("Client - Data Arrival: '   *~B~*1^a^b^c*~E~*'\r\n");
    QTest::newRow("outer spaces trimmed") << QStringList{"   outer   "} << QByteArray("outer\r\n");
    QTest::newRow("control characters raw")
        << QStringList{QStringLiteral("a") + QChar(0) + QChar(1) + QChar(0) + "\tb\t"}
        << QByteArray("a\0\1\0\tb\t\r\n", 9);
    QTest::newRow("appended") << QStringList{"one", "two"} << QByteArray("one\r\ntwo\r\n");
}

void TestDiagnostics::writeLog()
{
    QFETCH(QStringList, texts);
    QFETCH(QByteArray, file);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zestrel.log"));
    Diagnostics diag;
    diag.LoggingEnabled = true;
    diag.LogFilePath = path;
    for (const QString &t : texts)
        QVERIFY(diag.WriteLog(t));
    QCOMPARE(readAll(path), file);
}

void TestDiagnostics::loggingOffCreatesNoFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("zestrel.log"));
    Diagnostics diag;
    diag.LogFilePath = path;
    QVERIFY(diag.WriteLog(QStringLiteral("----- Client - Start: x -----")));
    QVERIFY(diag.WriteLog(path, QStringLiteral("Client - Sending Data: 'x'")));
    QVERIFY(!QFile::exists(path));
}

void TestDiagnostics::writeLogFailureReported()
{
    QTemporaryDir dir;
    Diagnostics diag;
    diag.LoggingEnabled = true;
    QVERIFY(!diag.WriteLog(dir.filePath(QStringLiteral("missing/folder/zestrel.log")),
                           QStringLiteral("line")));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("missing"))));
}

void TestDiagnostics::reportError_data()
{
    QTest::addColumn<qint64>("number");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << qint64(53) << QStringLiteral("File not found")
                           << QStringLiteral("Zestrel")
                           << QStringLiteral("Error #53\r\n    File not found\r\n    (Source: "
                                             "Zestrel)\r\n");
    QTest::newRow("placeholders stay")
        << qint64(-2147467259) << QStringLiteral("bad %1 %2") << QStringLiteral("%3")
        << QStringLiteral("Error #-2147467259\r\n    bad %1 "
                          "%2\r\n    (Source: %3)\r\n");
    QTest::newRow("empty parts") << qint64(0) << QString() << QString()
                                 << QStringLiteral("Error #0\r\n    \r\n    (Source: )\r\n");
}

void TestDiagnostics::reportError()
{
    QFETCH(qint64, number);
    QFETCH(QString, description);
    QFETCH(QString, source);
    QFETCH(QString, expected);

    Diagnostics diag;
    diag.ReportError(number, description, source);
    QCOMPARE(diag.status.text(), expected);
}

void TestDiagnostics::setStatusCoalesced()
{
    // Every text is set at once, but no events run inside SetStatus (a burst of messages
    // would nest an event loop per text) and the window draws the turn's last text once.
    Diagnostics diag;
    QSignalSpy changed(&diag.status, &StatusLine::textChanged);
    QSignalSpy shown(&diag.status, &StatusLine::shown);
    bool ran = false;
    QTimer::singleShot(0, this, [&] { ran = true; });
    diag.SetStatus(QStringLiteral("Connecting to server..."));
    QVERIFY(!ran);
    QCOMPARE(diag.status.text(), QStringLiteral("Connecting to server..."));
    diag.SetStatus(QStringLiteral("Receiving Data."));
    diag.SetStatus(QStringLiteral("Receiving Data."));
    diag.SetStatus(QStringLiteral("Data processed."));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.at(1).first().toString(), QStringLiteral("Receiving Data."));
    QCOMPARE(shown.count(), 0);
    QTRY_COMPARE(shown.count(), 1);
    QCOMPARE(shown.first().first().toString(), QStringLiteral("Data processed."));
    QCOMPARE(diag.status.SetCount(), 4);
    // The next turn's text is drawn in its own turn.
    diag.SetStatus(QStringLiteral("Parsing successful."));
    QTRY_COMPARE(shown.count(), 2);
    QCOMPARE(shown.last().first().toString(), QStringLiteral("Parsing successful."));
}

void TestDiagnostics::idleRule()
{
    const QString idle = QStringLiteral("Zestrel is idle...");
    StatusLine status;
    status.SetStatus(QStringLiteral("Parsing successful."));

    // The first tick after a change leaves the text; the next one replaces it.
    status.IdleTick();
    QCOMPARE(status.text(), QStringLiteral("Parsing successful."));
    status.IdleTick();
    QCOMPARE(status.text(), idle);
    QCOMPARE(status.LastStatus, idle);

    // A change between ticks restarts the count.
    status.SetStatus(QStringLiteral("Connecting to server..."));
    status.IdleTick();
    QCOMPARE(status.text(), QStringLiteral("Connecting to server..."));
    status.SetStatus(QStringLiteral("Data processed."));
    status.IdleTick();
    QCOMPARE(status.text(), QStringLiteral("Data processed."));
    status.IdleTick();
    QCOMPARE(status.text(), idle);

    // The idle text itself stays.
    status.IdleTick();
    QCOMPARE(status.text(), idle);

    // The idle text is set quietly: no events run inside the tick.
    status.SetStatus(QStringLiteral("x"));
    status.IdleTick();
    bool ran = false;
    QTimer::singleShot(0, this, [&] { ran = true; });
    status.IdleTick();
    QCOMPARE(status.text(), idle);
    QVERIFY(!ran);
    QTRY_VERIFY(ran);
}

QTEST_MAIN(TestDiagnostics)
#include "tst_diagnostics.moc"
