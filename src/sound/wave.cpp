#include "sound/wave.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "toolkit/translate.h"

namespace {

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutU16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutId(std::vector<uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

[[noreturn]] void Invalid() { throw EWaveError(toolkit::Tr("Wave is invalid")); }

// Where the chunks of a RIFF WAVE block lie. Only offsets are kept, so the parse never copies
// samples and never looks past `size`.
struct WaveLayout {
  size_t fmtStart = 0, fmtSize = 0;
  bool hasFmt = false;
  size_t dataStart = 0, dataSize = 0;
  bool hasData = false;
};

WaveLayout Parse(const uint8_t* p, size_t size) {
  if (p == nullptr || size < 12 || std::memcmp(p, "RIFF", 4) != 0 ||
      std::memcmp(p + 8, "WAVE", 4) != 0) {
    Invalid();
  }
  // The RIFF size in the header is not trusted: writers get it wrong, and the block we hold is
  // the authority on where the data ends.
  WaveLayout w;
  uint64_t pos = 12;
  // Every pass moves at least 8 bytes forward and sizes are unsigned 64-bit sums, so a chunk of
  // size 0 or a size near 4 GiB can neither stall the loop nor wrap the position backwards.
  while (pos + 8 <= size) {
    const uint8_t* head = p + pos;
    const uint64_t chunkSize = ReadU32(head + 4);
    const uint64_t body = pos + 8;
    const bool fits = chunkSize <= size - body;
    if (std::memcmp(head, "fmt ", 4) == 0) {
      if (!fits) Invalid();
      w.hasFmt = true;
      w.fmtStart = static_cast<size_t>(body);
      w.fmtSize = static_cast<size_t>(chunkSize);
    } else if (std::memcmp(head, "data", 4) == 0) {
      if (!fits) Invalid();
      w.hasData = true;
      w.dataStart = static_cast<size_t>(body);
      w.dataSize = static_cast<size_t>(chunkSize);
    }
    // RIFF pads every chunk to an even length; an odd-sized chunk is followed by one pad byte.
    pos = body + chunkSize + (chunkSize & 1);
  }
  return w;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
void TWave::LoadFromMemory(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  const WaveLayout w = Parse(p, size);
  std::vector<uint8_t> format, samples;
  if (w.hasFmt) format.assign(p + w.fmtStart, p + w.fmtStart + w.fmtSize);
  if (w.hasData) samples.assign(p + w.dataStart, p + w.dataStart + w.dataSize);
  format_ = std::move(format);
  data_ = std::move(samples);
}

std::vector<uint8_t> TWave::SaveToMemory() const {
  std::vector<uint8_t> out;
  TWaveStream stream(out);
  stream.SetFormatRecord(format_);
  stream.Open(true);
  stream.Write(data_.data(), data_.size());
  stream.Close();
  return out;
}

void TWave::Clear() {
  format_.clear();
  data_.clear();
}

void TWave::SetPCMFormat(int channels, int samplesPerSec, int bitsPerSample) {
  std::vector<uint8_t> f;
  const uint16_t align = static_cast<uint16_t>(channels * (bitsPerSample / 8));
  PutU16(f, WAVE_FORMAT_PCM);
  PutU16(f, static_cast<uint16_t>(channels));
  PutU32(f, static_cast<uint32_t>(samplesPerSec));
  PutU32(f, static_cast<uint32_t>(samplesPerSec) * align);
  PutU16(f, align);
  PutU16(f, static_cast<uint16_t>(bitsPerSample));
  format_ = std::move(f);
}

uint16_t TWave::U16(size_t offset) const {
  if (format_.size() < offset + 2) return 0;
  return static_cast<uint16_t>(format_[offset] | format_[offset + 1] << 8);
}

uint32_t TWave::U32(size_t offset) const {
  if (format_.size() < offset + 4) return 0;
  return ReadU32(format_.data() + offset);
}

uint16_t TWave::FormatTag() const { return U16(0); }
uint16_t TWave::Channels() const { return U16(2); }
uint32_t TWave::SamplesPerSec() const { return U32(4); }
uint32_t TWave::AvgBytesPerSec() const { return U32(8); }
uint16_t TWave::BlockAlign() const { return U16(12); }
uint16_t TWave::BitsPerSample() const { return U16(14); }

bool TWave::ToPcmFormat(platform::PcmFormat& out) const {
  if (format_.size() < 16) return false;
  uint16_t tag = FormatTag();
  // An extensible record names its real format in the first two bytes of its sub-format GUID.
  if (tag == WAVE_FORMAT_EXTENSIBLE && format_.size() >= 26) tag = U16(24);
  if (tag != WAVE_FORMAT_PCM) return false;
  const int bits = BitsPerSample();
  if (Channels() == 0 || SamplesPerSec() == 0 || SamplesPerSec() > 0x7FFFFFFF ||
      (bits != 8 && bits != 16)) {
    return false;
  }
  out.channels = Channels();
  out.samplesPerSec = static_cast<int>(SamplesPerSec());
  out.bitsPerSample = bits;
  return true;
}

size_t TWave::PlayableSize() const {
  const size_t frame = static_cast<size_t>(Channels()) * (BitsPerSample() / 8);
  if (frame == 0) return 0;
  return data_.size() / frame * frame;
}

// ---------------------------------------------------------------------------------------------
TWaveStream::~TWaveStream() {
  // A destructor must not throw; closing a written stream only patches sizes in memory.
  if (open_) Close();
}

void TWaveStream::Open(bool write) {
  if (open_) throw EWaveError(toolkit::Tr("Stream has already been opened"));
  if (write) {
    if (format_.size() < 16) throw EWaveError(toolkit::Tr("Format is invalid"));
    block_.clear();
    PutId(block_, "RIFF");
    PutU32(block_, 0);  // filled in by Close
    PutId(block_, "WAVE");
    PutId(block_, "fmt ");
    PutU32(block_, static_cast<uint32_t>(format_.size()));
    block_.insert(block_.end(), format_.begin(), format_.end());
    if (format_.size() & 1) block_.push_back(0);
    PutId(block_, "data");
    PutU32(block_, 0);  // filled in by Close
    dataStart_ = block_.size();
    dataSize_ = 0;
  } else {
    const WaveLayout w = Parse(block_.data(), block_.size());
    format_.assign(block_.begin() + static_cast<std::ptrdiff_t>(w.fmtStart),
                   block_.begin() + static_cast<std::ptrdiff_t>(w.fmtStart + w.fmtSize));
    dataStart_ = w.dataStart;
    dataSize_ = w.hasData ? w.dataSize : 0;
    readPos_ = 0;
  }
  writing_ = write;
  open_ = true;
}

void TWaveStream::Close() {
  if (!open_) return;
  if (writing_) {
    auto patch = [this](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) block_[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    patch(dataStart_ - 4, static_cast<uint32_t>(dataSize_));
    if (dataSize_ & 1) block_.push_back(0);
    patch(4, static_cast<uint32_t>(block_.size() - 8));
  }
  open_ = false;
}

size_t TWaveStream::Write(const void* buffer, size_t size) {
  if (!open_ || !writing_) throw EWaveError(toolkit::Tr("Stream not opend"));
  const auto* p = static_cast<const uint8_t*>(buffer);
  if (size > 0) block_.insert(block_.end(), p, p + size);
  dataSize_ += size;
  return size;
}

size_t TWaveStream::Read(void* buffer, size_t size) {
  if (!open_ || writing_) throw EWaveError(toolkit::Tr("Stream not opend"));
  const size_t n = std::min(size, dataSize_ - readPos_);
  if (n > 0) std::memcpy(buffer, block_.data() + dataStart_ + readPos_, n);
  readPos_ += n;
  return n;
}

size_t TWaveStream::Size() const {
  if (!open_) throw EWaveError(toolkit::Tr("Stream not opend"));
  return dataSize_;
}
