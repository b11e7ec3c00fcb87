// Importing received recipes (transfer texts from the storage box) into the own
// recipe database as new recipes.
#pragma once

#include "store/RecipeDatabase.h"

#include <QString>
#include <QStringList>
#include <optional>

namespace zestrel
{

// What the import needs of the storage box. Positions count from 1; 0 means none.
class RecipeBox
{
  public:
    virtual ~RecipeBox() = default;
    virtual int StoredCount() const = 0;
    virtual int StoredPosition() const = 0;
    virtual QString StoredText(int position) const = 0;
    // Makes the entry at `position` the current one.
    virtual void ShowStored(int position) = 0;
    // Removes the current entry: the next one moves up when the first was removed,
    // otherwise the previous one becomes current (0 when none is left).
    virtual void RemoveStoredRecipe() = 0;
};

// A plain list with the storage box's rules, for callers without a box (and tests).
class RecipeList : public RecipeBox
{
  public:
    QStringList texts;
    int position = 0;

    int StoredCount() const override { return int(texts.size()); }
    int StoredPosition() const override { return position; }
    QString StoredText(int p) const override { return texts.value(p - 1); }
    void ShowStored(int p) override { position = p; }
    void RemoveStoredRecipe() override;
};

// The largest id plus one, read inside the running transaction. An empty RECIPE table
// gives FirstNewRecipeId, so an empty cookbook can still receive recipes.
std::optional<qint64> NextRecipeId(RecipeDatabase &db, DbError *error = nullptr);

struct ImportOutcome {
    bool imported = false;
    qint64 id = 0;
    QString title;
    DbError error; // why it failed
};

// Writes one recipe with its ingredient and direction rows in one transaction: either
// all rows are stored or none. No messages; the storage box is not touched.
ImportOutcome WriteRecipe(RecipeDatabase &db, const QString &text);

// WriteRecipe with the messages, removing the current storage-box entry on success.
bool ImportRecipe(RecipeDatabase &db, RecipeBox &box, const QString &text);

// The "&Import" button: selectedTab 0 browse, 1 search, anything else has no preview;
// previewText is the text of that tab's preview box.
void cmdImport(RecipeDatabase &db, RecipeBox &box, int selectedTab, const QString &previewText);

struct ImportAllReport {
    bool ran = false; // false when refused or not confirmed
    int imported = 0;
    int failed = 0;
};

// The "Import &All" button. Each stored recipe is tried once; the ones that fail stay
// in the box and the closing message says how many were imported and why others were not.
ImportAllReport cmdImportAll(RecipeDatabase &db, RecipeBox &box);

} // namespace zestrel
