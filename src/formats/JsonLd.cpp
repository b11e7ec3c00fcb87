// schema.org Recipe data: from a JSON document, or from the ld+json script blocks of a
// web page found with gumbo. Pages in the wild wrap their JSON in CDATA or comments,
// leave raw control characters and trailing commas in it and escape quotes HTML-style,
// so each block goes through a tolerant pre-pass before QJsonDocument sees it.
#include "formats/Formats.h"

#include <gumbo.h>

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <memory>
#include <vector>

namespace zestrel::formats
{

namespace
{

struct Block {
    QByteArray text;
    int line = 1; // where the block starts in the file
};

// Gumbo's memory comes from an arena that goes in one piece: freeing its tree node by
// node recurses as deep as the page nests, which a hostile page makes very deep.
struct Arena {
    std::vector<std::unique_ptr<char[]>> blocks;
    static void *Allocate(void *self, size_t size)
    {
        auto *arena = static_cast<Arena *>(self);
        arena->blocks.emplace_back(new char[size ? size : 1]);
        return arena->blocks.back().get();
    }
    static void Free(void *, void *) {}
};

QList<Block> ScriptBlocks(const QByteArray &html)
{
    QList<Block> blocks;
    Arena arena;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::Allocate;
    options.deallocator = &Arena::Free;
    options.userdata = &arena;
    options.max_errors = 0;
    GumboOutput *output = gumbo_parse_with_options(&options, html.constData(), size_t(html.size()));
    if (!output)
        return blocks;
    std::vector<const GumboNode *> stack{output->root};
    while (!stack.empty()) {
        const GumboNode *node = stack.back();
        stack.pop_back();
        if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_TEMPLATE)
            continue;
        const GumboElement &el = node->v.element;
        if (el.tag == GUMBO_TAG_SCRIPT) {
            const GumboAttribute *type = gumbo_get_attribute(&el.attributes, "type");
            if (type &&
                QByteArray(type->value).trimmed().toLower().startsWith("application/ld+json")) {
                Block block;
                block.line = int(el.start_pos.line);
                for (unsigned i = 0; i < el.children.length; ++i) {
                    const auto *child = static_cast<const GumboNode *>(el.children.data[i]);
                    if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_CDATA ||
                        child->type == GUMBO_NODE_WHITESPACE)
                        block.text += child->v.text.text;
                }
                blocks.append(block);
            }
            continue;
        }
        // Children go on in reverse so blocks come out in page order.
        for (unsigned i = el.children.length; i > 0; --i)
            stack.push_back(static_cast<const GumboNode *>(el.children.data[i - 1]));
    }
    return blocks;
}

struct Cleaned {
    QByteArray json;
    std::vector<qsizetype> newlines; // offsets in `json` where the source had a line break
    QString error;
};

// Makes near-JSON into JSON: cuts the wrapper around the value (CDATA, comments),
// escapes control characters in strings, drops bad escapes, comments and trailing
// commas, joins several values into one array, and refuses deep nesting.
Cleaned Clean(const QByteArray &raw)
{
    Cleaned out;
    // The wrappers hold brackets of their own; blanks keep every offset where it was.
    QByteArray in = raw;
    for (const char *wrapper : {"<![CDATA[", "]]>", "<!--", "-->"}) {
        const qsizetype n = qsizetype(qstrlen(wrapper));
        for (qsizetype at = in.indexOf(wrapper); at >= 0; at = in.indexOf(wrapper, at + n))
            in.replace(at, n, QByteArray(n, ' '));
    }
    qsizetype begin = 0;
    while (begin < in.size() && in[begin] != '{' && in[begin] != '[')
        ++begin;
    qsizetype end = in.size();
    while (end > begin && in[end - 1] != '}' && in[end - 1] != ']')
        --end;
    for (qsizetype i = 0; i < begin; ++i)
        if (in[i] == '\n')
            out.newlines.push_back(0);
    out.json.reserve(end - begin + 2);
    bool inString = false;
    int depth = 0;
    int values = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const char c = in[i];
        if (c == '\n')
            out.newlines.push_back(out.json.size());
        if (inString) {
            if (c == '"') {
                inString = false;
                out.json += c;
            } else if (c == '\\' && i + 1 < end) {
                const char n = in[i + 1];
                if (QByteArrayView("\"\\/bfnrtu").contains(n))
                    out.json += c;
                if (n == '\n')
                    out.newlines.push_back(out.json.size());
                out.json += n == '\n' ? QByteArray(" ") : QByteArray(1, n);
                ++i;
            } else if (uchar(c) < 0x20) {
                out.json += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "" : " ";
            } else
                out.json += c;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            out.json += c;
            break;
        case '{':
        case '[':
            if (depth == 0 && values++ > 0)
                out.json += ',';
            if (++depth > kMaxJsonDepth) {
                out.error =
                    QStringLiteral("The JSON is nested deeper than %1 levels").arg(kMaxJsonDepth);
                return out;
            }
            out.json += c;
            break;
        case '}':
        case ']':
            --depth;
            out.json += c;
            break;
        case ',': {
            qsizetype j = i + 1;
            while (j < end && QChar::isSpace(uchar(in[j])))
                ++j;
            if (j < end && in[j] != '}' && in[j] != ']')
                out.json += c;
            break;
        }
        case '/':
            if (i + 1 < end && in[i + 1] == '/') {
                while (i + 1 < end && in[i + 1] != '\n')
                    ++i;
                break;
            }
            if (i + 1 < end && in[i + 1] == '*') {
                i += 2;
                while (i + 1 < end && !(in[i] == '*' && in[i + 1] == '/')) {
                    if (in[i] == '\n')
                        out.newlines.push_back(out.json.size());
                    ++i;
                }
                ++i;
                break;
            }
            out.json += c;
            break;
        default:
            if (depth == 0 && !QChar::isSpace(uchar(c)) && c != ';')
                break; // stray text between values
            out.json += c;
        }
    }
    if (values > 1)
        out.json = '[' + out.json + ']';
    return out;
}

