// The user-name prompt loop through the scripted prompter.
#include "TestClient.h"
#include "config/Ini.h"
#include "config/SettingsForm.h"

#include <QtTest>

using namespace zestrel;
using namespace zestrel::test;

class TestIdentity : public QObject
{
    Q_OBJECT
  private slots:
    void nameFromSettingsDialog_data();
    void nameFromSettingsDialog();
    void askUserName_data();
    void askUserName();
    void texts();
    void prepareIdentityFillsOwnProfile();
};

void TestIdentity::askUserName_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("master");
    QTest::addColumn<QStringList>("boxes");

    const QString twenty(20, QLatin1Char('n'));
    const QString ask = "Username", tooShort = "No Username", pass = "Server Password",
                  conflict = "QEVO Server conflict", foul = "Foul language detected";

    QTest::newRow("stored name used")
        << "Anna" << QStringList() << true << "Anna" << false << QStringList();
    QTest::newRow("stored two letters: length message, then prompt")
        << "ab" << QStringList{"Anna"} << true << "Anna" << false << QStringList{tooShort, ask};
    QTest::newRow("three letters typed with spaces")
        << "" << QStringList{"  Bob  "} << true << "Bob" << false << QStringList{ask};
    QTest::newRow("two letters refused")
        << "" << QStringList{"  Bo  "} << false << "" << false << QStringList{ask, tooShort, ask};
    QTest::newRow("20 accepted") << "" << QStringList{twenty} << true << twenty << false
                                 << QStringList{ask};
    QTest::newRow("21 refused") << "" << QStringList{twenty + "n", "Cook"} << true << "Cook"
                                << false << QStringList{ask, tooShort, ask};
    const QString chef = QString::fromUtf8("\xF0\x9F\x8D\xB3"); // one character, two UTF-16 units
    QTest::newRow("20 characters, one outside the BMP")
        << "" << QStringList{twenty.left(19) + chef} << true << twenty.left(19) + chef << false
        << QStringList{ask};
    QTest::newRow("two characters, one outside the BMP")
        << "" << QStringList{"a" + chef, "Cook"} << true << "Cook" << false
        << QStringList{ask, tooShort, ask};
    QTest::newRow("stored 20 inside spaces")
        << "  " + twenty + " " << QStringList() << true << twenty << false << QStringList();
    QTest::newRow("cancel") << "" << QStringList() << false << "" << false << QStringList{ask};
    QTest::newRow("only blanks typed")
        << "" << QStringList{"    "} << false << "" << false << QStringList{ask};
    QTest::newRow("filter refusal asks again") << "" << QStringList{"shitcook", "Cook"} << true
                                               << "Cook" << false << QStringList{ask, foul, ask};
    QTest::newRow("stored foul name asks again") << "BigDickhead" << QStringList{"Cook"} << true
                                                 << "Cook" << false << QStringList{foul, ask};
    const QString refused = "Username not allowed";
    QTest::newRow("caret refused, asks again") << "" << QStringList{"Newbie^Two", "Cook"} << true
                                               << "Cook" << false << QStringList{ask, refused, ask};
    QTest::newRow("stored name with a tab asks again")
        << "Newbie\tTwo" << QStringList{"Cook"} << true << "Cook" << false
        << QStringList{refused, ask};
    QTest::newRow("frame marker refused") << "" << QStringList{"Ab*~E~*", "Cook"} << true << "Cook"
                                          << false << QStringList{ask, refused, ask};
    QTest::newRow("marker characters apart are fine")
        << "" << QStringList{"Ab*~B*~E~"} << true << "Ab*~B*~E~" << false << QStringList{ask};
    QTest::newRow("reserved word, right password")
        << "" << QStringList{"myserverX", "QuietHarbor"} << true << "myserverX" << true
        << QStringList{ask, pass};
    QTest::newRow("reserved word alone, mixed case, right password")
        << "QeVo" << QStringList{"QuietHarbor"} << true << "QeVo" << true << QStringList{pass};
    QTest::newRow("reserved word, wrong case password")
        << "" << QStringList{"Server", "quietharbor"} << false << "" << false
        << QStringList{ask, pass, conflict, ask};
    QTest::newRow("reserved word, empty password, then a plain name")
        << "" << QStringList{"xqevox", "", "Cook"} << true << "Cook" << false
        << QStringList{ask, pass, conflict, ask};
    QTest::newRow("reserved word inside a name, password with spaces")
        << "" << QStringList{"TheServerCook", " QuietHarbor", "Cook"} << true << "Cook" << false
        << QStringList{ask, pass, conflict, ask};
}

