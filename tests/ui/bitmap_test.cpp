#include <gtest/gtest.h>

#include "ui/bitmap.h"
#include "ui/resources.h"

extern const ResourceModule kPlenthToolsResources;

namespace {

TEST(Bitmap, ModuleBitmapsAreSixteenColourSixteenSquare) {
  for (int id : {201, 213, 214, 216, 219, 221, 223, 271}) {
    SCOPED_TRACE(id);
    const HBITMAP h = LoadBitmap(&kPlenthToolsResources, id);
    ASSERT_NE(h, nullptr);
    const ui::Bitmap* b = ui::BitmapOf(h);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, 16);
    EXPECT_EQ(b->height, 16);
    EXPECT_EQ(b->bitsPerPixel, 4);
    EXPECT_EQ(b->palette.size(), 16u);
    EXPECT_TRUE(DeleteObject(h));
    EXPECT_EQ(ui::BitmapOf(h), nullptr);
  }
  EXPECT_EQ(LoadBitmap(&kPlenthToolsResources, 999), nullptr);
}

TEST(Bitmap, TheFolderPictureIsDrawnTopDown) {
  const HBITMAP h = LoadBitmap(&kPlenthToolsResources, 271);
  const ui::Bitmap* b = ui::BitmapOf(h);
  ASSERT_NE(b, nullptr);
  // Row 5 of the folder is black outline, yellow inside; row 0 is background.
  EXPECT_EQ(b->palette[b->pixels[5 * 16 + 1]], 0x000000u);
  EXPECT_EQ(b->palette[b->pixels[5 * 16 + 2]], 0xFFFF00u);
  EXPECT_EQ(b->palette[b->pixels[0]], 0xC0C0C0u);
  DeleteObject(h);
}

TEST(Bitmap, DamagedFilesAreRefused) {
  const auto good = ui::FileOf(&kPlenthToolsResources, "bitmaps/browse.bmp");
  ASSERT_FALSE(good.empty());
  struct Damage {
    const char* what;
    std::size_t at;
    unsigned char value;
    std::size_t cut;
  } damages[] = {
      {"magic", 0, 'X', 0},       {"file size", 2, 0x10, 0}, {"bits per pixel", 28, 24, 0},
      {"compression", 30, 2, 0}, {"width", 18, 0, 0},       {"truncated", 0, 'B', 20},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    std::vector<unsigned char> bytes(good.begin(), good.end() - static_cast<long>(d.cut));
    bytes[d.at] = d.value;
    ui::Bitmap out;
    std::string error;
    EXPECT_FALSE(ui::DecodeBmp(bytes.data(), bytes.size(), &out, &error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
