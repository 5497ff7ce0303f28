#!/usr/bin/env bash
# Headless Wine session for the Windows tests and the demo: one Xvfb on a free display
# and one Wine prefix, both under a state folder of the build (never the user's ~/.wine).
#
#   wine-session.sh start STATE_DIR   bring both up (idempotent, safe to call concurrently)
#   wine-session.sh stop  STATE_DIR   end the Wine server and Xvfb of that session
#   wine-session.sh env   STATE_DIR   print the exports that point a shell at the session
#   wine-session.sh prefix STATE_DIR  only make the prefix (for running on a real display)
set -euo pipefail

cmd=${1:?usage: wine-session.sh start|stop|env|prefix STATE_DIR}
state=$(mkdir -p "${2:?state dir}" && cd "$2" && pwd)
prefix="$state/prefix"

wine_env() {
  export WINEPREFIX="$prefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  # No Mono or Gecko installer dialogs in the test prefix.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  if [ -s "$state/display" ]; then export DISPLAY=":$(cat "$state/display")"; fi
}

display_alive() {
  [ -s "$state/display" ] && [ -S "/tmp/.X11-unix/X$(cat "$state/display")" ] &&
    [ -s "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null &&
    ! grep -q '^State:.*Z' "/proc/$(cat "$state/xvfb.pid")/status" 2>/dev/null
}

start_display() {
  display_alive && return 0
  rm -f "$state/display" "$state/xvfb.pid"
  # -displayfd lets the server pick a free display number and tell us which.
  setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -nolisten unix-abstract \
    3>"$state/display" </dev/null >"$state/xvfb.log" 2>&1 9>&- &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 1 200); do
    if [ -s "$state/display" ] && [ -S "/tmp/.X11-unix/X$(cat "$state/display")" ]; then
      return 0
    fi
    sleep 0.05
  done
  echo "wine-session: Xvfb did not start (see $state/xvfb.log)" >&2
  return 1
}

make_prefix() {  # make_prefix headless|desktop
  [ -f "$prefix/.gnatter-ready" ] && return 0
  rm -rf "$prefix"
  wineboot -i </dev/null >"$state/wineboot.log" 2>&1 9>&-
  wineserver -w 9>&-
  # Debian's Wine leaves its own fonts out of a new prefix.
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp -f /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/" 2>/dev/null || true
  {
    echo REGEDIT4
    if [ "${1:-headless}" = headless ]; then
      # Without a window manager, managed windows stall about 2 s on every close;
      # unmanaged ones close at once, and Wine draws their captions itself.
      printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
    fi
    cat <<'REG'

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"Segoe UI"="Open Sans"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"mscoree"=""
"mshtml"=""
REG
  } >"$state/settings.reg"
  wine regedit /S "$(winepath -w "$state/settings.reg" 2>/dev/null)" </dev/null >/dev/null 2>&1 9>&-
  wineserver -w 9>&-
  touch "$prefix/.gnatter-ready"
}

start_wine() {
  # A persistent server and one finished boot, with every standard stream on /dev/null:
  # otherwise Wine's background services inherit the caller's pipes (and ctest waits
  # for them forever).
  setsid wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
  wineboot </dev/null >/dev/null 2>&1 9>&- || true
}

case "$cmd" in
  start)
    exec 9>"$state/lock"
    flock 9
    wine_env
    start_display
    wine_env
    make_prefix headless
    start_wine
    ;;
  stop)
    wine_env
    wineserver -k </dev/null >/dev/null 2>&1 || true
    if [ -s "$state/xvfb.pid" ]; then
      kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
      for _ in $(seq 1 50); do display_alive || break; sleep 0.05; done
    fi
    rm -f "$state/display" "$state/xvfb.pid"
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
    echo
    ;;
  *) echo "usage: wine-session.sh start|stop|env|prefix STATE_DIR" >&2; exit 2 ;;
esac
