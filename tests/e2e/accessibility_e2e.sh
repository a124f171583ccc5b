#!/usr/bin/env bash
# The Qt window as a screen reader finds it, through AT-SPI: the program under Xvfb on a session
# bus of its own, with the accessibility bus and its registry, and accessibility_tree.py reading
# the tree the way a reader does (see there for what it checks), against ornivel-catalog over the
# sample library.
#   accessibility_e2e.sh ORNIVEL CATALOG MAKE_SAMPLE_LIBRARY   (run inside xvfb-run)
# Exits 77 (ctest: skipped), with one line that says why, where the machine has no AT-SPI
# installed.
set -euo pipefail
# Debian's Python, which has the AT-SPI bindings, whatever python3 the PATH finds first.
python=/usr/bin/python3
if [ -z "${ORNIVEL_ACCESSIBILITY_SESSION:-}" ]; then
  if ! "$python" -c 'import pyatspi' 2>/dev/null; then
    echo "accessibility_e2e: not run: no AT-SPI bindings (python3-pyatspi) on this machine"
    exit 77
  fi
  if ! command -v dbus-run-session >/dev/null || [ ! -x /usr/libexec/at-spi-bus-launcher ]; then
    echo "accessibility_e2e: not run: no session bus or accessibility bus (dbus, at-spi2-core)"
    exit 77
  fi
  ORNIVEL_ACCESSIBILITY_SESSION=1 exec dbus-run-session -- bash "$0" "$@"
fi

ornivel=$1 catalog=$2 make_library=$3
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
fail() {
  report_failure accessibility_e2e "$*" "$work/ornivel.log"
  exit 1
}
. "$(dirname "$0")/drive.sh"

# The accessibility bus and its registry come up on the first reader's call, as on a desktop.
if ! timeout 20 "$python" -c 'import pyatspi; pyatspi.Registry.getDesktop(0).childCount' \
  >"$work/bus.log" 2>&1; then
  # Both are installed: a bus that does not come up is a fault of this machine's set-up, not
  # a reason to pass the test by.
  echo "accessibility_e2e: the accessibility bus did not come up: $(tail -1 "$work/bus.log")" >&2
  exit 1
fi

start_catalog "$catalog" "$make_library"
save=$work/save
mkdir -p "$work/app" "$save"
cp "$ornivel" "$work/app/ornivel"
printf '[a]\r\na=%s\r\n' "$save" >"$work/app/yyst.ini"
# A desktop without a reader running tells programs that nobody listens; the test is the reader.
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ORNIVEL_SERVICE_HOST=$host QT_QPA_PLATFORM=xcb \
  "$work/app/ornivel" 2>"$work/ornivel.log" &
app=$!
pids+=("$app")
watch "$app"

"$python" "$(dirname "$0")/accessibility_tree.py" "$app" || fail "the tree is not what a reader needs"
logged 'GET /webmusic/getsjplayinfo?flag=6&pn=1&pr=500&type=music&key=%73%69%6C%65%6E%63%65 ' ||
  fail "the search made through the tree did not reach the catalog"
