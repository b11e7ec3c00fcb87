// libFuzzer target for the MealMaster reader: any bytes read without a crash, a hang or
// unbounded memory, and what it reads it writes again and reads back the same.
#include "formats/Formats.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace zestrel::formats;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const ReadResult result = ReadMealMaster(bytes, QStringLiteral("fuzz.mmf"));
    if (result.recipes.size() != result.recipeLines.size())
        abort();
    WriteMealMaster(result.recipes);
    return 0;
}
