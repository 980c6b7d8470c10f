#include "platform/jpeg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/scratch_dir.h"

namespace {

// A picture made by ImageMagick at test time: left half red, right half blue.
std::vector<uint8_t> MakeJpeg() {
  ScratchDir dir("kx_jpeg");
  const std::string path = dir / "test.jpg";
  const std::string cmd = "convert -size 16x16 xc:red -size 16x16 xc:blue +append -quality 95 '" +
                          path + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return {};
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  return bytes;
}

class Jpeg : public testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "no ImageMagick";
    jpeg_ = MakeJpeg();
    ASSERT_FALSE(jpeg_.empty());
  }
  std::vector<uint8_t> jpeg_;
};

TEST_F(Jpeg, DecodesSizeAndColours) {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
  std::string error;
  ASSERT_TRUE(platform::DecodeJpeg(jpeg_.data(), jpeg_.size(), w, h, rgb, error)) << error;
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 16);
  ASSERT_EQ(rgb.size(), 32u * 16 * 3);
  const uint8_t* left = &rgb[(8 * 32 + 4) * 3];
  const uint8_t* right = &rgb[(8 * 32 + 28) * 3];
  EXPECT_GT(left[0], 230);
  EXPECT_LT(left[2], 30);
  EXPECT_LT(right[0], 30);
  EXPECT_GT(right[2], 230);
}

TEST_F(Jpeg, RefusesDamagedDataWithoutEndingTheProgram) {
  int w = 7, h = 7;
  std::vector<uint8_t> rgb;
  std::string error;
  // Cut in the middle of the compressed data.
  EXPECT_FALSE(platform::DecodeJpeg(jpeg_.data(), jpeg_.size() / 2, w, h, rgb, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(w, 0);
  EXPECT_TRUE(rgb.empty());
  // Garbage, and a JPEG start marker followed by garbage.
  std::vector<uint8_t> junk(300);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 37 + 11);
  EXPECT_FALSE(platform::DecodeJpeg(junk.data(), junk.size(), w, h, rgb, error));
  junk[0] = 0xFF;
  junk[1] = 0xD8;
  EXPECT_FALSE(platform::DecodeJpeg(junk.data(), junk.size(), w, h, rgb, error));
  EXPECT_FALSE(platform::DecodeJpeg(nullptr, 0, w, h, rgb, error));
}

TEST_F(Jpeg, RefusesAbsurdSizes) {
  // Patch the frame header (SOF0: FF C0, length, precision, height, width) to claim 20000 px.
  std::vector<uint8_t> big = jpeg_;
  bool patched = false;
  for (size_t i = 0; i + 8 < big.size(); ++i) {
    if (big[i] == 0xFF && (big[i + 1] == 0xC0 || big[i + 1] == 0xC2)) {
      big[i + 7] = 20000 >> 8;
      big[i + 8] = 20000 & 0xFF;
      patched = true;
      break;
    }
  }
  ASSERT_TRUE(patched);
  int w, h;
  std::vector<uint8_t> rgb;
  std::string error;
  EXPECT_FALSE(platform::DecodeJpeg(big.data(), big.size(), w, h, rgb, error));
  EXPECT_TRUE(rgb.empty());
}

}  // namespace
