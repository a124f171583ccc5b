#!/usr/bin/env bash
# The whole program under Xvfb, driven with xdotool against ornivel-catalog over the sample
# library: type a keyword, press the search button, click a row, choose "下载此歌曲" from the
# pop-up menu, and find the song, with its exact name and bytes, in the save folder.
#   gui_e2e.sh ORNIVEL CATALOG MAKE_SAMPLE_LIBRARY [SAVE_FOLDER]   (run inside xvfb-run)
# Without SAVE_FOLDER, a copy of ORNIVEL runs beside a yyst.ini that names a fresh save folder.
# With it, ORNIVEL runs where it lies (an installed copy, whose folder the user cannot write), and
# the song is looked for in SAVE_FOLDER: the folder that the caller's environment gives the
# program (the user's music folder, or the one its $XDG_CONFIG_HOME/ornivel/yyst.ini names),
# which must hold nothing else.
#
# Every step waits for what it causes, with a deadline: the catalog logs one line per request
# on its standard error once it has answered, and the window shows its pop-up menu and message
# boxes as windows of its own. An action the window was not ready for is done again.
set -euo pipefail
ornivel=$1 catalog=$2 make_library=$3 save=${4:-}
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
fail() {
  report_failure gui_e2e "$*" "$work/ornivel.log"
  exit 1
}

. "$(dirname "$0")/drive.sh"
# The program's windows on screen besides the main window: its pop-up menu or a message box.
popup_shown() { [ "$(xdotool search --onlyvisible --pid "$app" 2>/dev/null | wc -l)" -ge 2 ]; }
message_box() { xdotool search --onlyvisible --name '^信息：$' 2>/dev/null | head -1 || true; }
message_shown() { [ -n "$(message_box)" ]; }
downloaded_or_refused() { logged ' GET /resource/' || message_shown; }

start_catalog "$catalog" "$make_library"

program=$ornivel
if [ -z "$save" ]; then
  save=$work/save
  program=$work/app/ornivel
  mkdir -p "$work/app" "$save"
  cp "$ornivel" "$program"
  printf '[a]\r\na=%s\r\n' "$save" >"$work/app/yyst.ini"
fi
ORNIVEL_SERVICE_HOST=$host QT_QPA_PLATFORM=xcb "$program" 2>"$work/ornivel.log" &
app=$!
pids+=("$app")
watch "$app"

main_window() { xdotool search --onlyvisible --name '^Ornivel$' 2>/dev/null | head -1; }
window_shown() { [ -n "$(main_window)" ]; }
wait_for 20 window_shown || fail "the window did not appear"
wid=$(main_window)
xdotool windowfocus --sync "$wid"

search_for_silence "$wid"

# The first row of the list, until the catalog has answered its lookup (a click that came
# before the list was filled selects nothing and looks nothing up).
for _ in 1 2 3; do
  xdotool mousemove --window "$wid" 120 40 click 1
  wait_for 10 logged ' GET /webmusic/st/getNewMuiseByRid?rid=' && break
done
logged ' GET /webmusic/st/getNewMuiseByRid?rid=' || fail "no address was looked up"

# The pop-up menu on that row: its second item is "下载此歌曲". Until the catalog has sent the
# song. If the address had not reached the row yet, the window asks for it first: close that
# message and choose the item again (the pointer moves onto the row afresh each time: after a
# message box the window takes no click before the pointer has moved).
target="$save/Simon 、 Garfunkel - The Sound of Silence.mp3"
for _ in 1 2 3; do
  xdotool mousemove --window "$wid" 300 200 mousemove --window "$wid" 120 40 click 3
  wait_for 10 popup_shown || fail "the pop-up menu did not appear"
  xdotool key Down Down Return
  wait_for 30 downloaded_or_refused || fail "the download neither started nor was refused"
  box=$(message_box)
  [ -n "$box" ] || break
  [ ! -e "$target" ] || fail "a second download was started"
  xdotool windowfocus --sync "$box" key Return
  wait_for 10 eval '! message_shown' || fail "the message box did not close"
  xdotool windowfocus --sync "$wid"
done

saved() { [ -f "$target" ]; }
wait_for 30 saved || fail "the song was not saved as $target"
cmp "$target" "$work/music/western/01.mp3" || fail "the saved bytes differ from the catalog's file"
[ "$(ls -A "$save" | wc -l)" -eq 1 ] || fail "the save folder holds more than the song"
echo "gui_e2e: saved $(basename "$target") ($(stat -c %s "$target") bytes)"