const QHash<QString, QChar> &NamedEntities()
{
    static const QHash<QString, QChar> entities{
        {QStringLiteral("amp"), u'&'},    {QStringLiteral("lt"), u'<'},
        {QStringLiteral("gt"), u'>'},     {QStringLiteral("quot"), u'"'},
        {QStringLiteral("apos"), u'\''},  {QStringLiteral("nbsp"), u' '},
        {QStringLiteral("frac12"), u'½'}, {QStringLiteral("frac14"), u'¼'},
        {QStringLiteral("frac34"), u'¾'}, {QStringLiteral("frac13"), u'⅓'},
        {QStringLiteral("frac23"), u'⅔'}, {QStringLiteral("frac18"), u'⅛'},
        {QStringLiteral("deg"), u'°'},    {QStringLiteral("ndash"), u'–'},
        {QStringLiteral("mdash"), u'—'},  {QStringLiteral("hellip"), u'…'},
        {QStringLiteral("rsquo"), u'’'},  {QStringLiteral("lsquo"), u'‘'},
        {QStringLiteral("rdquo"), u'”'},  {QStringLiteral("ldquo"), u'“'},
        {QStringLiteral("eacute"), u'é'}, {QStringLiteral("egrave"), u'è'},
        {QStringLiteral("agrave"), u'à'}, {QStringLiteral("ccedil"), u'ç'},
        {QStringLiteral("uuml"), u'ü'},   {QStringLiteral("ouml"), u'ö'},
        {QStringLiteral("auml"), u'ä'},   {QStringLiteral("ntilde"), u'ñ'},
        {QStringLiteral("times"), u'×'},  {QStringLiteral("copy"), u'©'},
        {QStringLiteral("reg"), u'®'},    {QStringLiteral("trade"), u'™'},
        {QStringLiteral("iuml"), u'ï'},   {QStringLiteral("ecirc"), u'ê'},
        {QStringLiteral("acirc"), u'â'},  {QStringLiteral("szlig"), u'ß'}};
    return entities;
}

QString DecodeEntities(const QString &text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    static const QRegularExpression re(
        QStringLiteral("&(#[0-9]{1,7}|#[xX][0-9a-fA-F]{1,6}|[a-zA-Z][a-zA-Z0-9]{1,9});"));
    QString out;
    qsizetype last = 0;
    auto it = re.globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        last = m.capturedEnd();
        const QString name = m.captured(1);
        if (name.startsWith(QLatin1Char('#'))) {
            bool ok = false;
            const uint code = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive)
                                  ? name.mid(2).toUInt(&ok, 16)
                                  : name.mid(1).toUInt(&ok);
            if (ok && code > 0 && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF))
                out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
            else
                out += m.captured(0);
        } else if (const auto e = NamedEntities().constFind(name); e != NamedEntities().constEnd())
            out += *e;
        else
            out += m.captured(0);
    }
    out += QStringView(text).mid(last);
    return out;
}

