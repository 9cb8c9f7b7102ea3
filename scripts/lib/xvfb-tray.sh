# Shows a tray application's icon and opened menu on a private X display, for screenshots.
# Sourced by scripts/demo.sh, which uses it like this (tray_stop belongs in its EXIT trap):
#
#   source "$root/scripts/lib/xvfb-tray.sh"
#   TRAY_WORK="$work/tray"        # optional: keep the logs (app.log, trayer.log) there
#   tray_start_display            # private Xvfb; exports DISPLAY
#   tray_start_host 480           # trayer, an XEmbed tray, 480 px from the top right corner
#   tray_start_app "$bin/VelmoraWallpaper" [options…]
#   tray_wait_icon                # until the icon sits in the tray
#   tray_open_menu                # right button: Qt's context menu
#   tray_menu_keys Down Right     # optional: walk into a submenu
#   tray_screenshot "$root/build/demo-menu.png" "$(tray_menu_area)"
#
# The application runs on a session bus of its own with no StatusNotifierWatcher on it: with a
# watcher Qt would show the icon through D-Bus instead, and nothing would appear in trayer. No
# window manager is needed: Qt's menus are override-redirect popups. Every function returns
# non-zero with a message on standard error when something does not come up in time.
# Needs: Xvfb, trayer, xdotool, x11-utils (xwininfo), x11-apps (xwd), imagemagick (convert),
# dbus-daemon, and a CJK font (fonts-wqy-microhei) for readable Chinese.

TRAY_WORK="${TRAY_WORK:-}"
TRAY_OWNS_WORK=""
TRAY_PIDS=()
TRAY_APP_PID=""
TRAY_ICON_WINDOW=""
TRAY_ICON_CLASS=""
TRAY_PANEL_WINDOW=""

_tray_fail() {
  echo "xvfb-tray: $*" >&2
  return 1
}

# Runs "$@" every 0.1 s until it succeeds or SECONDS_LIMIT seconds have passed.
_tray_poll() {
  local limit="$1"
  shift
  local tries=$((limit * 10))
  while ((tries-- > 0)); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

_tray_workdir() {
  if [ -n "$TRAY_WORK" ]; then
    mkdir -p "$TRAY_WORK"
  else
    TRAY_WORK="$(mktemp -d "${TMPDIR:-/tmp}/velmora-tray.XXXXXX")"
    TRAY_OWNS_WORK=1
  fi
}

# tray_start_display [WIDTHxHEIGHT]: a private Xvfb; Xvfb picks a free display number itself.
tray_start_display() {
  local size="${1:-1440x900}"
  _tray_workdir
  local number_file="$TRAY_WORK/display"
  : >"$number_file"
  Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset \
    3>"$number_file" >"$TRAY_WORK/xvfb.log" 2>&1 &
  TRAY_PIDS+=($!)
  _tray_poll 10 grep -q '[0-9]' "$number_file" ||
    _tray_fail "Xvfb did not start: $(cat "$TRAY_WORK/xvfb.log")" || return 1
  DISPLAY=":$(tr -dc 0-9 <"$number_file")"
  export DISPLAY
  unset WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION QT_QPA_PLATFORMTHEME
}

_tray_panel_viewable() {
  TRAY_PANEL_WINDOW="$(xdotool search --onlyvisible --name '^panel$' 2>/dev/null | head -n 1)"
  [ -n "$TRAY_PANEL_WINDOW" ]
}

# tray_start_host [MARGIN]: trayer at the top right of the screen, MARGIN pixels from the right
# edge (leave room there when submenus should open to the right of the menu).
tray_start_host() {
  local margin="${1:-0}"
  _tray_workdir
  trayer --edge top --align right --margin "$margin" --widthtype request --height 28 \
    --SetDockType true --SetPartialStrut true --transparent false --tint 0x303030 \
    >"$TRAY_WORK/trayer.log" 2>&1 &
  TRAY_PIDS+=($!)
  # trayer owns _NET_SYSTEM_TRAY_S0 before it maps its panel.
  _tray_poll 10 _tray_panel_viewable ||
    _tray_fail "trayer did not show its panel: $(cat "$TRAY_WORK/trayer.log")"
}

# tray_start_app PROGRAM [ARGUMENTS…]: the tray application on this display and a session bus of
# its own, on Qt's X11 platform (the offscreen one has no tray); its output goes to
# $TRAY_WORK/app.log.
tray_start_app() {
  _tray_workdir
  local runtime="$TRAY_WORK/runtime"
  mkdir -p "$runtime" && chmod 700 "$runtime"
  local address_file="$TRAY_WORK/bus-address"
  : >"$address_file"
  XDG_RUNTIME_DIR="$runtime" dbus-daemon --session --nofork --print-address=3 \
    3>"$address_file" >"$TRAY_WORK/bus.log" 2>&1 &
  TRAY_PIDS+=($!)
  _tray_poll 10 grep -q . "$address_file" ||
    _tray_fail "dbus-daemon did not start: $(cat "$TRAY_WORK/bus.log")" || return 1
  DBUS_SESSION_BUS_ADDRESS="$(head -n 1 "$address_file")" XDG_RUNTIME_DIR="$runtime" \
    QT_QPA_PLATFORM=xcb "$@" >"$TRAY_WORK/app.log" 2>&1 &
  TRAY_APP_PID=$!
  TRAY_PIDS+=("$TRAY_APP_PID")
}

# The first embedded client in the tray: trayer's own socket windows carry no WM_CLASS.
_tray_find_icon() {
  local line
  line="$(xwininfo -tree -id "$TRAY_PANEL_WINDOW" 2>/dev/null | grep -m 1 '("' || true)"
  [ -n "$line" ] || return 1
  TRAY_ICON_WINDOW="$(awk '{print $1}' <<<"$line")"
  TRAY_ICON_CLASS="$(sed -E 's/.*\("[^"]*" "([^"]*)"\).*/\1/' <<<"$line")"
}

