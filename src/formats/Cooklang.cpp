// Cooklang: a recipe written as its steps, with @ingredient{qty%unit}, #cookware{} and
// ~timer{qty%unit} marked inside them; ">> key: value" or front-matter metadata, "= name"
// sections, "> " notes, "--" and "[- -]" comments. One recipe to a file.
#include "formats/Formats.h"

#include <QFileInfo>
#include <QStringDecoder>

namespace zestrel::formats
{

namespace
{

struct Mark {
    QString name;
    QString quantity;
    QString unit;
    QString note;
    qsizetype end = 0; // index after the mark
};

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('-') || c.isMark();
}

// Reads the mark whose sigil is at `at`.
Mark ReadMark(const QString &line, qsizetype at)
{
    Mark mark;
    qsizetype stop = at + 1;
    while (stop < line.size() && !QStringView(u"@#~").contains(line[stop]))
        ++stop;
    const qsizetype brace = line.indexOf(QLatin1Char('{'), at + 1);
    const qsizetype close = brace >= 0 ? line.indexOf(QLatin1Char('}'), brace) : -1;
    if (brace >= 0 && brace < stop && close > brace) {
        mark.name = line.mid(at + 1, brace - at - 1).trimmed();
        const QString content = line.mid(brace + 1, close - brace - 1);
        const qsizetype pct = content.indexOf(QLatin1Char('%'));
        mark.quantity = (pct >= 0 ? content.left(pct) : content).trimmed();
        mark.unit = pct >= 0 ? content.mid(pct + 1).trimmed() : QString();
        mark.end = close + 1;
        if (mark.end < line.size() && line[mark.end] == QLatin1Char('(')) {
            const qsizetype paren = line.indexOf(QLatin1Char(')'), mark.end);
            if (paren > 0) {
                mark.note = line.mid(mark.end + 1, paren - mark.end - 1).trimmed();
                mark.end = paren + 1;
            }
        }
        return mark;
    }
    qsizetype e = at + 1;
    while (e < line.size() && IsWordChar(line[e]))
        ++e;
    mark.name = line.mid(at + 1, e - at - 1);
    mark.end = e;
    return mark;
}

QString StripComments(const QString &line)
{
    const qsizetype dashes = line.indexOf(QLatin1String("--"));
    return dashes >= 0 ? line.left(dashes) : line;
}

void SetMeta(cookbook::Recipe &r, const QString &rawKey, const QString &value)
{
    const QString key = rawKey.trimmed().toLower().replace(QLatin1Char('_'), QLatin1Char(' '));
    const QString v = value.trimmed();
    if (key == QLatin1String("title"))
        r.title = v;
    else if (key == QLatin1String("servings") || key == QLatin1String("serves") ||
             key == QLatin1String("yield"))
        r.servings = v;
    else if (key == QLatin1String("category") || key == QLatin1String("categories") ||
             key == QLatin1String("course") || key == QLatin1String("tags"))
        r.category = v;
    else if (key == QLatin1String("cuisine"))
        r.cuisine = v;
    else if (key == QLatin1String("prep time") || key == QLatin1String("preptime"))
        r.prepTime = DurationText(v);
    else if (key == QLatin1String("cook time") || key == QLatin1String("cooktime"))
        r.cookTime = DurationText(v);
    else if (key == QLatin1String("source") || key == QLatin1String("author") ||
             key == QLatin1String("url") || key == QLatin1String("source.url") ||
             key == QLatin1String("source.name"))
        r.source = r.source.isEmpty() ? v : r.source;
    else if (key == QLatin1String("description") || key == QLatin1String("notes"))
        r.notes += (r.notes.isEmpty() ? QString() : QStringLiteral("\n")) + v;
    else if (key == QLatin1String("rating"))
        r.rating = v;
    else if (key == QLatin1String("type"))
        r.type = v;
    else if (key == QLatin1String("misc"))
        r.misc += (r.misc.isEmpty() ? QString() : QStringLiteral("\n")) + v;
}

// One paragraph: its plain text, its ingredients added to the recipe. Returns false
// for a paragraph that is nothing but ingredients (a list, not a step).
bool ReadStep(const QString &paragraph, cookbook::Recipe &r, QString *text)
{
    QString plain;
    bool words = false;
    for (qsizetype i = 0; i < paragraph.size();) {
        const QChar c = paragraph[i];
        if ((c == QLatin1Char('@') || c == QLatin1Char('#') || c == QLatin1Char('~')) &&
            i + 1 < paragraph.size() &&
            (IsWordChar(paragraph[i + 1]) || paragraph[i + 1] == QLatin1Char('{'))) {
            const Mark m = ReadMark(paragraph, i);
            i = m.end;
            if (c == QLatin1Char('@')) {
                if (!m.name.isEmpty()) {
                    const QString name =
                        m.note.isEmpty() ? m.name : m.name + QStringLiteral(" (%1)").arg(m.note);
                    r.ingredients.append({m.quantity, m.unit, name, {}});
                }
                plain += m.name;
            } else if (c == QLatin1Char('#')) {
                plain += m.name;
                words = true;
            } else {
                plain += (m.quantity + QLatin1Char(' ') + m.unit).trimmed();
                words = true;
            }
            continue;
        }
        if (!c.isSpace() && c != QLatin1Char(',') && c != QLatin1Char(';'))
            words = true;
        plain += c;
        ++i;
    }
    *text = plain.simplified();
    return words;
}

QString MarkText(const QString &text)
{
    QString t = text.simplified();
    t.replace(QLatin1Char('{'), QLatin1Char('(')).replace(QLatin1Char('}'), QLatin1Char(')'));
    return t;
}

} // namespace

