#include "host/toolkit/look/colour.h"

#include <cmath>

namespace termsim {
namespace {

// Relative luminance of an RGB565 colour (sRGB weights, linearised).
double Luminance(uint16_t colour) {
  const double channel[3] = {((colour >> 11) & 31) / 31.0, ((colour >> 5) & 63) / 63.0,
                             (colour & 31) / 31.0};
  double linear[3];
  for (int i = 0; i < 3; ++i) {
    const double c = channel[i];
    linear[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
  }
  return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2];
}

double Contrast(uint16_t a, uint16_t b) {
  const double la = Luminance(a) + 0.05;
  const double lb = Luminance(b) + 0.05;
  return la > lb ? la / lb : lb / la;
}

unsigned Widen(unsigned value, unsigned max) { return value * 255u / max; }
unsigned Narrow(unsigned value, unsigned max) { return (value * max + 127u) / 255u; }

}  // namespace

Rgb ToRgb(uint16_t colour) {
  return Rgb{static_cast<uint8_t>(Widen((colour >> 11) & 31u, 31)),
             static_cast<uint8_t>(Widen((colour >> 5) & 63u, 63)),
             static_cast<uint8_t>(Widen(colour & 31u, 31))};
}

uint16_t FromRgb(Rgb rgb) {
  return static_cast<uint16_t>(Narrow(rgb.r, 31) << 11 | Narrow(rgb.g, 63) << 5 |
                               Narrow(rgb.b, 31));
}

uint16_t ReadableOn(uint16_t fg, uint16_t bg) {
  if (Contrast(fg, bg) >= 3.0) return fg;
  return Contrast(0xFFFF, bg) >= Contrast(0x0000, bg) ? 0xFFFF : 0x0000;
}

}  // namespace termsim
