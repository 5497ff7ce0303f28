#!/usr/bin/env bash
# Headless demo on a private virtual display: screenshots of the launcher and of flies on
# a desktop-like background, as a Windows desktop shows them: a compositing manager runs,
# so the flies' see-through wings and soft edges are drawn with their true alpha. Then the
# native Linux fly program's flies on the same desktop (when the native build has it).
#
#   scripts/demo.sh [--no-compositor] [--two-monitors] [OUT]
#
# OUT is the output folder (default build/demo). --no-compositor shows what a bare X
# desktop draws instead (partly transparent pixels come out opaque). --two-monitors also
# photographs 30 flies on two monitors of different sizes (a second session; about half
# a minute more the first time). Prints the paths of the pictures it saved. Expects the
# Windows build in build/windows, and the native one in build/native.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
compositor=(--compositor)
two_monitors=false
while [ $# -gt 0 ]; do
  case "$1" in
    --no-compositor) compositor=(); shift ;;
    --two-monitors) two_monitors=true; shift ;;
    -*) echo "usage: demo.sh [--no-compositor] [--two-monitors] [OUT]" >&2; exit 2 ;;
    *) break ;;
  esac
done
out=$(mkdir -p "${1:-$root/build/demo}" && cd "${1:-$root/build/demo}" && pwd)
bin="$root/build/windows/bin"
session="$root/scripts/wine-session.sh"
state="$out/wine"
two_state="$out/wine-two-monitors"

if [ -f "$state/prefix/.gnatter-ready" ]; then
  echo "demo: starting a private X display and Wine"
else
  echo "demo: starting a private X display and making a Wine prefix for it (once; about half a minute)"
fi
"$session" start "$state" "${compositor[@]}"
trap '"$session" stop "$state" >/dev/null 2>&1 || true; "$session" stop "$two_state" >/dev/null 2>&1 || true' EXIT
eval "$("$session" env "$state")"

# X window id of the first window with this exact title, polled with a deadline.
wait_for_x_window() {
  local title=$1 id=""
  for _ in $(seq 1 300); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F " \"$title\": " | awk '{print $1; exit}')
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

# A desktop-like background: a soft gradient with a few icon-sized tiles and a taskbar.
make_background() {
  convert -size 1280x800 gradient:'#3a6ea5-#9cc3e6' \
    -fill '#f4f4f4' -draw 'roundrectangle 30,30 94,94 8,8' \
    -fill '#ffd166' -draw 'roundrectangle 30,130 94,194 8,8' \
    -fill '#06d6a0' -draw 'roundrectangle 30,230 94,294 8,8' \
    -fill '#ffffff' -draw 'roundrectangle 420,160 980,560 6,6' \
    -fill '#dfe6ee' -draw 'rectangle 420,160 980,190' \
    -fill '#1f2a36' -draw 'rectangle 0,760 1280,800' \
    "$out/background.png"
}

# Without a notification area on the X display, Wine 8 shows the fly program's icon in a
# "Wine System Tray" box of its own, which a Windows desktop never has: hide it.
hide_wine_tray() {
  xdotool search --name '^Wine System Tray$' windowunmap --sync %@ >/dev/null 2>&1 ||
    echo "demo: Wine's tray box could not be hidden; it shows in the screenshot" >&2
  sleep 0.3
}

# flies STATE PICTURE OPTIONS...: flies on that session's desktop, photographed once landed.
photograph_flies() {
  local where=$1 picture=$2
  shift 2
  "$session" background "$where" "$out/background.png"
  wine "$bin/gnatter.exe" "$@" </dev/null >/dev/null 2>&1 &
  local flies=$!
  sleep "${GNATTER_DEMO_LANDING_SECONDS:-6}"  # time for the flies to fly in and land
  hide_wine_tray
  "$session" screenshot "$where" "$picture"
  wine "$bin/gnatter.exe" --stop </dev/null >/dev/null 2>&1 || true
  wait "$flies" || true
}

echo "demo: starting the launcher"
wine "$bin/gnatter_gui.exe" </dev/null >/dev/null 2>&1 &
launcher=$!
id=$(wait_for_x_window "Gnatter Launcher") || { echo "demo: the launcher window did not appear" >&2; exit 1; }
sleep 1  # let the first paint reach the X server
import -window "$id" "$out/launcher.png"
echo "demo: launcher screenshot: $out/launcher.png"
wine taskkill /IM gnatter_gui.exe >/dev/null 2>&1 || true
wait "$launcher" && echo "demo: launcher closed (exit code 0)" || { echo "demo: launcher exit code $?" >&2; exit 1; }

[ -f "$bin/gnatter.exe" ] || exit 0
make_background
if [ ${#compositor[@]} -gt 0 ]; then
  echo "demo: flies on a desktop, drawn by a compositing manager as Windows draws them"
else
  echo "demo: flies on a desktop without a compositing manager (opaque wings)"
fi
photograph_flies "$state" "$out/flies.png" -n 12 -t 0 -s 48 --seed 3
echo "demo: flies screenshot: $out/flies.png"

# The same flies from the native Linux program, on the same display and desktop.
linux_flies="$root/build/native/bin/gnatter"
if [ -x "$linux_flies" ]; then
  echo "demo: the same flies from the native Linux program"
  "$linux_flies" -n 12 -t 0 -s 48 --seed 3 </dev/null >/dev/null 2>"$out/gnatter-linux.log" &
  flies=$!
  sleep "${GNATTER_DEMO_LANDING_SECONDS:-6}"
  "$session" screenshot "$state" "$out/flies-linux.png"
  "$linux_flies" --stop || true
  wait "$flies" && echo "demo: Linux flies screenshot: $out/flies-linux.png" ||
    { echo "demo: the Linux fly program ended with code $?:" >&2; cat "$out/gnatter-linux.log" >&2; exit 1; }
fi

if $two_monitors; then
  "$session" stop "$state" >/dev/null 2>&1 || true
  echo "demo: flies on two monitors, 1280x800 and 1024x768 (a second Wine session)"
  "$session" start "$two_state" --two-monitors "${compositor[@]}"
  eval "$("$session" env "$two_state")"
  photograph_flies "$two_state" "$out/flies-two-monitors.png" -n 30 -t 0 -s 40 --seed 3
  echo "demo: two-monitor screenshot: $out/flies-two-monitors.png"
fi
