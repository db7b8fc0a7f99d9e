// Bitmaps loaded from a module's BMP resources.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ui/types.h"

HBITMAP LoadBitmap(HINSTANCE module, int id);
BOOL DeleteObject(HBITMAP bitmap);

namespace ui {

struct Bitmap {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  std::vector<std::uint32_t> palette;  // 0x00RRGGBB
  std::vector<std::uint8_t> pixels;    // palette indices, top row first
};

// Decodes an uncompressed palette BMP (1, 4 or 8 bits per pixel); false with a reason
// for anything else or for inconsistent sizes.
bool DecodeBmp(const unsigned char* data, std::size_t size, Bitmap* out, std::string* error);
// The pixels behind a live handle, or null.
const Bitmap* BitmapOf(HBITMAP bitmap);
int LiveBitmapCount();

}  // namespace ui
