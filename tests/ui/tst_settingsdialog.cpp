// The settings dialog window itself, driven as the member drives it.
#include "config/Ini.h"
#include "ui/FrmSettings.h"

#include "support/FakePrompter.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace zestrel;
using test::FakePrompter;

namespace
{

struct Env {
    QTemporaryDir dir;
    Diagnostics diag;
    FakePrompter prompter;
    AppState state{diag, prompter, dir.path()};
    std::unique_ptr<FrmSettings> dialog;
    QList<bool> autoStartCalls;

    Env() { state.InitSeparators(); }
    FrmSettings &Open()
    {
        dialog = std::make_unique<FrmSettings>(state, [this](bool on) { autoStartCalls << on; });
        dialog->show();
        return *dialog;
    }
    template <typename T> T *Find(const QString &name)
    {
        return dialog ? dialog->findChild<T *>(name) : nullptr;
    }
    QString Stored(const QString &section, const QString &key) const
    {
        return ReadIniKey(state.SettingsFilePath, section, key);
    }
};

QColor SwatchColor(QFrame *swatch)
{
    return swatch->palette().color(QPalette::Window);
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

  private slots:
    void layoutAndNames()
    {
        Env env;
        FrmSettings &dlg = env.Open();
        QCOMPARE(dlg.windowTitle(), QString("Settings"));
        auto *tabs = env.Find<QTabWidget>("SSTab1");
        QVERIFY(tabs);
        QStringList titles;
        for (int i = 0; i < tabs->count(); ++i)
            titles << tabs->tabText(i);
        QCOMPARE(titles, (QStringList{"Profile", "Misc.", "Options", "Settings"}));
        QVERIFY(env.Find<QPushButton>("cmdSave"));
        QCOMPARE(env.Find<QPushButton>("cmdSave")->text(), QString("&Save"));
        QVERIFY(env.Find<QPushButton>("cmdGetFile"));
        QVERIFY(env.Find<QLineEdit>("txtExample"));
        QVERIFY(env.Find<QLineEdit>("txtExample2"));
        for (const SettingDef &def : SettingsCatalogue())
            QVERIFY2(env.Find<QWidget>(def.control), def.control);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(env.Find<QFrame>(QString("txtChatColor_%1").arg(i))->focusPolicy(),
                     Qt::NoFocus);
        // Fresh folder: lists show their defaults, web dependants are disabled.
        QCOMPARE(env.Find<QComboBox>("cboBaseFontSize")->currentText(), QString("10"));
        QCOMPARE(env.Find<QComboBox>("cboStoredRecipes")->currentText(), QString("25"));
        QVERIFY(!env.Find<QCheckBox>("chkWebWarning")->isEnabled());
        QVERIFY(!env.Find<QCheckBox>("chkSkipWebVerify")->isEnabled());
    }

    void userNameTakesTwentyCharacters()
    {
        Env env;
        env.Open();
        auto *name = env.Find<QLineEdit>("txtProfile_0");
        QTest::keyClicks(name, "abcdefghijklmnopqrstu"); // 21 characters
        QCOMPARE(name->text(), QString("abcdefghijklmnopqrst"));
        env.dialog->close();
        QCOMPARE(env.Stored("PROFILE", "USERNAME"), QString("abcdefghijklmnopqrst"));
        QCOMPARE(env.state.UserName, QString("abcdefghijklmnopqrst"));
    }

    void descriptionStopsAtItsLimit()
    {
        Env env;
        env.Open();
        auto *description = env.Find<QPlainTextEdit>("txtProfile_1");
        QTest::keyClicks(description, QString(80, 'x'));
        QCOMPARE(description->toPlainText(), QString(75, 'x'));
    }

    void closeBoxSavesLikeSave_data()
    {
        QTest::addColumn<bool>("useCloseBox");
        QTest::newRow("Save") << false;
        QTest::newRow("close box") << true;
    }

    void closeBoxSavesLikeSave()
    {
        QFETCH(bool, useCloseBox);
        Env env;
        env.state.NoDatabase = false;
        env.Open();
        QTest::keyClicks(env.Find<QLineEdit>("txtProfile_0"), "ann");
        QTest::mouseClick(env.Find<QCheckBox>("chkPing"), Qt::LeftButton);
        QTest::mouseClick(env.Find<QCheckBox>("chkAutoStart"), Qt::LeftButton);
        QTest::keyClick(env.Find<QComboBox>("cboStoredRecipes"), Qt::Key_Down);
        if (useCloseBox)
            env.dialog->close();
        else
            QTest::mouseClick(env.Find<QPushButton>("cmdSave"), Qt::LeftButton);
        QVERIFY(!env.dialog->isVisible());
        QCOMPARE(env.Stored("PROFILE", "USERNAME"), QString("ann"));
        QCOMPARE(env.Stored("MISC", "PING"), QString("1"));
        QCOMPARE(env.Stored("MISC", "STOREDRECIPES"), QString("50"));
        QCOMPARE(env.state.Setting("AUTOSTART"), QString("1"));
        QCOMPARE(env.autoStartCalls, QList<bool>{true});
        // Exactly one save per close.
        env.dialog->close();
        QCOMPARE(env.autoStartCalls.size(), 1);
    }

    void escapeSavesToo()
    {
        Env env;
        env.Open();
        QTest::keyClicks(env.Find<QLineEdit>("txtProfile_0"), "bo");
        QTest::keyClick(env.dialog.get(), Qt::Key_Escape);
        QCOMPARE(env.Stored("PROFILE", "USERNAME"), QString("bo"));
    }

    void clickRules()
    {
        Env env;
        env.state.NoDatabase = true;
        env.Open();
        auto *allow = env.Find<QCheckBox>("chkAllowSearches");
        QTest::mouseClick(allow, Qt::LeftButton);
        QVERIFY(!allow->isChecked());
        QCOMPARE(env.diag.messageCenter()->Title, QString("CKF not installed"));

        auto *web = env.Find<QCheckBox>("chkGetWebSettings");
        auto *warn = env.Find<QCheckBox>("chkWebWarning");
        QTest::mouseClick(web, Qt::LeftButton);
        QVERIFY(warn->isEnabled());
        QTest::mouseClick(warn, Qt::LeftButton);
        QVERIFY(warn->isChecked());
        QTest::mouseClick(web, Qt::LeftButton);
        QVERIFY(!warn->isEnabled());
        QVERIFY(!warn->isChecked());

        auto *all = env.Find<QCheckBox>("chkAllRecipes");
        QTest::mouseClick(all, Qt::LeftButton);
        QTest::mouseClick(all, Qt::LeftButton); // unchecking while shown warns
        QCOMPARE(env.diag.messageCenter()->Title, QString("New Recipes"));
    }

    void swatchClicks()
    {
        Env env;
        QVERIFY(WriteIniKey(env.state.SettingsFilePath, "CHAT", "TEXTCOLOR=255"));
        QVERIFY(WriteIniKey(env.state.SettingsFilePath, "CHAT", "BACKCOLOR=16777215"));
        QVERIFY(WriteIniKey(env.state.SettingsFilePath, "CHAT", "INCOMINGCOLOR=65280"));
        env.Open();
        auto *text = env.Find<QFrame>("txtChatColor_0");
        auto *back = env.Find<QFrame>("txtChatColor_1");
        QCOMPARE(SwatchColor(text), QColor(255, 0, 0));
        QCOMPARE(SwatchColor(back), QColor(255, 255, 255));
        QCOMPARE(env.Find<QLineEdit>("txtExample")->palette().color(QPalette::Text),
                 QColor(255, 0, 0));

        env.prompter.colors.enqueue(0xFF0000u); // blue
        QTest::mouseClick(text, Qt::LeftButton);
        QCOMPARE(SwatchColor(text), QColor(0, 0, 255));
        QCOMPARE(env.Find<QLineEdit>("txtExample")->palette().color(QPalette::Text),
                 QColor(0, 0, 255));

        env.prompter.colors.enqueue(65280u); // background = incoming: refused
        QTest::mouseClick(back, Qt::LeftButton);
        QCOMPARE(SwatchColor(back), QColor(255, 255, 255));
        QCOMPARE(env.diag.messageCenter()->Title, QString("Matching Color"));
        env.dialog->close();
        QCOMPARE(env.Stored("CHAT", "TEXTCOLOR"), QString::number(0xFF0000));
    }

    void twoLineDescriptionRoundTrip()
    {
        Env env;
        FrmSettings &dlg = env.Open();
        auto *description = env.Find<QPlainTextEdit>("txtProfile_1");
        QTest::keyClicks(description, "ab");
        QTest::keyClick(description, Qt::Key_Return);
        QTest::keyClicks(description, "cd");
        dlg.close();
        QCOMPARE(env.Stored("PROFILE", "DESCRIPTION"), "ab" + env.state.ListSep + "cd");
        // Showing the same dialog again reads the file anew.
        QVERIFY(WriteIniKey(env.state.SettingsFilePath, "PROFILE", "USERNAME=fromfile"));
        dlg.show();
        QCOMPARE(description->toPlainText(), QString("ab\ncd"));
        QCOMPARE(env.Find<QLineEdit>("txtProfile_0")->text(), QString("fromfile"));
    }

    void getFileButton()
    {
        Env env;
        env.Open();
        env.prompter.files.enqueue(env.dir.filePath("cookbook.ini"));
        QTest::mouseClick(env.Find<QPushButton>("cmdGetFile"), Qt::LeftButton);
        QCOMPARE(env.Find<QLineEdit>("txtCKFPath")->text(), env.dir.filePath("cookbook.ini"));
        QCOMPARE(env.prompter.shown.last().title, QString("Cookbook.ini|Cookbook.ini"));
        env.dialog->close();
        QCOMPARE(env.state.CookbookIniPath, env.dir.filePath("cookbook.ini"));
    }
};

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
