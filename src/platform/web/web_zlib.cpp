#include <emscripten.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Runs the browser's CompressionStream (inflate = 0) or DecompressionStream (1) in the "deflate"
// (zlib) format over `n` bytes and writes at most `cap` bytes of the result to `dst`. Answers the
// result's length, -2 when it does not fit, -1 on a damaged stream, -3 where the browser lacks
// the streams. The game sleeps meanwhile (ASYNCIFY), as it does for a paint.
EM_JS(int, kx_zlib, (int inflate, const uint8_t* src, int n, uint8_t* dst, int cap), {
  if (typeof CompressionStream == 'undefined' || typeof DecompressionStream == 'undefined')
    return -3;
  return Asyncify.handleSleep(function(wakeUp) {
    try {
      var stream = inflate ? new DecompressionStream('deflate') : new CompressionStream('deflate');
      var piped = new Blob([HEAPU8.slice(src, src + n)]).stream().pipeThrough(stream);
      new Response(piped).arrayBuffer().then(
          function(buf) {
            var out = new Uint8Array(buf);
            if (out.length > cap) {
              wakeUp(-2);
              return;
            }
            HEAPU8.set(out, dst);
            wakeUp(out.length);
          },
          function() { wakeUp(-1); });
    } catch (e) {
      wakeUp(-1);
    }
  });
});

uint32_t Adler32(const Bytef* p, uLong n) {
  uint32_t a = 1, b = 0;
  for (uLong i = 0; i < n; ++i) {
    a = (a + p[i]) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

}  // namespace

uLong compressBound(uLong sourceLen) {
  // zlib's bound; stored blocks (5 bytes of every 65535) with the 6 bytes of the frame fit too.
  return sourceLen + (sourceLen >> 12) + (sourceLen >> 14) + (sourceLen >> 25) + 13 +
         5 * (sourceLen / 65535 + 1);
}

int compress2(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen, int) {
  const int n = kx_zlib(0, source, static_cast<int>(sourceLen), dest, static_cast<int>(*destLen));
  if (n >= 0) {
    *destLen = static_cast<uLongf>(n);
    return Z_OK;
  }
  if (n == -2) return Z_BUF_ERROR;
  // A browser without the streams still writes a zlib stream every reader takes: stored blocks.
  std::vector<Bytef> out = {0x78, 0x01};
  uLong at = 0;
  do {
    const uLong len = std::min<uLong>(sourceLen - at, 65535);
    out.push_back(at + len == sourceLen ? 1 : 0);
    out.push_back(len & 0xFF);
    out.push_back(len >> 8);
    out.push_back(~len & 0xFF);
    out.push_back((~len >> 8) & 0xFF);
    out.insert(out.end(), source + at, source + at + len);
    at += len;
  } while (at < sourceLen);
  const uint32_t adler = Adler32(source, sourceLen);
  for (int s = 24; s >= 0; s -= 8) out.push_back((adler >> s) & 0xFF);
  if (out.size() > *destLen) return Z_BUF_ERROR;
  std::memcpy(dest, out.data(), out.size());
  *destLen = out.size();
  return Z_OK;
}

int uncompress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen) {
  const int n = kx_zlib(1, source, static_cast<int>(sourceLen), dest, static_cast<int>(*destLen));
  if (n == -2) return Z_BUF_ERROR;
  if (n < 0) return Z_DATA_ERROR;
  *destLen = static_cast<uLongf>(n);
  return Z_OK;
}

uLong crc32(uLong crc, const Bytef* buf, uInt len) {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(256);
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = static_cast<uint32_t>(crc) ^ 0xFFFFFFFFu;
  for (uInt i = 0; i < len; ++i) c = table[(c ^ buf[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}
