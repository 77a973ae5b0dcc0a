// Windows-1251 <-> UTF-8 conversion for the screen's texts.
#ifndef HOST_TOOLKIT_LOOK_CP1251_H
#define HOST_TOOLKIT_LOOK_CP1251_H

#include <cstdint>
#include <string>

namespace termsim {

// The Unicode code point of one Windows-1251 byte. The one byte the code page leaves
// undefined, 0x98, maps to U+0098 so that every byte survives a round trip.
uint32_t Cp1251ToCodePoint(unsigned char byte);

// Whether a code point is drawn as a visible character: control characters, the C1
// range and the soft hyphen are drawn as blanks.
bool IsPrintable(uint32_t codePoint);

// Appends the UTF-8 encoding of a code point.
void AppendUtf8(uint32_t codePoint, std::string* out);

// Every byte of the Windows-1251 text as UTF-8.
std::string Cp1251ToUtf8(const std::string& text);

// UTF-8 text as Windows-1251; characters the code page lacks and malformed
// sequences become '?'.
std::string Utf8ToCp1251(const std::string& text);

}  // namespace termsim

#endif
