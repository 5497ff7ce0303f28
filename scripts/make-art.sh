#!/usr/bin/env bash
# Regenerate Gnatter's bitmap artwork from the vector fly in art/fly.svg:
#
#   res/gnatter.ico   program icon: white fly on a black rounded square,
#                     16/32/48/64/128 px as 32-bit DIBs and 256 px as PNG
#   res/fly.png       144x144 sprite: black fly on a clear ground, stored as
#                     an 8-bit, two-entry palette PNG
#   packaging/linux/icons/hicolor/
#                     the same icon for Linux desktops, laid out as the hicolor
#                     theme installs it: NxN/apps/gnatter.png at 16, 24, 32,
#                     48, 64, 128 and 256 px (the same pixels as the Windows
#                     icon at its sizes) and scalable/apps/gnatter.svg, a flat
#                     SVG without masks or CSS that draws the 256 px picture
#   build/art-preview/  enlarged previews and a contact sheet (not committed)
#
# The generated files are committed, so building Gnatter needs none of the
# tools below; only re-drawing the art does.  Every run ends by checking the
# outputs and exits non-zero if anything is off.
#
#   scripts/make-art.sh           render, then check
#   scripts/make-art.sh --check   only check the committed files
#
# Tools (Debian packages), installed when missing:
#   rsvg-convert    librsvg2-bin   renders the SVG
#   python3, PIL    python3-pil    pixel work, ICO/PNG assembly, checks
#                                  (scripts/make_art.py)
#   pngcheck        pngcheck       validates fly.png and the icon's 256 px PNG
#   icotool         icoutils       lists the finished icon as a cross-check
#
# The ICO is assembled by make_art.py, not by icotool: icotool sets the AND
# mask wherever alpha < 128, and we want it set exactly where alpha is 0.
#
# The 256 px PNG inside the icon is padded to exactly 8330 bytes with one
# space-filled tEXt comment, so the icon's directory, offsets and total size
# do not move whenever the art is re-rendered with another rsvg-convert or
# zlib.  If the PNG ever grows too big for that, make_art.py quantises its
# soft edges to fewer grey levels until it fits.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# Debian's own interpreter, which is the one python3-pil installs into.
PY=/usr/bin/python3

missing=()
command -v rsvg-convert >/dev/null 2>&1 || missing+=(librsvg2-bin)
command -v pngcheck >/dev/null 2>&1 || missing+=(pngcheck)
command -v icotool >/dev/null 2>&1 || missing+=(icoutils)
if ! [ -x "$PY" ] || ! "$PY" -c 'import PIL' >/dev/null 2>&1; then
    missing+=(python3 python3-pil)
fi
if [ "${#missing[@]}" -gt 0 ]; then
    echo "make-art: installing ${missing[*]}"
    SUDO=
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi

case "${1:-}" in
    "") "$PY" "$ROOT/scripts/make_art.py" build "$ROOT" ;;
    --check) ;;
    *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

# Checks: ICO directory, DIB headers, mask against alpha, grey-only pixels,
# clear corners; fly.png chunks, palette, tRNS and bounding box; the Linux
# icons' sizes and pixels, and the scalable one drawn against the 256 px PNG.
# This also extracts the icon's 256 px PNG for pngcheck.
"$PY" "$ROOT/scripts/make_art.py" verify "$ROOT"
pngcheck -v "$ROOT/res/fly.png"
pngcheck -v "$ROOT/build/art-preview/extracted-256.png"
pngcheck "$ROOT"/packaging/linux/icons/hicolor/*/apps/gnatter.png
icotool -l "$ROOT/res/gnatter.ico"
echo "make-art: done; previews in build/art-preview/"
