// The part of zlib's interface the game uses (compress2, uncompress, compressBound, crc32), for
// the browser build, which has no zlib of its own: src/platform/web/web_zlib.cpp implements it
// with the browser's CompressionStream, whose "deflate" format is zlib's. Only the browser build
// puts this folder on the include path.
#pragma once

#include <cstddef>

using Bytef = unsigned char;
using uInt = unsigned int;
using uLong = unsigned long;
using uLongf = uLong;

constexpr int Z_OK = 0;
constexpr int Z_MEM_ERROR = -4;
constexpr int Z_BUF_ERROR = -5;
constexpr int Z_DATA_ERROR = -3;

// The most bytes compress2 can make of `sourceLen` bytes (zlib's own bound, and enough for
// stored blocks).
uLong compressBound(uLong sourceLen);
// Compresses `sourceLen` bytes into a zlib stream at `dest` (room for *destLen bytes); *destLen
// becomes its length. Z_OK, or Z_BUF_ERROR when it does not fit. `level` is left to the browser.
int compress2(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen, int level);
// Inflates the zlib stream of `sourceLen` bytes into `dest` (room for *destLen bytes); *destLen
// becomes the inflated length. Z_OK, Z_BUF_ERROR when it does not fit, Z_DATA_ERROR for a damaged
// stream or a browser that cannot inflate.
int uncompress(Bytef* dest, uLongf* destLen, const Bytef* source, uLong sourceLen);
// The CRC-32 of `len` bytes continuing `crc` (0 to start), as zlib computes it.
uLong crc32(uLong crc, const Bytef* buf, uInt len);
