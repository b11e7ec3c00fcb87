// The member's own recipe database (cookbook.db beside the recipe manager's
// cookbook.ini): opening it, the private-recipe rule, queries and closing.
// The schema belongs to the recipe manager; nothing here creates or alters it.
#pragma once

#include "app/AppState.h"
#include "config/Notices.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>
#include <memory>
#include <optional>

namespace zestrel
{

class AnswerCatalogue;

// The name of the second place that offers the recipe manager (its address and the
// missing-database notice are in config/Notices.h).
inline constexpr const char *kDownloadSiteName = "Recipe Downloads";

// cookbook.db in the folder of the given cookbook.ini; empty when there is no path.
QString RecipeDatabasePath(const QString &cookbookIniPath);

// The first id for recipes new to this member: MaxRecipeID as the recipe manager
// writes it, read as a whole number (anything else, or a value too large to add one
// to, counts as 0), plus one, as decimal text.
QString FirstNewRecipeIdFrom(const QString &maxRecipeId);
// The same from MaxRecipeID of [Misc] in cookbook.ini ("1" when missing).
QString ReadFirstNewRecipeId(const QString &cookbookIniPath);

// A database failure as the member is told about it.
struct DbError {
    qint64 number = 0;
    QString source;
    QString description;
};
DbError DbErrorOf(const QSqlError &error);

class RecipeDatabase
{
  public:
    explicit RecipeDatabase(AppState &app);
    ~RecipeDatabase();
    RecipeDatabase(const RecipeDatabase &) = delete;
    RecipeDatabase &operator=(const RecipeDatabase &) = delete;

    AppState &app;

    // Opens cookbook.db beside app.CookbookIniPath and sets app.NoDatabase. A missing or
    // unreadable file gives the one-time "DB Not Present" notice.
    void OpenRecipeDatabase();
    // True when at most a tenth of the recipes are private; otherwise tells the member
    // why (modal box) and returns false. Start-up sets IgnorePrivate from the result.
    bool CheckPrivateRecipes();
    // Runs one SELECT with bound values; on failure shows "DB ERROR" and returns nothing.
    std::optional<QSqlQuery> RunQuery(const QString &sql, const QVariantList &values = {});
    // Closes the connection; failures ignored, also when it was never opened.
    void CloseRecipeDatabase();

    // The connection (`RecipeDb`); it exists also when opening failed, but is then closed.
    QSqlDatabase RecipeDb() const;
    bool IsOpen() const;
    // False only for an open database whose RECIPE table has no private column (made by a
    // recipe manager older than 2.7): then nothing is private and the answers may not name
    // the column. In every other case the answers leave out the private recipes.
    bool HasPrivateColumn() const { return privateColumn_; }
    // Prepares and executes one statement with bound values on RecipeDb, forward only.
    // No message on failure: callers decide (the answers fall back to their texts).
    std::optional<QSqlQuery> Execute(const QString &sql, const QVariantList &values = {},
                                     QSqlError *error = nullptr);

    // Answers that many members ask for alike (the category list of a type) are kept
    // for a moment: a burst of requests then costs one query, and a change made in the
    // recipe manager shows within AnswerCacheMs.
    static constexpr qint64 AnswerCacheMs = 1000;
    static constexpr qsizetype AnswerCacheEntries = 64;
    std::optional<QString> CachedAnswer(const QString &key) const;
    void RememberAnswer(const QString &key, const QString &answer);
    // After a write through this connection (an import) nothing kept is used again.
    void ForgetAnswers() { answers_.clear(); }
    // The answers' in-memory catalogue of this cookbook (store/AnswerCatalogue.h).
    AnswerCatalogue &Catalogue();

  private:
    QString connectionName_;
    bool privateColumn_ = true;
    struct Kept {
        QString answer;
        qint64 at;
    };
    QHash<QString, Kept> answers_;
    QElapsedTimer clock_;
    std::unique_ptr<AnswerCatalogue> catalogue_;
};

} // namespace zestrel
