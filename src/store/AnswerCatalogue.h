// The answering side's catalogue of its own cookbook, held in memory: per type and
// category the recipes in answer order, and per recipe the upper-cased texts a search
// matches against. Browse answers and searches come from it; whole recipes still come
// from the database.
//
// The catalogue follows the database: before each answer a cheap look at the database's
// change counters (PRAGMA data_version for other connections, total_changes() for this
// one) says whether it is still current. A large cookbook is (re)built on a thread of its
// own; until then the database answers, as without a catalogue.
#pragma once

#include "app/AppState.h"

#include <QHash>
#include <QString>
#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zestrel
{

class RecipeDatabase;

// One consistent picture of the cookbook. Each answer returns nothing when it cannot
// promise the database's own answer (a text with LIKE wildcards, say): the caller then
// asks the database.
class CatalogueData
{
  public:
    std::optional<QString> ListCategories(const AppState &app, const QString &typeName,
                                          bool allRecipes) const;
    std::optional<QString> ListLetterGroups(const AppState &app, const QString &typeName,
                                            const QString &category, bool allRecipes) const;
    std::optional<QString> ListGroupRecipes(const AppState &app, const QString &typeName,
                                            const QString &category, const QString &group,
                                            bool allRecipes) const;
    std::optional<QString> SearchRecipes(const AppState &app, const QString &title,
                                         const QString &ingredient, bool allRecipes,
                                         const QString &category, qsizetype stopAfter) const;

    qsizetype RecipeCount() const { return qsizetype(ids.size()); }

    // Reads the whole cookbook on `connection` (one read transaction where possible).
    // Nothing when the data hold something the catalogue cannot answer for exactly
    // (declared collations, values that are neither text nor null where text is read),
    // or when `cancel` is set.
    static std::shared_ptr<CatalogueData> Build(const QString &connection, bool privateColumn,
                                                const std::atomic<bool> *cancel = nullptr);

    // Recipes in answer order (title without regard to case, then id).
    std::vector<qint64> ids;
    std::vector<QString> titles; // as stored (a null title reads as empty)
    std::vector<bool> titleNull, shared;
    std::vector<int> categoryOf;           // index into categories
    std::string foldedTitles, ingredients; // upper-cased; per recipe a slice
    std::vector<std::uint32_t> titleAt, ingredientAt;

    struct Category {
        QString text;
        bool null = false, blank = false;
        int group = 0; // categories equal without regard to case share a group
        int rank = 0;  // order: group, then as stored
        std::string folded;
    };
    std::vector<Category> categories;
    struct TypeCategory {
        int category = 0;
        qint64 maxId = 0;         // over every recipe, private or not
        std::vector<int> offered; // the recipes that are not private, in answer order
    };
    // Per type, its categories in rank order.
    QHash<QString, std::vector<TypeCategory>> types;

  private:
    std::vector<int> Rows(const QString &typeKey, const QString &category, bool allRecipes,
                          qint64 firstNew) const;
    mutable QHash<QString, QString> categoryLists_;
};

class AnswerCatalogue
{
  public:
    explicit AnswerCatalogue(RecipeDatabase &db);
    ~AnswerCatalogue();
    AnswerCatalogue(const AnswerCatalogue &) = delete;
    AnswerCatalogue &operator=(const AnswerCatalogue &) = delete;

    // Cookbooks of at least this many recipes are built off the caller's thread.
    qsizetype backgroundFrom = 20000;

    // The catalogue when it matches the database now; nothing while it is being built
    // (or when the database is closed or not suited).
    const CatalogueData *Current();
    // Waits at most ms for a build under way; true when the catalogue is current then.
    bool WaitUntilCurrent(int ms);
    // A write through this program's own connection happened.
    void Forget() { ++generation_; }
    // Off: every answer comes from the database.
    bool enabled = true;

  private:
    std::optional<bool> CountersChanged();
    void Start();
    void Collect(bool wait, int ms);

    RecipeDatabase &db_;
    qint64 dataVersion_ = -1, changes_ = -1;
    quint64 generation_ = 1;
    std::shared_ptr<CatalogueData> current_;
    quint64 currentGeneration_ = 0, failedGeneration_ = 0, pendingGeneration_ = 0;
    std::future<std::shared_ptr<CatalogueData>> pending_;
    std::atomic<bool> cancel_{false};
};

} // namespace zestrel
