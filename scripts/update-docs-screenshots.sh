#!/usr/bin/env bash
# Refreshes the pictures the documentation shows:
#   docs/launcher.png, docs/flies.png, docs/flies-two-monitors.png  real screenshots
#       from the headless demo (scripts/demo.sh --two-monitors) of the current Windows
#       build under Wine with a compositing manager, so the flies' alpha is drawn as on
#       Windows: built with the windows preset, the demo run into build/docs-screenshots,
#       then web-sized copies without metadata (the launcher at its own size, the flies
#       800 and 1152 px wide, 256 colours); docs/flies-linux.png, the native Linux
#       program's flies from the same demo on the same desktop;
#   docs/flies-animated.gif, docs/fly-swat.gif  animations of seeded runs of the real fly
#       core, composited with true alpha as Windows shows the flies, by the native tool
#       bench/fly_animation.cpp (built with the native preset).
# Prints the files it wrote. Commit the pictures after looking at them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
shots="$root/build/docs-screenshots"
docs="$root/docs"

command -v convert >/dev/null || { echo "update-docs-screenshots: ImageMagick's convert is missing (apt-get install imagemagick)" >&2; exit 1; }
# Both programs, even where an earlier configure left the fly program out.
cmake --preset windows -DGNATTER_BUILD_FLY=ON >/dev/null
cmake --build --preset windows -j 2 >/dev/null
cmake --preset native >/dev/null
cmake --build --preset native -j 2 --target gnatter >/dev/null
rm -f "$shots/launcher.png" "$shots/flies.png" "$shots/flies-two-monitors.png" "$shots/flies-linux.png"
"$root/scripts/demo.sh" --two-monitors "$shots" || { echo "update-docs-screenshots: the demo failed; docs/ left as it was" >&2; exit 1; }

mkdir -p "$docs"
# The animations first: they need only the native build.
cmake --build --preset native -j 2 --target gnatter_fly_animation >/dev/null
animate() {  # animate OUT [fly_animation OPTIONS...]
  local out=$1
  shift
  "$root/build/native/bin/gnatter_fly_animation" "$@" --out "$out" >/dev/null
  local bytes
  bytes=$(stat -c %s "$out")
  echo "update-docs-screenshots: $out ($(identify -format '%wx%h' "$out[0]"), $bytes bytes)"
  [ "$bytes" -lt 2000000 ] || echo "update-docs-screenshots: $out is over 2 MB; shorten it" >&2
}
# The liveliest eight seconds of the first four minutes: real flies mostly sit still.
animate "$docs/flies-animated.gif" --seed 3 --flies 12 --fly-size 36 --variation 20 --picture 720x450 \
  --warmup 4 --seconds 8 --fps 30 --liveliest 240
# A pointer that creeps up on the nearest fly on the ground and clicks on it.
animate "$docs/fly-swat.gif" --seed 7 --flies 4 --fly-size 42 --picture 480x300 --warmup 4 \
  --seconds 6 --click 2 --chase --fps 30
# PNG8: one palette of at most 256 colours; no dithering, which would only add noise to
# the flat window colours and the smooth desktop gradient.
small_png() {  # small_png IN OUT [EXTRA convert OPTIONS...]
  local in=$1 out=$2
  shift 2
  convert "$in" -strip "$@" +dither -colors 256 \
    -define png:exclude-chunks=date,time -define png:compression-level=9 "PNG8:$out"
  echo "update-docs-screenshots: $out ($(identify -format '%wx%h' "$out"), $(stat -c %s "$out") bytes)"
}
small_png "$shots/launcher.png" "$docs/launcher.png"
if [ -f "$shots/flies.png" ]; then
  small_png "$shots/flies.png" "$docs/flies.png" -resize '800x>'
  small_png "$shots/flies-two-monitors.png" "$docs/flies-two-monitors.png" -resize '1152x>'
  small_png "$shots/flies-linux.png" "$docs/flies-linux.png" -resize '800x>'
else
  echo "update-docs-screenshots: no flies.png from the demo (is gnatter.exe built?); docs/flies.png left as it was" >&2
fi
