// fb_compare PATH:WxH:BPP PICTURE.png: exits 0 when the file-backed framebuffer shows the
// picture as the framebuffer display places it; else 1, saying what differs.
#include <cstdio>
#include <string>

#include "host/toolkit/render/png_file.h"
#include "tests/support/framebuffer_check.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fb_compare PATH:WxH:BPP PICTURE.png\n");
    return 2;
  }
  termsim::Image picture;
  std::string error;
  if (!termsim::ReadPng(argv[2], &picture, &error)) {
    std::fprintf(stderr, "fb_compare: %s\n", error.c_str());
    return 2;
  }
  const std::string mismatch = test::FramebufferMismatch(argv[1], picture);
  if (!mismatch.empty()) {
    std::fprintf(stderr, "fb_compare: %s (picture %s)\n", mismatch.c_str(), argv[2]);
    return 1;
  }
  return 0;
}
