#!/usr/bin/env bash
# The real program's command line: what --help, --version, an unknown argument and a data
# directory without the data print, where, and the exit statuses. No display is needed: each of
# these ends before the window opens.
#
#   tests/smoke/command_line.sh path/to/kobaltix
set -uo pipefail
game=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "command_line: FAILED: $*" >&2; failures=$((failures + 1)); }

# run ARGS...: sets status, out, err
run() {
  status=0
  (cd "$work" && timeout 10 "$game" "$@" >"$work/out" 2>"$work/err") || status=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}

run --help
[ $status -eq 0 ] || fail "--help ended with status $status"
[[ $out == "Usage: kobaltix [OPTION]..."* ]] || fail "--help printed no usage: $out"
for o in --window "--data DIR" --help --version; do
  [[ $out == *"$o"* ]] || fail "--help does not name $o"
done
[ -z "$err" ] || fail "--help wrote to standard error: $err"

run --version
[ $status -eq 0 ] || fail "--version ended with status $status"
[[ $out =~ ^KobalTix\ 1\.3\ \(build\ [^\)]+\)$ ]] || fail "--version printed: $out"
[ -z "$err" ] || fail "--version wrote to standard error: $err"

run --window --bogus
[ $status -eq 2 ] || fail "an unknown argument ended with status $status, not 2"
[ -z "$out" ] || fail "an unknown argument wrote to standard output: $out"
[[ $err == "kobaltix: unknown argument: --bogus"$'\n'"Usage: kobaltix"* ]] ||
  fail "an unknown argument printed: $err"

run --data
[ $status -eq 2 ] || fail "--data without a value ended with status $status, not 2"

mkdir -p "$work/nodata/levels"
run --data nodata
[ $status -eq 1 ] || fail "a data directory without the data ended with status $status, not 1"
[[ $err == *"was not found"*"  $work/nodata"$'\n'* ]] ||
  fail "a data directory without the data did not say where it looked: $err"

# --settings names the settings file and ends; the game's data is not needed for it.
XDG_CONFIG_HOME=/conf/x HOME=/home/p run --settings
[ $status -eq 0 ] || fail "--settings ended with status $status"
[ "$out" = /conf/x/kobaltix/settings.ini ] || fail "--settings printed: $out"
XDG_CONFIG_HOME= HOME=/home/p run --settings
[ "$out" = /home/p/.config/kobaltix/settings.ini ] || fail "--settings without XDG_CONFIG_HOME: $out"

# A damaged settings file is read as far as it goes, with a warning naming the file.
mkdir -p "$work/conf/kobaltix"
printf 'music_volume = 50\nnonsense\n' >"$work/conf/kobaltix/settings.ini"
XDG_CONFIG_HOME=$work/conf run --data nodata
[[ $err == *"settings.ini: line 2:"* ]] || fail "a damaged settings file gave no warning: $err"

run --lang
[ $status -eq 2 ] || fail "--lang without a value ended with status $status, not 2"

[ $failures -eq 0 ] || exit 1
echo "command_line: ok"