// A JSON string as a cook should read it: entities decoded (twice, for pages that
// encode them twice), markup removed, white space folded.
QString CleanText(const QString &raw)
{
    static const QRegularExpression tags(QStringLiteral("<\\/?[a-zA-Z][^<>]{0,500}>"));
    QString text = DecodeEntities(DecodeEntities(raw));
    if (text.contains(QLatin1Char('<')))
        text.replace(tags, QStringLiteral(" "));
    return text.simplified();
}

QString Text(const QJsonValue &v)
{
    if (v.isString())
        return CleanText(v.toString());
    if (v.isDouble())
        return QString::number(v.toDouble());
    if (v.isObject()) {
        const QJsonObject o = v.toObject();
        for (const char *key : {"name", "text", "@value"})
            if (o.contains(QLatin1String(key)))
                return Text(o.value(QLatin1String(key)));
    }
    return {};
}

// Text or a list of texts, joined.
QString TextList(const QJsonValue &v, const QString &separator = QStringLiteral(", "))
{
    if (!v.isArray())
        return Text(v);
    QStringList parts;
    for (const QJsonValue &item : v.toArray()) {
        const QString t = Text(item);
        if (!t.isEmpty() && !parts.contains(t))
            parts << t;
    }
    return parts.join(separator);
}

bool HasType(const QJsonObject &o, QLatin1String type)
{
    const auto matches = [type](const QString &t) {
        return t == type || t.endsWith(QLatin1Char('/') + type) ||
               t.endsWith(QLatin1Char(':') + type);
    };
    const QJsonValue t = o.value(QLatin1String("@type"));
    if (t.isString())
        return matches(t.toString());
    for (const QJsonValue &item : t.toArray())
        if (matches(item.toString()))
            return true;
    return false;
}

class Extractor
{
  public:
    Extractor(const QString &file, const QString &pageUrl) : file_(file), pageUrl_(pageUrl) {}

    void Collect(const QJsonValue &v, int depth)
    {
        if (depth > kMaxJsonDepth)
            return;
        if (v.isArray()) {
            for (const QJsonValue &item : v.toArray())
                Collect(item, depth + 1);
            return;
        }
        if (!v.isObject())
            return;
        const QJsonObject o = v.toObject();
        const QString id = o.value(QLatin1String("@id")).toString();
        if (!id.isEmpty() && o.size() > 1)
            nodes_.insert(id, o);
        if (HasType(o, QLatin1String("Recipe"))) {
            found_.append({line_, o});
            return;
        }
        for (auto it = o.begin(); it != o.end(); ++it)
            if (it->isObject() || it->isArray())
                Collect(*it, depth + 1);
    }

    void SetLine(int line) { line_ = line; }

    void Finish(ReadResult &result)
    {
        for (const auto &[line, o] : std::as_const(found_)) {
            cookbook::Recipe r = ToRecipe(o);
            if (r.title.isEmpty()) {
                result.errors.append({file_, line, QStringLiteral("A recipe has no name")});
                continue;
            }
            if (result.recipes.contains(r))
                continue; // the same recipe told twice on one page
            result.recipes.append(r);
            result.recipeLines.append(line);
        }
        found_.clear();
    }

  private:
    QJsonObject Resolve(const QJsonValue &v) const
    {
        QJsonObject o = v.toObject();
        if (o.size() == 1 && o.contains(QLatin1String("@id")))
            return nodes_.value(o.value(QLatin1String("@id")).toString(), o);
        return o;
    }

    QString Names(const QJsonValue &v) const
    {
        if (v.isString())
            return Text(v);
        if (v.isArray()) {
            QStringList names;
            for (const QJsonValue &item : v.toArray())
                if (const QString n = Names(item); !n.isEmpty())
                    names << n;
            return names.join(QStringLiteral(", "));
        }
        return Text(Resolve(v).value(QLatin1String("name")));
    }

