#include "cookbook/Fingerprint.h"

#include <QCryptographicHash>
#include <algorithm>

namespace zestrel::cookbook
{

QString NormalisedText(const QString &text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(decomposed.size());
    bool space = false;
    for (const QChar c : decomposed) {
        if (c.isMark())
            continue;
        if (c.isLetterOrNumber()) {
            if (space && !out.isEmpty())
                out += QLatin1Char(' ');
            space = false;
            out += c.toCaseFolded();
        } else {
            space = true;
        }
    }
    return out;
}

QStringList FingerprintNames(const QList<Ingredient> &ingredients)
{
    QStringList names;
    names.reserve(ingredients.size());
    for (const Ingredient &i : ingredients) {
        const QString name = i.ingredient.trimmed();
        // A heading row holds only its text, ending in a colon.
        if (i.amount.trimmed().isEmpty() && i.measure.trimmed().isEmpty() &&
            name.endsWith(QLatin1Char(':')))
            continue;
        QString n = NormalisedText(name);
        if (!n.isEmpty())
            names << std::move(n);
    }
    std::sort(names.begin(), names.end());
    return names;
}

QByteArray Fingerprint(const QString &title, const QList<Ingredient> &ingredients)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(NormalisedText(title).toUtf8());
    for (const QString &name : FingerprintNames(ingredients)) {
        hash.addData(QByteArrayView("\n"));
        hash.addData(name.toUtf8());
    }
    return hash.result().toHex();
}

} // namespace zestrel::cookbook
