#!/usr/bin/env bash
# Builds an optimised tree and runs every benchmark: bench/run.sh [payload MiB, default 256]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build-release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_TESTS=OFF >/dev/null
cmake --build "$root/build-release" -- -j"$(nproc)"
"$root/build-release/bin/velmora_transfer_bench" "${1:-256}"

"$root/bench/startup.sh" "$root/build-release" 31
"$root/bench/refresh.sh" "$root/build-release" 9
"$root/bench/first-apply.sh" "$root/build-release" 7

"$root/build-release/bin/velmora_tray_bench" "$root/build-release/bin/VelmoraWallpaper" \
  "$root/build-release/bin/velmora_bare_tray" 60
