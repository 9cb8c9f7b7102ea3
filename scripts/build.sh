#!/usr/bin/env bash
# Configures and builds one tree: scripts/build.sh [BUILD_DIR] [extra CMake arguments…]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
shift || true
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug "$@" >/dev/null
cmake --build "$build" -- -j"$(nproc)"
