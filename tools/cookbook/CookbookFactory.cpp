#include "cookbook/CookbookFactory.h"

#include "config/Ini.h"

#include <QAtomicInteger>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

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

const char *const kFoodStyles[] = {
    "Spicy",   "Grandma's", "Easy",    "Classic", "Creamy",  "Crispy",         "Slow Cooker",
    "Grilled", "Baked",     "Roasted", "Lemon",   "Garlic",  "Honey",          "Smoky",
    "Country", "Quick",     "Herbed",  "Cajun",   "Tuscan",  "Sweet and Sour", "Old-Fashioned",
    "Mom's",   "Hearty",    "Zesty",   "Golden",  "Stuffed", "Braised"};
const char *const kFoodMains[] = {
    "Chicken",  "Beef",      "Pork",    "Salmon",   "Shrimp",   "Turkey",  "Lamb",   "Tofu",
    "Mushroom", "Potato",    "Spinach", "Broccoli", "Pumpkin",  "Apple",   "Cherry", "Chocolate",
    "Banana",   "Zucchini",  "Cheddar", "Bacon",    "Lentil",   "Sausage", "Crab",   "Corn",
    "Carrot",   "Blueberry", "Peach",   "Ham",      "Eggplant", "Cod"};
const char *const kFoodDishes[] = {"Stew",       "Casserole",  "Soup",      "Pie",      "Salad",
                                   "Curry",      "Stir-Fry",   "Tacos",     "Lasagna",  "Chili",
                                   "Bread",      "Muffins",    "Cookies",   "Cake",     "Pasta",
                                   "Risotto",    "Skillet",    "Kabobs",    "Meatloaf", "Burgers",
                                   "Quiche",     "Cobbler",    "Chowder",   "Fritters", "Pot Roast",
                                   "Sandwiches", "Enchiladas", "Dumplings", "Bars",     "Crumble"};
const char *const kDrinkStyles[] = {"Frozen",   "Hot",   "Spiced",  "Iced",   "Sparkling",
                                    "Tropical", "Minty", "Holiday", "Creamy", "Fresh"};
const char *const kDrinkMains[] = {"Mango",     "Strawberry", "Lemon",  "Cranberry", "Apple",
                                   "Coffee",    "Cocoa",      "Peach",  "Pineapple", "Ginger",
                                   "Raspberry", "Lime",       "Orange", "Vanilla",   "Melon"};
const char *const kDrinkKinds[] = {"Smoothie", "Punch",    "Cider", "Lemonade", "Margarita",
                                   "Shake",    "Cooler",   "Latte", "Iced Tea", "Spritzer",
                                   "Eggnog",   "Daiquiri", "Slush"};
const char *const kOtherTitles[] = {"Homemade Dog Biscuits",
                                    "Play Dough",
                                    "Lavender Bath Salts",
                                    "Bird Suet Cakes",
                                    "Window Cleaner",
                                    "Salt Dough Ornaments",
                                    "Finger Paint",
                                    "Potpourri Mix",
                                    "Cat Treats",
                                    "Bubble Solution",
                                    "Herb Vinegar Gift Jar",
                                    "Sugar Scrub",
                                    "Pine Cone Fire Starters",
                                    "Scented Candles",
                                    "Garden Slug Bait",
                                    "Lip Balm"};

const char *const kFoodCategories[] = {
    "Beef",        "Chicken",     "Pork",       "Seafood",   "Vegetarian", "Soups",
    "Salads",      "Desserts",    "Breads",     "Breakfast", "Appetizers", "Main Dishes",
    "Side Dishes", "Pasta",       "Casseroles", "Cookies",   "Cakes",      "Pies",
    "Sauces",      "Slow Cooker", "Grilling",   "Holiday",   "Kids",       "Low Fat"};
const char *const kDrinkCategories[] = {"Cocktails",     "Smoothies", "Punches", "Coffee & Tea",
                                        "Non-Alcoholic", "Holiday",   "Shakes"};
const char *const kOtherCategories[] = {"Crafts", "Pet Treats", "Household",
                                        "Gifts",  "Garden",     "Kids"};

