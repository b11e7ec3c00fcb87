// Answering other members: the category, letter-group, recipe and search lists
// built from the own database, and the handlers for the requests that ask for them.
// Each handler takes the request (source key, payload) and returns the messages to
// send back, so the rules can be checked without a connection.
#pragma once

#include "store/RecipeDatabase.h"

#include <QList>
#include <QString>
#include <optional>

namespace zestrel
{

inline constexpr int kRecipesPerGroup = 25;
inline constexpr int kGroupLabelLength = 4;
// Search answers longer than this are cut at an item boundary (and announced by 900).
inline constexpr int kSearchAnswerLimit = 1000;

// One message to send: the source is always MyUserKey at the time of sending.
struct Reply {
    int code = 0;
    QString destination;
    QString payload;
    bool operator==(const Reply &) const = default;
};
using Replies = QList<Reply>;

// The lists. Also called directly by the browse tree for the member's own node.
QString ListCategories(RecipeDatabase &db, const QString &typeName, bool allRecipes);
QString ListLetterGroups(RecipeDatabase &db, const QString &typeName, const QString &category,
                         bool allRecipes);
QString ListGroupRecipes(RecipeDatabase &db, const QString &typeName, const QString &category,
                         const QString &group, bool allRecipes);
// stopAfter >= 0: stop reading rows once the list is longer than that many characters
// (the answer is cut there anyway); the first stopAfter characters are unchanged.
QString SearchRecipes(RecipeDatabase &db, const QString &title, const QString &ingredient,
                      bool allRecipes, const QString &category, qsizetype stopAfter = -1);

// The handlers: 111, 119, 113, 107, 108 and 109.
Replies AnswerCategories(RecipeDatabase &db, const QString &source, const QString &payload);
Replies AnswerLetterGroups(RecipeDatabase &db, const QString &source, const QString &payload);
Replies AnswerGroupRecipes(RecipeDatabase &db, const QString &source, const QString &payload);
Replies AnswerRecipe(RecipeDatabase &db, const QString &source, const QString &payload);
Replies AnswerSearch(RecipeDatabase &db, const QString &source, const QString &payload);
Replies AnswerProfile(const AppState &app, const QString &source);

} // namespace zestrel
