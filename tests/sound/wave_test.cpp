// The RIFF WAVE reader and writer.
#include "sound/wave.h"

#include <gtest/gtest.h>

#include "sound/guarded_block.h"
#include "sound/riff_builder.h"
#include "toolkit/resources.h"

namespace {

// Loads `bytes` from a guarded copy, so an overread crashes instead of passing unnoticed.
void LoadGuarded(TWave& w, const std::vector<uint8_t>& bytes) {
  GuardedBlock block(bytes);
  ASSERT_TRUE(block.ok());
  w.LoadFromMemory(block.data(), block.size());
}

std::string InvalidMessage(const std::vector<uint8_t>& bytes) {
  TWave w;
  try {
    LoadGuarded(w, bytes);
  } catch (const EWaveError& e) {
    return e.Message();
  }
  return "accepted";
}

// The guard itself: a read one byte past the block must not go unnoticed.
TEST(GuardedBlockDeathTest, ReadingPastTheEndCrashes) {
  GuardedBlock b({1, 2, 3});
  ASSERT_TRUE(b.ok());
  EXPECT_EQ(b.data()[2], 3);
  EXPECT_DEATH(
      {
        volatile uint8_t x = b.data()[b.size()];
        (void)x;
      },
      "");
}

TEST(WaveReader, ReadsFormatAndSamples) {
  // More than 64 KiB of samples: every byte of the size fields counts.
  const std::vector<uint8_t> block = riff::Wave(22050, 8, 70001);
  TWave w;
  LoadGuarded(w, block);
  EXPECT_EQ(w.FormatRecord(), riff::PcmFormat(1, 22050, 8));
  EXPECT_EQ(w.Data(), riff::Ramp(70001));
  EXPECT_EQ(w.Size(), 70001u);
  EXPECT_FALSE(w.Empty());
  EXPECT_EQ(w.FormatTag(), WAVE_FORMAT_PCM);
  EXPECT_EQ(w.Channels(), 1);
  EXPECT_EQ(w.SamplesPerSec(), 22050u);
  EXPECT_EQ(w.AvgBytesPerSec(), 22050u);
  EXPECT_EQ(w.BlockAlign(), 1);
  EXPECT_EQ(w.BitsPerSample(), 8);
  platform::PcmFormat f;
  ASSERT_TRUE(w.ToPcmFormat(f));
  EXPECT_EQ(f.channels, 1);
  EXPECT_EQ(f.samplesPerSec, 22050);
  EXPECT_EQ(f.bitsPerSample, 8);
}

TEST(WaveReader, KeepsEveryByteOfATwentyByteFormatChunk) {
  std::vector<uint8_t> fmt = riff::PcmFormat(1, 11025, 16);
  for (uint8_t b : {0x18, 0x00, 0x00, 0x00}) fmt.push_back(b);
  std::vector<uint8_t> block = riff::Header();
  riff::Chunk(block, "fmt ", fmt);
  riff::Chunk(block, "data", riff::Ramp(12036));
  riff::Finish(block);

  TWave w;
  LoadGuarded(w, block);
  ASSERT_EQ(w.FormatRecord().size(), 20u);
  EXPECT_EQ(w.FormatRecord(), fmt);
  EXPECT_EQ(w.Size(), 12036u);
  platform::PcmFormat f;
  ASSERT_TRUE(w.ToPcmFormat(f));
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.samplesPerSec, 11025);
}

TEST(WaveReader, RejectsBlocksWithoutTheRiffWaveHeader) {
  std::vector<uint8_t> good = riff::Wave(11025, 8, 10);
  std::vector<uint8_t> notRiff = good;
  notRiff[0] = 'X';
  std::vector<uint8_t> notWave = good;
  notWave[11] = 'X';
  EXPECT_EQ(InvalidMessage(notRiff), "Wave is invalid");
  EXPECT_EQ(InvalidMessage(notWave), "Wave is invalid");
  EXPECT_EQ(InvalidMessage({'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V'}), "Wave is invalid");
  EXPECT_EQ(InvalidMessage({}), "Wave is invalid");
  EXPECT_EQ(InvalidMessage(good), "accepted");
  TWave w;
  EXPECT_THROW(w.LoadFromMemory(nullptr, 0), EWaveError);
}

TEST(WaveReader, RejectsADataSizeReachingPastTheBlock) {
  std::vector<uint8_t> block = riff::Header();
  riff::Chunk(block, "fmt ", riff::PcmFormat(1, 11025, 8));
  riff::Chunk(block, "data", riff::Ramp(64), 65);  // one byte more than the block holds
  riff::Finish(block);
  EXPECT_EQ(InvalidMessage(block), "Wave is invalid");

  std::vector<uint8_t> huge = riff::Header();
  riff::Chunk(huge, "fmt ", riff::PcmFormat(1, 11025, 8));
  riff::Chunk(huge, "data", riff::Ramp(64), 0xFFFFFFFFu);
  riff::Finish(huge);
  EXPECT_EQ(InvalidMessage(huge), "Wave is invalid");

  // Exactly up to the last byte is fine.
  std::vector<uint8_t> exact = riff::Header();
  riff::Chunk(exact, "fmt ", riff::PcmFormat(1, 11025, 8));
  riff::Chunk(exact, "data", riff::Ramp(64), 64);
  riff::Finish(exact);
  TWave w;
  LoadGuarded(w, exact);
  EXPECT_EQ(w.Size(), 64u);
}

