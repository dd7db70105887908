#!/usr/bin/env bash
# The main job on demo data, headless, in a temporary folder:
#   1. builds tessaly, sdbsql and feedserver (in build/) when missing;
#   2. makes a data folder with a dictionary from engine/tools/demo.sql
#      (EUR, USD, GBP in use, CHF and JPY not, the pair EUR/GBP barred);
#   3. serves the first day's feeds (scripts/demo/day1) on 127.0.0.1 and
#      writes a user hive naming the data folder and the feed host;
#   4. runs `tessaly AUTO`, then serves the next day's feeds and runs it again;
#   5. prints both status reports, the rows of CD_ExchangeRates and
#      CD_ExchangeRateHistory, and the record ID files.
# Exits 0 when both runs completed with status 0. Your own settings are not
# touched: the program sees only the demo's hives and work-files folder.
# Options: --keep leaves the temporary folder in place for a look.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
keep=0
[ "${1:-}" = "--keep" ] && keep=1

bash "$top/scripts/setup.sh"
build="$top/build"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja >/dev/null
fi
echo "== building tessaly, sdbsql, feedserver"
cmake --build "$build" -j2 --target tessaly sdbsql feedserver >/dev/null

demo=$(mktemp -d "${TMPDIR:-/tmp}/tessaly-demo-XXXXXX")
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  if [ "$keep" = 1 ]; then echo "== kept $demo"; else rm -rf "$demo"; fi
}
trap cleanup EXIT

data="$demo/data"
mkdir -p "$data/db" "$demo/feeds" "$demo/tmp" "$demo/hives" "$demo/run"
chmod 700 "$demo/run"
"$build/engine/tools/sdbsql" --create --file "$top/engine/tools/demo.sql" "$data/db/db.add" >/dev/null

# The feed server reads the files at each request, so the day changes by
# copying the next day's feeds over.
cp "$top"/scripts/demo/day1/*.xml "$demo/feeds/"
"$build/update/feedserver" "$demo/feeds" >"$demo/port" &
server_pid=$!
for _ in $(seq 100); do
  [ -s "$demo/port" ] && break
  sleep 0.05
done
port=$(head -n1 "$demo/port")
[ -n "$port" ] || { echo "the feed server did not start" >&2; exit 1; }

cat >"$demo/hives/user.ini" <<EOF
[Software\\Seavane]
DataFolder=$data/
RateFeedHost=127.0.0.1:$port
EOF

run() {
  echo
  echo "== $1: tessaly AUTO (feeds of $2)"
  local status=0
  env HOME="$demo" TMPDIR="$demo/tmp/" QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$demo/run" \
    SEAVANE_USER_HIVE="$demo/hives/user.ini" SEAVANE_MACHINE_HIVE="$demo/hives/machine.ini" \
    http_proxy= HTTP_PROXY= all_proxy= ALL_PROXY= \
    "$build/app/tessaly" AUTO || status=$?
  echo "== exit status $status"
  return "$status"
}

status=0
run "first run" "day 1" || status=1
cp "$top"/scripts/demo/day2/*.xml "$demo/feeds/"
run "second run" "day 2" || status=1

echo
echo "== CD_ExchangeRates"
"$build/engine/tools/sdbsql" --header "$data/db/db.add" \
  "SELECT ID, LocalCurrency, ForeignCurrency, ExchangeRate, SourceComment, LastUpdate, UPDATEDBYUSER FROM CD_ExchangeRates ORDER BY ID"
echo
echo "== CD_ExchangeRateHistory"
"$build/engine/tools/sdbsql" --header "$data/db/db.add" \
  "SELECT ID, LocalCurrency, ForeignCurrency, ExchangeRate, ValidUntil, UPDATEDBYUSER FROM CD_ExchangeRateHistory ORDER BY ID"
echo
echo "== record ID files in the data folder"
found=0
for f in "$data"/db/*.ID "$data"/DB/*.ID; do
  [ -f "$f" ] || continue
  found=1
  printf '%s: %s\n' "${f#"$data/"}" "$(tr -d '\r' <"$f")"
done
[ "$found" = 1 ] || { echo "(none)"; status=1; }
exit "$status"
