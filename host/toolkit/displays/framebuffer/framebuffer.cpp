#include "host/toolkit/displays/framebuffer/framebuffer.h"

#include <fcntl.h>
#include <linux/fb.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "host/toolkit/look/colour.h"

namespace termsim {
namespace {

// Sides of a framebuffer file: beyond any screen's, and small enough that its size,
// 8192 x 8192 x 4 bytes, fits a 32-bit size_t.
constexpr int kMaxSide = 8192;

// A whole number of at most six digits, all of text.
bool ParseNumber(const std::string& text, int* value) {
  if (text.empty() || text.size() > 6 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *value = std::atoi(text.c_str());
  return true;
}

std::string Describe(const fb_bitfield& field) {
  return std::to_string(field.length) + "@" + std::to_string(field.offset);
}

bool Is(const fb_bitfield& field, unsigned offset, unsigned length) {
  return field.offset == offset && field.length == length;
}

}  // namespace

Placement FitScreen(const FramebufferGeometry& geometry, int screenWidth, int screenHeight) {
  Placement placement;
  if (screenWidth <= 0 || screenHeight <= 0) return placement;
  placement.scale = std::min(geometry.width / screenWidth, geometry.height / screenHeight);
  if (placement.scale < 1) return Placement();
  placement.left = (geometry.width - screenWidth * placement.scale) / 2;
  placement.top = (geometry.height - screenHeight * placement.scale) / 2;
  return placement;
}

bool ParseFramebufferFile(const std::string& setting, std::string* path, int* width, int* height,
                          int* bitsPerPixel) {
  const size_t depthColon = setting.rfind(':');
  if (depthColon == std::string::npos || depthColon == 0) return false;
  const size_t sizeColon = setting.rfind(':', depthColon - 1);
  if (sizeColon == std::string::npos || sizeColon == 0) return false;
  const std::string size = setting.substr(sizeColon + 1, depthColon - sizeColon - 1);
  const size_t x = size.find('x');
  if (x == std::string::npos || !ParseNumber(size.substr(0, x), width) ||
      !ParseNumber(size.substr(x + 1), height) ||
      !ParseNumber(setting.substr(depthColon + 1), bitsPerPixel)) {
    return false;
  }
  *path = setting.substr(0, sizeColon);
  return true;
}

uint32_t EncodePixel(uint16_t colour, PixelFormat format) {
  if (format == PixelFormat::kRgb565) return colour;
  const Rgb rgb = ToRgb(colour);
  return static_cast<uint32_t>(rgb.r) << 16 | static_cast<uint32_t>(rgb.g) << 8 | rgb.b;
}

std::unique_ptr<Framebuffer> Framebuffer::Open(const std::string& setting, std::string* error) {
  std::unique_ptr<Framebuffer> fb(new Framebuffer);
  int width = 0, height = 0, bits = 0;
  const bool plainFile = ParseFramebufferFile(setting, &fb->path_, &width, &height, &bits);
  if (!plainFile) fb->path_ = setting;
  FramebufferGeometry& geometry = fb->geometry_;
  size_t offset = 0;  // of the first visible pixel in the mapping

  if (plainFile) {
    if (bits != 16 && bits != 32) {
      *error = "has " + std::to_string(bits) +
               " bits per pixel, which is not supported (16 for RGB565, 32 for XRGB8888)";
      return nullptr;
    }
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
      *error = "is " + std::to_string(width) + " x " + std::to_string(height) +
               " pixels, which no screen is (1 to " + std::to_string(kMaxSide) +
               " pixels a side)";
      return nullptr;
    }
    geometry.width = width;
    geometry.height = height;
    geometry.format = bits == 16 ? PixelFormat::kRgb565 : PixelFormat::kXrgb8888;
    geometry.stride = static_cast<size_t>(width) * static_cast<size_t>(geometry.BytesPerPixel());
    fb->mapSize_ = geometry.stride * static_cast<size_t>(height);
    // Not through a link: the file may be in a directory another user can write to.
    fb->fd_ = open(fb->path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fb->fd_ < 0) {
      *error = std::string("cannot be opened: ") + std::strerror(errno);
      return nullptr;
    }
    // The blocks are allocated for real: a sparse file that the disk cannot back would
    // end the program with SIGBUS at the first pixel drawn.
    struct stat status;
    if (fstat(fb->fd_, &status) != 0 || !S_ISREG(status.st_mode)) {
      *error = "is not a regular file; a device needs no geometry";
      return nullptr;
    }
    const int failure = posix_fallocate(fb->fd_, 0, static_cast<off_t>(fb->mapSize_));
    if (failure != 0) {
      *error = std::string("cannot be made ") + std::to_string(fb->mapSize_) +
               " bytes long: " + std::strerror(failure);
      return nullptr;
    }
  } else {
    fb->fd_ = open(fb->path_.c_str(), O_RDWR | O_CLOEXEC);
    if (fb->fd_ < 0) {
      *error = std::string("cannot be opened: ") + std::strerror(errno);
      return nullptr;
    }
    fb_var_screeninfo var{};
    fb_fix_screeninfo fix{};
    if (ioctl(fb->fd_, FBIOGET_VSCREENINFO, &var) != 0 ||
        ioctl(fb->fd_, FBIOGET_FSCREENINFO, &fix) != 0) {
      *error = std::string("is not a framebuffer device (") + std::strerror(errno) +
               "); a plain file needs its geometry, as PATH:WxH:BPP";
      return nullptr;
    }
    const bool packed = fix.type == FB_TYPE_PACKED_PIXELS &&
                        (fix.visual == FB_VISUAL_TRUECOLOR || fix.visual == FB_VISUAL_DIRECTCOLOR);
    if (packed && var.bits_per_pixel == 16 && Is(var.red, 11, 5) && Is(var.green, 5, 6) &&
        Is(var.blue, 0, 5)) {
      geometry.format = PixelFormat::kRgb565;
    } else if (packed && var.bits_per_pixel == 32 && Is(var.red, 16, 8) && Is(var.green, 8, 8) &&
               Is(var.blue, 0, 8)) {
      geometry.format = PixelFormat::kXrgb8888;
    } else {
      *error = "has a pixel format that is not supported (" + std::to_string(var.bits_per_pixel) +
               " bits per pixel, red " + Describe(var.red) + ", green " + Describe(var.green) +
               ", blue " + Describe(var.blue) + "; RGB565 and XRGB8888 are)";
      return nullptr;
    }
    geometry.width = static_cast<int>(var.xres);
    geometry.height = static_cast<int>(var.yres);
    geometry.stride = fix.line_length;
    fb->mapSize_ = fix.smem_len;
    // In 64 bits: on the 32-bit terminal these products of the driver's figures could
    // wrap in size_t and pass the check.
    const uint64_t pixel = static_cast<uint64_t>(geometry.BytesPerPixel());
    const uint64_t first = static_cast<uint64_t>(var.yoffset) * geometry.stride +
                           static_cast<uint64_t>(var.xoffset) * pixel;
    if (first + static_cast<uint64_t>(geometry.stride) * var.yres > fb->mapSize_) {
      *error = "reports more visible pixels than its memory holds";
      return nullptr;
    }
    offset = static_cast<size_t>(first);
  }

