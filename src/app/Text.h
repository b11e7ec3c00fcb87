// The text rules every subsystem shares. Lengths count characters as the member
// sees them (a surrogate pair is one), and nothing here ever cuts one in half.
#pragma once

#include <QString>
#include <optional>

namespace zestrel
{

inline const QString kCrLf = QStringLiteral("\r\n");

// Leading and trailing spaces removed; tabs and other white space stay.
QString TrimSpaces(const QString &text);

// Characters, not UTF-16 units.
qsizetype CharCount(const QString &text);
// The first n characters.
QString LeftChars(const QString &text, qsizetype n);

// The leading digits after leading spaces; 0 when there are none. Saturates at
// the largest qint64.
qint64 LeadingDigits(const QString &text);
// The leading whole number after leading spaces, with an optional sign. Anything
// that is not a number, or one too large to add one to, reads as 0.
qint64 LeadingNumber(const QString &text);
// A whole decimal number and nothing else (spaces around allowed).
std::optional<qint64> WholeNumber(const QString &text);
// The number a text starts with (sign, decimals, exponent), else 0.
double NumericValueOf(const QString &text);
// A flag as a request carries it: a number (not 0 is on), or True/False.
std::optional<bool> ReadTruthValue(const QString &text);

} // namespace zestrel
