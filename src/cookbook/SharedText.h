// A recipe of the Cookbook as other members receive it: the transfer text the client
// answers with once the recipe is saved, built from the value without the database.
#pragma once

#include "app/AppState.h"
#include "cookbook/Recipe.h"

#include <QString>

namespace zestrel::cookbook
{

// The text without the window section; the steps are numbered from 1, as saved.
QString SharedText(const Recipe &recipe, const AppState &app);

} // namespace zestrel::cookbook
