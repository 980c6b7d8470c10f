#!/usr/bin/env bash
# The installed game, checked the way a player and a distribution meet it:
#  1. `make install` into a staging folder (DESTDIR, PREFIX=/usr) and the tree it writes: every
#     file in place, the desktop entry (desktop-file-validate), the AppStream metadata
#     (appstreamcli validate), the manual (man -l), the icons (decoded at their sizes);
#  2. the installed program started from / under Xvfb with HOME a fresh folder: the menu appears,
#     the player's table is made from the shipped one, a score entry (cheats break the bricks)
#     lands in $HOME/.local/share/kobaltix/rec.kbx, the installed data stays unchanged, and a
#     second player's HOME sees the shipped table;
#  3. `make uninstall` removes every installed file;
#  4. `make package`: the .deb holds the same files, and lintian reports no errors (warnings are
#     printed).
#
#   scripts/install_check.sh [build-dir]        (default: build)
#
# Screenshots, the game's output and lintian's report are kept in <build-dir>/install-artifacts/.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../tests/smoke/x11_lib.sh
. "$here/../tests/smoke/x11_lib.sh"

fail() {
  echo "install_check: FAILED: $*" >&2
  if [ -n "${art:-}" ] && [ -s "$art/game.log" ]; then
    echo "--- the game's output:" >&2
    tail -n 20 "$art/game.log" >&2
  fi
  exit 1
}

# ---- inside the X server: the installed program, two players -----------------------------------
if [ "${1:-}" = --in-x ]; then
  game=$2 share=$3 home1=$4 home2=$5 art=$6
  game_pid=
  cd /
  trap 'if [ -n "$game_pid" ] && kill -0 "$game_pid" 2>/dev/null; then kill -9 "$game_pid"; fi' EXIT
  start() {  # home log
    env -u XDG_DATA_HOME HOME="$1" SDL_AUDIODRIVER=dummy "$game" >"$art/$2" 2>&1 &
    game_pid=$!
    win=$(x11_wait_window 15) || fail "the installed program's window did not appear within 15 s"
    x11_wait_size "$win" 1024 768 5 || fail "the window is $(x11_geometry "$win"), not full screen"
    geo=$(x11_geometry "$win")
  }
  finish() {  # what
    xdotool key Escape
    x11_wait_exit "$game_pid" 5 || fail "$1: Escape in the menu did not end the program"
    game_pid=
    [ "$X11_STATUS" -eq 0 ] || fail "$1: the program ended with status $X11_STATUS"
  }
  table1=$home1/.local/share/kobaltix/rec.kbx
  table2=$home2/.local/share/kobaltix/rec.kbx

  # The first player: the menu, then the table made from the shipped one.
  start "$home1" game.log
  x11_wait_menu "$art/menu-first-player.png" "$geo" 15 || fail "no menu from the installed program"
  cmp -s "$table1" "$share/rec.kbx" || fail "the menu did not make $table1 from the shipped table"
  echo "install_check: the installed program shows its menu; $table1 made from the shipped table"

  # A game that beats the table: the cheat keys "0" then "9" break every brick of a level; three
  # levels score more than the shipped fifth place. Escape ends the game; the entry window opens.
  xdotool key Return
  sleep 1
  xdotool key 0
  for level in 1 2 3; do
    xdotool key space
    sleep 0.5
    xdotool key 9
    sleep 2.5
    if [ $level -lt 3 ]; then
      xdotool key Return
      sleep 1
    fi
  done
  import -window root "$art/played.png"
  xdotool key Escape
  sleep 2
  import -window root "$art/score-entry.png"
  xdotool type --delay 80 Tester
  sleep 0.5
  read -r okx oky < <(echo "485 321" | x11_map "$geo")
  xdotool mousemove "$okx" "$oky" click 1
  end=$((SECONDS + 5))
  until grep -q Tester "$table1" 2>/dev/null; do
    [ $SECONDS -ge $end ] && fail "the score entry did not reach $table1"
    sleep 0.2
  done
  x11_wait_menu "$art/menu-after-entry.png" "$geo" 5 || fail "no menu after the score entry"
  finish "first player"
  echo "install_check: the score entry wrote $table1"

  # The second player sees the shipped table, not the first player's.
  start "$home2" game2.log
  x11_wait_menu "$art/menu-second-player.png" "$geo" 15 || fail "no menu for the second player"
  finish "second player"
  cmp -s "$table2" "$share/rec.kbx" || fail "the second player's table is not the shipped one"
  echo "install_check: a second HOME sees the shipped table"
  exit 0
fi

# ---- outside -------------------------------------------------------------------------------------
root=$(cd "$here/.." && pwd)
build=$(mkdir -p "${1:-$root/build}" && cd "${1:-$root/build}" && pwd)
x11_need xvfb-run xauth xdotool xwininfo convert import identify desktop-file-validate appstreamcli \
  man lintian dpkg-deb timeout || exit 2
art=$build/install-artifacts
rm -rf "$art"
mkdir -p "$art"
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
stage=$work/stage
jobs=${JOBS:-$(nproc)}

