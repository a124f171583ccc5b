#!/usr/bin/env bash
# The whole Windows program under Wine, driven with xdotool against ornivel-catalog (a Linux
# program) over the sample library: the window "Ornivel" appears; a search fills the list; a
# left click resolves the address; "下载此歌曲" saves the song with its exact name and bytes into
# the folder that yyst.ini beside the executable names; a second download of the same song asks
# whether to go on and saves "(1)".
#   win32_e2e.sh WINE ORNIVEL_EXE CATALOG MAKE_SAMPLE_LIBRARY ARTIFACTS
#   (ORNIVEL_E2E_IN_PLACE=1, ORNIVEL_E2E_SAVE=FOLDER: see below)
# Runs on the display in $DISPLAY and in the Wine prefix of $WINEPREFIX, in the locale of the
# caller (Wine's system code page follows it). Screenshots go to ARTIFACTS.
set -euo pipefail
wine=$1 exe=$2 catalog=$3 make_library=$4 artifacts=$5
[ -n "${DISPLAY:-}" ] || { echo "win32_e2e: no display (DISPLAY is empty)" >&2; exit 1; }
locale_name=${LC_ALL:-default}
shots="$artifacts/win32_e2e-${locale_name//[^A-Za-z0-9_.-]/_}"
rm -rf "$shots"
mkdir -p "$shots"
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
shot() { import -window root "$shots/$1.png" 2>/dev/null || true; }
fail() {
  shot failure
  report_failure "win32_e2e ($locale_name)" "$*" "$work/ornivel.log"
  exit 1
}

. "$(dirname "$0")/drive.sh"
# The program's own windows: Wine names each with the process's pid.
program_windows() { xdotool search --all --onlyvisible --pid "$app" "$@" 2>/dev/null || true; }
popup_shown() { [ "$(program_windows | wc -l)" -ge 2 ]; }
message_box() { program_windows --name '^信息：$' | head -1; }
message_shown() { [ -n "$(message_box)" ]; }

start_catalog "$catalog" "$make_library"

# The program beside a yyst.ini that names a fresh save folder, as a Windows path (Wine's Z:
# drive is the Linux root): a copy in a folder of its own, or with ORNIVEL_E2E_IN_PLACE=1 the
# program where it is (an installed copy; its yyst.ini then stays, as the user's would). The
# save folder is ORNIVEL_E2E_SAVE, empty, where the caller names one.
save=${ORNIVEL_E2E_SAVE:-$work/save}
mkdir -p "$save"
[ -z "$(ls -A "$save")" ] || fail "the save folder $save is not empty"
if [ "${ORNIVEL_E2E_IN_PLACE:-0}" = 1 ]; then
  program=$exe
else
  mkdir -p "$work/app"
  program=$work/app/ornivel.exe
  cp "$exe" "$program"
fi
printf '[a]\r\na=Z:%s\r\n' "${save//\//\\}" >"$(dirname "$program")/yyst.ini"
start=$(date +%s%N)
ORNIVEL_SERVICE_HOST=$host "$wine" "$program" >"$work/ornivel.log" 2>&1 &
app=$!
pids+=("$app")
watch "$app"
main_window() { program_windows --name '^Ornivel$' | head -1; }
window_shown() { [ -n "$(main_window)" ]; }
wait_for 60 window_shown || fail "the window did not appear"
echo "win32_e2e ($locale_name): launch to visible window: $(( ($(date +%s%N) - start) / 1000000 )) ms"
wid=$(main_window)
xdotool windowfocus --sync "$wid" 2>/dev/null || true
shot 1-started

search_for_silence "$wid"

# The first row of the list (its middle lies at 36 in either locale's font), until the catalog has answered its lookup: a click that came before
# the list was filled selects nothing and looks nothing up.
lookup=' GET /webmusic/st/getNewMuiseByRid?rid='
for _ in 1 2 3; do
  xdotool mousemove --window "$wid" 120 36 click 1
  wait_for 10 logged "$lookup" && break
done
logged "$lookup" || fail "no address was looked up: the search did not fill the list"
shot 2-address