_tray_icon_or_exit() {
  _tray_find_icon || ! kill -0 "$TRAY_APP_PID" 2>/dev/null
}

# tray_wait_icon [SECONDS]: until the application's icon is embedded in the tray.
tray_wait_icon() {
  local limit="${1:-15}"
  if _tray_poll "$limit" _tray_icon_or_exit && [ -n "$TRAY_ICON_WINDOW" ]; then
    return 0
  fi
  if kill -0 "$TRAY_APP_PID" 2>/dev/null; then
    _tray_fail "no icon in the tray after ${limit} s; application output:" || true
  else
    _tray_fail "the application ended before its icon appeared; its output:" || true
  fi
  cat "$TRAY_WORK/app.log" >&2 2>/dev/null
  return 1
}

# The application's visible top-level windows other than its icon: the open menu and submenus.
_tray_menu_windows() {
  local icon=$((TRAY_ICON_WINDOW))
  xdotool search --onlyvisible --class "$TRAY_ICON_CLASS" 2>/dev/null | grep -vx "$icon"
}

# tray_open_menu [SECONDS]: right-clicks the icon, which opens Qt's context menu (a left click
# only emits activated(Trigger)), and waits until the menu is shown.
tray_open_menu() {
  local limit="${1:-5}"
  [ -n "$TRAY_ICON_WINDOW" ] || _tray_fail "tray_wait_icon first" || return 1
  # shellcheck disable=SC2034 # all set by getwindowgeometry --shell
  local WINDOW X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$((TRAY_ICON_WINDOW))")"
  xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 3
  _tray_poll "$limit" _tray_menu_windows >/dev/null ||
    _tray_fail "the menu did not open within ${limit} s"
}

# tray_menu_keys KEY…: keys for the open menu, e.g. "Down Down Right" opens the submenu of the
# second enabled entry. Qt skips disabled entries and separators; each key is given time to act.
tray_menu_keys() {
  local key
  for key in "$@"; do
    xdotool key "$key"
    sleep 0.4
  done
}

# tray_menu_area: WIDTHxHEIGHT+X+Y around the icon and every open menu, 24 pixels wider each side.
tray_menu_area() {
  local window left=100000 top=100000 right=0 bottom=0
  # shellcheck disable=SC2034 # all set by getwindowgeometry --shell
  local WINDOW X Y WIDTH HEIGHT SCREEN
  for window in $((TRAY_ICON_WINDOW)) $(_tray_menu_windows); do
    eval "$(xdotool getwindowgeometry --shell "$window")"
    ((X < left)) && left=$X
    ((Y < top)) && top=$Y
    ((X + WIDTH > right)) && right=$((X + WIDTH))
    ((Y + HEIGHT > bottom)) && bottom=$((Y + HEIGHT))
  done
  left=$((left > 24 ? left - 24 : 0))
  top=$((top > 24 ? top - 24 : 0))
  echo "$((right + 24 - left))x$((bottom + 24 - top))+${left}+${top}"
}

# The open menus, bottom-most first (xwininfo lists the top-most first), as decimal window ids.
_tray_menus_bottom_up() {
  local visible window
  visible=" $(_tray_menu_windows | tr '\n' ' ') "
  for window in $(xwininfo -root -children | awk '{print $1}' | grep '^0x' | tac); do
    [[ "$visible" == *" $((window)) "* ]] && echo "$((window))"
  done
  return 0
}

# tray_screenshot FILE [WIDTHxHEIGHT+X+Y]: the screen, or that part of it, as PNG.
# Reading the root window on Xvfb misses a submenu that Qt moved to the other side of its parent
# (it reads as black there) although the submenu's own window holds its pixels, so each open menu
# is read from its window and laid over the screen in stacking order.
tray_screenshot() {
  local file="$1" crop="${2:-}" window layers=()
  # shellcheck disable=SC2034 # all set by getwindowgeometry --shell
  local WINDOW X Y WIDTH HEIGHT SCREEN
  xwd -root -silent | convert xwd:- "png:$TRAY_WORK/screen.png"
  for window in $(_tray_menus_bottom_up); do
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xwd -id "$window" -silent | convert xwd:- "png:$TRAY_WORK/window-$window.png"
    layers+=("$TRAY_WORK/window-$window.png" -geometry "+$X+$Y" -composite)
  done
  convert "$TRAY_WORK/screen.png" "${layers[@]}" ${crop:+-crop "$crop" +repage} "png:$file"
}

# tray_stop: ends what these functions started, newest first. Safe to call twice.
tray_stop() {
  local i
  for ((i = ${#TRAY_PIDS[@]} - 1; i >= 0; i--)); do
    kill "${TRAY_PIDS[i]}" 2>/dev/null || true
    wait "${TRAY_PIDS[i]}" 2>/dev/null || true
  done
  TRAY_PIDS=()
  TRAY_APP_PID=""
  if [ "${TRAY_OWNS_WORK:-}" = 1 ] && [ -n "$TRAY_WORK" ]; then
    rm -rf "$TRAY_WORK"
    TRAY_WORK=""
    TRAY_OWNS_WORK=""
  fi
}
