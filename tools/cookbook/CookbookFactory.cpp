#include "cookbook/CookbookFactory.h"

#include "config/Ini.h"
#include "cookbook/SampleDishes.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <map>
#include <vector>

namespace zestrel::cookbook
{

namespace
{

// A small deterministic generator (splitmix64): the same seed gives the same
// cookbook on every platform, unlike the standard distributions.
class Random
{
  public:
    explicit Random(quint64 seed) : state_(seed) {}
    quint64 next()
    {
        quint64 z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return n <= 0 ? 0 : int(next() % quint64(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T, std::size_t N> const T &pick(const T (&items)[N])
    {
        return items[below(int(N))];
    }

  private:
    quint64 state_;
};

const char *const kNotes[] = {"",
                              "A family favourite for Sunday dinner.",
                              "Doubles easily for a crowd.",
                              "Freezes well for up to three months.",
                              "From the church cookbook, 1978.",
                              "Kids love this one!",
                              "Use fresh herbs when you can get them.",
                              "Make ahead the night before.\r\nReheat gently."};
const char *const kSources[] = {"",
                                "Family recipe",
                                "County fair 1992",
                                "Neighbour's card",
                                "Community cookbook",
                                "Cooking class"};

QString NewConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("zestrel-factory-%1").arg(counter.fetchAndAddRelaxed(1));
}

bool Exec(QSqlQuery &q, const QString &sql, QString *error)
{
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

// Opens FOLDER/cookbook.db for the duration of a call, removing the connection after.
class Connection
{
  public:
    explicit Connection(const QString &folder) : name_(NewConnectionName())
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name_);
        db.setDatabaseName(QDir(folder).filePath(QStringLiteral("cookbook.db")));
    }
    ~Connection()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(name_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(name_);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(name_, false); }

  private:
    QString name_;
};

template <typename T> const T &Pick(Random &rng, std::initializer_list<T> items)
{
    return items.begin()[rng.below(int(items.size()))];
}

QString Latin1(const char *text)
{
    return QString::fromLatin1(text);
}

// One sample recipe, made from a dish.
struct Made {
    QString title;
    QString category;
    QString cuisine;
    QString servings, prepTime, cookTime;
    struct Line {
        QString amount, measure, name, cabinet;
    };
    QList<Line> lines;
    QStringList steps;
};

// A category that fits the dish: one of its own, now and then two of them ("Beef, Main
// Dishes"), and a few left empty or blank, as some old entries are.
QString Category(Random &rng, const sample::Dish &dish, const sample::Variant *variant)
{
    const int roll = rng.below(100);
    if (roll < 6)
        return QString();
    if (roll < 8)
        return QStringLiteral("  ");
    QStringList names;
    if (variant)
        names << Latin1(variant->category);
    for (const char *name : dish.categories)
        if (!names.contains(Latin1(name)))
            names << Latin1(name);
    const QString first = names[rng.below(int(names.size()))];
    if (roll < 26) {
        const QString second = names[rng.below(int(names.size()))];
        if (second != first)
            return first + QStringLiteral(", ") + second;
    }
    return first;
}

QString Minutes(Random &rng, int typical)
{
    if (typical <= 0)
        return QString();
    // Around the typical time, in steps of five minutes.
    const int minutes = std::max(5, (typical + rng.between(-2, 3) * typical / 8 + 2) / 5 * 5);
    return QStringLiteral("%1 min").arg(minutes);
}

void Make(Random &rng, const sample::Dish &dish, Made &out)
{
    const sample::Variant *variant =
        dish.variants.size() == 0 ? nullptr : &Pick(rng, dish.variants);
    QString title = Latin1(dish.title);
    if (variant)
        title.replace(QStringLiteral("%v"), Latin1(variant->word));
    // A word before the title, unless the title has it already ("Lemon Lemonade").
    const sample::Style *style = nullptr;
    if (dish.styles.size() > 0 && rng.chance(55)) {
        const char *word = Pick(rng, dish.styles);
        if (!title.contains(Latin1(word).left(5), Qt::CaseInsensitive)) {
            style = sample::FindStyle(word);
            title = Latin1(word) + QLatin1Char(' ') + title;
        }
    }
    out.title = title;
    out.category = Category(rng, dish, variant);
    out.servings = QString::number(rng.between(dish.servingsLo, dish.servingsHi));
    out.prepTime = Minutes(rng, dish.prepMinutes);
    out.cookTime = Minutes(rng, dish.cookMinutes);

    out.lines.clear();
    // The optional lines taken and left out, by their name up to a comma ("green onions"):
    // an optional step naming one is taken exactly when its line is.
    QStringList taken, leftOut;
    auto add = [&](const sample::Item &item) {
        const char *amount = item.amount;
        const QString name = Latin1(item.name);
        if (*amount == '?') {
            ++amount;
            (rng.chance(55) ? taken : leftOut) << name.section(QLatin1Char(','), 0, 0);
            if (leftOut.contains(name.section(QLatin1Char(','), 0, 0)))
                return;
        }
        for (const Made::Line &line : out.lines)
            if (line.name == name)
                return;
        out.lines.append({Latin1(amount), Latin1(item.measure), name, Latin1(item.cabinet)});
    };
    if (variant)
        for (const sample::Item &item : variant->items)
            add(item);
    for (const sample::Item &item : dish.items)
        add(item);
    if (style && *style->item.name)
        add(style->item);

    out.steps.clear();
    const QString main = variant ? Latin1(variant->main) : QString();
    auto names = [](const QString &step, const QStringList &lines) {
        for (const QString &line : lines)
            if (step.contains(line, Qt::CaseInsensitive))
                return true;
        return false;
    };
    for (const char *step : dish.steps) {
        if (*step == '?') {
            ++step;
            const QString text = Latin1(step);
            if (names(text, leftOut) || (!names(text, taken) && !rng.chance(55)))
                continue;
        }
        QString text = Latin1(step);
        text.replace(QStringLiteral("%m"), main);
        out.steps << text;
    }
}

// The dishes a recipe of one type and cuisine is made from: those of that cuisine (four
// times, so a cook of that cuisine mostly cooks its dishes) and those at home anywhere.
class DishChooser
{
  public:
    explicit DishChooser(const QStringList &cuisines) : cuisines_(cuisines)
    {
        const int lists = int(std::max<qsizetype>(1, cuisines.size()));
        for (char type : {'F', 'D', 'O'})
            for (int c = 0; c < lists; ++c) {
                std::vector<int> &list = lists_[Key(type, c)];
                for (int d = 0; d < sample::DishCount(); ++d) {
                    const sample::Dish &dish = sample::Dishes()[d];
                    if (dish.type != type)
                        continue;
                    const QString own = Latin1(dish.cuisine);
                    if (cuisines.isEmpty() || own.isEmpty())
                        list.push_back(d);
                    else if (own.compare(cuisines[c].trimmed(), Qt::CaseInsensitive) == 0)
                        list.insert(list.end(), 4, d);
                }
            }
    }
    // Picks the dish and the cuisine it is labelled with.
    const sample::Dish &Choose(Random &rng, char type, QString &cuisine)
    {
        const int c = cuisines_.isEmpty() ? 0 : rng.below(int(cuisines_.size()));
        const std::vector<int> &list = lists_[Key(type, c)];
        const sample::Dish &dish = sample::Dishes()[list[std::size_t(rng.below(int(list.size())))]];
        if (!cuisines_.isEmpty())
            cuisine = cuisines_[c];
        else if (*dish.cuisine)
            cuisine = Latin1(dish.cuisine);
        else if (type == 'O')
            cuisine.clear(); // crafts and household recipes belong to no cuisine
        else                 // a dish at home anywhere is cooked at home
            cuisine = rng.chance(50) ? QString() : QStringLiteral("American");
        return dish;
    }

