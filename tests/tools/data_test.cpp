// The generated data directory: every picture the game loads, the music and the record file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "file_checks.h"
#include "support/scratch_dir.h"

namespace {

using tools_test::Bmp;
using tools_test::Bytes;
using tools_test::ParseBmp;
using tools_test::ParseWave;
using tools_test::ReadFile;
using tools_test::To565;
using tools_test::U16;
using tools_test::U32;
using tools_test::Wave;

std::string Data(const std::string& rel) { return std::string(KX_DATA_DIR) + "/" + rel; }

Bmp Load(const std::string& rel) {
  Bmp b = ParseBmp(Data(rel));
  EXPECT_TRUE(b.valid) << rel << ": " << b.error;
  return b;
}

// Every picture file of the catalogue with the size the game relies on (0 = any).
struct Expect {
  std::string file;
  int width, height;
};

std::vector<Expect> Catalogue() {
  std::vector<Expect> e;
  for (int k = 1; k <= 4; ++k) e.push_back({"shar/" + std::to_string(k) + ".bmp", 20, 20});
  for (int k = 1; k <= 14; ++k) e.push_back({"bon/" + std::to_string(k) + ".bmp", 0, 0});
  for (int d = 0; d <= 9; ++d) e.push_back({"fnt/" + std::to_string(d) + ".bmp", 20, 0});
  const int barrel[5] = {39, 54, 110, 156, 207};
  for (int s = 1; s <= 5; ++s)
    e.push_back({"pod/" + std::to_string(s) + ".bmp", barrel[s - 1] + 10, 0});
  for (int t : {11, 41, 51}) e.push_back({"kirp/" + std::to_string(t) + ".bmp", 50, 20});
  for (int t : {2, 3, 6, 7, 8, 9})
    for (int f = 1; f <= 3; ++f)
      e.push_back({"kirp/" + std::to_string(t * 10 + f) + ".bmp", 50, 20});
  e.push_back({"fon/2.bmp", 0, 0});
  return e;
}

TEST(DataPictures, EveryCatalogueFileIsA24BitBmpOfItsSize) {
  for (const Expect& e : Catalogue()) {
    SCOPED_TRACE(e.file);
    Bmp b = Load(e.file);
    if (!b.valid) continue;
    if (e.width) {
      EXPECT_EQ(b.dib.width, e.width);
    }
    if (e.height) {
      EXPECT_EQ(b.dib.height, e.height);
    }
    EXPECT_EQ(b.bytes.size(),
              b.offset + size_t(tools_test::RowBytes(b.dib.width, 24)) * b.dib.height);
  }
}

TEST(DataPictures, DigitsAreTenDistinctPicturesOfOneSizeThatFitTheScoreRow) {
  // The score draws ten digits 20 pixels apart from x = 0, so all must be 20 wide and alike in
  // height, and no two digits may be the same picture.
  std::set<Bytes> seen;
  int height = -1;
  for (int d = 0; d <= 9; ++d) {
    Bmp b = Load("fnt/" + std::to_string(d) + ".bmp");
    if (!b.valid) continue;
    if (height < 0) height = b.dib.height;
    EXPECT_EQ(b.dib.height, height) << d;
    EXPECT_LE(b.dib.height, 40) << "digits must leave the field visible";
    EXPECT_TRUE(seen.insert(Bytes(b.bytes.begin() + b.offset, b.bytes.end())).second) << d;
  }
}

// Fraction of the picture's pixels that the game's colour key (black) makes transparent.
double KeyedShare(const Bmp& b, uint32_t key = 0) {
  int n = 0;
  for (int y = 0; y < b.dib.height; ++y)
    for (int x = 0; x < b.dib.width; ++x) n += To565(b.Pixel(x, y)) == To565(key);
  return double(n) / (b.dib.width * b.dib.height);
}

TEST(DataPictures, KeyedPicturesHaveTransparentCornersAndASolidMiddle) {
  // Balls, paddles, gun pictures, digits and the keyed brick types are drawn with black as the
  // transparent colour: their corners must be black and their middle must not be.
  std::vector<std::string> keyed = {"shar/1.bmp",  "shar/2.bmp",  "shar/3.bmp",  "shar/4.bmp",
                                    "pod/1.bmp",   "pod/3.bmp",   "pod/5.bmp",   "bon/13.bmp",
                                    "bon/14.bmp",  "kirp/21.bmp", "kirp/63.bmp", "kirp/72.bmp",
                                    "kirp/81.bmp", "kirp/93.bmp"};
  for (const std::string& f : keyed) {
    SCOPED_TRACE(f);
    Bmp b = Load(f);
    if (!b.valid) continue;
    int w = b.dib.width, h = b.dib.height;
    EXPECT_EQ(b.Pixel(0, 0), 0u);
    EXPECT_EQ(b.Pixel(w - 1, 0), 0u);
    EXPECT_EQ(b.Pixel(0, h - 1), 0u);
    EXPECT_EQ(b.Pixel(w - 1, h - 1), 0u);
    EXPECT_NE(To565(b.Pixel(w / 2, h / 2)), 0u) << "a hole in the middle";
  }
  // Shape, not a box: a ball is a disc nearly filling its square (at most pi/4 of it), a
  // bullet covers much less.
  double ball = 1.0 - KeyedShare(Load("shar/1.bmp"));
  EXPECT_GT(ball, 0.6);
  EXPECT_LT(ball, 0.8);
  EXPECT_LT(1.0 - KeyedShare(Load("bon/14.bmp")), 0.35);
}

TEST(DataPictures, OpaquePicturesHaveNoTransparentHoles) {
  // Bonuses and the still bricks are not keyed, but a black pixel inside the playing bricks
  // would still read as a hole in the picture: there should be none at all.
  for (std::string f :
       {"kirp/11.bmp", "kirp/41.bmp", "kirp/51.bmp", "kirp/31.bmp", "bon/1.bmp", "bon/12.bmp"}) {
    Bmp b = Load(f);
    if (b.valid) {
      EXPECT_LT(KeyedShare(b), 0.02) << f;
    }
  }
}

TEST(DataPictures, AnimatedBricksShimmerAndEachTypeHasItsOwnLook) {
  std::map<int, Bytes> firstFrames;
  for (int t : {2, 3, 6, 7, 8, 9}) {
    std::vector<Bytes> frames;
    for (int f = 1; f <= 3; ++f) {
      Bmp b = Load("kirp/" + std::to_string(t * 10 + f) + ".bmp");
      frames.push_back(b.valid ? Bytes(b.bytes.begin() + b.offset, b.bytes.end()) : Bytes{});
    }
    EXPECT_NE(frames[0], frames[1]) << "type " << t;
    EXPECT_NE(frames[1], frames[2]) << "type " << t;
    EXPECT_NE(frames[0], frames[2]) << "type " << t;
    firstFrames[t] = frames[0];
  }
  std::set<Bytes> distinct;
  for (auto& [t, f] : firstFrames) distinct.insert(f);
  for (int t : {1, 4, 5}) {
    Bmp b = Load("kirp/" + std::to_string(t) + "1.bmp");
    if (b.valid) distinct.insert(Bytes(b.bytes.begin() + b.offset, b.bytes.end()));
  }
  EXPECT_EQ(distinct.size(), 9u);
}

TEST(DataPictures, FieldTileIsDarkAndRepeatsWithoutASeam) {
  Bmp b = Load("fon/2.bmp");
  ASSERT_TRUE(b.valid);
  int w = b.dib.width, h = b.dib.height;
  auto lum = [&](int x, int y) {
    uint32_t p = b.Pixel(x, y);
    return 0.3 * (p >> 16) + 0.59 * ((p >> 8) & 255) + 0.11 * (p & 255);
  };
  double sum = 0, edgeJump = 0, innerJump = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) sum += lum(x, y);
  EXPECT_LT(sum / (w * h), 50.0) << "bricks must stand out against the field";
  // Across the wrap (last column to first) the picture changes no more than inside it.
  for (int y = 0; y < h; ++y) {
    edgeJump += std::fabs(lum(w - 1, y) - lum(0, y));
    innerJump += std::fabs(lum(w / 2 - 1, y) - lum(w / 2, y));
  }
  for (int x = 0; x < w; ++x) {
    edgeJump += std::fabs(lum(x, h - 1) - lum(x, 0));
    innerJump += std::fabs(lum(x, h / 2 - 1) - lum(x, h / 2));
  }
  EXPECT_LE(edgeJump, innerJump * 1.5 + 2 * (w + h));
}

