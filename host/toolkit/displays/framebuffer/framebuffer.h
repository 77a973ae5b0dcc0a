// A Linux framebuffer mapped into memory: a device (/dev/fb0), described by its ioctls,
// or a plain file of a given geometry ("PATH:WxH:BPP"), for tests and for boards without
// the ioctls. The screen is placed on it centred, enlarged by a whole factor.
#ifndef HOST_TOOLKIT_DISPLAYS_FRAMEBUFFER_FRAMEBUFFER_H
#define HOST_TOOLKIT_DISPLAYS_FRAMEBUFFER_FRAMEBUFFER_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "host/toolkit/render/image.h"

namespace termsim {

enum class PixelFormat {
  kRgb565,    // 16 bits, as the screen's own colours
  kXrgb8888,  // 32 bits: blue in the lowest byte, then green, red, and an unused byte
};

struct FramebufferGeometry {
  int width = 0, height = 0;  // visible pixels
  size_t stride = 0;          // bytes from one line to the next
  PixelFormat format = PixelFormat::kRgb565;
  int BytesPerPixel() const { return format == PixelFormat::kRgb565 ? 2 : 4; }
};

// Where the screen goes on a framebuffer: screen pixel (x, y) covers the square of
// scale x scale pixels whose top left corner is (left + x * scale, top + y * scale).
struct Placement {
  int scale = 0;  // 0: the screen does not fit
  int left = 0, top = 0;
};

// The largest whole enlargement of a screen that fits the framebuffer, centred on it.
Placement FitScreen(const FramebufferGeometry& geometry, int screenWidth, int screenHeight);

// A framebuffer setting that names a plain file: "PATH:WxH:BPP". Returns false
// when setting is not of that form (it then names a device).
bool ParseFramebufferFile(const std::string& setting, std::string* path, int* width, int* height,
                          int* bitsPerPixel);

class Framebuffer {
 public:
  // Opens and maps the framebuffer named by setting (a device, or PATH:WxH:BPP; the file
  // is made, or grown, to the size of its geometry). On failure returns null and puts
  // in *error what went wrong, as the end of a sentence starting with the name of the
  // framebuffer ("cannot be opened: ...").
  static std::unique_ptr<Framebuffer> Open(const std::string& setting, std::string* error);
  ~Framebuffer();
  Framebuffer(const Framebuffer&) = delete;
  Framebuffer& operator=(const Framebuffer&) = delete;

  const std::string& path() const { return path_; }
  const FramebufferGeometry& geometry() const { return geometry_; }

  // Every visible pixel black.
  void Clear();
  // The image's pixels inside area, at the placement (clipped to the framebuffer).
  void Put(const Image& image, const Rect& area, const Placement& placement);

 private:
  Framebuffer() = default;
  uint8_t* Line(int y) const { return visible_ + static_cast<size_t>(y) * geometry_.stride; }

  std::string path_;
  FramebufferGeometry geometry_;
  int fd_ = -1;
  void* map_ = nullptr;
  size_t mapSize_ = 0;
  uint8_t* visible_ = nullptr;  // the first visible pixel in the mapping
};

// A screen colour as the framebuffer stores it (the low BytesPerPixel bytes, in the
// machine's byte order).
uint32_t EncodePixel(uint16_t colour, PixelFormat format);

}  // namespace termsim

#endif
