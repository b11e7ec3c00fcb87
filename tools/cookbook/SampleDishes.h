// The dishes sample recipes are made from: for each a title, the categories it belongs
// in, and ingredients and steps that make that dish, so a generated recipe reads like
// one a cook wrote down.
#pragma once

#include <initializer_list>

namespace zestrel::cookbook::sample
{

// One ingredient line. An amount starting with '?' marks an optional line: a recipe
// takes it or leaves it (the '?' is not part of the amount).
struct Item {
    const char *amount;
    const char *measure;
    const char *name;
    const char *cabinet;
};

// What a title's "%v" stands for: the word in the title, the category it adds, the name
// the steps use for it ("%m") and its own ingredient lines, which come first.
struct Variant {
    const char *word;
    const char *category;
    const char *main;
    std::initializer_list<Item> items;
};

// A word before the title, and the line it brings (an empty name: none).
struct Style {
    const char *word;
    Item item;
};

struct Dish {
    char type;           // 'F', 'D' or 'O'
    const char *cuisine; // empty: at home in any cuisine
    const char *title;   // "%v": the variant's word
    std::initializer_list<const char *> styles;
    std::initializer_list<Variant> variants;
    std::initializer_list<const char *> categories;
    std::initializer_list<Item> items;
    // In order; a leading '?' marks an optional step, "%m" the variant's main ingredient.
    std::initializer_list<const char *> steps;
    int servingsLo, servingsHi;
    int prepMinutes, cookMinutes; // typical; recipes vary around them
};

const Style *FindStyle(const char *word);
const Dish *Dishes();
int DishCount();

} // namespace zestrel::cookbook::sample
