// Reading a recipe id from a node text and laying out one recipe text for the
// preview boxes. Pure text rules; the storage box shows the result.
#pragma once

#include "app/AppState.h"

#include <QString>
#include <optional>

namespace zestrel
{

// The id in "title (id)": the text after the last "(" up to, not including, the
// last character, blanks trimmed. Empty when the text has no "(".
QString RecipeIdFromText(const QString &text);

// The formatted text `ViewRecipe` shows (lines ended by CR LF). Nothing when the
// text cannot be shown: an ingredient item with fewer than three fields, a direction
// item with fewer than two, no window section, or a window number beyond 16 bits.
std::optional<QString> FormatRecipe(const QString &recipe, const AppState &app);

// The preview boxes' font: Courier New 8.25 point, tab stops every eight columns.
inline constexpr const char *kPreviewFontFamily = "Courier New";
inline constexpr double kPreviewFontPoints = 8.25;
inline constexpr int kPreviewTabColumns = 8;

} // namespace zestrel