TEST(WaveReader, RejectsAFormatSizeReachingPastTheBlock) {
  std::vector<uint8_t> block = riff::Header();
  riff::Chunk(block, "fmt ", riff::PcmFormat(1, 11025, 8), 4000);
  riff::Finish(block);
  EXPECT_EQ(InvalidMessage(block), "Wave is invalid");
}

TEST(WaveReader, ZeroSizeAndWrappingChunksCannotLoopForever) {
  // Hundreds of empty chunks before the real ones: each is stepped over.
  std::vector<uint8_t> block = riff::Header();
  for (int i = 0; i < 500; ++i) riff::Chunk(block, "JUNK", {}, 0);
  riff::Chunk(block, "fmt ", riff::PcmFormat(1, 11025, 8));
  riff::Chunk(block, "data", riff::Ramp(32));
  riff::Finish(block);
  TWave w;
  LoadGuarded(w, block);
  EXPECT_EQ(w.Data(), riff::Ramp(32));

  // A size of 2^32 - 8 brings a 32-bit position back to the same chunk header; the reader must
  // treat it as running past the end instead.
  std::vector<uint8_t> wrap = riff::Header();
  riff::Chunk(wrap, "fmt ", riff::PcmFormat(1, 11025, 8));
  riff::Chunk(wrap, "LIST", riff::Ramp(8), 0xFFFFFFF8u);
  riff::Finish(wrap);
  TWave w2;
  LoadGuarded(w2, wrap);
  EXPECT_TRUE(w2.Empty());
  EXPECT_EQ(w2.FormatRecord().size(), 16u);

  // Only the zero-size chunk, at the very end of the block.
  std::vector<uint8_t> tail = riff::Header();
  riff::Chunk(tail, "data", {}, 0);
  riff::Finish(tail);
  TWave w3;
  LoadGuarded(w3, tail);
  EXPECT_TRUE(w3.Empty());
}

TEST(WaveReader, SkipsOtherChunksWithTheirPadByte) {
  std::vector<uint8_t> block = riff::Header();
  riff::Chunk(block, "LIST", riff::Ramp(5));  // odd: one pad byte follows
  riff::Chunk(block, "fmt ", riff::PcmFormat(2, 44100, 16));
  riff::Chunk(block, "fact", riff::Ramp(4));
  riff::Chunk(block, "data", riff::Ramp(40));
  riff::Chunk(block, "cue ", riff::Ramp(3));
  riff::Finish(block);
  TWave w;
  LoadGuarded(w, block);
  EXPECT_EQ(w.Channels(), 2);
  EXPECT_EQ(w.SamplesPerSec(), 44100u);
  EXPECT_EQ(w.Data(), riff::Ramp(40));
}

TEST(WaveReader, AHeaderCutShortEndsTheChunkList) {
  std::vector<uint8_t> block = riff::Wave(11025, 8, 16);
  // An identifier followed by only one byte of its size.
  riff::Id(block, "LIST");
  block.push_back(9);
  TWave w;
  LoadGuarded(w, block);
  EXPECT_EQ(w.Size(), 16u);
}

TEST(WaveReader, AFailedLoadKeepsTheOldWave) {
  TWave w;
  LoadGuarded(w, riff::Wave(11025, 8, 30));
  std::vector<uint8_t> bad = riff::Header();
  riff::Chunk(bad, "data", riff::Ramp(4), 400);
  riff::Finish(bad);
  EXPECT_THROW(LoadGuarded(w, bad), EWaveError);
  EXPECT_EQ(w.Data(), riff::Ramp(30));
  EXPECT_EQ(w.SamplesPerSec(), 11025u);
}

TEST(WaveReader, AWaveWithoutDataIsEmpty) {
  std::vector<uint8_t> block = riff::Header();
  riff::Chunk(block, "fmt ", riff::PcmFormat(1, 11025, 8));
  riff::Finish(block);
  TWave w;
  LoadGuarded(w, block);
  EXPECT_TRUE(w.Empty());
  EXPECT_EQ(w.Size(), 0u);
  EXPECT_EQ(w.FormatRecord().size(), 16u);
}

TEST(WaveFormat, OnlyIntegerPcmOfEightOrSixteenBitsPlays) {
  auto formatOk = [](std::vector<uint8_t> record) {
    TWave w;
    w.SetFormatRecord(std::move(record));
    platform::PcmFormat f;
    return w.ToPcmFormat(f);
  };
  EXPECT_TRUE(formatOk(riff::PcmFormat(1, 11025, 8)));
  EXPECT_TRUE(formatOk(riff::PcmFormat(2, 48000, 16)));
  EXPECT_FALSE(formatOk(riff::PcmFormat(1, 11025, 24)));
  EXPECT_FALSE(formatOk(riff::PcmFormat(1, 11025, 32, 3)));  // IEEE float
  EXPECT_FALSE(formatOk(riff::PcmFormat(0, 11025, 8)));
  EXPECT_FALSE(formatOk(riff::PcmFormat(1, 0, 8)));
  std::vector<uint8_t> shortRecord = riff::PcmFormat(1, 11025, 8);
  shortRecord.resize(14);
  EXPECT_FALSE(formatOk(shortRecord));
  EXPECT_FALSE(formatOk({}));
}

