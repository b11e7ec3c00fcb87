#include "cookbook/SharedText.h"

#include "store/TransferText.h"

namespace zestrel::cookbook
{

QString SharedText(const Recipe &r, const AppState &app)
{
    const QStringList header{r.type,     r.title, r.category, r.servings, r.prepTime,
                             r.cookTime, r.notes, r.source,   r.cuisine,  r.misc};
    QList<QStringList> ingredients, directions;
    for (const Ingredient &i : r.ingredients)
        ingredients.append({i.amount, i.measure, i.ingredient, i.cabinet});
    for (qsizetype i = 0; i < r.directions.size(); ++i)
        directions.append({QString::number(i + 1), r.directions[i]});
    return BuildTransferText(header, ingredients, directions, app);
}

} // namespace zestrel::cookbook
