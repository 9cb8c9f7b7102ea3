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
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

start_service
start_display 1440x900x24
data="$work/app-data"

# Enrol and fill the cache once; every measured run below is warm.
"$bin/VelmoraWallpaper" --refresh --server "$origin" --app-data "$data" >/dev/null
cached="$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["fileName"])' "$data/last-wallpaper.json")"
cached="$data/wallpapers/$cached"
write_headers "$data"

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

: >"$work/ours"; : >"$work/base"
for _ in $(seq 1 "$runs"); do
  measure "$bin/VelmoraWallpaper" --refresh --server "$origin" --app-data "$data" >>"$work/ours"
  measure sh -c 'curl -sf -H "@$1" "$2/api/client/wallpaper/today" >/dev/null && openssl dgst -sha256 "$3"' \
    sh "$work/headers" "$origin" "$cached" >>"$work/base"
done
ow=$(column "$work/ours" 1); oc=$(column "$work/ours" 2); orss=$(column "$work/ours" 3)
bw=$(column "$work/base" 1); bc=$(column "$work/base" 2); brss=$(column "$work/base" 3)
size=$(stat -c %s "$cached")
echo "warm-cache refresh, $(( size / 1024 )) KiB wallpaper on a 1440x900 Xvfb root, median of $runs runs"
awk -v ow="$ow" -v oc="$oc" -v orss="$orss" -v bw="$bw" -v bc="$bc" -v brss="$brss" 'BEGIN {
  printf "  wall  ours %.3f s   curl+openssl %.3f s   ours/baseline %.2fx\n", ow, bw, (bw > 0 ? ow / bw : 0)
  printf "  cpu   ours %.3f s   curl+openssl %.3f s   ours/baseline %.2fx\n", oc, bc, (bc > 0 ? oc / bc : 0)
  printf "  peak RSS  ours %.1f MB   curl+openssl %.1f MB (largest single process)\n", orss / 1024, brss / 1024
}'
