// RGB565 colours: conversion to and from 8 bits a channel, and the choice of a text
// colour that can be read on a background.
#ifndef HOST_TOOLKIT_LOOK_COLOUR_H
#define HOST_TOOLKIT_LOOK_COLOUR_H

#include <cstdint>

namespace termsim {

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
};

// Each channel widened to 8 bits (0 stays 0, full stays 255).
Rgb ToRgb(uint16_t colour);
// The RGB565 colour nearest to an 8-bit-a-channel one; ToRgb's results come back exact.
uint16_t FromRgb(Rgb rgb);

// A text colour that can be read on bg: fg itself when it contrasts enough, else
// white or black, whichever contrasts more.
uint16_t ReadableOn(uint16_t fg, uint16_t bg);

}  // namespace termsim

#endif
