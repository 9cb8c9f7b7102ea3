#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the client and the development service, and runs one real
# refresh against that service in a private data directory: enrol, fetch today's wallpaper,
# download and verify it, set it on the desktop.
#
# With a desktop session (DISPLAY or WAYLAND_DISPLAY set) the real wallpaper changes. Without
# one, the refresh runs on a private Xvfb display and a screenshot of the resulting desktop is
# saved; its path is printed.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
bin="$root/build/bin"
work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-demo.XXXXXX")"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# The service prints its origin on its first line.
"$bin/velmora-devservice" --port 0 --data "$work/service" >"$work/service.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  origin="$(head -n 1 "$work/service.log" 2>/dev/null || true)"
  [ -n "$origin" ] && break
  sleep 0.1
done
[ -n "${origin:-}" ] || { echo "velmora-devservice did not start:" >&2; cat "$work/service.log" >&2; exit 1; }
echo "Development service: $origin"

screenshot=""
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  display=""
  for n in $(seq 90 120); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
  done
  Xvfb "$display" -screen 0 1440x900x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  export DISPLAY="$display"
  unset XDG_CURRENT_DESKTOP DESKTOP_SESSION
  screenshot="$work/desktop.png"
  echo "No desktop session: using a private Xvfb display $DISPLAY"
fi

echo "\$ VelmoraWallpaper --refresh --server $origin --app-data $work/app-data"
"$bin/VelmoraWallpaper" --refresh --server "$origin" --app-data "$work/app-data"
"$bin/VelmoraWallpaper" --status --app-data "$work/app-data"

if [ -n "$screenshot" ]; then
  xwd -root -silent | convert xwd:- "png:$screenshot"
  keep="$root/build/demo-desktop.png"
  cp "$screenshot" "$keep"
  echo "Screenshot of the desktop: $keep"
fi