# From the keyboard: the clicked row is the selected one and the list has the focus. The Menu key
# and Shift+F10 each open the menu (Esc closes it again, and only it), Enter looks the row up.
for keys in Menu shift+F10; do
  xdotool key "$keys"
  wait_for 10 popup_shown || fail "$keys in the list did not open the pop-up menu"
  xdotool key Escape
  wait_for 10 eval '! popup_shown' || fail "Esc did not close the menu that $keys opened"
  window_shown || fail "Esc in the menu that $keys opened closed the window"
done
before=$(count_logged "$lookup")
looked_up_again() { [ "$(count_logged "$lookup")" -gt "$before" ]; }
xdotool key Return
wait_for 10 looked_up_again || fail "Enter on the selected row did not look it up"

# download: the pop-up menu on the first row, its second item "下载此歌曲"; waits until the
# catalog has sent the song COUNT times in all, or a message box is shown. When the address had
# not reached the row yet the window asks for it first: that box is closed and the item chosen
# again. A box answered with Yes after which the song is sent was the question of a download
# whose file exists: $asked counts those.
asked=0
download() {
  local count=$1
  sent() { [ "$(count_logged ' GET /resource/')" -ge "$count" ]; }
  sent_or_box() { sent || message_shown; }
  for _ in 1 2 3; do
    xdotool mousemove --window "$wid" 300 200 mousemove --window "$wid" 120 36 click 3
    wait_for 10 popup_shown || fail "the pop-up menu did not appear"
    xdotool key Down Down Return
    wait_for 30 sent_or_box || fail "the download neither started nor asked anything"
    sent && return 0
    local box
    box=$(message_box)
    shot "3-message-$count"
    # The question of a second download: Yes (the default button) goes on.
    xdotool windowfocus --sync "$box" 2>/dev/null || true
    xdotool key Return
    wait_for 10 eval '! message_shown' || fail "the message box did not close"
    if wait_for 10 sent; then
      asked=$((asked + 1))
      return 0
    fi
    # It was the request for the address: click the row again, then the menu.
    xdotool windowfocus --sync "$wid" 2>/dev/null || true
    xdotool mousemove --window "$wid" 300 200 mousemove --window "$wid" 120 36 click 1
    wait_for 10 logged "$lookup"
  done
  return 1
}

target="$save/Simon 、 Garfunkel - The Sound of Silence.mp3"
download 1 || fail "the song was not sent"
saved() { [ -f "$1" ] && cmp -s "$1" "$work/music/western/01.mp3"; }
wait_for 30 saved "$target" || fail "the song was not saved as $target"
[ "$(ls -A "$save" | wc -l)" -eq 1 ] || fail "the save folder holds more than the song"
shot 4-saved

# The row now shows "下载成功": a new address first, then the second download asks.
xdotool windowfocus --sync "$wid" 2>/dev/null || true
lookups=$(count_logged "$lookup")
more_lookups() { [ "$(count_logged "$lookup")" -gt "$lookups" ]; }
for _ in 1 2 3; do
  xdotool mousemove --window "$wid" 300 200 mousemove --window "$wid" 120 36 click 1
  wait_for 10 more_lookups && break
done
more_lookups || fail "the second lookup was not made"
download 2 || fail "the second download was not sent"
second="$save/Simon 、 Garfunkel - The Sound of Silence(1).mp3"
wait_for 30 saved "$second" || fail "the second download was not saved as $second"
[ "$asked" -eq 1 ] || fail "the second download did not ask before saving ($asked questions)"
[ "$(ls -A "$save" | wc -l)" -eq 2 ] || fail "the save folder holds more than the two songs"
shot 5-second-saved

# Esc closes the window and ends the program.
xdotool windowfocus --sync "$wid" key Escape 2>/dev/null || true
ended() { ! kill -0 "$app" 2>/dev/null; }
wait_for 20 ended || fail "Esc did not end the program"
echo "win32_e2e ($locale_name): saved $(basename "$target") and $(basename "$second")"
