// The resources carried inside the program: picture data, JPEG pictures, sounds and the
// keyboard table, as res::Find hands them out.
#include "toolkit/resources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "file_checks.h"

namespace {

using tools_test::Bytes;
using tools_test::DibHeader;
using tools_test::I32;
using tools_test::ParseDibHeader;
using tools_test::ParseWave;
using tools_test::RowBytes;
using tools_test::U16;
using tools_test::U32;
using tools_test::Wave;

Bytes Get(const char* name) {
  res::Blob b = res::Find(name);
  return b ? Bytes(b.data, b.data + b.size) : Bytes{};
}

TEST(CarriedResources, NamesAreExactlyTheCarriedOnes) {
  std::vector<std::string> names;
  for (std::string_view n : res::Names()) names.emplace_back(n);
  std::vector<std::string> expected = {
      "Menulist.m1",      "Menulist.m2",      "Menulist.m3",          "Menulist.background",
      "ImageList.shar1",  "ImageList.kirp11", "ImageList.background", "ImageList.img1-2",
      "ImageList.Panel1", "Form1.Image1",     "Form2.Image1",         "DXWaveList.snd",
      "DXWaveList.morf",  "DXWaveList.pop",   "DXWaveList.las",       "DXInput.Keyboard.Assigns"};
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  for (const std::string& n : expected) EXPECT_TRUE(res::Find(n)) << n;
  // Names are exact: a different case or an unknown name finds nothing.
  EXPECT_FALSE(res::Find("menulist.m1"));
  EXPECT_FALSE(res::Find("Menulist.m4"));
  EXPECT_FALSE(res::Find(""));
}

// Walks a run-length coded pixel block by the BMP rules without decoding colours: every row
// must hold exactly `width` pixels, there must be `height` rows, and the block must end with
// the end-of-bitmap escape on its last byte. Returns an empty string when all is well.
std::string WalkRle(const uint8_t* p, size_t n, int width, int height, int bits) {
  size_t i = 0;
  int x = 0, y = 0;
  while (i + 2 <= n) {
    uint8_t a = p[i], b = p[i + 1];
    i += 2;
    if (a > 0) {
      x += a;
      if (x > width) return "row " + std::to_string(y) + " runs past the right edge";
    } else if (b == 0 || b == 1) {
      if (x != width) return "row " + std::to_string(y) + " holds " + std::to_string(x) + " pixels";
      x = 0;
      ++y;
      if (b == 1) {
        if (y != height) return "end of bitmap after " + std::to_string(y) + " rows";
        return i == n ? "" : "bytes after the end of bitmap";
      }
      if (y >= height) return "more rows than the height";
    } else if (b == 2) {
      return "delta escape (the pictures are dense)";
    } else {
      size_t bytes = bits == 8 ? b : (b + 1u) / 2;
      bytes += bytes & 1;  // absolute runs are padded to 16 bits
      i += bytes;
      x += b;
      if (i > n) return "absolute run past the data";
      if (x > width) return "row " + std::to_string(y) + " runs past the right edge";
    }
  }
  return "no end-of-bitmap escape";
}

struct Picture {
  const char* name;
  int width, height, bits, compression;
};

TEST(CarriedResources, PicturesAreTdibDataOfTheCatalogueSizesAndDepths) {
  const Picture pictures[] = {
      {"Menulist.m1", 300, 57, 24, 0},        {"Menulist.m2", 135, 30, 24, 0},
      {"Menulist.m3", 160, 33, 24, 0},        {"Menulist.background", 800, 600, 24, 0},
      {"ImageList.shar1", 20, 20, 24, 0},     {"ImageList.kirp11", 50, 20, 24, 0},
      {"ImageList.background", 64, 64, 4, 2}, {"ImageList.img1-2", 160, 160, 8, 1},
      {"ImageList.Panel1", 10, 7, 1, 0},
  };
  for (const Picture& pic : pictures) {
    SCOPED_TRACE(pic.name);
    Bytes b = Get(pic.name);
    ASSERT_GT(b.size(), 5u + 40u);
    ASSERT_EQ(b[0], 4);
    EXPECT_EQ(std::string(b.begin() + 1, b.begin() + 5), "TDIB");
    DibHeader h = ParseDibHeader(&b[5]);
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, pic.width);
    EXPECT_EQ(h.height, pic.height);
    EXPECT_EQ(h.planes, 1u);
    EXPECT_EQ(h.bits, uint32_t(pic.bits));
    EXPECT_EQ(h.compression, uint32_t(pic.compression));
    size_t colours = pic.bits <= 8 ? (h.coloursUsed ? h.coloursUsed : 1u << pic.bits) : 0;
    EXPECT_LE(colours, 256u);
    size_t pixels = 5 + 40 + 4 * colours;
    ASSERT_LE(pixels, b.size());
    size_t rest = b.size() - pixels;
    if (pic.compression == 0) {
      EXPECT_EQ(rest, size_t(RowBytes(pic.width, pic.bits)) * pic.height);
    } else {
      EXPECT_EQ(rest, h.imageSize) << "the image size field gives the coded length";
      EXPECT_EQ(WalkRle(&b[pixels], rest, pic.width, pic.height, pic.bits), "");
    }
  }
}

