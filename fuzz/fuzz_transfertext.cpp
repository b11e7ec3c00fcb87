// libFuzzer target for the transfer-text reader: any text a member sends is cut into
// sections, header and items without a crash.
#include "app/AppState.h"
#include "store/TransferText.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace zestrel;
    static Diagnostics diagnostics;
    static SilentPrompter prompter;
    static AppState app = [] {
        AppState a(diagnostics, prompter, QStringLiteral("/nonexistent"));
        a.InitSeparators();
        return a;
    }();
    QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    text.replace(QLatin1Char('|'), app.FieldSep).replace(QLatin1Char('^'), app.ListSep);
    const TransferRecipe recipe = ReadTransferText(text, app);
    for (const TransferItem &item : recipe.ingredients + recipe.directions)
        if (item.position < 0)
            abort();
    recipe.headerField(9);
    recipe.window();
    return 0;
}
