#include "cookbook/Schema.h"

#include "config/Ini.h"

#include <QAtomicInteger>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>

namespace zestrel::cookbook
{

namespace
{

bool Exec(QSqlQuery &q, const QString &sql, QString *error)
{
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

} // namespace

bool CreateSchema(QSqlDatabase &db, QString *error, bool withPrivate)
{
    QSqlQuery q(db);
    // step is numeric so that ORDER BY step puts step 10 after step 9; a step text that
    // is not a number is still kept as text.
    return Exec(
               q,
               QStringLiteral("CREATE TABLE RECIPE (id INTEGER PRIMARY KEY, type TEXT, title TEXT, "
                              "category TEXT, servings TEXT, prep_time TEXT, cook_time TEXT, "
                              "notes TEXT, rating TEXT, source TEXT, cuisine TEXT, misc TEXT") +
                   (withPrivate ? QStringLiteral(", private BOOLEAN DEFAULT 0)")
                                : QStringLiteral(")")),
               error) &&
           Exec(q,
                QStringLiteral("CREATE TABLE INGREDIENTS (recipe_id INTEGER, ingred_id INTEGER, "
                               "amount TEXT, measure TEXT, ingredient TEXT, cabinet TEXT)"),
                error) &&
           Exec(q,
                QStringLiteral(
                    "CREATE TABLE DIRECTIONS (recipe_id INTEGER, step INTEGER, direction TEXT)"),
                error) &&
           // The recipe manager lists recipes by title and by type and category, and
           // looks a recipe's lines up by its id.
           Exec(q, QStringLiteral("CREATE INDEX recipe_title ON RECIPE (title)"), error) &&
           Exec(q, QStringLiteral("CREATE INDEX recipe_type_category ON RECIPE (type, category)"),
                error) &&
           Exec(q,
                QStringLiteral("CREATE INDEX ingredients_recipe ON INGREDIENTS (recipe_id, "
                               "ingred_id)"),
                error) &&
           Exec(q, QStringLiteral("CREATE INDEX directions_recipe ON DIRECTIONS (recipe_id, step)"),
                error);
}

bool CreateCookbook(const QString &folder, QString *error)
{
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create folder %1").arg(folder);
        return false;
    }
    {
        static QAtomicInteger<quint64> counter;
        const QString name = QStringLiteral("zestrel-schema-%1").arg(counter.fetchAndAddRelaxed(1));
        bool ok = true;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(QDir(folder).filePath(QStringLiteral("cookbook.db")));
            if (!db.open()) {
                if (error)
                    *error = db.lastError().text();
                ok = false;
            } else if (!db.tables().contains(QStringLiteral("RECIPE"), Qt::CaseInsensitive)) {
                // One transaction: one write to disk instead of one per table.
                db.transaction();
                ok = CreateSchema(db, error);
                if (ok)
                    ok = db.commit();
                else
                    db.rollback();
                if (!ok && error && error->isEmpty())
                    *error = db.lastError().text();
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
        if (!ok)
            return false;
    }
    const QString ini = QDir(folder).filePath(QStringLiteral("cookbook.ini"));
    if (ReadIniKey(ini, QStringLiteral("Misc"), QStringLiteral("MaxRecipeID")).isEmpty() &&
        !WriteIniKey(ini, QStringLiteral("Misc"), QStringLiteral("MaxRecipeID=0"), error))
        return false;
    return true;
}

} // namespace zestrel::cookbook
