#!/usr/bin/env bash
# The Windows release of one preset, as a Windows user gets it:
# - the zip: exactly its files, the programs byte for byte the build's, the read-me in UTF-8
#   with BOM and CRLF, the licence texts;
# - the installer, run with /S in a fresh Wine prefix: the files in
#   %LOCALAPPDATA%\Programs\Ornivel (the same bytes as the zip's), the Start-menu shortcut, the
#   Uninstall key's values (read back with `reg query`); then the whole-program drive of the
#   installed ornivel.exe where it is, saving into a folder inside the installation as a user's
#   default would; then the uninstaller with /S: nothing of the installation is left but
#   yyst.ini and the songs, and neither the shortcut nor the key.
#   windows_release_test.sh WINE ZIP SETUP BUILT_EXE_FOLDER CATALOG MAKE_SAMPLE_LIBRARY ARTIFACTS
# WINE is wine64 for the win64 release, wine for win32. Needs $DISPLAY.
set -euo pipefail
wine=$1 zip=$2 setup=$3 built=$4 catalog=$5 make_library=$6 artifacts=$7
name=$(basename "$zip" .zip)
here=$(cd "$(dirname "$0")" && pwd)
wineserver=$(dirname "$(readlink -f "$(command -v "$wine")")")/wineserver
[ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
# No .NET or HTML engine to offer; no desktop menu entries written for the shortcut.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
cleanup() {
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "windows_release_test ($name): $*" >&2
  exit 1
}
say() { echo "windows_release_test ($name): $*"; }

# --- the zip
expected="$name/
$name/README-Windows.txt
$name/licenses/
$name/licenses/GCC-runtime.txt
$name/licenses/Ornivel.txt
$name/licenses/PCRE2.txt
$name/licenses/mingw-w64.txt
$name/ornivel-dl.exe
$name/ornivel.exe"
listed=$(unzip -Z1 "$zip" | sort)
[ "$listed" = "$(sort <<<"$expected")" ] || fail "the zip holds:
$listed"
unzip -q "$zip" -d "$work/zip"
folder=$work/zip/$name
for program in ornivel.exe ornivel-dl.exe; do
  cmp -s "$folder/$program" "$built/$program" || fail "$program in the zip is not the build's"
done
readme=$folder/README-Windows.txt
[ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "the read-me has no BOM"
lines=$(wc -l <"$readme")
[ "$(grep -c $'\r$' "$readme")" -eq "$lines" ] || fail "not every line of the read-me ends in CRLF"
grep -q 'ORNIVEL_SERVICE_HOST' "$readme" || fail "the read-me does not name ORNIVEL_SERVICE_HOST"
grep -q 'yyst.ini' "$readme" || fail "the read-me does not name yyst.ini"
for licence in "$folder"/licenses/*.txt; do
  [ "$(wc -c <"$licence")" -gt 500 ] || fail "$(basename "$licence") is nearly empty"
done
grep -q 'Permission is hereby granted' "$folder/licenses/Ornivel.txt" || fail "no MIT text"
grep -q 'PCRE2 LICENCE' "$folder/licenses/PCRE2.txt" || fail "no PCRE2 licence"
grep -q 'GCC RUNTIME LIBRARY EXCEPTION\|Runtime Library Exception' \
  "$folder/licenses/GCC-runtime.txt" || fail "no runtime exception in GCC-runtime.txt"
say "zip: $(unzip -Z1 "$zip" | grep -vc '/$') files, $(stat -c %s "$zip") bytes"

# --- a fresh prefix, and the installer
"$wine" wineboot --init </dev/null >/dev/null 2>&1 || true
"$wineserver" -w
user_dir=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -1)
[ -n "$user_dir" ] || fail "the prefix has no user folder"
install_dir=$user_dir/AppData/Local/Programs/Ornivel
shortcut="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Ornivel.lnk"
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ornivel'

"$wine" "$setup" /S </dev/null >/dev/null 2>&1 || fail "the installer failed"
"$wineserver" -w
(cd "$folder" && find . -type f | sort) >"$work/zip-files"
(cd "$install_dir" && find . -type f | sort) >"$work/installed-files"
[ "$(cat "$work/installed-files")" = "$(printf '%s\n' "$(cat "$work/zip-files")" ./uninstall.exe | sort)" ] ||
  fail "installed: $(cat "$work/installed-files")"
while read -r file; do
  cmp -s "$folder/$file" "$install_dir/$file" || fail "installed $file differs from the zip's"
done <"$work/zip-files"
[ -f "$shortcut" ] || fail "no Start-menu shortcut"
grep -qa 'ornivel.exe' "$shortcut" || fail "the shortcut does not lead to ornivel.exe"

reg_value() {
  "$wine" reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' | awk -v n="$1" '$1 == n { $1 = ""; $2 = ""; sub(/^  */, ""); print }'
}
version=${name#ornivel-}
version=${version%-*}
windows_dir='C:\users\'"$(basename "$user_dir")"'\AppData\Local\Programs\Ornivel'
[ "$(reg_value DisplayName)" = Ornivel ] || fail "DisplayName: $(reg_value DisplayName)"
[ "$(reg_value DisplayVersion)" = "$version" ] || fail "DisplayVersion: $(reg_value DisplayVersion)"
[ "$(reg_value Publisher)" = Ornivel ] || fail "Publisher: $(reg_value Publisher)"
[ "$(reg_value DisplayIcon)" = "$windows_dir\\ornivel.exe,0" ] || fail "DisplayIcon: $(reg_value DisplayIcon)"
[ "$(reg_value InstallLocation)" = "$windows_dir" ] || fail "InstallLocation: $(reg_value InstallLocation)"
[ "$(reg_value UninstallString)" = "\"$windows_dir\\uninstall.exe\"" ] ||
  fail "UninstallString: $(reg_value UninstallString)"
[ "$(reg_value QuietUninstallString)" = "\"$windows_dir\\uninstall.exe\" /S" ] ||
  fail "QuietUninstallString: $(reg_value QuietUninstallString)"
size=$(reg_value EstimatedSize)
installed_kib=$(du -sk --apparent-size "$install_dir" | cut -f1)
[ $((size)) -ge $((installed_kib / 2)) ] && [ $((size)) -le $((installed_kib * 2)) ] ||
  fail "EstimatedSize $size KiB for $installed_kib KiB installed"
say "installed $(wc -l <"$work/installed-files") files, shortcut and Uninstall key ($((size)) KiB)"

# --- the installed program, driven where it is; its songs go into a folder of the installation
bash "$here/../../scripts/wine-keep-desktop" "$wine" || fail "the desktop could not be kept alive"
songs=$install_dir/songs
ORNIVEL_E2E_IN_PLACE=1 ORNIVEL_E2E_SAVE=$songs LC_ALL=zh_CN.UTF-8 \
  bash "$here/win32_e2e.sh" "$wine" "$install_dir/ornivel.exe" "$catalog" "$make_library" \
  "$artifacts" || fail "the installed program's drive failed"
[ -f "$install_dir/yyst.ini" ] || fail "no yyst.ini beside the installed program"
ls "$songs"/*.mp3 >/dev/null 2>&1 || fail "no song was saved"

# --- the uninstaller; it goes on in a copy of itself after the first process ends, and the last
# thing it does is deleting the key: wait for that (at most 60 s)
"$wine" "$install_dir/uninstall.exe" /S </dev/null >/dev/null 2>&1 || fail "the uninstaller failed"
for _ in $(seq 1 120); do
  "$wine" reg query "$key" >/dev/null 2>&1 || break
  sleep 0.5
done
left=$(cd "$install_dir" && find . | sort | tr '\n' ' ')
want=". ./songs $(cd "$install_dir" && find ./songs -type f | sort | tr '\n' ' ')./yyst.ini "
[ "$left" = "$want" ] || fail "left after uninstalling: $left"
[ ! -e "$shortcut" ] || fail "the shortcut is still there"
if "$wine" reg query "$key" >/dev/null 2>&1; then fail "the Uninstall key is still there"; fi
say "uninstalled: yyst.ini and $(find "$songs" -type f | wc -l) songs stay, nothing else"
