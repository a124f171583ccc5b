#!/usr/bin/env bash
# The whole program under Xvfb, driven with xdotool against ornivel-catalog over the sample
# library: type a keyword, press the search button, click a row, choose "下载此歌曲" from the
# pop-up menu, and find the song, with its exact name and bytes, in the save folder that
# yyst.ini beside a copy of the executable names.
#   gui_e2e.sh ORNIVEL CATALOG MAKE_SAMPLE_LIBRARY   (run inside xvfb-run)
set -euo pipefail
ornivel=$1 catalog=$2 make_library=$3
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "gui_e2e: $*" >&2; exit 1; }

"$make_library" "$work/music" >/dev/null
"$catalog" --music "$work/music" --listen 127.0.0.1:0 >"$work/catalog.out" 2>"$work/catalog.log" &
pids+=($!)
host=
for _ in $(seq 1 100); do
  host=$(sed -n 's|.*listening on http://\([^ ]*\).*|\1|p' "$work/catalog.out")
  [ -n "$host" ] && break
  sleep 0.1
done
[ -n "$host" ] || fail "the catalog did not start"

mkdir -p "$work/app" "$work/save"
cp "$ornivel" "$work/app/ornivel"
printf '[a]\r\na=%s\r\n' "$work/save" >"$work/app/yyst.ini"
ORNIVEL_SERVICE_HOST=$host QT_QPA_PLATFORM=xcb "$work/app/ornivel" 2>"$work/ornivel.log" &
pids+=($!)

wid=$(timeout 20 xdotool search --sync --name '^Ornivel$' | head -1)
[ -n "$wid" ] || fail "the window did not appear"
xdotool windowfocus --sync "$wid"
sleep 0.5

# The search box (345,321 168x24): select its text and type the keyword.
xdotool mousemove --window "$wid" 429 333 click 1 key ctrl+a type 'silence'
# The search button (526,319 98x26).
xdotool mousemove --window "$wid" 575 332 click 1
sleep 2.5
# The first row of the list, then the pop-up menu on it: its second item is "下载此歌曲".
xdotool mousemove --window "$wid" 120 40 click 1
sleep 2.5
xdotool mousemove --window "$wid" 120 40 click 3
sleep 0.7
xdotool key Down Down Return

target="$work/save/Simon 、 Garfunkel - The Sound of Silence.mp3"
for _ in $(seq 1 100); do
  [ -f "$target" ] && break
  sleep 0.1
done
if [ ! -f "$target" ]; then
  ls -la "$work/save" >&2
  cat "$work/catalog.log" >&2
  fail "the song was not saved as $target"
fi
sleep 0.3
cmp "$target" "$work/music/western/01.mp3" || fail "the saved bytes differ from the catalog's file"
[ "$(ls "$work/save" | wc -l)" -eq 1 ] || fail "the save folder holds more than the song"
grep -q 'GET /webmusic/getsjplayinfo?flag=6&pn=1&pr=500&type=music&key=%73%69%6C%65%6E%63%65 ' "$work/catalog.log" ||
  fail "the search request was not the program's"
echo "gui_e2e: saved $(basename "$target") ($(stat -c %s "$target") bytes)"
