// The process-wide state: settings path, separators, flag rule.
#include "app/AppState.h"
#include "support/FakePrompter.h"

#include <QtTest>

using namespace zestrel;

class TestAppState : public QObject
{
    Q_OBJECT
  private slots:
    void settingsPath_data();
    void settingsPath();
    void separators();
    void flags_data();
    void flags();
};

void TestAppState::settingsPath_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << "/opt/zestrel"
                           << "/opt/zestrel/zestrel.ini";
    QTest::newRow("root") << "/"
                          << "/zestrel.ini";
    QTest::newRow("trailing separator") << "/opt/zestrel/"
                                        << "/opt/zestrel/zestrel.ini";
    QTest::newRow("doubled separators") << "/opt//zestrel//"
                                        << "/opt/zestrel/zestrel.ini";
}

void TestAppState::settingsPath()
{
    QFETCH(QString, folder);
    QFETCH(QString, path);
    Diagnostics diag;
    test::FakePrompter prompter;
    AppState app(diag, prompter, folder);
    QCOMPARE(app.SettingsFilePath, path);
    QCOMPARE(app.ProgramFolder, folder);
    QCOMPARE(app.AppVersion, QStringLiteral("2.4.0"));
}

void TestAppState::separators()
{
    Diagnostics diag;
    test::FakePrompter prompter;
    AppState app(diag, prompter, QStringLiteral("/tmp"));
    app.InitSeparators();
    QCOMPARE(app.FieldSep, QString(3, QChar(0)));
    QCOMPARE(app.ListSep, QString(QChar(0)) + QChar(1) + QChar(0));
    QCOMPARE(app.ArgSep, QString(QChar(0)) + QChar(2) + QChar(0));
}

void TestAppState::flags_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("on");
    QTest::newRow("1") << "1" << true;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("true") << "true" << false;
    QTest::newRow("01") << "01" << false;
    QTest::newRow("missing") << QString() << false;
}

void TestAppState::flags()
{
    QFETCH(QString, value);
    QFETCH(bool, on);
    Diagnostics diag;
    test::FakePrompter prompter;
    AppState app(diag, prompter, QStringLiteral("/tmp"));
    if (!value.isNull())
        app.Settings.insert(QStringLiteral("MINIMIZE"), value);
    QCOMPARE(app.Flag(QStringLiteral("MINIMIZE")), on);
}

QTEST_MAIN(TestAppState)
#include "tst_appstate.moc"
