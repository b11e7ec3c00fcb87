#include "store/Import.h"
#include "app/Text.h"

#include "store/TransferText.h"

#include <QSqlRecord>
#include <limits>

namespace zestrel
{

namespace
{

// Received texts are stored as text, an empty one as empty text rather than NULL.
QVariant Stored(const QString &s)
{
    return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s);
}

DbError TextError(const QString &description)
{
    return DbError{9, QStringLiteral("Zestrel"), description};
}

QString ErrorText(const DbError &e)
{
    return e.source + QStringLiteral(": ") + QString::number(e.number) + kCrLf + kCrLf +
           e.description;
}

QString NoDatabaseText(const AppState &app)
{
    return QStringLiteral("You do not have a valid database installed!  If you want to directly "
                          "import these recipes into the highest rated recipe manager on ") +
           QString::fromLatin1(kDownloadSiteName) +
           QStringLiteral(", then download the Cookfolio from QEVO!") + kCrLf + kCrLf +
           MissingDatabaseNotice(app.MakerWebAddress);
}

// Checks the parts the rows are made of before anything is written.
std::optional<DbError> CheckShape(const TransferRecipe &r)
{
    if (r.header.size() < 7)
        return TextError(QStringLiteral("The recipe text has fewer than seven header fields."));
    if (!r.hasIngredientSection())
        return TextError(QStringLiteral("The recipe text has no ingredient section."));
    if (!r.hasDirectionSection())
        return TextError(QStringLiteral("The recipe text has no direction section."));
    for (const TransferItem &i : r.ingredients)
        if (i.fields.size() < 4)
            return TextError(QStringLiteral("Ingredient %1 of the recipe text has fewer than "
                                            "four fields.")
                                 .arg(i.position + 1));
    for (const TransferItem &d : r.directions)
        if (d.fields.size() < 2)
            return TextError(QStringLiteral("Direction %1 of the recipe text has fewer than two "
                                            "fields.")
                                 .arg(d.position + 1));
    return std::nullopt;
}

bool Insert(RecipeDatabase &db, const QString &sql, const QVariantList &values, DbError &error)
{
    QSqlError e;
    if (db.Execute(sql, values, &e))
        return true;
    error = DbErrorOf(e);
    return false;
}

bool InsertRows(RecipeDatabase &db, qint64 id, const TransferRecipe &r, DbError &error)
{
    QString columns =
        QStringLiteral("id, type, title, category, servings, prep_time, cook_time, notes, rating");
    QVariantList values{id};
    for (int i = 0; i < 7; ++i)
        values << Stored(r.headerField(i));
    values << Stored(QString()); // rating
    // Source, cuisine and misc only when the sender's header has them.
    const char *optional[] = {"source", "cuisine", "misc"};
    for (int i = 0; i < 3; ++i) {
        if (r.hasHeaderField(7 + i)) {
            columns += QStringLiteral(", ") + QLatin1String(optional[i]);
            values << Stored(r.headerField(7 + i));
        }
    }
    const QString marks = QStringLiteral("?, ").repeated(values.size() - 1) + QStringLiteral("?");
    if (!Insert(db,
                QStringLiteral("INSERT INTO RECIPE (") + columns + QStringLiteral(") VALUES (") +
                    marks + QStringLiteral(")"),
                values, error))
        return false;
    for (const TransferItem &i : r.ingredients)
        if (!Insert(
                db,
                QStringLiteral("INSERT INTO INGREDIENTS (recipe_id, ingred_id, amount, measure, "
                               "ingredient, cabinet) VALUES (?, ?, ?, ?, ?, ?)"),
                {id, i.position + 1, Stored(i.field(0)), Stored(i.field(1)), Stored(i.field(2)),
                 Stored(i.field(3))},
                error))
            return false;
    for (const TransferItem &d : r.directions)
        if (!Insert(db,
                    QStringLiteral(
                        "INSERT INTO DIRECTIONS (recipe_id, step, direction) VALUES (?, ?, ?)"),
                    {id, Stored(d.field(0)), Stored(d.field(1))}, error))
            return false;
    return true;
}

} // namespace

void RecipeList::RemoveStoredRecipe()
{
    if (position <= 0 || position > texts.size())
        return;
    texts.removeAt(position - 1);
    if (!(position == 1 && !texts.isEmpty()))
        --position;
}

std::optional<qint64> NextRecipeId(RecipeDatabase &db, DbError *error)
{
    QSqlError e;
    auto q = db.Execute(QStringLiteral("SELECT Max(ID) FROM RECIPE"), {}, &e);
    if (!q || !q->next()) {
        if (error)
            *error = DbErrorOf(q ? q->lastError() : e);
        return std::nullopt;
    }
    const QVariant max = q->value(0);
    if (max.isNull())
        return std::max<qint64>(1, db.app.FirstNewRecipeId.trimmed().toLongLong());
    bool ok = false;
    const qint64 v = max.toLongLong(&ok);
    if (!ok || v == std::numeric_limits<qint64>::max()) {
        if (error)
            *error = TextError(QStringLiteral("The recipe database has no free recipe id."));
        return std::nullopt;
    }
    return v + 1;
}

ImportOutcome WriteRecipe(RecipeDatabase &db, const QString &text)
{
    ImportOutcome out;
    const TransferRecipe r = ReadTransferText(text, db.app);
    out.title = r.headerField(1);
    if (const auto bad = CheckShape(r)) {
        out.error = *bad;
        return out;
    }
    QSqlDatabase conn = db.RecipeDb();
    if (!conn.isOpen() || !conn.transaction()) {
        out.error = DbErrorOf(conn.lastError());
        return out;
    }
    const auto id = NextRecipeId(db, &out.error);
    if (id && InsertRows(db, *id, r, out.error)) {
        if (conn.commit()) {
            db.ForgetAnswers(); // the category lists may have changed
            out.imported = true;
            out.id = *id;
            return out;
        }
        out.error = DbErrorOf(conn.lastError());
    }
    conn.rollback();
    return out;
}

