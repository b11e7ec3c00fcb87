// What every reader shares: the ingredient-line splitter, durations, format detection
// and reading a file from disk within its size bound.
#include "formats/Formats.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace zestrel::formats
{

namespace
{

// Measure words as a cook writes them, to the one spelling the cookbook keeps.
const QHash<QString, QString> &MeasureWords()
{
    static const QHash<QString, QString> words = [] {
        QHash<QString, QString> w;
        const auto add = [&w](const QString &canonical,
                              std::initializer_list<const char *> spellings) {
            w.insert(canonical, canonical);
            for (const char *s : spellings)
                w.insert(QString::fromUtf8(s), canonical);
        };
        add(QStringLiteral("cup"), {"cups", "c"});
        add(QStringLiteral("tbsp"), {"tbsps", "tablespoon", "tablespoons", "tbs", "tbl", "tb"});
        add(QStringLiteral("tsp"), {"tsps", "teaspoon", "teaspoons", "ts"});
        add(QStringLiteral("lb"), {"lbs", "pound", "pounds"});
        add(QStringLiteral("oz"), {"ounce", "ounces"});
        add(QStringLiteral("g"), {"gram", "grams", "gr"});
        add(QStringLiteral("kg"), {"kilogram", "kilograms", "kilo", "kilos"});
        add(QStringLiteral("mg"), {"milligram", "milligrams"});
        add(QStringLiteral("ml"), {"milliliter", "milliliters", "millilitre", "millilitres"});
        add(QStringLiteral("cl"), {"centiliter", "centiliters", "centilitre", "centilitres"});
        add(QStringLiteral("dl"), {"deciliter", "deciliters", "decilitre", "decilitres"});
        add(QStringLiteral("l"), {"liter", "liters", "litre", "litres"});
        add(QStringLiteral("pint"), {"pints", "pt"});
        add(QStringLiteral("quart"), {"quarts", "qt"});
        add(QStringLiteral("gallon"), {"gallons", "gal"});
        add(QStringLiteral("pinch"), {"pinches"});
        add(QStringLiteral("dash"), {"dashes"});
        add(QStringLiteral("drop"), {"drops"});
        add(QStringLiteral("clove"), {"cloves"});
        add(QStringLiteral("can"), {"cans"});
        add(QStringLiteral("package"), {"packages", "pkg", "pkgs"});
        add(QStringLiteral("slice"), {"slices"});
        add(QStringLiteral("stick"), {"sticks"});
        add(QStringLiteral("bunch"), {"bunches"});
        add(QStringLiteral("sprig"), {"sprigs"});
        add(QStringLiteral("handful"), {"handfuls"});
        add(QStringLiteral("carton"), {"cartons"});
        return w;
    }();
    return words;
}

const QString kFractionChars = QStringLiteral("½¼¾⅓⅔⅛⅜⅝⅞⅕⅖⅗⅘⅙⅚");

QRegularExpression AmountPattern()
{
    // A number: mixed "1 1/2", fraction "1/2", decimal "1.5", "1½", or "½" alone;
    // then an optional range "2-3", "2 – 3", "2 to 3".
    const QString f = QStringLiteral("[") + kFractionChars + QStringLiteral("]");
    const QString num =
        QStringLiteral("(?:\\d+\\s+\\d+/\\d+|\\d+/\\d+|\\d+(?:[.,]\\d+)?(?:\\s?%1)?|%1)").arg(f);
    return QRegularExpression(
        QStringLiteral("^(%1(?:\\s*(?:-|–|to)\\s*%1)?)(?=\\s|$|[a-zA-Z(])").arg(num));
}

} // namespace

cookbook::Ingredient ParseIngredientLine(const QString &line)
{
    static const QRegularExpression amountRe = AmountPattern();
    QString text = line.simplified();
    text.replace(QChar(0x2044), QLatin1Char('/')); // fraction slash
    cookbook::Ingredient result;
    const QRegularExpressionMatch m = amountRe.match(text);
    if (!m.hasMatch()) {
        result.ingredient = text;
        return result;
    }
    result.amount = m.captured(1).trimmed();
    QString rest = text.mid(m.capturedEnd(1)).trimmed();
    // The measure is the next word ("cups", "tbsp.", "fl oz").
    static const QRegularExpression wordRe(
        QStringLiteral("^(fl\\.?\\s?oz\\.?|fluid ounces?|[A-Za-z]+\\.?)(?=\\s|$)"));
    const QRegularExpressionMatch w = wordRe.match(rest);
    if (w.hasMatch()) {
        QString word = w.captured(1);
        QString key = word.toLower();
        if (key.endsWith(QLatin1Char('.')))
            key.chop(1);
        key.remove(QLatin1Char('.'));
        QString canonical;
        if (key.startsWith(QLatin1String("fl")) && key.contains(QLatin1String("oz")))
            canonical = QStringLiteral("fl oz");
        else if (key.startsWith(QLatin1String("fluid ounce")))
            canonical = QStringLiteral("fl oz");
        else if (word == QLatin1String("T"))
            canonical = QStringLiteral("tbsp");
        else if (word == QLatin1String("t"))
            canonical = QStringLiteral("tsp");
        else
            canonical = MeasureWords().value(key);
        if (!canonical.isEmpty()) {
            result.measure = canonical;
            rest = rest.mid(w.capturedLength(1)).trimmed();
        }
    }
    result.ingredient = rest;
    return result;
}

QString DurationText(const QString &iso8601)
{
    static const QRegularExpression re(
        QStringLiteral("^P(?:(\\d+)D)?(?:T(?:(\\d+(?:\\.\\d+)?)H)?(?:(\\d+(?:\\.\\d+)?)M)?(?:(\\d+("
                       "?:\\.\\d+)?)S)?)?$"),
        QRegularExpression::CaseInsensitiveOption);
    const QString text = iso8601.trimmed();
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch() || text.size() < 3 || text.endsWith(QLatin1Char('T'), Qt::CaseInsensitive))
        return text;
    // Whole minutes are what a cook reads; fractions of hours and stray seconds fold in.
    double minutes = m.captured(1).toDouble() * 24 * 60 + m.captured(2).toDouble() * 60 +
                     m.captured(3).toDouble() + m.captured(4).toDouble() / 60;
    if (minutes > 1e7)
        return text;
    qint64 total = qint64(minutes + 0.5);
    if (total == 0 && minutes > 0)
        total = 1;
    const qint64 days = total / (24 * 60);
    const qint64 hours = (total / 60) % 24;
    const qint64 mins = total % 60;
    QStringList parts;
    if (days)
        parts << QStringLiteral("%1 %2").arg(days).arg(days == 1 ? QStringLiteral("day")
                                                                 : QStringLiteral("days"));
    if (hours)
        parts << QStringLiteral("%1 hr").arg(hours);
    if (mins || parts.isEmpty())
        parts << QStringLiteral("%1 min").arg(mins);
    return parts.join(QLatin1Char(' '));
}

