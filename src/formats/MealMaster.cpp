// MealMaster files: a header line of dashes or "MMMMM" naming Meal-Master, the title,
// categories and servings lines, ingredient lines in fixed columns (one or two to a
// line), then the directions, up to an end marker line. Many recipes to a file; text
// between them is ignored.
#include "formats/Formats.h"

#include <QHash>
#include <QStringDecoder>

namespace zestrel::formats
{

namespace
{

// Code page 437, bytes 0x80-0xFF.
const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

QString DecodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    text.clear();
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const uchar b = uchar(c);
        text.append(b < 0x80 ? QChar(b) : QChar(kCp437High[b - 0x80]));
    }
    return text;
}

struct Unit {
    const char *code;
    const char *word;
};

// The unit codes of the format and the measure words they stand for.
constexpr Unit kUnits[] = {
    {"x", "per serving"}, {"sm", "small"}, {"md", "medium"}, {"lg", "large"}, {"cn", "can"},
    {"pk", "package"},    {"pn", "pinch"}, {"dr", "drop"},   {"ds", "dash"},  {"ct", "carton"},
    {"bn", "bunch"},      {"sl", "slice"}, {"ea", "each"},   {"ts", "tsp"},   {"tb", "tbsp"},
    {"fl", "fl oz"},      {"c", "cup"},    {"pt", "pint"},   {"qt", "quart"}, {"ga", "gallon"},
    {"oz", "oz"},         {"lb", "lb"},    {"ml", "ml"},     {"cb", "cc"},    {"cl", "cl"},
    {"dl", "dl"},         {"l", "l"},      {"mg", "mg"},     {"cg", "cg"},    {"dg", "dg"},
    {"g", "g"},           {"kg", "kg"},    {"t", "tsp"},     {"T", "tbsp"}};

QString MeasureForCode(const QString &code, bool *known)
{
    *known = true;
    if (code.isEmpty())
        return {};
    for (const Unit &u : kUnits)
        if (code == QLatin1String(u.code))
            return QString::fromUtf8(u.word);
    const QString lower = code.toLower();
    for (const Unit &u : kUnits)
        if (lower == QLatin1String(u.code))
            return QString::fromUtf8(u.word);
    *known = false;
    return {};
}

QString CodeForMeasure(const QString &measure)
{
    for (const Unit &u : kUnits)
        if (measure == QString::fromUtf8(u.word))
            return QString::fromLatin1(u.code);
    return {};
}

bool IsHeader(QStringView line)
{
    return (line.startsWith(u"-----") || line.startsWith(u"MMMMM")) &&
           line.contains(u"meal-master", Qt::CaseInsensitive);
}

// A line of only dashes or only M's (five or more): the end of a recipe.
bool IsEndMarker(QStringView line)
{
    const QStringView t = line.trimmed();
    if (t.size() < 5)
        return false;
    const QChar c = t.front();
    if (c != QLatin1Char('-') && c != QLatin1Char('M'))
        return false;
    for (const QChar ch : t)
        if (ch != c)
            return false;
    return true;
}

// "MMMMM-----FOR THE SAUCE-----" or "-----FOR THE SAUCE-----": the heading's text.
QString SectionHeading(QStringView line)
{
    const QStringView t = line.trimmed();
    if (!(t.startsWith(u"-----") || t.startsWith(u"MMMMM")))
        return {};
    qsizetype b = 0;
    while (b < t.size() && (t[b] == QLatin1Char('M') || t[b] == QLatin1Char('-')))
        ++b;
    qsizetype e = t.size();
    while (e > b && (t[e - 1] == QLatin1Char('M') || t[e - 1] == QLatin1Char('-')))
        --e;
    return t.mid(b, e - b).trimmed().toString();
}

bool IsAmountField(QStringView field)
{
    for (const QChar c : field)
        if (!(c.isDigit() || c == QLatin1Char(' ') || c == QLatin1Char('/') ||
              c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char(',')))
            return false;
    return true;
}

