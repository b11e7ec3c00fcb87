// Bringing recipe files and pages into the cookbook in two steps: a plan first
// (one row a recipe read, or a row for what could not be read, each marked New,
// Duplicate or Error), then the rows the member ticked, saved in one
// transaction.
#pragma once

#include "cookbook/Recipe.h"
#include "formats/Formats.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <optional>

namespace zestrel::cookbook
{

class Cookbook;

// A recipe already in the cookbook, found by its fingerprint.
struct KnownRecipe {
    qint64 id = 0;
    QString title;
};
using KnownFingerprints = QHash<QByteArray, KnownRecipe>;

// The fingerprints of every recipe in the cookbook (the lowest id of each),
// read in two queries rather than a recipe at a time.
std::optional<KnownFingerprints> ReadFingerprints(Cookbook &cookbook, QString *error = nullptr);

// The recipes of the cookbook that share a fingerprint, a group each (two or more,
// lowest id first), groups in the order of their first recipe's title.
std::optional<QList<QList<KnownRecipe>>> DuplicateGroups(Cookbook &cookbook,
                                                         QString *error = nullptr);

struct ImportRow {
    enum class Status { New, Duplicate, Error };
    Status status = Status::New;
    Recipe recipe;   // empty for an error row
    QString file;    // the file or URL it came from
    int line = 0;    // its first line there (0: the whole file)
    QString message; // what is wrong (Error)
    // Duplicate: the recipe in the cookbook (id > 0), or an earlier row of this
    // import (id 0, `duplicateRow` its index).
    qint64 duplicateId = 0;
    int duplicateRow = -1;
    QString duplicateTitle;
    bool ticked = false;

    bool canImport() const { return status != Status::Error; }
    // "New", "Duplicate of "Title" (12)", "Error: file line 3: what is wrong"
    QString StatusText() const;
    // "file, line 3", or just the file
    QString Where() const;
};

// What one file or page gave: its name (the path or URL the member gave) and
// the reader's result.
struct ImportSource {
    QString name;
    formats::ReadResult result;
};

// The rows for what was read, in order: each recipe read is New (ticked), a
// Duplicate of a known recipe or of an earlier row (not ticked), or an Error
// when it cannot be saved as it is; each read error becomes an Error row.
QList<ImportRow> PlanImport(const QList<ImportSource> &sources, const KnownFingerprints &known);

struct ImportReport {
    bool ok = true;     // false when the transaction failed: then nothing was imported
    int imported = 0;   // recipes saved
    int duplicates = 0; // duplicate rows not imported
    int errors = 0;     // error rows
    int leftOut = 0;    // new rows the member did not tick
    QList<qint64> ids;  // the ids the imported recipes got, in row order
    QString failure;    // why the transaction failed

    // "Imported 12 recipes, skipped 3 duplicates, 1 error"
    QString Text() const;
};

// Saves the ticked rows that can be imported in one transaction (all or none)
// and counts the rest. `rows` stays as it is.
ImportReport ImportRows(Cookbook &cookbook, const QList<ImportRow> &rows);

} // namespace zestrel::cookbook