void TestIdentity::askUserName()
{
    QFETCH(QString, stored);
    QFETCH(QStringList, inputs);
    QFETCH(bool, accepted);
    QFETCH(QString, name);
    QFETCH(bool, master);
    QFETCH(QStringList, boxes);

    TestClient c;
    c.app.IsMasterUser = true; // a previous run's value must not survive
    if (!stored.isNull())
        c.app.Settings.insert("USERNAME", stored);
    for (const QString &in : inputs)
        c.prompter.inputs.enqueue(in);

    QCOMPARE(c.session.identity.AskUserName(), accepted);
    QCOMPARE(c.prompter.titles(), boxes);
    QVERIFY(c.prompter.inputs.isEmpty());
    QCOMPARE(c.app.IsMasterUser, master);
    QCOMPARE(c.app.UserName, name);
    const QString inFile = ReadIniKey(c.app.SettingsFilePath, "PROFILE", "USERNAME");
    if (accepted) {
        QCOMPARE(inFile, name); // written at every start, also when unchanged
        QCOMPARE(c.app.Setting("USERNAME"), name);
    } else {
        QCOMPARE(inFile, QString());
    }
}

void TestIdentity::texts()
{
    // A refused name says which character is not allowed.
    const QString frame = ", which the Zestrel network uses to frame its messages. Please choose "
                          "another name.";
    const QList<std::pair<QString, QString>> refusals{
        {"Newbie^Two", "The username may not contain the character \"^\"" + frame},
        {QString("Ann") + QChar(0) + "e",
         "The username may not contain a control character (code 0)" + frame},
        {"Ann\x7f", "The username may not contain a control character (code 127)" + frame},
        {"x*~B~*y", "The username may not contain the sequence \"*~B~*\"" + frame},
    };
    for (const auto &[name, text] : refusals) {
        TestClient c;
        QCOMPARE(c.session.identity.CheckName(name), std::optional<bool>());
        QCOMPARE(c.prompter.shown.size(), 1);
        QCOMPARE(c.prompter.shown[0].text, text);
        QCOMPARE(c.prompter.shown[0].icon, PromptIcon::Error);
    }

    TestClient c;
    c.prompter.inputs << "Al"
                      << "Server"
                      << "nope";
    QVERIFY(!c.session.identity.AskUserName());
    const auto &s = c.prompter.shown;
    QCOMPARE(s.size(), 6);
    QCOMPARE(s[0].kind, QStringLiteral("input"));
    QCOMPARE(s[0].text, QStringLiteral("Please enter a username (3-20 characters)!"));
    QCOMPARE(s[0].echo, PromptEcho::Normal);
    QCOMPARE(s[1].kind, QStringLiteral("message"));
    QCOMPARE(s[1].icon, PromptIcon::Error);
    QCOMPARE(s[1].text, QStringLiteral("You must enter a username between 3 and 20 characters to "
                                       "be able to log on to the Zestrel Network!"));
    QCOMPARE(s[3].kind, QStringLiteral("input"));
    QCOMPARE(s[3].text, QStringLiteral("Enter the password for the master user!"));
    // The master password is typed hidden.
    QCOMPARE(s[3].echo, PromptEcho::Password);
    QCOMPARE(s[4].icon, PromptIcon::Information);
    QCOMPARE(s[4].text,
             QStringLiteral("This username is not permitted because of reserved words!"));
    QCOMPARE(s[5].title, QStringLiteral("Username"));
}

