// libFuzzer target for the payload codecs: every decoder takes any text, and what a
// decoder accepts its encoder turns back into a text that decodes to the same value.
#include "wire/Payloads.h"

#include <cstdint>
#include <cstdlib>

namespace
{
// Text that holds separator characters of its own next to a separator cannot be told
// apart once encoded (the separators are runs of control characters), so the round trip
// is checked only on text whose separators are all whole.
bool g_check = true;

template <typename Decoded, typename Decoder>
void RoundTrip(const std::optional<Decoded> &value, Decoder decode)
{
    if (g_check && value && decode(zestrel::wire::Encode(*value)) != value)
        abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace zestrel::wire;
    // Payloads are UTF-8; the first byte picks the separators' stand-ins so that short
    // inputs reach the separator paths.
    QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    g_check = true;
    for (const QString *sep : {&FieldSep(), &ListSep(), &ArgSep()})
        for (const QChar c : *sep)
            if (text.contains(c))
                g_check = false;
    text.replace(QLatin1Char('|'), FieldSep())
        .replace(QLatin1Char('^'), ListSep())
        .replace(QLatin1Char('~'), ArgSep());

    DecodeMembers(text);
    const Profile profile = DecodeProfile(text);
    const auto plain = [](const QString &field) {
        for (const QString *sep : {&FieldSep(), &ListSep(), &ArgSep()})
            for (const QChar c : *sep)
                if (field.contains(c))
                    return false;
        return true;
    };
    // A profile is two free texts: the check holds for texts without separator characters.
    if (g_check && plain(profile.description) && plain(profile.extended) &&
        DecodeProfile(EncodeProfile(profile)) != profile)
        abort();
    RoundTrip(DecodeCategoriesRequest(text), DecodeCategoriesRequest);
    RoundTrip(DecodeLettersRequest(text), DecodeLettersRequest);
    RoundTrip(DecodeRecipesRequest(text), DecodeRecipesRequest);
    RoundTrip(DecodeBrowseReply(text), DecodeBrowseReply);
    RoundTrip(DecodeRecipeRequest(text), DecodeRecipeRequest);
    RoundTrip(DecodeSearchCriteria(text), DecodeSearchCriteria);
    RoundTrip(DecodeChatLine(text), DecodeChatLine);
    DecodeSearchHits(text);
    DecodeRoomList(text);
    return 0;
}
