#include "cookbook/Recipe.h"

namespace zestrel::cookbook
{

QString TypeName(const QString &type)
{
    if (type == QLatin1String(kTypeFood))
        return QStringLiteral("Food");
    if (type == QLatin1String(kTypeDrink))
        return QStringLiteral("Drink");
    if (type == QLatin1String(kTypeOther))
        return QStringLiteral("Other");
    return type;
}

} // namespace zestrel::cookbook