TEST(WaveFormat, PlayableSizeDropsATrailingPartialFrame) {
  TWave w;
  w.SetPCMFormat(2, 22050, 16);  // 4-byte frames
  w.SetData(riff::Ramp(10));
  EXPECT_EQ(w.PlayableSize(), 8u);
  w.SetPCMFormat(1, 22050, 8);
  EXPECT_EQ(w.PlayableSize(), 10u);
  w.SetFormatRecord({});
  EXPECT_EQ(w.PlayableSize(), 0u);
}

TEST(WaveWriter, SaveThenLoadGivesTheSameWave) {
  TWave w;
  w.SetPCMFormat(1, 11025, 16);
  w.SetData(riff::Ramp(33));
  const std::vector<uint8_t> file = w.SaveToMemory();
  TWave back;
  LoadGuarded(back, file);
  EXPECT_EQ(back.FormatRecord(), w.FormatRecord());
  EXPECT_EQ(back.Data(), w.Data());
  // RIFF size = file size - 8, and the odd data chunk is padded.
  const uint32_t riffSize = file[4] | file[5] << 8 | file[6] << 16 | file[7] << 24;
  EXPECT_EQ(riffSize, file.size() - 8);
  EXPECT_EQ(file.size() % 2, 0u);
}

TEST(WaveWriter, RefusesAMissingFormat) {
  TWave w;
  w.SetData(riff::Ramp(4));
  try {
    w.SaveToMemory();
    FAIL() << "saved without a format";
  } catch (const EWaveError& e) {
    EXPECT_EQ(e.Message(), "Format is invalid");
  }
}

TEST(WaveStream, OpenCloseRules) {
  std::vector<uint8_t> block;
  TWaveStream s(block);
  try {
    s.Write("x", 1);
    FAIL();
  } catch (const EWaveError& e) {
    EXPECT_EQ(e.Message(), "Stream not opend");
  }
  EXPECT_THROW(s.Size(), EWaveError);
  s.SetFormatRecord(riff::PcmFormat(1, 8000, 8));
  s.Open(true);
  try {
    s.Open(true);
    FAIL();
  } catch (const EWaveError& e) {
    EXPECT_EQ(e.Message(), "Stream has already been opened");
  }
  uint8_t buf[4];
  EXPECT_THROW(s.Read(buf, 4), EWaveError);  // open for writing, not reading
  EXPECT_EQ(s.Write("abcde", 5), 5u);
  EXPECT_EQ(s.Write("fg", 2), 2u);
  EXPECT_EQ(s.Size(), 7u);
  s.Close();
  EXPECT_FALSE(s.Opened());

  TWaveStream r(block);
  r.Open(false);
  EXPECT_EQ(r.FormatRecord(), riff::PcmFormat(1, 8000, 8));
  EXPECT_EQ(r.Size(), 7u);
  char out[10] = {};
  EXPECT_EQ(r.Read(out, 4), 4u);
  EXPECT_EQ(std::string(out, 4), "abcd");
  EXPECT_EQ(r.Read(out, 10), 3u);
  EXPECT_EQ(std::string(out, 3), "efg");
  EXPECT_EQ(r.Read(out, 10), 0u);
  EXPECT_THROW(r.Write("z", 1), EWaveError);
}

// The four waves carried in the program, as the game's form resource describes them.
TEST(CarriedWaves, MatchTheFormResource) {
  struct Expect {
    const char* name;
    int bits;
    uint32_t rate;
    size_t fmtSize;
    size_t bytes;
  };
  const Expect expected[] = {{"DXWaveList.snd", 16, 11025, 20, 12036},
                             {"DXWaveList.morf", 8, 11025, 16, 1086},
                             {"DXWaveList.pop", 8, 11025, 16, 640},
                             {"DXWaveList.las", 8, 22050, 16, 16542}};
  if (!res::Find("DXWaveList.snd")) GTEST_SKIP() << "the carried waves are not generated yet";
  for (const Expect& e : expected) {
    SCOPED_TRACE(e.name);
    const res::Blob blob = res::Find(e.name);
    ASSERT_TRUE(blob);
    TWave w;
    w.LoadFromMemory(blob.data, blob.size);
    EXPECT_EQ(w.Channels(), 1);
    EXPECT_EQ(w.BitsPerSample(), e.bits);
    EXPECT_EQ(w.SamplesPerSec(), e.rate);
    EXPECT_EQ(w.FormatRecord().size(), e.fmtSize);
    EXPECT_EQ(w.Size(), e.bytes);
  }
}

}  // namespace
