#!/usr/bin/env bash
# Headless Wine session for the Windows tests and the demo: one virtual X display and one
# Wine prefix, both under a state folder of the build (never the user's ~/.wine).
#
#   wine-session.sh start STATE_DIR [--two-monitors] [--compositor]
#       bring both up (idempotent, safe to call concurrently). The display is one Xvfb
#       screen of 1280x800; with --two-monitors it is Xephyr with two screens joined by
#       Xinerama, 1280x800 and 1024x768 side by side, tops aligned, which Wine reports
#       as two monitors (0,0-1280,800 and 1280,0-2304,768; the strip under the smaller
#       one belongs to neither). A state folder keeps the layout it was made with: use
#       one folder per layout. --compositor also turns the compositor on (see below).
#   wine-session.sh stop  STATE_DIR   end the Wine server, the compositor and the display
#   wine-session.sh env   STATE_DIR   print the exports that point a shell at the session
#   wine-session.sh prefix STATE_DIR  only make the prefix (for running on a real display)
#   wine-session.sh compositor STATE_DIR on|off
#       start (idempotent) or stop a compositing manager (xcompmgr) on the session's
#       display; its pid is kept in STATE_DIR/compositor.pid. With it, Wine draws layered
#       windows with their per-pixel alpha as Windows does (see-through wings, soft
#       shadows); without it partly transparent pixels come out opaque. Turning it on
#       gives the root window a plain background first when it has none the compositor
#       can read.
#   wine-session.sh background STATE_DIR IMAGE|#RRGGBB
#       set the desktop background, as the root window's pixmap and its _XROOTPMAP_ID
#       (what the compositor paints under the windows); an image fills each monitor.
#   wine-session.sh screenshot STATE_DIR FILE
#       save what the monitors show, as one picture of the whole virtual screen.
#
# STATE_DIR/display holds the display number the session's programs use, and
# STATE_DIR/xvfb.pid the pid of that X server (Xephyr with two monitors, itself shown
# on a private Xvfb: STATE_DIR/host-display, STATE_DIR/host.pid).
# Every failure says which step failed and shows the end of that step's log, on standard
# error and in STATE_DIR/errors.log, so that a broken machine is diagnosed from one run.
set -uo pipefail

usage="usage: wine-session.sh start|stop|env|prefix|compositor|background|screenshot STATE_DIR [...]"
cmd=${1:?$usage}
state=$(mkdir -p "${2:?state dir}" && cd "$2" && pwd) || exit 1
shift 2
prefix="$state/prefix"

# The two monitors' sizes, left to right.
first_monitor=1280x800
second_monitor=1024x768
# The background the compositor gets when nobody set one: the default Windows blue.
plain_background='#3a6ea5'

wine_env() {
  export WINEPREFIX="$prefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko installer dialogs in the test prefix.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -s "$state/display" ]; then export DISPLAY=":$(cat "$state/display")"; fi
  # Wine names Unix files in the locale's character set; in a bare C locale (as a CI job
  # or a cron job may have) a folder name in Cyrillic or Chinese has no Unix name at all.
  if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then export LC_ALL=C.UTF-8; fi
}

fail() {  # fail MESSAGE [LOG]: report a failed step, with the end of its log
  {
    echo "wine-session: $1"
    if [ -n "${2:-}" ] && [ -s "$2" ]; then sed -e 's/^/  | /' "$2" | tail -n 15; fi
  } | tee -a "$state/errors.log" >&2
  return 1
}

running() {  # running PIDFILE: the process lives (a zombie does not count)
  [ -s "$1" ] && kill -0 "$(cat "$1")" 2>/dev/null &&
    ! grep -q '^State:.*Z' "/proc/$(cat "$1")/status" 2>/dev/null
}

stop_process() {  # stop_process PIDFILE: end it, wait up to 2.5 s, forget it
  if [ -s "$1" ]; then
    kill "$(cat "$1")" 2>/dev/null || true
    for _ in $(seq 1 50); do running "$1" || break; sleep 0.05; done
  fi
  rm -f "$1"
}

socket_of() { echo "/tmp/.X11-unix/X$(cat "$1" 2>/dev/null)"; }

layout_now() { cat "$state/layout" 2>/dev/null || echo one; }

display_alive() {
  [ -s "$state/display" ] && [ -S "$(socket_of "$state/display")" ] && running "$state/xvfb.pid" &&
    { [ "$(layout_now)" = one ] || running "$state/host.pid"; }
}

stop_display() {
  stop_process "$state/compositor.pid"
  stop_process "$state/xvfb.pid"
  stop_process "$state/host.pid"
  rm -f "$state/display" "$state/host-display"
}

