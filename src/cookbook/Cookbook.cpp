#include "cookbook/Cookbook.h"

#include "cookbook/Schema.h"
#include "store/RecipeDatabase.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

#include <algorithm>
#include <limits>

namespace zestrel::cookbook
{

namespace
{

QString NewConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("zestrel-store-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString Text(const QVariant &v)
{
    return v.isNull() ? QString() : v.toString();
}

// What one text may not hold, with the words the member is told.
std::optional<QString> Refused(const QString &text)
{
    for (const QChar c : text) {
        // The separators are made of the control characters 0, 1 and 2.
        if (c.unicode() <= 2)
            return QStringLiteral("a control character (code %1)").arg(int(c.unicode()));
    }
    for (const char *marker : {"^", "*~B~*", "*~E~*"}) {
        if (text.contains(QLatin1String(marker)))
            return QStringLiteral("\"%1\"").arg(QLatin1String(marker));
    }
    return std::nullopt;
}

std::optional<Problem> CheckText(const QString &field, const QString &label, const QString &text,
                                 int limit)
{
    if (text.size() > limit)
        return Problem{field, QStringLiteral("%1 may hold at most %2 characters; it holds %3.")
                                  .arg(label)
                                  .arg(limit)
                                  .arg(text.size())};
    if (const auto what = Refused(text))
        return Problem{field,
                       QStringLiteral("%1 %2 %3, which would break the recipe as other "
                                      "members receive it.")
                           .arg(label,
                                label.endsWith(QLatin1String("notes")) ? QStringLiteral("hold")
                                                                       : QStringLiteral("holds"),
                                *what)};
    return std::nullopt;
}

bool Empty(const Ingredient &i)
{
    return i.amount.trimmed().isEmpty() && i.measure.trimmed().isEmpty() &&
           i.ingredient.trimmed().isEmpty() && i.cabinet.trimmed().isEmpty();
}

// SQLite's NOCASE: only A to Z fold.
char16_t Fold(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

int PrimaryCode(const QSqlError &e)
{
    bool ok = false;
    const int code = e.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : -1;
}

} // namespace

std::optional<Problem> Validate(const Recipe &r)
{
    if (r.title.trimmed().isEmpty())
        return Problem{QStringLiteral("title"), QStringLiteral("A recipe needs a title.")};
    if (r.type != QLatin1String(kTypeFood) && r.type != QLatin1String(kTypeDrink) &&
        r.type != QLatin1String(kTypeOther))
        return Problem{QStringLiteral("type"),
                       QStringLiteral("The type must be Food, Drink or Other.")};
    const struct {
        const char *field;
        const char *label;
        const QString &text;
        int limit;
    } fields[] = {
        {"title", "The title", r.title, Limits::Title},
        {"category", "The category", r.category, Limits::Line},
        {"cuisine", "The cuisine", r.cuisine, Limits::Line},
        {"servings", "Servings", r.servings, Limits::Short},
        {"prepTime", "The prep time", r.prepTime, Limits::Short},
        {"cookTime", "The cook time", r.cookTime, Limits::Short},
        {"rating", "The rating", r.rating, Limits::Short},
        {"source", "The source", r.source, Limits::Line},
        {"notes", "The notes", r.notes, Limits::Text},
        {"misc", "Misc", r.misc, Limits::Text},
    };
    for (const auto &f : fields) {
        if (auto p = CheckText(QLatin1String(f.field), QLatin1String(f.label), f.text, f.limit))
            return p;
    }
    if (r.ingredients.size() > Limits::Rows)
        return Problem{QStringLiteral("ingredients"),
                       QStringLiteral("A recipe may have at most %1 ingredients; this one has %2.")
                           .arg(Limits::Rows)
                           .arg(r.ingredients.size())};
    if (r.directions.size() > Limits::Rows)
        return Problem{QStringLiteral("directions"),
                       QStringLiteral("A recipe may have at most %1 steps; this one has %2.")
                           .arg(Limits::Rows)
                           .arg(r.directions.size())};
    for (qsizetype i = 0; i < r.ingredients.size(); ++i) {
        const Ingredient &ing = r.ingredients[i];
        const QString field = QStringLiteral("ingredient %1").arg(i + 1);
        const QString label = QStringLiteral("Ingredient %1").arg(i + 1);
        // Readers skip an ingredient whose amount is the empty-section placeholder.
        if (ing.amount == QLatin1String("<#NONE#>"))
            return Problem{field, label + QStringLiteral(" has the amount \"<#NONE#>\", which "
                                                         "other members would not see.")};
        for (const QString *text : {&ing.amount, &ing.measure, &ing.ingredient, &ing.cabinet}) {
            if (auto p = CheckText(field, label, *text, Limits::Line))
                return p;
        }
    }
    for (qsizetype i = 0; i < r.directions.size(); ++i) {
        if (auto p = CheckText(QStringLiteral("step %1").arg(i + 1),
                               QStringLiteral("Step %1").arg(i + 1), r.directions[i], Limits::Text))
            return p;
    }
    return std::nullopt;
}

Recipe WithoutEmptyRows(Recipe r)
{
    r.ingredients.removeIf(Empty);
    r.directions.removeIf([](const QString &s) { return s.trimmed().isEmpty(); });
    return r;
}

bool Matches(const RecipeEntry &entry, const RecipeFilter &filter)
{
    if (!filter.type.isEmpty() && entry.type != filter.type)
        return false;
    const QString needle = filter.text.trimmed().toCaseFolded();
    return needle.isEmpty() || entry.searchText.contains(needle);
}

bool ListsBefore(const RecipeEntry &a, const RecipeEntry &b)
{
    const qsizetype n = std::min(a.title.size(), b.title.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = Fold(a.title[i].unicode()), y = Fold(b.title[i].unicode());
        if (x != y)
            return x < y;
    }
    if (a.title.size() != b.title.size())
        return a.title.size() < b.title.size();
    return a.id < b.id;
}

Cookbook::Cookbook() : connectionName_(NewConnectionName())
{
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName_);
}

Cookbook::~Cookbook()
{
    Close();
    QSqlDatabase::removeDatabase(connectionName_);
}

QString Cookbook::DatabasePath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("cookbook.db"));
}

