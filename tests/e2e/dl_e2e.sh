#!/usr/bin/env bash
# ornivel-dl as installed, run by a user with no options but the service: a search, a download
# into the save folder the user's settings give (no --to), and the same download again, which
# is skipped and leaves the song as it was.
#   dl_e2e.sh ORNIVEL_DL CATALOG MAKE_SAMPLE_LIBRARY SAVE_FOLDER
set -euo pipefail
dl=$1 catalog=$2 make_library=$3 save=$4
work=$(mktemp -d)
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"; }
trap cleanup EXIT
fail() { echo "dl_e2e: $*" >&2; exit 1; }

. "$(dirname "$0")/drive.sh"
start_catalog "$catalog" "$make_library"

"$dl" --service "$host" search 周杰伦 --json >"$work/found" || fail "search failed"
grep -q '"title":"告白气球","singer":"周杰伦"' "$work/found" || fail "search: $(cat "$work/found")"

song="$save/陈奕迅 - 十年.mp3"
[ ! -e "$song" ] || fail "$song is there before the download"
"$dl" --service "$host" download --search 十年 --first 1 >"$work/out" 2>"$work/err" ||
  fail "download failed: $(cat "$work/err")"
[ "$(cat "$work/out")" = "$song" ] || fail "download printed '$(cat "$work/out")', not '$song'"
cmp -s "$song" "$work/music/华语/03.mp3" || fail "$song does not hold the library's song"
[ ! -s "$work/err" ] || fail "download said: $(cat "$work/err")"

touch -d '2020-01-01' "$song"
"$dl" --service "$host" download --search 十年 --first 1 >"$work/out" 2>"$work/err" ||
  fail "the second download failed: $(cat "$work/err")"
[ ! -s "$work/out" ] || fail "the second download saved $(cat "$work/out")"
grep -q '跳过' "$work/err" || fail "the second download did not say it skipped: $(cat "$work/err")"
[ "$(stat -c %Y "$song")" = "$(date -d 2020-01-01 +%s)" ] || fail "the second download touched $song"
[ ! -e "$save/陈奕迅 - 十年(1).mp3" ] || fail "the second download made a copy"
echo "dl_e2e: searched, saved $song, and skipped it the second time"