void TestIdentity::prepareIdentityFillsOwnProfile()
{
    TestClient c;
    c.app.Settings.insert("DESCRIPTION", "Bakes bread");
    c.app.Settings.insert("EXTENDED", "Line 1" + LS() + "Line 2");
    c.prompter.inputs << "  Baker  ";
    QVERIFY(c.session.PrepareIdentity());
    QVERIFY(!c.app.LocalIp.isEmpty());
    QCOMPARE(c.session.profile.Text(0), QStringLiteral("Baker"));
    QCOMPARE(c.session.profile.Text(1), c.app.LocalIp);
    QCOMPARE(c.session.profile.Text(2), QStringLiteral("Bakes bread"));
    QCOMPARE(c.session.profile.Text(3), "Line 1" + LS() + "Line 2");

    TestClient cancelled;
    QVERIFY(!cancelled.session.PrepareIdentity());
    QCOMPARE(cancelled.session.profile.Text(0), QString());
    QCOMPARE(cancelled.connection.State(), Connection::StateClosed);
}

QTEST_GUILESS_MAIN(TestIdentity)
// A name typed into the settings dialog passes the start-up checks before it can sign in;
// a refused one keeps the name in use.
void TestIdentity::nameFromSettingsDialog_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QStringList>("inputs");
    QTest::addColumn<QString>("used");
    QTest::addColumn<bool>("master");
    QTest::addColumn<QStringList>("boxes");
    const QStringList noName{"No Username"};
    QTest::newRow("unchanged") << "Baker" << QStringList() << "Baker" << false << QStringList();
    QTest::newRow("good, spaces trimmed")
        << " Cook " << QStringList() << "Cook" << false << QStringList();
    QTest::newRow("empty") << "" << QStringList() << "Baker" << false << noName;
    QTest::newRow("two characters") << "Al" << QStringList() << "Baker" << false << noName;
    QTest::newRow("three characters") << "Alf" << QStringList() << "Alf" << false << QStringList();
    QTest::newRow("twenty characters")
        << QString(20, 'a') << QStringList() << QString(20, 'a') << false << QStringList();
    QTest::newRow("twenty-one characters")
        << QString(21, 'a') << QStringList() << "Baker" << false << noName;
    QTest::newRow("reserved, wrong password")
        << "ServerBoss" << QStringList{"guess"} << "Baker" << false
        << QStringList{"Server Password", "QEVO Server conflict"};
    QTest::newRow("caret") << "Newbie^Two" << QStringList() << "Baker" << false
                           << QStringList{"Username not allowed"};
    QTest::newRow("reserved, password") << "ServerBoss" << QStringList{"QuietHarbor"}
                                        << "ServerBoss" << true << QStringList{"Server Password"};
}

void TestIdentity::nameFromSettingsDialog()
{
    QFETCH(QString, typed);
    QFETCH(QStringList, inputs);
    QFETCH(QString, used);
    QFETCH(bool, master);
    QFETCH(QStringList, boxes);

    TestClient c("Baker");
    QVERIFY(c.session.identity.AskUserName());
    for (const QString &in : inputs)
        c.prompter.inputs.enqueue(in);
    SettingsForm form(c.app);
    form.AcceptName = [&c](const QString &t, const QString &previous) {
        return c.session.identity.AcceptChangedName(t, previous);
    };
    form.Load();
    form.SetText("txtProfile_0", typed);
    form.Close();
    QCOMPARE(c.prompter.titles(), boxes);
    QCOMPARE(c.app.UserName, used);
    QCOMPARE(c.app.IsMasterUser, master);
    QCOMPARE(ReadIniKey(c.app.SettingsFilePath, "PROFILE", "USERNAME"), used);
}

#include "tst_identity.moc"
