#include "wizard/JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <utility>

#include <jpeglib.h>

namespace wizard {

namespace {

// libjpeg's default error handler ends the process; ours jumps back and the
// picture is left out instead.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
};

void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}
void OnMessage(j_common_ptr) {}

HBITMAP MakeBitmap(int width, int height, BYTE** bits) {
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(bmi.bmiHeader);
  bmi.bmiHeader.biWidth = width;
  bmi.bmiHeader.biHeight = -height;  // top-down, row order as decoded
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 24;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &pixels, nullptr, 0);
  *bits = static_cast<BYTE*>(pixels);
  return bitmap;
}

}  // namespace

platform::UniqueBitmap DecodeJpeg(const void* data, size_t size) {
  if (!data || size == 0) return {};
  jpeg_decompress_struct info;
  ErrorManager errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  errors.base.output_message = OnMessage;
  // Only plain values live across the jump: the bitmap gets its owner once
  // the decoder can no longer jump.
  HBITMAP volatile bitmap = nullptr;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    platform::UniqueBitmap discarded(bitmap);
    return {};
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, static_cast<const unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  const int width = static_cast<int>(info.output_width);
  const int height = static_cast<int>(info.output_height);
  BYTE* bits = nullptr;
  bitmap = MakeBitmap(width, height, &bits);
  if (!bitmap) {
    jpeg_destroy_decompress(&info);
    return {};
  }
  const int stride = (width * 3 + 3) & ~3;
  while (info.output_scanline < info.output_height) {
    BYTE* row = bits + static_cast<size_t>(info.output_scanline) * stride;
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(&info, rows, 1);
    for (int x = 0; x < width; ++x) std::swap(row[x * 3], row[x * 3 + 2]);  // RGB to BGR
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  GdiFlush();
  return platform::UniqueBitmap(bitmap);
}

platform::UniqueBitmap LoadJpegResource(int id) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!found) return {};
  HGLOBAL loaded = LoadResource(module, found);
  if (!loaded) return {};
  return DecodeJpeg(LockResource(loaded), SizeofResource(module, found));
}

}  // namespace wizard
