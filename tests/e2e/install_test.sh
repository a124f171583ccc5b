#!/usr/bin/env bash
# An installed build behaves as a desktop program: the executable, its desktop entry, its
# AppStream metainfo and its icons land where desktops look for them, and both files validate.
#   install_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/ornivel bin/ornivel-catalog bin/ornivel-fetch \
            share/applications/org.ornivel.Ornivel.desktop \
            share/metainfo/org.ornivel.Ornivel.metainfo.xml \
            share/icons/hicolor/scalable/apps/org.ornivel.Ornivel.svg; do
  [ -e "$prefix/$file" ] || { echo "install_test: $file is missing" >&2; exit 1; }
done
for size in 16 32 48 64 128; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/org.ornivel.Ornivel.png"
  [ -e "$icon" ] || { echo "install_test: the ${size}px icon is missing" >&2; exit 1; }
done
desktop-file-validate "$prefix/share/applications/org.ornivel.Ornivel.desktop"
appstreamcli validate --no-net --explain "$prefix/share/metainfo/org.ornivel.Ornivel.metainfo.xml"
echo "install_test: installed and valid"
