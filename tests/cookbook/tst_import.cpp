// Import into a real cookbook file: the rows of a plan, duplicates of stored recipes and
// within one import, the report, a failure in the middle leaving nothing behind, and the
// command line's exit codes.
#include "cookbook/Cookbook.h"
#include "cookbook/Fingerprint.h"
#include "cookbookio/Importer.h"

#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using namespace zestrel::cookbook;

class TestImport : public QObject
{
    Q_OBJECT
  private slots:
    void planRows();
    void failureMidImportLeavesNothing();
    void commandLine_data();
    void commandLine();
};

namespace
{

// Three recipes; the third is the first again with other amounts and the lines in
// another order.
const char kMealMaster[] = "Some text before the first recipe.\n"
                           "\n"
                           "MMMMM----- Recipe via Meal-Master (tm) v8.05\n"
                           "\n"
                           "      Title: Apple Pie\n"
                           " Categories: Desserts, Pies\n"
                           "   Servings: 8\n"
                           "\n"
                           "      6 lg Apples\n"
                           "      1 c  Sugar\n"
                           "      2 c  Flour\n"
                           "\n"
                           "  Peel the apples. Bake.\n"
                           "\n"
                           "MMMMM\n"
                           "\n"
                           "MMMMM----- Recipe via Meal-Master (tm) v8.05\n"
                           "\n"
                           "      Title: Corn Bread\n"
                           " Categories: Breads\n"
                           "   Servings: 6\n"
                           "\n"
                           "      1 c  Cornmeal\n"
                           "      1 c  Milk\n"
                           "\n"
                           "  Stir and bake.\n"
                           "\n"
                           "MMMMM\n"
                           "\n"
                           "MMMMM----- Recipe via Meal-Master (tm) v8.05\n"
                           "\n"
                           "      Title: APPLE PIE\n"
                           " Categories: Desserts\n"
                           "   Servings: 4\n"
                           "\n"
                           "      1 c  Flour\n"
                           "      3 lg Apples\n"
                           "    1/2 c  Sugar\n"
                           "\n"
                           "  Bake.\n"
                           "\n"
                           "MMMMM\n";

const char kCooklang[] = ">> title: Lemon Tea\n"
                         ">> servings: 2\n"
                         "\n"
                         "Pour @water{500%ml} over @lemon{1}.\n";

void Write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

int Count(Cookbook &cookbook, const char *table)
{
    QSqlQuery q(cookbook.Database());
    return q.exec(QStringLiteral("SELECT COUNT(*) FROM ") + QLatin1String(table)) && q.next()
               ? q.value(0).toInt()
               : -1;
}

Recipe Stored(const QString &title, const QStringList &names)
{
    Recipe r;
    r.title = title;
    for (const QString &n : names)
        r.ingredients << Ingredient{QStringLiteral("1"), QString(), n, QString()};
    r.directions << QStringLiteral("Mix.");
    return r;
}

} // namespace

