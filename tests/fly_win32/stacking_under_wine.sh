#!/usr/bin/env bash
# gnatter.exe's fly windows as the X server stacks them under Wine, with no window manager:
# another program's window (Notepad) opened over resting flies, and then clicked, must
# have every shown fly window above it again within a second, as `xwininfo -root
# -children` lists them (topmost first). Under Wine a window made later starts above
# every X window there is, topmost or not, so this is what a user there would see.
#
#   stacking_under_wine.sh BIN_DIR on|off    (with or without a compositing manager)
#
# Uses the build's Wine session as scripts/wine-run.sh does: BIN_DIR/../wine, or
# $GNATTER_WINE_STATE. Puts the compositor back as it was.
set -euo pipefail
bin=$(cd "${1:?usage: stacking_under_wine.sh BIN_DIR on|off}" && pwd)
wanted=${2:?usage: stacking_under_wine.sh BIN_DIR on|off}
root=$(cd "$(dirname "$0")/../.." && pwd)
session="$root/scripts/wine-session.sh"
state=${GNATTER_WINE_STATE:-$(dirname "$bin")/wine}
"$session" start "$state" >/dev/null
eval "$("$session" env "$state")"

was=off
if [ -s "$state/compositor.pid" ] && kill -0 "$(cat "$state/compositor.pid")" 2>/dev/null; then was=on; fi
cleanup() {
  wine "$bin/gnatter.exe" --stop >/dev/null 2>&1 || true
  [ -n "${notepad:-}" ] && kill "$notepad" 2>/dev/null || true
  wine taskkill /IM notepad.exe >/dev/null 2>&1 || true
  "$session" compositor "$state" "$was" >/dev/null 2>&1 || true
}
trap cleanup EXIT
"$session" compositor "$state" "$wanted" >/dev/null

# Shown fly windows lying below the X window $1 in the stacking order.
buried_flies() {
  local cover=$1 shown
  shown=$(xdotool search --onlyvisible --class gnatter.exe 2>/dev/null | sort -u)
  xwininfo -root -children | awk -v cover="$cover" -v shown="$shown" '
    BEGIN { n = split(shown, ids, "\n"); for (i = 1; i <= n; i++) visible[sprintf("0x%x", ids[i])] = 1 }
    $1 ~ /^0x/ { id = $1; if (id == cover) below = 1; else if (below && (id in visible) && /gnatter.exe/) print id }'
}

wine "$bin/gnatter.exe" -n 10 -t 0 -s 36 --seed 1 >/dev/null 2>&1 &
sleep 15  # the flies arrive, look round and mostly rest
wine notepad >/dev/null 2>&1 &
notepad=$!
cover=""
for _ in $(seq 1 100); do
  cover=$(xdotool search --onlyvisible --name ' - Notepad$' 2>/dev/null | head -n 1) && [ -n "$cover" ] && break
  sleep 0.1
done
[ -n "$cover" ] || { echo "Notepad did not open"; exit 1; }
cover=$(printf '0x%x' "$cover")
# Over the middle of the screen, where flies rest on the screen's and its own edges.
xdotool windowmove --sync "$cover" 200 150 >/dev/null 2>&1 || true

failed=0
for after in opened clicked; do
  if [ "$after" = clicked ]; then xdotool mousemove 600 400 click 1; fi
  sleep 1
  buried=$(buried_flies "$cover")
  if [ -n "$buried" ]; then
    echo "compositor $wanted: 1 s after Notepad was $after, these fly windows lie below it: $(echo $buried)"
    failed=1
  else
    echo "compositor $wanted: 1 s after Notepad was $after, every shown fly window is above it"
  fi
done
[ "$(xdotool search --onlyvisible --class gnatter.exe | wc -l)" -ge 5 ] || { echo "too few flies shown to tell"; exit 1; }
exit "$failed"
