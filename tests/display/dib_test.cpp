#include "display/dib.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------------------------
// A small writer of bitmap headers, so that every field can be made to lie.
struct BmpLayout {
  uint32_t headerSize = 40;
  int32_t width = 4;
  int32_t height = 2;
  uint16_t planes = 1;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t sizeImage = 0;
  int32_t xDensity = 2835, yDensity = 2835;
  uint32_t colorsUsed = 0;
  std::vector<uint32_t> masks;       // written after a 40-byte header, or inside a longer one
  std::vector<TRGBQuad> palette;     // 4 bytes each (3 with the 12-byte header)
  std::vector<uint8_t> pixels;       // the pixel block as stored
  std::optional<uint32_t> fileSize;  // file header overrides
  std::optional<uint32_t> offBits;
};

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(x & 0xFF);
  v.push_back((x >> 8) & 0xFF);
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

std::vector<uint8_t> DibData(const BmpLayout& s) {
  std::vector<uint8_t> v;
  Put32(v, s.headerSize);
  if (s.headerSize == 12) {
    Put16(v, static_cast<uint32_t>(s.width));
    Put16(v, static_cast<uint32_t>(s.height));
    Put16(v, s.planes);
    Put16(v, s.bits);
  } else {
    Put32(v, static_cast<uint32_t>(s.width));
    Put32(v, static_cast<uint32_t>(s.height));
    Put16(v, s.planes);
    Put16(v, s.bits);
    Put32(v, s.compression);
    Put32(v, s.sizeImage);
    Put32(v, static_cast<uint32_t>(s.xDensity));
    Put32(v, static_cast<uint32_t>(s.yDensity));
    Put32(v, s.colorsUsed);
    Put32(v, 0);
    if (s.headerSize > 40) {
      for (uint32_t m : s.masks) Put32(v, m);
      v.resize(s.headerSize, 0);
    } else {
      for (uint32_t m : s.masks) Put32(v, m);
    }
  }
  for (const TRGBQuad& q : s.palette) {
    v.push_back(q.rgbBlue);
    v.push_back(q.rgbGreen);
    v.push_back(q.rgbRed);
    if (s.headerSize != 12) v.push_back(0);
  }
  v.insert(v.end(), s.pixels.begin(), s.pixels.end());
  return v;
}

std::vector<uint8_t> BmpFile(const BmpLayout& s) {
  std::vector<uint8_t> dib = DibData(s);
  std::vector<uint8_t> v = {'B', 'M'};
  size_t headerAndTable = dib.size() - s.pixels.size();
  Put32(v, s.fileSize.value_or(static_cast<uint32_t>(14 + dib.size())));
  Put32(v, 0);
  Put32(v, s.offBits.value_or(static_cast<uint32_t>(14 + headerAndTable)));
  v.insert(v.end(), dib.begin(), dib.end());
  return v;
}

TDIB LoadBmp(const std::vector<uint8_t>& bytes) {
  TDIB dib;
  dib.LoadFromBMPFile(bytes.data(), bytes.size());
  return dib;
}

// A 3 x 2, 24-bit picture: top row red, green, blue; bottom row white, black, grey.
BmpLayout Small24() {
  BmpLayout s;
  s.width = 3;
  s.height = 2;
  s.bits = 24;
  // bottom row first, rows padded to 12 bytes
  s.pixels = {255, 255, 255, 0, 0,   0, 128, 128, 128, 0, 0, 0,
              0,   0,   255, 0, 255, 0, 255, 0,   0,   0, 0, 0};
  return s;
}

// ---------------------------------------------------------------------------------------------
// ImageMagick and the public corpus, both optional on a bare machine.
std::string ConvertTool() {
  for (const char* p : {"/usr/bin/convert", "/usr/local/bin/convert"})
    if (access(p, X_OK) == 0) return p;
  return "";
}

std::string Quote(const std::string& s) { return "'" + s + "'"; }

bool RunShell(const std::string& cmd) { return std::system((cmd + " 2>/dev/null").c_str()) == 0; }

// The 8-bit RGB triples ImageMagick decodes from `path`, top row first.
std::vector<uint8_t> MagickRGB(const std::string& path, int& w, int& h) {
  std::string tool = ConvertTool();
  std::vector<uint8_t> out;
  std::string ident = "identify -format '%w %h' " + Quote(path);
  FILE* f = popen(ident.c_str(), "r");
  if (!f) return out;
  if (std::fscanf(f, "%d %d", &w, &h) != 2) w = h = 0;
  pclose(f);
  f = popen((tool + " " + Quote(path) + " -depth 8 rgb:-").c_str(), "r");
  if (!f) return out;
  uint8_t buf[4096];
  size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + got);
  pclose(f);
  return out;
}