ReadResult ReadCooklang(const QByteArray &bytes, const QString &fileName)
{
    ReadResult result;
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    if (utf8.hasError()) {
        result.errors.append({fileName, 0, QStringLiteral("The file is not UTF-8 text")});
        return result;
    }
    text.remove(QLatin1Char('\r'));
    QStringList lines = text.split(QLatin1Char('\n'));
    // Block comments may span lines; they are blanked, keeping the line count.
    for (int i = 0; i < lines.size(); ++i) {
        qsizetype open = lines[i].indexOf(QLatin1String("[-"));
        while (open >= 0) {
            int j = i;
            qsizetype close = lines[j].indexOf(QLatin1String("-]"), open + 2);
            while (close < 0 && j + 1 < lines.size())
                close = lines[++j].indexOf(QLatin1String("-]"));
            if (close < 0) {
                result.errors.append(
                    {fileName, i + 1,
                     QStringLiteral("A comment opened with \"[-\" is never closed")});
                return result;
            }
            if (j == i)
                lines[i].remove(open, close + 2 - open);
            else {
                lines[i].truncate(open);
                for (int k = i + 1; k < j; ++k)
                    lines[k].clear();
                lines[j].remove(0, close + 2);
            }
            open = lines[i].indexOf(QLatin1String("[-"));
        }
    }
    cookbook::Recipe r;
    int start = 0;
    if (!lines.isEmpty() && lines[0].trimmed() == QLatin1String("---")) {
        int end = 1;
        while (end < lines.size() && lines[end].trimmed() != QLatin1String("---"))
            ++end;
        if (end == lines.size()) {
            result.errors.append(
                {fileName, 1, QStringLiteral("The metadata opened with \"---\" is never closed")});
            return result;
        }
        for (int i = 1; i < end; ++i) {
            const qsizetype colon = lines[i].indexOf(QLatin1Char(':'));
            if (colon > 0)
                SetMeta(r, lines[i].left(colon), lines[i].mid(colon + 1));
        }
        start = end + 1;
    }
    QString paragraph;
    const auto flush = [&] {
        QString step;
        if (!paragraph.trimmed().isEmpty() && ReadStep(paragraph, r, &step) && !step.isEmpty())
            r.directions.append(step);
        paragraph.clear();
    };
    bool any = false;
    for (int i = start; i < lines.size(); ++i) {
        const QString &raw = lines[i];
        const QString trimmed = raw.trimmed();
        if (trimmed.startsWith(QLatin1String(">>"))) {
            flush();
            const QString meta = StripComments(trimmed.mid(2));
            const qsizetype colon = meta.indexOf(QLatin1Char(':'));
            if (colon > 0)
                SetMeta(r, meta.left(colon), meta.mid(colon + 1));
            any = true;
            continue;
        }
        if (trimmed.startsWith(QLatin1Char('>'))) {
            flush();
            r.notes +=
                (r.notes.isEmpty() ? QString() : QStringLiteral("\n")) + trimmed.mid(1).trimmed();
            any = true;
            continue;
        }
        const QString line = StripComments(raw).trimmed();
        if (line.startsWith(QLatin1Char('='))) {
            flush();
            QString name = line;
            while (name.startsWith(QLatin1Char('=')))
                name.remove(0, 1);
            while (name.endsWith(QLatin1Char('=')))
                name.chop(1);
            if (!name.trimmed().isEmpty())
                r.directions.append(name.simplified());
            any = true;
            continue;
        }
        if (line.isEmpty()) {
            if (trimmed.isEmpty())
                flush();
            continue;
        }
        paragraph += (paragraph.isEmpty() ? QString() : QStringLiteral(" ")) + line;
        any = true;
    }
    flush();
    if (!any && r.title.isEmpty()) {
        result.errors.append({fileName, 0, QStringLiteral("The file holds no recipe")});
        return result;
    }
    if (r.title.isEmpty())
        r.title = QFileInfo(fileName).completeBaseName();
    if (r.title.isEmpty()) {
        result.errors.append({fileName, 0, QStringLiteral("The recipe has no title")});
        return result;
    }
    result.recipes.append(r);
    result.recipeLines.append(1);
    return result;
}