QString Cookbook::IniPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("cookbook.ini"));
}

bool Cookbook::Exists(const QString &folder)
{
    return QFileInfo(DatabasePath(folder)).isFile();
}

QSqlDatabase Cookbook::Database() const
{
    return QSqlDatabase::database(connectionName_, false);
}

bool Cookbook::IsOpen() const
{
    return Database().isOpen();
}

void Cookbook::Close()
{
    QSqlDatabase db = Database();
    if (db.isValid() && db.isOpen())
        db.close();
}

bool Cookbook::Open(const QString &folder, QString *error)
{
    Close();
    folder_ = QDir(folder).absolutePath();
    const QString path = DatabasePath(folder_);
    auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        Close();
        return false;
    };
    // SQLite would quietly make an empty file; a missing cookbook is the caller's to offer.
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("There is no cookbook in %1.").arg(folder_));
    QSqlDatabase db = Database();
    db.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                       QStringLiteral("?mode=rw"));
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs_));
    if (!db.open())
        return fail(Explain(QStringLiteral("Opening the cookbook"), db.lastError()));
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA table_info(RECIPE)")))
        return fail(Explain(QStringLiteral("Opening the cookbook"), q.lastError()));
    bool anyColumn = false;
    privateColumn_ = false;
    while (q.next()) {
        anyColumn = true;
        if (q.value(1).toString().compare(QLatin1String("private"), Qt::CaseInsensitive) == 0)
            privateColumn_ = true;
    }
    if (!anyColumn)
        return fail(QStringLiteral("%1 is not a cookbook: it has no RECIPE table.").arg(path));
    // With a write-ahead log the client reading the same file never waits for a save, nor
    // a save for the client (it stays in the file; a read-only cookbook keeps its journal).
    QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode = WAL"));
    return true;
}

bool Cookbook::Create(const QString &folder, QString *error)
{
    QString why;
    if (!CreateCookbook(folder, &why)) {
        if (error)
            *error = QStringLiteral("The cookbook cannot be created in %1: %2")
                         .arg(QDir(folder).absolutePath(), why);
        return false;
    }
    return Open(folder, error);
}

QString Cookbook::Explain(const QString &what, const QSqlError &e) const
{
    const QString detail = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    switch (PrimaryCode(e)) {
    case 5: // busy
    case 6: // locked
        return QStringLiteral("The cookbook is in use by another program, which kept it locked "
                              "for more than %1 seconds. Nothing was written; try again in a "
                              "moment.")
            .arg(busyTimeoutMs_ / 1000.0);
    case 3:  // permission
    case 8:  // read-only
    case 14: // cannot open (also the journal beside the file)
        return QStringLiteral("The cookbook in %1 cannot be written (%2). Nothing was written.")
            .arg(folder_, detail);
    case 13:
        return QStringLiteral("The disk is full (%1). Nothing was written.").arg(detail);
    default:
        return QStringLiteral("%1 failed: %2").arg(what, detail);
    }
}