// Compares a decoded picture with ImageMagick's reading of the same file after both go through
// the RGB565 conversion (exact = compare the full 8-bit channels instead).
void ExpectSameAsMagick(const std::string& decodedPath, const std::string& refPath, bool exact) {
  SCOPED_TRACE(decodedPath);
  TDIB dib;
  ASSERT_NO_THROW(dib.LoadFromFile(decodedPath));
  int w = 0, h = 0;
  std::vector<uint8_t> ref = MagickRGB(refPath, w, h);
  ASSERT_EQ(dib.Width(), w);
  ASSERT_EQ(dib.Height(), h);
  ASSERT_EQ(ref.size(), static_cast<size_t>(w) * h * 3);
  int bad = 0;
  for (int y = 0; y < h && bad < 5; ++y) {
    for (int x = 0; x < w && bad < 5; ++x) {
      const uint8_t* r = &ref[(static_cast<size_t>(y) * w + x) * 3];
      TColor want = RGB(r[0], r[1], r[2]);
      TColor got = dib.Pixels(x, y);
      bool same = exact ? got == want : ColorTo565(got) == ColorTo565(want);
      if (!same) {
        ++bad;
        ADD_FAILURE() << "pixel (" << x << ", " << y << "): got " << std::hex << got << " want "
                      << want;
      }
    }
  }
}

using TempDir = ScratchDir;

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Turns an uncompressed bottom-up BMP file into the same picture stored top-down.
std::vector<uint8_t> MakeTopDown(std::vector<uint8_t> f) {
  uint32_t off = f[10] | (f[11] << 8) | (f[12] << 16) | (static_cast<uint32_t>(f[13]) << 24);
  int32_t w, h;
  uint16_t bits;
  std::memcpy(&w, &f[18], 4);
  std::memcpy(&h, &f[22], 4);
  std::memcpy(&bits, &f[28], 2);
  size_t row = (static_cast<size_t>(bits) * w + 31) / 32 * 4;
  std::vector<uint8_t> flipped(f.begin() + off, f.begin() + off + row * h);
  for (int r = 0; r < h; ++r) std::memcpy(&f[off + r * row], &flipped[(h - 1 - r) * row], row);
  int32_t neg = -h;
  std::memcpy(&f[22], &neg, 4);
  return f;
}

