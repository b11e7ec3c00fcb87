// Printing: the exact calls made on the print module for the listed
// cases, the messages around it, and a PDF printed through our own module.
#include "browse/Printing.h"
#include "browse/StorageBox.h"
#include "support/BrowseFixture.h"

#include <QPdfWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

using namespace zestrel;
using namespace zestrel::test;

namespace
{

QString Opt(const std::optional<double> &v)
{
    return v ? QString::number(*v) : QString();
}
QString Opt(const std::optional<bool> &v)
{
    return v ? (*v ? QStringLiteral("true") : QStringLiteral("false")) : QString();
}

// Writes down every call as name(text|size|bold|italic) with left-out arguments empty.
class RecordingModule : public DocumentBuilder
{
  public:
    explicit RecordingModule(QStringList &log) : log_(log) {}
    void AddLine(const std::optional<QString> &text, std::optional<double> size,
                 std::optional<bool> bold, std::optional<bool> italic) override
    {
        if (!text && !size && !bold && !italic)
            log_ << QStringLiteral("AddLine()");
        else
            log_ << QStringLiteral("AddLine(%1|%2|%3|%4)")
                        .arg(text.value_or(QString()), Opt(size), Opt(bold), Opt(italic));
    }
    void Add(const QString &text, std::optional<double> size, std::optional<bool> bold) override
    {
        log_ << QStringLiteral("Add(%1|%2|%3)").arg(text, Opt(size), Opt(bold));
    }
    void Preview() override { log_ << QStringLiteral("Preview()"); }

  private:
    QStringList &log_;
};

struct Print {
    Print()
    {
        stack.app.Settings["STOREDRECIPES"] = "25";
        modules.Register(kPrintModuleName, [this] {
            ++created;
            return std::make_unique<RecordingModule>(calls);
        });
    }
    // '|' FieldSep, '~' ListSep, '@' section separator.
    QString text(QString t) const
    {
        return t.replace('@', stack.app.ListSep + stack.app.ListSep)
            .replace('|', stack.app.FieldSep)
            .replace('~', stack.app.ListSep);
    }
    QString message() const
    {
        return stack.diag.messageCenter() ? stack.diag.messageCenter()->Message() : QString();
    }

    BrowseStack stack;
    PrintModules modules;
    Printer printer{stack.app, stack.storage, modules};
    QStringList calls;
    int created = 0;
};

} // namespace

class TestPrinting : public QObject
{
    Q_OBJECT
  private slots:
    void callSequence_data();
    void callSequence();
    void emptyBoxSaysNoRecipes();
    void notInstalled();
    void itemOfThreeFieldsFails();
    void printsTheRecipeOnShow();
    void pdfHoldsTitleAndLines();
};

void TestPrinting::callSequence_data()
{
    QTest::addColumn<QString>("recipe");
    QTest::addColumn<QStringList>("calls");
    const QStringList head = {"AddLine(T|14|true|)", "AddLine()"};
    QTest::newRow("the Part's ingredient cases, empty source, cuisine and misc")
        << "Food|T|Breads|8|10 min|25 min|Serve warm.|||@1|cup|flour|---~---|---|salt|spices~"
           "2|---|eggs|dairy@1|Mix.~2|Bake.@0"
        << head + QStringList{"Add(Category:  \t|10|true)",
                              "AddLine(Breads|||)",
                              "Add(Servings:  \t|10|true)",
                              "AddLine(8|||)",
                              "Add(Prep Time: \t|10|true)",
                              "AddLine(10 min|||)",
                              "Add(Cook Time: \t|10|true)",
                              "AddLine(25 min|||)",
                              "AddLine()",
                              "AddLine(Ingredients|12|true|)",
                              "AddLine(---flour---|||true)",
                              "AddLine(salt|||)",
                              "Add(2 ||)",
                              "AddLine(eggs|||)",
                              "AddLine()",
                              "AddLine(Directions|12|true|)",
                              "AddLine(1:  Mix.|||)",
                              "AddLine(2:  Bake.|||)",
                              "AddLine()",
                              "AddLine(Notes|12|true|)",
                              "AddLine(Serve warm.|||)",
                              "Preview()"};
    QTest::newRow("all header fields, no notes")
        << "Food|T|C|4|p|c||S|K|M@1|cup|flour|baking@1|Stir.@0"
        << head + QStringList{"Add(Source:    \t|10|true)",
                              "AddLine(S|||)",
                              "Add(Category:  \t|10|true)",
                              "AddLine(C|||)",
                              "Add(Cuisine:   \t|10|true)",
                              "AddLine(K|||)",
                              "Add(Servings:  \t|10|true)",
                              "AddLine(4|||)",
                              "Add(Prep Time: \t|10|true)",
                              "AddLine(p|||)",
                              "Add(Cook Time: \t|10|true)",
                              "AddLine(c|||)",
                              "Add(Misc:      \t|10|true)",
                              "AddLine(M|||)",
                              "AddLine()",
                              "AddLine(Ingredients|12|true|)",
                              "Add(1 ||)",
                              "Add(cup ||)",
                              "AddLine(flour|||)",
                              "AddLine()",
                              "AddLine(Directions|12|true|)",
                              "AddLine(1:  Stir.|||)",
                              "AddLine()",
                              "Preview()"};
    QTest::newRow("placeholders only: the headings with nothing under them")
        << "Food|T|||||||||@<#NONE#>|---|---|---@<#NONE#>|---@0"
        << head + QStringList{"AddLine()", "AddLine(Ingredients|12|true|)",
                              "AddLine()", "AddLine(Directions|12|true|)",
                              "AddLine()", "Preview()"};
    QTest::newRow("short items are skipped, no title")
        << "Food@1|cup~x|y|z|w@7@0" << QStringList{"AddLine()",
                                                   "AddLine()",
                                                   "AddLine(Ingredients|12|true|)",
                                                   "Add(x ||)",
                                                   "Add(y ||)",
                                                   "AddLine(z|||)",
                                                   "AddLine()",
                                                   "AddLine(Directions|12|true|)",
                                                   "AddLine()",
                                                   "Preview()"};
}

