#include "cookbook/Scaling.h"

#include <cmath>

namespace zestrel::cookbook
{

namespace
{

struct Vulgar {
    char16_t c;
    int num, den;
};
constexpr Vulgar kVulgar[] = {{u'½', 1, 2}, {u'⅓', 1, 3}, {u'⅔', 2, 3}, {u'¼', 1, 4}, {u'¾', 3, 4},
                              {u'⅕', 1, 5}, {u'⅖', 2, 5}, {u'⅗', 3, 5}, {u'⅘', 4, 5}, {u'⅙', 1, 6},
                              {u'⅚', 5, 6}, {u'⅛', 1, 8}, {u'⅜', 3, 8}, {u'⅝', 5, 8}, {u'⅞', 7, 8}};

// The fractions a scaled amount is rounded to, when one is close enough.
struct Common {
    int num, den;
    char16_t c;
};
constexpr Common kCommon[] = {{1, 8, u'⅛'}, {1, 4, u'¼'}, {1, 3, u'⅓'}, {3, 8, u'⅜'}, {1, 2, u'½'},
                              {5, 8, u'⅝'}, {2, 3, u'⅔'}, {3, 4, u'¾'}, {7, 8, u'⅞'}};
constexpr double kCloseEnough = 0.02;

const Vulgar *VulgarOf(QChar c)
{
    for (const Vulgar &v : kVulgar)
        if (c.unicode() == v.c)
            return &v;
    return nullptr;
}

// A small reader over one amount text.
class Reader
{
  public:
    explicit Reader(const QString &s) : s_(s) {}
    bool atEnd() const { return i_ >= s_.size(); }
    void skipSpaces()
    {
        while (i_ < s_.size() && s_[i_].isSpace())
            ++i_;
    }
    qsizetype pos() const { return i_; }
    void setPos(qsizetype p) { i_ = p; }

