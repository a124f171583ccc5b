# The steps the whole-program tests share (sourced by gui_e2e.sh and win32_e2e.sh): waiting with
# a deadline, the catalog over the sample library, and what its log says. The caller sets $work
# (a fresh folder), the array pids (processes to stop at exit) and fail (reports and exits).

# The catalog's start, beside this file where the package test copies it, else in the sources.
here=$(dirname "${BASH_SOURCE[0]}")
if [ -f "$here/catalog-start.sh" ]; then
  . "$here/catalog-start.sh"
else
  . "$here/../../catalog/catalog-start.sh"
fi

# report_failure NAME MESSAGE [LOG...]: on standard error, what failed (and that the driven
# program had ended, with its status, when it had), then the catalog's log, each LOG (the
# program's output), and what the save folder $save holds.
report_failure() {
  local ended=""
  if [ -n "${watched:-}" ] && ! kill -0 "$watched" 2>/dev/null; then
    local status=0
    wait "$watched" 2>/dev/null || status=$?
    ended=" (the program had ended, with status $status)"
  fi
  echo "$1: $2$ended" >&2
  echo "--- catalog log:" >&2
  cat "$work/catalog.log" >&2 || true
  local log
  for log in "${@:3}"; do
    echo "--- $(basename "$log") (its last 40 lines):" >&2
    tail -n 40 "$log" >&2 || true
  done
  echo "--- save folder:" >&2
  ls -la "$save" >&2 || true
}

# watch PID: from now on wait_for gives up at once when PID (the driven program, a child of this
# shell) has ended, since nothing it would have done can come any more.
watch() { watched=$1; }

# wait_for SECONDS COMMAND...: true as soon as COMMAND succeeds, false when SECONDS (times
# ORNIVEL_TEST_TIME_SCALE, which a run under an emulator sets) have passed, or the watched
# program has ended.
wait_for() {
  local scale=${ORNIVEL_TEST_TIME_SCALE:-1}
  [[ $scale =~ ^[1-9][0-9]*$ ]] || scale=1
  local deadline=$((SECONDS + $1 * scale))
  shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    if [ -n "${watched:-}" ] && ! kill -0 "$watched" 2>/dev/null; then
      "$@"  # what the program did last may have come just before its end
      return
    fi
    sleep 0.05
  done
}

# logged TEXT: the catalog has answered a request whose line holds TEXT; count_logged TEXT: how
# many such requests it has answered.
logged() { grep -qF -- "$1" "$work/catalog.log"; }
count_logged() { grep -cF -- "$1" "$work/catalog.log" || true; }

# start_catalog CATALOG MAKE_SAMPLE_LIBRARY: the sample library in $work/music and the catalog
# over it on a free loopback port; sets host to its "127.0.0.1:PORT". It logs one line per
# request on its standard error once it has answered.
start_catalog() {
  "$2" "$work/music" >/dev/null
  ORNIVEL_CATALOG_WAIT=10 catalog_start "$1" "$work/music" 127.0.0.1:0 "$work/catalog.out" \
    "$work/catalog.log"
  pids+=("$catalog_pid")
}

# search_for_silence WINDOW: in the window's search box (345,321 168x24) select its text and
# type "silence", then press the search button (526,319 98x26); again until the catalog has
# answered the search, and fails when it never does.
search_for_silence() {
  local search='GET /webmusic/getsjplayinfo?flag=6&pn=1&pr=500&type=music&key=%73%69%6C%65%6E%63%65 '
  for _ in 1 2 3; do
    xdotool mousemove --window "$1" 429 333 click 1 key ctrl+a type 'silence'
    xdotool mousemove --window "$1" 575 332 click 1
    wait_for 10 logged "$search" && break
  done
  logged "$search" || fail "the search request was not the program's"
}
