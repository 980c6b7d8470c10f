#!/usr/bin/env bash
# The real program without a display: DISPLAY unset, empty, or naming a display no server
# answers. Each run must end by itself with status 1 and the video system's reason on standard
# error, having opened nothing (no window can ever be shown, so nothing may keep running).
#
#   tests/smoke/no_display.sh path/to/kobaltix path/to/data
set -uo pipefail
game=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
data=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$data/." "$work/"
failures=0
fail() { echo "no_display: FAILED: $*" >&2; failures=$((failures + 1)); }

# A display number no server listens on.
free=600
while [ -e "/tmp/.X11-unix/X$free" ] || [ -e "/tmp/.X$free-lock" ]; do free=$((free + 1)); done

for display in unset "" ":$free"; do
  status=0
  if [ "$display" = unset ]; then
    (cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER \
      timeout 20 "$game" --window >"$work/out" 2>"$work/err") || status=$?
  else
    (cd "$work" && env -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY="$display" \
      timeout 20 "$game" --window >"$work/out" 2>"$work/err") || status=$?
  fi
  err=$(grep -v '^ALSA\|XDG_RUNTIME_DIR' "$work/err")
  [ $status -ne 124 ] || fail "DISPLAY=$display: still running after 20 s"
  [ $status -eq 1 ] || fail "DISPLAY=$display: ended with status $status, not 1"
  [[ $err == *"kobaltix: no display to show the game on"*": "?* ]] ||
    fail "DISPLAY=$display: no reason on standard error: $err"
done
cmp -s "$data/rec.kbx" "$work/rec.kbx" || fail "the record table changed"

[ $failures -eq 0 ] && echo "no_display: all runs ended with status 1 and a reason"
exit $((failures > 0))
