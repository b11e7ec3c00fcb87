// libFuzzer target for the Cooklang reader; what it reads it writes and reads again.
#include "formats/Formats.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace zestrel::formats;
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const ReadResult result = ReadCooklang(bytes, QStringLiteral("fuzz.cook"));
    if (result.recipes.size() > 1)
        abort();
    for (const auto &recipe : result.recipes)
        ReadCooklang(WriteCooklang(recipe), QStringLiteral("again.cook"));
    return 0;
}
