#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for FUZZ_SECONDS seconds
# (default 60) on a seed corpus made here; fails when a target finds a crash.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKX_FUZZ=ON -DKX_TESTS=OFF -DKX_BENCH=OFF >/dev/null
targets=$(cd fuzz && ls ./*_fuzz.cpp | sed 's|^\./||; s|\.cpp$||')
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds="$work/seeds"
mkdir -p "$seeds"
# Seed pictures: one per depth and coding the reader knows, written by ImageMagick when present.
if command -v convert >/dev/null 2>&1; then
  src="$work/src.png"
  convert -size 13x7 gradient:red-blue "$src"
  convert "$src" -colors 2 -type Palette -compress None BMP3:"$seeds/p1.bmp"
  convert "$src" -colors 12 -type Palette -compress None BMP3:"$seeds/p4.bmp"
  convert "$src" -colors 60 -type Palette -compress None BMP3:"$seeds/p8.bmp"
  convert "$src" -colors 60 -type Palette -compress RLE BMP3:"$seeds/rle8.bmp"
  convert "$src" -colors 12 -type Palette BMP2:"$seeds/os2.bmp"
  convert "$src" -type TrueColor BMP3:"$seeds/rgb24.bmp"
  convert "$src" -define bmp:subtype=RGB565 BMP:"$seeds/rgb565.bmp"
  convert "$src" -alpha set BMP:"$seeds/rgb32.bmp"
fi
# A tiny bitmap written by hand, so the corpus is never empty: 2 x 1, 24 bits.
printf 'BM\x3a\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x02\x00\x00\x00\x01\x00\x00\x00\x01\x00\x18\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\x00\x00\x00\xff\x00\x00\x00' \
  >"$seeds/tiny.bmp"
# Carried picture data: class name, then the bitmap without its file header.
{ printf '\x04TDIB'; tail -c +15 "$seeds/tiny.bmp"; } >"$seeds/tiny.tdib"

status=0
for t in $targets; do
  corpus="$work/corpus-$t"
  mkdir -p "$corpus"
  echo "== $t for ${seconds}s"
  if ! (cd "$work" && "$root/$build/$t" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -artifact_prefix="$root/$build/$t-" "$corpus" "$seeds"); then
    echo "$t found a crash; reproducer in $build/$t-*" >&2
    status=1
  fi
done
exit $status
