#!/usr/bin/env bash
# The real game losing its X server: in play, and with the score-entry window open. Each try
# starts a virtual X server of its own, brings the game there, kills the server and times how
# long the game takes to end by itself; it must end within 2 s with status 1 and a message, with
# the record table whole (ten lines) and as it was.
#
#   scripts/display_loss.sh BUILD_DIR [TRIES] [GAME]
# TRIES (default 20) runs per case; GAME defaults to BUILD_DIR/kobaltix (e.g. a sanitizer build
# of the same program). Prints one line per try and the totals; exit status 1 on any miss. With
# SHOTS=DIR a screenshot of each try is taken just before its X server is killed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/smoke/x11_lib.sh
. "$here/../tests/smoke/x11_lib.sh"
x11_find_game "${1:?build dir}" || exit 1
tries=${2:-20}
game=${3:-$KX_GAME}
game=$(cd "$(dirname "$game")" && pwd)/$(basename "$game")
x11_need Xvfb xdotool xwininfo || exit 1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
x11_copy_data "$work/data"
table=$'a\r\n0\r\nb\r\n0\r\nc\r\n0\r\nd\r\n0\r\ne\r\n0\r\n'

ok=0 missed=0 next=700
one_try() {  # case try
  local case=$1 try=$2 n xpid gpid start ended status rc=0 msg lines
  # A display number of its own for every try: a server just killed never answers for the next.
  n=$next
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  next=$((n + 1))
  Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
  xpid=$!
  local end=$((SECONDS + 10))
  until DISPLAY=":$n" xdpyinfo >/dev/null 2>&1; do
    [ $SECONDS -ge $end ] && { echo "$case $try: the X server did not start"; kill -9 $xpid; return 1; }
    sleep 0.1
  done
  printf '%s' "$table" >"$work/data/rec.kbx"
  (cd "$work/data" && DISPLAY=":$n" exec "$game" --window 2>"$work/err") &
  gpid=$!
  export DISPLAY=":$n"
  if ! x11_wait_window 20 >/dev/null; then
    rc=0
    kill -0 $gpid 2>/dev/null && kill -9 $gpid
    wait $gpid || rc=$?
    kill -9 $xpid
    wait $xpid 2>/dev/null
    rm -f "/tmp/.X11-unix/X$n" "/tmp/.X$n-lock"
    missed=$((missed + 1))
    echo "$case $try: MISSED, no window (the game ended with status $rc): $(head -c 300 "$work/err")"
    return 1
  fi
  sleep 1.5  # the loading
  xdotool key Return; sleep 0.5
  xdotool key space; sleep 0.8
  if [ "$case" = entry ]; then
    # The cheat keys clear the level for a score; Escape ends the game: the score entry opens.
    xdotool key 0; sleep 0.3; xdotool key 9; sleep 1.5; xdotool key 0; sleep 0.5
    xdotool key Escape; sleep 1.2
  fi
  [ -n "${SHOTS:-}" ] && import -window root "$SHOTS/$case-$try.png"
  unset DISPLAY
  start=$(date +%s%N)
  kill -9 $xpid
  wait $xpid 2>/dev/null
  ended=""
  while [ $(( ($(date +%s%N) - start) / 1000000 )) -lt 5000 ]; do
    if ! kill -0 $gpid 2>/dev/null; then ended=$(( ($(date +%s%N) - start) / 1000000 )); break; fi
    sleep 0.02
  done
  rc=0
  if [ -z "$ended" ]; then
    kill -9 $gpid 2>/dev/null
    wait $gpid 2>/dev/null
    status="still running after 5 s"
  else
    wait $gpid; rc=$?
    status="ended after ${ended} ms, status $rc"
  fi
  msg=$(grep -m1 "display" "$work/err" || true)
  lines=$(tr -d '\r' <"$work/data/rec.kbx" | wc -l)
  rm -f /tmp/.X11-unix/X$n /tmp/.X$n-lock
  if [ -n "$ended" ] && [ "$ended" -le 2000 ] && [ $rc -eq 1 ] && [ -n "$msg" ] && [ "$lines" -eq 10 ]; then
    ok=$((ok + 1)); echo "$case $try: ok, $status: $msg"
  else
    missed=$((missed + 1)); echo "$case $try: MISSED, $status, table lines $lines: ${msg:-no message}"
  fi
}

for case in play entry; do
  for try in $(seq 1 "$tries"); do one_try "$case" "$try"; done
done
echo "display_loss: $ok of $((ok + missed)) tries ended within 2 s with status 1 and a message"
[ $missed -eq 0 ]
