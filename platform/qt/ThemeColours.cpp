#include "platform/qt/ThemeColours.h"

#include <algorithm>

namespace riffo {

bool IsDarkPalette(const QPalette& palette) {
  return palette.color(QPalette::Base).lightness() < palette.color(QPalette::Text).lightness();
}

QColor ThemedBackground(QRgb lightColour, const QPalette& palette) {
  const QColor light = QColor::fromRgb(lightColour);
  if (!IsDarkPalette(palette)) return light;
  const QColor base = palette.color(QPalette::Base);
  // As far above the dark base as the light colour is below white.
  const int lift = 255 - light.lightness();
  const int lightness = std::clamp(base.lightness() + lift, 0, 255);
  // Half the saturation: a fully saturated hue at this lightness glares
  // against dark surroundings and takes contrast from the text.
  const int saturation = light.hslSaturation() / 2;
  const int hue = light.hslHue();  // -1 for a grey, which stays grey
  return QColor::fromHsl(hue < 0 ? 0 : hue, hue < 0 ? 0 : saturation, lightness);
}

}  // namespace riffo