    void Steps(const QJsonValue &v, QStringList &out, int depth) const
    {
        if (depth > kMaxJsonDepth)
            return;
        if (v.isString()) {
            // One text: steps on lines of their own, or in paragraphs or list items.
            QString raw = DecodeEntities(v.toString());
            static const QRegularExpression breaks(
                QStringLiteral("<\\s*(br|/p|/li|/div|/h[1-6])\\s*/?\\s*>"),
                QRegularExpression::CaseInsensitiveOption);
            raw.replace(breaks, QStringLiteral("\n"));
            for (const QString &line : raw.split(QLatin1Char('\n')))
                if (const QString t = CleanText(line); !t.isEmpty())
                    out << t;
            return;
        }
        if (v.isArray()) {
            for (const QJsonValue &item : v.toArray())
                Steps(item, out, depth + 1);
            return;
        }
        const QJsonObject o = Resolve(v);
        const QString name = Text(o.value(QLatin1String("name")));
        if (HasType(o, QLatin1String("HowToSection")) ||
            (!HasType(o, QLatin1String("HowToStep")) && !o.contains(QLatin1String("text")) &&
             o.contains(QLatin1String("itemListElement")))) {
            if (!name.isEmpty())
                out << name;
            Steps(o.value(QLatin1String("itemListElement")), out, depth + 1);
            return;
        }
        QString text = Text(o.value(QLatin1String("text")));
        if (text.isEmpty() && o.contains(QLatin1String("itemListElement"))) {
            QStringList parts;
            Steps(o.value(QLatin1String("itemListElement")), parts, depth + 1);
            text = parts.join(QLatin1Char(' '));
        }
        if (text.isEmpty())
            text = Text(o.value(QLatin1String("description")));
        // A step's name is often its text cut short; only a real title is kept.
        QString shortName = name;
        while (shortName.endsWith(QLatin1Char('.')) || shortName.endsWith(QChar(0x2026)))
            shortName.chop(1);
        if (text.isEmpty())
            text = name;
        else if (!shortName.isEmpty() && !text.startsWith(shortName, Qt::CaseInsensitive)) {
            const QChar lastChar = name.back();
            text = name + (lastChar.isPunct() ? QStringLiteral(" ") : QStringLiteral(": ")) + text;
        }
        if (!text.isEmpty())
            out << text;
    }

    cookbook::Recipe ToRecipe(const QJsonObject &o) const
    {
        cookbook::Recipe r;
        r.title = Text(o.value(QLatin1String("name")));
        if (r.title.isEmpty())
            r.title = Text(o.value(QLatin1String("headline")));
        r.category = TextList(o.value(QLatin1String("recipeCategory")));
        r.cuisine = TextList(o.value(QLatin1String("recipeCuisine")));
        const QJsonValue yield = o.value(QLatin1String("recipeYield"));
        if (yield.isArray()) {
            // ["4", "4 servings"]: the fuller text says more.
            for (const QJsonValue &y : yield.toArray())
                if (const QString t = Text(y); t.size() > r.servings.size())
                    r.servings = t;
        } else
            r.servings = Text(yield);
        r.prepTime = DurationText(Text(o.value(QLatin1String("prepTime"))));
        r.cookTime = DurationText(Text(o.value(QLatin1String("cookTime"))));
        if (const QString total = DurationText(Text(o.value(QLatin1String("totalTime"))));
            !total.isEmpty())
            r.misc = QStringLiteral("Total time: ") + total;
        r.notes = Text(o.value(QLatin1String("description")));
        r.source = Names(o.value(QLatin1String("author")));
        if (r.source.isEmpty())
            r.source = Text(o.value(QLatin1String("url")));
        if (r.source.isEmpty())
            r.source = pageUrl_;
        const QJsonObject rating = Resolve(o.value(QLatin1String("aggregateRating")));
        if (const QString value = Text(rating.value(QLatin1String("ratingValue")));
            !value.isEmpty()) {
            QString count = Text(rating.value(QLatin1String("ratingCount")));
            if (count.isEmpty())
                count = Text(rating.value(QLatin1String("reviewCount")));
            r.rating =
                count.isEmpty() ? value : QStringLiteral("%1 (%2 ratings)").arg(value, count);
        }
        QJsonValue ingredients = o.value(QLatin1String("recipeIngredient"));
        if (ingredients.isUndefined())
            ingredients = o.value(QLatin1String("ingredients"));
        const QJsonArray list =
            ingredients.isArray() ? ingredients.toArray() : QJsonArray{ingredients};
        for (const QJsonValue &item : list) {
            const QString raw = item.isString() ? DecodeEntities(item.toString()) : Text(item);
            for (const QString &line : raw.split(QLatin1Char('\n')))
                if (const QString t = CleanText(line); !t.isEmpty())
                    r.ingredients.append(ParseIngredientLine(t));
        }
        Steps(o.value(QLatin1String("recipeInstructions")), r.directions, 0);
        return r;
    }

    QString file_;
    QString pageUrl_;
    QHash<QString, QJsonObject> nodes_;
    QList<QPair<int, QJsonObject>> found_;
    int line_ = 1;
};

bool LooksLikeJson(const QByteArray &bytes)
{
    for (const char c : bytes) {
        if (c == '{' || c == '[')
            return true;
        if (!QChar::isSpace(uchar(c)) && uchar(c) != 0xEF && uchar(c) != 0xBB && uchar(c) != 0xBF)
            return false;
    }
    return false;
}

} // namespace

