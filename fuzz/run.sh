#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer, ASan and UBSan, and runs each for a while:
# fuzz/run.sh [seconds per target, default 60]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVELMORA_FUZZ=ON -DVELMORA_BUILD_TESTS=OFF -DVELMORA_BUILD_DEVSERVICE=OFF >/dev/null
cmake --build "$build" --target velmora_parsers_fuzzer -- -j"$(nproc)"
mkdir -p "$build/corpus/parsers"
cp "$root"/fuzz/seeds/* "$build/corpus/parsers/" 2>/dev/null || true
"$build/bin/velmora_parsers_fuzzer" -max_total_time="${1:-60}" -max_len=4096 -timeout=5 \
  "$build/corpus/parsers"
