// screen_compare SCREENDUMP.png PICTURE.png: exits 0 when a screendump of a whole display
// (an 8-bit RGB PNG, as QEMU's monitor writes it) shows the picture of the screen as the
// framebuffer display places it: centred, enlarged by the largest whole factor that fits,
// black around it, every pixel the picture's colour exactly. Else 1, saying what differs;
// 2 when a file cannot be read.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/toolkit/render/png_file.h"
#include "tests/support/framebuffer_check.h"

namespace {

// The pixels of an 8-bit PNG as 32-bit XRGB values in the machine's byte order, as a
// 32-bit framebuffer holds them.
bool ReadScreendump(const char* path, std::vector<unsigned char>* bytes, unsigned* width,
                    unsigned* height, std::string* error) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path) == 0) {
    *error = std::string("cannot read ") + path + ": " + image.message;
    return false;
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) == 0) {
    *error = std::string("cannot read ") + path + ": " + image.message;
    png_image_free(&image);
    return false;
  }
  *width = image.width;
  *height = image.height;
  bytes->resize(size_t{image.width} * image.height * 4);
  for (size_t i = 0; i < size_t{image.width} * image.height; ++i) {
    const uint32_t value = uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 |
                           rgb[3 * i + 2];
    const auto* p = reinterpret_cast<const unsigned char*>(&value);
    std::copy(p, p + 4, bytes->begin() + static_cast<std::ptrdiff_t>(4 * i));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: screen_compare SCREENDUMP.png PICTURE.png\n");
    return 2;
  }
  std::vector<unsigned char> shown;
  unsigned width = 0, height = 0;
  std::string error;
  termsim::Image picture;
  if (!ReadScreendump(argv[1], &shown, &width, &height, &error) ||
      !termsim::ReadPng(argv[2], &picture, &error)) {
    std::fprintf(stderr, "screen_compare: %s\n", error.c_str());
    return 2;
  }
  const std::string mismatch = test::PixelsMismatch(shown, width, height, 32, argv[1], picture);
  if (!mismatch.empty()) {
    std::fprintf(stderr, "screen_compare: %s (picture %s)\n", mismatch.c_str(), argv[2]);
    return 1;
  }
  return 0;
}
