// Servings: an ingredient amount as a cook writes it ("2", "1.5", "3/4", "1 1/2", "1½",
// "2-3", "1 to 2") read into numbers, multiplied and written back in the same style.
// Amounts that are not such a number ("to taste", "a pinch", "1 (8 oz) can") are left
// exactly as they are. The stored recipe never changes: these work on copies.
#pragma once

#include "cookbook/Recipe.h"
#include "cookbook/Units.h"

#include <QString>
#include <optional>

namespace zestrel::cookbook
{

// One amount: a number or a range of two.
struct Quantity {
    enum class Style {
        Fraction, // "2", "3/4", "1 1/2": written back as whole numbers and fractions
        Unicode,  // "½", "1½": written back with the fraction characters
        Decimal,  // "1.5", "0,75": written back as decimals
    };
    double low = 0;
    double high = 0; // equal to low unless `range`
    bool range = false;
    Style style = Style::Fraction;
    bool decimalComma = false; // "0,75" is written back with a comma
    QString rangeSeparator = QStringLiteral("-");

    Quantity scaled(double factor) const;
};

std::optional<Quantity> ParseAmount(const QString &text);
QString FormatAmount(const Quantity &quantity);
// One number in a style: fractions to the nearest common fraction (halves, thirds,
// quarters, eighths) when one is close, otherwise at most two decimals.
QString FormatNumber(double value, Quantity::Style style, bool decimalComma = false);

// The amount times `factor`; the text itself when it is no amount.
QString ScaleAmount(const QString &amount, double factor);

// The number of servings a recipe says it makes: the first number of its servings text
// ("4", "4-6 servings" -> 4, "Makes 12" -> 12); nothing when there is none or it is 0.
std::optional<double> ServingsOf(const QString &servings);
// The servings text made to say `servings`: its first number (or range) replaced,
// "Makes 12 cookies" -> "Makes 24 cookies"; just the number when it had none.
QString WithServings(const QString &text, int servings);

// How a recipe is shown or exported: scaled to `servings` (0 keeps the recipe's own)
// and with its measures in one system.
struct Presentation {
    int servings = 0;
    Measures measures = Measures::AsWritten;

    bool isIdentity() const { return servings <= 0 && measures == Measures::AsWritten; }
};

// The largest number of servings a recipe may be scaled to.
inline constexpr int kMaxServings = 10000;

// A copy of the recipe as presented. A recipe whose servings are not a number is not
// scaled (its measures are still converted).
Recipe Presented(const Recipe &recipe, const Presentation &presentation);

} // namespace zestrel::cookbook