qint64 Cookbook::FirstNewRecipeId() const
{
    return ReadFirstNewRecipeId(IniPath(folder_)).toLongLong();
}

std::optional<qint64> Cookbook::NewRecipeId(QString *error)
{
    QSqlQuery q(Database());
    if (!q.exec(QStringLiteral("SELECT MAX(id) FROM RECIPE")) || !q.next()) {
        if (error)
            *error = Explain(QStringLiteral("Finding a new id"), q.lastError());
        return std::nullopt;
    }
    const qint64 highest = q.value(0).isNull() ? 0 : q.value(0).toLongLong();
    if (highest == std::numeric_limits<qint64>::max()) {
        if (error)
            *error = QStringLiteral("The cookbook has no free recipe id left.");
        return std::nullopt;
    }
    return std::max(highest + 1, FirstNewRecipeId());
}

std::optional<QList<RecipeEntry>> Cookbook::Entries(QString *error)
{
    QSqlQuery q(Database());
    q.setForwardOnly(true);
    const QString sql =
        QStringLiteral("SELECT r.id, r.type, r.title, r.category, %1, (SELECT "
                       "group_concat(i.ingredient, char(10)) FROM INGREDIENTS i WHERE "
                       "i.recipe_id = r.id) FROM RECIPE r ORDER BY r.title COLLATE NOCASE, r.id")
            .arg(privateColumn_ ? QStringLiteral("COALESCE(r.private, 0)") : QStringLiteral("0"));
    if (!q.exec(sql)) {
        if (error)
            *error = Explain(QStringLiteral("Reading the recipes"), q.lastError());
        return std::nullopt;
    }
    QList<RecipeEntry> entries;
    while (q.next()) {
        RecipeEntry e{q.value(0).toLongLong(), Text(q.value(1)),        Text(q.value(2)),
                      Text(q.value(3)),        q.value(4).toInt() != 0, {}};
        e.searchText =
            (e.title + QLatin1Char('\n') + e.category + QLatin1Char('\n') + Text(q.value(5)))
                .toCaseFolded();
        entries.append(std::move(e));
    }
    return entries;
}

std::optional<RecipeEntry> Cookbook::Entry(qint64 id, QString *error)
{
    const std::optional<Recipe> r = Load(id, error);
    if (!r)
        return std::nullopt;
    RecipeEntry e{r->id, r->type, r->title, r->category, r->isPrivate, {}};
    QStringList names;
    for (const Ingredient &i : r->ingredients)
        names << i.ingredient;
    e.searchText = (e.title + QLatin1Char('\n') + e.category + QLatin1Char('\n') +
                    names.join(QLatin1Char('\n')))
                       .toCaseFolded();
    return e;
}

std::optional<QList<RecipeEntry>> Cookbook::List(const RecipeFilter &filter, QString *error)
{
    auto entries = Entries(error);
    if (entries)
        entries->removeIf([&](const RecipeEntry &e) { return !Matches(e, filter); });
    return entries;
}

std::optional<int> Cookbook::Count(QString *error)
{
    QSqlQuery q(Database());
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM RECIPE")) || !q.next()) {
        if (error)
            *error = Explain(QStringLiteral("Counting the recipes"), q.lastError());
        return std::nullopt;
    }
    return q.value(0).toInt();
}

