// Measures in metric or in US kitchen units. Only measures that are amounts of volume
// or weight are converted (cups, spoons, fluid ounces, pints, quarts, gallons, ounces,
// pounds and their metric counterparts); "clove", "can" or an unknown word stays.
#pragma once

#include <QString>
#include <optional>

namespace zestrel::cookbook
{

enum class Measures { AsWritten, Metric, US };

struct Quantity;

// What a measure word is: its kind and how many millilitres or grams one of it holds.
struct UnitInfo {
    enum class Kind { Volume, Weight };
    Kind kind = Kind::Volume;
    double base = 1; // millilitres or grams
    bool metric = false;
};

// "cups", "Tbsp.", "fl oz", "grams" ...; nothing for a word that is no such measure.
std::optional<UnitInfo> UnitOf(const QString &measure);

// Converts the quantity and its measure in place to the other system when the measure
// is of the wrong one; false (and nothing changed) when there is nothing to convert.
bool ConvertMeasure(Quantity &quantity, QString &measure, Measures to);

} // namespace zestrel::cookbook