# 1. The staged install and its tree.
make -s -C "$root" install BUILD="$build" DESTDIR="$stage" PREFIX=/usr JOBS="$jobs" >"$art/install.log"
usr=$stage/usr
want=(bin/kobaltix share/applications/kobaltix.desktop
      share/metainfo/org.kobaltix.kobaltix.metainfo.xml share/man/man6/kobaltix.6.gz
      share/doc/kobaltix/copyright share/doc/kobaltix/changelog.gz
      share/kobaltix/rec.kbx share/kobaltix/levels/lev1.lev share/kobaltix/levels/lev20.lev
      share/kobaltix/music/music.wav share/kobaltix/fon/2.bmp)
sizes=(16 22 24 32 48 64 128 256 512)
for n in "${sizes[@]}"; do want+=("share/icons/hicolor/${n}x$n/apps/kobaltix.png"); done
for f in "${want[@]}"; do [ -f "$usr/$f" ] || fail "the install has no $f"; done
[ -x "$usr/bin/kobaltix" ] || fail "bin/kobaltix is not executable"
(cd "$stage" && find . -type f | sed 's|^\.||' | sort) >"$art/installed-files.txt"
echo "install_check: $(wc -l <"$art/installed-files.txt") files installed"
desktop-file-validate "$usr/share/applications/kobaltix.desktop" || fail "desktop-file-validate"
grep -qx 'Categories=Game;ArcadeGame;' "$usr/share/applications/kobaltix.desktop" ||
  fail "the desktop entry's categories are not Game;ArcadeGame;"
grep -qx 'Exec=/usr/bin/kobaltix' "$usr/share/applications/kobaltix.desktop" ||
  fail "the desktop entry does not start the installed program"
appstreamcli validate --no-net "$usr/share/metainfo/org.kobaltix.kobaltix.metainfo.xml" ||
  fail "appstreamcli validate"
MANWIDTH=80 man --warnings -l "$usr/share/man/man6/kobaltix.6.gz" >"$art/man.txt" 2>"$art/man.err" ||
  fail "man -l: $(cat "$art/man.err")"
[ ! -s "$art/man.err" ] || fail "man -l warns: $(cat "$art/man.err")"
grep -q 'kobaltix - brick-breaking arcade game' "$art/man.txt" || fail "the manual has no NAME line"
grep -q -- '--window' "$art/man.txt" || fail "the manual does not describe --window"
for n in "${sizes[@]}"; do
  got=$(identify -format '%w %h %[channels]' "$usr/share/icons/hicolor/${n}x$n/apps/kobaltix.png") ||
    fail "the ${n}x$n icon does not decode"
  [ "$got" = "$n $n srgba" ] || fail "the ${n}x$n icon is $got"
done
echo "install_check: desktop entry, AppStream metadata, manual and icons valid"

# 2. The installed program, started from / by two players with fresh homes.
share=$usr/share/kobaltix
snapshot() { (cd "$share" && find . -printf '%p %s %m %T@\n' | sort && find . -type f -exec md5sum {} + | sort); }
snapshot >"$work/share-before"
chmod -R a-w "$share"  # as a player's read-only install (root ignores it: the choice must not rely on it)
mkdir -p "$work/home1" "$work/home2"
status=0
timeout -k 5 120 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  "$0" --in-x "$usr/bin/kobaltix" "$share" "$work/home1" "$work/home2" "$art" || status=$?
chmod -R u+w "$share"
[ $status -eq 0 ] || fail "the installed program (screenshots in $art)"
snapshot >"$work/share-after"
diff "$work/share-before" "$work/share-after" >"$art/share.diff" ||
  fail "the installed data directory changed: $(head -5 "$art/share.diff")"
echo "install_check: the installed data directory is unchanged"

# 3. Uninstall removes every installed file.
make -s -C "$root" uninstall BUILD="$build" DESTDIR="$stage" >"$art/uninstall.log"
left=$(cd "$stage" && find . -type f)
[ -z "$left" ] || fail "make uninstall left: $left"
[ ! -e "$share" ] || fail "make uninstall left the folder $share"
echo "install_check: make uninstall removed every installed file"

# 4. The Debian package: the same files; lintian without errors.
deb_build=${DEB_BUILD:-$root/build-deb}
make -s -C "$root" package DEB_BUILD="$deb_build" JOBS="$jobs" >"$art/package.log"
deb=$(ls "$deb_build"/kobaltix_*.deb)
# (The package keeps the program in /usr/games, as Debian's games section wants.)
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort >"$art/deb-files.txt"
sed 's|^/usr/bin/kobaltix$|/usr/games/kobaltix|' "$art/installed-files.txt" | sort |
  diff - "$art/deb-files.txt" >"$art/deb-files.diff" ||
  fail "the package's files differ from the install's: $(head -5 "$art/deb-files.diff")"
dpkg-deb -x "$deb" "$work/deb"
grep -qx 'Exec=/usr/games/kobaltix' "$work/deb/usr/share/applications/kobaltix.desktop" ||
  fail "the package's menu entry does not start /usr/games/kobaltix"
dpkg-deb -f "$deb" Depends >"$art/deb-depends.txt"
lintian --tag-display-limit 0 "$deb" >"$art/lintian.txt" 2>&1 || true
sed 's/^/  /' "$art/lintian.txt"
if grep -q '^E:' "$art/lintian.txt"; then fail "lintian reports errors on $deb"; fi
echo "install_check: $(basename "$deb") ($(stat -c %s "$deb") bytes), depends: $(cat "$art/deb-depends.txt")"
echo "install_check: ok"
