#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the client and the development service, and starts the
# menu-bar application against that service with a private data directory: it enrols by itself,
# downloads and verifies today's wallpaper and sets it on the desktop; its menu is the tray icon's.
#
# In a desktop session (DISPLAY or WAYLAND_DISPLAY set) the real tray and the real wallpaper are
# used; quit from the tray menu ("退出"). Without one, the application runs on a private Xvfb
# display with an XEmbed tray (trayer); the script opens the tray menu and one submenu, saves
# screenshots of the desktop with the open menu, prints their paths and quits the application.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
bin="$root/build/bin"
work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-demo.XXXXXX")"
source "$root/scripts/lib/xvfb-tray.sh"
pids=()
cleanup() {
  tray_stop
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
app=("$bin/VelmoraWallpaper" --server "$origin" --app-data "$work/app-data")

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  echo "\$ ${app[*]}"
  echo "The tray icon \"Velmora壁纸\" is in your panel; quit it from its menu (退出)."
  "${app[@]}"
  exit 0
fi

# Without a desktop: a private display, tray and user account, so nothing here touches the
# real user's settings or login agent. The first-use question is marked as answered, so the
# application goes straight from enrolment to today's wallpaper.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$work/app-data"
chmod 700 "$work/app-data"
: >"$work/app-data/startup-prompt-v1"
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION
TRAY_WORK="$work/tray"
tray_start_display 1440x900
tray_start_host 760
echo "No desktop session: a private Xvfb display $DISPLAY with an XEmbed tray"
echo "\$ ${app[*]}"
tray_start_app "${app[@]}"
tray_wait_icon 20
for _ in $(seq 1 200); do
  grep -q '"fileName"' "$work/app-data/last-wallpaper.json" 2>/dev/null && break
  sleep 0.1
done
grep -q '"fileName"' "$work/app-data/last-wallpaper.json" 2>/dev/null ||
  { echo "The wallpaper was not set; the application's log:" >&2; cat "$work/app-data/logs/client.log" "$TRAY_WORK/app.log" >&2; exit 1; }
sleep 0.5

tray_open_menu
menu="$root/build/demo-menu.png"
tray_screenshot "$menu"
tray_menu_keys Down Down Down Down Down Right Down Right
submenu="$root/build/demo-menu-settings.png"
tray_screenshot "$submenu"
tray_menu_keys Escape Escape Escape
echo "Screenshot of the desktop with the tray menu: $menu"
echo "Screenshot with the settings submenu open: $submenu"
"$bin/VelmoraWallpaper" --status --app-data "$work/app-data"
