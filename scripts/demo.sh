#!/usr/bin/env bash
# Headless demo on a private Xvfb: screenshots of the launcher and of flies on a
# desktop-like background. Takes the output folder (default build/demo); prints the
# paths of the pictures it saved. Expects the Windows build in build/windows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$root/build/demo}" && cd "${1:-$root/build/demo}" && pwd)
bin="$root/build/windows/bin"
state="$out/wine"

if [ -f "$state/prefix/.gnatter-ready" ]; then
  echo "demo: starting a private X display and Wine"
else
  echo "demo: starting a private X display and making a Wine prefix for it (once; about half a minute)"
fi
"$root/scripts/wine-session.sh" start "$state"
trap '"$root/scripts/wine-session.sh" stop "$state" >/dev/null 2>&1 || true' EXIT
eval "$("$root/scripts/wine-session.sh" env "$state")"

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
  # ImageMagick 6 sets the root background and then reports 1; the picture is what counts.
  display -window root "$out/background.png" || true
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

if [ -f "$bin/gnatter.exe" ]; then
  echo "demo: flies on a desktop"
  make_background
  wine "$bin/gnatter.exe" -n 12 -t 0 -s 48 --seed 3 </dev/null >/dev/null 2>&1 &
  flies=$!
  sleep "${GNATTER_DEMO_LANDING_SECONDS:-6}"  # time for the flies to fly in and land
  # Without a notification area on the X display, Wine 8 shows the fly program's icon in
  # a "Wine System Tray" box of its own, which a Windows desktop never has: hide it.
  xdotool search --name '^Wine System Tray$' windowunmap --sync %@ >/dev/null 2>&1 ||
    echo "demo: Wine's tray box could not be hidden; it shows in the screenshot" >&2
  sleep 0.3
  import -window root "$out/flies.png"
  echo "demo: flies screenshot: $out/flies.png"
  wine "$bin/gnatter.exe" --stop </dev/null >/dev/null 2>&1 || true
  wait "$flies" || true
fi