void TestPrinting::callSequence()
{
    QFETCH(QString, recipe);
    QFETCH(QStringList, calls);
    Print p;
    p.printer.PrintRecipe(p.text(recipe));
    QCOMPARE(p.calls, calls);
    QCOMPARE(p.message(), QString());
}

void TestPrinting::emptyBoxSaysNoRecipes()
{
    Print p;
    p.printer.cmdPrint_Click();
    QCOMPARE(p.created, 0);
    QCOMPARE(p.stack.prompter.shown.size(), 1);
    QCOMPARE(p.stack.prompter.shown[0].text, "You have no recipes in the preview window!");
    QCOMPARE(p.stack.prompter.shown[0].title, "No Recipes");
    QCOMPARE(p.stack.prompter.shown[0].icon, PromptIcon::Information);
}

void TestPrinting::notInstalled()
{
    Print p;
    p.modules.Unregister(kPrintModuleName);
    p.stack.storage.ProcessRecipe(CornBreadText(p.stack.app));
    p.printer.cmdPrint_Click();
    QCOMPARE(p.calls, QStringList());
    QCOMPARE(p.message(),
             "The Pagelark Module (Pagelark) is not installed on your computer.\r\n\r\n"
             "Pagelark is available for FREE at " +
                 p.stack.app.MakerWebAddress +
                 ".  You can download the Pagelark install kit separately or download the "
                 "Cookfolio install kit (which includes the Pagelark install kit too).\r\n\r\n"
                 "Please download either install kit if you would like to preview and/or print "
                 "recipes directly from Zestrel.");
}

void TestPrinting::itemOfThreeFieldsFails()
{
    Print p;
    p.printer.PrintRecipe(p.text("Food|T@1|cup|flour@1|Mix.@0"));
    QCOMPARE(p.calls, (QStringList{"AddLine(T|14|true|)", "AddLine()", "AddLine()",
                                   "AddLine(Ingredients|12|true|)"}));
    QCOMPARE(p.message(), "Zestrel: 9\r\n\r\nSubscript out of range");
}

void TestPrinting::printsTheRecipeOnShow()
{
    Print p;
    p.stack.storage.ProcessRecipe(CornBreadText(p.stack.app));
    p.stack.storage.ProcessRecipe(p.text("Food|Second@1|a|b|c@1|x@0"));
    p.stack.storage.cmdBack_Click();
    p.printer.cmdPrint_Click();
    QCOMPARE(p.created, 1);
    QCOMPARE(p.calls.value(0), "AddLine(Corn Bread|14|true|)");
    QCOMPARE(p.calls.last(), "Preview()");
}

void TestPrinting::pdfHoldsTitleAndLines()
{
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    QVERIFY2(!pdftotext.isEmpty(), "pdftotext (poppler-utils, scripts/deps.sh) is missing");
    Print p;
    const QString pdf = p.stack.dir.filePath("recipe.pdf");
    p.modules.Register(kPrintModuleName, [&pdf] {
        return std::make_unique<TextDocumentBuilder>([&pdf](std::unique_ptr<QTextDocument> doc) {
            QPdfWriter writer(pdf);
            doc->print(&writer);
        });
    });
    p.stack.storage.ProcessRecipe(CornBreadText(p.stack.app));
    p.printer.cmdPrint_Click();
    QCOMPARE(p.message(), QString());
    QVERIFY(QFile::exists(pdf));

    QProcess proc;
    proc.start(pdftotext, {"-layout", pdf, "-"});
    QVERIFY(proc.waitForFinished(30000));
    const QString text = QString::fromUtf8(proc.readAllStandardOutput());
    QStringList lines;
    for (const QString &line : text.split('\n'))
        if (!line.trimmed().isEmpty())
            lines << line.simplified();
    QCOMPARE(lines,
             (QStringList{"Corn Bread", "Category: Breads", "Servings: 8", "Prep Time: 10 min",
                          "Cook Time: 25 min", "Ingredients", "1 cup cornmeal", "Directions",
                          "1: Mix.", "Notes", "Serve warm.", "1" /* the page number */}));
}

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
