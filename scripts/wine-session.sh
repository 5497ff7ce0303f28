#!/usr/bin/env bash
# Headless Wine session for the Windows tests and the demo: one Xvfb on a free display
# and one Wine prefix, both under a state folder of the build (never the user's ~/.wine).
#
#   wine-session.sh start STATE_DIR   bring both up (idempotent, safe to call concurrently)
#   wine-session.sh stop  STATE_DIR   end the Wine server and Xvfb of that session
#   wine-session.sh env   STATE_DIR   print the exports that point a shell at the session
#   wine-session.sh prefix STATE_DIR  only make the prefix (for running on a real display)
#
# Every failure says which step failed and shows the end of that step's log, on standard
# error and in STATE_DIR/errors.log, so that a broken machine is diagnosed from one run.
set -uo pipefail

cmd=${1:?usage: wine-session.sh start|stop|env|prefix STATE_DIR}
state=$(mkdir -p "${2:?state dir}" && cd "$2" && pwd) || exit 1
prefix="$state/prefix"

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

xvfb_running() {
  [ -s "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null &&
    ! grep -q '^State:.*Z' "/proc/$(cat "$state/xvfb.pid")/status" 2>/dev/null
}

display_alive() {
  [ -s "$state/display" ] && [ -S "/tmp/.X11-unix/X$(cat "$state/display")" ] && xvfb_running
}

stop_display() {
  if [ -s "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    for _ in $(seq 1 50); do xvfb_running || break; sleep 0.05; done
  fi
  rm -f "$state/display" "$state/xvfb.pid"
}

start_display() {
  display_alive && return 0
  stop_display
  # Xvfb creates the socket folder only when run as root; a normal user needs it made.
  [ -d /tmp/.X11-unix ] || { mkdir -p /tmp/.X11-unix && chmod 1777 /tmp/.X11-unix; } 2>/dev/null || true
  # -displayfd lets the server pick a free display number and tell us which.
  setsid Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -nolisten unix-abstract \
    3>"$state/display" </dev/null >"$state/xvfb.log" 2>&1 9>&- &
  echo $! >"$state/xvfb.pid"
  for _ in $(seq 1 600); do
    display_alive && return 0
    xvfb_running || break
    sleep 0.05
  done
  fail "Xvfb did not come up on a display" "$state/xvfb.log"
}

prefix_complete() {
  [ -f "$prefix/system.reg" ] && [ -f "$prefix/user.reg" ] &&
    [ -d "$prefix/drive_c/windows/system32" ]
}

# Bumped whenever the prefix's settings below change, so older prefixes are made anew.
prefix_settings=2

make_prefix() {  # make_prefix headless|desktop
  [ "$(cat "$prefix/.gnatter-ready" 2>/dev/null)" = "$prefix_settings" ] && prefix_complete && return 0
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
    if [ "${1:-headless}" = headless ]; then
      # Without a window manager, managed windows stall about 2 s on every close;
      # unmanaged ones close at once, and Wine draws their captions itself.
      printf '\n[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Managed"="N"\n'
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
  echo "$prefix_settings" >"$prefix/.gnatter-ready"
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

start_session() {
  start_display || return 1
  wine_env
  make_prefix headless || return 1
  start_wine
}

case "$cmd" in
  start)
    exec 9>"$state/lock"
    flock 9
    wine_env
    # A machine busy with other work can lose a first attempt; a clean retry costs little.
    for attempt in 1 2 3; do
      start_session && exit 0
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
  *) echo "usage: wine-session.sh start|stop|env|prefix STATE_DIR" >&2; exit 2 ;;
esac
