#!/usr/bin/env bash
# The Windows installer under Wine: built twice (every build has its own product code), the
# first installed silently and the second over it, which must replace it rather than stand
# beside it; both programs in Program Files, the Start-menu entry pointing at doplet.exe, one
# uninstall entry; the installed doplet.exe's main window (test_win32_main1's "controls") and a
# pass of the installed doplet-sync.exe; a silent uninstall that leaves none of the installed
# files and keeps the user's settings. Prints each difference; exits 1 on any, 77 (skipped)
# without wixl and msiinfo.
#   install_windows.sh PACKAGE_WINDOWS BUILD_DIR TEST_WIN32_MAIN1
set -uo pipefail
command -v wixl >/dev/null && command -v msiinfo >/dev/null ||
  { echo "SKIP: no wixl or msiinfo (scripts/setup --windows)" && exit 77; }
package=$1 dir=$2 driver=$3 failed=0 pf='C:\Program Files\Doplet'
export WINEPREFIX=${WINEPREFIX:-$dir/wine-prefix} WINEDEBUG=-all
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
# Without winemenubuilder, which would copy the Start-menu entry to the desktop of the user.
wine() { WINEDLLOVERRIDES=winemenubuilder.exe=d /usr/lib/wine/wine64 "$@"; }
fail() { echo "FAIL: $*" && failed=1; }
files() { (cd "$WINEPREFIX/drive_c" && find . -type f | LC_ALL=C sort); }
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\'
settings='HKCU\software\QuillBarrow\doplet\main1'
# The values of a registry key, one NAME=VALUE a line; nothing for a key that is not there.
values() { wine reg query "$1" 2>/dev/null | sed -n 's/^ *\([^ ]*\) *REG_\w* *\(.*\)\r$/\1=\2/p'; }
# Builds the installer: its path in msi, its product code in code.
build() {
  bash "$package" "$dir" --reuse >"$work/path" && msi=$(<"$work/path") &&
    code=$(msiinfo export "$msi" Property | sed -n 's/^ProductCode\t\(.*\)\r$/\1/p')
}
build && old=$code && mv "$msi" "$work/old.msi" && build && new=$code ||
  { echo "FAIL: the installer was not built" && exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")

files >"$work/before"
for m in "$work/old.msi" "$msi"; do wine msiexec /i "$m" /qn || fail "msiexec /i $m: $?"; done
files | comm -13 "$work/before" - | tee "$work/added"
# All users' Start menu on Windows; Wine takes the user's.
link=$(grep -F "Start Menu/Programs/doplet.lnk" "$work/added")
grep -aqF "$pf\doplet.exe" "$WINEPREFIX/drive_c/${link:-none}" || fail "no doplet.lnk to doplet.exe"
values "$entry$new" | grep -xE "DisplayName=doplet|DisplayVersion=$version|Publisher=QuillBarrow" |
  wc -l | grep -qx 3 || fail "uninstall entry $new: not doplet $version by QuillBarrow"
[ -z "$(values "$entry$old")" ] || fail "the first build's uninstall entry stays beside it"

wine "$driver" controls "$pf\doplet.exe" || fail "the installed doplet.exe's main window"
mkdir "$work/1" "$work/2" && echo x >"$work/1/a"
wine "$pf\doplet-sync.exe" -q "Z:$work/1" "Z:$work/2" && cmp -s "$work/1/a" "$work/2/a" ||
  fail "the installed doplet-sync.exe did not copy"

wine reg add "$settings" /v CODE1 /d 'D:\kept' /f >/dev/null
wine msiexec /x "$new" /qn || fail "msiexec /x $new: status $?"
files | comm -12 "$work/added" - | sed 's/^/left: /' | grep . && fail "files left after uninstall"
[ -z "$(values "$entry$new")" ] || fail "uninstall entry left"
values "$settings" | grep -qxF 'CODE1=D:\kept' || fail "the user's settings removed"
exit "$failed"
