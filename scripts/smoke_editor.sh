#!/usr/bin/env bash
# Smoke test of the level editor in a real (virtual) X server: `kobaltix --edit` makes the set
# "mine" in the player's folder, the mouse erases level 1's bricks and draws a row of its own,
# Ctrl+S saves it in the game's exact form, Escape leaves; `kobaltix --levels mine` then plays
# that row with the set's own record table.
#
#   scripts/smoke_editor.sh [build-dir]        (default: build)
#
# Screenshots and the game's output are kept in <build-dir>/smoke-editor-artifacts/. Needs
# xvfb-run, xauth, xdotool, xwininfo and ImageMagick (scripts/deps.sh test). Every wait is
# bounded; a hard limit of 60 s ends a stuck run.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/smoke/x11_lib.sh
. "$here/../tests/smoke/x11_lib.sh"

if [ "${1:-}" != --in-x ]; then
  x11_need xvfb-run xauth xdotool xwininfo convert import od awk timeout || exit 2
  x11_find_game "${1:-$here/../build}" || exit 2
  art=$KX_BUILD/smoke-editor-artifacts
  rm -rf "$art"
  mkdir -p "$art"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  x11_copy_data "$work/data"
  mkdir -p "$work/home"
  x11_run_in_xvfb smoke_editor "$0" "$work" "$art" || exit 1
  exit 0
fi

# ---- inside the X server ------------------------------------------------------------------------
work=$2
art=$3
game_pid=
fail() {
  echo "smoke_editor: FAILED: $*" >&2
  [ -s "$art/game.log" ] && tail -n 20 "$art/game.log" >&2
  exit 1
}
cleanup() {
  if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then kill -9 "$game_pid" 2>/dev/null; fi
}
trap cleanup EXIT
export HOME=$work/home
unset XDG_DATA_HOME
set_dir=$HOME/.local/share/kobaltix/sets/mine

start() {  # args...
  (cd "$work/data" && SDL_AUDIODRIVER=dummy exec "$KX_GAME" "$@") >>"$art/game.log" 2>&1 &
  game_pid=$!
  win=$(x11_wait_window 15) || fail "no window for $*"
  x11_wait_size "$win" 1024 768 5 || fail "the window is $(x11_geometry "$win"), not full screen"
  geo=$(x11_geometry "$win")
  sleep 1.5
}
# A drag of mouse button `b` along frame row y from x1 to x2, 10 frame pixels a step, as one
# xdotool command chain (one program start per step would take seconds).
drag() {  # b y x1 x2
  local steps
  steps=$(for ((x = $3; x <= $4; x += 10)); do echo "$x $2"; done | x11_map "$geo" |
    awk '{ printf "mousemove %d %d sleep 0.02 ", $1, $2 }')
  read -r sx sy < <(echo "$3 $2" | x11_map "$geo")
  # shellcheck disable=SC2086
  xdotool mousemove "$sx" "$sy" sleep 0.05 mousedown "$1" $steps mouseup "$1" sleep 0.1
}
bright() {  # shot: the number of cells of row 6, columns 2..11, that show a bright brick
  for c in 2 3 4 5 6 7 8 9 10 11; do echo "$((125 + 50 * c)) 230"; done | x11_map "$geo" |
    x11_pixels "$1" | awk '{ m = $1; if ($2 > m) m = $2; if ($3 > m) m = $3; if (m >= 100) n++ }
                           END { print n + 0 }'
}

# 1. The editor on the set "mine", made from the shipped levels.
start --edit
[ -f "$set_dir/lev20.lev" ] || fail "--edit did not make the set in $set_dir"
cmp -s "$set_dir/lev1.lev" "$work/data/levels/lev1.lev" || fail "the new set's level 1 differs"
import -window root "$art/editor.png"

# 2. Right drags erase level 1's rows 2..4; a left drag of type 9 fills row 6, columns 2..11.
for y in 150 170 190; do drag 3 "$y" 240 660; done
xdotool key 9
drag 1 230 215 675
xdotool key ctrl+s
sleep 0.5
import -window root "$art/drawn.png"
want=$(printf '10\r\n'; for c in 2 3 4 5 6 7 8 9 10 11; do printf '%s\r\n6\r\n9\r\n' "$c"; done)
[ "$(cat "$set_dir/lev1.lev")" = "$want" ] ||
  fail "level 1 was saved as: $(od -c "$set_dir/lev1.lev" | head -5)"
[ "$(bright "$art/drawn.png")" -eq 10 ] || fail "the editor does not show the drawn row"
echo "smoke_editor: drew and saved level 1 ($(wc -c <"$set_dir/lev1.lev") bytes)"

# 3. Escape leaves at once: nothing is unsaved.
xdotool key Escape
x11_wait_exit "$game_pid" 5 || fail "Escape did not leave the editor"
game_pid=
[ "$X11_STATUS" -eq 0 ] || fail "the editor ended with status $X11_STATUS"

# 4. --levels mine plays the drawn row, and the set keeps its own record table.
start --levels mine
x11_wait_menu "$art/menu.png" "$geo" 15 || fail "no menu for --levels"
xdotool key Return
sleep 1
import -window root "$art/played.png"
[ "$(bright "$art/played.png")" -eq 10 ] || fail "--levels did not play the drawn row"
[ -f "$set_dir/rec.kbx" ] || fail "the set has no record table of its own"
xdotool key Escape
sleep 0.5
xdotool key Escape
x11_wait_exit "$game_pid" 5 || fail "Escape twice did not end the game"
game_pid=
echo "smoke_editor: --levels mine played the drawn level"
echo "smoke_editor: ok"
