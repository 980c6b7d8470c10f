#include "display/dib.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/data_file.h"
#include "toolkit/translate.h"

namespace {

[[noreturn]] void Invalid() { throw EInvalidDIB(toolkit::Tr("DIB is invalid")); }

// Every multi-byte read goes through these, each after a bounds check of its caller's.
uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
int32_t I32(const uint8_t* p) { return static_cast<int32_t>(U32(p)); }

// Run-length pictures up to this many pixels are decoded whatever their data's length.
constexpr int64_t kRLEUncheckedPixels = int64_t{1} << 20;

// One channel described by a mask: where its bits are and how to widen them to 8 bits.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  int width = 0;

  // Fails when the mask's bits are not contiguous.
  static bool Make(uint32_t mask, Channel& out) {
    out = Channel{};
    out.mask = mask;
    if (mask == 0) return true;
    out.shift = std::countr_zero(mask);
    uint32_t bits = mask >> out.shift;
    out.width = std::popcount(bits);
    return (bits & (bits + 1)) == 0;  // all ones from bit 0
  }

  // The channel's value widened to 8 bits by repeating its bits, so full scale stays full scale.
  uint32_t Extract(uint32_t pixel) const {
    if (width == 0) return 0;
    uint32_t v = (pixel & mask) >> shift;
    if (width >= 8) return v >> (width - 8);
    uint32_t r = 0;
    int at = 8 - width;
    r = v << at;
    while (at > 0) {
      at -= width;
      r |= at >= 0 ? (v << at) : (v >> -at);
    }
    return r & 0xFF;
  }
};

uint32_t QuadToRGB(const TRGBQuad& q) {
  return (static_cast<uint32_t>(q.rgbRed) << 16) | (static_cast<uint32_t>(q.rgbGreen) << 8) |
         q.rgbBlue;
}

}  // namespace

// Parses one bitmap into a fresh TDIB so that a failure leaves the caller's picture untouched.
struct DIBParser {
  const uint8_t* d;
  size_t n;
  TDIB out;

