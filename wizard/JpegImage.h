// JPEG pictures of the window, decoded with libjpeg.
#pragma once

#include <windows.h>

#include <cstddef>

namespace wizard {

// Decodes a JPEG image into a 24-bit bitmap; nullptr when the data is not a
// readable JPEG. The caller owns the bitmap.
HBITMAP DecodeJpeg(const void* data, size_t size);

// Decodes the JPEG held in an RCDATA resource of the program.
HBITMAP LoadJpegResource(int id);

}  // namespace wizard
