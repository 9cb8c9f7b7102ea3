#!/usr/bin/env bash
# A warm-cache `--refresh` (descriptor fetched, cached file verified, desktop set on a private
# Xvfb display, record written) against the least a refresh has to do, run with the standard
# tools in the same session: fetching the descriptor with curl and hashing the cached file
# with openssl. Wall time, CPU time and peak RSS come from /usr/bin/time -v; each figure is the
# median of several runs. Usage: bench/refresh.sh BUILD_DIR [runs]
set -euo pipefail
build="$1"
runs="${2:-7}"
bin="$build/bin"
work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench.XXXXXX")"
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

"$bin/velmora-devservice" --port 0 >"$work/service.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do origin="$(head -n 1 "$work/service.log" 2>/dev/null || true)"; [ -n "$origin" ] && break; sleep 0.1; done
for n in $(seq 150 180); do [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] && { display=":$n"; break; }; done
Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp -noreset >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY="$display"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION
data="$work/app-data"

# Enrol and fill the cache once; every measured run below is warm.
"$bin/VelmoraWallpaper" --refresh --server "$origin" --app-data "$data" >/dev/null
cached="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["fileName"])' "$data/last-wallpaper.json")"
cached="$data/wallpapers/$cached"
# The baseline sends the same credential; it is read here and never printed.
token="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["token"])' "$data/activation.json")"
device="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["deviceId"])' "$data/activation.json")"
printf 'Authorization: Bearer %s\nX-Device-Id: %s\n' "$token" "$device" >"$work/headers"
chmod 600 "$work/headers"

# Prints "wall_seconds cpu_seconds max_rss_kib" for one run of the given command: wall and CPU
# time from the shell's own clock (millisecond resolution; /usr/bin/time only has hundredths),
# peak RSS from /usr/bin/time -v.
measure() {
  local times
  times=$( { TIMEFORMAT='%3R %3U %3S'; time /usr/bin/time -v "$@" >/dev/null 2>"$work/time.txt"; } 2>&1 ) \
    || { cat "$work/time.txt" >&2; exit 1; }
  local rss
  rss=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")
  echo "$times $rss" | awk '{ printf "%.3f %.3f %d\n", $1, $2 + $3, $4 }'
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$work/ours"; : >"$work/base"
for _ in $(seq 1 "$runs"); do
  measure "$bin/VelmoraWallpaper" --refresh --server "$origin" --app-data "$data" >>"$work/ours"
  measure sh -c 'curl -sf -H "@$1" "$2/api/client/wallpaper/today" >/dev/null && openssl dgst -sha256 "$3"' \
    sh "$work/headers" "$origin" "$cached" >>"$work/base"
done
column() { awk -v c="$2" '{ print $c }' "$1" | median; }
ow=$(column "$work/ours" 1); oc=$(column "$work/ours" 2); orss=$(column "$work/ours" 3)
bw=$(column "$work/base" 1); bc=$(column "$work/base" 2); brss=$(column "$work/base" 3)
size=$(stat -c %s "$cached")
echo "warm-cache refresh, $(( size / 1024 )) KiB wallpaper on a 1440x900 Xvfb root, median of $runs runs"
awk -v ow="$ow" -v oc="$oc" -v orss="$orss" -v bw="$bw" -v bc="$bc" -v brss="$brss" 'BEGIN {
  printf "  wall  ours %.3f s   curl+openssl %.3f s   ours/baseline %.2fx\n", ow, bw, (bw > 0 ? ow / bw : 0)
  printf "  cpu   ours %.3f s   curl+openssl %.3f s   ours/baseline %.2fx\n", oc, bc, (bc > 0 ? oc / bc : 0)
  printf "  peak RSS  ours %.1f MB   curl+openssl %.1f MB (largest single process)\n", orss / 1024, brss / 1024
}'