  // `pixelOffset` is where the pixels start relative to `d`, or SIZE_MAX for "after the colour
  // table" (carried data has no file header to say it).
  void Parse(size_t pixelOffset) {
    if (n < 4) Invalid();
    uint32_t headerSize = U32(d);
    int64_t width = 0, height = 0;
    int planes = 0, bits = 0;
    uint32_t compression = 0, sizeImage = 0, colorsUsed = 0;
    size_t entrySize = 4;
    bool oldStyle = false;
    if (headerSize == 12) {
      if (n < 12) Invalid();
      width = U16(d + 4);
      height = U16(d + 6);
      planes = U16(d + 8);
      bits = U16(d + 10);
      entrySize = 3;
      oldStyle = true;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
               headerSize == 124) {
      // The later headers begin with the 40-byte one; from 52 bytes on they carry the masks.
      if (n < headerSize) Invalid();
      width = I32(d + 4);
      height = I32(d + 8);
      planes = U16(d + 12);
      bits = U16(d + 14);
      compression = U32(d + 16);
      sizeImage = U32(d + 20);
      colorsUsed = U32(d + 32);
    } else {
      Invalid();
    }
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
      throw EDIBBitCountError(Format(toolkit::Tr("Bitcount in invalid (%d)"), bits));
    if (oldStyle && bits != 1 && bits != 4 && bits != 8 && bits != 24) Invalid();
    if (planes != 1) Invalid();
    if (width <= 0 || height == 0 || height == INT32_MIN) Invalid();
    bool topDown = height < 0;
    int64_t rows = topDown ? -height : height;
    if (width > TDIB::kMaxPixels || rows > TDIB::kMaxPixels || width * rows > TDIB::kMaxPixels)
      Invalid();

    // Compression and the bit counts it goes with. Run-length pictures are bottom-up only.
    switch (compression) {
      case 0:
        break;
      case 1:
        if (bits != 8 || topDown) Invalid();
        break;
      case 2:
        if (bits != 4 || topDown) Invalid();
        break;
      case 3:
        if (bits != 16 && bits != 32) Invalid();
        break;
      default:
        Invalid();
    }

    // Channel masks.
    size_t tableAt = headerSize;
    uint32_t masks[3] = {0, 0, 0};
    if (compression == 3) {
      size_t at = 40;
      if (headerSize == 40) {
        if (n < 52) Invalid();
        tableAt = 52;
      }
      for (int i = 0; i < 3; ++i) masks[i] = U32(d + at + 4 * i);
    } else if (bits == 16) {
      masks[0] = 0x7C00;
      masks[1] = 0x03E0;
      masks[2] = 0x001F;
    } else {
      masks[0] = 0xFF0000;
      masks[1] = 0x00FF00;
      masks[2] = 0x0000FF;
    }
    Channel ch[3];
    if (bits == 16) {
      bool m555 = masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F;
      bool m565 = masks[0] == 0xF800 && masks[1] == 0x07E0 && masks[2] == 0x001F;
      if (!m555 && !m565) throw EDIBPixelFormatError(toolkit::Tr("PixelFormat in invalid"));
    }
    if (bits >= 16) {
      for (int i = 0; i < 3; ++i)
        if (!Channel::Make(masks[i], ch[i]))
          throw EDIBPixelFormatError(toolkit::Tr("PixelFormat in invalid"));
      if ((masks[0] & masks[1]) || (masks[0] & masks[2]) || (masks[1] & masks[2]) ||
          (masks[0] | masks[1] | masks[2]) == 0)
        throw EDIBPixelFormatError(toolkit::Tr("PixelFormat in invalid"));
    }

    // Colour table.
    uint64_t colors = 0;
    if (oldStyle) {
      colors = bits <= 8 ? (1u << bits) : 0;
    } else if (colorsUsed == 0) {
      colors = bits <= 8 ? (1u << bits) : 0;
    } else {
      colors = colorsUsed;
    }
    if (colors > 256) Invalid();
    uint64_t tableEnd = tableAt + colors * entrySize;
    if (tableEnd > n) Invalid();
    out.colorTable_.resize(static_cast<size_t>(colors));
    for (size_t i = 0; i < colors; ++i) {
      const uint8_t* e = d + tableAt + i * entrySize;
      out.colorTable_[i] = TRGBQuad{e[0], e[1], e[2], 0};
    }

    // Pixel block.
    if (pixelOffset == SIZE_MAX) pixelOffset = static_cast<size_t>(tableEnd);
    if (pixelOffset < tableEnd || pixelOffset > n) Invalid();
    const uint8_t* px = d + pixelOffset;
    size_t avail = n - pixelOffset;

    out.width_ = static_cast<int>(width);
    out.height_ = static_cast<int>(rows);
    out.bitCount_ = bits;
    out.compression_ = static_cast<int>(compression);

    if (compression == 1 || compression == 2) {
      // The image-size field bounds the decoder's reads: it must lie within the data.
      size_t len = sizeImage != 0 ? sizeImage : avail;
      if (len > avail) Invalid();
      // A code of two bytes sets at most 255 pixels, so data that codes every pixel is at least
      // pixels / 127.5 bytes long. Past a mebipixel, a picture its data cannot cover that way is
      // taken as corrupt before anything is allocated: a few hostile bytes must not make the
      // reader build a huge, blank picture.
      if (width * rows > kRLEUncheckedPixels && width * rows > static_cast<int64_t>(len) * 128)
        Invalid();
      std::vector<uint8_t> idx =
          DecodeRLE(px, len, compression == 1, static_cast<int>(width), static_cast<int>(rows));
      IndexesToPixels(idx);
      return;
    }

    uint64_t rowBytes = (static_cast<uint64_t>(bits) * static_cast<uint64_t>(width) + 31) / 32 * 4;
    uint64_t need = rowBytes * static_cast<uint64_t>(rows);
    // The image-size field is not needed here (the rows' own size is checked), so a wrong value
    // in it is ignored, as other readers do.
    if (need > avail) Invalid();
    out.pixels_.assign(static_cast<size_t>(width * rows), 0);
    for (int64_t r = 0; r < rows; ++r) {
      const uint8_t* src = px + rowBytes * static_cast<uint64_t>(r);
      int64_t y = topDown ? r : rows - 1 - r;
      uint32_t* dst = out.pixels_.data() + static_cast<size_t>(y * width);
      DecodeRow(src, dst, static_cast<int>(width), bits, ch);
    }
  }

