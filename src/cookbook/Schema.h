// The recipe manager's schema: RECIPE, INGREDIENTS and DIRECTIONS as the client
// reads them, and a new, empty cookbook (cookbook.db beside cookbook.ini).
#pragma once

#include <QSqlDatabase>
#include <QString>

namespace zestrel::cookbook
{

// Creates the tables (and their lookup indexes) in an open, empty database.
// withPrivate=false makes the layout of recipe-manager versions before 2.7.
bool CreateSchema(QSqlDatabase &db, QString *error = nullptr, bool withPrivate = true);

// FOLDER/cookbook.db with the schema and FOLDER/cookbook.ini with [Misc] MaxRecipeID=0.
// An existing database is left as it is.
bool CreateCookbook(const QString &folder, QString *error = nullptr);

} // namespace zestrel::cookbook