QString IsoDuration(const QString &text)
{
    static const QRegularExpression re(
        QStringLiteral("^(?:(\\d+) days?)?\\s*(?:(\\d+) hrs?)?\\s*(?:(\\d+) mins?)?$"));
    const QString t = text.simplified();
    const QRegularExpressionMatch m = re.match(t);
    if (t.isEmpty() || !m.hasMatch())
        return {};
    QString iso = QStringLiteral("P");
    if (!m.captured(1).isEmpty())
        iso += m.captured(1) + QLatin1Char('D');
    if (!m.captured(2).isEmpty() || !m.captured(3).isEmpty() || m.captured(1).isEmpty()) {
        iso += QLatin1Char('T');
        if (!m.captured(2).isEmpty())
            iso += m.captured(2) + QLatin1Char('H');
        if (!m.captured(3).isEmpty())
            iso += m.captured(3) + QLatin1Char('M');
    }
    return iso;
}

Format DetectFormat(const QString &fileName, const QByteArray &head)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("mmf") || suffix == QLatin1String("mm"))
        return Format::MealMaster;
    if (suffix == QLatin1String("json") || suffix == QLatin1String("jsonld"))
        return Format::JsonLd;
    if (suffix == QLatin1String("html") || suffix == QLatin1String("htm"))
        return Format::Html;
    if (suffix == QLatin1String("cook"))
        return Format::Cooklang;
    const QByteArray start = head.left(64 * 1024);
    if (start.toLower().contains("meal-master"))
        return Format::MealMaster;
    const QByteArray trimmed = start.trimmed();
    int i = trimmed.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (i < trimmed.size() && QChar::isSpace(uchar(trimmed.at(i))))
        ++i;
    if (i < trimmed.size() && (trimmed.at(i) == '{' || trimmed.at(i) == '['))
        return Format::JsonLd;
    const QByteArray lower = start.toLower();
    if (lower.contains("<html") || lower.contains("<!doctype html") || lower.contains("<script"))
        return Format::Html;
    if (start.startsWith(">>") || start.contains("\n>>") ||
        (start.contains('@') && start.contains('{')))
        return Format::Cooklang;
    return Format::Unknown;
}

QString FormatName(Format format)
{
    switch (format) {
    case Format::MealMaster:
        return QStringLiteral("MealMaster");
    case Format::JsonLd:
        return QStringLiteral("JSON-LD");
    case Format::Html:
        return QStringLiteral("HTML");
    case Format::Cooklang:
        return QStringLiteral("Cooklang");
    case Format::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

ReadResult ReadBytes(const QByteArray &bytes, const QString &fileName)
{
    switch (DetectFormat(fileName, bytes)) {
    case Format::MealMaster:
        return ReadMealMaster(bytes, fileName);
    case Format::JsonLd:
    case Format::Html:
        return ReadJsonLd(bytes, fileName);
    case Format::Cooklang:
        return ReadCooklang(bytes, fileName);
    case Format::Unknown:
        break;
    }
    ReadResult result;
    result.errors.append(
        {fileName, 0,
         QStringLiteral("Not a recipe file this program reads (MealMaster, JSON-LD, "
                        "HTML or Cooklang)")});
    return result;
}

ReadResult ReadFile(const QString &path)
{
    ReadResult result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.errors.append(
            {path, 0, QStringLiteral("Cannot open the file: %1").arg(file.errorString())});
        return result;
    }
    // Read one byte past the bound, so a file that grows while it is read is caught too.
    const QByteArray bytes =
        file.size() > kMaxFileBytes ? QByteArray() : file.read(kMaxFileBytes + 1);
    if (file.size() > kMaxFileBytes || bytes.size() > kMaxFileBytes) {
        result.errors.append(
            {path, 0, QStringLiteral("The file is larger than 64 MiB and is not read")});
        return result;
    }
    return ReadBytes(bytes, path);
}

} // namespace zestrel::formats