    // Digits 0-9 only (at most nine, so the value is exact); nothing when there are none.
    std::optional<qint64> digits()
    {
        qsizetype start = i_;
        qint64 v = 0;
        while (i_ < s_.size() && s_[i_] >= QLatin1Char('0') && s_[i_] <= QLatin1Char('9')) {
            if (i_ - start >= 9)
                return std::nullopt;
            v = v * 10 + (s_[i_].unicode() - '0');
            ++i_;
        }
        if (i_ == start)
            return std::nullopt;
        return v;
    }
    bool take(QChar c)
    {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool takeWord(QLatin1StringView w)
    {
        if (s_.mid(i_, w.size()).compare(w, Qt::CaseInsensitive) == 0) {
            i_ += w.size();
            return true;
        }
        return false;
    }
    const Vulgar *vulgar()
    {
        if (i_ < s_.size())
            if (const Vulgar *v = VulgarOf(s_[i_])) {
                ++i_;
                return v;
            }
        return nullptr;
    }

  private:
    const QString &s_;
    qsizetype i_ = 0;
};

// One number: "2", "1.5", ".5", "0,75", "3/4", "1 1/2", "½", "1½", "1 ½".
std::optional<double> Number(Reader &r, Quantity &q, bool first)
{
    auto setStyle = [&](Quantity::Style s) {
        if (first || s != Quantity::Style::Fraction)
            q.style = s;
    };
    if (const Vulgar *v = r.vulgar()) {
        setStyle(Quantity::Style::Unicode);
        return double(v->num) / v->den;
    }
    const qsizetype start = r.pos();
    std::optional<qint64> whole = r.digits();
    if (!whole) {
        // ".5"
        if (r.take(QLatin1Char('.'))) {
            const qsizetype fracStart = r.pos();
            if (auto f = r.digits()) {
                setStyle(Quantity::Style::Decimal);
                return double(*f) / std::pow(10.0, double(r.pos() - fracStart));
            }
        }
        r.setPos(start);
        return std::nullopt;
    }
    const qsizetype afterWhole = r.pos();
    // Decimal: "1.5" or "1,5"
    for (QChar sep : {QLatin1Char('.'), QLatin1Char(',')}) {
        if (r.take(sep)) {
            const qsizetype fracStart = r.pos();
            if (auto f = r.digits()) {
                setStyle(Quantity::Style::Decimal);
                if (sep == QLatin1Char(','))
                    q.decimalComma = true;
                return double(*whole) + double(*f) / std::pow(10.0, double(r.pos() - fracStart));
            }
            r.setPos(afterWhole);
        }
    }
    // Fraction: "3/4" (also with the fraction slash)
    auto fractionAfter = [&](qint64 num) -> std::optional<double> {
        const qsizetype p = r.pos();
        if (r.take(QLatin1Char('/')) || r.take(QChar(0x2044))) {
            if (auto den = r.digits(); den && *den > 0)
                return double(num) / double(*den);
        }
        r.setPos(p);
        return std::nullopt;
    };
    if (auto f = fractionAfter(*whole))
        return *f;
    // Mixed: "1 1/2", "1½", "1 ½"
    r.skipSpaces();
    if (const Vulgar *v = r.vulgar()) {
        setStyle(Quantity::Style::Unicode);
        return double(*whole) + double(v->num) / v->den;
    }
    if (auto num = r.digits()) {
        if (auto f = fractionAfter(*num); f && *f < 1)
            return double(*whole) + *f;
    }
    r.setPos(afterWhole);
    return double(*whole);
}

QString TrimmedDecimal(double value, int decimals, bool comma)
{
    QString s = QString::number(value, 'f', decimals);
    if (s.contains(QLatin1Char('.'))) {
        while (s.endsWith(QLatin1Char('0')))
            s.chop(1);
        if (s.endsWith(QLatin1Char('.')))
            s.chop(1);
    }
    if (s == QLatin1String("-0"))
        s = QStringLiteral("0");
    if (comma)
        s.replace(QLatin1Char('.'), QLatin1Char(','));
    return s;
}

} // namespace

Quantity Quantity::scaled(double factor) const
{
    Quantity q = *this;
    q.low *= factor;
    q.high *= factor;
    return q;
}

std::optional<Quantity> ParseAmount(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty() || t.size() > 40)
        return std::nullopt;
    Quantity q;
    Reader r(t);
    auto low = Number(r, q, true);
    if (!low)
        return std::nullopt;
    q.low = q.high = *low;
    r.skipSpaces();
    if (r.atEnd())
        return q;
    const qsizetype sepStart = r.pos();
    if (r.take(QLatin1Char('-')) || r.take(QChar(0x2013)) || r.take(QChar(0x2014)) ||
        r.takeWord(QLatin1StringView("to"))) {
        q.rangeSeparator = t.mid(sepStart, r.pos() - sepStart);
        if (q.rangeSeparator.compare(QLatin1String("to"), Qt::CaseInsensitive) == 0)
            q.rangeSeparator = QStringLiteral(" ") + q.rangeSeparator + QStringLiteral(" ");
        r.skipSpaces();
        auto high = Number(r, q, false);
        r.skipSpaces();
        if (!high || !r.atEnd() || *high < *low)
            return std::nullopt;
        q.high = *high;
        q.range = true;
        return q;
    }
    return std::nullopt;
}

QString FormatNumber(double value, Quantity::Style style, bool decimalComma)
{
    if (!std::isfinite(value) || value < 0)
        value = 0;
    if (style == Quantity::Style::Decimal)
        return TrimmedDecimal(value, 2, decimalComma);
    double whole = std::floor(value);
    const double frac = value - whole;
    if (frac < kCloseEnough)
        return TrimmedDecimal(whole, 0, false);
    if (frac > 1 - kCloseEnough)
        return TrimmedDecimal(whole + 1, 0, false);
    for (const Common &c : kCommon) {
        if (std::abs(frac - double(c.num) / c.den) < kCloseEnough) {
            const QString w = whole > 0 ? TrimmedDecimal(whole, 0, false) : QString();
            if (style == Quantity::Style::Unicode)
                return w + QChar(c.c);
            const QString f = QString::number(c.num) + QLatin1Char('/') + QString::number(c.den);
            return w.isEmpty() ? f : w + QLatin1Char(' ') + f;
        }
    }
    return TrimmedDecimal(value, 2, false);
}

QString FormatAmount(const Quantity &q)
{
    const QString low = FormatNumber(q.low, q.style, q.decimalComma);
    if (!q.range)
        return low;
    return low + q.rangeSeparator + FormatNumber(q.high, q.style, q.decimalComma);
}

QString ScaleAmount(const QString &amount, double factor)
{
    const auto q = ParseAmount(amount);
    if (!q)
        return amount;
    return FormatAmount(q->scaled(factor));
}

namespace
{

// Where the first amount in a servings text starts and ends.
std::optional<std::pair<qsizetype, qsizetype>> FirstAmount(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!text[i].isDigit() && !VulgarOf(text[i]))
            continue;
        // The longest run from here that still reads as one amount.
        for (qsizetype end = qMin(text.size(), i + 40); end > i; --end) {
            if (end < text.size() && (text[end].isDigit() || text[end] == QLatin1Char('/')))
                continue;
            if (ParseAmount(text.mid(i, end - i))) {
                while (end > i && text[end - 1].isSpace())
                    --end;
                return std::make_pair(i, end);
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<double> ServingsOf(const QString &servings)
{
    const auto span = FirstAmount(servings);
    if (!span)
        return std::nullopt;
    const auto q = ParseAmount(servings.mid(span->first, span->second - span->first));
    if (!q || q->low <= 0)
        return std::nullopt;
    return q->low;
}

QString WithServings(const QString &text, int servings)
{
    const QString n = QString::number(servings);
    const auto span = FirstAmount(text);
    if (!span)
        return n;
    QString out = text;
    out.replace(span->first, span->second - span->first, n);
    return out;
}

Recipe Presented(const Recipe &recipe, const Presentation &p)
{
    Recipe r = recipe;
    if (p.servings > 0 && p.servings <= kMaxServings) {
        if (const auto base = ServingsOf(recipe.servings)) {
            const double factor = double(p.servings) / *base;
            for (Ingredient &i : r.ingredients)
                i.amount = ScaleAmount(i.amount, factor);
            r.servings = WithServings(recipe.servings, p.servings);
        }
    }
    if (p.measures != Measures::AsWritten) {
        for (Ingredient &i : r.ingredients) {
            auto q = ParseAmount(i.amount);
            if (q && ConvertMeasure(*q, i.measure, p.measures))
                i.amount = FormatAmount(*q);
        }
    }
    return r;
}

} // namespace zestrel::cookbook
