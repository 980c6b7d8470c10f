// RIFF WAVE data: the format record and the samples of one sound, read from and written to a
// complete RIFF WAVE file held in memory (the form resource stores each wave that way).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "toolkit/errors.h"

// Raised for a block that is not a RIFF WAVE file ("Wave is invalid") and for misuse of a wave
// stream ("Stream has already been opened", "Stream not opend", "Format is invalid").
KX_DECLARE_ERROR(EWaveError, Exception);

// Format tags the players understand.
constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

class TWave {
 public:
  TWave() = default;

  // Replaces the wave by the RIFF WAVE file in data[0..size). Every chunk size is checked
  // against the block; raises EWaveError "Wave is invalid" when the header is not RIFF/WAVE or a
  // "fmt " or "data" chunk reaches past the end. On failure the wave keeps its old content.
  void LoadFromMemory(const void* data, size_t size);
  // The whole wave as a RIFF WAVE file ("fmt " then "data"); raises EWaveError
  // "Format is invalid" when the format record is shorter than the 16 standard bytes.
  std::vector<uint8_t> SaveToMemory() const;
  // Forgets the format and the samples.
  void Clear();

  // Sets a plain PCM format record of 16 bytes (block align and byte rate derived).
  void SetPCMFormat(int channels, int samplesPerSec, int bitsPerSample);
  // Replaces the format record by `record` as it stands (all of its bytes are kept).
  void SetFormatRecord(std::vector<uint8_t> record) { format_ = std::move(record); }
  // Replaces the samples.
  void SetData(std::vector<uint8_t> samples) { data_ = std::move(samples); }

  // The format record: every byte of the "fmt " chunk (empty when the file had none).
  const std::vector<uint8_t>& FormatRecord() const { return format_; }
  // The samples: the bytes of the "data" chunk.
  const std::vector<uint8_t>& Data() const { return data_; }
  // Size of the sample data in bytes.
  size_t Size() const { return data_.size(); }
  // True when the wave has no sample data.
  bool Empty() const { return data_.empty(); }

  // Fields of the format record; 0 when the record is too short to hold them.
  uint16_t FormatTag() const;
  uint16_t Channels() const;
  uint32_t SamplesPerSec() const;
  uint32_t AvgBytesPerSec() const;
  uint16_t BlockAlign() const;
  uint16_t BitsPerSample() const;

  // The format as the audio back-end takes it; false unless it is 8- or 16-bit integer PCM with
  // at least one channel and a rate above zero.
  bool ToPcmFormat(platform::PcmFormat& out) const;
  // The sample bytes that form whole frames (a trailing partial frame is not played).
  size_t PlayableSize() const;

 private:
  uint16_t U16(size_t offset) const;
  uint32_t U32(size_t offset) const;

  std::vector<uint8_t> format_;
  std::vector<uint8_t> data_;
};

// A RIFF WAVE file written or read a piece at a time into or out of a byte block.
class TWaveStream {
 public:
  // Works on `block` (which must outlive the stream).
  explicit TWaveStream(std::vector<uint8_t>& block) : block_(block) {}
  ~TWaveStream();
  TWaveStream(const TWaveStream&) = delete;
  TWaveStream& operator=(const TWaveStream&) = delete;

  // The format record written by the next Open for writing / found by the last Open for reading.
  void SetFormatRecord(std::vector<uint8_t> record) { format_ = std::move(record); }
  const std::vector<uint8_t>& FormatRecord() const { return format_; }

  // Opens for writing (clears the block; needs a format record of at least 16 bytes, else
  // EWaveError "Format is invalid") or for reading (the block must be a valid wave file).
  // Raises "Stream has already been opened" when open.
  void Open(bool write);
  // Finishes the file (writing: the sizes are filled in) and closes; nothing when closed.
  void Close();
  bool Opened() const { return open_; }
  // Appends samples; returns `size`. Raises "Stream not opend" unless open for writing.
  size_t Write(const void* buffer, size_t size);
  // Copies up to `size` samples from the read position; returns the count. Raises
  // "Stream not opend" unless open for reading.
  size_t Read(void* buffer, size_t size);
  // Sample bytes in the stream. Raises "Stream not opend" when closed.
  size_t Size() const;

 private:
  std::vector<uint8_t>& block_;
  std::vector<uint8_t> format_;
  bool open_ = false;
  bool writing_ = false;
  size_t dataStart_ = 0;  // offset of the samples in the block
  size_t dataSize_ = 0;
  size_t readPos_ = 0;
};
