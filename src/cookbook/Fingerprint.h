// Whether two recipes are the same dish written down twice: the normalised title and
// the sorted, normalised ingredient names, so amounts, spelling of measures, order of
// the lines, case, accents and punctuation do not tell copies apart.
#pragma once

#include "cookbook/Recipe.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace zestrel::cookbook
{

// Lower case, accents dropped, every run of characters that are neither letters nor
// digits made one space, trimmed: "Crème Brûlée!" -> "creme brulee".
QString NormalisedText(const QString &text);

// The ingredient names a fingerprint is made of: normalised, sorted, without the
// empty rows and the section headings ("For the sauce:").
QStringList FingerprintNames(const QList<Ingredient> &ingredients);

// The fingerprint as a short hex string (SHA-1 of title and names); the same for two
// recipes exactly when their normalised title and ingredient names are the same.
QByteArray Fingerprint(const QString &title, const QList<Ingredient> &ingredients);
inline QByteArray Fingerprint(const Recipe &recipe)
{
    return Fingerprint(recipe.title, recipe.ingredients);
}

} // namespace zestrel::cookbook
