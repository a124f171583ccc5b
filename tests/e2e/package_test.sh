#!/usr/bin/env bash
# The Debian package as a user meets it: lintian finds no error and no warning in it; apt-get
# installs it; its desktop files validate; the installed program, run by an ordinary user (who
# cannot write /usr/bin), searches the installed ornivel-catalog and saves a song, first into
# the user's music folder, then into the folder that its settings file in
# $XDG_CONFIG_HOME/ornivel names; ornivel-dl saves a song into the same music folder; apt-get
# removes it, and none of its files is left.
#   package_test.sh DEB   (as root: it installs and removes the package)
set -euo pipefail
deb=$(realpath "$1")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
# The ordinary user of the drive: every Debian system has one that owns nothing.
user=nobody
group=$(id -gn "$user")

fail() { echo "package_test: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "run as root: it installs and removes the package"
state() { dpkg-query -W -f='${db:Status-Status}' ornivel 2>/dev/null || true; }
case $(state) in
  '' | not-installed) ;;
  *) fail "ornivel is $(state) on this machine already; remove it first" ;;
esac

work=$(mktemp -d)
installed=
cleanup() {
  # A failed check leaves no package behind either.
  if [ -n "$installed" ]; then apt-get remove -y -qq ornivel >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
# The user reads the package and the scripts from here: the source tree may be closed to them.
mkdir "$work/scripts"
cp "$deb" "$work/"
cp "$source_dir/tests/e2e/gui_e2e.sh" "$source_dir/tests/e2e/drive.sh" "$source_dir/tests/e2e/dl_e2e.sh" \
   "$source_dir/catalog/make-sample-library" "$source_dir/catalog/catalog-start.sh" "$work/scripts/"
chmod -R a+rX "$work"
package=$work/$(basename "$deb")

# as_user VAR=VALUE... COMMAND...: COMMAND as the ordinary user, with nothing of root's
# environment but what is given.
as_user() { runuser -u "$user" -- env -i PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }
# new_home NAME: a fresh home folder of the user's own.
new_home() {
  install -d -o "$user" -g "$group" -m 700 "$work/$1" "$work/$1/runtime"
  echo "$work/$1"
}

echo "package_test: lintian"
lintian_home=$(new_home lintian)
as_user HOME="$lintian_home" lintian --fail-on error,warning --display-info "$package" ||
  fail "lintian found errors or warnings"

echo "package_test: apt-get install $(basename "$package")"
export DEBIAN_FRONTEND=noninteractive
installed=1
apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$package" >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get install failed"; }
[ "$(state)" = installed ] || fail "ornivel is $(state) after apt-get install"
dpkg -L ornivel >"$work/files"
grep -qx /usr/bin/ornivel "$work/files" || fail "dpkg does not list /usr/bin/ornivel"

bash "$source_dir/tests/e2e/install_test.sh" --prefix /usr
# The desktop entry's Exec=ornivel finds the installed program on an ordinary user's path.
[ "$(as_user sh -c 'command -v ornivel')" = /usr/bin/ornivel ] ||
  fail "ornivel on the user's path is not /usr/bin/ornivel"
as_user test ! -w /usr/bin || fail "$user may write /usr/bin: the drive would not show anything"
as_user /usr/bin/ornivel-fetch --help >/dev/null || fail "ornivel-fetch --help failed"
for program in ornivel ornivel-dl ornivel-catalog ornivel-fetch; do
  grep -qx "/usr/share/man/man1/$program.1.gz" "$work/files" || fail "no manual page for $program"
done

# drive HOME SAVE_FOLDER [VAR=VALUE...]: the whole-program drive of the installed program and
# catalog, as the user, expecting the song in SAVE_FOLDER.
drive() {
  local home=$1 save=$2
  shift 2
  as_user HOME="$home" XDG_RUNTIME_DIR="$home/runtime" "$@" \
    xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/scripts/gui_e2e.sh" \
    /usr/bin/ornivel /usr/bin/ornivel-catalog "$work/scripts/make-sample-library" "$save"
}

