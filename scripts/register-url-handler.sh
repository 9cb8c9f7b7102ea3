#!/usr/bin/env bash
# Makes this user's desktop open velmora:// links with a client that is not installed, such as
# the one in a build tree: scripts/register-url-handler.sh [EXECUTABLE]
# (default: build/bin/VelmoraWallpaper of this checkout). Writes
# ~/.local/share/applications/velmora-wallpaper.desktop, refreshes the desktop database when
# that tool is there and makes the entry the default handler of the velmora scheme.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
executable="${1:-$root/build/bin/VelmoraWallpaper}"
[ -x "$executable" ] || { echo "Not an executable: $executable (build it first)" >&2; exit 1; }
executable="$(cd "$(dirname "$executable")" && pwd)/$(basename "$executable")"

applications="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
mkdir -p "$applications"
entry="$applications/velmora-wallpaper.desktop"
# The Exec key quotes the path as desktop entries ask: within double quotes a backslash, double
# quote, backquote or dollar sign takes a backslash, every backslash is then doubled once more
# (the value is itself an escaped string), and a per cent sign is doubled.
quoted="$(printf '%s' "$executable" | sed -e 's/[\\"`$]/\\&/g' -e 's/\\/\\\\/g' -e 's/%/%%/g')"
EXEC_VALUE="\"$quoted\" %u" awk '/^Exec=/ { print "Exec=" ENVIRON["EXEC_VALUE"]; next } { print }' \
  "$root/resources/velmora-wallpaper.desktop" >"$entry.tmp"
mv -f "$entry.tmp" "$entry"

if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry"; fi
if command -v update-desktop-database >/dev/null; then update-desktop-database "$applications"; fi
xdg-mime default velmora-wallpaper.desktop x-scheme-handler/velmora
echo "velmora:// links now open with $executable ($entry)"