TEST(CarriedResources, RleWalkerRejectsBrokenStreams) {
  // The walker above must itself catch what a faulty encoder would produce.
  const uint8_t good[] = {3, 1, 0, 0, 0, 3, 1, 2, 3, 0, 0, 1};  // 3 pixels, then absolute 3
  EXPECT_EQ(WalkRle(good, sizeof good, 3, 2, 8), "");
  const uint8_t shortRow[] = {2, 1, 0, 0, 3, 1, 0, 1};
  EXPECT_NE(WalkRle(shortRow, sizeof shortRow, 3, 2, 8), "");
  const uint8_t noEnd[] = {3, 1, 0, 0, 3, 1, 0, 0};
  EXPECT_NE(WalkRle(noEnd, sizeof noEnd, 3, 2, 8), "");
  const uint8_t unpadded[] = {0, 3, 1, 2, 3, 0, 1};  // absolute run of 3 without its pad byte
  EXPECT_NE(WalkRle(unpadded, sizeof unpadded, 3, 1, 8), "");
}

// The red, green, blue value of pixel (x, y) of a 24-bit TDIB blob, counted from the top row.
uint32_t DibPixel(const Bytes& b, int x, int y) {
  DibHeader h = ParseDibHeader(&b[5]);
  const uint8_t* p = &b[5 + 40 + size_t(h.height - 1 - y) * RowBytes(h.width, 24) + x * 3];
  return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

TEST(CarriedResources, MenuPicturesUseTheirKeyColoursAroundRealContent) {
  struct Keyed {
    const char* name;
    uint32_t key;  // 0xRRGGBB
  };
  for (Keyed k : {Keyed{"Menulist.m1", 0}, Keyed{"Menulist.m2", 0}, Keyed{"Menulist.m3", 0x010101},
                  Keyed{"ImageList.shar1", 0}}) {
    SCOPED_TRACE(k.name);
    Bytes b = Get(k.name);
    ASSERT_FALSE(b.empty());
    DibHeader h = ParseDibHeader(&b[5]);
    EXPECT_EQ(DibPixel(b, 0, 0), k.key);
    EXPECT_EQ(DibPixel(b, h.width - 1, h.height - 1), k.key);
    int content = 0;
    for (int y = 0; y < h.height; ++y)
      for (int x = 0; x < h.width; ++x)
        content += tools_test::To565(DibPixel(b, x, y)) != tools_test::To565(k.key);
    double share = double(content) / (h.width * h.height);
    EXPECT_GT(share, 0.15) << "too little drawn";
    EXPECT_LT(share, 0.9) << "the key colour should surround the shape";
  }
}

TEST(CarriedResources, MenuBackdropKeepsTheRecordTableAndPromptReadable) {
  // The game writes the record table at x 530..800, y 58..200 and the start prompt at y 550;
  // the backdrop must be dark there for the text to read.
  Bytes b = Get("Menulist.background");
  ASSERT_FALSE(b.empty());
  auto meanLuma = [&](int x0, int y0, int x1, int y1) {
    double s = 0;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        uint32_t p = DibPixel(b, x, y);
        s += 0.3 * (p >> 16) + 0.59 * ((p >> 8) & 255) + 0.11 * (p & 255);
      }
    return s / ((x1 - x0) * (y1 - y0));
  };
  EXPECT_LT(meanLuma(540, 60, 780, 200), 40.0);
  EXPECT_LT(meanLuma(100, 550, 600, 580), 40.0);
  // The whole picture is not simply black either.
  EXPECT_GT(meanLuma(0, 0, 800, 600), 8.0);
}

