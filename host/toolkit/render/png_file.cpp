#include "host/toolkit/render/png_file.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/toolkit/look/colour.h"

namespace termsim {
namespace {

// libpng reports errors by longjmp; they are kept here and handed back as text.
struct ErrorSink {
  std::string message;
};

void OnError(png_structp png, png_const_charp message) {
  static_cast<ErrorSink*>(png_get_error_ptr(png))->message = message;
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

class File {
 public:
  File(const std::string& path, const char* mode) : file_(std::fopen(path.c_str(), mode)) {}
  ~File() {
    if (file_ != nullptr) std::fclose(file_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  std::FILE* get() const { return file_; }
  // Closes the file; false when what was written could not be flushed.
  bool Close() {
    const bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return ok;
  }

 private:
  std::FILE* file_;
};

// Encodes into an open file; kept apart from the caller so that no object with a
// destructor lives across the setjmp.
bool Encode(std::FILE* file, const Image& image, int scale, const std::vector<png_bytep>& rows,
            ErrorSink* sink) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, OnError, OnWarning);
  if (png == nullptr) {
    sink->message = "libpng could not start";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    if (sink->message.empty()) sink->message = "libpng could not start";
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width * scale),
               static_cast<png_uint_32>(image.height * scale), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_color_8 significant{};
  significant.red = 5;
  significant.green = 6;
  significant.blue = 5;
  png_set_sBIT(png, info, &significant);
  png_set_rows(png, info, const_cast<png_bytepp>(rows.data()));
  png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool Decode(std::FILE* file, Image* image, ErrorSink* sink) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, sink, OnError, OnWarning);
  if (png == nullptr) {
    sink->message = "libpng could not start";
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    if (sink->message.empty()) sink->message = "libpng could not start";
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, file);
  // Whatever the file holds comes out as 8-bit RGB.
  png_read_png(png, info,
               PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_PACKING | PNG_TRANSFORM_EXPAND |
                   PNG_TRANSFORM_GRAY_TO_RGB | PNG_TRANSFORM_STRIP_ALPHA,
               nullptr);
  const int width = static_cast<int>(png_get_image_width(png, info));
  const int height = static_cast<int>(png_get_image_height(png, info));
  png_bytepp rows = png_get_rows(png, info);
  *image = Image(width, height);
  for (int y = 0; y < height; ++y) {
    const png_bytep row = rows[y];
    for (int x = 0; x < width; ++x) {
      const png_bytep p = row + 3 * x;
      image->At(x, y) = FromRgb(Rgb{p[0], p[1], p[2]});
    }
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

bool WritePng(const std::string& path, const Image& image, int scale, std::string* error) {
  if (scale < 1 || image.width < 1 || image.height < 1) {
    *error = "cannot write " + path + ": nothing to write at that scale";
    return false;
  }
  const size_t width = static_cast<size_t>(image.width * scale);
  std::vector<png_byte> pixels(width * 3 * static_cast<size_t>(image.height * scale));
  std::vector<png_bytep> rows(static_cast<size_t>(image.height * scale));
  for (size_t y = 0; y < rows.size(); ++y) {
    png_bytep row = &pixels[y * width * 3];
    rows[y] = row;
    for (size_t x = 0; x < width; ++x) {
      const Rgb rgb = ToRgb(image.At(static_cast<int>(x) / scale, static_cast<int>(y) / scale));
      row[3 * x] = rgb.r;
      row[3 * x + 1] = rgb.g;
      row[3 * x + 2] = rgb.b;
    }
  }
  File file(path, "wb");
  if (file.get() == nullptr) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  ErrorSink sink;
  if (!Encode(file.get(), image, scale, rows, &sink)) {
    *error = "cannot write " + path + ": " + sink.message;
    return false;
  }
  if (!file.Close()) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool ReadPng(const std::string& path, Image* image, std::string* error) {
  File file(path, "rb");
  if (file.get() == nullptr) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  unsigned char signature[8];
  if (std::fread(signature, 1, sizeof signature, file.get()) != sizeof signature ||
      png_sig_cmp(signature, 0, sizeof signature) != 0) {
    *error = "cannot read " + path + ": not a PNG file";
    return false;
  }
  std::rewind(file.get());
  ErrorSink sink;
  if (!Decode(file.get(), image, &sink)) {
    *error = "cannot read " + path + ": " + sink.message;
    return false;
  }
  return true;
}

}  // namespace termsim
