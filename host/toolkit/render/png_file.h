// RGB565 images as PNG files, through libpng: 8 bits a channel, with the significant
// bits (5, 6, 5) recorded, so an image read back is the image written.
#ifndef HOST_TOOLKIT_RENDER_PNG_FILE_H
#define HOST_TOOLKIT_RENDER_PNG_FILE_H

#include <string>

#include "host/toolkit/render/image.h"

namespace termsim {

// Writes the image enlarged scale times (each pixel a scale x scale square). On failure
// returns false and says why in *error, naming the path.
bool WritePng(const std::string& path, const Image& image, int scale, std::string* error);

// Reads a PNG file of any colour type into RGB565 (alpha is ignored).
bool ReadPng(const std::string& path, Image* image, std::string* error);

}  // namespace termsim

#endif