bool ImportRecipe(RecipeDatabase &db, RecipeBox &box, const QString &text)
{
    Diagnostics &diag = db.app.diag;
    const TransferRecipe r = ReadTransferText(text, db.app);
    if (r.hasHeaderField(1))
        diag.ShowMessage(QStringLiteral("Saving Recipe: '") + r.headerField(1) +
                             QStringLiteral("'..."),
                         QStringLiteral("Saving recipe"));
    const ImportOutcome out = WriteRecipe(db, text);
    if (!out.imported) {
        diag.ShowMessage(ErrorText(out.error), QString());
        return false;
    }
    box.RemoveStoredRecipe();
    diag.ShowMessage(QStringLiteral("'") + out.title +
                         QStringLiteral("' has been imported into CKF!"),
                     QStringLiteral("Import Sucessful"));
    return true;
}

void cmdImport(RecipeDatabase &db, RecipeBox &box, int selectedTab, const QString &previewText)
{
    Diagnostics &diag = db.app.diag;
    if (db.app.NoDatabase) {
        diag.ShowMessage(NoDatabaseText(db.app), QStringLiteral("CKF Not Installed"));
        return;
    }
    diag.ShowMessage(QString(), QString());
    if (box.StoredPosition() < 1) {
        diag.ShowMessage(QStringLiteral("There are no recipes available to be imported!"),
                         QStringLiteral("No Recipes"));
        return;
    }
    if (selectedTab != 0 && selectedTab != 1) {
        diag.ShowMessage(QStringLiteral("You can only import recipes when you can see them!"),
                         QStringLiteral("Wrong Tab!"));
        return;
    }
    if (previewText.isEmpty()) {
        diag.ShowMessage(QStringLiteral("You must be previewing a recipe to import it!"),
                         QStringLiteral("Wrong Tab"));
        return;
    }
    ImportRecipe(db, box, box.StoredText(box.StoredPosition()));
}

ImportAllReport cmdImportAll(RecipeDatabase &db, RecipeBox &box)
{
    AppState &app = db.app;
    ImportAllReport report;
    if (app.NoDatabase) {
        app.diag.ShowMessage(NoDatabaseText(app), QStringLiteral("CKF Not Installed"));
        return report;
    }
    if (box.StoredCount() < 2) {
        app.diag.ShowMessage(QStringLiteral("You do not have enough recipes in your storage box "
                                            "to perform this function!"),
                             QStringLiteral("Not Enough Recipes"));
        return report;
    }
    if (app.prompter.MessageBox(QStringLiteral("Are you sure you want to import ALL recipes that "
                                               "you have in your storage area of Zestrel directly "
                                               "into CKF?"),
                                QStringLiteral("Import Confirmation"), PromptIcon::Question,
                                PromptButtons::YesNo) != PromptAnswer::Yes)
        return report;
    report.ran = true;
    // Recipes may have arrived in the box while the question was open: count afresh.
    const int count = box.StoredCount();

    // The current recipe first, then the ones before it down to the first, then the ones
    // after it: the order in which removing each imported entry walks the box.
    const int current = count > 0 ? std::clamp(box.StoredPosition(), 1, count) : 0;
    QList<int> order;
    for (int p = current; p >= 1; --p)
        order << p;
    for (int p = current + 1; p <= count; ++p)
        order << p;

    QList<int> importedPositions;
    QStringList failures;
    for (int p : order) {
        const QString text = box.StoredText(p);
        const TransferRecipe r = ReadTransferText(text, app);
        if (r.hasHeaderField(1))
            app.diag.ShowMessage(QStringLiteral("Saving Recipe: '") + r.headerField(1) +
                                     QStringLiteral("'..."),
                                 QStringLiteral("Saving recipe"));
        const ImportOutcome out = WriteRecipe(db, text);
        if (out.imported) {
            ++report.imported;
            importedPositions << p;
            app.diag.ShowMessage(QStringLiteral("'") + out.title +
                                     QStringLiteral("' has been imported into CKF!"),
                                 QStringLiteral("Import Sucessful"));
        } else {
            ++report.failed;
            // Each entry is tried once; a failing one stays in the box.
            app.diag.ShowMessage(ErrorText(out.error), QString());
            failures << QStringLiteral("'") + out.title + QStringLiteral("': ") + out.error.source +
                            QStringLiteral(": ") + QString::number(out.error.number) +
                            QStringLiteral(" ") + out.error.description;
        }
    }
    // Remove from the back so the positions still to remove stay valid.
    std::sort(importedPositions.begin(), importedPositions.end(), std::greater<int>());
    for (int p : importedPositions) {
        box.ShowStored(p);
        box.RemoveStoredRecipe();
    }
    if (report.failed == 0) {
        app.diag.ShowMessage(QStringLiteral("All recipes in the storage area have been imported "
                                            "into your CKF database!"),
                             QStringLiteral("Import Successful"));
    } else {
        app.diag.ShowMessage(
            QStringLiteral("%1 of %2 recipes in the storage area have been imported into your CKF "
                           "database; %3 could not be imported and stay in the storage area:")
                    .arg(report.imported)
                    .arg(count)
                    .arg(report.failed) +
                kCrLf + kCrLf + failures.join(kCrLf),
            QStringLiteral("Import Incomplete"));
    }
    return report;
}

} // namespace zestrel
