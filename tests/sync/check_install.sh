#!/usr/bin/env bash
# The install tree: every file where the XDG and Debian layouts put it, each valid (the manual
# pages without a troff warning in ASCII and in UTF-8), both programs answering --version without
# a display, doplet's --help wholly in the user's language, and without a display that can be
# reached one sentence in that language and status 1. Usage: check_install.sh CMAKE BUILD_DIR
set -euo pipefail
dest=$(mktemp -d) && trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest "$1" --install "$2" --prefix /usr >/dev/null && cd "$dest/usr"
ls bin/doplet{,-sync} share/man/man1/doplet{,-sync}.1.gz share/doc/doplet/{copyright,changelog.gz} \
  share/icons/hicolor/{scalable/apps/doplet.svg,{16,24,32,48,64,128,256}x*/apps/doplet.png} >/dev/null
desktop-file-validate share/applications/jp.quillbarrow.Doplet.desktop
appstreamcli validate --no-net share/metainfo/jp.quillbarrow.Doplet.metainfo.xml >/dev/null
for lang in C C.UTF-8; do # no troff warning on the ASCII device nor on the UTF-8 one
  w=$(env -u LC_ALL LANG=$lang MANWIDTH=80 man --warnings -l share/man/man1/*.gz 2>&1 >/dev/null)
  [ -z "$w" ] || { printf 'LANG=%s:\n%s\n' "$lang" "$w" >&2 && exit 1; }
done
for program in doplet doplet-sync; do
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "bin/$program" --version | grep -qx "$program 1.0"
done
n=99 && while [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done # a display nothing answers on
for row in "|C|cannot open its window, as no display can be reached" \
  ":$n|C.UTF-8|(DISPLAY=\":$n\", WAYLAND_DISPLAY=\"\"); doplet-sync runs a pass without one." \
  ":$n|ja_JP.UTF-8|に接続できないため、ウィンドウを開けません"; do
  IFS='|' read -r display lang words <<<"$row" && status=0
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LC_ALL -u LC_MESSAGES \
    ${display:+DISPLAY=$display} LANG="$lang" timeout 60 bin/doplet >/dev/null 2>"$dest/err" || status=$?
  [ "$status $(wc -l <"$dest/err")" = "1 1" ] && grep -qF "$words" "$dest/err" ||
    { echo "without a display ($row): $status $(cat "$dest/err")" >&2 && exit 1; }
done
for lang in ja_JP.UTF-8 C; do # both options listed, no English sentence in Japanese, only ASCII in English
  help=$(env -u LC_ALL -u LC_MESSAGES LANG=$lang bin/doplet --help)
  [ "$(grep -cE '^  -h, --help |^  -v, --version ' <<<"$help")" = 2 ]
  case $lang in C) other='[^ -~]' ;; *) other='[A-Za-z]{2,} [A-Za-z]{2,}' ;; esac
  ! LC_ALL=C.UTF-8 grep -nE "$other" <<<"$help" || exit 1
done
