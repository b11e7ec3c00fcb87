// The settings dialog's rules, driven through its model: load, close, click rules.
#include "config/Ini.h"
#include "config/SettingsForm.h"

#include "support/FakePrompter.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QGuiApplication>
#include <QPalette>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace zestrel;
using test::FakePrompter;

namespace
{

using test::ReadAll;
using test::WriteAll;

// Fixture: a program folder, the state and its fakes.
struct Env : test::ProgramFolder {
    Env() { state.InitSeparators(); }
    // Writes "SECTION/KEY=value" entries into the settings file.
    void Seed(const QStringList &entries)
    {
        for (const QString &e : entries) {
            const qsizetype slash = e.indexOf('/');
            QVERIFY(WriteIniKey(state.SettingsFilePath, e.left(slash), e.mid(slash + 1)));
        }
    }
    QString Stored(const QString &key) const
    {
        return ReadIniKey(state.SettingsFilePath, FindSetting(key)->section, key);
    }
    QString Messages() const
    {
        return diag.messageCenter() ? diag.messageCenter()->Message() : QString();
    }
    QString MessageTitle() const
    {
        return diag.messageCenter() ? diag.messageCenter()->Title : QString();
    }
    qint64 MessageCount() const
    {
        return diag.messageCenter() ? diag.messageCenter()->MessageCount : 0;
    }
};

} // namespace

class TestSettingsForm : public QObject
{
    Q_OBJECT

  private slots:
    void freshFolderGetsAllKeysWithDefaults()
    {
        Env env;
        LoadSettingsUnseen(env.state);
        // Black text on white, dark blue for incoming text.
        const QByteArray expected =
            "[PROFILE]\r\nGETALLPROFILEDATA=0\r\nUSERNAME=\r\nDESCRIPTION=\r\nEXTENDED=\r\n"
            "\r\n[CHAT]\r\nTEXTCOLOR=0\r\nBACKCOLOR=16777215\r\nINCOMINGTEXT=0\r\n"
            "INCOMINGCOLOR=8388608\r\n"
            "\r\n[MISC]\r\nAUTOEXPANDNODES=0\r\nBASEFONTSIZE=10\r\nALLOWSEARCHES=0\r\n"
            "STOREDRECIPES=25\r\nSELFSEARCH=0\r\nCKFPATH=\r\nGETWEBSETTINGS=0\r\n"
            "WEBWARNING=0\r\nSKIPWEBVERIFY=0\r\nAUTOSTART=0\r\nMINIMIZE=0\r\n"
            "EXCLUDEMULTICATEGORIES=0\r\nALLRECIPES=0\r\nPING=0\r\nRECONNECT=0\r\n"
            "INSTANTMESSAGE=0\r\n";
        QCOMPARE(ReadAll(env.state.SettingsFilePath), expected);
        QCOMPARE(env.state.Settings.size(), 24);
        QCOMPARE(env.state.Setting("STOREDRECIPES"), QString("25"));
        QCOMPARE(env.state.Setting("TEXTCOLOR"), QString("0"));
        QCOMPARE(env.MessageCount(), 0);
    }

    void swatchDefaultsAreReadable()
    {
        // Absent keys: the samples are black on white and incoming text dark blue,
        // whatever the desktop's palette says.
        Env env;
        SettingsForm form(env.state);
        form.Load();
        QCOMPARE(form.SwatchColor(0), 0x000000u);
        QCOMPARE(form.SwatchColor(1), 0xFFFFFFu);
        QCOMPARE(form.SwatchColor(2), 0x800000u);
        QCOMPARE(form.ExampleTextColor(0), 0x000000u);
        QCOMPARE(form.ExampleBackColor(0), 0xFFFFFFu);
        QCOMPARE(form.ExampleTextColor(1), 0x800000u);
        QCOMPARE(form.ExampleBackColor(1), 0xFFFFFFu);
    }

