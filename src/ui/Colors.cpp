#include "ui/Colors.h"

namespace zestrel
{

QColor BgrToQColor(std::uint32_t bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

std::uint32_t QColorToBgr(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return std::uint32_t(rgb.red()) | (std::uint32_t(rgb.green()) << 8) |
           (std::uint32_t(rgb.blue()) << 16);
}

} // namespace zestrel
