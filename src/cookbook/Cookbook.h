// The member's own cookbook as the recipe manager keeps it: cookbook.db (RECIPE,
// INGREDIENTS, DIRECTIONS) beside cookbook.ini in one folder. Lists, loads, saves
// and deletes whole recipes; every write is one short transaction, so a client
// reading the same file meanwhile sees either the old recipe or the new one.
#pragma once

#include "cookbook/Recipe.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

namespace zestrel::cookbook
{

// Bounds of what one recipe may hold, so that a recipe stays a reasonable message.
struct Limits {
    static constexpr int Title = 200;
    static constexpr int Short = 60;   // type, servings, prep and cook time, rating
    static constexpr int Line = 250;   // category, cuisine, source, one ingredient field
    static constexpr int Text = 20000; // notes, misc, one direction step
    static constexpr int Rows = 500;   // ingredient rows, direction steps
};

// Why a recipe cannot be saved: `field` names the editor field ("title", "notes",
// "ingredient 3", "step 2"), `message` says it to the member.
struct Problem {
    QString field;
    QString message;
};

// The checks made before anything is written. A text holding a separator's control
// characters, "^" or a frame marker would break the recipe text other members
// receive, so it is refused rather than changed.
std::optional<Problem> Validate(const Recipe &recipe);

// The same recipe without the ingredient rows and direction steps that hold nothing,
// as the editor leaves them when a row was added and not filled.
Recipe WithoutEmptyRows(Recipe recipe);

// One line of the recipe list: what the list shows and what its filter matches.
struct RecipeEntry {
    qint64 id = 0;
    QString type;
    QString title;
    QString category;
    bool isPrivate = false;
    // Title, category and ingredients, case-folded, one a line: what the filter searches.
    QString searchText;
};

struct RecipeFilter {
    QString text; // found in the title, the category or an ingredient, regardless of case
    QString type; // "F", "D", "O", or empty for every type
};

bool Matches(const RecipeEntry &entry, const RecipeFilter &filter);
// The order of the lists other members are answered with: title without regard to
// case, then id.
bool ListsBefore(const RecipeEntry &a, const RecipeEntry &b);

class Cookbook
{
  public:
    Cookbook();
    ~Cookbook();
    Cookbook(const Cookbook &) = delete;
    Cookbook &operator=(const Cookbook &) = delete;

    // How long a write waits for another program (the client) that holds the file.
    static constexpr int DefaultBusyTimeoutMs = 2000;
    void SetBusyTimeout(int ms) { busyTimeoutMs_ = ms; }

    static QString DatabasePath(const QString &folder);
    static QString IniPath(const QString &folder);
    // Whether FOLDER holds a cookbook.db.
    static bool Exists(const QString &folder);

    // Opens FOLDER/cookbook.db; a missing file is not created (Create does that).
    bool Open(const QString &folder, QString *error = nullptr);
    // Makes the cookbook (the schema of `zestrel-cookbook create`) and opens it.
    bool Create(const QString &folder, QString *error = nullptr);
    void Close();
    bool IsOpen() const;
    QString Folder() const { return folder_; }
    QSqlDatabase Database() const;

    // False for a cookbook made by a recipe manager older than 2.7: nothing in it can
    // be private.
    bool HasPrivateColumn() const { return privateColumn_; }
    // MaxRecipeID + 1 from cookbook.ini, read afresh: the ids below it are the recipes
    // shipped with the recipe manager.
    qint64 FirstNewRecipeId() const;
    // The id the next new recipe gets: above every id in use, never below
    // FirstNewRecipeId, so the member's own recipes are offered also to members who
    // browse only those.
    std::optional<qint64> NewRecipeId(QString *error = nullptr);

    // Every recipe in list order.
    std::optional<QList<RecipeEntry>> Entries(QString *error = nullptr);
    std::optional<RecipeEntry> Entry(qint64 id, QString *error = nullptr);
    std::optional<QList<RecipeEntry>> List(const RecipeFilter &filter, QString *error = nullptr);
    std::optional<int> Count(QString *error = nullptr);
    // Every category named (combinations split at commas), without regard to case, sorted.
    QStringList Categories();

    // Nothing when the recipe is not there (`error` stays empty) or cannot be read.
    std::optional<Recipe> Load(qint64 id, QString *error = nullptr);
    // Inserts a recipe with id 0 under a new id, or replaces the one with its id; the id,
    // and the rows without anything in them dropped, are written back into `recipe`.
    // Either every row is stored or none.
    bool Save(Recipe &recipe, QString *error = nullptr);
    // Many recipes in one transaction (an import): all of them or none.
    bool SaveMany(QList<Recipe> &recipes, QString *error = nullptr);
    // The recipe's rows in all three tables.
    bool Delete(qint64 id, QString *error = nullptr);
    bool SetPrivate(qint64 id, bool isPrivate, QString *error = nullptr);

  private:
    bool Begin(QString *error);
    bool Finish(bool ok, QString *error);
    bool Write(Recipe &recipe, qint64 &nextId, QString *error);
    QString Explain(const QString &what, const class QSqlError &e) const;

    QString connectionName_;
    QString folder_;
    int busyTimeoutMs_ = DefaultBusyTimeoutMs;
    bool privateColumn_ = true;
};

} // namespace zestrel::cookbook
