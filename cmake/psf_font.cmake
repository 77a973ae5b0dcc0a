# Turns a gzipped PC Screen Font (PSF 1 or 2, with its Unicode table) into a C++ source
# holding the glyph bitmaps and the code points each glyph stands for.
#   cmake -DPSF=font.psf.gz -DOUT=font.cpp -DNAME=kFontName -P psf_font.cmake
# The source defines `const termsim::FontData termsim::NAME` (host/toolkit/render/font.h).
cmake_minimum_required(VERSION 3.25)
foreach(var PSF OUT NAME)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "psf_font.cmake needs -D${var}=...")
  endif()
endforeach()

set(raw "${OUT}.psf")
execute_process(COMMAND gzip -dc "${PSF}" OUTPUT_FILE "${raw}" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot decompress the font ${PSF} (gzip: ${status})")
endif()
file(READ "${raw}" hex HEX)
file(REMOVE "${raw}")
string(LENGTH "${hex}" hexLength)

# A little-endian unsigned number of `bytes` bytes at byte offset `offset` of the file.
function(read_le out offset bytes)
  set(value 0)
  math(EXPR last "${bytes} - 1")
  foreach(i RANGE ${last} 0 -1)
    math(EXPR at "(${offset} + ${i}) * 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    math(EXPR value "${value} * 256 + 0x${byte}")
  endforeach()
  set(${out} ${value} PARENT_SCOPE)
endfunction()

string(SUBSTRING "${hex}" 0 8 magic)
if(magic MATCHES "^3604")
  read_le(mode 2 1)
  read_le(height 3 1)
  set(width 8)
  set(headerSize 4)
  math(EXPR glyphCount "256 << (${mode} & 1)")
  math(EXPR hasTable "${mode} & 6")
  set(glyphBytes ${height})
  set(version 1)
elseif(magic STREQUAL "72b54a86")
  read_le(headerSize 8 4)
  read_le(flags 12 4)
  read_le(glyphCount 16 4)
  read_le(glyphBytes 20 4)
  read_le(height 24 4)
  read_le(width 28 4)
  math(EXPR hasTable "${flags} & 1")
  set(version 2)
else()
  message(FATAL_ERROR "${PSF} is not a PC Screen Font")
endif()
if(NOT hasTable)
  message(FATAL_ERROR "${PSF} has no Unicode table")
endif()
math(EXPR rowBytes "(${width} + 7) / 8")
math(EXPR expectBytes "${rowBytes} * ${height}")
if(NOT glyphBytes EQUAL expectBytes)
  message(FATAL_ERROR "${PSF}: ${glyphBytes} bytes a glyph, expected ${expectBytes}")
endif()

# The bitmaps, as C bytes.
math(EXPR bitmapHexStart "${headerSize} * 2")
math(EXPR bitmapHexLength "${glyphCount} * ${glyphBytes} * 2")
string(SUBSTRING "${hex}" ${bitmapHexStart} ${bitmapHexLength} bitmapHex)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bitmaps "${bitmapHex}")
string(REPEAT "0x..," 16 row)
string(REGEX REPLACE "(${row})" "\\1\n  " bitmaps "${bitmaps}")

# The Unicode table: for each glyph, the code points it stands for. Sequences of
# combining characters (after a separator) are skipped.
math(EXPR tableHexStart "${bitmapHexStart} + ${bitmapHexLength}")
math(EXPR tableHexLength "${hexLength} - ${tableHexStart}")
string(SUBSTRING "${hex}" ${tableHexStart} ${tableHexLength} table)
string(LENGTH "${table}" tableLength)
set(codePoints "")
set(glyphs "")
set(mappings 0)
set(glyph 0)
set(inSequence FALSE)
set(at 0)
# PSF 1 has 16-bit units, 0xFFFF ending a glyph's list and 0xFFFE starting a sequence;
# PSF 2 has UTF-8, with the bytes 0xFF and 0xFE for those.
if(version EQUAL 1)
  set(unitDigits 4)
  set(endOfGlyph 65535)
else()
  set(unitDigits 2)
  set(endOfGlyph 255)
endif()
math(EXPR startOfSequence "${endOfGlyph} - 1")
while(at LESS tableLength AND glyph LESS glyphCount)
  string(SUBSTRING "${table}" ${at} ${unitDigits} unit)
  math(EXPR at "${at} + ${unitDigits}")
  if(version EQUAL 1)  # little-endian
    string(SUBSTRING "${unit}" 2 2 high)
    string(SUBSTRING "${unit}" 0 2 low)
    set(unit "${high}${low}")
  endif()
  math(EXPR value "0x${unit}")
  if(value EQUAL endOfGlyph)
    math(EXPR glyph "${glyph} + 1")
    set(inSequence FALSE)
    continue()
  elseif(value EQUAL startOfSequence)
    set(inSequence TRUE)
    continue()
  endif()
  if(version EQUAL 2)
    # UTF-8: a lead byte and its continuation bytes.
    set(more 0)
    if(value GREATER_EQUAL 240)
      math(EXPR value "${value} & 7")
      set(more 3)
    elseif(value GREATER_EQUAL 224)
      math(EXPR value "${value} & 15")
      set(more 2)
    elseif(value GREATER_EQUAL 192)
      math(EXPR value "${value} & 31")
      set(more 1)
    endif()
    while(more GREATER 0)
      string(SUBSTRING "${table}" ${at} 2 byte)
      math(EXPR at "${at} + 2")
      math(EXPR value "(${value} << 6) | (0x${byte} & 63)")
      math(EXPR more "${more} - 1")
    endwhile()
  endif()
  if(NOT inSequence)
    string(APPEND codePoints "${value},")
    string(APPEND glyphs "${glyph},")
    math(EXPR mappings "${mappings} + 1")
  endif()
endwhile()
string(REPEAT "[0-9]+," 16 row)
string(REGEX REPLACE "(${row})" "\\1\n  " codePoints "${codePoints}")
string(REGEX REPLACE "(${row})" "\\1\n  " glyphs "${glyphs}")

get_filename_component(fontFile "${PSF}" NAME)
file(WRITE "${OUT}.tmp" "// Made from ${fontFile} by cmake/psf_font.cmake at build time: do not edit.
// Terminus Font, copyright (c) 2010 Dimitar Toshkov Zhekov, under the SIL Open Font
// License 1.1.
#include \"host/toolkit/render/font.h\"

namespace termsim {
namespace {

const uint8_t kBitmaps[] = {
  ${bitmaps}
};

const uint32_t kCodePoints[] = {
  ${codePoints}
};

const uint16_t kGlyphs[] = {
  ${glyphs}
};

}  // namespace

extern const FontData ${NAME};
const FontData ${NAME} = {${width}, ${height}, ${rowBytes}, ${glyphCount}, kBitmaps, ${mappings},
                          kCodePoints, kGlyphs};

}  // namespace termsim
")
file(RENAME "${OUT}.tmp" "${OUT}")