struct Item {
    QString amount;
    QString code;
    QString text;
    bool continues = false; // "-" at column 12
};

// One ingredient in the column layout: amount in columns 1-7, unit code in 9-10, text
// from column 12. `item` is set only when the columns hold what they should.
bool ParseItem(QStringView whole, Item *item)
{
    // An amount with no text may have lost its trailing spaces.
    const QString padded =
        whole.size() < 12 ? whole.toString().leftJustified(12, QLatin1Char(' ')) : QString();
    const QStringView line = padded.isEmpty() ? whole : QStringView(padded);
    if (line[7] != QLatin1Char(' ') || line[10] != QLatin1Char(' '))
        return false;
    const QStringView amount = line.left(7);
    const QStringView code = line.mid(8, 2).trimmed();
    if (!IsAmountField(amount))
        return false;
    bool known = false;
    MeasureForCode(code.toString(), &known);
    if (!known)
        return false;
    item->amount = amount.trimmed().toString();
    item->code = code.toString();
    item->text = line.mid(11).trimmed().toString();
    item->continues =
        line[11] == QLatin1Char('-') && item->amount.isEmpty() && item->code.isEmpty();
    return !item->text.isEmpty() || !item->amount.isEmpty();
}

QStringList SplitLines(const QString &text)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &l : lines) {
        if (l.endsWith(QLatin1Char('\r')))
            l.chop(1);
        // Tabs become spaces to the next multiple of eight, so columns stay where they were.
        if (l.contains(QLatin1Char('\t'))) {
            QString out;
            for (const QChar c : l) {
                if (c == QLatin1Char('\t'))
                    out += QString(8 - out.size() % 8, QLatin1Char(' '));
                else
                    out += c;
            }
            l = out;
        }
    }
    return lines;
}

const char *const kMetaLabels[][2] = {{"Source", "source"},      {"Cuisine", "cuisine"},
                                      {"Prep time", "prepTime"}, {"Cook time", "cookTime"},
                                      {"Rating", "rating"},      {"Type", "type"},
                                      {"Misc", "misc"},          {"Notes", "notes"}};

QString *MetaField(cookbook::Recipe &r, const char *name)
{
    const QLatin1String n(name);
    if (n == QLatin1String("source"))
        return &r.source;
    if (n == QLatin1String("cuisine"))
        return &r.cuisine;
    if (n == QLatin1String("prepTime"))
        return &r.prepTime;
    if (n == QLatin1String("cookTime"))
        return &r.cookTime;
    if (n == QLatin1String("rating"))
        return &r.rating;
    if (n == QLatin1String("type"))
        return &r.type;
    if (n == QLatin1String("misc"))
        return &r.misc;
    return &r.notes;
}

void AddIngredient(cookbook::Recipe &recipe, const Item &item)
{
    bool known = false;
    if (item.continues && !recipe.ingredients.isEmpty()) {
        // "-" at column 12 continues the line above.
        QString &prev = recipe.ingredients.last().ingredient;
        const QString more = item.text.mid(1).trimmed();
        if (!more.isEmpty())
            prev += (prev.isEmpty() ? QString() : QStringLiteral(" ")) + more;
        return;
    }
    recipe.ingredients.append({item.amount, MeasureForCode(item.code, &known), item.text, {}});
}

class Reader
{
  public:
    Reader(const QStringList &lines, const QString &file) : lines_(lines), file_(file) {}

    ReadResult Run()
    {
        for (int i = 0; i < lines_.size(); ++i) {
            if (IsHeader(lines_[i]))
                i = ReadRecipe(i); // returns the end marker's index
        }
        if (result_.recipes.isEmpty() && result_.errors.isEmpty())
            result_.errors.append(
                {file_, 0, QStringLiteral("No MealMaster recipe found in the file")});
        return std::move(result_);
    }

  private:
    void Error(int index, const QString &message)
    {
        result_.errors.append({file_, index + 1, message});
    }