    void loadAndClose_data()
    {
        QTest::addColumn<QStringList>("seed");
        QTest::addColumn<bool>("noDatabase");
        QTest::addColumn<QStringList>("stored"); // KEY=value after close
        QTest::addColumn<QStringList>("titles"); // message center titles shown, in order

        QTest::newRow("font size not in list") << QStringList{"MISC/BASEFONTSIZE=7"} << false
                                               << QStringList{"BASEFONTSIZE=10"} << QStringList{};
        QTest::newRow("font size in list") << QStringList{"MISC/BASEFONTSIZE=12"} << false
                                           << QStringList{"BASEFONTSIZE=12"} << QStringList{};
        QTest::newRow("stored recipes not in list")
            << QStringList{"MISC/STOREDRECIPES=33"} << false << QStringList{"STOREDRECIPES=25"}
            << QStringList{};
        QTest::newRow("stored recipes 100") << QStringList{"MISC/STOREDRECIPES=100"} << false
                                            << QStringList{"STOREDRECIPES=100"} << QStringList{};
        QTest::newRow("searches without database")
            << QStringList{"MISC/ALLOWSEARCHES=1"} << true << QStringList{"ALLOWSEARCHES=0"}
            << QStringList{"CKF not installed"};
        QTest::newRow("self search without database")
            << QStringList{"MISC/SELFSEARCH=1"} << true << QStringList{"SELFSEARCH=0"}
            << QStringList{"CKF not installed"};
        QTest::newRow("searches with database")
            << QStringList{"MISC/ALLOWSEARCHES=1", "MISC/SELFSEARCH=1"} << false
            << QStringList{"ALLOWSEARCHES=1", "SELFSEARCH=1"} << QStringList{};
        QTest::newRow("check box texts")
            << QStringList{"MISC/PING=abc", "MISC/RECONNECT=1", "MISC/MINIMIZE=2",
                           "PROFILE/GETALLPROFILEDATA=1"}
            << false << QStringList{"PING=0", "RECONNECT=1", "MINIMIZE=0", "GETALLPROFILEDATA=1"}
            << QStringList{};
        QTest::newRow("unseen load of an unchecked all-recipes box says nothing")
            << QStringList{"MISC/ALLRECIPES=0"} << false << QStringList{"ALLRECIPES=0"}
            << QStringList{};
        QTest::newRow("colours") << QStringList{"CHAT/TEXTCOLOR=255", "CHAT/BACKCOLOR=16777215",
                                                "CHAT/INCOMINGCOLOR=65280"}
                                 << false
                                 << QStringList{"TEXTCOLOR=255", "BACKCOLOR=16777215",
                                                "INCOMINGCOLOR=65280"}
                                 << QStringList{};
        QTest::newRow("bad colours keep the first colour")
            << QStringList{"CHAT/TEXTCOLOR=red", "CHAT/BACKCOLOR=-5", "CHAT/INCOMINGCOLOR=16777216"}
            << false << QStringList{"TEXTCOLOR=0", "BACKCOLOR=16777215", "INCOMINGCOLOR=8388608"}
            << QStringList{};
        QTest::newRow("web boxes follow their master")
            << QStringList{"MISC/GETWEBSETTINGS=1", "MISC/WEBWARNING=1", "MISC/SKIPWEBVERIFY=1"}
            << false << QStringList{"GETWEBSETTINGS=1", "WEBWARNING=1", "SKIPWEBVERIFY=1"}
            << QStringList{};
        QTest::newRow("text and path kept")
            << QStringList{"PROFILE/USERNAME=ann", "MISC/CKFPATH=/x/cookbook.ini"} << false
            << QStringList{"USERNAME=ann", "CKFPATH=/x/cookbook.ini"} << QStringList{};
    }

