#!/usr/bin/env bash
# Refreshes the screenshots the documentation shows, docs/launcher.png and docs/flies.png,
# from the headless demo (scripts/demo.sh) of the current Windows build: it builds with the
# windows preset (the folder the demo runs from), runs the demo into build/docs-screenshots,
# then writes web-sized copies without metadata: the launcher at its own size, the flies
# scaled to 800 px wide, both reduced to a 256-colour palette. Prints the files it wrote.
# Commit the pictures after looking at them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
shots="$root/build/docs-screenshots"
docs="$root/docs"

command -v convert >/dev/null || { echo "update-docs-screenshots: ImageMagick's convert is missing (apt-get install imagemagick)" >&2; exit 1; }
# Both programs, even where an earlier configure left the fly program out.
cmake --preset windows -DGNATTER_BUILD_FLY=ON >/dev/null
cmake --build --preset windows -j 2 >/dev/null
rm -f "$shots/launcher.png" "$shots/flies.png"
"$root/scripts/demo.sh" "$shots" || { echo "update-docs-screenshots: the demo failed; docs/ left as it was" >&2; exit 1; }

mkdir -p "$docs"
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
else
  echo "update-docs-screenshots: no flies.png from the demo (is gnatter.exe built?); docs/flies.png left as it was" >&2
fi