    int ReadRecipe(int header)
    {
        cookbook::Recipe recipe;
        enum { Fields, Ingredients, Directions } part = Fields;
        QStringList paragraph;
        QString *meta = nullptr; // the field a "Notes:"-style paragraph continues
        const auto flush = [&] {
            if (paragraph.isEmpty())
                return;
            QString step = paragraph.join(QLatin1Char(' ')).simplified();
            paragraph.clear();
            if (meta) {
                *meta += (meta->isEmpty() ? QString() : QStringLiteral("\n")) + step;
                meta = nullptr;
                return;
            }
            recipe.directions.append(step);
        };
        int i = header + 1;
        for (; i < lines_.size(); ++i) {
            const QString &line = lines_[i];
            if (IsHeader(line)) {
                Error(header,
                      QStringLiteral("The recipe has no end marker before the next recipe"));
                return i - 1;
            }
            if (IsEndMarker(line)) {
                flush();
                if (recipe.title.isEmpty())
                    Error(header, QStringLiteral("The recipe has no title"));
                else {
                    result_.recipes.append(std::move(recipe));
                    result_.recipeLines.append(header + 1);
                }
                return i;
            }
            const QString trimmed = line.trimmed();
            if (part == Fields) {
                if (trimmed.isEmpty())
                    continue;
                if (ReadField(trimmed, recipe))
                    continue;
                part = Ingredients;
            }
            if (part == Ingredients) {
                if (trimmed.isEmpty())
                    continue;
                const QString heading = SectionHeading(line);
                if (!heading.isEmpty()) {
                    recipe.ingredients.append({{}, {}, heading, {}});
                    continue;
                }
                // The two-column layout: the second column starts at 41 or 42.
                Item left, right;
                bool two = false;
                for (const int at : {41, 40}) {
                    if (line.size() > at + 11 && line[at - 1] == QLatin1Char(' ') &&
                        ParseItem(QStringView(line).left(at), &left) &&
                        ParseItem(QStringView(line).mid(at), &right) && !right.amount.isEmpty()) {
                        two = true;
                        break;
                    }
                }
                if (two || ParseItem(line, &left)) {
                    AddIngredient(recipe, left);
                    if (two)
                        AddIngredient(recipe, right);
                    continue;
                }
                part = Directions;
            }
            // Directions: paragraphs split by blank lines; "Notes:" and the like fill fields.
            if (trimmed.isEmpty()) {
                flush();
                continue;
            }
            if (paragraph.isEmpty()) {
                bool matched = false;
                for (const auto &label : kMetaLabels) {
                    const QString prefix = QLatin1String(label[0]) + QLatin1Char(':');
                    if (trimmed.startsWith(prefix, Qt::CaseInsensitive)) {
                        meta = MetaField(recipe, label[1]);
                        if (meta == &recipe.type)
                            recipe.type.clear();
                        paragraph.append(trimmed.mid(prefix.size()));
                        matched = true;
                        break;
                    }
                }
                if (matched)
                    continue;
            }
            paragraph.append(trimmed);
        }
        Error(header, QStringLiteral("The recipe has no end marker"));
        return i;
    }

    static bool ReadField(const QString &trimmed, cookbook::Recipe &recipe)
    {
        static const char *const labels[] = {"Title:", "Categories:", "Servings:", "Yield:"};
        for (const char *label : labels) {
            const QLatin1String l(label);
            if (!trimmed.startsWith(l, Qt::CaseInsensitive))
                continue;
            const QString value = trimmed.mid(l.size()).trimmed();
            if (l == QLatin1String("Title:"))
                recipe.title = value;
            else if (l == QLatin1String("Categories:")) {
                QStringList cats;
                for (const QString &c : value.split(QLatin1Char(','), Qt::SkipEmptyParts))
                    if (!c.trimmed().isEmpty() && c.trimmed() != QLatin1String("None"))
                        cats << c.trimmed();
                recipe.category = cats.join(QStringLiteral(", "));
            } else
                recipe.servings = value;
            return true;
        }
        return false;
    }