  void DecodeRow(const uint8_t* src, uint32_t* dst, int w, int bits, const Channel* ch) {
    const size_t colors = out.colorTable_.size();
    auto lookup = [&](unsigned idx) -> uint32_t {
      if (idx >= colors) Invalid();  // an index past the table would read beyond it
      return QuadToRGB(out.colorTable_[idx]);
    };
    switch (bits) {
      case 1:
        for (int x = 0; x < w; ++x) dst[x] = lookup((src[x >> 3] >> (7 - (x & 7))) & 1);
        break;
      case 4:
        for (int x = 0; x < w; ++x)
          dst[x] = lookup((x & 1) ? (src[x >> 1] & 0x0F) : (src[x >> 1] >> 4));
        break;
      case 8:
        for (int x = 0; x < w; ++x) dst[x] = lookup(src[x]);
        break;
      case 16:
        for (int x = 0; x < w; ++x) {
          uint32_t p = U16(src + 2 * x);
          dst[x] = (ch[0].Extract(p) << 16) | (ch[1].Extract(p) << 8) | ch[2].Extract(p);
        }
        break;
      case 24:
        for (int x = 0; x < w; ++x) {
          const uint8_t* s = src + 3 * x;
          dst[x] = (static_cast<uint32_t>(s[2]) << 16) | (static_cast<uint32_t>(s[1]) << 8) | s[0];
        }
        break;
      case 32:
        for (int x = 0; x < w; ++x) {
          uint32_t p = U32(src + 4 * x);
          dst[x] = (ch[0].Extract(p) << 16) | (ch[1].Extract(p) << 8) | ch[2].Extract(p);
        }
        break;
    }
  }

  // Run-length decoding by the published BMP rules. Rows are filled bottom-up; pixels the data
  // never sets keep index 0. Encoders (ImageMagick's among them) code the padding pixels of a
  // row too, so a run may reach the end of the padded row; those pixels are dropped. Runs past
  // that, rows past the picture, or data that ends inside a code make the picture invalid
  // rather than being cut, so a damaged file is never half-shown.
  static std::vector<uint8_t> DecodeRLE(const uint8_t* p, size_t len, bool rle8, int w, int h) {
    std::vector<uint8_t> idx(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    int64_t x = 0, y = 0;  // y counts rows from the bottom
    // Pixels in a padded row: rows are stored in whole 32-bit words.
    const int64_t limit =
        (static_cast<int64_t>(w) * (rle8 ? 8 : 4) + 31) / 32 * 32 / (rle8 ? 8 : 4);
    size_t pos = 0;
    auto put = [&](uint8_t v) {
      // Callers checked the run against the padded row; the image row is flipped to top-down.
      if (x < w) idx[static_cast<size_t>((h - 1 - y) * w + x)] = v;
      ++x;
    };
    while (true) {
      if (pos + 2 > len) Invalid();  // no end-of-bitmap code
      uint8_t count = p[pos], value = p[pos + 1];
      pos += 2;
      if (count > 0) {
        if (y >= h || x + count > limit) Invalid();
        if (rle8) {
          for (int i = 0; i < count; ++i) put(value);
        } else {
          for (int i = 0; i < count; ++i) put((i & 1) ? (value & 0x0F) : (value >> 4));
        }
        continue;
      }
      if (value == 0) {  // end of line
        x = 0;
        ++y;
        if (y > h) Invalid();
      } else if (value == 1) {  // end of bitmap
        break;
      } else if (value == 2) {  // delta
        if (pos + 2 > len) Invalid();
        x += p[pos];
        y += p[pos + 1];
        pos += 2;
        if (x > limit || y > h || (y == h && x > 0)) Invalid();
      } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
        size_t bytes = rle8 ? value : (value + 1u) / 2u;
        size_t padded = (bytes + 1u) & ~size_t{1};
        if (y >= h || x + value > limit) Invalid();
        if (pos + bytes > len) Invalid();
        for (int i = 0; i < value; ++i) {
          uint8_t b = rle8 ? p[pos + i] : p[pos + i / 2];
          put(rle8 ? b : ((i & 1) ? (b & 0x0F) : (b >> 4)));
        }
        pos = std::min(len, pos + padded);
      }
    }
    return idx;
  }

  void IndexesToPixels(const std::vector<uint8_t>& idx) {
    const size_t colors = out.colorTable_.size();
    out.pixels_.resize(idx.size());
    for (size_t i = 0; i < idx.size(); ++i) {
      if (idx[i] >= colors) Invalid();
      out.pixels_[i] = QuadToRGB(out.colorTable_[idx[i]]);
    }
  }
};

void TDIB::LoadFromDIBData(const uint8_t* data, size_t size) {
  if (data == nullptr) Invalid();
  DIBParser parser{data, size, {}};
  parser.Parse(SIZE_MAX);
  *this = std::move(parser.out);
}

