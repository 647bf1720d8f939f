// JPEG pictures of the window, decoded with libjpeg.
#pragma once

#include <windows.h>

#include <cstddef>

#include "platform/Handles.h"

namespace wizard {

// Decodes a JPEG image into a 24-bit bitmap; empty when the data is not a
// readable JPEG.
platform::UniqueBitmap DecodeJpeg(const void* data, size_t size);

// Decodes the JPEG held in an RCDATA resource of the program.
platform::UniqueBitmap LoadJpegResource(int id);

}  // namespace wizard
