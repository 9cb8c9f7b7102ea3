#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds, and runs the whole suite twice: in the normal build and
# in an AddressSanitizer/UndefinedBehaviorSanitizer build.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"

"$root/scripts/build.sh" "$root/build"
cmake --build "$root/build" --target check-format
(cd "$root/build" && ctest --output-on-failure -j"$(nproc)")

"$root/scripts/build.sh" "$root/build-sanitize" -DVELMORA_SANITIZE=ON
sanitize() {
  (cd "$root/build-sanitize" &&
    ASAN_OPTIONS="detect_leaks=1:abort_on_error=1$1" UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
    ctest --output-on-failure -j"$(nproc)" "${@:2}")
}
sanitize "" -E '^TrayApp\.'
# The tray application's leak check at exit unwinds allocation stacks in full: through the loaded
# module and libraries built without frame pointers, the fast unwinder stops before the library
# a suppression names. (Full unwinding is too slow for the rest of the suite.)
sanitize ":fast_unwind_on_malloc=0" -R '^TrayApp\.'

"$root/scripts/count-lines.sh"