# x_server PIDFILE DISPLAYFILE LOG COMMAND...: starts an X server that picks a free
# display number itself (-displayfd) and waits until it accepts connections. -noreset:
# a server whose last client leaves would otherwise start afresh, dropping the desktop
# background (and refusing connections while it does).
x_server() {
  local pidfile=$1 displayfile=$2 log=$3
  shift 3
  setsid "$@" -displayfd 3 -noreset -nolisten tcp -nolisten unix-abstract \
    3>"$displayfile" </dev/null >"$log" 2>&1 9>&- &
  echo $! >"$pidfile"
  for _ in $(seq 1 600); do
    [ -s "$displayfile" ] && [ -S "$(socket_of "$displayfile")" ] && return 0
    running "$pidfile" || break
    sleep 0.05
  done
  fail "$(basename "$1") did not come up on a display" "$log"
}

start_display() {  # start_display one|two-monitors
  display_alive && [ "$(layout_now)" = "$1" ] && return 0
  stop_display
  # X servers create the socket folder only when run as root; a normal user needs it made.
  [ -d /tmp/.X11-unix ] || { mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix; } 2>/dev/null || true
  echo "$1" >"$state/layout"
  if [ "$1" = one ]; then
    x_server "$state/xvfb.pid" "$state/display" "$state/xvfb.log" Xvfb -screen 0 1280x800x24
    return
  fi
  # Xvfb can put several screens under Xinerama but not side by side; Xephyr places each
  # screen's window on its host, and Xinerama joins them in the same places. The host is
  # as wide as both, black where neither reaches.
  local w1=${first_monitor%x*} h1=${first_monitor#*x} w2=${second_monitor%x*} h2=${second_monitor#*x}
  x_server "$state/host.pid" "$state/host-display" "$state/host.log" \
    Xvfb -screen 0 "$((w1 + w2))x$((h1 > h2 ? h1 : h2))x24" -br || return 1
  DISPLAY=":$(cat "$state/host-display")" x_server "$state/xvfb.pid" "$state/display" "$state/xvfb.log" \
    Xephyr -screen "$first_monitor+0+0" -screen "$second_monitor+$w1+0" +xinerama -no-host-grab
}

prefix_complete() {
  [ -f "$prefix/system.reg" ] && [ -f "$prefix/user.reg" ] &&
    [ -d "$prefix/drive_c/windows/system32" ]
}

# Bumped whenever the prefix's settings below change, so older prefixes are made anew.
prefix_settings=2

make_prefix() {  # make_prefix headless|desktop [one|two-monitors]
  local ready="$prefix_settings"
  [ "${2:-one}" = one ] || ready="$prefix_settings $2"
  [ "$(cat "$prefix/.gnatter-ready" 2>/dev/null)" = "$ready" ] && prefix_complete && return 0
  wineserver -k </dev/null >/dev/null 2>&1 9>&-
  rm -rf "$prefix"
  local status=0
  wineboot -i </dev/null >"$state/wineboot.log" 2>&1 9>&- || status=$?
  wineserver -w </dev/null >/dev/null 2>&1 9>&-
  # wineboot's exit status alone says little; the prefix's own files say whether it is usable.
  prefix_complete || fail "wineboot -i did not create the prefix (exit $status)" "$state/wineboot.log" ||
    return 1
  # Debian's Wine leaves its own fonts out of a new prefix.
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp -f /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  {
    echo REGEDIT4
    printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n'
    if [ "${1:-headless}" = headless ]; then
      # Without a window manager, managed windows stall about 2 s on every close;
      # unmanaged ones close at once, and Wine draws their captions itself.
      printf '"Managed"="N"\n'
    fi
    if [ "${2:-one}" = two-monitors ]; then
      # Xephyr's RandR knows one output as large as both screens; Xinerama knows the two.
      printf '"UseXRandR"="N"\n'
    fi
    # Windows' GUI font is not free; Roboto stands in for it. Of the sans-serif fonts that
    # Debian packages, its widths come closest to Segoe UI's: a frequency-weighted average
    # advance of 0.443 em against Segoe UI's published 0.443 (Open Sans: 0.469), and
    # "No timeout" at 16 px is 80 px wide in it, 86 px in Open Sans.
    cat <<'REG'

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Segoe UI"="Roboto"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""
REG
  } >"$state/settings.reg"
  wine regedit /S 'Z:\'"$(sed 's|^/||; s|/|\\|g' <<<"$state/settings.reg")" \
    </dev/null >"$state/regedit.log" 2>&1 9>&- || status=$?
  wineserver -w </dev/null >/dev/null 2>&1 9>&-
  grep -q '"Segoe UI"="Roboto"' "$prefix/user.reg" ||
    fail "regedit did not store the prefix's settings (exit $status)" "$state/regedit.log" || return 1
  echo "$ready" >"$prefix/.gnatter-ready"
}

start_wine() {
  # A persistent server and one finished boot, with every standard stream on /dev/null:
  # otherwise Wine's background services inherit the caller's pipes (and ctest waits
  # for them forever).
  setsid wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
  wineboot </dev/null >/dev/null 2>&1 9>&- || true
}

stop_session() {
  wine_env
  wineserver -k </dev/null >/dev/null 2>&1 9>&-
  stop_display
}

start_session() {  # start_session one|two-monitors
  # A server that was started for the other layout holds the old display: end it first.
  if [ "$(layout_now)" != "$1" ] && [ -s "$state/display" ]; then stop_session; fi
  start_display "$1" || return 1
  wine_env
  make_prefix headless "$1" || return 1
  start_wine
}

# ---- the compositor and the desktop background ----

# The compositor is ready once it owns the display's compositing-manager selection,
# which xcompmgr takes through a window of its own name.
compositor_window() { xwininfo -root -tree 2>/dev/null | grep -q '^ *0x[0-9a-f]* "xcompmgr"'; }

set_background() {  # set_background IMAGE|#RRGGBB (DISPLAY set)
  local log="$state/background.log"
  if [[ $1 == \#* ]]; then
    hsetroot -solid "$1" >"$log" 2>&1
  else
    [ -f "$1" ] || { fail "no background picture $1"; return 1; }
    hsetroot -fill "$1" >"$log" 2>&1
  fi || fail "hsetroot could not set the background to $1" "$log"
}

compositor_on() {
  running "$state/compositor.pid" && compositor_window && return 0
  stop_process "$state/compositor.pid"
  if compositor_window; then
    fail "another compositing manager already runs on $DISPLAY; stop it first"
    return 1
  fi
  # Without _XROOTPMAP_ID the compositor paints the desktop grey, whatever the root shows.
  if ! xprop -root _XROOTPMAP_ID 2>/dev/null | grep -q 'pixmap id'; then
    set_background "$plain_background" || return 1
  fi
  setsid xcompmgr </dev/null >"$state/compositor.log" 2>&1 9>&- &
  echo $! >"$state/compositor.pid"
  for _ in $(seq 1 200); do
    compositor_window && running "$state/compositor.pid" && return 0
    running "$state/compositor.pid" || break
    sleep 0.05
  done
  stop_process "$state/compositor.pid"
  fail "xcompmgr did not start on $DISPLAY" "$state/compositor.log"
}

compositor_off() {
  stop_process "$state/compositor.pid"
  # The server paints the windows itself again once the compositor's connection is gone.
  for _ in $(seq 1 100); do compositor_window || return 0; sleep 0.05; done
  fail "the compositing manager on $DISPLAY did not go away"
}

need_display() {
  display_alive || { fail "no display in $state; run wine-session.sh start $state first"; return 1; }
  wine_env
}

screenshot() {  # screenshot FILE
  local log="$state/screenshot.log"
  if [ "$(layout_now)" = one ]; then
    import -window root "$1" >"$log" 2>&1
  else
    # Under Xinerama the root window's contents come from the first screen only once a
    # compositor runs; the host's picture of both screens' windows is what a user sees.
    DISPLAY=":$(cat "$state/host-display")" import -window root "$1" >"$log" 2>&1
  fi || fail "import could not take a screenshot into $1" "$log"
}

case "$cmd" in
  start)
    layout=one
    compositor=false
    for option in "$@"; do
      case "$option" in
        --two-monitors) layout=two-monitors ;;
        --compositor) compositor=true ;;
        *) echo "$usage" >&2; exit 2 ;;
      esac
    done
    exec 9>"$state/lock"
    flock 9
    wine_env
    # A machine busy with other work can lose a first attempt; a clean retry costs little.
    for attempt in 1 2 3; do
      if start_session "$layout"; then
        $compositor || exit 0
        wine_env
        compositor_on && exit 0
        exit 1
      fi
      echo "wine-session: attempt $attempt of 3 failed" | tee -a "$state/errors.log" >&2
      stop_session
      rm -f "$prefix/.gnatter-ready"
      sleep 2
    done
    exit 1
    ;;
  stop)
    stop_session
    ;;
  prefix)
    exec 9>"$state/lock"
    flock 9
    wine_env
    make_prefix desktop
    ;;
  env)
    wine_env
    printf 'export WINEPREFIX=%q WINEARCH=win64 WINEDEBUG=%q WINEDLLOVERRIDES=%q' \
      "$WINEPREFIX" "$WINEDEBUG" "$WINEDLLOVERRIDES"
    [ -n "${DISPLAY:-}" ] && printf ' DISPLAY=%q' "$DISPLAY"
    [ -n "${LC_ALL:-}" ] && printf ' LC_ALL=%q' "$LC_ALL"
    echo
    ;;
  compositor)
    exec 9>"$state/lock"
    flock 9
    need_display || exit 1
    case "${1:-}" in
      on) compositor_on ;;
      off) compositor_off ;;
      *) echo "usage: wine-session.sh compositor STATE_DIR on|off" >&2; exit 2 ;;
    esac
    ;;
  background)
    [ -n "${1:-}" ] || { echo "usage: wine-session.sh background STATE_DIR IMAGE|#RRGGBB" >&2; exit 2; }
    need_display || exit 1
    set_background "$1"
    ;;
  screenshot)
    [ -n "${1:-}" ] || { echo "usage: wine-session.sh screenshot STATE_DIR FILE" >&2; exit 2; }
    need_display || exit 1
    screenshot "$1"
    ;;
  *) echo "$usage" >&2; exit 2 ;;
esac
