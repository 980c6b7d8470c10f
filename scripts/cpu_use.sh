#!/usr/bin/env bash
# CPU use of the real game in a virtual X server: `seconds` (default 10) in the menu, then as long
# in play (a launched ball), each as a percentage of one core, from the process's user + system
# time in /proc. Also shows the threads that used it, the X server's own share, the frames the
# game presented (counted by tests/smoke/present_counter.cpp, preloaded) with the CPU time each
# frame cost, and the game's ticks per second in play (from how far a held arrow key moves the
# paddle: 7.5 pixels a tick). On a busy machine the game may get fewer than 60 frames a second;
# the CPU time per frame times 60 is then the better measure of its cost.
#
#   scripts/cpu_use.sh [build-dir] [seconds]     (defaults: build, 10)
#
# The target is at most 20% of one core in both; the exit status is 1 when a figure is above it.
# KX_AUDIO picks SDL's audio driver (default dummy, which still mixes the music).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/smoke/x11_lib.sh
. "$here/../tests/smoke/x11_lib.sh"
target=20

if [ "${1:-}" != --in-x ]; then
  x11_need xvfb-run xauth xdotool xwininfo convert import od awk timeout || exit 2
  x11_find_game "${1:-$here/../build}" || exit 2
  secs=${2:-10}
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  x11_copy_data "$work/data"
  # The frame counter; without a compiler the figures simply lack the frame counts.
  ${CXX:-g++} -O2 -shared -fPIC -o "$work/present_counter.so" \
    "$here/../tests/smoke/present_counter.cpp" -ldl 2>/dev/null || echo "cpu_use: no frame counter" >&2
  KX_GAME=$KX_GAME timeout -k 5 $((2 * secs + 60)) \
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" --in-x "$work/data" "$work" "$secs"
  exit $?
fi

# ---- inside the X server ------------------------------------------------------------------------
data=$2
work=$3
secs=$4
tck=$(getconf CLK_TCK)
game_pid=
trap '[ -n "$game_pid" ] && kill -9 "$game_pid" 2>/dev/null || true' EXIT
fail() {
  echo "cpu_use: FAILED: $*" >&2
  tail -n 20 "$work/game.log" >&2 || true
  exit 2
}

# The X server started by xvfb-run is our sibling.
xserver=$(awk -v pp="$PPID" '{ rest = $0; sub(/^.*\) /, "", rest); split(rest, f, " ")
    if (f[2] == pp && $2 ~ /^\(X/ && !found) { print $1; found = 1 } }' /proc/[0-9]*/stat 2>/dev/null || true)

# Per-thread CPU ticks of the game: "name ticks" lines, threads of one name added up. One awk
# reads every thread's stat file, so the snapshot is quick.
thread_ticks() {
  awk '{ line = $0; name = line; sub(/^[0-9]+ \(/, "", name); sub(/\) [^)]*$/, "", name)
      rest = line; sub(/^.*\) /, "", rest); split(rest, f, " ")
      sub(/-[0-9]+$/, "", name); gsub(/ /, "_", name); sum[name] += f[12] + f[13] }
    END { for (n in sum) print n, sum[n] }' /proc/"$game_pid"/task/*/stat 2>/dev/null || true
}

presents() { cat "$work/presents" 2>/dev/null || echo 0; }

# Measures `secs` seconds; prints "<label>: P% of one core (...)" and leaves P in $pct.
measure() {  # label
  local a b xa xb t0 t1 before after fa fb
  fa=$(presents)
  before=$(thread_ticks)
  a=$(x11_cpu_ticks "$game_pid")
  xa=0
  [ -n "$xserver" ] && xa=$(x11_cpu_ticks "$xserver")
  t0=$(date +%s%N)
  sleep "$secs"
  b=$(x11_cpu_ticks "$game_pid")
  after=$(thread_ticks)
  xb=0
  [ -n "$xserver" ] && xb=$(x11_cpu_ticks "$xserver")
  fb=$(presents)
  t1=$(date +%s%N)
  local wall
  wall=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  pct=$(awk -v d=$((b - a)) -v hz="$tck" -v w="$wall" 'BEGIN { printf "%.1f", 100 * d / hz / w }')
  local xpct threads
  xpct=$(awk -v d=$((xb - xa)) -v hz="$tck" -v w="$wall" 'BEGIN { printf "%.1f", 100 * d / hz / w }')
  threads=$(join <(echo "$before" | sort) <(echo "$after" | sort) |
    awk -v hz="$tck" -v w="$wall" '{ p = 100 * ($3 - $2) / hz / w; if (p >= 0.5) printf "%s %.1f%%, ", $1, p }' |
    sed 's/, $//')
  local frames
  frames=$(awk -v f=$((fb - fa)) -v d=$((b - a)) -v hz="$tck" -v w="$wall" 'BEGIN {
    if (f <= 0) { print "frames not counted"; exit }
    ms = 1000 * d / hz / f
    printf "%.1f frames/s, %.2f ms CPU a frame, so %.1f%% at 60 frames/s", f / w, ms, ms * 6 }')
  echo "$1: $pct% of one core over ${wall} s; $frames"
  echo "  threads: ${threads:-none}; the X server: $xpct%"
}

cd "$data"
preload=
[ -f "$work/present_counter.so" ] && preload=$work/present_counter.so
KX_PRESENT_COUNT=$work/presents LD_PRELOAD=$preload SDL_AUDIODRIVER=${KX_AUDIO:-dummy} "$KX_GAME" >"$work/game.log" 2>&1 &
game_pid=$!
win=$(x11_wait_window 15) || fail "the game's window did not appear"
x11_wait_size "$win" 1024 768 5 || fail "the window did not go full screen"
geo=$(x11_geometry "$win")
x11_wait_menu "$work/menu.png" "$geo" 20 || fail "no menu on screen"
sleep 2

measure menu
menu_pct=$pct

xdotool key Return
sleep 1
# Ticks per second: a held key moves the paddle 7.5 frame pixels a tick (dw/800 on the screen).
import -window root "$work/p0.png"
x0=$(x11_paddle_left "$work/p0.png" "$geo")
x11_hold Right 1.0
import -window root "$work/p1.png"
x1=$(x11_paddle_left "$work/p1.png" "$geo")
rate=$(awk -v a="$x0" -v b="$x1" -v w="$(echo "$geo" | awk '{print $3}')" \
  'BEGIN { if (a < 0 || b < 0) print "?"; else printf "%.0f", (b - a) * 800 / w / 7.5 / 1.0 }')
x11_hold space 0.3
sleep 1
measure "play"
play_pct=$pct
echo "ticks per second in play (paddle travel while Right was held 1 s): about $rate (60 expected;" \
  "the paddle stops at the right edge after 88 ticks)"

xdotool key Escape
sleep 1
xdotool key Escape
x11_wait_exit "$game_pid" 10 || fail "the game did not end on Escape"
game_pid=

over=0
for p in "$menu_pct" "$play_pct"; do
  awk -v p="$p" -v t="$target" 'BEGIN { exit !(p > t) }' && over=1
done
if [ $over -eq 1 ]; then
  echo "cpu_use: above the target of $target% of one core"
  exit 1
fi
echo "cpu_use: within the target of $target% of one core"