// Width and height from the first start-of-frame marker of a JPEG stream.
bool JpegSize(const Bytes& b, int& w, int& h) {
  if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) return false;
  size_t p = 2;
  while (p + 4 <= b.size()) {
    if (b[p] != 0xFF) return false;
    uint8_t m = b[p + 1];
    size_t len = size_t(b[p + 2]) << 8 | b[p + 3];
    if (m >= 0xC0 && m <= 0xC3) {
      if (p + 9 > b.size()) return false;
      h = b[p + 5] << 8 | b[p + 6];
      w = b[p + 7] << 8 | b[p + 8];
      return true;
    }
    p += 2 + len;
  }
  return false;
}

TEST(CarriedResources, WindowPicturesAreJpegsOfTheWindowSizes) {
  for (auto [name, w, h] :
       {std::tuple{"Form1.Image1", 320, 150}, std::tuple{"Form2.Image1", 232, 77}}) {
    SCOPED_TRACE(name);
    Bytes b = Get(name);
    int jw = 0, jh = 0;
    ASSERT_TRUE(JpegSize(b, jw, jh));
    EXPECT_EQ(jw, w);
    EXPECT_EQ(jh, h);
    EXPECT_EQ(b[b.size() - 2], 0xFF);
    EXPECT_EQ(b[b.size() - 1], 0xD9);
  }
}

struct Sound {
  const char* name;
  uint32_t rate, bits, fmtSize, dataSize;
};

TEST(CarriedResources, WavesHaveExactlyTheGamesFormatsAndLengths) {
  const Sound sounds[] = {{"DXWaveList.snd", 11025, 16, 20, 12036},
                          {"DXWaveList.morf", 11025, 8, 16, 1086},
                          {"DXWaveList.pop", 11025, 8, 16, 640},
                          {"DXWaveList.las", 22050, 8, 16, 16542}};
  for (const Sound& s : sounds) {
    SCOPED_TRACE(s.name);
    Wave w = ParseWave(Get(s.name));
    ASSERT_TRUE(w.valid);
    EXPECT_EQ(w.format, 1u);
    EXPECT_EQ(w.channels, 1u);
    EXPECT_EQ(w.rate, s.rate);
    EXPECT_EQ(w.bits, s.bits);
    EXPECT_EQ(w.fmtSize, s.fmtSize);
    EXPECT_EQ(w.data.size(), s.dataSize);
    if (s.fmtSize == 20) {
      EXPECT_EQ(Bytes(w.fmt.begin() + 16, w.fmt.end()), (Bytes{0x18, 0, 0, 0}));
    }
    // Audible, not clipped hard, and quiet at the very end (no click when the sound stops).
    std::vector<double> v;
    if (s.bits == 8)
      for (uint8_t b : w.data) v.push_back((b - 128) / 128.0);
    else
      for (size_t i = 0; i + 1 < w.data.size(); i += 2)
        v.push_back(int16_t(U16(&w.data[i])) / 32768.0);
    double peak = 0;
    for (double x : v) peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 0.4);
    EXPECT_LT(std::fabs(v.back()), 0.05);
  }
}

TEST(CarriedResources, LaserFallsInPitch) {
  // Count zero crossings in the first and last fifth of the laser: a falling zap crosses zero
  // far more often at its start.
  Wave las = ParseWave(Get("DXWaveList.las"));
  ASSERT_TRUE(las.valid);
  auto crossings = [&](size_t from, size_t to) {
    int n = 0;
    for (size_t i = from + 1; i < to; ++i) n += (las.data[i - 1] < 128) != (las.data[i] < 128);
    return n;
  };
  size_t fifth = las.data.size() / 5;
  EXPECT_GT(crossings(0, fifth), 2 * crossings(4 * fifth, las.data.size()));
}

TEST(CarriedResources, KeyboardAssignsHoldTheGamesTable) {
  Bytes b = Get("DXInput.Keyboard.Assigns");
  ASSERT_EQ(b.size(), 432u);
  int expected[36][3] = {};
  const int rows[][4] = {{0, 75, 38, 104}, {1, 74, 40, 98}, {2, 65, 37, 100}, {3, 68, 39, 102},
                         {4, 90, 32, 0},   {5, 88, 13, 0},  {12, 113, 0, 0}};
  for (auto& r : rows)
    for (int k = 0; k < 3; ++k) expected[r[0]][k] = r[k + 1];
  for (int r = 0; r < 36; ++r)
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(I32(&b[size_t(r * 3 + k) * 4]), expected[r][k]) << "row " << r << " key " << k;
}

}  // namespace
