#include "ui/bitmap.h"

#include <map>
#include <mutex>

#include "ui/resources.h"

namespace ui {
namespace {

struct Bitmaps {
  std::mutex lock;
  std::map<std::uintptr_t, Bitmap> live;
  std::uintptr_t next = 0x20000;
};
Bitmaps& TheBitmaps() {
  static Bitmaps* b = new Bitmaps;
  return *b;
}

std::uint32_t U32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24); }
std::uint16_t U16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

bool Fail(std::string* error, const char* what) {
  if (error) *error = what;
  return false;
}

}  // namespace

bool DecodeBmp(const unsigned char* data, std::size_t size, Bitmap* out, std::string* error) {
  constexpr std::size_t kFileHeader = 14;
  if (size < kFileHeader + 40 || data[0] != 'B' || data[1] != 'M') return Fail(error, "not a BMP file");
  if (U32(data + 2) != size) return Fail(error, "BMP file size does not match its header");
  const std::uint32_t pixelOffset = U32(data + 10);
  const unsigned char* info = data + kFileHeader;
  const std::uint32_t infoSize = U32(info);
  if (infoSize < 40 || kFileHeader + infoSize > size) return Fail(error, "unsupported BMP info header");
  const auto width = static_cast<std::int32_t>(U32(info + 4));
  const auto height = static_cast<std::int32_t>(U32(info + 8));
  const int planes = U16(info + 12);
  const int bpp = U16(info + 14);
  const std::uint32_t compression = U32(info + 16);
  std::uint32_t colours = U32(info + 32);
  if (planes != 1 || compression != 0) return Fail(error, "compressed or multi-plane BMP");
  if (bpp != 1 && bpp != 4 && bpp != 8) return Fail(error, "BMP is not a palette image");
  if (width <= 0 || width > 4096 || height == 0 || height > 4096 || height < -4096) return Fail(error, "bad BMP size");
  if (colours == 0) colours = 1u << bpp;
  if (colours > (1u << bpp)) return Fail(error, "BMP palette too large");
  const std::size_t paletteAt = kFileHeader + infoSize;
  if (paletteAt + colours * 4 > pixelOffset) return Fail(error, "BMP palette overlaps its pixels");
  const int rows = height < 0 ? -height : height;
  const std::size_t stride = ((static_cast<std::size_t>(width) * bpp + 31) / 32) * 4;
  if (pixelOffset + stride * rows > size) return Fail(error, "BMP pixel data truncated");

  Bitmap b;
  b.width = width;
  b.height = rows;
  b.bitsPerPixel = bpp;
  for (std::uint32_t i = 0; i < colours; ++i) {
    const unsigned char* q = data + paletteAt + 4 * i;  // blue, green, red, reserved
    b.palette.push_back((std::uint32_t{q[2]} << 16) | (q[1] << 8) | q[0]);
  }
  b.pixels.resize(static_cast<std::size_t>(width) * rows);
  for (int r = 0; r < rows; ++r) {
    const int srcRow = height > 0 ? rows - 1 - r : r;  // positive heights are stored bottom-up
    const unsigned char* line = data + pixelOffset + stride * srcRow;
    for (int c = 0; c < width; ++c) {
      const std::size_t bit = static_cast<std::size_t>(c) * bpp;
      const unsigned v = (line[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
      if (v >= colours) return Fail(error, "BMP pixel outside its palette");
      b.pixels[static_cast<std::size_t>(r) * width + c] = static_cast<std::uint8_t>(v);
    }
  }
  *out = std::move(b);
  return true;
}

const Bitmap* BitmapOf(HBITMAP bitmap) {
  auto& b = TheBitmaps();
  std::lock_guard guard(b.lock);
  const auto it = b.live.find(reinterpret_cast<std::uintptr_t>(bitmap));
  return it == b.live.end() ? nullptr : &it->second;
}

int LiveBitmapCount() {
  auto& b = TheBitmaps();
  std::lock_guard guard(b.lock);
  return static_cast<int>(b.live.size());
}

}  // namespace ui

HBITMAP LoadBitmap(HINSTANCE module, int id) {
  const ui::ResourceScript* script = ui::ScriptOf(module);
  if (!script) return nullptr;
  const auto it = script->bitmaps.find(id);
  if (it == script->bitmaps.end()) return nullptr;
  const auto bytes = ui::FileOf(module, it->second);
  ui::Bitmap decoded;
  if (!ui::DecodeBmp(bytes.data(), bytes.size(), &decoded, nullptr)) return nullptr;
  auto& b = ui::TheBitmaps();
  std::lock_guard guard(b.lock);
  const std::uintptr_t handle = b.next;
  b.next += 4;
  b.live.emplace(handle, std::move(decoded));
  return reinterpret_cast<HBITMAP>(handle);
}

BOOL DeleteObject(HBITMAP bitmap) {
  auto& b = ui::TheBitmaps();
  std::lock_guard guard(b.lock);
  return b.live.erase(reinterpret_cast<std::uintptr_t>(bitmap)) ? TRUE : FALSE;
}
