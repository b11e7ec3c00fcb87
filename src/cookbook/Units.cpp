#include "cookbook/Units.h"
#include "cookbook/Scaling.h"

#include <QHash>
#include <cmath>

namespace zestrel::cookbook
{

namespace
{

using Kind = UnitInfo::Kind;

const QHash<QString, UnitInfo> &Table()
{
    static const QHash<QString, UnitInfo> table = [] {
        QHash<QString, UnitInfo> t;
        auto add = [&](std::initializer_list<const char *> names, Kind kind, double base,
                       bool metric) {
            for (const char *n : names)
                t.insert(QString::fromLatin1(n), UnitInfo{kind, base, metric});
        };
        add({"tsp", "tsps", "teaspoon", "teaspoons", "ts"}, Kind::Volume, 4.92892, false);
        add({"tbsp", "tbsps", "tbs", "tbl", "tb", "tablespoon", "tablespoons"}, Kind::Volume,
            14.7868, false);
        add({"cup", "cups", "c"}, Kind::Volume, 236.588, false);
        add({"fl oz", "floz", "fluid ounce", "fluid ounces"}, Kind::Volume, 29.5735, false);
        add({"pt", "pint", "pints"}, Kind::Volume, 473.176, false);
        add({"qt", "quart", "quarts"}, Kind::Volume, 946.353, false);
        add({"gal", "gallon", "gallons"}, Kind::Volume, 3785.41, false);
        add({"oz", "ounce", "ounces"}, Kind::Weight, 28.3495, false);
        add({"lb", "lbs", "pound", "pounds"}, Kind::Weight, 453.592, false);
        add({"ml", "milliliter", "milliliters", "millilitre", "millilitres"}, Kind::Volume, 1,
            true);
        add({"cl", "centiliter", "centiliters", "centilitre", "centilitres"}, Kind::Volume, 10,
            true);
        add({"dl", "deciliter", "deciliters", "decilitre", "decilitres"}, Kind::Volume, 100, true);
        add({"l", "liter", "liters", "litre", "litres"}, Kind::Volume, 1000, true);
        add({"g", "gram", "grams", "gr"}, Kind::Weight, 1, true);
        add({"kg", "kilogram", "kilograms", "kilo", "kilos"}, Kind::Weight, 1000, true);
        return t;
    }();
    return table;
}

// Metric amounts to the gram or millilitre (one decimal below ten), litres and kilograms
// to two decimals.
QString MetricNumber(double value)
{
    return FormatNumber(value < 10 ? std::round(value * 10) / 10 : std::round(value),
                        Quantity::Style::Decimal);
}

// US amounts to the nearest eighth, never down to nothing.
double ToEighths(double value)
{
    const double e = std::round(value * 8) / 8;
    return e <= 0 ? 0.125 : e;
}

} // namespace

std::optional<UnitInfo> UnitOf(const QString &measure)
{
    QString m = measure.trimmed().toLower();
    m.remove(QLatin1Char('.'));
    m = m.simplified();
    const auto it = Table().constFind(m);
    if (it == Table().constEnd())
        return std::nullopt;
    return *it;
}

bool ConvertMeasure(Quantity &q, QString &measure, Measures to)
{
    if (to == Measures::AsWritten)
        return false;
    const auto unit = UnitOf(measure);
    if (!unit || unit->metric == (to == Measures::Metric))
        return false;
    const double low = q.low * unit->base, high = q.high * unit->base;
    Quantity out = q;
    if (to == Measures::Metric) {
        const bool large = high >= 1000;
        const double div = large ? 1000 : 1;
        measure = unit->kind == Kind::Volume ? (large ? QStringLiteral("l") : QStringLiteral("ml"))
                                             : (large ? QStringLiteral("kg") : QStringLiteral("g"));
        out.style = Quantity::Style::Decimal;
        out.decimalComma = false;
        out.low = large ? std::round(low / div * 100) / 100 : MetricNumber(low).toDouble();
        out.high = large ? std::round(high / div * 100) / 100 : MetricNumber(high).toDouble();
    } else {
        double base;
        if (unit->kind == Kind::Volume) {
            base = high < 14 ? 4.92892 : high < 59 ? 14.7868 : 236.588;
            measure = base < 5    ? QStringLiteral("tsp")
                      : base < 15 ? QStringLiteral("tbsp")
                                  : QStringLiteral("cup");
        } else {
            base = high < 453 ? 28.3495 : 453.592;
            measure = base < 30 ? QStringLiteral("oz") : QStringLiteral("lb");
        }
        if (out.style == Quantity::Style::Decimal)
            out.style = Quantity::Style::Fraction;
        out.decimalComma = false;
        out.low = ToEighths(low / base);
        out.high = ToEighths(high / base);
    }
    q = out;
    return true;
}

} // namespace zestrel::cookbook