  private:
    static int Key(char type, int cuisine)
    {
        return cuisine * 4 + (type == 'F' ? 0 : type == 'D' ? 1 : 2);
    }
    QStringList cuisines_;
    std::map<int, std::vector<int>> lists_;
};

} // namespace

bool FillSample(const QString &folder, int recipes, quint64 seed, QString *error,
                SampleSummary *summary, const SampleMix &mix)
{
    if (!CreateCookbook(folder, error))
        return false;
    Random rng(seed);
    SampleSummary s;
    Connection c(folder);
    QSqlDatabase db = c.db();
    if (!db.open()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    QSqlQuery q(db);
    // Bulk filling only: nothing else uses the file meanwhile.
    if (!Exec(q, QStringLiteral("PRAGMA synchronous = OFF"), error) ||
        !Exec(q, QStringLiteral("SELECT COALESCE(MAX(id), 0) FROM RECIPE"), error) || !q.next())
        return false;
    const qint64 start = q.value(0).toLongLong() + 1;
    const bool wasEmpty = start == 1;
    const qint64 shipped = wasEmpty ? qint64(recipes) * 3 / 5 : 0;

    if (!db.transaction()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    QSqlQuery recipe(db), ingredient(db), direction(db);
    const bool prepared =
        recipe.prepare(QStringLiteral(
            "INSERT INTO RECIPE (id, type, title, category, servings, prep_time, cook_time, notes, "
            "rating, source, cuisine, misc, private) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
            "?)")) &&
        ingredient.prepare(QStringLiteral(
            "INSERT INTO INGREDIENTS (recipe_id, ingred_id, amount, measure, ingredient, cabinet) "
            "VALUES (?, ?, ?, ?, ?, ?)")) &&
        direction.prepare(
            QStringLiteral("INSERT INTO DIRECTIONS (recipe_id, step, direction) VALUES (?, ?, ?)"));
    if (!prepared) {
        if (error)
            *error = db.lastError().text();
        db.rollback();
        return false;
    }
    auto fail = [&](QSqlQuery &query) {
        if (error)
            *error = query.lastError().text();
        db.rollback();
        return false;
    };
    DishChooser chooser(mix.cuisines);
    Made made;
    for (int n = 0; n < recipes; ++n) {
        const qint64 id = start + n;
        const int typeRoll = rng.below(100);
        const char type = typeRoll < mix.foodPercent                      ? 'F'
                          : typeRoll < mix.foodPercent + mix.drinkPercent ? 'D'
                                                                          : 'O';
        const sample::Dish &dish = chooser.Choose(rng, type, made.cuisine);
        Make(rng, dish, made);
        const bool isPrivate = rng.chance(4);
        s.privateCount += isPrivate ? 1 : 0;
        const QVariantList values{
            id,
            QString(QLatin1Char(type)),
            made.title,
            made.category,
            made.servings,
            made.prepTime,
            made.cookTime,
            QString::fromLatin1(rng.pick(kNotes)),
            QString(),
            QString::fromLatin1(rng.pick(kSources)),
            made.cuisine,
            rng.chance(10) ? QStringLiteral("Tested %1 times").arg(rng.between(1, 9)) : QString(),
            isPrivate ? 1 : 0};
        for (const QVariant &v : values)
            recipe.addBindValue(v);
        if (!recipe.exec())
            return fail(recipe);
        int position = 0;
        for (const Made::Line &line : std::as_const(made.lines)) {
            ingredient.addBindValue(id);
            ingredient.addBindValue(++position);
            ingredient.addBindValue(line.amount);
            ingredient.addBindValue(line.measure);
            ingredient.addBindValue(line.name);
            ingredient.addBindValue(line.cabinet);
            if (!ingredient.exec())
                return fail(ingredient);
        }
        position = 0;
        for (const QString &step : std::as_const(made.steps)) {
            direction.addBindValue(id);
            direction.addBindValue(++position);
            direction.addBindValue(step);
            if (!direction.exec())
                return fail(direction);
        }
    }
    if (!db.commit()) {
        if (error)
            *error = db.lastError().text();
        return false;
    }
    const QString ini = QDir(folder).filePath(QStringLiteral("cookbook.ini"));
    if (wasEmpty && recipes > 0 &&
        !WriteIniKey(ini, QStringLiteral("Misc"), QStringLiteral("MaxRecipeID=%1").arg(shipped),
                     error))
        return false;
    s.firstId = start;
    s.lastId = start + recipes - 1;
    s.maxRecipeId =
        ReadIniKey(ini, QStringLiteral("Misc"), QStringLiteral("MaxRecipeID")).toLongLong();
    if (summary)
        *summary = s;
    return true;
}

} // namespace zestrel::cookbook
