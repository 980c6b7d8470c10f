#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for FUZZ_SECONDS seconds
# (default 60) on a seed corpus made here; fails when a target finds a crash, a leak, a memory
# blow-up or a broken check. Reproducers are left as build-fuzz/<target>-crash-* etc.
#   FUZZ_SECONDS=45 scripts/fuzz.sh            every target
#   FUZZ_TARGETS="dib_fuzz" scripts/fuzz.sh    some of them
#   KX_DATA_DIR=build/data                     generated data whose files join the seeds
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
data=${KX_DATA_DIR:-build/data}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKX_FUZZ=ON -DKX_TESTS=OFF -DKX_BENCH=OFF >/dev/null
targets=${FUZZ_TARGETS:-$(cd fuzz && ls ./*_fuzz.cpp | sed 's|^\./||; s|\.cpp$||')}
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets fuzz_seeds

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
seeds="$work/seeds"
"$root/$build/fuzz_seeds" "$seeds"

# More seeds from the real data: the levels in the source tree and, when the generated data
# directory exists, its pictures and record file (the music is too long to be a useful seed).
cp levels/*.lev "$seeds/levels/" 2>/dev/null || true
if [ -d "$data" ]; then
  for d in shar bon fnt pod kirp fon; do
    # One picture of each folder is enough: the files of a folder share their layout.
    f=$(ls "$data/$d"/*.bmp 2>/dev/null | head -n 1 || true)
    [ -n "$f" ] && cp "$f" "$seeds/dib/data-$d.bmp"
  done
  [ -f "$data/rec.kbx" ] && cp "$data/rec.kbx" "$seeds/records/data-rec.kbx"
fi
# Pictures written by ImageMagick when it is present: other encoders' habits (RLE padding,
# OS/2 headers, bit fields).
if command -v convert >/dev/null 2>&1; then
  src="$work/src.png"
  convert -size 13x7 gradient:red-blue "$src"
  convert "$src" -colors 60 -type Palette -compress RLE BMP3:"$seeds/dib/magick-rle8.bmp"
  convert "$src" -colors 12 -type Palette BMP2:"$seeds/dib/magick-os2.bmp"
  convert "$src" -define bmp:subtype=RGB565 BMP:"$seeds/dib/magick-rgb565.bmp"
  convert "$src" -alpha set BMP:"$seeds/dib/magick-rgb32.bmp"
fi

status=0
for t in $targets; do
  case $t in
    dib_fuzz) seed="$seeds/dib" ;;
    wave_fuzz) seed="$seeds/wave" ;;
    levels_fuzz) seed="$seeds/levels" ;;
    records_fuzz) seed="$seeds/records" ;;
    *) seed="$seeds" ;;
  esac
  corpus="$work/corpus-$t"
  mkdir -p "$corpus"
  echo "== $t for ${seconds}s"
  # A small quarantine keeps the sanitizer's memory near what the reader itself uses, so the
  # memory limits below measure the reader.
  if ! (cd "$work" && ASAN_OPTIONS=quarantine_size_mb=64:detect_leaks=1 \
        "$root/$build/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
        -max_len=8192 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$root/$build/$t-" "$corpus" "$seed"); then
    echo "$t found a fault; reproducer in $build/$t-*" >&2
    status=1
  fi
done
exit $status