TEST(DataMusic, IsAPcmLoopOfAboutHalfAMinuteThatJoinsWithoutAClick) {
  auto b = ReadFile(Data("music/music.wav"));
  ASSERT_TRUE(b.has_value());
  Wave w = ParseWave(*b);
  ASSERT_TRUE(w.valid);
  EXPECT_EQ(w.format, 1u);
  EXPECT_EQ(w.bits, 16u);
  EXPECT_TRUE(w.rate == 22050 || w.rate == 44100) << w.rate;
  size_t frames = w.data.size() / 2 / w.channels;
  double seconds = double(frames) / w.rate;
  EXPECT_GT(seconds, 25.0);
  EXPECT_LT(seconds, 35.0);
  std::vector<int> s;
  for (size_t i = 0; i < w.data.size(); i += 2 * w.channels) s.push_back(int16_t(U16(&w.data[i])));
  double rms = 0;
  int peak = 0, maxStep = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    rms += double(s[i]) * s[i];
    peak = std::max(peak, std::abs(s[i]));
    if (i) maxStep = std::max(maxStep, std::abs(s[i] - s[i - 1]));
  }
  rms = std::sqrt(rms / s.size());
  EXPECT_GT(rms, 2000.0) << "the music is nearly silent";
  EXPECT_LT(peak, 32767) << "the music clips";
  // The jump from the last sample back to the first is no bigger than the tune's own steps.
  EXPECT_LE(std::abs(s.back() - s.front()), maxStep);
}