    const QStringList &lines_;
    QString file_;
    ReadResult result_;
};

// Words of `text` in lines of at most `width` characters, each after `indent`.
void Wrap(QByteArray &out, const QString &text, const QString &indent, int width)
{
    QString line;
    for (const QString &word : text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!line.isEmpty() && indent.size() + line.size() + 1 + word.size() > width) {
            out += (indent + line).toUtf8() + '\n';
            line.clear();
        }
        line += (line.isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    if (!line.isEmpty())
        out += (indent + line).toUtf8() + '\n';
}

} // namespace

ReadResult ReadMealMaster(const QByteArray &bytes, const QString &fileName)
{
    QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    const QStringList lines = SplitLines(DecodeText(body));
    return Reader(lines, fileName).Run();
}

QByteArray WriteMealMaster(const QList<cookbook::Recipe> &recipes)
{
    QByteArray out;
    for (const cookbook::Recipe &r : recipes) {
        out += "MMMMM----- Recipe via Meal-Master (tm) v8.05\n\n";
        Wrap(out, QStringLiteral("Title: ") + r.title, QStringLiteral("      "), 79);
        Wrap(out, QStringLiteral("Categories: ") + r.category, QStringLiteral(" "), 79);
        Wrap(out, QStringLiteral("Servings: ") + r.servings, QStringLiteral("   "), 79);
        out += '\n';
        for (const cookbook::Ingredient &ing : r.ingredients) {
            QString code = CodeForMeasure(ing.measure);
            QString text = ing.ingredient.simplified();
            if (code.isEmpty() && !ing.measure.isEmpty())
                text = ing.measure + QLatin1Char(' ') + text; // no code for it: it leads the text
            QString amount = ing.amount.simplified();
            if (amount.size() > 7 || !IsAmountField(amount)) {
                text = amount + QLatin1Char(' ') + text;
                amount.clear();
            }
            // Text that begins with "-" would read as a continuation; a space keeps it apart.
            if (text.startsWith(QLatin1Char('-')) || text.isEmpty())
                text.prepend(QLatin1Char(' '));
            const QString prefix = amount.rightJustified(7, QLatin1Char(' ')) + QLatin1Char(' ') +
                                   code.leftJustified(2, QLatin1Char(' ')) + QLatin1Char(' ');
            // Long text goes on continuation lines within 80 columns.
            QString first;
            QStringList rest;
            QString *cur = &first;
            for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                const int room = cur == &first ? 79 - 11 : 79 - 12;
                if (!cur->isEmpty() && cur->size() + 1 + word.size() > room) {
                    rest.append(QString());
                    cur = &rest.last();
                }
                *cur += (cur->isEmpty() ? QString() : QStringLiteral(" ")) + word;
            }
            out += (prefix + first).trimmed().isEmpty() ? QByteArray()
                                                        : (prefix + first).toUtf8() + '\n';
            for (const QString &more : rest)
                out += (QString(11, QLatin1Char(' ')) + QLatin1Char('-') + more).toUtf8() + '\n';
        }
        out += '\n';
        for (const QString &step : r.directions) {
            Wrap(out, step, QStringLiteral("  "), 79);
            out += '\n';
        }
        const auto meta = [&out](const char *label, const QString &value) {
            if (value.isEmpty())
                return;
            for (const QString &line : value.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                Wrap(out, QLatin1String(label) + QStringLiteral(": ") + line, QStringLiteral("  "),
                     79);
                out += '\n';
            }
        };
        meta("Source", r.source);
        meta("Cuisine", r.cuisine);
        meta("Prep time", r.prepTime);
        meta("Cook time", r.cookTime);
        meta("Rating", r.rating);
        if (r.type != QLatin1String(cookbook::kTypeFood))
            meta("Type", r.type);
        meta("Misc", r.misc);
        meta("Notes", r.notes);
        out += "MMMMM\n\n";
    }
    return out;
}

} // namespace zestrel::formats