# 1. No settings yet, and a desktop whose music folder has a Chinese name, as user-dirs.dirs
# writes it: the program keeps its settings folder under ~/.config and saves into that folder,
# and writes no settings file before a folder is chosen.
home=$(new_home first-run)
install -d -o "$user" -g "$group" "$home/.config"
printf 'XDG_MUSIC_DIR="$HOME/音乐"\n' >"$home/.config/user-dirs.dirs"
chown "$user:$group" "$home/.config/user-dirs.dirs"
echo "package_test: drive, saving into the music folder"
drive "$home" "$home/音乐"
[ -d "$home/.config/ornivel" ] || fail "the program made no ~/.config/ornivel"
[ ! -e "$home/.config/ornivel/yyst.ini" ] || fail "the program wrote settings nobody chose"
[ "$(stat -c %U "$home/音乐")" = "$user" ] || fail "the music folder is not the user's"
echo "package_test: ornivel-dl, saving into the same music folder"
as_user HOME="$home" bash "$work/scripts/dl_e2e.sh" /usr/bin/ornivel-dl /usr/bin/ornivel-catalog \
  "$work/scripts/make-sample-library" "$home/音乐"

# 2. A settings file in $XDG_CONFIG_HOME/ornivel (outside the home folder, to show the variable
# is honoured) naming a Chinese folder, in GBK as the program writes it: the song goes there, and
# the file is left as it was.
home=$(new_home settings)
config=$(new_home config-home)
install -d -o "$user" -g "$group" "$config/ornivel" "$home/歌曲"
printf '[a]\r\na=%s\r\n' "$home/歌曲" | iconv -f UTF-8 -t GBK >"$config/ornivel/yyst.ini"
cp "$config/ornivel/yyst.ini" "$work/yyst.ini.before"
chown "$user:$group" "$config/ornivel/yyst.ini"
echo "package_test: drive, saving into the folder of \$XDG_CONFIG_HOME/ornivel/yyst.ini"
drive "$home" "$home/歌曲" XDG_CONFIG_HOME="$config"
cmp -s "$config/ornivel/yyst.ini" "$work/yyst.ini.before" || fail "yyst.ini changed"
[ ! -e /usr/bin/yyst.ini ] || fail "a yyst.ini appeared beside the installed program"

# 3. Root, who could write /usr/bin, runs an installed copy too: settings and songs go to root's
# own folders, never beside the packaged program.
home=$(mktemp -d "$work/root-home.XXXXXX")
echo "package_test: drive as root, saving into root's music folder"
HOME="$home" XDG_RUNTIME_DIR="$home" \
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$work/scripts/gui_e2e.sh" \
  /usr/bin/ornivel /usr/bin/ornivel-catalog "$work/scripts/make-sample-library" "$home/Music"
[ -d "$home/.config/ornivel" ] || fail "root's run made no ~/.config/ornivel"
[ ! -e /usr/bin/yyst.ini ] || fail "root's run wrote a yyst.ini beside the installed program"

echo "package_test: apt-get remove ornivel"
apt-get remove -y -qq -o DPkg::Lock::Timeout=300 ornivel >"$work/apt.log" 2>&1 ||
  { cat "$work/apt.log" >&2; fail "apt-get remove failed"; }
installed=
case $(state) in
  '' | not-installed) ;;
  *) fail "ornivel is $(state) after apt-get remove" ;;
esac
# Every file of the package is gone; a folder stays only where another package owns it too.
left=()
while IFS= read -r path; do
  [ "$path" != /. ] || continue
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    dpkg-query -S "$path" >/dev/null 2>&1 || left+=("$path")
  elif [ -e "$path" ] || [ -L "$path" ]; then
    left+=("$path")
  fi
done <"$work/files"
[ ${#left[@]} -eq 0 ] || fail "left after removal: ${left[*]}"
echo "package_test: installed, driven three times and removed; none of its $(wc -l <"$work/files") paths is left"