struct Ingredient {
    const char *name;
    const char *cabinet;
};
const Ingredient kIngredients[] = {{"all-purpose flour", "Baking"},
                                   {"sugar", "Baking"},
                                   {"brown sugar", "Baking"},
                                   {"baking soda", "Baking"},
                                   {"baking powder", "Baking"},
                                   {"salt", "Spices"},
                                   {"black pepper", "Spices"},
                                   {"paprika", "Spices"},
                                   {"ground cinnamon", "Spices"},
                                   {"ground cumin", "Spices"},
                                   {"dried oregano", "Spices"},
                                   {"chili powder", "Spices"},
                                   {"butter", "Dairy"},
                                   {"milk", "Dairy"},
                                   {"eggs", "Dairy"},
                                   {"heavy cream", "Dairy"},
                                   {"sour cream", "Dairy"},
                                   {"cheddar cheese", "Dairy"},
                                   {"parmesan cheese", "Dairy"},
                                   {"cream cheese", "Dairy"},
                                   {"onion", "Produce"},
                                   {"garlic cloves", "Produce"},
                                   {"carrots", "Produce"},
                                   {"celery", "Produce"},
                                   {"potatoes", "Produce"},
                                   {"tomatoes", "Produce"},
                                   {"green bell pepper", "Produce"},
                                   {"fresh parsley", "Produce"},
                                   {"lemon juice", "Produce"},
                                   {"mushrooms", "Produce"},
                                   {"spinach", "Produce"},
                                   {"apples", "Produce"},
                                   {"bananas", "Produce"},
                                   {"chicken breasts", "Meat"},
                                   {"ground beef", "Meat"},
                                   {"pork chops", "Meat"},
                                   {"bacon", "Meat"},
                                   {"smoked sausage", "Meat"},
                                   {"shrimp", "Seafood"},
                                   {"salmon fillets", "Seafood"},
                                   {"olive oil", "Pantry"},
                                   {"vegetable oil", "Pantry"},
                                   {"chicken broth", "Pantry"},
                                   {"beef broth", "Pantry"},
                                   {"soy sauce", "Pantry"},
                                   {"honey", "Pantry"},
                                   {"rice", "Pantry"},
                                   {"spaghetti", "Pantry"},
                                   {"canned black beans", "Pantry"},
                                   {"tomato sauce", "Pantry"},
                                   {"vanilla extract", "Baking"},
                                   {"chocolate chips", "Baking"},
                                   {"rolled oats", "Baking"},
                                   {"frozen peas", "Frozen"},
                                   {"frozen corn", "Frozen"},
                                   {"ice cubes", "Frozen"},
                                   {"orange juice", "Beverages"},
                                   {"ginger ale", "Beverages"},
                                   {"brewed coffee", "Beverages"},
                                   {"cranberry juice", "Beverages"}};
const char *const kAmounts[] = {"1",     "2",   "3", "4", "1/2", "1/4", "3/4", "1 1/2",
                                "2 1/2", "1/3", "6", "8", "12",  "",    "1/8", "5"};
const char *const kMeasures[] = {"cup",       "cups",   "tablespoon", "tablespoons", "teaspoon",
                                 "teaspoons", "pound",  "pounds",     "ounce",       "ounces",
                                 "can",       "clove",  "pinch",      "dash",        "",
                                 "quart",     "package"};
const char *const kSteps[] = {
    "Preheat the oven to 350 degrees F (175 degrees C).",
    "In a large bowl, whisk together the dry ingredients.",
    "Heat the oil in a large skillet over medium-high heat.",
    "Add the onion and garlic; cook and stir until tender, about 5 minutes.",
    "Stir in the remaining ingredients and bring to a boil.",
    "Reduce heat, cover, and simmer for 20 minutes, stirring now and then.",
    "Pour into a greased 9x13 inch baking dish.",
    "Bake for 30 to 35 minutes, or until golden brown.",
    "Season to taste with salt and pepper.",
    "Let cool for 10 minutes before serving.",
    "Blend until smooth and pour into chilled glasses.",
    "Garnish with fresh parsley and serve hot.",
    "Cover and refrigerate at least 2 hours, or overnight.",
    "Beat the butter and sugar until light and fluffy; beat in the eggs one at a time.",
    "Drop by rounded spoonfuls onto ungreased baking sheets.",
    "Grill over medium heat, turning once, until cooked through.",
    "Store in an airtight container for up to one week."};
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
const char *const kCuisines[] = {"",       "American", "Italian", "Mexican", "Chinese",
                                 "French", "Indian",   "Greek",   "Cajun",   "Thai"};

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

