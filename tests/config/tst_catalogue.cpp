// The settings catalogue: every key with its section, control, default and length limit,
// written out as the settings file and the dialog expect them.
#include "config/SettingsCatalogue.h"

#include <QtTest>

using namespace zestrel;

class TestCatalogue : public QObject
{
    Q_OBJECT
  private slots:
    void everyKey_data();
    void everyKey();
    void listItems();
};

void TestCatalogue::everyKey_data()
{
    QTest::addColumn<int>("position"); // in the order the dialog writes them
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("defaultValue"); // "<swatch>": the text-field base colour
    QTest::addColumn<int>("maxLength");
    QTest::newRow("GETALLPROFILEDATA") << 0 << "PROFILE"
                                       << "chkProfile"
                                       << "0" << 0;
    QTest::newRow("USERNAME") << 1 << "PROFILE"
                              << "txtProfile_0"
                              << "" << 20;
    QTest::newRow("DESCRIPTION") << 2 << "PROFILE"
                                 << "txtProfile_1"
                                 << "" << 75;
    QTest::newRow("EXTENDED") << 3 << "PROFILE"
                              << "txtProfile_2"
                              << "" << 300;
    QTest::newRow("TEXTCOLOR") << 4 << "CHAT"
                               << "txtChatColor_0"
                               << "<swatch>" << 0;
    QTest::newRow("BACKCOLOR") << 5 << "CHAT"
                               << "txtChatColor_1"
                               << "<swatch>" << 0;
    QTest::newRow("INCOMINGTEXT") << 6 << "CHAT"
                                  << "chkIncomingText"
                                  << "0" << 0;
    QTest::newRow("INCOMINGCOLOR") << 7 << "CHAT"
                                   << "txtChatColor_2"
                                   << "<swatch>" << 0;
    QTest::newRow("AUTOEXPANDNODES") << 8 << "MISC"
                                     << "chkAutoExpandNodes"
                                     << "0" << 0;
    QTest::newRow("BASEFONTSIZE") << 9 << "MISC"
                                  << "cboBaseFontSize"
                                  << "10" << 0;
    QTest::newRow("ALLOWSEARCHES") << 10 << "MISC"
                                   << "chkAllowSearches"
                                   << "0" << 0;
    QTest::newRow("STOREDRECIPES") << 11 << "MISC"
                                   << "cboStoredRecipes"
                                   << "25" << 0;
    QTest::newRow("SELFSEARCH") << 12 << "MISC"
                                << "chkSearchSelf"
                                << "0" << 0;
    QTest::newRow("CKFPATH") << 13 << "MISC"
                             << "txtCKFPath"
                             << "" << 0;
    QTest::newRow("GETWEBSETTINGS") << 14 << "MISC"
                                    << "chkGetWebSettings"
                                    << "0" << 0;
    QTest::newRow("WEBWARNING") << 15 << "MISC"
                                << "chkWebWarning"
                                << "0" << 0;
    QTest::newRow("SKIPWEBVERIFY") << 16 << "MISC"
                                   << "chkSkipWebVerify"
                                   << "0" << 0;
    QTest::newRow("AUTOSTART") << 17 << "MISC"
                               << "chkAutoStart"
                               << "0" << 0;
    QTest::newRow("MINIMIZE") << 18 << "MISC"
                              << "chkMinimize"
                              << "0" << 0;
    QTest::newRow("EXCLUDEMULTICATEGORIES") << 19 << "MISC"
                                            << "chkExcludeMultiCategories"
                                            << "0" << 0;
    QTest::newRow("ALLRECIPES") << 20 << "MISC"
                                << "chkAllRecipes"
                                << "0" << 0;
    QTest::newRow("PING") << 21 << "MISC"
                          << "chkPing"
                          << "0" << 0;
    QTest::newRow("RECONNECT") << 22 << "MISC"
                               << "chkReconnect"
                               << "0" << 0;
    QTest::newRow("INSTANTMESSAGE") << 23 << "MISC"
                                    << "chkInstantMessage"
                                    << "0" << 0;
}

void TestCatalogue::everyKey()
{
    QFETCH(int, position);
    QFETCH(QString, section);
    QFETCH(QString, control);
    QFETCH(QString, defaultValue);
    QFETCH(int, maxLength);
    const QString key = QString::fromLatin1(QTest::currentDataTag());
    QCOMPARE(SettingsCatalogue().size(), std::size_t(24));
    const SettingDef &def = SettingsCatalogue().at(std::size_t(position));
    QCOMPARE(QString::fromLatin1(def.key), key);
    QCOMPARE(FindSetting(key), &def);
    QCOMPARE(QString::fromLatin1(def.section), section);
    QCOMPARE(QString::fromLatin1(def.control), control);
    QCOMPARE(def.maxLength, maxLength);
    if (defaultValue == QLatin1String("<swatch>")) {
        QCOMPARE(def.kind, SettingKind::Swatch);
        // Black text, a white back, dark blue incoming text, whatever the palette.
        const QString expected = key == QLatin1String("TEXTCOLOR")       ? QStringLiteral("0")
                                 : key == QLatin1String("INCOMINGCOLOR") ? QStringLiteral("8388608")
                                                                         : QStringLiteral("16777215");
        QCOMPARE(DefaultSettingValue(def), expected);
    } else {
        QVERIFY(def.kind != SettingKind::Swatch);
        QCOMPARE(DefaultSettingValue(def), defaultValue);
    }
}

void TestCatalogue::listItems()
{
    QCOMPARE(ListItems("cboBaseFontSize"), (QStringList{"8", "9", "10", "11", "12"}));
    QCOMPARE(ListItems("cboStoredRecipes"), (QStringList{"10", "25", "50", "100"}));
    QCOMPARE(ListItems("chkPing"), QStringList{});
}

QTEST_GUILESS_MAIN(TestCatalogue)
#include "tst_catalogue.moc"
