#include "platform/qt/ThemeColours.h"

#include <algorithm>
#include <cmath>

namespace riffo {

namespace {

double Luminance(const QColor& c) {
  auto channel = [](double v) {
    return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// 1 (none) to 21 (black on white).
double Contrast(const QColor& a, const QColor& b) {
  const double la = Luminance(a), lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour of that hue and lightness whose chroma (the spread between its
// strongest and weakest channel) is chroma, as far as the lightness allows.
QColor WithChroma(int hue, double chroma, int lightness) {
  if (hue < 0) return QColor(lightness, lightness, lightness);  // a grey stays grey
  const double l = lightness / 255.0;
  const double room = 1.0 - std::fabs(2.0 * l - 1.0);
  const double saturation = room <= 0 ? 0.0 : std::min(1.0, chroma / room);
  return QColor::fromHslF(static_cast<float>(hue / 360.0), static_cast<float>(saturation),
                          static_cast<float>(l));
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
  // As far above the dark base as the light colour is below white, with the
  // same spread between its channels, so it is as strongly tinted as on white.
  const int hue = light.hslHue();
  const double chroma = (std::max({light.red(), light.green(), light.blue()}) -
                         std::min({light.red(), light.green(), light.blue()})) /
                        255.0;
  const int floor = std::min(255, base.lightness() + 3);  // still tells the row from the base
  int lightness = std::clamp(base.lightness() + (255 - light.lightness()), floor, 255);
  // The text keeps most of the contrast it has on the base (black text on
  // the light colours keeps nearly all of its own).
  const double wanted = std::min(7.0, 0.85 * Contrast(base, text));
  QColor shown = WithChroma(hue, chroma, lightness);
  while (lightness > floor && Contrast(shown, text) < wanted)
    shown = WithChroma(hue, chroma, --lightness);
  return shown;
}

}  // namespace riffo
