#!/usr/bin/env bash
# The install tree: every file where the XDG and Debian layouts put it, each valid, and both
# programs answering --help and --version without a display. Usage: check_install.sh CMAKE BUILD
set -euo pipefail
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR=$dest "$1" --install "$2" --prefix /usr >/dev/null
cd "$dest/usr"
for f in bin/doplet bin/doplet-sync share/icons/hicolor/scalable/apps/doplet.svg \
  share/icons/hicolor/{16x16,24x24,32x32,48x48,64x64,128x128,256x256}/apps/doplet.png \
  share/man/man1/doplet{,-sync}.1.gz share/doc/doplet/{copyright,changelog.Debian.gz}; do
  [ -s "$f" ] || { echo "missing: $f"; exit 1; }
done
desktop-file-validate share/applications/jp.quillbarrow.Doplet.desktop
appstreamcli validate --no-net share/metainfo/jp.quillbarrow.Doplet.metainfo.xml
for page in share/man/man1/*.1.gz; do
  [ -z "$(man --warnings -l "$page" 2>&1 >/dev/null)" ] || { echo "man: $page"; exit 1; }
done
for program in doplet doplet-sync; do
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "bin/$program" --version | grep -qx "$program 1.0"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "bin/$program" --help | grep -q doplet-sync
done