void TestImport::planRows()
{
    QTemporaryDir dir;
    Cookbook cookbook;
    QString error;
    QVERIFY2(cookbook.Create(dir.path(), &error), qPrintable(error));
    Recipe corn =
        Stored(QStringLiteral("Corn bread!"), {QStringLiteral("milk"), QStringLiteral("cornmeal")});
    QVERIFY2(cookbook.Save(corn, &error), qPrintable(error));

    const QString mmf = dir.filePath(QStringLiteral("pies.mmf"));
    const QString cook = dir.filePath(QStringLiteral("tea.cook"));
    const QString missing = dir.filePath(QStringLiteral("missing.mmf"));
    Write(mmf, kMealMaster);
    Write(cook, kCooklang);
    const auto known = ReadFingerprints(cookbook, &error);
    QVERIFY2(known, qPrintable(error));
    QCOMPARE(known->size(), 1);
    QList<ImportSource> sources;
    for (const QString &path : {mmf, cook, missing})
        sources << ImportSource{path, zestrel::formats::ReadFile(path)};
    const QList<ImportRow> rows = PlanImport(sources, *known);

    QStringList texts;
    for (const ImportRow &row : rows)
        texts << row.recipe.title + QStringLiteral(" | ") + row.StatusText() +
                     QStringLiteral(" | ") + (row.ticked ? QStringLiteral("ticked") : QString());
    QCOMPARE(texts.mid(0, 4),
             (QStringList{
                 QStringLiteral("Apple Pie | New | ticked"),
                 QStringLiteral("Corn Bread | Duplicate of \"Corn bread!\" (%1) | ").arg(corn.id),
                 QStringLiteral("APPLE PIE | Duplicate of \"Apple Pie\" (row 1) | "),
                 QStringLiteral("Lemon Tea | New | ticked")}));
    QCOMPARE(rows.size(), 5);
    QCOMPARE(rows[0].line, 3);
    QCOMPARE(rows[0].Where(), mmf + QStringLiteral(", line 3"));
    QCOMPARE(rows[4].status, ImportRow::Status::Error);
    QVERIFY2(rows[4].StatusText().startsWith(QStringLiteral("Error: ") + missing),
             qPrintable(rows[4].StatusText()));

    const ImportReport report = ImportRows(cookbook, rows);
    QVERIFY(report.ok);
    QCOMPARE(report.Text(), QStringLiteral("Imported 2 recipes, skipped 2 duplicates, 1 error"));
    QCOMPARE(report.ids.size(), 2);
    QCOMPARE(cookbook.Load(report.ids[0])->title, QStringLiteral("Apple Pie"));
    QCOMPARE(cookbook.Load(report.ids[1])->title, QStringLiteral("Lemon Tea"));
    QCOMPARE(Count(cookbook, "RECIPE"), 3);

    // The same files again: everything is now a duplicate of what is stored.
    const QList<ImportRow> again = PlanImport(sources, *ReadFingerprints(cookbook));
    const ImportReport second = ImportRows(cookbook, again);
    QCOMPARE(second.Text(), QStringLiteral("Imported 0 recipes, skipped 4 duplicates, 1 error"));
    QCOMPARE(Count(cookbook, "RECIPE"), 3);

    // A duplicate the member ticks goes in; a new recipe left unticked is counted apart.
    QList<ImportRow> picked = rows;
    picked[0].ticked = false;
    picked[2].ticked = true;
    const ImportReport third = ImportRows(cookbook, picked);
    QCOMPARE(third.Text(),
             QStringLiteral("Imported 2 recipes, skipped 1 duplicate, 1 error, left out 1"));
}

void TestImport::failureMidImportLeavesNothing()
{
    QTemporaryDir dir;
    Cookbook cookbook;
    QString error;
    QVERIFY(cookbook.Create(dir.path(), &error));
    // The database refuses the second recipe of the batch, after the first was written.
    QSqlQuery q(cookbook.Database());
    QVERIFY(q.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON RECIPE WHEN "
                                  "NEW.title = 'Corn Bread' BEGIN SELECT RAISE(ABORT, "
                                  "'refused here'); END")));
    const QString mmf = dir.filePath(QStringLiteral("pies.mmf"));
    Write(mmf, kMealMaster);
    const QList<ImportRow> rows =
        PlanImport({ImportSource{mmf, zestrel::formats::ReadFile(mmf)}}, KnownFingerprints());
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows[0].ticked && rows[1].ticked && !rows[2].ticked);
    const ImportReport report = ImportRows(cookbook, rows);
    QVERIFY(!report.ok);
    QCOMPARE(report.imported, 0);
    QVERIFY2(report.Text().startsWith(QStringLiteral("Nothing was imported: ")),
             qPrintable(report.Text()));
    QVERIFY2(
        report.Text().endsWith(QStringLiteral("Imported 0 recipes, skipped 1 duplicate, 0 errors")),
        qPrintable(report.Text()));
    QCOMPARE(Count(cookbook, "RECIPE"), 0);
    QCOMPARE(Count(cookbook, "INGREDIENTS"), 0);
    QCOMPARE(Count(cookbook, "DIRECTIONS"), 0);
}

