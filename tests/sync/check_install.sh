#!/usr/bin/env bash
# The install tree: every file where the XDG and Debian layouts put it, each valid (the manual
# pages without a troff warning in ASCII and in UTF-8), and both programs answering --version
# without a display. Usage: check_install.sh CMAKE BUILD_DIR
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
