// JPEG decoding in the browser build: the browser's own decoder (createImageBitmap), awaited while
// the game sleeps. It stands in for src/platform/jpeg.cpp (libjpeg), with the same contract.
#include <emscripten.h>

#include <cstdlib>

#include "platform/jpeg.h"

namespace platform {
namespace {

// Decodes `size` bytes; on success writes the width, the height and a malloc'ed RGBA buffer to
// out[0..2] and returns 1; returns 0 when the browser cannot decode them.
EM_JS(int, kx_decode_jpeg, (const uint8_t* data, int size, int* out), {
  return Asyncify.handleSleep(function(wakeUp) {
    if (typeof createImageBitmap != 'function') {
      wakeUp(0);
      return;
    }
    var blob = new Blob([HEAPU8.slice(data, data + size)], {
      type:
        'image/jpeg'
    });
    createImageBitmap(blob, {colorSpaceConversion : 'none', premultiplyAlpha : 'none'})
        .then(
            function(bmp) {
              var w = bmp.width, h = bmp.height;
              var c = document.createElement('canvas');
              c.width = w;
              c.height = h;
              var g = c.getContext('2d', {willReadFrequently : true});
              g.drawImage(bmp, 0, 0);
              var px = g.getImageData(0, 0, w, h).data;
              var p = _malloc(w * h * 4);
              HEAPU8.set(px, p);
              HEAP32[out >> 2] = w;
              HEAP32[(out >> 2) + 1] = h;
              HEAP32[(out >> 2) + 2] = p;
              wakeUp(1);
            },
            function() { wakeUp(0); });
  });
});

// The side a baseline or progressive header claims, read before the browser is asked, so a
// damaged header claiming a huge picture is refused as libjpeg's reader refuses it.
bool HeaderSides(const uint8_t* d, size_t n, int& w, int& h) {
  if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
  size_t i = 2;
  while (i + 9 < n) {
    if (d[i] != 0xFF) return false;
    const uint8_t marker = d[i + 1];
    const size_t len = (static_cast<size_t>(d[i + 2]) << 8) | d[i + 3];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      h = (d[i + 5] << 8) | d[i + 6];
      w = (d[i + 7] << 8) | d[i + 8];
      return true;
    }
    i += 2 + len;
  }
  return false;
}

}  // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, int& w, int& h, std::vector<uint8_t>& rgb24,
                std::string& error) {
  w = h = 0;
  rgb24.clear();
  int cw = 0, ch = 0;
  if (data == nullptr || !HeaderSides(data, size, cw, ch)) {
    error = "not a JPEG picture (no frame header)";
    return false;
  }
  if (cw <= 0 || ch <= 0 || cw > kMaxJpegSide || ch > kMaxJpegSide) {
    error = "JPEG picture of an unsupported size";
    return false;
  }
  int out[3] = {0, 0, 0};
  if (!kx_decode_jpeg(data, static_cast<int>(size), out)) {
    error = "the browser cannot decode this JPEG picture";
    return false;
  }
  auto* rgba = reinterpret_cast<uint8_t*>(out[2]);
  w = out[0];
  h = out[1];
  rgb24.resize(static_cast<size_t>(w) * h * 3);
  for (size_t i = 0, n = static_cast<size_t>(w) * h; i < n; ++i) {
    rgb24[i * 3] = rgba[i * 4];
    rgb24[i * 3 + 1] = rgba[i * 4 + 1];
    rgb24[i * 3 + 2] = rgba[i * 4 + 2];
  }
  std::free(rgba);
  return true;
}

}  // namespace platform
