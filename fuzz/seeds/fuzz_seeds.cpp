// Writes small valid files of every kind the fuzz targets read, so that each fuzzer starts from
// inputs that reach deep into its reader:
//   fuzz_seeds <dir>  ->  <dir>/dib, <dir>/wave, <dir>/levels, <dir>/records
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void Put32(Bytes& b, uint32_t v) {
  Put16(b, v & 0xFFFF);
  Put16(b, v >> 16);
}
void PutText(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

bool Write(const std::filesystem::path& path, const Bytes& b) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
  return std::fclose(f) == 0 && ok;
}

// A bitmap without file header: header of `headerSize` bytes (12: the old OS/2 one), optional
// channel masks, `colors` palette entries, then `pixels` as given.
struct Dib {
  uint32_t headerSize = 40;
  int32_t width = 3, height = 2;
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t colors = 0;
  bool masksAfterHeader = false;  // 40-byte header with bit fields: three masks follow it
  uint32_t masks[3] = {0, 0, 0};
  Bytes pixels;

  Bytes Body() const {
    Bytes b;
    Put32(b, headerSize);
    if (headerSize == 12) {
      Put16(b, static_cast<uint32_t>(width));
      Put16(b, static_cast<uint32_t>(height));
      Put16(b, 1);
      Put16(b, bits);
    } else {
      Put32(b, static_cast<uint32_t>(width));
      Put32(b, static_cast<uint32_t>(height));
      Put16(b, 1);
      Put16(b, bits);
      Put32(b, compression);
      Put32(b, compression == 1 || compression == 2 ? static_cast<uint32_t>(pixels.size()) : 0);
      Put32(b, 2835);
      Put32(b, 2835);
      Put32(b, colors);
      Put32(b, 0);
      if (headerSize > 40) {
        for (uint32_t m : masks) Put32(b, m);
        while (b.size() < headerSize) b.push_back(0);
      }
    }
    if (masksAfterHeader)
      for (uint32_t m : masks) Put32(b, m);
    const uint32_t entries = colors != 0 ? colors : (bits <= 8 ? 1u << bits : 0u);
    for (uint32_t i = 0; i < entries; ++i) {
      b.push_back(static_cast<uint8_t>(i * 37));
      b.push_back(static_cast<uint8_t>(255 - i * 11));
      b.push_back(static_cast<uint8_t>(i * 5));
      if (headerSize != 12) b.push_back(0);
    }
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
  }

  Bytes File() const {
    Bytes body = Body();
    const uint32_t entries = colors != 0 ? colors : (bits <= 8 ? 1u << bits : 0u);
    const uint32_t tableBytes = entries * (headerSize == 12 ? 3u : 4u);
    const uint32_t offset = 14 + headerSize + (masksAfterHeader ? 12 : 0) + tableBytes;
    Bytes b;
    PutText(b, "BM");
    Put32(b, static_cast<uint32_t>(14 + body.size()));
    Put32(b, 0);
    Put32(b, offset);
    b.insert(b.end(), body.begin(), body.end());
    return b;
  }
};

// Uncompressed rows for `d`: each row padded to 4 bytes, filled with a pattern that stays inside
// the palette.
Bytes Rows(const Dib& d) {
  const uint32_t rowBytes = (static_cast<uint32_t>(d.bits) * d.width + 31) / 32 * 4;
  const uint32_t rows = static_cast<uint32_t>(d.height < 0 ? -d.height : d.height);
  Bytes b;
  for (uint32_t y = 0; y < rows; ++y)
    for (uint32_t x = 0; x < rowBytes; ++x)
      b.push_back(d.bits <= 8 ? static_cast<uint8_t>((x + y) & (d.bits == 1 ? 0xFF : 0x11))
                              : static_cast<uint8_t>(x * 29 + y * 7));
  return b;
}

void WriteDibs(const std::filesystem::path& dir) {
  std::vector<std::pair<std::string, Dib>> list;
  auto add = [&](const std::string& name, Dib d, bool rows = true) {
    if (rows) d.pixels = Rows(d);
    list.emplace_back(name, d);
  };
  Dib d;
  add("rgb24", d);
  d.bits = 32;
  d.height = -2;
  add("rgb32_topdown", d);
  d = Dib{};
  d.bits = 16;
  add("rgb555", d);
  d.compression = 3;
  d.masksAfterHeader = true;
  d.masks[0] = 0xF800;
  d.masks[1] = 0x07E0;
  d.masks[2] = 0x001F;
  add("rgb565_fields", d);
  d = Dib{};
  d.headerSize = 108;
  d.bits = 32;
  d.compression = 3;
  d.masks[0] = 0x00FF0000;
  d.masks[1] = 0x0000FF00;
  d.masks[2] = 0x000000FF;
  add("v4_fields32", d);
  d = Dib{};
  d.headerSize = 124;
  d.bits = 24;
  add("v5_rgb24", d);
  d = Dib{};
  d.bits = 8;
  d.colors = 18;
  add("pal8", d);
  d.bits = 4;
  d.colors = 0;
  d.width = 5;
  add("pal4", d);
  d.bits = 1;
  d.width = 9;
  add("pal1", d);
  d = Dib{};
  d.headerSize = 12;
  d.bits = 8;
  add("os2_pal8", d);
  // Run-length data: a run, an absolute run (padded), end of line, a delta, end of bitmap.
  d = Dib{};
  d.width = 6;
  d.height = 4;
  d.bits = 8;
  d.compression = 1;
  d.colors = 16;
  d.pixels = {3, 1, 0, 3, 2, 5, 7, 0, 0, 0, 2, 1, 4, 0, 0, 1, 6, 9, 0, 1};
  add("rle8", d, false);
  d.bits = 4;
  d.compression = 2;
  d.pixels = {5, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 2, 1, 3, 0x77, 0, 0, 6, 0xAB, 0, 1};
  add("rle4", d, false);

  for (const auto& [name, dib] : list) {
    Write(dir / (name + ".bmp"), dib.File());
    // Carried picture data: the class name, then the bitmap without its file header.
    Bytes tdib = {4};
    PutText(tdib, "TDIB");
    Bytes body = dib.Body();
    tdib.insert(tdib.end(), body.begin(), body.end());
    Write(dir / (name + ".tdib"), tdib);
    // Picture data holding a whole BMP file behind its length.
    Bytes tbitmap = {7};
    PutText(tbitmap, "TBitmap");
    Bytes file = dib.File();
    Put32(tbitmap, static_cast<uint32_t>(file.size()));
    tbitmap.insert(tbitmap.end(), file.begin(), file.end());
    Write(dir / (name + ".tbitmap"), tbitmap);
  }
}

