#!/usr/bin/env bash
# Builds the Debian package of the client in its own Release tree and checks it with lintian:
#   scripts/package.sh [BUILD_DIR]        (default build-package; the .deb lands in BUILD_DIR)
# The tree holds only the client: no tests, no development service, no benchmarks.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-package}"

# Debian's hardening flags (fortified functions, stack protector, read-only relocations) on top
# of the Release optimisation.
CPPFLAGS="$(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $CPPFLAGS"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_DEVSERVICE=OFF >/dev/null
cmake --build "$build" --target VelmoraWallpaper -- -j"$(nproc)"

rm -f "$build"/velmora-wallpaper_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb="$(ls "$build"/velmora-wallpaper_*.deb)"
echo "$deb"
# Errors fail the recipe; warnings and notes are printed for a person to weigh.
lintian --fail-on error --info "$deb"
