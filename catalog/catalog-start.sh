# Sourced, not run: starts ornivel-catalog in the background and waits for the line in which it
# says where it listens. The one way the scripts, the benchmarks and the whole-program tests
# start it.
#
# catalog_start CATALOG MUSIC LISTEN OUT [ERR]: CATALOG over the folder MUSIC on LISTEN
# (127.0.0.1:0 for a free port), its standard output in the file OUT, its standard error in ERR
# (else discarded). Waits while the catalog lives (it reads every tag of a large folder before it
# listens), at most ORNIVEL_CATALOG_WAIT seconds (900 unless set), then sets catalog_pid and
# host ("127.0.0.1:PORT"). A catalog that ends or stays silent ends the caller with a message:
# nothing may fall back to another service host.
catalog_start() {
  local catalog=$1 music=$2 listen=$3 out=$4 err=${5:-/dev/null}
  "$catalog" --music "$music" --listen "$listen" >"$out" 2>"$err" </dev/null &
  catalog_pid=$!
  local deadline=$((SECONDS + ${ORNIVEL_CATALOG_WAIT:-900}))
  host=
  while [ -z "$host" ]; do
    host=$(sed -n 's|.*listening on http://\([^ ]*\).*|\1|p' "$out" 2>/dev/null | head -1)
    [ -n "$host" ] && break
    if ! kill -0 "$catalog_pid" 2>/dev/null; then
      echo "ornivel-catalog did not start (is $listen taken?): $(cat "$err" 2>/dev/null)" >&2
      exit 1
    fi
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "ornivel-catalog did not say where it listens within ${ORNIVEL_CATALOG_WAIT:-900} s" >&2
      exit 1
    fi
    sleep 0.05
  done
}