void TDIB::LoadFromBMPFile(const uint8_t* data, size_t size) {
  if (data == nullptr || size < 14 || data[0] != 'B' || data[1] != 'M') Invalid();
  // The file-size field (bytes 2 … 5) is not read: every bound below uses the real size, and
  // other readers open files whose field is wrong.
  uint32_t offBits = U32(data + 10);
  size_t pixelOffset = SIZE_MAX;
  if (offBits != 0) {
    if (offBits < 14) Invalid();
    pixelOffset = offBits - 14;
  }
  DIBParser parser{data + 14, size - 14, {}};
  parser.Parse(pixelOffset);
  *this = std::move(parser.out);
}

void TDIB::LoadFromFile(const std::string& path) {
  std::vector<uint8_t> bytes = ReadWholeFile(path);
  LoadFromBMPFile(bytes.data(), bytes.size());
}

void TDIB::Clear() { *this = TDIB(); }

TColor TDIB::Pixels(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return clBlack;
  uint32_t p = pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + x];
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

const uint32_t* TDIB::ScanLine(int y) const {
  if (y < 0 || y >= height_) return nullptr;
  return pixels_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
}

void TDIB::CopyRect(const TRect& src, PixelBuffer& dst, int dx, int dy) const {
  if (dst.bits == nullptr || Empty()) return;
  // Clip the source to the picture, then the destination to the buffer, moving the other side
  // along so that the pixels stay paired.
  int64_t sl = src.Left, st = src.Top, sr = src.Right, sb = src.Bottom;
  int64_t x0 = dx, y0 = dy;
  if (sl < 0) {
    x0 -= sl;
    sl = 0;
  }
  if (st < 0) {
    y0 -= st;
    st = 0;
  }
  sr = std::min<int64_t>(sr, width_);
  sb = std::min<int64_t>(sb, height_);
  if (x0 < 0) {
    sl -= x0;
    x0 = 0;
  }
  if (y0 < 0) {
    st -= y0;
    y0 = 0;
  }
  sr = std::min<int64_t>(sr, sl + (dst.width - x0));
  sb = std::min<int64_t>(sb, st + (dst.height - y0));
  if (sl >= sr || st >= sb) return;
  int bpp = dst.bitCount;
  if (bpp != 16 && bpp != 24 && bpp != 32) return;
  for (int64_t y = st; y < sb; ++y) {
    const uint32_t* s = ScanLine(static_cast<int>(y)) + sl;
    uint8_t* row = dst.bits + (y0 + (y - st)) * dst.pitch;
    int64_t count = sr - sl;
    if (bpp == 16) {
      auto* o = reinterpret_cast<uint16_t*>(row) + x0;
      for (int64_t i = 0; i < count; ++i) {
        uint32_t p = s[i];
        o[i] = static_cast<uint16_t>(((p >> 8) & 0xF800) | ((p >> 5) & 0x07E0) | ((p >> 3) & 0x1F));
      }
    } else if (bpp == 32) {
      auto* o = reinterpret_cast<uint32_t*>(row) + x0;
      for (int64_t i = 0; i < count; ++i) o[i] = s[i];
    } else {
      uint8_t* o = row + x0 * 3;
      for (int64_t i = 0; i < count; ++i) {
        o[3 * i] = s[i] & 0xFF;
        o[3 * i + 1] = (s[i] >> 8) & 0xFF;
        o[3 * i + 2] = (s[i] >> 16) & 0xFF;
      }
    }
  }
}

