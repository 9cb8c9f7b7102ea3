# Shared by the benchmark scripts (sourced): a scratch directory removed on exit with every
# process started here, the development service, a private Xvfb display, the credential as
# curl headers, and the median of a column of numbers.
work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench.XXXXXX")"
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT

# Starts velmora-devservice with the given options; sets `origin` to the address it prints.
start_service() {
  "$bin/velmora-devservice" --port 0 "$@" >"$work/service.log" 2>&1 &
  pids+=($!)
  origin=
  for _ in $(seq 1 100); do origin="$(head -n 1 "$work/service.log" 2>/dev/null || true)"; [ -n "$origin" ] && break; sleep 0.1; done
  [ -n "$origin" ] || { cat "$work/service.log" >&2; exit 1; }
}

# Starts Xvfb of the given geometry on a free display and exports DISPLAY, with no desktop named.
start_display() {
  local display= n
  for n in $(seq 150 180); do [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ] && { display=":$n"; break; }; done
  Xvfb "$display" -screen 0 "$1" -nolisten tcp -noreset >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
  export DISPLAY="$display"
  unset XDG_CURRENT_DESKTOP DESKTOP_SESSION WAYLAND_DISPLAY SWAYSOCK
}

# Writes the enrolled credential of data directory $1 as curl headers to $work/headers, so a
# baseline sends what the client sends; read here and never printed.
write_headers() {
  local field='import json,sys; print(json.load(open(sys.argv[1]))[sys.argv[2]])'
  printf 'Authorization: Bearer %s\nX-Device-Id: %s\n' \
    "$(python3 -c "$field" "$1/activation.json" token)" \
    "$(python3 -c "$field" "$1/activation.json" deviceId)" >"$work/headers"
  chmod 600 "$work/headers"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# The median of column $2 of file $1.
column() { awk -v c="$2" '{ print $c }' "$1" | median; }
