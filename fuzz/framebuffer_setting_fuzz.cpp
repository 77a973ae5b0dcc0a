// The framebuffer setting, TERMSIM_FB: a device path or PATH:WxH:BPP. Whatever geometry is
// read, placing the screen on it must not overflow.
#include <cstdint>
#include <string>

#include "host/toolkit/displays/framebuffer/framebuffer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string setting(reinterpret_cast<const char*>(data), size);
  std::string path;
  int width = 0, height = 0, bits = 0;
  if (termsim::ParseFramebufferFile(setting, &path, &width, &height, &bits)) {
    termsim::FramebufferGeometry geometry;
    geometry.width = width;
    geometry.height = height;
    termsim::FitScreen(geometry, 320, 240);
    termsim::FitScreen(geometry, 1920, 1080);
  }
  return 0;
}
