// Inputs the bitmap fuzzer turned up, kept as plain bytes. A run-length bitmap may leave pixels
// unset, so two bytes of data ("end of bitmap") could claim a picture of 64 Mi pixels and make
// the reader build it: 320 MB for a 64-byte file. Such a picture is now refused before anything
// is allocated, while every picture whose data codes its pixels still loads.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "display/dib.h"

namespace {

// clang-format off
// 8192 x 8192, 8 bits, RLE8, two colours, data: end of bitmap.
const uint8_t kBlankRle8[] = {
    'B',  'M',  0x40, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3E, 0x00, 0x00, 0x00,  // file
    0x28, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00,              // size
    0x01, 0x00, 0x08, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,              // RLE8
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,              // colours
    0x00, 0x00, 0x00, 0x00,                                                              //
    0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00,                                      // palette
    0x00, 0x01};                                                                         // EOB

// 8192 x 8192, 4 bits, RLE4, two colours, data: end of line, end of bitmap.
const uint8_t kBlankRle4[] = {
    'B',  'M',  0x42, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x3E, 0x00, 0x00, 0x00,
    0x28, 0x00, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0x20, 0x00, 0x00,
    0x01, 0x00, 0x04, 0x00, 0x02, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00,
    0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00,
    0x00, 0x00, 0x00, 0x01};
// clang-format on

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The RLE8 bitmap above with another size and run-length data.
std::vector<uint8_t> Rle8(uint32_t width, uint32_t height, const std::vector<uint8_t>& codes) {
  std::vector<uint8_t> b(kBlankRle8, kBlankRle8 + sizeof kBlankRle8 - 2);
  b.insert(b.end(), codes.begin(), codes.end());
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 18, width);
  Put32(b, 22, height);
  Put32(b, 34, static_cast<uint32_t>(codes.size()));
  return b;
}

TEST(DibFuzzRegression, HugeRunLengthPictureWithAlmostNoDataIsRefused) {
  TDIB dib;
  EXPECT_THROW(dib.LoadFromBMPFile(kBlankRle8, sizeof kBlankRle8), EInvalidDIB);
  EXPECT_THROW(dib.LoadFromBMPFile(kBlankRle4, sizeof kBlankRle4), EInvalidDIB);
  // The same through carried picture data (no file header).
  EXPECT_THROW(dib.LoadFromDIBData(kBlankRle8 + 14, sizeof kBlankRle8 - 14), EInvalidDIB);
  EXPECT_TRUE(dib.Empty());
  // Just past a mebipixel the short data is refused too.
  const std::vector<uint8_t> wider = Rle8(1025, 1024, {0, 1});
  EXPECT_THROW(dib.LoadFromBMPFile(wider.data(), wider.size()), EInvalidDIB);
}

TEST(DibFuzzRegression, PicturesUpToAMebipixelMayLeavePixelsUnset) {
  const std::vector<uint8_t> file = Rle8(1024, 1024, {2, 1, 0, 1});
  TDIB dib;
  ASSERT_NO_THROW(dib.LoadFromBMPFile(file.data(), file.size()));
  EXPECT_EQ(dib.Width(), 1024);
  EXPECT_EQ(dib.Height(), 1024);
  EXPECT_EQ(dib.Pixels(0, 1023), clWhite);  // the run, in the bottom row
  EXPECT_EQ(dib.Pixels(1, 1023), clWhite);
  EXPECT_EQ(dib.Pixels(2, 1023), clBlack);  // never set: index 0
  EXPECT_EQ(dib.Pixels(1023, 0), clBlack);
}

TEST(DibFuzzRegression, LargePictureCodedByFullRunsStillLoads) {
  // The densest coding there is: one row of 4200 runs of 255 pixels (two bytes each), above a
  // mebipixel. Its data is the shortest any encoder can write for it, and it must load.
  std::vector<uint8_t> codes;
  for (int i = 0; i < 4200; ++i) {
    codes.push_back(255);
    codes.push_back(static_cast<uint8_t>(i % 2));
  }
  codes.push_back(0);
  codes.push_back(1);
  const uint32_t width = 4200 * 255;
  const std::vector<uint8_t> file = Rle8(width, 1, codes);
  TDIB dib;
  ASSERT_NO_THROW(dib.LoadFromBMPFile(file.data(), file.size()));
  ASSERT_EQ(dib.Width(), static_cast<int>(width));
  EXPECT_EQ(dib.Pixels(0, 0), clBlack);
  EXPECT_EQ(dib.Pixels(255, 0), clWhite);
  EXPECT_EQ(dib.Pixels(static_cast<int>(width) - 1, 0), clWhite);
}

}  // namespace
