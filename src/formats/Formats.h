// Recipe files in and out: MealMaster, schema.org Recipe JSON-LD (in .json files and in
// web pages) and Cooklang. Readers turn bytes into Recipe values and say what they could
// not read with the file and line; writers turn Recipe values into bytes the matching
// reader reads back to the same recipes. No database, no widgets.
#pragma once

#include "cookbook/Recipe.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace zestrel::formats
{

// Files larger than this are refused before they are read.
inline constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;
// JSON nested deeper than this (objects and arrays together) is refused.
inline constexpr int kMaxJsonDepth = 64;

// Something a reader could not read: the file, the 1-based line (0 when the whole file
// or page is at fault) and what is wrong.
struct ReadIssue {
    QString file;
    int line = 0;
    QString message;

    bool operator==(const ReadIssue &) const = default;
};

struct ReadResult {
    QList<cookbook::Recipe> recipes;
    QList<int> recipeLines; // the first line of each recipe, parallel to `recipes`
    QList<ReadIssue> errors;
};

enum class Format { MealMaster, JsonLd, Html, Cooklang, Unknown };

// Decides by the file name's extension first, then by the first bytes of the file.
Format DetectFormat(const QString &fileName, const QByteArray &head);
// "MealMaster", "JSON-LD", "HTML", "Cooklang", "unknown"
QString FormatName(Format format);

// MealMaster: many recipes a file, text between them ignored; UTF-8, or code page 437
// when the bytes are not valid UTF-8.
ReadResult ReadMealMaster(const QByteArray &bytes, const QString &fileName);
// The one-column layout, every line within 80 columns, UTF-8.
QByteArray WriteMealMaster(const QList<cookbook::Recipe> &recipes);

// schema.org Recipe data from a JSON document or from an HTML page's ld+json blocks
// (decided by the bytes). `pageUrl` becomes the source of a recipe without an author.
ReadResult ReadJsonLd(const QByteArray &bytes, const QString &fileName,
                      const QString &pageUrl = {});
// One recipe: a Recipe object; more: an array of them.
QByteArray WriteJsonLd(const QList<cookbook::Recipe> &recipes);

// Cooklang: one recipe a file, titled by the "title" metadata or else the file's name.
ReadResult ReadCooklang(const QByteArray &bytes, const QString &fileName);
QByteArray WriteCooklang(const cookbook::Recipe &recipe);

// Detects the format of bytes already in memory and reads them with its reader.
ReadResult ReadBytes(const QByteArray &bytes, const QString &fileName);
// Reads a file from disk: refuses one over kMaxFileBytes, detects, dispatches.
ReadResult ReadFile(const QString &path);

// Splits one ingredient line into amount, measure and ingredient:
//   "1 1/2 cups flour" -> "1 1/2" | "cup" | "flour"
//   "½ tsp salt"       -> "½" | "tsp" | "salt"
//   "2-3 cloves garlic"-> "2-3" | "clove" | "garlic"
//   "salt to taste"    -> "" | "" | "salt to taste"
cookbook::Ingredient ParseIngredientLine(const QString &line);

// An ISO 8601 duration as shown to a cook: "PT1H30M" -> "1 hr 30 min". Text that is not
// such a duration comes back as it is (trimmed).
QString DurationText(const QString &iso8601);
// The reverse, for writers: "1 hr 30 min" -> "PT1H30M"; empty when the text is no duration.
QString IsoDuration(const QString &text);

} // namespace zestrel::formats
