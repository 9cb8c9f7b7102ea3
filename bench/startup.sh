#!/usr/bin/env bash
# Start-up of the quick commands, `--version` and `--status` (of an enrolled data directory),
# against a QtCore program that prints one line and /bin/true, in the same run and in turn.
# Wall time is the shell's own clock around each run (microseconds); each figure is the
# median of the runs, each ratio the median of the per-pair ratios, so a drift in the machine's
# speed during the run cancels out. Usage: bench/startup.sh BUILD_DIR [runs, default 31]
set -euo pipefail
build="$1"
runs="${2:-31}"
bin="$build/bin"
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# An enrolled data directory: --status then reads a credential file, as on a user's machine.
start_service
data="$work/app-data"
"$bin/VelmoraWallpaper" --register --server "$origin" --app-data "$data" >/dev/null
grep -q '^activated=yes$' <("$bin/VelmoraWallpaper" --status --app-data "$data")

# Prints the wall microseconds of one run of the given command (bash's own clock, no fork).
measure() {
  local start end
  start=${EPOCHREALTIME/./}
  "$@" >/dev/null
  end=${EPOCHREALTIME/./}
  echo $(( end - start ))
}

names=(version status core true)
commands=("$bin/VelmoraWallpaper --version"
          "$bin/VelmoraWallpaper --status --app-data $data"
          "$bin/velmora_minimal_core"
          "/bin/true")
for name in "${names[@]}"; do : >"$work/$name"; done
# One warm-up round, then the counted ones.
for round in $(seq 0 "$runs"); do
  for i in "${!names[@]}"; do
    # shellcheck disable=SC2086
    if [ "$round" -gt 0 ]; then measure ${commands[$i]} >>"$work/${names[$i]}"; else ${commands[$i]} >/dev/null; fi
  done
done
paste "$work/version" "$work/status" "$work/core" "$work/true" >"$work/rounds"
ratio() { awk -v a="$1" -v b="$2" '{ print $a / $b }' "$work/rounds" | median; }
ms() { median <"$work/$1" | awk '{ printf "%.2f ms", $1 / 1000 }'; }
echo "start-up, wall time, median of $runs rounds (each round runs all four in turn)"
printf '  --version        %s   /minimal QtCore %.2fx   /true %.2fx\n' "$(ms version)" "$(ratio 1 3)" "$(ratio 1 4)"
printf '  --status         %s   /minimal QtCore %.2fx   /true %.2fx\n' "$(ms status)" "$(ratio 2 3)" "$(ratio 2 4)"
printf '  minimal QtCore   %s   /true %.2fx\n' "$(ms core)" "$(ratio 3 4)"
printf '  /bin/true        %s\n' "$(ms true)"
