#include "store/RecipeDatabase.h"
#include "app/Text.h"

#include "config/Ini.h"
#include "store/AnswerCatalogue.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlRecord>
#include <QUrl>

#include <limits>

namespace zestrel
{

namespace
{

// Several databases may be open in one process (tests, the benchmark), so every
// instance gets a connection name of its own.
QString NewConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("zestrel-cookbook-%1").arg(counter.fetchAndAddRelaxed(1));
}

// Whether RECIPE has a column of that name; a table that cannot be read counts as having it.
bool HasColumn(const QSqlDatabase &db, const QString &name)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA table_info(RECIPE)")))
        return true;
    bool anyColumn = false;
    while (q.next()) {
        anyColumn = true;
        if (q.value(1).toString().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return !anyColumn;
}

bool IsMissingColumn(const QSqlError &error)
{
    return error.databaseText().contains(QLatin1String("no such column"), Qt::CaseInsensitive);
}

} // namespace

QString RecipeDatabasePath(const QString &cookbookIniPath)
{
    if (cookbookIniPath.trimmed().isEmpty())
        return {};
    return QFileInfo(cookbookIniPath).dir().filePath(QStringLiteral("cookbook.db"));
}

QString FirstNewRecipeIdFrom(const QString &maxRecipeId)
{
    // A fractional part is dropped, as recipe ids are whole numbers.
    return QString::number(LeadingNumber(maxRecipeId) + 1);
}

QString ReadFirstNewRecipeId(const QString &cookbookIniPath)
{
    return FirstNewRecipeIdFrom(
        ReadIniKey(cookbookIniPath, QStringLiteral("Misc"), QStringLiteral("MaxRecipeID")));
}

DbError DbErrorOf(const QSqlError &error)
{
    DbError e;
    bool ok = false;
    e.number = error.nativeErrorCode().toLongLong(&ok);
    if (!ok)
        e.number = qint64(error.type());
    e.source = QStringLiteral("QSQLITE");
    e.description = error.databaseText().isEmpty() ? error.driverText() : error.databaseText();
    if (e.description.isEmpty())
        e.description = QStringLiteral("The recipe database is not open.");
    return e;
}

RecipeDatabase::RecipeDatabase(AppState &app_) : app(app_), connectionName_(NewConnectionName())
{
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
    clock_.start();
}

std::optional<QString> RecipeDatabase::CachedAnswer(const QString &key) const
{
    const auto it = answers_.constFind(key);
    if (it == answers_.cend() || clock_.elapsed() - it->at > AnswerCacheMs)
        return std::nullopt;
    return it->answer;
}

void RecipeDatabase::RememberAnswer(const QString &key, const QString &answer)
{
    // The key holds text from the network: the table stays small whatever arrives.
    if (answers_.size() >= AnswerCacheEntries && !answers_.contains(key))
        answers_.clear();
    answers_.insert(key, Kept{answer, clock_.elapsed()});
}

RecipeDatabase::~RecipeDatabase()
{
    catalogue_.reset(); // stops a build under way
    CloseRecipeDatabase();
    QSqlDatabase::removeDatabase(connectionName_);
}

AnswerCatalogue &RecipeDatabase::Catalogue()
{
    if (!catalogue_)
        catalogue_ = std::make_unique<AnswerCatalogue>(*this);
    return *catalogue_;
}

QSqlDatabase RecipeDatabase::RecipeDb() const
{
    return QSqlDatabase::database(connectionName_, false);
}

bool RecipeDatabase::IsOpen() const
{
    return RecipeDb().isOpen();
}

void RecipeDatabase::OpenRecipeDatabase()
{
    const QString path = RecipeDatabasePath(app.CookbookIniPath);
    bool opened = false;
    // SQLite would quietly create a missing file; the database belongs to the recipe
    // manager, so a missing file means there is no database.
    if (!path.isEmpty() && QFileInfo(path).isFile()) {
        QSqlDatabase db = RecipeDb();
        db.setDatabaseName(
            QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded) +
            QStringLiteral("?mode=rw"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
        if (db.open()) {
            // A file that is not a database opens fine and fails on first use.
            QSqlQuery probe(db);
            opened = probe.exec(QStringLiteral("PRAGMA schema_version"));
            if (!opened)
                db.close();
            else // a page cache of 16 MB keeps a large cookbook's browse answers in memory
                probe.exec(QStringLiteral("PRAGMA cache_size = -16384"));
        }
    }
    if (opened) {
        app.NoDatabase = false;
        privateColumn_ = HasColumn(RecipeDb(), QStringLiteral("private"));
        return;
    }
    if (ReadIniKey(app.SettingsFilePath, QStringLiteral("FLAG"), QStringLiteral("NODBWARNING")) !=
        QLatin1String("YES")) {
        app.diag.ShowMessage(
            QStringLiteral("There is no valid DSN for ZESTREL to save recipes to!") + kCrLf +
                kCrLf + MissingDatabaseNotice(app.MakerWebAddress),
            QStringLiteral("DB Not Present"));
        WriteIniKey(app.SettingsFilePath, QStringLiteral("FLAG"),
                    QStringLiteral("NODBWARNING=YES"));
    }
    app.NoDatabase = true;
}

bool RecipeDatabase::CheckPrivateRecipes()
{
    QSqlError error;
    qint64 total = 0, privateCount = 0;
    auto count = [&](const QString &sql, qint64 &out) {
        auto q = Execute(sql, {}, &error);
        if (!q || !q->next())
            return false;
        out = q->value(0).toString().toLongLong();
        return true;
    };
    if (!count(QStringLiteral("SELECT COUNT(*) FROM RECIPE"), total) ||
        !count(QStringLiteral("SELECT COUNT(*) FROM RECIPE WHERE private"), privateCount)) {
        if (IsMissingColumn(error)) {
            app.prompter.MessageBox(
                QStringLiteral("It appears that your database is a previous version!  Please "
                               "download and apply the latest patch for CKF to get the CKF databse "
                               "updated to version 2.7") +
                    kCrLf + kCrLf +
                    QStringLiteral("CKF 2.7 allows users to specify which recipes are shared and "
                                   "which are private."),
                QStringLiteral("Previous Database"), PromptIcon::Information);
        } else {
            const DbError e = DbErrorOf(error);
            app.prompter.MessageBox(QString::number(e.number) + QStringLiteral(": ") + e.source +
                                        kCrLf + kCrLf + e.description,
                                    QStringLiteral("Zestrel"), PromptIcon::None);
        }
        return false;
    }
    if (double(total) * 0.1 >= double(privateCount))
        return true;
    const double percent = double(privateCount) / double(total) * 100.0;
    app.prompter.MessageBox(
        QStringLiteral("You MUST not mark more than 10% of your recipes as private to be able to "
                       "log on to the Zestrel server.") +
            kCrLf + kCrLf + QStringLiteral("You have marked ") + QString::number(privateCount) +
            QStringLiteral(" / ") + QString::number(total) + QStringLiteral(", or ") +
            QString::number(percent, 'g', 15) + QStringLiteral("% of your recipes as private.") +
            kCrLf + kCrLf +
            QStringLiteral("Zestrel promotes the sharing of recipes.  If you are not willing to "
                           "share your recipes with others, you will not be permitted to use this "
                           "program!"),
        QStringLiteral("Too Many Private Recipes"), PromptIcon::Information);
    return false;
}

std::optional<QSqlQuery> RecipeDatabase::Execute(const QString &sql, const QVariantList &values,
                                                 QSqlError *error)
{
    QSqlDatabase db = RecipeDb();
    if (!db.isOpen()) {
        if (error)
            *error = QSqlError(QStringLiteral("The recipe database is not open."), {},
                               QSqlError::ConnectionError);
        return std::nullopt;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    bool ok = query.prepare(sql);
    if (ok) {
        for (const QVariant &v : values)
            query.addBindValue(v);
        ok = query.exec();
    }
    if (!ok) {
        if (error)
            *error = query.lastError();
        return std::nullopt;
    }
    return query;
}

std::optional<QSqlQuery> RecipeDatabase::RunQuery(const QString &sql, const QVariantList &values)
{
    auto query = Execute(sql, values);
    if (!query)
        app.diag.ShowMessage(QStringLiteral("DB ERROR"), QString());
    return query;
}

void RecipeDatabase::CloseRecipeDatabase()
{
    QSqlDatabase db = RecipeDb();
    if (db.isValid() && db.isOpen())
        db.close();
}

} // namespace zestrel
