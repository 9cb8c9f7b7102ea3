#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the client and runs it. The refresh against the
# development service is not part of this build yet, so this shows the command line: the
# version, the usage text, and how a rejected command line is reported.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" "$root/build"
exe="$root/build/bin/VelmoraWallpaper"

run() {
  echo "\$ VelmoraWallpaper $*"
  set +e
  env -u DISPLAY -u WAYLAND_DISPLAY "$exe" "$@"
  echo "(exit status $?)"
  set -e
  echo
}
run --version
run --help
run --server
