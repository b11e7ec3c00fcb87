// A member's recipe store in a temporary folder: a real cookbook.db made by the
// cookbook factory, the state and diagnostics around it, and helpers to add rows.
#pragma once

#include "app/AppState.h"
#include "app/Diagnostics.h"
#include "cookbook/CookbookFactory.h"
#include "store/RecipeDatabase.h"
#include "support/FakePrompter.h"

#include <QDir>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>

namespace zestrel::test
{

// An ingredient (amount, measure, ingredient, cabinet) or a direction (step, text).
struct Line {
    Line(const char *a_, const char *b_, const char *c_ = "", const char *d_ = "")
        : a(QString::fromUtf8(a_)), b(QString::fromUtf8(b_)), c(QString::fromUtf8(c_)),
          d(QString::fromUtf8(d_))
    {
    }
    Line(QString a_, QString b_) : a(std::move(a_)), b(std::move(b_)) {}
    QString a, b, c, d;
};

// The fake prompter, plus what happens while a box is open (a nested event loop may
// run other handlers then).
class StorePrompter : public FakePrompter
{
  public:
    std::function<void()> whileShown;

    PromptAnswer MessageBox(const QString &text, const QString &title, PromptIcon icon,
                            PromptButtons buttons) override
    {
        if (whileShown)
            whileShown();
        return FakePrompter::MessageBox(text, title, icon, buttons);
    }
};

class StoreFixture
{
  public:
    explicit StoreFixture(bool withSchema = true, bool withPrivate = true)
        : app(diag, prompter, dir.path())
    {
        app.InitSeparators();
        app.CookbookIniPath = dir.filePath(QStringLiteral("cookbook.ini"));
        app.MyUserKey = QStringLiteral("10.0.0.1") + app.FieldSep + QStringLiteral("me") +
                        app.FieldSep + QStringLiteral("1");
        if (withSchema) {
            QString error;
            if (withPrivate) {
                QVERIFY2(cookbook::CreateCookbook(dir.path(), &error), qPrintable(error));
            } else {
                QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"),
                                                             QStringLiteral("old-schema"));
                raw.setDatabaseName(dir.filePath(QStringLiteral("cookbook.db")));
                QVERIFY(raw.open());
                QVERIFY2(cookbook::CreateSchema(raw, &error, false), qPrintable(error));
                raw.close();
                raw = QSqlDatabase();
                QSqlDatabase::removeDatabase(QStringLiteral("old-schema"));
            }
        }
        db = std::make_unique<RecipeDatabase>(app);
    }

    void open()
    {
        db->OpenRecipeDatabase();
        QVERIFY(!app.NoDatabase);
        // Test rows need no durability; this keeps the suites fast.
        exec(QStringLiteral("PRAGMA synchronous = OFF"));
    }

    void exec(const QString &sql, const QVariantList &values = {})
    {
        QSqlQuery q(db->RecipeDb());
        QVERIFY2(q.prepare(sql), qPrintable(q.lastError().text()));
        for (const auto &v : values)
            q.addBindValue(v);
        QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
    }

    void addRecipe(qint64 id, const QString &type, const QString &title,
                   const QString &category = QStringLiteral("Beef"), bool isPrivate = false,
                   const QList<Line> &ingredients = {}, const QList<Line> &directions = {})
    {
        exec(QStringLiteral("INSERT INTO RECIPE (id, type, title, category, servings, prep_time, "
                            "cook_time, notes, rating, source, cuisine, misc, private) VALUES "
                            "(?, ?, ?, ?, '4', '10 min', '20 min', 'n', '', 's', 'c', 'm', ?)"),
             {id, type, title, category, isPrivate ? 1 : 0});
        int i = 1;
        for (const Line &l : ingredients)
            exec(QStringLiteral("INSERT INTO INGREDIENTS VALUES (?, ?, ?, ?, ?, ?)"),
                 {id, i++, l.a, l.b, l.c, l.d});
        for (const Line &l : directions)
            exec(QStringLiteral("INSERT INTO DIRECTIONS VALUES (?, ?, ?)"), {id, l.a, l.b});
    }

    QStringList column(const QString &sql, const QVariantList &values = {})
    {
        QStringList out;
        QSqlQuery q(db->RecipeDb());
        q.prepare(sql);
        for (const auto &v : values)
            q.addBindValue(v);
        if (!q.exec())
            return {QStringLiteral("<error>")};
        while (q.next())
            out << (q.value(0).isNull() ? QStringLiteral("<null>") : q.value(0).toString());
        return out;
    }

    // Every row of every table, for "nothing changed" checks.
    QString snapshot()
    {
        QString all;
        for (const char *t : {"RECIPE", "INGREDIENTS", "DIRECTIONS"}) {
            QSqlQuery q(db->RecipeDb());
            if (!q.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1, 2").arg(QLatin1String(t))))
                return QStringLiteral("<missing table %1>").arg(QLatin1String(t));
            all += QLatin1String(t) + QLatin1Char('\n');
            while (q.next()) {
                for (int i = 0; i < q.record().count(); ++i)
                    all += q.value(i).toString() + QLatin1Char('|');
                all += QLatin1Char('\n');
            }
        }
        return all;
    }

    // The messages of the message center, newest first.
    QString messages() const
    {
        return diag.messageCenter() ? diag.messageCenter()->Message() : QString();
    }
    QString messageTitle() const
    {
        return diag.messageCenter() ? diag.messageCenter()->Title : QString();
    }

    QTemporaryDir dir;
    Diagnostics diag;
    StorePrompter prompter;
    AppState app;
    std::unique_ptr<RecipeDatabase> db;
};

} // namespace zestrel::test
