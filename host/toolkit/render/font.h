// The renderer's bitmap fonts: Terminus Font glyphs, taken at build time from Debian's
// console fonts (package console-setup-linux), looked up by Windows-1251 byte.
#ifndef HOST_TOOLKIT_RENDER_FONT_H
#define HOST_TOOLKIT_RENDER_FONT_H

#include <array>
#include <cstdint>

namespace termsim {

// A font as cmake/psf_font.cmake generates it from a PC Screen Font.
struct FontData {
  int width, height;  // of every glyph, in pixels
  int rowBytes;       // bytes a glyph row takes; the leftmost pixel is the top bit
  int glyphCount;
  const uint8_t* bitmaps;  // glyphCount glyphs of height rows each, top row first
  int mappingCount;
  const uint32_t* codePoints;  // mapping i: codePoints[i] is drawn with glyph glyphs[i]
  const uint16_t* glyphs;
};

class Font {
 public:
  explicit Font(const FontData& data);

  int width() const { return data_.width; }
  int height() const { return data_.height; }
  // The glyph of a Windows-1251 byte, or null for a byte drawn as a blank (control
  // characters, and characters the font lacks).
  const uint8_t* Glyph(unsigned char byte) const { return glyphs_[byte]; }
  // Whether pixel (x, y) of a glyph is set.
  bool Pixel(const uint8_t* glyph, int x, int y) const {
    return (glyph[y * data_.rowBytes + x / 8] >> (7 - x % 8)) & 1;
  }

 private:
  const FontData& data_;
  std::array<const uint8_t*, 256> glyphs_{};
};

// Ordinary text: Terminus 6 x 12.
const Font& TextFont();
// Titles, buttons and the clock: Terminus Bold 8 x 16.
const Font& BoldFont();
// Large values: Terminus Bold 12 x 24.
const Font& LargeFont();

}  // namespace termsim

#endif