  fb->map_ = mmap(nullptr, fb->mapSize_, PROT_READ | PROT_WRITE, MAP_SHARED, fb->fd_, 0);
  if (fb->map_ == MAP_FAILED) {
    fb->map_ = nullptr;
    *error = std::string("cannot be mapped into memory: ") + std::strerror(errno);
    return nullptr;
  }
  fb->visible_ = static_cast<uint8_t*>(fb->map_) + offset;
  return fb;
}

Framebuffer::~Framebuffer() {
  if (map_ != nullptr) munmap(map_, mapSize_);
  if (fd_ >= 0) close(fd_);
}

void Framebuffer::Clear() {
  const size_t bytes =
      static_cast<size_t>(geometry_.width) * static_cast<size_t>(geometry_.BytesPerPixel());
  for (int y = 0; y < geometry_.height; ++y) std::memset(Line(y), 0, bytes);
}

void Framebuffer::Put(const Image& image, const Rect& area, const Placement& placement) {
  const int scale = placement.scale;
  if (scale < 1) return;
  // The part of the area that lands on the framebuffer.
  const Rect visible = area.Intersect(image.Bounds())
                           .Intersect(Rect{-placement.left / scale, -placement.top / scale,
                                           (geometry_.width - placement.left) / scale,
                                           (geometry_.height - placement.top) / scale});
  if (visible.Empty()) return;
  const int bytesPerPixel = geometry_.BytesPerPixel();
  // One enlarged line of the area, as the framebuffer stores it, copied scale times.
  std::vector<uint8_t> line(static_cast<size_t>(visible.Width() * scale * bytesPerPixel));
  int last = -1;  // the colour converted last: screens are mostly runs of one colour
  uint32_t value = 0;
  for (int y = visible.y0; y < visible.y1; ++y) {
    uint8_t* out = line.data();
    for (int x = visible.x0; x < visible.x1; ++x) {
      const uint16_t colour = image.At(x, y);
      if (colour != last) {
        value = EncodePixel(colour, geometry_.format);
        last = colour;
      }
      for (int i = 0; i < scale; ++i) {
        if (bytesPerPixel == 2) {
          const uint16_t half = static_cast<uint16_t>(value);
          std::memcpy(out, &half, 2);
        } else {
          std::memcpy(out, &value, 4);
        }
        out += bytesPerPixel;
      }
    }
    const size_t left = static_cast<size_t>((placement.left + visible.x0 * scale) * bytesPerPixel);
    for (int i = 0; i < scale; ++i) {
      std::memcpy(Line(placement.top + y * scale + i) + left, line.data(), line.size());
    }
  }
}

}  // namespace termsim
