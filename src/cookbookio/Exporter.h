// Recipes out of the cookbook: the selected ones, a category or all, as
// MealMaster, schema.org JSON-LD, Cooklang or a PDF cookbook, each scaled and
// in the measures asked for. The stored recipes are read, never changed.
#pragma once

#include "cookbook/PdfCookbook.h"
#include "cookbook/Recipe.h"
#include "cookbook/Scaling.h"

#include <QList>
#include <QString>
#include <optional>

namespace zestrel::cookbook
{

class Cookbook;

enum class ExportFormat { MealMaster, JsonLd, Cooklang, Pdf };

// "mmf", "jsonld", "cook", "pdf" (as the command line names them) and back.
std::optional<ExportFormat> ExportFormatNamed(const QString &name);
QString ExportFormatKey(ExportFormat format);
// "MealMaster", "JSON-LD", "Cooklang", "PDF cookbook"
QString ExportFormatTitle(ExportFormat format);
// The file name ending: "mmf", "json", "cook", "pdf".
QString ExportExtension(ExportFormat format);

// Which recipes: the ids when there are any, otherwise the category when one is
// named (matching any of a recipe's comma-separated categories, regardless of
// case), otherwise every recipe.
struct ExportSelection {
    QList<qint64> ids;
    QString category;
};

// The recipes of a selection in the cookbook's list order (ids in the order
// given); an id that is not there is an error.
std::optional<QList<Recipe>> SelectRecipes(Cookbook &cookbook, const ExportSelection &selection,
                                           QString *error = nullptr);

struct ExportOptions {
    ExportFormat format = ExportFormat::MealMaster;
    Presentation presentation;
    QString title; // the PDF cookbook's title
};

// Writes `recipes` to `path`: one file, except Cooklang with more than one
// recipe, which makes `path` a folder of one .cook file a recipe (named by
// title). A file is written whole or not at all.
bool ExportRecipes(const QList<Recipe> &recipes, const QString &path, const ExportOptions &options,
                   QString *error = nullptr, const PdfCookbook::Progress &progress = {});

// A file name for a recipe title: letters, digits, spaces and "-" kept, at
// most 80.
QString FileNameFor(const QString &title);

} // namespace zestrel::cookbook
