#include "platform/qt/ThemeColours.h"

#include <algorithm>
#include <cmath>

namespace riffo {

namespace {

double Luminance(const QColor& c) {
  auto channel = [](double v) { return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// 1 (none) to 21 (black on white).
double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor FromHsl(int hue, int saturation, int lightness) {
  if (hue < 0) return QColor(lightness, lightness, lightness);  // a grey stays grey
  return QColor::fromHsl(hue, saturation, lightness);
}

}  // namespace

bool IsDarkPalette(const QPalette& palette) {
  return palette.color(QPalette::Base).lightness() < palette.color(QPalette::Text).lightness();
}

QColor ThemedBackground(QRgb lightColour, const QPalette& palette) {
  const QColor light = QColor::fromRgb(lightColour);
  if (!IsDarkPalette(palette)) return light;
  const QColor base = palette.color(QPalette::Base);
  const QColor text = palette.color(QPalette::Text);
  // As far above the dark base as the light colour is below white, with
  // half the saturation: a full hue glares against dark surroundings.
  const int hue = light.hslHue();
  const int saturation = light.hslSaturation() / 2;
  const int floor = std::min(255, base.lightness() + 3);  // still tells the row from the base
  int lightness = std::clamp(base.lightness() + (255 - light.lightness()), floor, 255);
  // The text keeps most of the contrast it has on the base (black text on
  // the light colours keeps nearly all of its own).
  const double wanted = std::min(7.0, 0.85 * Contrast(base, text));
  QColor shown = FromHsl(hue, saturation, lightness);
  while (lightness > floor && Contrast(shown, text) < wanted) shown = FromHsl(hue, saturation, --lightness);
  return shown;
}

}  // namespace riffo