QByteArray WriteCooklang(const cookbook::Recipe &r)
{
    QString out;
    const auto meta = [&out](const char *key, const QString &value) {
        for (const QString &line : value.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            out += QStringLiteral(">> %1: %2\n").arg(QLatin1String(key), line.simplified());
    };
    meta("title", r.title);
    meta("servings", r.servings);
    meta("category", r.category);
    meta("cuisine", r.cuisine);
    meta("prep time", r.prepTime);
    meta("cook time", r.cookTime);
    meta("source", r.source);
    meta("rating", r.rating);
    if (r.type != QLatin1String(cookbook::kTypeFood))
        meta("type", r.type);
    meta("misc", r.misc);
    for (const QString &line : r.notes.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        out += QStringLiteral("> %1\n").arg(line.simplified());
    // The ingredients as a list of their own, one to a line: a paragraph of nothing but
    // ingredients is read as a list, not as a step.
    if (!r.ingredients.isEmpty()) {
        out += QLatin1Char('\n');
        for (const cookbook::Ingredient &i : r.ingredients) {
            QString name = MarkText(i.ingredient);
            if (name.isEmpty())
                name = QStringLiteral("item");
            const QString qty = MarkText(i.amount).remove(QLatin1Char('%'));
            const QString unit = MarkText(i.measure);
            out += QStringLiteral("@%1{%2%3}\n")
                       .arg(name, qty, unit.isEmpty() ? QString() : QLatin1Char('%') + unit);
        }
    }
    for (const QString &step : r.directions) {
        // Step text is plain: sigils and comment marks that would be read as markup are spaced out.
        QString t = step.simplified();
        for (const char *sigil : {"@", "#", "~"})
            t.replace(QLatin1String(sigil), QLatin1String(sigil) + QLatin1Char(' '));
        t.replace(QLatin1String("--"), QLatin1String("- -"));
        t.replace(QLatin1String("[-"), QLatin1String("[ -"));
        out += QLatin1Char('\n') + t + QLatin1Char('\n');
    }
    return out.toUtf8();
}

} // namespace zestrel::formats
