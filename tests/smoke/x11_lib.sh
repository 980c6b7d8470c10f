#!/usr/bin/env bash
# Shared helpers for the scripts that drive the real game in an X server (scripts/smoke.sh,
# scripts/cpu_use.sh, scripts/audio_check.sh). Sourced, not run. Every wait here is bounded.

# The build directory's game, or a clear error.
x11_find_game() {  # build-dir -> sets KX_BUILD (absolute), KX_GAME, KX_DATA
  KX_BUILD=$(cd "$1" 2>/dev/null && pwd) || { echo "no build directory: $1" >&2; return 1; }
  KX_GAME=$KX_BUILD/kobaltix
  KX_DATA=$KX_BUILD/data
  [ -x "$KX_GAME" ] || { echo "no game program at $KX_GAME (build the kobaltix target)" >&2; return 1; }
  [ -d "$KX_DATA/levels" ] || { echo "no data directory at $KX_DATA" >&2; return 1; }
}

# Fails with the list of missing commands.
x11_need() {
  local missing=() c
  for c in "$@"; do command -v "$c" >/dev/null 2>&1 || missing+=("$c"); done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "missing commands: ${missing[*]} (scripts/deps.sh test installs them)" >&2
  return 1
}

# A private copy of the data directory, so a run never rewrites the build's record file.
x11_copy_data() {  # dest
  mkdir -p "$1" && cp -R "$KX_DATA/." "$1/"
}

# The id of the game's top-level window (its caption starts with "Kobaltix" or "KobalTix"), or
# nothing.
x11_game_window() {
  xwininfo -root -children 2>/dev/null |
    awk 'tolower($0) ~ /"kobaltix/ && !found { print $1; found = 1 }'
}

# Waits up to `secs` seconds for the game's window; prints its id.
x11_wait_window() {  # secs
  local end=$((SECONDS + $1)) w
  while [ $SECONDS -lt $end ]; do
    w=$(x11_game_window)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.2
  done
  return 1
}

# "x y w h" of a window, in root coordinates.
x11_geometry() {  # window-id
  xwininfo -id "$1" 2>/dev/null | awk '
    /Absolute upper-left X:/ { x = $4 } /Absolute upper-left Y:/ { y = $4 }
    /^ *Width:/ { w = $2 } /^ *Height:/ { h = $2 }
    END { if (w != "") print x, y, w, h }'
}

# Waits up to `secs` seconds until the window is w x h.
x11_wait_size() {  # window-id w h secs
  local end=$((SECONDS + $4)) g
  while [ $SECONDS -lt $end ]; do
    g=$(x11_geometry "$1")
    [ -n "$g" ] && [ "$(echo "$g" | awk '{print $3 "x" $4}')" = "$2x$3" ] && return 0
    sleep 0.2
  done
  return 1
}

# Screen points of points of the 800x600 frame ("fx fy" lines on stdin), letterboxed into the
# window "x y w h" the way the video driver does: the largest rectangle of the frame's aspect that
# fits, centred.
x11_map() {  # "x y w h" < "fx fy" lines -> "sx sy" lines
  awk -v geo="$1" 'BEGIN {
      split(geo, g, " "); wx = g[1]; wy = g[2]; ow = g[3]; oh = g[4]
      dw = ow; dh = oh; dx = 0; dy = 0
      if (ow * 600 > oh * 800) { dw = int(oh * 800 / 600); dx = int((ow - dw) / 2) }
      else { dh = int(ow * 600 / 800); dy = int((oh - dh) / 2) } }
    { printf "%d %d\n", wx + dx + int($1 * dw / 800), wy + dy + int($2 * dh / 600) }'
}

