#!/usr/bin/env bash
# Installs the Debian packages the game needs. `deps.sh run` for playing, `deps.sh package` for
# building the Debian package too, `deps.sh web` for the browser build and its test in chromium,
# `deps.sh test` for the tests, the install checks and the browser build and test too. Run as
# root it installs what is missing; otherwise it prints the one line to run.
set -euo pipefail
mode=${1:-run}
pkgs=(cmake ninja-build g++ pkg-config make
      libsdl2-dev libsdl2-mixer-dev libsdl2-ttf-dev libfontconfig-dev libjpeg62-turbo-dev
      fontconfig fonts-comfortaa fonts-dejavu-core)
if [ "$mode" = package ] || [ "$mode" = test ]; then
  pkgs+=(dpkg-dev file)
fi
if [ "$mode" = test ]; then
  pkgs+=(googletest libgtest-dev libbenchmark-dev libsdl2-gfx-dev clang libclang-rt-dev zlib1g-dev
         xvfb xauth xdotool imagemagick x11-utils sox
         desktop-file-utils appstream lintian man-db fakeroot)
fi
if [ "$mode" = web ] || [ "$mode" = test ]; then
  # Emscripten (Debian's works offline; its tools run under node with Debian's node modules),
  # the browser the page is tested in, ImageMagick for the frame comparison.
  pkgs+=(emscripten nodejs chromium python3 imagemagick)
fi
missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "KobalTix needs these packages. Please run:" >&2
  echo "  sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