QStringList Cookbook::Categories()
{
    QSqlQuery q(Database());
    QStringList all;
    QSet<QString> seen;
    if (q.exec(QStringLiteral("SELECT DISTINCT category FROM RECIPE"))) {
        while (q.next()) {
            for (const QString &part : Text(q.value(0)).split(QLatin1Char(','))) {
                const QString name = part.trimmed();
                if (!name.isEmpty() && !seen.contains(name.toCaseFolded())) {
                    seen.insert(name.toCaseFolded());
                    all << name;
                }
            }
        }
    }
    std::sort(all.begin(), all.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return all;
}

std::optional<Recipe> Cookbook::Load(qint64 id, QString *error)
{
    if (error)
        error->clear();
    QSqlDatabase db = Database();
    QSqlQuery q(db);
    auto failed = [&](const QSqlQuery &query) -> std::optional<Recipe> {
        if (error)
            *error = Explain(QStringLiteral("Reading the recipe"), query.lastError());
        return std::nullopt;
    };
    q.prepare(QStringLiteral("SELECT * FROM RECIPE WHERE id = ?"));
    q.addBindValue(id);
    if (!q.exec())
        return failed(q);
    if (!q.next())
        return std::nullopt;
    Recipe r;
    r.id = id;
    auto column = [&](const char *name) { return Text(q.value(QLatin1String(name))); };
    r.type = column("type");
    r.title = column("title");
    r.category = column("category");
    r.servings = column("servings");
    r.prepTime = column("prep_time");
    r.cookTime = column("cook_time");
    r.notes = column("notes");
    r.rating = column("rating");
    r.source = column("source");
    r.cuisine = column("cuisine");
    r.misc = column("misc");
    r.isPrivate = privateColumn_ && q.value(QStringLiteral("private")).toInt() != 0;
    QSqlQuery lines(db);
    lines.prepare(QStringLiteral("SELECT amount, measure, ingredient, cabinet FROM INGREDIENTS "
                                 "WHERE recipe_id = ? ORDER BY ingred_id"));
    lines.addBindValue(id);
    if (!lines.exec())
        return failed(lines);
    while (lines.next())
        r.ingredients.append({Text(lines.value(0)), Text(lines.value(1)), Text(lines.value(2)),
                              Text(lines.value(3))});
    QSqlQuery steps(db);
    steps.prepare(
        QStringLiteral("SELECT direction FROM DIRECTIONS WHERE recipe_id = ? ORDER BY step"));
    steps.addBindValue(id);
    if (!steps.exec())
        return failed(steps);
    while (steps.next())
        r.directions << Text(steps.value(0));
    return r;
}

bool Cookbook::Begin(QString *error)
{
    QSqlQuery q(Database());
    // IMMEDIATE takes the write lock now (waiting up to the busy time-out), so the
    // transaction never fails half-way for want of it.
    if (q.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return true;
    if (error)
        *error = Explain(QStringLiteral("Saving"), q.lastError());
    return false;
}

bool Cookbook::Finish(bool ok, QString *error)
{
    QSqlQuery q(Database());
    if (ok && q.exec(QStringLiteral("COMMIT")))
        return true;
    if (ok && error)
        *error = Explain(QStringLiteral("Saving"), q.lastError());
    QSqlQuery(Database()).exec(QStringLiteral("ROLLBACK"));
    return false;
}

bool Cookbook::Write(Recipe &r, qint64 &nextId, QString *error)
{
    QSqlDatabase db = Database();
    auto failed = [&](const QSqlQuery &q) {
        if (error)
            *error = Explain(QStringLiteral("Saving \"%1\"").arg(r.title), q.lastError());
        return false;
    };
    const bool isNew = r.id <= 0;
    if (isNew)
        r.id = nextId++;
    else
        nextId = std::max(nextId, r.id + 1);
    const QVariantList values{r.type,  r.title,  r.category, r.servings, r.prepTime, r.cookTime,
                              r.notes, r.rating, r.source,   r.cuisine,  r.misc};
    const QString columns = QStringLiteral("type, title, category, servings, prep_time, cook_time, "
                                           "notes, rating, source, cuisine, misc") +
                            (privateColumn_ ? QStringLiteral(", private") : QString());
    QSqlQuery q(db);
    bool stored = false;
    if (!isNew) {
        QStringList sets = columns.split(QStringLiteral(", "));
        for (QString &s : sets)
            s += QStringLiteral(" = ?");
        q.prepare(QStringLiteral("UPDATE RECIPE SET ") + sets.join(QStringLiteral(", ")) +
                  QStringLiteral(" WHERE id = ?"));
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (privateColumn_)
            q.addBindValue(r.isPrivate ? 1 : 0);
        q.addBindValue(r.id);
        if (!q.exec())
            return failed(q);
        stored = q.numRowsAffected() > 0;
        for (const char *table : {"INGREDIENTS", "DIRECTIONS"}) {
            QSqlQuery del(db);
            del.prepare(
                QStringLiteral("DELETE FROM %1 WHERE recipe_id = ?").arg(QLatin1String(table)));
            del.addBindValue(r.id);
            if (!del.exec())
                return failed(del);
        }
    }
    if (!stored) { // new, or deleted meanwhile by another program: stored under its id
        q.prepare(QStringLiteral("INSERT INTO RECIPE (id, ") + columns +
                  QStringLiteral(") VALUES (?") +
                  QStringLiteral(", ?").repeated(int(values.size()) + (privateColumn_ ? 1 : 0)) +
                  QStringLiteral(")"));
        q.addBindValue(r.id);
        for (const QVariant &v : values)
            q.addBindValue(v);
        if (privateColumn_)
            q.addBindValue(r.isPrivate ? 1 : 0);
        if (!q.exec())
            return failed(q);
    }
    QSqlQuery ing(db);
    ing.prepare(QStringLiteral("INSERT INTO INGREDIENTS (recipe_id, ingred_id, amount, measure, "
                               "ingredient, cabinet) VALUES (?, ?, ?, ?, ?, ?)"));
    for (qsizetype i = 0; i < r.ingredients.size(); ++i) {
        const Ingredient &x = r.ingredients[i];
        for (const QVariant &v :
             QVariantList{r.id, qint64(i + 1), x.amount, x.measure, x.ingredient, x.cabinet})
            ing.addBindValue(v);
        if (!ing.exec())
            return failed(ing);
    }
    QSqlQuery dir(db);
    dir.prepare(
        QStringLiteral("INSERT INTO DIRECTIONS (recipe_id, step, direction) VALUES (?, ?, ?)"));
    for (qsizetype i = 0; i < r.directions.size(); ++i) {
        dir.addBindValue(r.id);
        dir.addBindValue(qint64(i + 1));
        dir.addBindValue(r.directions[i]);
        if (!dir.exec())
            return failed(dir);
    }
    return true;
}

bool Cookbook::Save(Recipe &recipe, QString *error)
{
    QList<Recipe> one{recipe};
    if (!SaveMany(one, error))
        return false;
    recipe = one.front();
    return true;
}

bool Cookbook::SaveMany(QList<Recipe> &recipes, QString *error)
{
    QList<Recipe> clean;
    clean.reserve(recipes.size());
    for (const Recipe &r : recipes) {
        clean.append(WithoutEmptyRows(r));
        if (const auto problem = Validate(clean.back())) {
            if (error)
                *error = recipes.size() == 1
                             ? problem->message
                             : QStringLiteral("\"%1\": %2")
                                   .arg(r.title.left(Limits::Title), problem->message);
            return false;
        }
    }
    if (!IsOpen()) {
        if (error)
            *error = QStringLiteral("No cookbook is open.");
        return false;
    }
    if (!Begin(error))
        return false;
    std::optional<qint64> next = NewRecipeId(error);
    bool ok = next.has_value();
    for (qsizetype i = 0; ok && i < clean.size(); ++i)
        ok = Write(clean[i], *next, error);
    if (!Finish(ok, error))
        return false;
    // The ids only once they are really in the file.
    recipes = std::move(clean);
    return true;
}

bool Cookbook::Delete(qint64 id, QString *error)
{
    if (!Begin(error))
        return false;
    bool ok = true;
    for (const char *sql :
         {"DELETE FROM INGREDIENTS WHERE recipe_id = ?",
          "DELETE FROM DIRECTIONS WHERE recipe_id = ?", "DELETE FROM RECIPE WHERE id = ?"}) {
        QSqlQuery q(Database());
        q.prepare(QLatin1String(sql));
        q.addBindValue(id);
        if (!q.exec()) {
            if (error)
                *error = Explain(QStringLiteral("Deleting the recipe"), q.lastError());
            ok = false;
            break;
        }
    }
    return Finish(ok, error);
}

bool Cookbook::SetPrivate(qint64 id, bool isPrivate, QString *error)
{
    if (!privateColumn_) {
        if (error)
            *error = QStringLiteral("This cookbook was made by a recipe manager older than 2.7 and "
                                    "cannot mark recipes private.");
        return false;
    }
    QSqlQuery q(Database());
    q.prepare(QStringLiteral("UPDATE RECIPE SET private = ? WHERE id = ?"));
    q.addBindValue(isPrivate ? 1 : 0);
    q.addBindValue(id);
    if (q.exec())
        return true;
    if (error)
        *error = Explain(QStringLiteral("Marking the recipe"), q.lastError());
    return false;
}

} // namespace zestrel::cookbook
