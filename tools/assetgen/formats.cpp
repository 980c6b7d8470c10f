#include "formats.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

// libjpeg's header needs size_t and FILE declared first.
#include <jpeglib.h>

namespace gen {

void Put16(Bytes& b, uint32_t v) {
  b.push_back(uint8_t(v));
  b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}
void PutStr(Bytes& b, std::string_view s) { b.insert(b.end(), s.begin(), s.end()); }

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2;

// The 40-byte info header.
void InfoHeader(Bytes& b, int w, int h, int bits, uint32_t compression, uint32_t imageSize,
                uint32_t colours) {
  Put32(b, 40);
  Put32(b, uint32_t(w));
  Put32(b, uint32_t(h));
  Put16(b, 1);
  Put16(b, uint32_t(bits));
  Put32(b, compression);
  Put32(b, imageSize);
  Put32(b, 2835);  // 72 dots per inch
  Put32(b, 2835);
  Put32(b, colours);
  Put32(b, 0);
}

uint32_t RowBytes(int w, int bits) { return uint32_t((bits * w + 31) / 32 * 4); }

Bytes Pixels24(const Image& img) {
  uint32_t row = RowBytes(img.w, 24);
  Bytes px(size_t(row) * img.h, 0);
  for (int y = 0; y < img.h; ++y) {
    uint8_t* dst = &px[size_t(img.h - 1 - y) * row];
    for (int x = 0; x < img.w; ++x) {
      const uint8_t* s = img.At(x, y);
      dst[x * 3 + 0] = s[2];
      dst[x * 3 + 1] = s[1];
      dst[x * 3 + 2] = s[0];
    }
  }
  return px;
}

void Palette(Bytes& b, const Indexed& p, size_t entries) {
  for (size_t i = 0; i < entries; ++i) {
    std::array<uint8_t, 3> c = i < p.palette.size() ? p.palette[i] : std::array<uint8_t, 3>{};
    b.push_back(c[2]);
    b.push_back(c[1]);
    b.push_back(c[0]);
    b.push_back(0);
  }
}

Bytes TdibPrefix() {
  Bytes b;
  b.push_back(4);
  PutStr(b, "TDIB");
  return b;
}

// Shared run-length encoder. `perByte` is 1 for RLE8 and 2 for RLE4 (two pixels per byte).
Bytes EncodeRle(const Indexed& p, int perByte) {
  Bytes out;
  auto literalBytes = [&](const uint8_t* v, int n) {
    if (perByte == 1) {
      out.insert(out.end(), v, v + n);
      if (n & 1) out.push_back(0);  // absolute runs end on a 16-bit boundary
    } else {
      int bytes = (n + 1) / 2;
      for (int i = 0; i < bytes; ++i) {
        uint8_t hi = v[2 * i] & 15, lo = 2 * i + 1 < n ? v[2 * i + 1] & 15 : 0;
        out.push_back(uint8_t(hi << 4 | lo));
      }
      if (bytes & 1) out.push_back(0);
    }
  };
  for (int y = p.h - 1; y >= 0; --y) {
    const uint8_t* row = &p.index[size_t(y) * p.w];
    int x = 0;
    while (x < p.w) {
      int run = 1;
      while (x + run < p.w && run < 255 && row[x + run] == row[x]) ++run;
      if (run >= 3) {
        out.push_back(uint8_t(run));
        out.push_back(perByte == 1 ? row[x] : uint8_t((row[x] & 15) << 4 | (row[x] & 15)));
        x += run;
        continue;
      }
      // Gather pixels that do not start a run of three into one absolute block.
      int start = x, n = 0;
      while (x < p.w && n < 255) {
        int r = 1;
        while (x + r < p.w && r < 3 && row[x + r] == row[x]) ++r;
        if (r >= 3) break;
        ++x;
        ++n;
      }
      if (n >= 3) {
        out.push_back(0);
        out.push_back(uint8_t(n));
        literalBytes(row + start, n);
      } else {
        // One or two pixels cannot form an absolute block (its escape values 0..2 are taken).
        for (int i = 0; i < n; ++i) {
          uint8_t v = row[start + i];
          out.push_back(1);
          out.push_back(perByte == 1 ? v : uint8_t((v & 15) << 4));
        }
      }
    }
    out.push_back(0);
    out.push_back(y == 0 ? 1 : 0);  // end of line, or end of bitmap after the top row
  }
  return out;
}

}  // namespace

Bytes BmpFile(const Image& img) {
  Bytes px = Pixels24(img);
  Bytes b;
  PutStr(b, "BM");
  Put32(b, uint32_t(14 + 40 + px.size()));
  Put32(b, 0);
  Put32(b, 14 + 40);
  InfoHeader(b, img.w, img.h, 24, kBiRgb, uint32_t(px.size()), 0);
  b.insert(b.end(), px.begin(), px.end());
  return b;
}

Bytes Dib24(const Image& img) {
  Bytes px = Pixels24(img);
  Bytes b = TdibPrefix();
  InfoHeader(b, img.w, img.h, 24, kBiRgb, uint32_t(px.size()), 0);
  b.insert(b.end(), px.begin(), px.end());
  return b;
}