// Checks a record table: ten lines each ended by CR LF, five non-empty Windows-1251 names with
// positive scores in falling order.
void CheckDefaultRecords(const Bytes& b) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < b.size(); ++i) {
    char c = char(b[i]);
    if (c == '\r' && i + 1 < b.size() && b[i + 1] == '\n') {
      lines.push_back(cur);
      cur.clear();
      ++i;
    } else {
      cur.push_back(c);
    }
  }
  EXPECT_TRUE(cur.empty()) << "the last line ends in CR LF";
  ASSERT_EQ(lines.size(), 10u);
  long previous = 1L << 40;
  for (int r = 0; r < 5; ++r) {
    EXPECT_FALSE(lines[2 * r].empty());
    // Windows-1251 text: single bytes, no UTF-8 lead bytes (0xD0/0xD1 followed by 0x80..0xBF).
    for (size_t i = 0; i + 1 < lines[2 * r].size(); ++i) {
      uint8_t a = uint8_t(lines[2 * r][i]), c = uint8_t(lines[2 * r][i + 1]);
      EXPECT_FALSE((a == 0xD0 || a == 0xD1) && c >= 0x80 && c <= 0xBF) << lines[2 * r];
    }
    long score = std::stol(lines[2 * r + 1]);
    EXPECT_LE(score, previous);
    EXPECT_GT(score, 0);
    previous = score;
  }
}

// Runs the generator into a fresh directory; returns its exit status.
int RunGenerator(const std::string& dataDir) {
  std::string cmd = std::string(KX_BINARY_DIR) + "/tools/assetgen --data '" + dataDir +
                    "' --levels '" + KX_SOURCE_DIR + "/levels' > /dev/null 2>&1";
  return std::system(cmd.c_str());
}

TEST(DataGenerator, KeepsAPlayersRecordFileAndLeavesNoTemporaryFiles) {
  namespace fs = std::filesystem;
  ScratchDir scratch("kx_assetgen");
  const fs::path dir = scratch.Path();
  const std::string mine = "Me\r\n99999\r\n\r\n0\r\n\r\n0\r\n\r\n0\r\n\r\n0\r\n";
  {
    std::ofstream f(dir / "rec.kbx", std::ios::binary);
    f << mine;
  }
  ASSERT_EQ(RunGenerator(dir.string()), 0);
  auto rec = ReadFile((dir / "rec.kbx").string());
  ASSERT_TRUE(rec.has_value());
  EXPECT_EQ(std::string(rec->begin(), rec->end()), mine);
  int files = 0;
  for (auto& e : fs::recursive_directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    ++files;
    EXPECT_EQ(e.path().string().find(".tmp"), std::string::npos) << e.path();
  }
  // 4 balls, 14 bonus pictures, 10 digits, 5 paddles, 21 bricks, 1 tile, the music, 20 levels
  // and the record file.
  EXPECT_EQ(files, 4 + 14 + 10 + 5 + 21 + 1 + 1 + 20 + 1);
  // Without a record file, the generator writes the default one.
  fs::remove(dir / "rec.kbx");
  ASSERT_EQ(RunGenerator(dir.string()), 0);
  auto fresh = ReadFile((dir / "rec.kbx").string());
  ASSERT_TRUE(fresh.has_value());
  CheckDefaultRecords(*fresh);
}

TEST(DataGenerator, FailsWithoutTheLevelFiles) {
  namespace fs = std::filesystem;
  ScratchDir scratch("kx_assetgen_nolev");
  const fs::path dir = scratch.Path() / "data";
  std::string cmd = std::string(KX_BINARY_DIR) + "/tools/assetgen --data '" + dir.string() +
                    "' --levels '" + dir.string() + "/nowhere' > /dev/null 2>&1";
  EXPECT_NE(std::system(cmd.c_str()), 0);
}

}  // namespace