// A RIFF WAVE file of the given chunks.
Bytes Riff(const std::vector<std::pair<std::string, Bytes>>& chunks) {
  Bytes body;
  PutText(body, "WAVE");
  for (const auto& [id, data] : chunks) {
    PutText(body, id);
    Put32(body, static_cast<uint32_t>(data.size()));
    body.insert(body.end(), data.begin(), data.end());
    if (data.size() % 2) body.push_back(0);  // chunks are padded to even length
  }
  Bytes b;
  PutText(b, "RIFF");
  Put32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

Bytes PcmFormat(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits, size_t extra) {
  Bytes f;
  Put16(f, tag);
  Put16(f, channels);
  Put32(f, rate);
  Put32(f, rate * channels * bits / 8);
  Put16(f, static_cast<uint32_t>(channels * bits / 8));
  Put16(f, bits);
  if (extra > 0) {
    Put16(f, static_cast<uint32_t>(extra));
    for (size_t i = 0; i < extra; ++i) f.push_back(static_cast<uint8_t>(i));
  }
  return f;
}

void WriteWaves(const std::filesystem::path& dir) {
  Bytes samples;
  for (int i = 0; i < 40; ++i) samples.push_back(static_cast<uint8_t>(128 + (i % 8) * 9));
  Write(dir / "pcm8_mono.wav", Riff({{"fmt ", PcmFormat(1, 1, 11025, 8, 0)}, {"data", samples}}));
  Write(dir / "pcm16_stereo.wav",
        Riff({{"fmt ", PcmFormat(1, 2, 22050, 16, 0)}, {"data", samples}}));
  Bytes odd(samples.begin(), samples.begin() + 13);
  Write(dir / "list_and_odd_data.wav", Riff({{"fmt ", PcmFormat(1, 1, 8000, 8, 0)},
                                             {"LIST", Bytes{'I', 'N', 'F', 'O'}},
                                             {"data", odd}}));
  Write(dir / "extensible.wav",
        Riff({{"fmt ", PcmFormat(0xFFFE, 2, 44100, 16, 22)}, {"data", samples}}));
}

void WriteText(const std::filesystem::path& path, const std::string& s) {
  Write(path, Bytes(s.begin(), s.end()));
}

void WriteLevels(const std::filesystem::path& dir) {
  WriteText(dir / "example.lev", "2\r\n0\r\n0\r\n1\r\n13\r\n0\r\n4\r\n");
  WriteText(dir / "lf_blank_text.lev", "3 bricks\n\n-1\n$10\n0\n+7\n0x1F\n9\n  2\t\n0X2\n12\n");
  WriteText(dir / "cr_only.lev", "2\r0\r0\r3\r");
  WriteText(dir / "ctrlz_short.lev",
            "4\r\n1\r\n2\r\n\x1a"
            "5\r\n");
  WriteText(dir / "hex_limits.lev", "1\r\n$FFFFFFFF\r\n-2147483648\r\n2147483648\r\n");
}

void WriteRecords(const std::filesystem::path& dir) {
  WriteText(dir / "rec.kbx",
            "PLAYER\r\n1500\r\n\r\n700\r\nVery long name, past fifteen\r\n700\r\nx\r\n-3\r\n"
            "y\r\n0\r\n");
  // Cyrillic names in Windows-1251, lines ended by LF alone, a lone CR inside a name.
  WriteText(dir / "cp1251_lf.kbx",
            "\xC2\xE0\xF1\xFF\n$7D0\n\xA8\xB8\x98\r\xB9\n12 points\n\n\n\x1a"
            "9\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <seed dir>\n", argv[0]);
    return 2;
  }
  namespace fs = std::filesystem;
  const fs::path root = argv[1];
  for (const char* sub : {"dib", "wave", "levels", "records"}) fs::create_directories(root / sub);
  WriteDibs(root / "dib");
  WriteWaves(root / "wave");
  WriteLevels(root / "levels");
  WriteRecords(root / "records");
  return 0;
}
