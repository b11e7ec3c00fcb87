#include "chat/TextFilter.h"
#include "support/FakePrompter.h"

#include <QtTest>

using namespace zestrel;

class TestTextFilter : public QObject
{
    Q_OBJECT
  private slots:
    void wordLists();
    void everyWordRefused_data();
    void everyWordRefused();
    void screen_data();
    void screen();
};

void TestTextFilter::wordLists()
{
    QList<int> contained, whole;
    for (const QString &w : ContainedWords())
        contained << int(w.size());
    for (const QString &w : WholeTextWords())
        whole << int(w.size());
    QCOMPARE(contained, (QList<int>{4, 4, 4, 6, 5, 7, 8}));
    QCOMPARE(whole, (QList<int>{3, 4, 5}));
    for (const QString &w : ContainedWords() + WholeTextWords())
        QCOMPARE(w, w.toUpper());
    // The words themselves: a misspelt word would let the real one through.
    QCOMPARE(ContainedWords(),
             (QStringList{"FUCK", "SHIT", "CUNT", "WANKER", "BITCH", "BASTARD", "DICKHEAD"}));
    QCOMPARE(WholeTextWords(), (QStringList{"ASS", "DICK", "PRICK"}));
}

// Each word as a member would type it: contained words inside a sentence, whole-text words
// alone, in lower case.
void TestTextFilter::everyWordRefused_data()
{
    QTest::addColumn<QString>("text");
    for (const char *w : {"fuck", "shit", "cunt", "wanker", "bitch", "bastard", "dickhead"})
        QTest::newRow(w) << QStringLiteral("oh ") + QLatin1String(w) + QStringLiteral("ing soup");
    for (const char *w : {"ass", "dick", "prick"})
        QTest::newRow(w) << QString::fromLatin1(w);
}

void TestTextFilter::everyWordRefused()
{
    QFETCH(QString, text);
    test::FakePrompter prompter;
    QVERIFY(!ScreenText(prompter, text));
    QCOMPARE(prompter.titles(), QStringList{"Foul language detected"});
}

void TestTextFilter::screen_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("blanks") << QStringLiteral("   ") << true;
    QTest::newRow("clean sentence") << QStringLiteral("Pass the salt, please") << true;
    QTest::newRow("contained upper") << QStringLiteral("SHIT") << false;
    QTest::newRow("contained lower") << QStringLiteral("shit") << false;
    QTest::newRow("contained mixed inside word") << QStringLiteral("BullShItting") << false;
    QTest::newRow("contained in sentence") << QStringLiteral("you are a wanker, mate") << false;
    QTest::newRow("every contained word, last") << QStringLiteral("what a Dickhead") << false;
    QTest::newRow("whole word alone") << QStringLiteral("ass") << false;
    QTest::newRow("whole word mixed case") << QStringLiteral("PrIcK") << false;
    QTest::newRow("whole word inside word") << QStringLiteral("class") << true;
    QTest::newRow("whole word in sentence") << QStringLiteral("a prick of the needle") << true;
    QTest::newRow("whole word blank before") << QStringLiteral(" dick") << true;
    QTest::newRow("whole word blank after") << QStringLiteral("dick ") << true;
    QTest::newRow("only a to z upper-cased") << QString::fromUtf8("a\xC3\x9F") << true;
}

void TestTextFilter::screen()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    test::FakePrompter prompter;
    const QString before = text;
    QCOMPARE(ScreenText(prompter, text), accepted);
    QCOMPARE(text, before);
    if (accepted) {
        QVERIFY(prompter.shown.isEmpty());
        return;
    }
    QCOMPARE(prompter.shown.size(), 1);
    const auto &box = prompter.shown.first();
    QCOMPARE(box.kind, QStringLiteral("message"));
    QCOMPARE(box.title, QStringLiteral("Foul language detected"));
    QCOMPARE(box.icon, PromptIcon::Error);
    QCOMPARE(box.buttons, PromptButtons::Ok);
    QCOMPARE(box.text, QStringLiteral("The Zestrel Network may contain users who do not want to "
                                      "see your unwelcomed comments.\r\n\r\nPlease watch your "
                                      "language!"));
}

QTEST_GUILESS_MAIN(TestTextFilter)
#include "tst_textfilter.moc"
