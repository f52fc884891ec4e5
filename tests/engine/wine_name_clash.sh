#!/usr/bin/env bash
# Under Wine: two names of one folder that differ only in case (made on the Linux side, since
# Windows cannot make them) are never copied over each other. The first pass copies one and
# refuses the other with 80; every later pass refuses both; neither content is lost.
# Usage: wine_name_clash.sh DOPLET_SYNC_EXE (with WINEPREFIX set)
set -euo pipefail
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/one" "$work/two"
printf A >"$work/one/File.txt"
touch -d 2020-01-01 "$work/one/File.txt"
printf B >"$work/one/file.txt"
win() { printf 'Z:%s' "${1//\//\\}"; }
pass() { WINEDEBUG=-all /usr/lib/wine/wine64 "$exe" "$(win "$work/one")" "$(win "$work/two")" 2>/dev/null || true; }
clash() { printf '%s\\%s失敗しました Error－80' "$(win "$work/one")" "$1"; }
expected1="$(win "$work/one")\\File.txt->$(win "$work/two")\\File.txt"$'\n'"$(clash file.txt)"
expected2="$(clash File.txt)"$'\n'"$(clash file.txt)"
[ "$(pass | tr -d '\r')" = "$expected1" ] || { echo "first pass: unexpected lines"; exit 1; }
for _ in 2 3; do
  [ "$(pass | tr -d '\r')" = "$expected2" ] || { echo "later pass: unexpected lines"; exit 1; }
done
[ "$(cat "$work/one/File.txt")$(cat "$work/one/file.txt")$(cat "$work/two/File.txt")" = ABA ] ||
  { echo "a file's content changed"; exit 1; }
echo "names that clash under Wine: as expected"