# "r g b" (0..255) of screen pixels of a screenshot ("x y" lines on stdin), in one pass.
x11_pixels() {  # png < "x y" lines -> "r g b" lines
  local fmt="" x y
  while read -r x y; do
    fmt+="%[fx:round(255*p{$x,$y}.r)] %[fx:round(255*p{$x,$y}.g)] %[fx:round(255*p{$x,$y}.b)]\n"
  done
  [ -n "$fmt" ] || return 0
  convert "$1" -format "$fmt" info:
}

# The number of pixels in a rectangle of a screenshot that satisfy an awk condition on r, g, b.
x11_count() {  # png x y w h condition
  convert "$1" -crop "$4x$5+$2+$3" +repage -depth 8 rgb:- | od -An -v -tu1 -w3 |
    awk "{ r = \$1; g = \$2; b = \$3; if ($6) n++ } END { print n + 0 }"
}

# Red pixels of the heading "Рекорды:" (frame 550,58; 12-point text, about 70x20).
x11_heading_red() {  # shot geo
  local x0 y0 x1 y1
  read -r x0 y0 x1 y1 < <(printf '546 56\n626 80\n' | x11_map "$2" | paste -d' ' - -)
  x11_count "$1" "$x0" "$y0" $((x1 - x0)) $((y1 - y0)) 'r >= 150 && g <= 90 && b <= 90'
}
# The leftmost screen column where the paddle's row (frame y 537) is bright.
x11_paddle_left() {  # shot geo
  local x0 y x1 y1
  read -r x0 y x1 y1 < <(printf '0 537\n800 537\n' | x11_map "$2" | paste -d' ' - -)
  convert "$1" -crop "$((x1 - x0))x1+$x0+$y" +repage -depth 8 rgb:- | od -An -v -tu1 -w3 |
    awk -v x0="$x0" '{ m = $1; if ($2 > m) m = $2; if ($3 > m) m = $3
      if (m >= 150 && left == "") left = x0 + NR - 1 } END { print (left == "" ? -1 : left) }'
}
# Waits up to `secs` seconds for the menu (its red record heading), taking screenshots to `png`.
x11_wait_menu() {  # png geo secs
  local end=$((SECONDS + $3))
  while :; do
    import -window root "$1" 2>/dev/null && [ "$(x11_heading_red "$1" "$2")" -ge 15 ] && return 0
    [ $SECONDS -ge $end ] && return 1
    sleep 0.3
  done
}

# Mean brightness (0..1) of a screenshot.
x11_mean() {  # png
  convert "$1" -colorspace Gray -format '%[fx:mean]' info:
}

# Holds a key down for `secs` seconds (xdotool's taps are too short for a per-frame poll).
x11_hold() {  # key secs
  xdotool keydown "$1"
  sleep "$2"
  xdotool keyup "$1"
}

# Waits up to `secs` seconds for a process to end; its status is then in X11_STATUS.
# shellcheck disable=SC2034  # X11_STATUS is read by the callers
x11_wait_exit() {  # pid secs
  local end=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.1
  done
  X11_STATUS=0
  wait "$1" || X11_STATUS=$?
  return 0
}

# CPU time (user + system) that a process has used so far, in clock ticks.
x11_cpu_ticks() {  # pid
  # Fields after the command name (which may hold spaces) are counted from the closing bracket.
  sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# Runs "<script> --in-x <arg> <art>" inside a fresh virtual X server, stopped after 60 s; on a
# failure it says so and where the screenshots are, and returns 1.
#   x11_run_in_xvfb <name> <script> <arg> <art>
x11_run_in_xvfb() {
  local name=$1 script=$2 arg=$3 art=$4 status=0
  KX_GAME=$KX_GAME timeout -k 5 60 \
    xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
    "$script" --in-x "$arg" "$art" || status=$?
  if [ $status -eq 124 ] || [ $status -eq 137 ]; then
    echo "$name: FAILED: the run took longer than 60 s and was stopped" >&2
  fi
  if [ $status -ne 0 ]; then
    echo "$name: screenshots and the game's output are in $art" >&2
    return 1
  fi
}
