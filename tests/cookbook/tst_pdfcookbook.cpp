// The PDF cookbook read back with pdftotext: title page, contents whose page numbers
// are the pages the recipes start on, one recipe a page, a long one running on.
#include "cookbook/PdfCookbook.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel::cookbook;

class TestPdfCookbook : public QObject
{
    Q_OBJECT
  private slots:
    void contentsNamePages();
    void stoppedOrUnwritableLeavesNoFile();
};

namespace
{

Recipe Make(const QString &title, int steps)
{
    Recipe r;
    r.title = title;
    r.category = QStringLiteral("Breads");
    r.servings = QStringLiteral("4");
    r.ingredients << Ingredient{QStringLiteral("2"), QStringLiteral("cup"), QStringLiteral("flour"),
                                QString()}
                  << Ingredient{QString(), QString(), QStringLiteral("For the glaze:"), QString()}
                  << Ingredient{QStringLiteral("1"), QStringLiteral("tbsp"),
                                QStringLiteral("honey"), QString()};
    for (int i = 1; i <= steps; ++i)
        r.directions
            << QStringLiteral("Step %1 of %2: stir well and wait a moment.").arg(i).arg(title);
    r.notes = QStringLiteral("Keeps a week.");
    return r;
}

// The text of each page, in order.
QStringList Pages(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// The page number the contents give for a title.
int ContentsPage(const QString &contents, const QString &title)
{
    const QRegularExpression line(QStringLiteral("^\\s*") + QRegularExpression::escape(title) +
                                      QStringLiteral("\\s+(\\d+)\\s*$"),
                                  QRegularExpression::MultilineOption);
    const auto m = line.match(contents);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

} // namespace

void TestPdfCookbook::contentsNamePages()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.pdf"));
    const QList<Recipe> recipes{Make(QStringLiteral("Apple Bread"), 3),
                                Make(QStringLiteral("Long Brioche"), 90),
                                Make(QStringLiteral("Corn Cakes"), 2)};
    PdfCookbook book(recipes, QStringLiteral("Family Favourites"));
    QString error;
    QVERIFY2(book.Write(path, &error), qPrintable(error));

    const QStringList pages = Pages(path);
    QCOMPARE(pages.size(), book.PageCount());
    QVERIFY(pages[0].contains(QStringLiteral("Family Favourites")));
    QVERIFY(pages[0].contains(QStringLiteral("3 recipes")));
    QVERIFY(pages[1].contains(QStringLiteral("Contents")));
    QCOMPARE(ContentsPage(pages[1], QStringLiteral("Apple Bread")), 3);
    QCOMPARE(ContentsPage(pages[1], QStringLiteral("Long Brioche")), 4);
    const int corn = ContentsPage(pages[1], QStringLiteral("Corn Cakes"));
    QVERIFY2(corn >= 6, "the long recipe runs on to a second page");
    QCOMPARE(pages.size(), corn);
    QCOMPARE(book.RecipePages(), (QList<int>{3, 4, corn}));
    // Each recipe starts at the top of its page, alone there.
    for (const auto &[title, page] :
         {std::pair{QStringLiteral("Apple Bread"), 3}, std::pair{QStringLiteral("Long Brioche"), 4},
          std::pair{QStringLiteral("Corn Cakes"), corn}}) {
        const QString text = pages[page - 1];
        QCOMPARE(text.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed(), title);
        QVERIFY(text.contains(QStringLiteral("For the glaze:")));
        QVERIFY(text.contains(QStringLiteral("1 tbsp honey")));
    }
    // The long recipe's last step is on the page before the next recipe, and no page
    // holds another recipe's text.
    QVERIFY(pages[corn - 2].contains(QStringLiteral("Step 90 of Long Brioche")));
    for (int page = 4; page < corn - 1; ++page) {
        QVERIFY(!pages[page].contains(QStringLiteral("Apple Bread")));
        QVERIFY(!pages[page].contains(QStringLiteral("Corn Cakes")));
    }
    QVERIFY(!pages[2].contains(QStringLiteral("Long Brioche")));
    // The pages after the title page carry their numbers at the foot.
    QCOMPARE(pages[3].trimmed().section(QLatin1Char('\n'), -1).trimmed(), QStringLiteral("4"));
}

void TestPdfCookbook::stoppedOrUnwritableLeavesNoFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("book.pdf"));
    PdfCookbook book({Make(QStringLiteral("A"), 1), Make(QStringLiteral("B"), 1)}, QString());
    int calls = 0;
    QString error;
    QVERIFY(!book.Write(path, &error, [&](int, int) { return ++calls < 2; }));
    QCOMPARE(calls, 2);
    QVERIFY(!QFile::exists(path));

    const QString unwritable = dir.filePath(QStringLiteral("missing/book.pdf"));
    QVERIFY(!book.Write(unwritable, &error));
    QVERIFY(error.contains(unwritable));
    QVERIFY(!QFile::exists(unwritable));
}

QTEST_MAIN(TestPdfCookbook)
#include "tst_pdfcookbook.moc"