std::string MapGamePath(const std::string& path) {
  std::string out = path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

namespace {
// The bytes a BMP file's headers say its picture takes (file header, info header, masks, colour
// table and pixels), from the start of the file in `head`; 0 when they cannot tell (an unknown
// header, run-length data without an image size) or the headers are not all there.
uint64_t BmpBytesNeeded(const std::vector<uint8_t>& head) {
  if (head.size() < 18 || head[0] != 'B' || head[1] != 'M') return 0;
  const uint8_t* d = head.data() + 14;
  const uint32_t headerSize = U32(d);
  if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
      headerSize != 108 && headerSize != 124)
    return 0;
  if (head.size() < 14 + uint64_t{headerSize}) return 0;
  int64_t width, height;
  uint32_t bits, compression = 0, sizeImage = 0, colorsUsed = 0, entry = 4;
  if (headerSize == 12) {
    width = U16(d + 4);
    height = U16(d + 6);
    bits = U16(d + 10);
    entry = 3;
  } else {
    width = I32(d + 4);
    height = I32(d + 8);
    bits = U16(d + 14);
    compression = U32(d + 16);
    sizeImage = U32(d + 20);
    colorsUsed = U32(d + 32);
  }
  if (width <= 0 || bits == 0 || bits > 32) return 0;
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  uint64_t pixels;
  if (compression == 1 || compression == 2) {
    if (sizeImage == 0) return 0;
    pixels = sizeImage;
  } else {
    pixels = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4 * rows;
  }
  const uint64_t headers = 14 + uint64_t{headerSize};
  uint64_t start = U32(head.data() + 10);
  if (start < headers) {
    // No pixel offset: the pixels follow the masks and the colour table.
    const uint64_t masks = compression == 3 && headerSize == 40 ? 12 : 0;
    const uint64_t colors = colorsUsed != 0 ? colorsUsed : (bits <= 8 ? 1u << bits : 0);
    start = headers + masks + colors * entry;
  }
  return start + pixels;
}
}  // namespace

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::string mapped = MapGamePath(path);
  // The error names the file in full, as the player would look for it.
  std::string full = mapped;
  if (!full.empty() && full[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) != nullptr) full = std::string(cwd) + "/" + mapped;
  }
  platform::DataFile f;
  if (!f.Open(mapped)) RaiseOpenError(full, f.Error());
  // No picture the reader accepts is larger than its headers, a full colour table and four
  // bytes a pixel: a larger one is refused before it is read, so memory stays bounded.
  constexpr size_t kMaxFileBytes = 14 + 124 + 12 + 1024 + 4 * static_cast<size_t>(TDIB::kMaxPixels);
  std::vector<uint8_t> bytes;
  if (!f.ReadUpTo(14, bytes)) RaiseOpenError(full, f.Error());
  // The file header states the picture's own size: bytes past it are not the picture's and are
  // not read. A size that cannot be the picture's says nothing, as other readers take it, and the
  // file's own length is the bound: one smaller than what the headers and the pixels need (0, 20,
  // 54 in a 70-byte picture), larger than the file or the cap, or stated where the headers cannot
  // tell what they need.
  if (bytes.size() == 14 && bytes[0] == 'B' && bytes[1] == 'M' && !f.ReadUpTo(4, bytes)) {
    RaiseOpenError(full, f.Error());
  }
  if (bytes.size() == 18) {
    // The rest of the info header (at most the largest one read).
    const uint32_t header = U32(bytes.data() + 14);
    if (header > 4 && !f.ReadUpTo(std::min<uint32_t>(header, 124) - 4, bytes))
      RaiseOpenError(full, f.Error());
  }
  size_t want = kMaxFileBytes;
  if (bytes.size() >= 14 && bytes[0] == 'B' && bytes[1] == 'M') {
    const uint32_t stated = U32(bytes.data() + 2);
    const uint64_t needed = BmpBytesNeeded(bytes);
    if (needed != 0 && stated >= needed && stated <= f.Size() && stated <= kMaxFileBytes)
      want = stated;
  }
  if (f.Size() > kMaxFileBytes && want == kMaxFileBytes) Invalid();
  if (want > bytes.size() && !f.ReadUpTo(want - bytes.size(), bytes)) {
    RaiseOpenError(full, f.Error());
  }
  return bytes;
}

void TDXPicture::LoadFromStream(const uint8_t* data, size_t size) {
  if (data == nullptr || size == 0) {
    Clear();
    return;
  }
  size_t nameLen = data[0];
  if (1 + nameLen > size) Invalid();
  std::string className(reinterpret_cast<const char*>(data + 1), nameLen);
  const uint8_t* body = data + 1 + nameLen;
  size_t bodySize = size - 1 - nameLen;
  auto dib = std::make_unique<TDIB>();
  if (className == "TDIB") {
    dib->LoadFromDIBData(body, bodySize);
  } else if (className == "TBitmap") {
    if (bodySize < 4) Invalid();
    uint32_t len = U32(body);
    if (len > bodySize - 4) Invalid();
    dib->LoadFromBMPFile(body + 4, len);
  } else {
    Invalid();
  }
  SetGraphic(std::move(dib), className);
}

void TDXPicture::LoadFromFile(const std::string& path) {
  std::string mapped = MapGamePath(path);
  std::string ext;
  size_t dot = mapped.find_last_of('.');
  size_t slash = mapped.find_last_of('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    ext = mapped.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto dib = std::make_unique<TDIB>();
  dib->LoadFromFile(path);
  SetGraphic(std::move(dib), ext == "dib" ? "TDIB" : "TBitmap");
}

void TDXPicture::SetGraphic(std::unique_ptr<TDIB> dib, const std::string& className) {
  graphic_ = std::move(dib);
  className_ = graphic_ ? className : std::string();
  ++generation_;
}

void TDXPicture::Clear() { SetGraphic(nullptr); }

void LoadPictureFile(TDXPicture& picture, const std::string& path) { picture.LoadFromFile(path); }
