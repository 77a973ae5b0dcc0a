// Reads a file-backed framebuffer (PATH:WxH:BPP) and compares it with a picture of the
// screen, worked out independently of the framebuffer display: the picture centred and
// enlarged by the largest whole factor that fits, black around it; 16 bits a pixel
// RGB565, 32 bits XRGB8888, in the machine's byte order.
#ifndef TESTS_SUPPORT_FRAMEBUFFER_CHECK_H
#define TESTS_SUPPORT_FRAMEBUFFER_CHECK_H

#include <string>
#include <vector>

#include "host/toolkit/render/image.h"

namespace test {

// Empty when the framebuffer shows the picture; otherwise what differs (how many pixels,
// and the first of them), or why the file could not be read.
std::string FramebufferMismatch(const std::string& setting, const termsim::Image& picture);

// The same for the pixels of a whole display, width x height at bits a pixel as above,
// named path in what is said.
std::string PixelsMismatch(const std::vector<unsigned char>& bytes, unsigned width,
                           unsigned height, unsigned bits, const std::string& path,
                           const termsim::Image& picture);

}  // namespace test

#endif