ReadResult ReadJsonLd(const QByteArray &bytes, const QString &fileName, const QString &pageUrl)
{
    ReadResult result;
    const bool isJson = LooksLikeJson(bytes);
    const QList<Block> blocks = isJson ? QList<Block>{{bytes, 1}} : ScriptBlocks(bytes);
    Extractor extractor(fileName, pageUrl);
    // Nodes of every block are known before any recipe is built, for "@id" references.
    QList<QPair<int, QJsonDocument>> documents;
    for (const Block &block : blocks) {
        const Cleaned cleaned = Clean(block.text);
        if (!cleaned.error.isEmpty()) {
            result.errors.append({fileName, block.line, cleaned.error});
            continue;
        }
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(cleaned.json, &error);
        if (error.error != QJsonParseError::NoError) {
            const auto before =
                std::lower_bound(cleaned.newlines.begin(), cleaned.newlines.end(), error.offset);
            const int line = block.line + int(before - cleaned.newlines.begin());
            result.errors.append(
                {fileName, line,
                 QStringLiteral("The JSON cannot be read: %1").arg(error.errorString())});
            continue;
        }
        documents.append({block.line, doc});
    }
    for (const auto &[line, doc] : std::as_const(documents)) {
        extractor.SetLine(line);
        extractor.Collect(doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object()), 0);
    }
    extractor.Finish(result);
    if (result.recipes.isEmpty() && result.errors.isEmpty())
        result.errors.append({fileName, 0,
                              isJson ? QStringLiteral("No schema.org Recipe found in the JSON")
                                     : QStringLiteral("No schema.org Recipe found on the page")});
    return result;
}

QByteArray WriteJsonLd(const QList<cookbook::Recipe> &recipes)
{
    QJsonArray all;
    for (const cookbook::Recipe &r : recipes) {
        QJsonObject o;
        o.insert(QStringLiteral("@context"), QStringLiteral("https://schema.org"));
        o.insert(QStringLiteral("@type"), QStringLiteral("Recipe"));
        o.insert(QStringLiteral("name"), r.title);
        const auto put = [&o](const char *key, const QString &value) {
            if (!value.isEmpty())
                o.insert(QLatin1String(key), value);
        };
        put("recipeCategory", r.category);
        put("recipeCuisine", r.cuisine);
        put("recipeYield", r.servings);
        const auto duration = [](const QString &text) {
            const QString iso = IsoDuration(text);
            return iso.isEmpty() ? text : iso;
        };
        put("prepTime", duration(r.prepTime));
        put("cookTime", duration(r.cookTime));
        if (r.misc.startsWith(QLatin1String("Total time: ")))
            put("totalTime", duration(r.misc.mid(12)));
        put("description", r.notes);
        if (r.source.startsWith(QLatin1String("http://")) ||
            r.source.startsWith(QLatin1String("https://")))
            put("url", r.source);
        else if (!r.source.isEmpty())
            o.insert(QStringLiteral("author"),
                     QJsonObject{{QStringLiteral("@type"), QStringLiteral("Person")},
                                 {QStringLiteral("name"), r.source}});
        static const QRegularExpression ratingRe(
            QStringLiteral("^([0-9.]+)(?: \\(([0-9]+) ratings\\))?$"));
        if (const QRegularExpressionMatch m = ratingRe.match(r.rating); m.hasMatch()) {
            QJsonObject rating{{QStringLiteral("@type"), QStringLiteral("AggregateRating")},
                               {QStringLiteral("ratingValue"), m.captured(1)}};
            if (!m.captured(2).isEmpty())
                rating.insert(QStringLiteral("ratingCount"), m.captured(2));
            o.insert(QStringLiteral("aggregateRating"), rating);
        }
        QJsonArray ingredients;
        for (const cookbook::Ingredient &i : r.ingredients) {
            QStringList parts;
            for (const QString &p : {i.amount, i.measure, i.ingredient})
                if (!p.isEmpty())
                    parts << p;
            ingredients.append(parts.join(QLatin1Char(' ')));
        }
        o.insert(QStringLiteral("recipeIngredient"), ingredients);
        QJsonArray steps;
        for (const QString &s : r.directions)
            steps.append(QJsonObject{{QStringLiteral("@type"), QStringLiteral("HowToStep")},
                                     {QStringLiteral("text"), s}});
        o.insert(QStringLiteral("recipeInstructions"), steps);
        all.append(o);
    }
    if (all.size() == 1)
        return QJsonDocument(all.first().toObject()).toJson();
    return QJsonDocument(all).toJson();
}

} // namespace zestrel::formats
