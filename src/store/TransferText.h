// The text form of one whole recipe as it travels between members and sits in
// the storage box: header, ingredient and direction sections, and optionally the
// window section, separated by two ListSep in a row.
#pragma once

#include "store/RecipeDatabase.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace zestrel
{

// Two ListSep in a row: between the sections of a recipe text.
QString SectionSep(const AppState &app);

// Stands for an empty ingredient or direction section.
inline constexpr const char *kNoneItem = "<#NONE#>";

// The text of a recipe given as values, as RecipeToText builds it from the database:
// `header` holds the ten header fields (type, title, category, servings, prep_time,
// cook_time, notes, source, cuisine, misc), or nothing for a recipe that does not exist;
// each ingredient item holds amount, measure, ingredient and cabinet, each direction
// item step and direction. An empty section gets its "<#NONE#>" placeholder.
QString BuildTransferText(const std::optional<QStringList> &header,
                          const QList<QStringList> &ingredients,
                          const QList<QStringList> &directions, const AppState &app);

// The recipe's text without the window section. Nothing when a query fails ("DB ERROR"
// is shown then). An id that is not a whole number, or has no RECIPE row, gives the
// text with an empty header; `found` tells which. `shared` tells whether the recipe may be
// offered to other members: found and not marked private.
std::optional<QString> RecipeToText(RecipeDatabase &db, const QString &id, bool *found = nullptr,
                                    bool *shared = nullptr);
// The text followed by the window section "0" (browse preview) or "1" (search preview).
std::optional<QString> BrowsePreviewText(RecipeDatabase &db, const QString &id);
std::optional<QString> SearchPreviewText(RecipeDatabase &db, const QString &id);

// One ingredient or direction item: its position in the section (from 0) and its fields.
struct TransferItem {
    qsizetype position = 0;
    QStringList fields;
    QString field(qsizetype i) const { return fields.value(i); }
};

// A recipe text read back. Every reader (preview, print, import) uses this, so they
// all cut the text the same way. Nothing is validated here: each reader checks the
// fields it needs.
struct TransferRecipe {
    QStringList sections; // the text split at the section separator
    QStringList header;   // section 0 split at FieldSep: type, title, category, ...
    // Items of sections 1 and 2 whose first field is not "<#NONE#>".
    QList<TransferItem> ingredients;
    QList<TransferItem> directions;

    bool hasIngredientSection() const { return sections.size() > 1; }
    bool hasDirectionSection() const { return sections.size() > 2; }
    bool hasWindow() const { return sections.size() > 3; }
    QString window() const { return sections.value(3); }
    // Header field i (0 type, 1 title, 2 category, 3 servings, 4 prep_time, 5 cook_time,
    // 6 notes, 7 source, 8 cuisine, 9 misc); empty when the header lacks it.
    QString headerField(qsizetype i) const { return header.value(i); }
    bool hasHeaderField(qsizetype i) const { return i < header.size(); }
};

TransferRecipe ReadTransferText(const QString &text, const AppState &app);

} // namespace zestrel
