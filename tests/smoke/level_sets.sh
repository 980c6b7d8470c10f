#!/usr/bin/env bash
# The real program's level-set options where they end before the window opens: a set that does
# not exist, a name that is no name, --edit with --levels; and the set that --edit would make is
# not made by --levels.
#
#   tests/smoke/level_sets.sh path/to/kobaltix path/to/data
set -uo pipefail
game=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
data=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "level_sets: FAILED: $*" >&2; failures=$((failures + 1)); }

run() {  # ARGS...: sets status, err
  status=0
  (cd "$work" && HOME="$work/home" XDG_DATA_HOME="" timeout 10 "$game" --data "$data" "$@" \
    >"$work/out" 2>"$work/err") || status=$?
  err=$(cat "$work/err")
}

run --levels nosuch
[ $status -eq 1 ] || fail "--levels of a missing set ended with status $status, not 1"
[[ $err == *"no level set in $work/home/.local/share/kobaltix/sets/nosuch"* ]] ||
  fail "--levels of a missing set printed: $err"
[ ! -e "$work/home/.local/share/kobaltix/sets/nosuch" ] || fail "--levels made a set"

run --levels ./nothing/here
[ $status -eq 1 ] || fail "--levels of a missing folder ended with status $status, not 1"
[[ $err == *"no level set in $work/nothing/here"* ]] ||
  fail "a folder's path is not taken from where the program started: $err"

run --edit ..
[ $status -eq 2 ] || fail "--edit .. ended with status $status, not 2"
[[ $err == "kobaltix: not a level set's name: .."* ]] || fail "--edit .. printed: $err"

run --edit --levels x
[ $status -eq 2 ] || fail "--edit with --levels ended with status $status, not 2"

[ $failures -eq 0 ] || exit 1
echo "level_sets: ok"
