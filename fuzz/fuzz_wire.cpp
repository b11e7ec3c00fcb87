// libFuzzer target for the payload codecs: every decoder takes any text, and what a
// decoder accepts its encoder turns back into a text that decodes to the same value.
#include "wire/Payloads.h"

#include <cstdint>
#include <cstdlib>

namespace
{
template <typename Decoded, typename Decoder>
void RoundTrip(const std::optional<Decoded> &value, Decoder decode)
{
    if (value && decode(zestrel::wire::Encode(*value)) != value)
        abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace zestrel::wire;
    // Payloads are UTF-8; the first byte picks the separators' stand-ins so that short
    // inputs reach the separator paths.
    QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    text.replace(QLatin1Char('|'), FieldSep())
        .replace(QLatin1Char('^'), ListSep())
        .replace(QLatin1Char('~'), ArgSep());

    DecodeMembers(text);
    const Profile profile = DecodeProfile(text);
    if (DecodeProfile(EncodeProfile(profile)) != profile)
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