Indexed Quantise(const Image& img, const std::vector<std::array<uint8_t, 3>>& palette) {
  Indexed p;
  p.w = img.w;
  p.h = img.h;
  p.palette = palette;
  p.index.resize(size_t(img.w) * img.h);
  for (int y = 0; y < img.h; ++y)
    for (int x = 0; x < img.w; ++x) {
      const uint8_t* s = img.At(x, y);
      int best = 0, bestD = 1 << 30;
      for (size_t i = 0; i < palette.size(); ++i) {
        int dr = s[0] - palette[i][0], dg = s[1] - palette[i][1], db = s[2] - palette[i][2];
        int d = dr * dr + dg * dg + db * db;
        if (d < bestD) {
          bestD = d;
          best = int(i);
        }
      }
      p.index[size_t(y) * img.w + x] = uint8_t(best);
    }
  return p;
}

Bytes EncodeRle8(const Indexed& p) { return EncodeRle(p, 1); }
Bytes EncodeRle4(const Indexed& p) { return EncodeRle(p, 2); }

Bytes DibRle8(const Indexed& p) {
  Bytes data = EncodeRle8(p);
  Bytes b = TdibPrefix();
  InfoHeader(b, p.w, p.h, 8, kBiRle8, uint32_t(data.size()), 256);
  Palette(b, p, 256);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes DibRle4(const Indexed& p) {
  Bytes data = EncodeRle4(p);
  Bytes b = TdibPrefix();
  InfoHeader(b, p.w, p.h, 4, kBiRle4, uint32_t(data.size()), 16);
  Palette(b, p, 16);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes Dib1(const Indexed& p) {
  uint32_t row = RowBytes(p.w, 1);
  Bytes px(size_t(row) * p.h, 0);
  for (int y = 0; y < p.h; ++y)
    for (int x = 0; x < p.w; ++x)
      if (p.index[size_t(y) * p.w + x] & 1)
        px[size_t(p.h - 1 - y) * row + x / 8] |= uint8_t(0x80 >> (x % 8));
  Bytes b = TdibPrefix();
  InfoHeader(b, p.w, p.h, 1, kBiRgb, uint32_t(px.size()), 2);
  Palette(b, p, 2);
  b.insert(b.end(), px.begin(), px.end());
  return b;
}

Bytes WaveFile(int rate, int bits, int channels, const Bytes& data, const Bytes& extraFormat) {
  uint32_t fmtSize = 16 + uint32_t(extraFormat.size());
  Bytes b;
  PutStr(b, "RIFF");
  Put32(b, uint32_t(4 + 8 + fmtSize + 8 + data.size()));
  PutStr(b, "WAVE");
  PutStr(b, "fmt ");
  Put32(b, fmtSize);
  Put16(b, 1);  // PCM
  Put16(b, uint32_t(channels));
  Put32(b, uint32_t(rate));
  Put32(b, uint32_t(rate * channels * bits / 8));
  Put16(b, uint32_t(channels * bits / 8));
  Put16(b, uint32_t(bits));
  b.insert(b.end(), extraFormat.begin(), extraFormat.end());
  PutStr(b, "data");
  Put32(b, uint32_t(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

Bytes Jpeg(const Image& img, int quality) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buf, &size);
  cinfo.image_width = JDIMENSION(img.w);
  cinfo.image_height = JDIMENSION(img.h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // Full-resolution colour keeps the thin coloured outlines of the captions crisp.
  for (int i = 0; i < cinfo.num_components; ++i) {
    cinfo.comp_info[i].h_samp_factor = 1;
    cinfo.comp_info[i].v_samp_factor = 1;
  }
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(img.At(0, int(cinfo.next_scanline)));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes out(buf, buf + size);
  jpeg_destroy_compress(&cinfo);
  free(buf);
  return out;
}

std::string ToCp1251(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size();) {
    uint8_t c = uint8_t(s[i]);
    if (c < 0x80) {
      out.push_back(char(c));
      ++i;
      continue;
    }
    if ((c & 0xE0) != 0xC0 || i + 1 >= s.size())
      throw std::runtime_error("cp1251: character outside the supported range");
    char32_t u = char32_t(((c & 0x1F) << 6) | (uint8_t(s[i + 1]) & 0x3F));
    i += 2;
    if (u >= 0x410 && u <= 0x44F)
      out.push_back(char(0xC0 + (u - 0x410)));
    else if (u == 0x401)
      out.push_back(char(0xA8));
    else if (u == 0x451)
      out.push_back(char(0xB8));
    else
      throw std::runtime_error("cp1251: character outside the supported range");
  }
  return out;
}

namespace {
std::string WriteTemp(const std::string& path, const Bytes& data) {
  std::string tmp = path + ".tmp" + std::to_string(getpid());
  FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + tmp + ": " + std::strerror(errno));
  bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), f) == data.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) {
    std::remove(tmp.c_str());
    throw std::runtime_error("cannot write " + tmp);
  }
  return tmp;
}
}  // namespace

void WriteFileAtomic(const std::string& path, const Bytes& data) {
  std::string tmp = WriteTemp(path, data);
  if (std::rename(tmp.c_str(), path.c_str()) != 0) {
    int e = errno;
    std::remove(tmp.c_str());
    throw std::runtime_error("cannot replace " + path + ": " + std::strerror(e));
  }
}

bool WriteFileIfAbsent(const std::string& path, const Bytes& data) {
  if (access(path.c_str(), F_OK) == 0) return false;
  std::string tmp = WriteTemp(path, data);
  // link() refuses to replace an existing name, so a file that appeared meanwhile survives.
  int rc = link(tmp.c_str(), path.c_str());
  int e = errno;
  std::remove(tmp.c_str());
  if (rc == 0) return true;
  if (e == EEXIST) return false;
  throw std::runtime_error("cannot create " + path + ": " + std::strerror(e));
}

}  // namespace gen
