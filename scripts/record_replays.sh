#!/bin/bash
# Records the games of tests/replays/ by playing the real program on a virtual X screen with
# xdotool, each in a private copy of the data and its own $XDG_DATA_HOME, and copies each game's
# replay there. Re-recording them is a deliberate step (after a change to the game's rules or to
# the replay format), as re-drawing the reference frames is: run it, check that every new replay
# verifies, look at what changed, commit.
#   scripts/record_replays.sh BUILD_DIR [SCENARIO]...
# Without scenarios every one is recorded.
set -euo pipefail

# The keys of each game, run inside the X server with the game's window focused. The game runs
# full screen on a 1024 x 768 screen.
play_level_cleared() {  # the cheat keys break the first level's bricks; the next level is played
  xdotool key Return; sleep 1
  xdotool key space; sleep 2
  xdotool keydown Left; sleep 1; xdotool keyup Left
  xdotool key 0; sleep 0.3; xdotool key 9; sleep 2; xdotool key 0; sleep 1
  xdotool key Return; sleep 1
  xdotool key space; sleep 1
  xdotool keydown Right; sleep 1.5; xdotool keyup Right; sleep 2
  xdotool key Escape; sleep 2
}
play_game_over_record() {  # three lives lost with the paddle away from the balls; a record
  xdotool key Return; sleep 1
  xdotool key space; sleep 1
  xdotool keydown Right; sleep 45; xdotool keyup Right
  sleep 2
  xdotool type --delay 120 "Replay"; sleep 1
  xdotool mousemove 621 411; sleep 0.5; xdotool click 1; sleep 2
}
play_focus_pause() {  # the window loses the focus for two seconds in the middle of the game
  xdotool key Return; sleep 1
  xdotool key space; sleep 1
  xdotool keydown Left; sleep 1; xdotool keyup Left; sleep 1
  xmessage -geometry +0+0 "elsewhere" & local other=$!
  sleep 1
  xdotool search --name "xmessage" windowfocus 2>/dev/null || true
  sleep 2
  kill $other 2>/dev/null || true
  xdotool windowfocus "$KX_WINDOW" 2>/dev/null || true; sleep 1
  xdotool keydown Right; sleep 1; xdotool keyup Right; sleep 1
  xdotool key Escape; sleep 2
}
play_many_lives() {  # a hundred lives from the console, the paddle swept for a minute
  xdotool key Return; sleep 1
  xdotool key grave; sleep 0.5
  xdotool type --delay 50 "bluewhalesix"; xdotool key Escape; sleep 0.5  # Escape confirms
  xdotool key space; sleep 0.5
  for _ in $(seq 1 20); do
    xdotool keydown Left; sleep 1.4; xdotool keyup Left
    xdotool key space
    xdotool keydown Right; sleep 1.4; xdotool keyup Right
  done
  xdotool key Escape; sleep 2
}
# Inside the X server: the game, the keys of one scenario, the end.
if [ "${1:-}" = --in-x ]; then
  "$2" 2> stderr.txt &
  pid=$!
  sleep 4
  KX_WINDOW=$(xdotool search --name "KobalTix" | head -1 || true)
  [ -n "$KX_WINDOW" ] && xdotool windowfocus "$KX_WINDOW" 2>/dev/null || true
  "play_$3"
  xdotool key Escape; sleep 1
  kill $pid 2>/dev/null || true
  wait $pid 2>/dev/null || true
  exit 0
fi

build=$(cd "${1:?build dir}" && pwd)
shift

script=$(cd "$(dirname "$0")" && pwd)/$(basename "$0")
dest=$(cd "$(dirname "$0")/.." && pwd)/tests/replays
scenarios=("$@")
[ ${#scenarios[@]} -gt 0 ] ||
  scenarios=(level_cleared game_over_record focus_pause many_lives scripted_all_levels)
for s in "${scenarios[@]}"; do
  if [ "$s" = scripted_all_levels ]; then
    # Not played under X: the game's recorder on the headless twin, with a scripted player that
    # follows the lowest ball through all twenty levels (several balls and the gun come with them).
    (cd "$build/data" && "$build/bench/bench_replay_bench" --hour-replay "$dest/$s.kbr" 60)
    (cd "$build/data" && "$build/kobaltix" --verify-replay "$dest/$s.kbr" | sed "s/^/$s: /")
    continue
  fi
  declare -F "play_$s" >/dev/null || { echo "no scenario $s" >&2; exit 2; }
  work=$(mktemp -d)
  cp -r "$build/data/." "$work/"
  if [ "$s" = game_over_record ]; then
    printf 'a\r\n0\r\nb\r\n0\r\nc\r\n0\r\nd\r\n0\r\ne\r\n0\r\n' > "$work/rec.kbx"
  else  # a table no short game beats: no score entry
    printf 'a\r\n999999\r\nb\r\n999999\r\nc\r\n999999\r\nd\r\n999999\r\ne\r\n999999\r\n' > "$work/rec.kbx"
  fi
  (
    cd "$work"
    XDG_DATA_HOME=$work/xdg timeout -k 5 180 \
      xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$script" --in-x "$build/kobaltix" "$s" || true
  )
  made=$(ls "$work"/xdg/kobaltix/replays/*.kbr 2>/dev/null | tail -1 || true)
  if [ -z "$made" ]; then
    echo "$s: no replay was written (the game's output is in $work/stderr.txt)" >&2
    exit 1
  fi
  cp "$made" "$dest/$s.kbr"
  (cd "$build/data" && "$build/kobaltix" --verify-replay "$dest/$s.kbr" | sed "s/^/$s: /")
  rm -rf "$work"
done
