#include "browse/Preview.h"

#include "app/Text.h"
#include "store/TransferText.h"

namespace zestrel
{

QString RecipeIdFromText(const QString &text)
{
    const qsizetype open = text.lastIndexOf(QLatin1Char('('));
    if (open < 0)
        return {};
    const qsizetype length = text.size() - 1 - (open + 1);
    if (length <= 0)
        return {};
    return TrimSpaces(text.mid(open + 1, length));
}

namespace
{

// The items of a section; an empty section has none (as the readers split lists).
QList<QStringList> Items(const TransferRecipe &r, qsizetype section, const AppState &app)
{
    QList<QStringList> items;
    const QString text = r.sections.value(section);
    if (text.isEmpty())
        return items;
    for (const QString &item : text.split(app.ListSep)) {
        QStringList fields = item.split(app.FieldSep);
        if (fields.value(0) != QLatin1String(kNoneItem))
            items.append(std::move(fields));
    }
    return items;
}

} // namespace

std::optional<QString> FormatRecipe(const QString &recipe, const AppState &app)
{
    const TransferRecipe r = ReadTransferText(recipe, app);
    struct Label {
        int field;
        const char *text;
    };
    // Tab stops every eight columns put every value in column 16.
    static constexpr Label kLabels[] = {
        {1, "Title:    "},     {7, "Source:    "},    {2, "Category:     "}, {8, "Cuisine:     "},
        {3, "Servings:     "}, {4, "Prep Time:    "}, {5, "Cook Time:    "}, {9, "Misc/Other: "},
    };
    QString t;
    for (const Label &label : kLabels)
        if (r.hasHeaderField(label.field))
            t += QLatin1String(label.text) + QLatin1Char('\t') + r.headerField(label.field) + kCrLf;

    t += kCrLf + QStringLiteral("Ingredients:") + kCrLf;
    for (const QStringList &f : Items(r, 1, app)) {
        if (f.size() < 3)
            return std::nullopt;
        t +=
            QStringLiteral("  ") + f[0] + QLatin1Char(' ') + f[1] + QLatin1Char(' ') + f[2] + kCrLf;
    }
    t += kCrLf + QStringLiteral("Directions:") + kCrLf;
    for (const QStringList &f : Items(r, 2, app)) {
        if (f.size() < 2)
            return std::nullopt;
        t += f[0] + QStringLiteral(":  ") + f[1] + kCrLf;
    }
    t += kCrLf + QStringLiteral("Notes:") + kCrLf + QStringLiteral("  ");
    if (r.hasHeaderField(6))
        t += r.headerField(6) + kCrLf;

    // The window section must be there and its number fit 16 bits; it selects no box.
    if (!r.hasWindow())
        return std::nullopt;
    const double window = NumericValueOf(r.window());
    if (window < -32768.5 || window >= 32767.5)
        return std::nullopt;
    return t;
}

} // namespace zestrel
