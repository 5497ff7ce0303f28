#!/usr/bin/env bash
# Runs one Windows executable under the build's headless Wine session; CMake uses it
# as the cross-compiling emulator, so `ctest` runs Windows tests unchanged.
#
#   wine-run.sh [--two-monitors] [--compositor on|off] PROGRAM.exe [ARGS...]
#
# The session lives in <build>/wine, where <build> is the nearest folder above the
# executable that holds CMakeCache.txt (or $GNATTER_WINE_STATE when set); with
# --two-monitors in <build>/wine-two-monitors (or $GNATTER_WINE_STATE-two-monitors), a
# session of its own whose display has two monitors (see wine-session.sh).
# --compositor turns the session's compositor on or off for this one run and puts it back
# as it was afterwards. A run that is killed (a test's timeout) cannot put it back; it
# leaves a note, STATE/compositor.restore, that the next run of this script acts on.
# The program sees GNATTER_COMPOSITOR=on|off, so a test knows what the screen shows.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
usage="usage: wine-run.sh [--two-monitors] [--compositor on|off] PROGRAM.exe [ARGS...]"

layout=()
compositor=""
while [ $# -gt 0 ]; do
  case "$1" in
    --two-monitors) layout=(--two-monitors); shift ;;
    --compositor)
      [ "${2:-}" = on ] || [ "${2:-}" = off ] || { echo "$usage" >&2; exit 2; }
      compositor=$2
      shift 2
      ;;
    *) break ;;
  esac
done
exe=${1:?$usage}

state=${GNATTER_WINE_STATE:-}
if [ -z "$state" ]; then
  dir=$(cd "$(dirname "$exe")" && pwd)
  while [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
  [ -f "$dir/CMakeCache.txt" ] || { echo "wine-run: no build folder above $exe" >&2; exit 2; }
  state="$dir/wine"
fi
[ ${#layout[@]} -eq 0 ] || state="$state-two-monitors"

"$here/wine-session.sh" start "$state" "${layout[@]}"
eval "$("$here/wine-session.sh" env "$state")"

compositor_state() { if [ -s "$state/compositor.pid" ] && kill -0 "$(cat "$state/compositor.pid")" 2>/dev/null; then echo on; else echo off; fi; }
restore="$state/compositor.restore"

# A note left by a run that was killed before it could put the compositor back.
if [ -s "$restore" ]; then
  read -r wanted owner <"$restore" || true
  if ! kill -0 "${owner:-0}" 2>/dev/null; then
    "$here/wine-session.sh" compositor "$state" "${wanted:-off}" || true
    rm -f "$restore"
  fi
fi

if [ -z "$compositor" ]; then
  export GNATTER_COMPOSITOR=$(compositor_state)
  exec wine "$@"
fi

was=$(compositor_state)
echo "$was $$" >"$restore"
put_back() {
  "$here/wine-session.sh" compositor "$state" "$was" >/dev/null || true
  rm -f "$restore"
}
trap put_back EXIT
trap 'exit 143' TERM INT
"$here/wine-session.sh" compositor "$state" "$compositor"
export GNATTER_COMPOSITOR=$compositor
status=0
wine "$@" || status=$?
exit "$status"
