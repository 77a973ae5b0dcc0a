// An RGB565 picture in memory, and rectangles of pixels.
#ifndef HOST_TOOLKIT_RENDER_IMAGE_H
#define HOST_TOOLKIT_RENDER_IMAGE_H

#include <algorithm>
#include <cstdint>
#include <vector>

namespace termsim {

// Pixels [x0, x1) x [y0, y1).
struct Rect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;

  int Width() const { return x1 - x0; }
  int Height() const { return y1 - y0; }
  bool Empty() const { return x0 >= x1 || y0 >= y1; }
  Rect Intersect(const Rect& other) const {
    return Rect{std::max(x0, other.x0), std::max(y0, other.y0), std::min(x1, other.x1),
                std::min(y1, other.y1)};
  }
  // The smallest rectangle holding both (an empty one adds nothing).
  Rect Union(const Rect& other) const {
    if (Empty()) return other;
    if (other.Empty()) return *this;
    return Rect{std::min(x0, other.x0), std::min(y0, other.y0), std::max(x1, other.x1),
                std::max(y1, other.y1)};
  }
  Rect Inset(int by) const { return Rect{x0 + by, y0 + by, x1 - by, y1 - by}; }
  bool operator==(const Rect& other) const {
    return x0 == other.x0 && y0 == other.y0 && x1 == other.x1 && y1 == other.y1;
  }
};

struct Image {
  Image() = default;
  Image(int w, int h, uint16_t fill = 0)
      : width(w), height(h), pixels(static_cast<size_t>(w) * static_cast<size_t>(h), fill) {}

  uint16_t At(int x, int y) const { return pixels[Index(x, y)]; }
  uint16_t& At(int x, int y) { return pixels[Index(x, y)]; }
  Rect Bounds() const { return Rect{0, 0, width, height}; }
  bool operator==(const Image& other) const {
    return width == other.width && height == other.height && pixels == other.pixels;
  }

  int width = 0, height = 0;
  std::vector<uint16_t> pixels;  // rows top down

 private:
  size_t Index(int x, int y) const {
    return static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
  }
};

}  // namespace termsim

#endif
