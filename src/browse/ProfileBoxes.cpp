#include "browse/ProfileBoxes.h"

namespace zestrel
{

QString ProfileBoxes::Text(int index) const
{
    if (index < 0 || index >= Count)
        return {};
    return texts_[std::size_t(index)];
}

void ProfileBoxes::SetText(int index, const QString &text)
{
    if (index < 0 || index >= Count)
        return;
    auto &t = texts_[std::size_t(index)];
    if (t == text)
        return;
    t = text;
    emit textChanged(index, text);
    emit changed();
}

} // namespace zestrel
