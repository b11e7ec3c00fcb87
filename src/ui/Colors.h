// Colours as the settings store them: 24-bit numbers laid out 0x00BBGGRR (red in
// the low byte; 255 is red, 16777215 white). The top byte is ignored.
#pragma once

#include <QColor>
#include <cstdint>

namespace zestrel
{

QColor BgrToQColor(std::uint32_t bgr);
std::uint32_t QColorToBgr(const QColor &color);

} // namespace zestrel
