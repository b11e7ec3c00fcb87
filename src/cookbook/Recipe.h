// One recipe of the member's own cookbook as a value: every RECIPE column, its
// ingredient rows and its direction steps, in order. The Cookbook store reads and
// writes it; the file formats read and write it; nothing here knows a database.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace zestrel::cookbook
{

// The RECIPE.type codes the client browses by.
inline constexpr const char *kTypeFood = "F";
inline constexpr const char *kTypeDrink = "D";
inline constexpr const char *kTypeOther = "O";

// One INGREDIENTS row. A row with only `ingredient` set and the other fields empty is
// how a section heading inside the ingredient list is kept ("For the sauce:").
struct Ingredient {
    QString amount;     // "1 1/2", "2-3", "" for "salt to taste"
    QString measure;    // "cup", "tbsp", "clove", ""
    QString ingredient; // "flour", "salt to taste"
    QString cabinet;    // the manager's pantry flag column, kept as stored

    bool operator==(const Ingredient &) const = default;
};

struct Recipe {
    qint64 id = 0; // 0 for a recipe not saved yet
    QString type = QString::fromLatin1(kTypeFood);
    QString title;
    QString category;
    QString servings;
    QString prepTime;
    QString cookTime;
    QString notes;
    QString rating;
    QString source;
    QString cuisine;
    QString misc;
    bool isPrivate = false;
    QList<Ingredient> ingredients;
    QStringList directions; // one step a string, in order

    bool operator==(const Recipe &) const = default;
};

// "Food", "Drink" or "Other" for a type code; other codes are shown as stored.
QString TypeName(const QString &type);

} // namespace zestrel::cookbook
