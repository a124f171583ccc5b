#!/usr/bin/env bash
# An installed build behaves as a desktop program: the executable, its desktop entry, its
# AppStream metainfo and its icons land where desktops look for them, the entry starts the
# program with no arguments, and both files validate.
#   install_test.sh BUILD_DIR         installs the build into a fresh prefix and checks it
#   install_test.sh --prefix PREFIX   checks what is installed under PREFIX (the package's /usr)
set -euo pipefail
if [ "$1" = --prefix ]; then
  prefix=$2
else
  prefix=$(mktemp -d)
  trap 'rm -rf "$prefix"' EXIT
  cmake --install "$1" --prefix "$prefix" >/dev/null
  # Manual pages only here: some Debian images keep dpkg from unpacking /usr/share/man.
  for page in ornivel ornivel-catalog ornivel-fetch; do
    gzip -t "$prefix/share/man/man1/$page.1.gz" ||
      { echo "install_test: the manual page of $page is missing" >&2; exit 1; }
  done
fi
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
desktop=$prefix/share/applications/org.ornivel.Ornivel.desktop
desktop-file-validate "$desktop"
# The program takes no arguments: the entry starts it by name, with no field codes.
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ "$exec_line" = ornivel ] || { echo "install_test: Exec=$exec_line, not ornivel" >&2; exit 1; }
appstreamcli validate --no-net --explain "$prefix/share/metainfo/org.ornivel.Ornivel.metainfo.xml"
echo "install_test: installed and valid"
