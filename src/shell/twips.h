#pragma once

#include <QWidget>
#include <cmath>

// Twips (1/1440 inch) to pixels and back at a widget's logical resolution: 15 twips per
// pixel at 96 dpi. The design values of the windows are kept in twips.
namespace Twips {

inline double perPixelX(const QWidget *w)
{
    const int dpi = w ? w->logicalDpiX() : 96;
    return 1440.0 / (dpi > 0 ? dpi : 96);
}
inline double perPixelY(const QWidget *w)
{
    const int dpi = w ? w->logicalDpiY() : 96;
    return 1440.0 / (dpi > 0 ? dpi : 96);
}
inline int toPixelsX(const QWidget *w, double twips)
{
    return int(std::lround(twips / perPixelX(w)));
}
inline int toPixelsY(const QWidget *w, double twips)
{
    return int(std::lround(twips / perPixelY(w)));
}
inline double fromPixelsX(const QWidget *w, int px)
{
    return px * perPixelX(w);
}
inline double fromPixelsY(const QWidget *w, int px)
{
    return px * perPixelY(w);
}

} // namespace Twips
