// libFuzzer target for the JSON-LD reader: JSON documents and HTML pages (the bytes
// decide which) read without a crash, a hang or unbounded memory.
#include "formats/Formats.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace zestrel::formats;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const ReadResult result =
        ReadJsonLd(bytes, QStringLiteral("fuzz.html"), QStringLiteral("https://example.test/"));
    if (result.recipes.size() != result.recipeLines.size())
        abort();
    WriteJsonLd(result.recipes);
    for (const auto &recipe : result.recipes)
        for (const auto &ingredient : recipe.ingredients)
            ParseIngredientLine(ingredient.ingredient);
    return 0;
}