void TestImport::commandLine_data()
{
    QTest::addColumn<QStringList>("args"); // FOLDER, MMF, COOK, EMPTY, OUT stand for paths
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("lastLine");
    QTest::newRow("files") << QStringList{"import", "--folder", "FOLDER", "MMF", "COOK"} << 0
                           << "Imported 3 recipes, skipped 1 duplicate, 0 errors";
    QTest::newRow("one readable, one missing")
        << QStringList{"import", "--folder", "FOLDER", "COOK", "FOLDER/none.mmf"} << 0
        << "Imported 1 recipe, skipped 0 duplicates, 1 error";
    QTest::newRow("nothing readable") << QStringList{"import", "--folder", "FOLDER", "EMPTY"} << 1
                                      << "Imported 0 recipes, skipped 0 duplicates, 1 error";
    QTest::newRow("missing file only")
        << QStringList{"import", "--folder", "FOLDER", "FOLDER/none.mmf"} << 1
        << "Imported 0 recipes, skipped 0 duplicates, 1 error";
    QTest::newRow("no file") << QStringList{"import", "--folder", "FOLDER"} << 2 << "";
    QTest::newRow("unknown option")
        << QStringList{"import", "--folder", "FOLDER", "--fast", "MMF"} << 2 << "";
    QTest::newRow("export all") << QStringList{"export", "--folder", "FOLDER", "--format",
                                               "mmf",    "--out",    "OUT"}
                                << 0 << "Exported 1 recipe as MealMaster to OUT";
    QTest::newRow("export a category none has")
        << QStringList{"export", "--folder", "FOLDER",     "--format", "jsonld",
                       "--out",  "OUT",      "--category", "Soups"}
        << 1 << "zestrel-cookbook: no recipes to export";
    QTest::newRow("export an id not there")
        << QStringList{"export", "--folder", "FOLDER", "--format", "cook",
                       "--out",  "OUT",      "--ids",  "999999"}
        << 1 << "";
    QTest::newRow("export unknown format")
        << QStringList{"export", "--folder", "FOLDER", "--format", "doc", "--out", "OUT"} << 2
        << "";
    QTest::newRow("export without --out")
        << QStringList{"export", "--folder", "FOLDER", "--format", "pdf"} << 2 << "";
    QTest::newRow("export servings 0")
        << QStringList{"export", "--folder", "FOLDER",     "--format", "pdf",
                       "--out",  "OUT",      "--servings", "0"}
        << 2 << "";
}

void TestImport::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, lastLine);
    QTemporaryDir dir;
    {
        // One stored recipe: the Lemon Tea of the Cooklang file.
        Cookbook cookbook;
        QVERIFY(cookbook.Create(dir.path()));
        Recipe tea = Stored(QStringLiteral("Lemon Tea"), {QStringLiteral("lemon")});
        QVERIFY(cookbook.Save(tea));
    }
    Write(dir.filePath(QStringLiteral("pies.mmf")), kMealMaster);
    Write(dir.filePath(QStringLiteral("tea.cook")),
          QByteArray(kCooklang).replace("Lemon Tea", "Mint Tea"));
    Write(dir.filePath(QStringLiteral("empty.mmf")), "no recipe in here\n");
    const QString out = dir.filePath(QStringLiteral("out.file"));
    for (QString &a : args) {
        a.replace(QStringLiteral("FOLDER"), dir.path());
        a.replace(QStringLiteral("MMF"), dir.filePath(QStringLiteral("pies.mmf")));
        a.replace(QStringLiteral("COOK"), dir.filePath(QStringLiteral("tea.cook")));
        a.replace(QStringLiteral("EMPTY"), dir.filePath(QStringLiteral("empty.mmf")));
        a.replace(QStringLiteral("OUT"), out);
    }
    lastLine.replace(QStringLiteral("OUT"), out);
    QProcess p;
    p.start(QStringLiteral(ZESTREL_COOKBOOK_PATH), args);
    QVERIFY(p.waitForFinished(60000));
    const QString stdOut = QString::fromUtf8(p.readAllStandardOutput());
    const QString stdErr = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(p.exitCode() == exitCode, qPrintable(stdOut + stdErr));
    if (!lastLine.isEmpty()) {
        const QString text =
            exitCode == 0 || lastLine.startsWith(QLatin1String("Imported")) ? stdOut : stdErr;
        QCOMPARE(text.trimmed().section(QLatin1Char('\n'), -1), lastLine);
    }
    if (exitCode != 0 && args[0] == QLatin1String("export"))
        QVERIFY(!QFile::exists(out));
}

QTEST_GUILESS_MAIN(TestImport)
#include "tst_import.moc"
