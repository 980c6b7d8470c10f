#!/usr/bin/env bash
# Records what the real game plays, through SDL's disk audio driver, and measures it with sox.
# Two runs in a virtual X server: one with the music moved aside (the effects alone), one with it.
# Each run waits in the menu, starts a game, launches the ball and plays for `seconds` (default
# 12), launching again whenever a ball is lost (and starting a new game if all were lost); then
# in a fresh game the cheat keys 0 and 9 break all 24 bricks at a known moment. The raw output (44100 Hz,
# signed 16-bit, stereo, as the mixer opens the device) is converted to WAV and measured overall
# and per half second.
#
#   scripts/audio_check.sh [build-dir] [seconds]     (defaults: build, 12)
#
# Checks: without music the menu is silent, play is heard, and once the cheat has broken every
# brick (the level-intro screen shows) the time since the key is loud; with music the menu
# already plays. The
# recordings, the screenshots and the figures stay in <build-dir>/audio-artifacts/.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/smoke/x11_lib.sh
. "$here/../tests/smoke/x11_lib.sh"

if [ "${1:-}" != --in-x ]; then
  x11_need xvfb-run xauth xdotool xwininfo convert import od awk timeout sox || exit 2
  x11_find_game "${1:-$here/../build}" || exit 2
  secs=${2:-12}
  art=$KX_BUILD/audio-artifacts
  rm -rf "$art"
  mkdir -p "$art"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  status=0
  for mode in effects music; do
    rm -rf "$work/data"
    x11_copy_data "$work/data"
    [ "$mode" = effects ] && mv "$work/data/music" "$work/music-aside"
    KX_GAME=$KX_GAME timeout -k 5 $((secs + 60)) \
      xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
      "$0" --in-x "$work/data" "$art" "$secs" "$mode" || status=1
    rm -rf "$work/music-aside"
  done
  [ $status -eq 0 ] && echo "audio_check: ok" || echo "audio_check: FAILED (see $art)" >&2
  exit $status
fi

# ---- inside the X server ------------------------------------------------------------------------
data=$2
art=$3
secs=$4
mode=$5
raw=$art/$mode.raw
wav=$art/$mode.wav
rate=44100
bytes_per_second=$((rate * 2 * 2))
game_pid=
trap '[ -n "$game_pid" ] && kill -9 "$game_pid" 2>/dev/null || true' EXIT
fail() {
  echo "audio_check ($mode): FAILED: $*" >&2
  tail -n 20 "$art/$mode.log" >&2 || true
  exit 1
}
# Seconds of sound the driver has written so far.
audio_pos() { awk -v b="$(stat -c %s "$raw" 2>/dev/null || echo 0)" -v r=$bytes_per_second 'BEGIN { printf "%.2f", b / r }'; }

# Level 1's 24 brick centres on the frame (levels/lev1.lev: columns 3..10, rows 2..4).
bricks_left() {  # shot geo
  for r in 2 3 4; do for c in 3 4 5 6 7 8 9 10; do echo "$((125 + 50 * c)) $((110 + 20 * r))"; done; done |
    x11_map "$2" | x11_pixels "$1" |
    awk '{ m = $1; if ($2 > m) m = $2; if ($3 > m) m = $3; if (m >= 100) n++ } END { print n + 0 }'
}

# Pixels (of 100) that are light grey in a patch of the frame with no bricks (20,300)-(220,400):
# none on the dark play field, about a quarter on the cross-hatched level-intro screen that comes
# once every brick of a level is broken.
intro_light() {  # shot geo
  local x0 y0 x1 y1
  read -r x0 y0 x1 y1 < <(printf '20 300\n220 400\n' | x11_map "$2" | paste -d' ' - -)
  x11_count "$1" "$x0" "$y0" $((x1 - x0)) $((y1 - y0)) 'r >= 120 && g >= 120 && b >= 120' |
    awk -v n=$(((x1 - x0) * (y1 - y0))) '{ printf "%d", 100 * $1 / n }'
}

cd "$data"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$raw "$KX_GAME" >"$art/$mode.log" 2>&1 &
game_pid=$!
win=$(x11_wait_window 15) || fail "the game's window did not appear"
x11_wait_size "$win" 1024 768 5 || fail "the window did not go full screen"
geo=$(x11_geometry "$win")
x11_wait_menu "$art/$mode-menu.png" "$geo" 20 || fail "no menu on screen"
[ -s "$raw" ] || fail "the disk audio driver wrote nothing to $raw (SDL without its disk driver?)"
sleep 2
t_enter=$(audio_pos)
xdotool key Return
sleep 1
import -window root "$art/$mode-start.png"
start_bricks=$(bricks_left "$art/$mode-start.png" "$geo")
t_launch=$(audio_pos)
x11_hold space 0.3
# Play: launch again every few seconds (a lost ball waits on the paddle); a game that ended
# (the menu is back) is started again.
in_menu() { [ "$(x11_heading_red "$1" "$geo")" -ge 15 ]; }
games=1
end=$((SECONDS + secs))
while [ $SECONDS -lt $end ]; do
  sleep 2
  import -window root "$art/$mode-play.png"
  if in_menu "$art/$mode-play.png"; then
    xdotool key Return
    games=$((games + 1))
    sleep 0.5
  fi
  x11_hold space 0.2