    void loadAndClose()
    {
        QFETCH(QStringList, seed);
        QFETCH(bool, noDatabase);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, titles);
        Env env;
        env.Seed(seed);
        env.state.NoDatabase = noDatabase;
        SettingsForm form(env.state);
        form.Load();
        form.Close();
        for (const QString &kv : stored) {
            const QString key = kv.section('=', 0, 0);
            const QString value = kv.section('=', 1);
            QCOMPARE(env.Stored(key), value);
            QCOMPARE(env.state.Setting(key), value);
        }
        QCOMPARE(env.MessageCount(), qint64(titles.size()));
        if (!titles.isEmpty())
            QCOMPARE(env.MessageTitle(), titles.last());
    }

    void startUpKeepsSearchSettingsBeforeTheDatabaseIsOpened()
    {
        Env env;
        env.Seed({"MISC/ALLOWSEARCHES=1", "MISC/SELFSEARCH=1"});
        env.state.NoDatabase = true; // even a stale flag must not touch them before the open
        LoadSettingsUnseen(env.state);
        QCOMPARE(env.Stored("ALLOWSEARCHES"), QString("1"));
        QCOMPARE(env.Stored("SELFSEARCH"), QString("1"));
        QCOMPARE(env.MessageCount(), 0);
    }

    void noDatabaseMessageText()
    {
        Env env;
        env.Seed({"MISC/ALLOWSEARCHES=1"});
        env.state.NoDatabase = true;
        SettingsForm form(env.state);
        form.Load();
        const QString text = env.Messages();
        QVERIFY(text.startsWith("You cannot set this option because you have no database!\r\n\r\n"
                                "Zestrel was desinged to work stand-alone"));
        QVERIFY(
            text.contains("You can download CKF FREE at " + env.state.MakerWebAddress + " or "));
    }

    void loadPublishesPathAndSamples()
    {
        Env env;
        env.Seed({"MISC/CKFPATH=/c/cookbook.ini", "CHAT/TEXTCOLOR=1", "CHAT/BACKCOLOR=2",
                  "CHAT/INCOMINGCOLOR=3", "MISC/BASEFONTSIZE=11"});
        SettingsForm form(env.state);
        form.Load();
        QCOMPARE(env.state.CookbookIniPath, QString("/c/cookbook.ini"));
        QCOMPARE(form.ExampleTextColor(0), 1u);
        QCOMPARE(form.ExampleBackColor(0), 2u);
        QCOMPARE(form.ExampleTextColor(1), 3u);
        QCOMPARE(form.ExampleBackColor(1), 2u);
        QCOMPARE(form.FontSizeAtLoad(), QString("11"));
    }

    void disabledDependantKeepsItsStoredState()
    {
        Env env;
        env.Seed({"MISC/GETWEBSETTINGS=0", "MISC/WEBWARNING=1"});
        SettingsForm form(env.state);
        form.Load();
        QVERIFY(!form.Enabled("chkWebWarning"));
        QVERIFY(!form.Enabled("chkSkipWebVerify"));
        QVERIFY(form.Checked("chkWebWarning"));
    }

    void webCheckboxRules()
    {
        Env env;
        env.Seed({"MISC/GETWEBSETTINGS=1", "MISC/WEBWARNING=1", "MISC/SKIPWEBVERIFY=1"});
        SettingsForm form(env.state);
        form.Load();
        QVERIFY(form.Enabled("chkWebWarning") && form.Enabled("chkSkipWebVerify"));
        form.SetChecked("chkGetWebSettings", false);
        QVERIFY(!form.Enabled("chkWebWarning") && !form.Enabled("chkSkipWebVerify"));
        QVERIFY(!form.Checked("chkWebWarning") && !form.Checked("chkSkipWebVerify"));
        form.SetChecked("chkGetWebSettings", true);
        QVERIFY(form.Enabled("chkWebWarning") && form.Enabled("chkSkipWebVerify"));
        QVERIFY(!form.Checked("chkWebWarning") && !form.Checked("chkSkipWebVerify"));
        form.Close();
        QCOMPARE(env.Stored("WEBWARNING"), QString("0"));
        QCOMPARE(env.Stored("SKIPWEBVERIFY"), QString("0"));
    }

    void allRecipesWarnsOnlyWhenShown()
    {
        Env env;
        env.Seed({"MISC/ALLRECIPES=1"});
        SettingsForm form(env.state);
        form.Load();
        form.SetVisible(true);
        form.SetChecked("chkAllRecipes", false);
        QCOMPARE(env.MessageTitle(), QString("New Recipes"));
        QCOMPARE(env.Messages(),
                 QString("You are setting the option to block recipes that were distributed "
                         "with CKF.\r\n\r\nZestrel will now only retrieve recipes that were "
                         "enterered in the remote user's CKF database after installation!"));
        QVERIFY(!form.Checked("chkAllRecipes")); // the change stays
        form.Close();
        QCOMPARE(env.Stored("ALLRECIPES"), QString("0"));
    }

    void swatchRules_data()
    {
        QTest::addColumn<int>("swatch");
        QTest::addColumn<uint>("chosen");
        QTest::addColumn<QString>("refusal"); // empty: accepted
        // Start: text 1, background 2, incoming 3.
        const QString same = "You cannot set the text and background to the same color!";
        QTest::newRow("text = background") << 0 << 2u << same;
        QTest::newRow("text = incoming is fine") << 0 << 3u << QString();
        QTest::newRow("background = incoming") << 1 << 3u << same;
        QTest::newRow("background = text") << 1 << 1u << same;
        QTest::newRow("background new") << 1 << 9u << QString();
        QTest::newRow("incoming = background")
            << 2 << 2u
            << QString("You cannot set the incoming text and background to the same color!");
        QTest::newRow("incoming = text is fine") << 2 << 1u << QString();
    }

    void swatchRules()
    {
        QFETCH(int, swatch);
        QFETCH(uint, chosen);
        QFETCH(QString, refusal);
        Env env;
        env.Seed({"CHAT/TEXTCOLOR=1", "CHAT/BACKCOLOR=2", "CHAT/INCOMINGCOLOR=3"});
        SettingsForm form(env.state);
        form.Load();
        env.prompter.colors.enqueue(chosen);
        form.ChooseChatColor(swatch);
        const std::array<std::uint32_t, 3> before{1, 2, 3};
        if (!refusal.isEmpty()) {
            QCOMPARE(env.MessageTitle(), QString("Matching Color"));
            QCOMPARE(env.Messages(), refusal);
            for (int i = 0; i < 3; ++i)
                QCOMPARE(form.SwatchColor(i), before[std::size_t(i)]);
            QCOMPARE(form.ExampleTextColor(0), 1u);
            QCOMPARE(form.ExampleBackColor(1), 2u);
        } else {
            QCOMPARE(env.MessageCount(), 0);
            QCOMPARE(form.SwatchColor(swatch), std::uint32_t(chosen));
            QCOMPARE(form.ExampleTextColor(0), form.SwatchColor(0));
            QCOMPARE(form.ExampleBackColor(0), form.SwatchColor(1));
            QCOMPARE(form.ExampleTextColor(1), form.SwatchColor(2));
            QCOMPARE(form.ExampleBackColor(1), form.SwatchColor(1));
        }
    }

    void swatchCancelAndChooserStart()
    {
        Env env;
        SettingsForm form(env.state);
        form.Load();
        const std::uint32_t before = form.SwatchColor(2);
        form.ChooseChatColor(2); // no colour queued: cancel
        QCOMPARE(form.SwatchColor(2), before);
        QCOMPARE(env.MessageCount(), 0);
        QCOMPARE(env.prompter.shown.size(), 1);
        QCOMPARE(env.prompter.shown.first().kind, QString("color"));
    }

    void descriptionLinesRoundTrip()
    {
        Env env;
        {
            SettingsForm form(env.state);
            form.Load();
            form.SetText("txtProfile_1", "first line\r\nsecond line");
            form.SetText("txtProfile_2", "a\r\n\r\nb");
            QVERIFY(form.Close());
        }
        const QString ls = env.state.ListSep;
        QCOMPARE(env.Stored("DESCRIPTION"), "first line" + ls + "second line");
        QCOMPARE(env.Stored("EXTENDED"), "a" + ls + ls + "b");
        QCOMPARE(env.state.Setting("DESCRIPTION"), "first line" + ls + "second line");
        // The file keeps one line per key.
        QCOMPARE(ReadAll(env.state.SettingsFilePath).count("\r\n"), 24 + 2 + 3);
        SettingsForm again(env.state);
        again.Load();
        QCOMPARE(again.Text("txtProfile_1"), QString("first line\r\nsecond line"));
        QCOMPARE(again.Text("txtProfile_2"), QString("a\r\n\r\nb"));
    }

    void closePublishesAndAppliesAutoStart_data()
    {
        QTest::addColumn<bool>("autoStart");
        QTest::newRow("on") << true;
        QTest::newRow("off") << false;
    }

    void closePublishesAndAppliesAutoStart()
    {
        QFETCH(bool, autoStart);
        Env env;
        QList<bool> calls;
        SettingsForm form(env.state, [&](bool on) { calls << on; });
        form.Load();
        form.SetChecked("chkAutoStart", autoStart);
        form.SetText("txtProfile_0", "newname");
        form.SetText("txtCKFPath", "/opt/ckf/cookbook.ini");
        form.SetListIndex("cboStoredRecipes", 3);
        QVERIFY(env.state.UserName.isEmpty()); // nothing is published before the close
        QVERIFY(form.Close());
        QCOMPARE(calls, QList<bool>{autoStart});
        QCOMPARE(env.state.UserName, QString("newname"));
        QCOMPARE(env.state.CookbookIniPath, QString("/opt/ckf/cookbook.ini"));
        QCOMPARE(env.state.Setting("STOREDRECIPES"), QString("100"));
        QCOMPARE(env.Stored("AUTOSTART"), autoStart ? QString("1") : QString("0"));
        QCOMPARE(env.Stored("USERNAME"), QString("newname"));
    }

    void otherKeysSurviveTheClose()
    {
        Env env;
        env.Seed({"MISC/DEV=TRUE", "FLAG/NODBWARNING=YES", "FLAG/VERSION=2.4.0"});
        LoadSettingsUnseen(env.state);
        QCOMPARE(ReadIniKey(env.state.SettingsFilePath, "MISC", "DEV"), QString("TRUE"));
        QCOMPARE(ReadIniKey(env.state.SettingsFilePath, "FLAG", "NODBWARNING"), QString("YES"));
        QCOMPARE(env.Stored("PING"), QString("0"));
    }

    void getFile()
    {
        Env env;
        env.Seed({"MISC/CKFPATH=/old/cookbook.ini"});
        SettingsForm form(env.state);
        form.Load();
        env.prompter.files.enqueue(QString("/new/cookbook.ini"));
        form.ChooseCookbookFile();
        QCOMPARE(form.Text("txtCKFPath"), QString("/new/cookbook.ini"));
        QCOMPARE(env.prompter.shown.last().kind, QString("file"));
        QCOMPARE(env.prompter.shown.last().text, env.state.ProgramFolder);
        form.ChooseCookbookFile(); // cancel keeps the chosen path
        QCOMPARE(form.Text("txtCKFPath"), QString("/new/cookbook.ini"));
    }

    void failingWritesAreReportedAndTheRestWritten()
    {
        Env env;
        // A broken header after MISC makes every write into PROFILE and CHAT fail, while the
        // MISC keys, written later, still go in.
        WriteAll(env.state.SettingsFilePath, "[MISC]\r\nPING=1\r\n\r\n[BAD\r\n");
        SettingsForm form(env.state);
        form.Load();
        form.SetText("txtProfile_0", "ann");
        QVERIFY(!form.Close());
        QCOMPARE(env.MessageTitle(), QString("Settings Not Saved"));
        QCOMPARE(env.MessageCount(), 1);
        const QString text = env.Messages();
        QVERIFY(text.contains("USERNAME") && text.contains("INCOMINGCOLOR"));
        QVERIFY(!text.contains("PING"));
        QCOMPARE(ReadIniKey(env.state.SettingsFilePath, "MISC", "INSTANTMESSAGE"), QString("0"));
        QCOMPARE(ReadIniKey(env.state.SettingsFilePath, "MISC", "PING"), QString("1"));
        // The values are published all the same.
        QCOMPARE(env.state.UserName, QString("ann"));
    }

    void unwritableSettingsFile()
    {
        Env env;
        QVERIFY(QDir().mkpath(env.state.SettingsFilePath)); // a folder where the file should be
        QList<bool> calls;
        SettingsForm form(env.state, [&](bool on) { calls << on; });
        form.Load();
        QVERIFY(!form.Close());
        QCOMPARE(env.MessageCount(), 1);
        QVERIFY(env.Messages().contains("INSTANTMESSAGE"));
        QCOMPARE(calls.size(), 1); // auto-start still applied
    }
};

QTEST_MAIN(TestSettingsForm)
#include "tst_settingsform.moc"