QString Title(Random &rng, char type)
{
    switch (type) {
    case 'D':
        return QString::fromLatin1(rng.pick(kDrinkStyles)) + QLatin1Char(' ') +
               QString::fromLatin1(rng.pick(kDrinkMains)) + QLatin1Char(' ') +
               QString::fromLatin1(rng.pick(kDrinkKinds));
    case 'O':
        return QString::fromLatin1(rng.pick(kOtherTitles)) +
               (rng.chance(50) ? QString() : QStringLiteral(" #%1").arg(rng.between(2, 99)));
    default:
        return QString::fromLatin1(rng.pick(kFoodStyles)) + QLatin1Char(' ') +
               QString::fromLatin1(rng.pick(kFoodMains)) + QLatin1Char(' ') +
               QString::fromLatin1(rng.pick(kFoodDishes));
    }
}

template <std::size_t N> QString Category(Random &rng, const char *const (&names)[N])
{
    const int roll = rng.below(100);
    if (roll < 6)
        return QString(); // uncategorised
    if (roll < 8)
        return QStringLiteral("  "); // blank, as some old entries are
    QString first = QString::fromLatin1(rng.pick(names));
    if (roll < 26) { // a combination such as "Beef, Main Dishes"
        QString second = QString::fromLatin1(rng.pick(names));
        if (second != first)
            return first + QStringLiteral(", ") + second;
    }
    return first;
}

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
    for (int n = 0; n < recipes; ++n) {
        const qint64 id = start + n;
        const int typeRoll = rng.below(100);
        const char type = typeRoll < mix.foodPercent                      ? 'F'
                          : typeRoll < mix.foodPercent + mix.drinkPercent ? 'D'
                                                                          : 'O';
        const QString category = type == 'D'   ? Category(rng, kDrinkCategories)
                                 : type == 'O' ? Category(rng, kOtherCategories)
                                               : Category(rng, kFoodCategories);
        const bool isPrivate = rng.chance(4);
        s.privateCount += isPrivate ? 1 : 0;
        const QVariantList values{
            id,
            QString(QLatin1Char(type)),
            Title(rng, type),
            category,
            QString::number(rng.between(1, 12)),
            QStringLiteral("%1 min").arg(rng.between(1, 12) * 5),
            QStringLiteral("%1 min").arg(rng.between(0, 24) * 5),
            QString::fromLatin1(rng.pick(kNotes)),
            QString(),
            QString::fromLatin1(rng.pick(kSources)),
            mix.cuisines.isEmpty() ? QString::fromLatin1(rng.pick(kCuisines))
                                   : mix.cuisines[rng.below(int(mix.cuisines.size()))],
            rng.chance(10) ? QStringLiteral("Tested %1 times").arg(rng.between(1, 9)) : QString(),
            isPrivate ? 1 : 0};
        for (const QVariant &v : values)
            recipe.addBindValue(v);
        if (!recipe.exec())
            return fail(recipe);
        const int ingredients = rng.between(2, 15);
        for (int i = 1; i <= ingredients; ++i) {
            const Ingredient &ing = rng.pick(kIngredients);
            ingredient.addBindValue(id);
            ingredient.addBindValue(i);
            ingredient.addBindValue(QString::fromLatin1(rng.pick(kAmounts)));
            ingredient.addBindValue(QString::fromLatin1(rng.pick(kMeasures)));
            ingredient.addBindValue(QString::fromLatin1(ing.name));
            ingredient.addBindValue(QString::fromLatin1(ing.cabinet));
            if (!ingredient.exec())
                return fail(ingredient);
        }
        const int steps = rng.between(1, 10);
        for (int i = 1; i <= steps; ++i) {
            direction.addBindValue(id);
            direction.addBindValue(i);
            direction.addBindValue(QString::fromLatin1(rng.pick(kSteps)));
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