done
t_end=$(audio_pos)
# A fresh game for the cheat, so that no lost last ball ends it meanwhile: Escape ends the game in
# play (the menu is back), Enter starts another whose ball waits on the paddle for 5 s.
import -window root "$art/$mode-end.png"
if ! in_menu "$art/$mode-end.png"; then
  xdotool key Escape
  x11_wait_menu "$art/$mode-end.png" "$geo" 5 || fail "Escape in play did not return to the menu"
fi
xdotool key Return
games=$((games + 1))
sleep 1
import -window root "$art/$mode-fresh.png"
end_bricks=$(bricks_left "$art/$mode-fresh.png" "$geo")
[ "$end_bricks" -ge 22 ] || fail "Enter did not start a fresh level 1 ($end_bricks bricks seen)"
# The cheat: 0 switches cheats on, 9 breaks every brick of the level in the next step.
t_cheat=$(audio_pos)
xdotool key 0
sleep 0.2
xdotool key 9
sleep 1.5
import -window root "$art/$mode-cheat.png"
t_after=$(audio_pos)
cheat_light=$(intro_light "$art/$mode-cheat.png" "$geo")
xdotool key Escape
sleep 1
xdotool key Escape
x11_wait_exit "$game_pid" 10 || fail "the game did not end on Escape"
game_pid=

sox -t raw -r $rate -e signed -b 16 -c 2 "$raw" "$wav" || fail "sox could not read $raw"
total=$(soxi -D "$wav")
echo "audio_check ($mode): $total s recorded; Enter at $t_enter s, launch at $t_launch s," \
  "end of play at $t_end s ($games game(s)), cheat at $t_cheat s;" \
  "level 1 bricks on screen: $start_bricks at the start, $end_bricks in the fresh game before" \
  "the cheat; after it $cheat_light% of a brick-free patch is light (the level-intro screen)"

# Overall figures, then per half second: RMS and peak amplitude (full scale 1).
stat_of() { sox "$wav" -n trim "$1" "$2" stat 2>&1 | awk -F: '
  /RMS +amplitude/ { gsub(/ /, "", $2); rms = $2 } /Maximum amplitude/ { gsub(/ /, "", $2); mx = $2 }
  END { print rms + 0, mx + 0 }'; }
read -r rms_all max_all < <(stat_of 0 "$total")
echo "  overall: RMS $rms_all, peak $max_all"
read -r rms_menu max_menu < <(stat_of 0.5 "$(awk -v a="$t_enter" 'BEGIN { print a - 0.5 }')")
echo "  menu (0.5 s .. Enter): RMS $rms_menu, peak $max_menu"
windows=$art/$mode-windows.txt
: >"$windows"
t=0
while awk -v t="$t" -v T="$total" 'BEGIN { exit !(t + 0.5 <= T) }'; do
  read -r r m < <(stat_of "$t" 0.5)
  echo "$t $r $m" >>"$windows"
  t=$(awk -v t="$t" 'BEGIN { print t + 0.5 }')
done
loud=$(awk -v a="$t_launch" -v b="$t_end" '$1 >= a && $1 < b && $3 >= 0.02 { n++ } END { print n + 0 }' "$windows")
echo "  half-second windows during play with a peak of at least 0.02: $loud"
read -r rms_cheat max_cheat < <(stat_of "$t_cheat" "$(awk -v a="$t_cheat" -v b="$t_after" 'BEGIN { print b - a }')")
echo "  from the cheat key to $t_after s: RMS $rms_cheat, peak $max_cheat"
awk -v a="$t_launch" -v b="$t_after" '$1 >= a - 1 && $1 < b + 0.5 {
    printf "    %5.1f s  RMS %.4f  peak %.4f%s\n", $1, $2, $3, ($3 >= 0.02 ? "  *" : "") }' "$windows"

if [ "$mode" = effects ]; then
  awk -v m="$max_menu" 'BEGIN { exit !(m < 0.001) }' ||
    fail "the menu is not silent without music (peak $max_menu)"
  [ "$loud" -ge 1 ] || fail "the recording is silent during $secs s of play"
  [ "$cheat_light" -ge 15 ] ||
    fail "the cheat did not break level 1's bricks (no level-intro screen: $cheat_light% light)"
  awk -v m="$max_cheat" 'BEGIN { exit !(m >= 0.1) }' ||
    fail "level 1's bricks broke at once but the recording stays quiet (peak $max_cheat)"
else
  awk -v r="$rms_menu" 'BEGIN { exit !(r >= 0.005) }' ||
    fail "the music does not play in the menu (RMS $rms_menu)"
fi
echo "audio_check ($mode): ok"