// ---------------------------------------------------------------------------------------------
TEST(DibReader, Reads24BitBottomUpWithPaddedRows) {
  TDIB dib = LoadBmp(BmpFile(Small24()));
  EXPECT_EQ(dib.Width(), 3);
  EXPECT_EQ(dib.Height(), 2);
  EXPECT_EQ(dib.BitCount(), 24);
  EXPECT_EQ(dib.Pixels(0, 0), clRed);
  EXPECT_EQ(dib.Pixels(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(dib.Pixels(2, 0), clBlue);
  EXPECT_EQ(dib.Pixels(0, 1), clWhite);
  EXPECT_EQ(dib.Pixels(1, 1), clBlack);
  EXPECT_EQ(dib.Pixels(2, 1), RGB(128, 128, 128));
  EXPECT_EQ(dib.Pixels(3, 0), clBlack);  // outside
}

TEST(DibReader, CarriedDataWithoutFileHeaderAndTopDownRows) {
  BmpLayout s = Small24();
  s.height = -2;  // rows now stored top first
  std::vector<uint8_t> data = DibData(s);
  TDIB dib;
  dib.LoadFromDIBData(data.data(), data.size());
  EXPECT_EQ(dib.Height(), 2);
  EXPECT_EQ(dib.Pixels(0, 0), clWhite);
  EXPECT_EQ(dib.Pixels(2, 1), clBlue);
}

TEST(DibReader, OldStyleHeaderWithThreeByteColourTable) {
  BmpLayout s;
  s.headerSize = 12;
  s.width = 9;
  s.height = 1;
  s.bits = 1;
  s.palette = {{10, 20, 30, 0}, {200, 100, 50, 0}};
  s.pixels = {0b10100000, 0b10000000, 0, 0};
  TDIB dib = LoadBmp(BmpFile(s));
  EXPECT_EQ(dib.Pixels(0, 0), RGB(50, 100, 200));
  EXPECT_EQ(dib.Pixels(1, 0), RGB(30, 20, 10));
  EXPECT_EQ(dib.Pixels(2, 0), RGB(50, 100, 200));
  EXPECT_EQ(dib.Pixels(8, 0), RGB(50, 100, 200));
  EXPECT_EQ(dib.ColorTable().size(), 2u);
}

TEST(DibReader, SixteenBitMasksAndBitFields) {
  BmpLayout s;
  s.width = 2;
  s.height = 1;
  s.bits = 16;
  // default 5-5-5: pure red and full-scale green
  s.pixels = {0x00, 0x7C, 0xE0, 0x03};
  TDIB dib = LoadBmp(BmpFile(s));
  EXPECT_EQ(dib.Pixels(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(dib.Pixels(1, 0), RGB(0, 255, 0));

  s.compression = 3;
  s.masks = {0xF800, 0x07E0, 0x001F};
  s.pixels = {0x20, 0x00, 0xE0, 0x07};  // green value 1 of 6 bits; full green
  dib = LoadBmp(BmpFile(s));
  EXPECT_EQ(ColorTo565(dib.Pixels(0, 0)), 0x0020);
  EXPECT_EQ(dib.Pixels(1, 0), RGB(0, 255, 0));

  s.masks = {0xFF00, 0x00F0, 0x000F};
  try {
    LoadBmp(BmpFile(s));
    FAIL();
  } catch (const EDIBPixelFormatError& e) {
    EXPECT_EQ(e.Message(), "PixelFormat in invalid");
  }
}

TEST(DibReader, ThirtyTwoBitMasksInALongHeader) {
  BmpLayout s;
  s.headerSize = 124;
  s.width = 1;
  s.height = 1;
  s.bits = 32;
  s.compression = 3;
  s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0xFF000000};  // red in the low byte
  s.pixels = {0x11, 0x22, 0x33, 0x44};
  TDIB dib = LoadBmp(BmpFile(s));
  EXPECT_EQ(dib.Pixels(0, 0), RGB(0x11, 0x22, 0x33));
}

TEST(DibReader, ErrorsNameTheirCause) {
  BmpLayout s = Small24();
  s.bits = 2;
  try {
    LoadBmp(BmpFile(s));
    FAIL();
  } catch (const EDIBBitCountError& e) {
    EXPECT_EQ(e.Message(), "Bitcount in invalid (2)");
  }
  s = Small24();
  s.headerSize = 64;
  try {
    LoadBmp(BmpFile(s));
    FAIL();
  } catch (const EInvalidDIB& e) {
    EXPECT_EQ(e.Message(), "DIB is invalid");
  }
}

// Every way of lying in a header ends in the reader's own error.
TEST(DibReader, LyingHeadersAreInvalid) {
  struct Case {
    const char* what;
    std::function<void(BmpLayout&)> change;
  };
  const Case cases[] = {
      {"planes", [](BmpLayout& s) { s.planes = 2; }},
      {"zero width", [](BmpLayout& s) { s.width = 0; }},
      {"negative width", [](BmpLayout& s) { s.width = -3; }},
      {"zero height", [](BmpLayout& s) { s.height = 0; }},
      {"width 2^30", [](BmpLayout& s) { s.width = 1 << 30; }},
      {"height -2^31", [](BmpLayout& s) { s.height = INT32_MIN; }},
      {"2^16 x 2^16", [](BmpLayout& s) { s.width = s.height = 1 << 16; }},
      {"unknown compression", [](BmpLayout& s) { s.compression = 4; }},
      {"RLE8 on 24 bits", [](BmpLayout& s) { s.compression = 1; }},
      {"bit fields on 24 bits", [](BmpLayout& s) { s.compression = 3; }},
      {"300 colours", [](BmpLayout& s) { s.colorsUsed = 300; }},
      {"colour table past the end", [](BmpLayout& s) { s.colorsUsed = 200; }},
      {"pixel offset past the end", [](BmpLayout& s) { s.offBits = 5000; }},
      {"pixel offset inside the header", [](BmpLayout& s) { s.offBits = 20; }},
      {"short pixel block", [](BmpLayout& s) { s.pixels.resize(20); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BmpLayout s = Small24();
    c.change(s);
    EXPECT_THROW(LoadBmp(BmpFile(s)), EInvalidDIB);
  }
}

// Fields no bound depends on are not checked: the picture reads the same whatever they say.
TEST(DibReader, UnusedFieldsMayLie) {
  BmpLayout s = Small24();
  s.xDensity = 30000000;
  s.yDensity = -30000000;
  s.sizeImage = 1u << 31;
  s.fileSize = 100000;
  TDIB dib = LoadBmp(BmpFile(s));
  EXPECT_EQ(dib.Pixels(0, 0), clRed);
  EXPECT_EQ(dib.Pixels(2, 1), RGB(128, 128, 128));
}

TEST(DibReader, PaletteIndexPastTheTableIsInvalid) {
  BmpLayout s;
  s.width = 4;
  s.height = 1;
  s.bits = 8;
  s.colorsUsed = 2;
  s.palette = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  s.pixels = {0, 1, 1, 0};
  EXPECT_EQ(LoadBmp(BmpFile(s)).Pixels(1, 0), clWhite);
  s.pixels = {0, 1, 2, 0};
  EXPECT_THROW(LoadBmp(BmpFile(s)), EInvalidDIB);
}

TEST(DibReader, EveryTruncationFailsCleanly) {
  for (const BmpLayout& s : {Small24(),
                             [] {
                               BmpLayout p;
                               p.bits = 8;
                               p.palette.resize(256);
                               p.pixels.assign(8, 3);
                               return p;
                             }(),
                             [] {  // bit-field masks after the 40-byte header
                               BmpLayout p;
                               p.bits = 16;
                               p.compression = 3;
                               p.masks = {0xF800, 0x07E0, 0x001F};
                               p.pixels.assign(16, 7);
                               return p;
                             }()}) {
    std::vector<uint8_t> full = BmpFile(s);
    ASSERT_NO_THROW(LoadBmp(full));
    for (size_t n = 0; n < full.size(); ++n) {
      std::vector<uint8_t> cut(full.begin(), full.begin() + n);
      EXPECT_THROW(LoadBmp(cut), EDIBError) << n << " bytes";
      if (n < full.size() - 14) {  // carried data cut to exactly n bytes
        std::vector<uint8_t> dib(full.begin() + 14, full.begin() + 14 + static_cast<long>(n));
        TDIB d;
        EXPECT_THROW(d.LoadFromDIBData(dib.data(), n), EDIBError) << n << " bytes";
      }
    }
  }
  TDIB d;
  const uint8_t notBm[] = {'B', 'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 40, 0};
  EXPECT_THROW(d.LoadFromBMPFile(notBm, sizeof notBm), EInvalidDIB);
}

TEST(DibReader, FailedLoadKeepsThePreviousPicture) {
  TDIB dib = LoadBmp(BmpFile(Small24()));
  std::vector<uint8_t> bad = BmpFile(Small24());
  bad.resize(40);
  EXPECT_THROW(dib.LoadFromBMPFile(bad.data(), bad.size()), EInvalidDIB);
  EXPECT_EQ(dib.Width(), 3);
  EXPECT_EQ(dib.Pixels(0, 0), clRed);
}

// ---------------------------------------------------------------------------------------------
// Run-length data
BmpLayout Rle8(std::vector<uint8_t> codes, int w = 4, int h = 2) {
  BmpLayout s;
  s.width = w;
  s.height = h;
  s.bits = 8;
  s.compression = 1;
  s.colorsUsed = 4;
  s.palette = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}};
  s.sizeImage = static_cast<uint32_t>(codes.size());
  s.pixels = std::move(codes);
  return s;
}

TEST(DibReader, Rle8RunsAbsoluteRunsDeltaAndGaps) {
  // bottom row: absolute (2, 3, 1) padded to a word, then a run of 2 x index 1;
  // top row: delta one right, then one index 2.
  TDIB dib = LoadBmp(BmpFile(Rle8({0, 3, 2, 3, 1, 0, 2, 1, 0, 0, 0, 2, 1, 0, 1, 2, 0, 1}, 5)));
  EXPECT_EQ(dib.Compression(), 1);
  EXPECT_EQ(dib.Pixels(0, 1), RGB(0, 255, 0));
  EXPECT_EQ(dib.Pixels(1, 1), clBlue);
  EXPECT_EQ(dib.Pixels(2, 1), clRed);
  EXPECT_EQ(dib.Pixels(3, 1), clRed);
  EXPECT_EQ(dib.Pixels(4, 1), clRed);
  EXPECT_EQ(dib.Pixels(0, 0), clBlack);  // skipped by the delta: index 0
  EXPECT_EQ(dib.Pixels(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(dib.Pixels(2, 0), clBlack);
}

TEST(DibReader, RunsMayCoverTheRowPaddingOnly) {
  // A 5-pixel row of 8 bits is stored in 8 bytes; encoders code the padding too.
  TDIB dib = LoadBmp(BmpFile(Rle8({8, 3, 0, 0, 0, 1}, 5, 1)));
  for (int x = 0; x < 5; ++x) EXPECT_EQ(dib.Pixels(x, 0), clBlue);
  EXPECT_THROW(LoadBmp(BmpFile(Rle8({9, 3, 0, 0, 0, 1}, 5, 1))), EInvalidDIB);
  EXPECT_THROW(LoadBmp(BmpFile(Rle8({0, 9, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 1}, 5, 1))),
               EInvalidDIB);
  EXPECT_NO_THROW(LoadBmp(BmpFile(Rle8({0, 8, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1}, 5, 1))));
}

TEST(DibReader, RunLengthOverrunsAreInvalid) {
  struct Case {
    const char* what;
    std::vector<uint8_t> codes;
  };
  const Case cases[] = {
      {"run past the row", {5, 1, 0, 1}},
      {"absolute run past the row", {0, 5, 1, 1, 1, 1, 1, 0, 0, 1}},
      {"absolute run past the data", {0, 4, 1, 1}},
      {"rows past the picture", {0, 0, 0, 0, 0, 0, 1, 1, 0, 1}},
      {"run after the last row's end of line", {0, 0, 0, 0, 1, 1, 0, 1}},
      {"absolute run past the last row", {0, 0, 0, 0, 0, 3, 1, 1, 1, 0, 0, 1}},
      {"delta past the picture", {0, 2, 0, 3, 0, 1}},
      {"delta past the row", {0, 2, 9, 0, 0, 1}},
      {"no end of bitmap", {4, 1, 0, 0, 4, 2}},
      {"cut inside a delta", {0, 2, 1}},
      {"index past the colour table", {1, 9, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_THROW(LoadBmp(BmpFile(Rle8(c.codes))), EInvalidDIB);
  }
  // image size larger than the data; an image size that ends inside a code
  BmpLayout s = Rle8({4, 1, 0, 1});
  s.sizeImage = 100;
  EXPECT_THROW(LoadBmp(BmpFile(s)), EInvalidDIB);
  s.sizeImage = 3;
  EXPECT_THROW(LoadBmp(BmpFile(s)), EInvalidDIB);
  // a run one pixel past a padded row of 32
  EXPECT_THROW(LoadBmp(BmpFile(Rle8({33, 1, 0, 1}, 32, 1))), EInvalidDIB);
  // run-length pictures cannot be stored top-down
  s = Rle8({4, 1, 0, 1});
  s.height = -2;
  EXPECT_THROW(LoadBmp(BmpFile(s)), EInvalidDIB);
}

TEST(DibReader, Rle4AlternatesNibbles) {
  BmpLayout s;
  s.width = 6;
  s.height = 1;
  s.bits = 4;
  s.compression = 2;
  s.colorsUsed = 3;
  s.palette = {{0, 0, 0, 0}, {0, 0, 255, 0}, {255, 0, 0, 0}};
  // three pixels 1,2,1 from one run; then the absolute run 2,1,2
  s.pixels = {3, 0x12, 0, 3, 0x21, 0x20, 0, 1};
  s.sizeImage = static_cast<uint32_t>(s.pixels.size());
  TDIB dib = LoadBmp(BmpFile(s));
  for (int x = 0; x < 6; ++x) EXPECT_EQ(dib.Pixels(x, 0), (x & 1) ? clBlue : clRed) << x;
  s.pixels = {9, 0x12, 0, 1};  // nine pixels: past the row and its two padding pixels
  s.sizeImage = 4;
  EXPECT_THROW(LoadBmp(BmpFile(s)), EInvalidDIB);
}

// ---------------------------------------------------------------------------------------------
// Carried picture data and files
TEST(DXPicture, LoadsCarriedDataAndKeepsTheOldGraphicOnError) {
  std::vector<uint8_t> data = {4, 'T', 'D', 'I', 'B'};
  std::vector<uint8_t> dib = DibData(Small24());
  data.insert(data.end(), dib.begin(), dib.end());
  TDXPicture pic;
  pic.LoadFromResource(res::Blob{data.data(), data.size()});
  ASSERT_TRUE(pic.HasGraphic());
  EXPECT_EQ(pic.GraphicClassName(), "TDIB");
  EXPECT_EQ(pic.Width(), 3);
  EXPECT_EQ(pic.Graphic()->Pixels(0, 1), clWhite);

  std::vector<uint8_t> unknown = {4, 'T', 'P', 'N', 'G', 1, 2};
  EXPECT_THROW(pic.LoadFromStream(unknown.data(), unknown.size()), EInvalidDIB);
  std::vector<uint8_t> shortName = {9, 'T', 'D'};
  EXPECT_THROW(pic.LoadFromStream(shortName.data(), shortName.size()), EInvalidDIB);
  EXPECT_EQ(pic.Width(), 3);

  // A toolkit bitmap: its size, then a whole BMP file.
  std::vector<uint8_t> file = BmpFile(Small24());
  std::vector<uint8_t> bmp = {7, 'T', 'B', 'i', 't', 'm', 'a', 'p'};
  Put32(bmp, static_cast<uint32_t>(file.size()));
  bmp.insert(bmp.end(), file.begin(), file.end());
  pic.LoadFromStream(bmp.data(), bmp.size());
  EXPECT_EQ(pic.GraphicClassName(), "TBitmap");
  Put32(bmp, 0);  // trailing bytes after the stated size are ignored
  bmp[8] = 0xFF;  // but a size past the end is not
  EXPECT_THROW(pic.LoadFromStream(bmp.data(), bmp.size()), EInvalidDIB);

  pic.LoadFromResource(res::Blob{});
  EXPECT_FALSE(pic.HasGraphic());
  EXPECT_EQ(pic.Width(), 0);
}

TEST(DXPicture, LoadPictureFileMapsBackslashesAndNamesMissingFiles) {
  TempDir dir;
  fs::create_directories(dir / "shar");
  WriteFile(dir / "shar/1.bmp", BmpFile(Small24()));
  TDXPicture pic;
  std::string gamePath = dir / "shar\\1.bmp";
  LoadPictureFile(pic, gamePath);
  EXPECT_EQ(pic.GraphicClassName(), "TBitmap");
  EXPECT_EQ(pic.Graphic()->Pixels(2, 0), clBlue);
  WriteFile(dir / "shar/1.DIB", BmpFile(Small24()));
  LoadPictureFile(pic, dir / "shar\\1.DIB");
  EXPECT_EQ(pic.GraphicClassName(), "TDIB");

  try {
    LoadPictureFile(pic, dir / "shar\\9.bmp");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(),
              "Cannot open file \"" + (dir / "shar/9.bmp") + "\". No such file or directory");
  }
  EXPECT_EQ(pic.GraphicClassName(), "TDIB");  // unchanged

  // A relative name is reported with the working directory in front.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  try {
    LoadPictureFile(pic, "no_such_dir_kx\\x.bmp");
    FAIL();
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + std::string(cwd) +
                               "/no_such_dir_kx/x.bmp\". No such file or directory");
  }
}

TEST(DXPicture, APictureFileIsReadUpToTheSizeItsHeaderStates) {
  TempDir dir;
  const std::vector<uint8_t> bmp = BmpFile(Small24());
  std::vector<uint8_t> padded = bmp;
  padded.resize(bmp.size() + (1 << 20), 0x5A);  // a megabyte that is not the picture's
  WriteFile(dir / "a.bmp", padded);
  EXPECT_EQ(ReadWholeFile(dir / "a.bmp"), bmp);
  padded[2] = padded[3] = padded[4] = padded[5] = 0;  // no size stated: the whole file
  WriteFile(dir / "a.bmp", padded);
  EXPECT_EQ(ReadWholeFile(dir / "a.bmp").size(), padded.size());
}

// The file-size field bounds the read only when it covers what the headers and the pixels need:
// a smaller, zero or absurd value is ignored and the file's own length is the bound.
TEST(DXPicture, APictureLoadsWhateverSizeItsFileHeaderStates) {
  TempDir dir;
  BmpLayout s;
  s.width = 2;
  s.height = 2;
  s.bits = 24;
  s.pixels = {255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0};  // 70 bytes in all
  for (uint32_t stated : {0u, 20u, 54u, 69u, 70u, 1000000000u}) {
    s.fileSize = stated;
    const std::vector<uint8_t> file = BmpFile(s);
    ASSERT_EQ(file.size(), 70u);
    WriteFile(dir / "p.bmp", file);
    EXPECT_EQ(ReadWholeFile(dir / "p.bmp"), file) << "stated " << stated;
    TDXPicture pic;
    ASSERT_NO_THROW(LoadPictureFile(pic, dir / "p.bmp")) << "stated " << stated;
    EXPECT_EQ(pic.Width(), 2);
    EXPECT_EQ(pic.Graphic()->Pixels(0, 1), clWhite);
    EXPECT_EQ(pic.Graphic()->Pixels(0, 0), clRed);
  }
}

TEST(DXPicture, CopyRectConvertsAndClips) {
  TDIB dib = LoadBmp(BmpFile(Small24()));
  std::vector<uint16_t> px(4 * 3, 0xAAAA);
  PixelBuffer buf{reinterpret_cast<uint8_t*>(px.data()), 8, 4, 3, 16};
  dib.CopyRect(Rect(0, 0, 3, 2), buf, 2, -1);  // only the bottom row's first two pixels fit
  EXPECT_EQ(px[0 * 4 + 2], ColorTo565(clWhite));
  EXPECT_EQ(px[0 * 4 + 3], ColorTo565(clBlack));
  EXPECT_EQ(px[1 * 4 + 2], 0xAAAA);
  EXPECT_EQ(px[0 * 4 + 1], 0xAAAA);
  std::vector<uint32_t> px32(2 * 2, 0);
  PixelBuffer b32{reinterpret_cast<uint8_t*>(px32.data()), 8, 2, 2, 32};
  dib.CopyRect(Rect(1, 0, 5, 2), b32, 0, 0);
  EXPECT_EQ(px32[0], 0x00FF00u);
  EXPECT_EQ(px32[1], 0x0000FFu);
  EXPECT_EQ(px32[2], 0x000000u);
  EXPECT_EQ(px32[3], 0x808080u);
}

// ---------------------------------------------------------------------------------------------
// Against ImageMagick's own writer and reader.
TEST(DibReaderMagick, DecodesWhatImageMagickWrites) {
  std::string tool = ConvertTool();
  if (tool.empty()) GTEST_SKIP() << "ImageMagick convert is not installed";
  TempDir dir;
  const std::string src = dir / "src.png";
  // A picture with gradients and hard edges, 37 pixels wide so that rows need padding.
  ASSERT_TRUE(RunShell(tool +
                       " -size 37x13 gradient:red-blue -fill '#10e040' -draw 'rectangle 5,2 20,8'"
                       " -fill white -draw 'point 36,0' " +
                       Quote(src)));
  struct Variant {
    const char* name;
    const char* options;
    int bits;
    int compression;
  };
  const Variant variants[] = {
      {"1bit", "-colors 2 -type Palette BMP3:", 1, 0},
      {"4bit", "-colors 12 -type Palette BMP3:", 4, 0},
      {"8bit", "-colors 200 -type Palette -compress None BMP3:", 8, 0},
      {"rle8", "-colors 200 -type Palette -compress RLE BMP3:", 8, 1},
      {"os2_4bit", "-colors 12 -type Palette BMP2:", 4, 0},
      {"os2_8bit", "-colors 100 -type Palette -compress None BMP2:", 8, 0},
      {"24bit", "-type TrueColor BMP3:", 24, 0},
      {"32bit",
       "-alpha set -channel A -evaluate set 50% +channel -define bmp3:alpha=true BMP3:", 32, 0},
      {"565", "-define bmp:subtype=RGB565 BMP:", 16, 3},
      {"555", "-define bmp:subtype=RGB555 BMP:", 16, 3},
      {"v5_32bit", "-alpha set BMP:", 32, 3},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    std::string out = dir / (std::string(v.name) + ".bmp");
    std::string opts = v.options;
    size_t colon = opts.rfind(' ');
    std::string format = colon == std::string::npos ? opts : opts.substr(colon + 1);
    std::string flags = colon == std::string::npos ? "" : opts.substr(0, colon);
    ASSERT_TRUE(RunShell(tool + " " + Quote(src) + " " + flags + " " + format + Quote(out)));
    TDIB dib;
    ASSERT_NO_THROW(dib.LoadFromFile(out));
    EXPECT_EQ(dib.BitCount(), v.bits);
    EXPECT_EQ(dib.Compression(), v.compression);
    // Channels of fewer than 8 bits compare through the RGB565 conversion.
    ExpectSameAsMagick(out, out, v.bits != 16);
  }
  // Top-down storage of the same pictures.
  for (const char* name : {"24bit", "8bit", "1bit"}) {
    SCOPED_TRACE(name);
    std::string out = dir / (std::string(name) + "_td.bmp");
    WriteFile(out, MakeTopDown(ReadFile(dir / (std::string(name) + ".bmp"))));
    ExpectSameAsMagick(out, out, true);
    TDIB a, b;
    a.LoadFromFile(out);
    b.LoadFromFile(dir / (std::string(name) + ".bmp"));
    for (int y = 0; y < a.Height(); ++y)
      ASSERT_EQ(0, std::memcmp(a.ScanLine(y), b.ScanLine(y), a.Width() * 4u)) << "row " << y;
  }
}

TEST(DibReaderMagick, Rle4ReadsAsImageMagickReadsIt) {
  std::string tool = ConvertTool();
  if (tool.empty()) GTEST_SKIP() << "ImageMagick convert is not installed";
  TempDir dir;
  // ImageMagick writes no RLE4, so the file is encoded here: an odd width, runs, absolute runs
  // with odd pixel counts, a delta and rows ended early.
  BmpLayout s;
  s.width = 11;
  s.height = 4;
  s.bits = 4;
  s.compression = 2;
  s.colorsUsed = 5;
  s.palette = {{0, 0, 0, 0}, {0, 0, 255, 0}, {0, 255, 0, 0}, {255, 0, 0, 0}, {255, 255, 255, 0}};
  s.pixels = {11, 0x12, 0,    0,  // row 0: 1,2,1,2,...
              0,  5,    0x34, 0x12, 0x30, 0,
              6,  0x44, 0,    0,              // row 1: absolute 3,4,1,2,3 then six 4s
              0,  2,    3,    1,              // delta: 3 right, 1 up (row 2 left as index 0)
              0,  3,    0x21, 0x40, 0,    0,  // row 3 from x = 3: absolute 2,1,4
              0,  1};
  s.sizeImage = static_cast<uint32_t>(s.pixels.size());
  std::string out = dir / "rle4.bmp";
  WriteFile(out, BmpFile(s));
  ExpectSameAsMagick(out, out, true);
  TDIB dib;
  dib.LoadFromFile(out);
  EXPECT_EQ(dib.Pixels(10, 3), clRed);   // row 0 is the bottom row: index 1 at even x
  EXPECT_EQ(dib.Pixels(5, 0), clWhite);  // top row: 2,1,4 from x = 3
}

// ---------------------------------------------------------------------------------------------
// The public corpus of good and bad files.
std::string CorpusDir() {
  for (const char* p : {KX_SOURCE_DIR "/../shared/bmpsuite", "/work/shared/bmpsuite"})
    if (fs::is_directory(p)) return p;
  return "";
}

const std::vector<std::string> kLyingButReadable = {"baddens1.bmp", "baddens2.bmp",
                                                    "badfilesize.bmp", "badbitssize.bmp"};

TEST(DibCorpus, GoodFilesMatchTheReferences) {
  std::string dir = CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "the bmpsuite corpus (shared/bmpsuite) is absent";
  if (ConvertTool().empty()) GTEST_SKIP() << "ImageMagick convert is not installed";
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir + "/g")) {
    if (entry.path().extension() != ".bmp") continue;
    std::string ref = dir + "/g-ref/" + entry.path().stem().string() + ".png";
    ASSERT_TRUE(fs::exists(ref)) << ref;
    // pal8v4 declares a calibrated colour space and its reference was made with that space's
    // gamma applied; colour spaces are not applied here (nor by the game), so that one file is
    // held against ImageMagick's plain reading of its pixels instead.
    if (entry.path().stem() == "pal8v4") ref = entry.path().string();
    ExpectSameAsMagick(entry.path().string(), ref, false);
    ++files;
  }
  EXPECT_GT(files, 20);
  // pal1 with an absurd resolution, file size or image size: other readers open these.
  for (const std::string& name : kLyingButReadable)
    ExpectSameAsMagick(dir + "/b/" + name, dir + "/g-ref/pal1.png", false);
}

TEST(DibCorpus, BadFilesEndInTheReadersOwnError) {
  std::string dir = CorpusDir();
  if (dir.empty()) GTEST_SKIP() << "the bmpsuite corpus (shared/bmpsuite) is absent";
  int files = 0;
  for (const auto& entry : fs::directory_iterator(dir + "/b")) {
    if (entry.path().extension() != ".bmp") continue;
    if (std::count(kLyingButReadable.begin(), kLyingButReadable.end(), entry.path().filename()))
      continue;
    SCOPED_TRACE(entry.path().filename().string());
    TDIB dib;
    EXPECT_THROW(dib.LoadFromFile(entry.path().string()), EDIBError);
    EXPECT_TRUE(dib.Empty());
    // The same bytes as carried picture data behind the file header.
    std::vector<uint8_t> bytes = ReadFile(entry.path().string());
    if (bytes.size() > 14) {
      try {
        dib.LoadFromDIBData(bytes.data() + 14, bytes.size() - 14);
      } catch (const EDIBError&) {
      }
    }
    ++files;
  }
  EXPECT_GT(files, 15);
}

}  // namespace
