// Makes recipe-manager databases: the schema the recipe manager creates, and
// varied sample recipes. Used by the zestrel-cookbook tool, the tests and the
// benchmark; the client itself never creates or alters a schema.
#pragma once

#include "cookbook/Schema.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace zestrel::cookbook
{

struct SampleSummary {
    qint64 firstId = 0;
    qint64 lastId = 0;
    qint64 maxRecipeId = 0; // the [Misc] MaxRecipeID in effect afterwards
    int privateCount = 0;
};

// What kind of cook the sample recipes come from.
struct SampleMix {
    // Shares of food and drink recipes in percent; the rest are other recipes (crafts,
    // pet treats). The default is 72 % food and 18 % drinks.
    int foodPercent = 72;
    int drinkPercent = 18;
    // The cuisines the recipes are labelled with; empty for the default blend.
    QStringList cuisines;
};

// `sample FOLDER --recipes N --seed S [--mix FOOD,DRINK] [--cuisines A,B,...]`: adds N
// recipes after the largest id (creating the cookbook first when needed). The same seed
// and mix give the same recipes. When the database was empty, the first 60 % count as
// the recipes shipped with the recipe manager: MaxRecipeID is set to the last of them.
bool FillSample(const QString &folder, int recipes, quint64 seed, QString *error = nullptr,
                SampleSummary *summary = nullptr, const SampleMix &mix = {});

} // namespace zestrel::cookbook
