// Background colours that keep their meaning under any palette. The windows
// are designed with light backgrounds (banded tree rows, pastel report rows);
// under a light palette those colours are used exactly, under a dark one
// (light text on a dark base) a colour of the same hue stands off the
// palette's own base by as much as the light colour stands off white, so the
// theme's text stays readable.
#pragma once

#include <QColor>
#include <QPalette>

namespace riffo {

// True when the palette's text is lighter than its base.
bool IsDarkPalette(const QPalette& palette);

// lightColour as it should be shown under palette.
QColor ThemedBackground(QRgb lightColour, const QPalette& palette);

}  // namespace riffo
