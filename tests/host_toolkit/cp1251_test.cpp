// Windows-1251 <-> UTF-8.
#include "host/toolkit/look/cp1251.h"

#include <gtest/gtest.h>

namespace {

using termsim::Cp1251ToUtf8;
using termsim::Utf8ToCp1251;

TEST(Cp1251, CyrillicLettersMapToTheirUnicodeLetters) {
  EXPECT_EQ(Cp1251ToUtf8("\xD0\xC5\xC6\xC8\xCC:"), "РЕЖИМ:");
  EXPECT_EQ(Utf8ToCp1251("РЕЖИМ:"), "\xD0\xC5\xC6\xC8\xCC:");
  EXPECT_EQ(Utf8ToCp1251("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"),
            "\xE0\xE1\xE2\xE3\xE4\xE5\xB8\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF"
            "\xF0\xF1\xF2\xF3\xF4\xF5\xF6\xF7\xF8\xF9\xFA\xFB\xFC\xFD\xFE\xFF");
  EXPECT_EQ(Utf8ToCp1251("Ё"), "\xA8");
}

TEST(Cp1251, SignsOfTheUpperHalfAreMappedToo) {
  EXPECT_EQ(Cp1251ToUtf8("\xB9\x88\x96\x97\xAB\xBB\x85\x99"), "№€–—«»…™");
  EXPECT_EQ(Utf8ToCp1251("№€–—«»…™"), "\xB9\x88\x96\x97\xAB\xBB\x85\x99");
  EXPECT_EQ(Cp1251ToUtf8("\xA5\xB4\xAA\xBA\xAF\xBF\xB2\xB3"), "ҐґЄєЇїІі");
}

TEST(Cp1251, EveryByteSurvivesARoundTrip) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  const std::string utf8 = Cp1251ToUtf8(all);
  EXPECT_GT(utf8.size(), all.size());
  EXPECT_EQ(Utf8ToCp1251(utf8), all);
}

TEST(Cp1251, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a中b😀c"), "a?b?c");
}

TEST(Cp1251, MalformedUtf8BecomesQuestionMarksWithoutLosingWhatFollows) {
  EXPECT_EQ(Utf8ToCp1251("\xD0"), "?");
  EXPECT_EQ(Utf8ToCp1251("\xD0Z"), "?Z");
  EXPECT_EQ(Utf8ToCp1251("\x80x"), "?x");
}

}  // namespace
