#!/usr/bin/env bash
# Smoke test of the real program in a real (virtual) X server: the menu with its record table,
# Enter starts level 1, a held arrow key moves the paddle, Alt+Enter switches to a window (which
# shows the frame 1:1) and back, Escape returns to the menu and Escape again ends the program with
# status 0.
#
#   scripts/smoke.sh [build-dir]        (default: build)
#
# Screenshots and the game's output are kept in <build-dir>/smoke-artifacts/ (with
# KX_SMOKE_SDL_EVENTS=1 the output also logs every event SDL receives). Needs xvfb-run,
# xauth, xdotool, xwininfo and ImageMagick (scripts/deps.sh test). Every wait is bounded; a hard
# limit of 60 s ends a stuck run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/smoke/x11_lib.sh
. "$here/../tests/smoke/x11_lib.sh"

if [ "${1:-}" != --in-x ]; then
  x11_need xvfb-run xauth xdotool xwininfo convert import od awk timeout || exit 2
  x11_find_game "${1:-$here/../build}" || exit 2
  art=$KX_BUILD/smoke-artifacts
  rm -rf "$art"
  mkdir -p "$art"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  x11_copy_data "$work/data"
  x11_run_in_xvfb smoke "$0" "$work/data" "$art" || exit 1
  exit 0
fi

# ---- inside the X server ------------------------------------------------------------------------
data=$2
art=$3
game_pid=
fail() {
  echo "smoke: FAILED: $*" >&2
  if [ -s "$art/game.log" ]; then
    echo "--- the game's output:" >&2
    tail -n 20 "$art/game.log" >&2
  fi
  exit 1
}
cleanup() {
  if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then kill -9 "$game_pid" 2>/dev/null; fi
}
trap cleanup EXIT

# Level 1 (levels/lev1.lev): columns 3..10 in rows 2..4. A brick (col, row) covers
# (100 + 50 col, 100 + 20 row) .. +50x20 of the frame. The empty places beside the rows, above and
# below them must show the dark play-field backdrop.
brick_spots() { for r in 2 3 4; do for c in 3 4 5 6 7 8 9 10; do echo "$((125 + 50 * c)) $((110 + 20 * r))"; done; done; }
empty_spots() {
  for r in 2 3 4; do echo "$((125 + 50 * 2)) $((110 + 20 * r))"; echo "$((125 + 50 * 11)) $((110 + 20 * r))"; done
  echo "$((125 + 50 * 6)) $((110 + 20 * 1))"
  echo "$((125 + 50 * 6)) $((110 + 20 * 6))"
}
# "r g b" at the screen places of frame points in window geometry `geo`.
sample() {  # shot geo < "fx fy" lines
  x11_map "$2" | x11_pixels "$1"
}

# Bricks of `shot` in window geometry `geo` that are bright and, given `ref` (a shot of the same
# geometry), differ clearly from it.
count_bricks() {  # shot geo [ref]
  local ref=${3:-}
  paste -d' ' <(brick_spots | sample "$1" "$2") \
    <(if [ -n "$ref" ]; then brick_spots | sample "$ref" "$2"; else brick_spots | sed 's/.*/-1 -1 -1/'; fi) |
    awk '{ m = $1; if ($2 > m) m = $2; if ($3 > m) m = $3
      d = 0; for (i = 1; i <= 3; i++) d += ($i > $(i + 3) ? $i - $(i + 3) : $(i + 3) - $i)
      if (m >= 100 && ($4 < 0 || d >= 60)) n++ } END { print n + 0 }'
}
# Empty places of level 1 that are not dark.
count_lit_gaps() {  # shot geo
  empty_spots | sample "$1" "$2" |
    awk '{ m = $1; if ($2 > m) m = $2; if ($3 > m) m = $3; if (m > 90) n++ } END { print n + 0 }'
}

shot() { import -window root "$art/$1.png" 2>/dev/null || fail "cannot take the screenshot $1"; }

# Takes screenshots named `name` until `check name` succeeds or `secs` pass.
poll_shot() {  # name secs check...
  local name=$1 end=$((SECONDS + $2))
  shift 2
  while :; do
    shot "$name"
    "$@" "$art/$name.png" && return 0
    [ $SECONDS -ge $end ] && return 1
    sleep 0.3
  done
}

cd "$data"
SDL_EVENT_LOGGING=${KX_SMOKE_SDL_EVENTS:-0} SDL_AUDIODRIVER=dummy "$KX_GAME" >"$art/game.log" 2>&1 &
game_pid=$!

# 1. The menu, full screen.
win=$(x11_wait_window 15) || fail "the game's window did not appear within 15 s"
x11_wait_size "$win" 1024 768 5 ||
  fail "the window is $(x11_geometry "$win"), not full screen 1024x768"
