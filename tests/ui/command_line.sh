#!/usr/bin/env bash
# The window program from the command line: --help wholly in the user's language (Japanese or
# English), and without a reachable display one sentence in that language and status 1. Prints
# each difference; exits 1 on any.
#   command_line.sh DOPLET
set -uo pipefail
doplet=$(realpath "$1") failed=0
n=99 # a display number nothing answers on
while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
# Runs doplet with no display but the one named in $1, in language $2, with the words that follow.
run() {
  local display=$1 lang=$2 && shift 2
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LC_ALL -u LC_MESSAGES -u LANGUAGE \
    ${display:+DISPLAY=$display} LANG="$lang" timeout 60 "$doplet" "$@" >out 2>err
  status=$?
}
expect() { [ "$2" = "$3" ] || { printf '%s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"; failed=1; }; }
cd "$(mktemp -d)" && trap 'rm -rf "$PWD"' EXIT

while IFS='|' read -r display lang sentence; do
  run "$display" "$lang"
  expect "no display ($display, $lang)" "1 doplet: $sentence" "$status $(cat out err)"
done <<END
|C|cannot open its window, as no display can be reached (DISPLAY="", WAYLAND_DISPLAY=""); doplet-sync runs a pass without one.
:$n|C.UTF-8|cannot open its window, as no display can be reached (DISPLAY=":$n", WAYLAND_DISPLAY=""); doplet-sync runs a pass without one.
:$n|ja_JP.UTF-8|画面 (DISPLAY=":$n", WAYLAND_DISPLAY="") に接続できないため、ウィンドウを開けません（ウィンドウなしの同期は doplet-sync で行えます）。
END
# No English sentence in Japanese, nothing but ASCII in English; both options listed.
for lang in ja_JP.UTF-8 C; do
  run "" "$lang" --help
  expect "--help ($lang)" "0 2" "$status $(grep -cE '^  -h, --help |^  -v, --version ' out)"
  case $lang in
    C) foreign=$(LC_ALL=C grep -n '[^ -~]' out) ;;
    *) foreign=$(grep -nE '[A-Za-z]{2,} [A-Za-z]{2,}' out) ;;
  esac
  expect "--help ($lang): lines in another language" "" "$foreign"
done
exit $failed
