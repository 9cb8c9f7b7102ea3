#!/usr/bin/env bash
# The first apply of a 3840x2160 JPEG on a 1920x1080 Xvfb root: a cold-cache `--refresh`
# (descriptor, download, verify, decode, paint the root) against, in the same session,
# `feh --bg-max` of the same file (peak RSS: what decoding and painting it costs the standard
# tool) and a pipeline of standard tools doing the whole job (curl for the descriptor and the
# file, openssl dgst for the digest, feh --bg-max to set it: wall time). Each figure is the median
# of several runs, from /usr/bin/time -v. Usage: bench/first-apply.sh BUILD_DIR [runs]
set -euo pipefail
build="$1"
runs="${2:-7}"
bin="$build/bin"
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# A photograph-like 4K picture: smooth gradients with grain, which JPEG neither shrinks to
# nothing nor bloats.
mkdir "$work/pictures"
convert -size 3840x2160 gradient:'#28589a-#f5b83c' -attenuate 0.4 +noise Gaussian -quality 90 \
  "$work/pictures/4k.jpg"
start_service --wallpapers "$work/pictures"
start_display 1920x1080x24
export HOME="$work"
data="$work/app-data"

# Enrol once; every measured run starts with an empty wallpaper cache.
"$bin/VelmoraWallpaper" --refresh --server "$origin" --app-data "$data" >/dev/null
write_headers "$data"
cold() { rm -rf "$data/wallpapers" "$data/last-wallpaper.json" "$work/pipeline.jpg"; }

# Prints "wall_seconds max_rss_kib" for one run of the given command.
measure() {
  local times
  times=$( { TIMEFORMAT='%3R'; time /usr/bin/time -v "$@" >/dev/null 2>"$work/time.txt"; } 2>&1 ) \
    || { cat "$work/time.txt" >&2; exit 1; }
  echo "$times $(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/time.txt")"
}

: >"$work/ours"; : >"$work/feh"; : >"$work/pipeline"
for _ in $(seq 1 "$runs"); do
  cold
  measure "$bin/VelmoraWallpaper" --refresh --server "$origin" --app-data "$data" >>"$work/ours"
  measure feh --no-fehbg --bg-max "$work/pictures/4k.jpg" >>"$work/feh"
  cold
  measure sh -c 'path=$(curl -sf -H "@$1" "$2/api/client/wallpaper/today" |
                        sed -n "s/.*\"downloadUrl\": *\"\([^\"]*\)\".*/\1/p") &&
                 curl -sf -H "@$1" "$2$path" -o "$3" && openssl dgst -sha256 "$3" &&
                 feh --no-fehbg --bg-max "$3"' \
    sh "$work/headers" "$origin" "$work/pipeline.jpg" >>"$work/pipeline"
done
[ -s "$work/pipeline.jpg" ] || { echo "the pipeline downloaded nothing" >&2; exit 1; }
ow=$(column "$work/ours" 1); orss=$(column "$work/ours" 2)
fw=$(column "$work/feh" 1); frss=$(column "$work/feh" 2)
pw=$(column "$work/pipeline" 1)
size=$(stat -c %s "$work/pictures/4k.jpg")
echo "first apply, $(( size / 1024 )) KiB 3840x2160 JPEG on a 1920x1080 Xvfb root, median of $runs runs"
awk -v ow="$ow" -v orss="$orss" -v fw="$fw" -v frss="$frss" -v pw="$pw" 'BEGIN {
  printf "  peak RSS  ours %.1f MB   feh --bg-max %.1f MB   ours/feh %.2fx\n", orss / 1024, frss / 1024, orss / frss
  printf "  wall      ours %.3f s   curl+openssl+feh %.3f s   ours/pipeline %.2fx   (feh alone %.3f s)\n", ow, pw, ow / pw, fw
}'