geo=$(x11_geometry "$win")
menu_ok() { [ "$(x11_heading_red "$1" "$geo")" -ge 15 ]; }
poll_shot menu 15 menu_ok ||
  fail "no menu: no red record heading at frame (550,58) (red pixels: $(x11_heading_red "$art/menu.png" "$geo"); mean brightness $(x11_mean "$art/menu.png"))"
mean=$(x11_mean "$art/menu.png")
awk -v m="$mean" 'BEGIN { exit !(m >= 0.05) }' || fail "the menu is black (mean brightness $mean)"
echo "smoke: menu on screen (window $geo, mean brightness $mean, heading red pixels $(x11_heading_red "$art/menu.png" "$geo"))"

# 2. Enter starts level 1: its 24 bricks where the level file puts them, nothing beside them.
xdotool key Return
game_ok() { [ "$(count_bricks "$1" "$geo" "$art/menu.png")" -ge 22 ]; }
poll_shot game 5 game_ok ||
  fail "Enter did not show level 1: $(count_bricks "$art/game.png" "$geo" "$art/menu.png") of 24 bricks seen"
gaps=$(count_lit_gaps "$art/game.png" "$geo")
[ "$gaps" -eq 0 ] || fail "$gaps places beside level 1's bricks are not the dark backdrop"
[ "$(x11_heading_red "$art/game.png" "$geo")" -lt 5 ] || fail "the record heading is still shown in play"
echo "smoke: level 1 shown ($(count_bricks "$art/game.png" "$geo" "$art/menu.png") of 24 bricks)"

# 3. A held arrow key moves the paddle.
before=$(x11_paddle_left "$art/game.png" "$geo")
[ "$before" -ge 0 ] || fail "no paddle on the frame's row 537"
x11_hold Right 0.8
shot paddle
after=$(x11_paddle_left "$art/paddle.png" "$geo")
[ "$after" -ge $((before + 20)) ] || fail "holding Right did not move the paddle (left edge $before -> $after)"
echo "smoke: Right moved the paddle (left edge $before -> $after)"

# 4. Alt+Enter: a window of 800x600, then full screen again.
xdotool key alt+Return
x11_wait_size "$win" 800 600 5 || fail "Alt+Enter: the window stayed $(x11_geometry "$win")"
wgeo=$(x11_geometry "$win")
windowed_ok() { [ "$(count_bricks "$1" "$wgeo")" -ge 12 ]; }
poll_shot windowed 5 windowed_ok ||
  fail "in a window ($wgeo) the bricks are not drawn: $(count_bricks "$art/windowed.png" "$wgeo") of 24"
gaps=$(count_lit_gaps "$art/windowed.png" "$wgeo")
[ "$gaps" -eq 0 ] || fail "in a window $gaps places beside level 1's bricks are not the dark backdrop"
# The window shows the frame 1:1: the rightmost brick column (frame x 600..649) ends where the
# frame puts it, lit 5 pixels inside its right edge and dark 5 pixels beyond it (a cut and
# stretched frame moves that edge some 18 pixels to the right).
edge=$(for r in 2 3 4; do echo "644 $((110 + 20 * r))"; echo "654 $((110 + 20 * r))"; done |
  sample "$art/windowed.png" "$wgeo" | paste -d' ' - - |
  awk '{ a = $1; if ($2 > a) a = $2; if ($3 > a) a = $3; b = $4; if ($5 > b) b = $5; if ($6 > b) b = $6
    if (a >= 100 && b <= 40) n++ } END { print n + 0 }')
[ "$edge" -eq 3 ] || fail "in a window the frame is not shown 1:1 (the right brick edge is in place in $edge of 3 rows)"
echo "smoke: Alt+Enter gave a window $wgeo ($(count_bricks "$art/windowed.png" "$wgeo") bricks seen)"
xdotool key alt+Return
x11_wait_size "$win" 1024 768 5 || fail "Alt+Enter again: the window stayed $(x11_geometry "$win")"
geo=$(x11_geometry "$win")
full_ok() { [ "$(count_bricks "$1" "$geo")" -ge 12 ]; }
poll_shot fullscreen 5 full_ok ||
  fail "back in full screen the bricks are not drawn: $(count_bricks "$art/fullscreen.png" "$geo") of 24"
echo "smoke: Alt+Enter again gave full screen $geo"

# 5. Escape returns to the menu; Escape again ends the program.
xdotool key Escape
poll_shot menu2 5 menu_ok || fail "Escape in play did not return to the menu"
echo "smoke: Escape returned to the menu"
xdotool key Escape
x11_wait_exit "$game_pid" 5 || fail "Escape in the menu did not end the program within 5 s"
game_pid=
[ "$X11_STATUS" -eq 0 ] || fail "the program ended with status $X11_STATUS"
echo "smoke: Escape ended the program with status 0"
echo "smoke: ok"
