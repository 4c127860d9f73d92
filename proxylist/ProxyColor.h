#pragma once

#include <QColor>

// Row text colours, stored the way the table has always stored them: blue * 65536 + green * 256 + red.
namespace ProxyColor {
inline constexpr int Default = -1; // the table's own text colour, for rows no test has touched
inline constexpr int Black = 0;
inline constexpr int Green = 65280;
inline constexpr int Red = 255;

inline QColor toQColor(int bgr)
{
    return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
}
} // namespace ProxyColor
