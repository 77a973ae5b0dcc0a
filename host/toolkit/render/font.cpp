#include "host/toolkit/render/font.h"

#include "host/toolkit/look/cp1251.h"

namespace termsim {

// Generated at build time (host/toolkit/CMakeLists.txt).
extern const FontData kTerminus12x6;
extern const FontData kTerminusBold16;
extern const FontData kTerminusBold24x12;

Font::Font(const FontData& data) : data_(data) {
  const int glyphBytes = data.rowBytes * data.height;
  for (int byte = 0; byte < 256; ++byte) {
    const uint32_t codePoint = Cp1251ToCodePoint(static_cast<unsigned char>(byte));
    if (!IsPrintable(codePoint)) continue;
    for (int i = 0; i < data.mappingCount; ++i) {
      if (data.codePoints[i] == codePoint && data.glyphs[i] < data.glyphCount) {
        glyphs_[static_cast<size_t>(byte)] = data.bitmaps + data.glyphs[i] * glyphBytes;
        break;
      }
    }
  }
}

const Font& TextFont() {
  static const Font font(kTerminus12x6);
  return font;
}

const Font& BoldFont() {
  static const Font font(kTerminusBold16);
  return font;
}

const Font& LargeFont() {
  static const Font font(kTerminusBold24x12);
  return font;
}

}  // namespace termsim
