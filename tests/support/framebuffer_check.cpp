#include "tests/support/framebuffer_check.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "host/toolkit/look/colour.h"

namespace test {

std::string FramebufferMismatch(const std::string& setting, const termsim::Image& picture) {
  std::string path;
  unsigned width = 0, height = 0, bits = 0;
  const size_t colon = setting.rfind(':', setting.rfind(':') - 1);
  if (colon == std::string::npos ||
      std::sscanf(setting.c_str() + colon, ":%ux%u:%u", &width, &height, &bits) != 3 ||
      (bits != 16 && bits != 32) || picture.width < 1 || picture.height < 1) {
    return "cannot check the framebuffer " + setting;
  }
  path = setting.substr(0, colon);
  std::ifstream in(path, std::ios::binary);
  const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
  return PixelsMismatch(bytes, width, height, bits, path, picture);
}

std::string PixelsMismatch(const std::vector<unsigned char>& bytes, unsigned width,
                           unsigned height, unsigned bits, const std::string& path,
                           const termsim::Image& picture) {
  const size_t pixelBytes = bits / 8;
  if ((bits != 16 && bits != 32) || picture.width < 1 || picture.height < 1) {
    return "cannot check " + path;
  }
  if (bytes.size() < size_t{width} * height * pixelBytes) return path + " is too short";

  const int w = static_cast<int>(width), h = static_cast<int>(height);
  int scale = std::min(w / picture.width, h / picture.height);
  if (scale < 1) return "the picture does not fit on " + path;
  const int left = (w - picture.width * scale) / 2;
  const int top = (h - picture.height * scale) / 2;

  int differ = 0;
  std::string first;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      uint16_t colour = 0;
      const int px = x - left, py = y - top;
      if (px >= 0 && py >= 0 && px < picture.width * scale && py < picture.height * scale) {
        colour = picture.At(px / scale, py / scale);
      }
      std::vector<unsigned char> expected(pixelBytes);
      if (bits == 16) {
        const uint16_t value = colour;
        std::copy_n(reinterpret_cast<const unsigned char*>(&value), 2, expected.begin());
      } else {
        const termsim::Rgb rgb = termsim::ToRgb(colour);
        const uint32_t value = uint32_t{rgb.r} << 16 | uint32_t{rgb.g} << 8 | rgb.b;
        std::copy_n(reinterpret_cast<const unsigned char*>(&value), 4, expected.begin());
      }
      const unsigned char* got = &bytes[(size_t(y) * width + size_t(x)) * pixelBytes];
      if (std::equal(expected.begin(), expected.end(), got)) continue;
      if (differ++ == 0) {
        char text[96];
        std::snprintf(text, sizeof text, "first at (%d, %d), where the picture has 0x%04X", x, y,
                      colour);
        first = text;
      }
    }
  }
  if (differ == 0) return std::string();
  return std::to_string(differ) + " pixels of " + path + " differ from the picture, " + first;
}

}  // namespace test
