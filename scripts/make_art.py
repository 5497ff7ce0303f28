#!/usr/bin/env python3
"""Build (and check) Gnatter's bitmap artwork from art/fly.svg.

Called by scripts/make-art.sh; see there for the tools it relies on.

  make_art.py build  ROOT   render res/gnatter.ico, res/fly.png, the Linux
                            icons and previews
  make_art.py verify ROOT   check the committed outputs, exit 1 on mismatch

Outputs
  res/gnatter.ico  six images, 16/32/48/64/128 as 32-bit DIBs and 256 as a
                   grey+alpha PNG: a white fly on a black rounded square.
  res/fly.png      144x144 two-entry palette PNG: black fly, clear ground.
  packaging/linux/icons/hicolor/
                   the same icon for Linux desktops, laid out as installed:
                   NxN/apps/gnatter.png (grey+alpha PNGs, 16 to 256 px) and
                   scalable/apps/gnatter.svg, a flat SVG without masks, CSS or
                   links, so that every icon loader draws it alike.  The
                   design is the Windows one: the black tile brings its own
                   ground, so the white fly reads on light and dark panels
                   alike, where a bare fly of either colour would vanish on
                   one of them.

The ICO is put together here rather than with icotool: icotool derives the
AND mask from "alpha < 128", while we want a mask bit set exactly where a
pixel is fully transparent, so that soft edges are not punched out by
programs that look at the mask.
"""

import io
import os
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
import zlib

from PIL import Image

# ---------------------------------------------------------------- constants

ICON_SIZES = (16, 32, 48, 64, 128, 256)
# The hicolor theme's usual fixed sizes; 24 px is what many panels and menus ask for.
LINUX_ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)
LINUX_ICON_DIR = os.path.join("packaging", "linux", "icons", "hicolor")
DIB_SIZES = ICON_SIZES[:-1]
PNG_ENTRY_SIZE = 8330          # byte size of the 256 px entry, see pad_png()
CORNER_RADIUS = 0.23           # of the icon size; keeps corner pixels clear

# Stroke widths (in the 256-unit SVG space) per icon size.  Small icons get
# heavier legs and antennae and lighter seams, so that 16 px still shows
# six legs and the seams do not turn the body into grey mush.
WEIGHTS = {
    16:  dict(leg=13, antenna=11, seam=0, gap=10),
    24:  dict(leg=12, antenna=10, seam=4, gap=9),
    32:  dict(leg=11, antenna=10, seam=5, gap=9),
    48:  dict(leg=9, antenna=8, seam=5, gap=9),
    64:  dict(leg=8, antenna=7, seam=4, gap=8),
    128: dict(leg=7, antenna=6, seam=4, gap=8),
    256: dict(leg=7, antenna=6, seam=4, gap=8),
}
# How much of the icon square the fly (legs included) spans.
ICON_FILL = {16: 0.92, 24: 0.91, 32: 0.90, 48: 0.88, 64: 0.86, 128: 0.84, 256: 0.84}

# fly.png: 144x144, black fly whose pixels span exactly this box (inclusive).
FLY_PNG_SIZE = 144
FLY_BOX = (8, 5, 134, 141)     # x0, y0, x1, y1
FLY_WEIGHTS = dict(leg=8, antenna=7, seam=5, gap=9)
ICON_COMMENT = b"Gnatter icon: white fly on a black rounded square"
FLY_TEXT = (b"Software", b"Gnatter scripts/make-art.sh from art/fly.svg")

PNG_SIG = b"\x89PNG\r\n\x1a\n"

# ---------------------------------------------------------------- SVG

def svg_variant(svg, weights, viewbox, width, height, stretch=False):
    """Return the SVG text with new stroke weights and a new viewport."""
    css = "".join(
        "\n    .%s { stroke-width: %gpx; }" % (k, v) for k, v in weights.items())
    out, n = re.subn(r'^(\s*<style id="weights">)(.*?)(</style>)',
                     lambda m: m.group(1) + css + "\n  " + m.group(3),
                     svg, count=1, flags=re.S | re.M)
    if n != 1:
        raise SystemExit("art/fly.svg: no <style id=\"weights\"> block")

    def root(m):
        tag = m.group(0)
        for name, val in (("width", width), ("height", height),
                          ("viewBox", " ".join("%.4f" % v for v in viewbox))):
            tag, k = re.subn(r'\s%s="[^"]*"' % name, ' %s="%s"' % (name, val),
                             tag, count=1)
            if k != 1:
                raise SystemExit("art/fly.svg: root <svg> lacks %s" % name)
        if stretch:
            tag = tag[:-1] + ' preserveAspectRatio="none">'
        return tag

    return re.sub(r"^<svg\b[^>]*>", root, out, count=1, flags=re.M)


def render_alpha(svg_text, width, height):
    """Render with rsvg-convert and return the alpha channel as an L image."""
    with tempfile.TemporaryDirectory() as tmp:
        src = os.path.join(tmp, "in.svg")
        dst = os.path.join(tmp, "out.png")
        with open(src, "w", encoding="utf-8") as f:
            f.write(svg_text)
        subprocess.run(["rsvg-convert", "-w", str(width), "-h", str(height),
                        "-f", "png", "-o", dst, src], check=True)
        im = Image.open(dst)
        im.load()
    if im.size != (width, height):
        raise SystemExit("rsvg-convert gave %r, wanted %dx%d"
                         % (im.size, width, height))
    return im.convert("RGBA").getchannel("A")


def fly_extent(svg, weights):
    """Bounding box of the fly in SVG units, measured at 50% coverage."""
    n = 2048
    a = render_alpha(svg_variant(svg, weights, (0, 0, 256, 256), n, n), n, n)
    box = a.point(lambda v: 255 if v >= 128 else 0).getbbox()
    if box is None:
        raise SystemExit("art/fly.svg renders nothing")
    s = 256.0 / n
    return tuple(v * s for v in box)    # x0, y0, x1, y1 (x1/y1 exclusive)

# ---------------------------------------------------------------- PNG

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(
        ">I", zlib.crc32(body) & 0xFFFFFFFF)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def filter_rows(raw, stride, height, bpp, mode):
    """PNG-filter rows; mode is 0..4 for one filter, or 'min' per row."""
    out = bytearray()
    prev = bytes(stride)
    for y in range(height):
        row = raw[y * stride:(y + 1) * stride]
        cands = []
        for ft in ((0, 1, 2, 3, 4) if mode == "min" else (mode,)):
            f = bytearray(stride)
            for i in range(stride):
                a = row[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                pred = (0, a, b, (a + b) >> 1, paeth(a, b, c))[ft]
                f[i] = (row[i] - pred) & 0xFF
            cands.append((sum(v if v < 128 else 256 - v for v in f), ft, f))
        _, ft, f = min(cands, key=lambda t: (t[0], t[1]))
        out.append(ft)
        out += f
        prev = row
    return bytes(out)


def best_idat(raw, stride, height, bpp):
    """Smallest zlib stream over a few filter strategies."""
    best = None
    for mode in (0, 1, 2, 4, "min"):
        data = zlib.compress(filter_rows(raw, stride, height, bpp, mode), 9)
        if best is None or len(data) < len(best):
            best = data
    return best


def png_grey_alpha(la):
    """8-bit grey+alpha PNG (colour type 4), not interlaced."""
    w, h = la.size
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 4, 0, 0, 0)
    idat = best_idat(la.tobytes(), 2 * w, h, 2)
    return PNG_SIG + chunk(b"IHDR", ihdr) + chunk(b"IDAT", idat) + \
        chunk(b"IEND", b"")


def pad_png(png, size, keyword, text):
    """Insert one tEXt chunk before IDAT so the file is exactly `size` bytes.

    The 256 px entry of gnatter.ico has a fixed size, so the icon's layout
    (directory, offsets, total length) stays the same whenever the art is
    re-rendered, whatever rsvg-convert and zlib make of it.  The PNG is grown
    to that size with a space-padded comment; tEXt is an ancillary chunk, so
    decoders skip it and the pixels are untouched.  Returns None when the
    PNG is too big to take the comment.
    """
    room = size - len(png) - 12 - len(keyword) - 1
    if room < len(text):
        return None
    pad = chunk(b"tEXt", keyword + b"\0" + text + b" " * (room - len(text)))
    cut = png.index(b"IDAT") - 4
    out = png[:cut] + pad + png[cut:]
    assert len(out) == size
    return out


def png_palette(indices, size, text):
    """8-bit palette PNG: 0 = opaque black, 1 = clear white."""
    w, h = size
    raw = bytes(indices)
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 3, 0, 0, 0)
    idat = best_idat(raw, w, h, 1)
    return (PNG_SIG + chunk(b"IHDR", ihdr)
            + chunk(b"PLTE", bytes((0, 0, 0, 255, 255, 255)))
            + chunk(b"tRNS", bytes((255, 0)))
            + chunk(b"tEXt", text[0] + b"\0" + text[1])
            + chunk(b"IDAT", idat) + chunk(b"IEND", b""))


def png_chunks(png):
    if png[:8] != PNG_SIG:
        raise ValueError("not a PNG")
    pos, out = 8, []
    while pos < len(png):
        n, = struct.unpack(">I", png[pos:pos + 4])
        kind = png[pos + 4:pos + 8]
        data = png[pos + 8:pos + 8 + n]
        crc, = struct.unpack(">I", png[pos + 8 + n:pos + 12 + n])
        if zlib.crc32(kind + data) & 0xFFFFFFFF != crc:
            raise ValueError("bad CRC in %r" % kind)
        out.append((kind, data))
        pos += 12 + n
    return out

# ---------------------------------------------------------------- icon

def rounded_square_alpha(size):
    r = CORNER_RADIUS * size
    svg = ('<svg xmlns="http://www.w3.org/2000/svg" width="%d" height="%d" '
           'viewBox="0 0 %d %d"><rect width="%d" height="%d" rx="%g" ry="%g" '
           'fill="#000"/></svg>' % ((size,) * 6 + (r, r)))
    return render_alpha(svg, size, size)


def icon_placement(extent, size):
    """The square of SVG space (x, y, side) that the icon of `size` shows."""
    x0, y0, x1, y1 = extent
    side = max(x1 - x0, y1 - y0) / ICON_FILL[size]
    return ((x0 + x1) / 2 - side / 2, (y0 + y1) / 2 - side / 2, side)


def icon_image(svg, size, extent):
    """Grey+alpha picture: white fly on a black rounded square."""
    vb = icon_placement(extent, size)
    vb = vb + (vb[2],)
    fly = render_alpha(svg_variant(svg, WEIGHTS[size], vb, size, size),
                       size, size)
    square = rounded_square_alpha(size)
    # White ink over black: the grey level is simply the fly's coverage.
    # Keep it inside the square (it always is; this only guards the edges).
    grey = Image.frombytes("L", (size, size), bytes(
        f if a else 0 for f, a in zip(fly.tobytes(), square.tobytes())))
    return Image.merge("LA", (grey, square))


def quantise(la, levels):
    """Round grey and alpha to `levels` evenly spaced values (256 = as is)."""
    if levels >= 256:
        return la
    step = 255 / (levels - 1)
    lut = [int(round(round(v / step) * step)) for v in range(256)]
    return la.point(lut * 2)


def dib(la):
    """BITMAPINFOHEADER + bottom-up BGRA + AND mask (set where alpha == 0)."""
    w, h = la.size
    grey, alpha = la.getchannel("L").tobytes(), la.getchannel("A").tobytes()
    head = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 4 * w * h,
                       0, 0, 0, 0)
    pix = bytearray()
    mrow = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(mrow)
        for x in range(w):
            g, a = grey[y * w + x], alpha[y * w + x]
            pix += bytes((g, g, g, a))
            if a == 0:
                row[x >> 3] |= 0x80 >> (x & 7)
        mask += row
    return head + bytes(pix) + bytes(mask)


def ico(entries):
    """entries: list of (size, bytes); sizes ascending."""
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for size, data in entries:
        b = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", b, b, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(d for _, d in entries)

# ---------------------------------------------------------------- Linux icons

SVG_NS = "http://www.w3.org/2000/svg"


def scalable_icon(svg, extent):
    """The 256 px icon as a flat SVG: a white fly on a black rounded square.

    art/fly.svg cuts its seams and the gaps round the wings with masks.  On
    the icon's opaque black ground a cut is the same as black paint, so here
    the parts are painted in order instead (body, seams, legs and antennae,
    a black rim round the wings, the wings), with plain attributes: Qt's SVG
    renderer and other small icon loaders know no masks, and some no CSS.
    """
    root = ET.fromstring(svg.encode("utf-8"))

    def tagged(tag, klass):
        return [e for e in root.iter("{%s}%s" % (SVG_NS, tag))
                if klass in e.get("class", "").split()
                and e.get("id") is None]

    seam_mask = root.find(".//{%s}mask[@id='body-seams']" % SVG_NS)
    parts = dict(
        body=tagged("ellipse", "body"),
        seam=[] if seam_mask is None else
        seam_mask.findall("{%s}path" % SVG_NS),
        leg=tagged("path", "leg"),
        antenna=tagged("path", "antenna"),
        wing=[root.find(".//{%s}path[@id='%s']" % (SVG_NS, i))
              for i in ("wing-l", "wing-r")])
    want = dict(body=5, seam=5, leg=6, antenna=2, wing=2)
    got = {k: sum(e is not None for e in v) for k, v in parts.items()}
    if got != want:
        raise SystemExit("art/fly.svg: found %r of the parts the scalable "
                         "icon paints, expected %r; update scalable_icon()"
                         % (got, want))

    def shape(e, indent="      "):
        if e.tag.endswith("ellipse"):
            return indent + '<ellipse cx="%s" cy="%s" rx="%s" ry="%s"/>' % (
                e.get("cx"), e.get("cy"), e.get("rx"), e.get("ry"))
        transform = e.get("transform")
        return indent + '<path d="%s"%s/>' % (
            e.get("d"), ' transform="%s"' % transform if transform else "")

    def group(attrs, elements):
        return "\n".join(["    <g %s>" % attrs] + [shape(e) for e in elements]
                         + ["    </g>"])

    w = WEIGHTS[256]
    x, y, side = icon_placement(extent, 256)
    k = 256.0 / side
    radius = CORNER_RADIUS * 256
    lines = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        "<!-- Gnatter's application icon: a white fly on a black rounded "
        "square. Made by",
        "     scripts/make-art.sh from art/fly.svg; change that and re-run "
        "the script. -->",
        '<svg xmlns="%s" width="256" height="256" viewBox="0 0 256 256">'
        % SVG_NS,
        "  <title>Gnatter</title>",
        '  <rect width="256" height="256" rx="%g" ry="%g" fill="#000"/>'
        % (radius, radius),
        '  <g transform="matrix(%.6f 0 0 %.6f %.4f %.4f)" '
        'stroke-linecap="round" stroke-linejoin="round">'
        % (k, k, -x * k, -y * k),
        group('fill="#fff"', parts["body"]),
        group('fill="none" stroke="#000" stroke-width="%g"' % w["seam"],
              parts["seam"]),
        group('fill="none" stroke="#fff" stroke-width="%g"' % w["leg"],
              parts["leg"]),
        group('fill="none" stroke="#fff" stroke-width="%g"' % w["antenna"],
              parts["antenna"]),
        group('fill="#000" stroke="#000" stroke-width="%g" '
              'stroke-linecap="butt"' % w["gap"], parts["wing"]),
        group('fill="#fff"', parts["wing"]),
        "  </g>",
        "</svg>",
        ""]
    return "\n".join(lines)


def linux_icon_paths(root):
    base = os.path.join(root, LINUX_ICON_DIR)
    pngs = [(s, os.path.join(base, "%dx%d" % (s, s), "apps", "gnatter.png"))
            for s in LINUX_ICON_SIZES]
    return pngs, os.path.join(base, "scalable", "apps", "gnatter.svg")


def build_linux_icons(root, svg, extent, prev):
    pngs, svg_path = linux_icon_paths(root)
    icons = []
    for size, path in pngs:
        la = icon_image(svg, size, extent)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(png_grey_alpha(la))
        icons.append((size, la))
    os.makedirs(os.path.dirname(svg_path), exist_ok=True)
    with open(svg_path, "w", encoding="utf-8") as f:
        f.write(scalable_icon(svg, extent))
    print("Linux icons: %s and scalable/apps/gnatter.svg"
          % ", ".join("%dx%d" % (s, s) for s in LINUX_ICON_SIZES))
    panel_preview(icons, os.path.join(prev, "linux-panels.png"))


def panel_preview(icons, path):
    """The small icons as they sit on a light and on a dark panel."""
    panels = ((246, 245, 244), (36, 36, 36))
    small = [(s, la) for s, la in icons if s <= 48]
    pad = 10
    width = sum(s for s, _ in small) + pad * (len(small) + 1)
    height = 48 + 2 * pad
    sheet = Image.new("RGB", (width, height * len(panels)))
    for row, colour in enumerate(panels):
        strip = Image.new("RGBA", (width, height), colour + (255,))
        x = pad
        for size, la in small:
            strip.alpha_composite(la_to_rgba(la), (x, pad + (48 - size) // 2))
            x += size + pad
        sheet.paste(strip.convert("RGB"), (0, row * height))
    sheet.save(path)

# ---------------------------------------------------------------- fly.png

def fly_mask(svg, extent, box):
    """Threshold a 144 px rendering whose black pixels fill `box` exactly.

    The fly's measured extent is mapped onto the box edges; each edge is then
    nudged by fractions of a pixel until the 50% threshold lands on exactly
    the wanted first/last row and column.
    """
    n = FLY_PNG_SIZE
    ex0, ey0, ex1, ey1 = extent
    bx0, by0, bx1, by1 = box
    # Target edges in pixel space, as continuous coordinates.
    edges = [float(bx0), float(by0), float(bx1 + 1), float(by1 + 1)]
    for _ in range(200):
        sx = (edges[2] - edges[0]) / (ex1 - ex0)
        sy = (edges[3] - edges[1]) / (ey1 - ey0)
        vb = (ex0 - edges[0] / sx, ey0 - edges[1] / sy, n / sx, n / sy)
        a = render_alpha(svg_variant(svg, FLY_WEIGHTS, vb, n, n, stretch=True),
                         n, n)
        on = a.point(lambda v: 255 if v >= 128 else 0)
        got = on.getbbox()
        if got is None:
            raise SystemExit("fly.png: nothing rendered")
        got = (got[0], got[1], got[2] - 1, got[3] - 1)
        if got == tuple(box):
            return on
        step = 0.05
        # A dark pixel too far out means that edge goes in, and vice versa.
        edges[0] += step * (1 if got[0] < bx0 else -1 if got[0] > bx0 else 0)
        edges[1] += step * (1 if got[1] < by0 else -1 if got[1] > by0 else 0)
        edges[2] -= step * (1 if got[2] > bx1 else -1 if got[2] < bx1 else 0)
        edges[3] -= step * (1 if got[3] > by1 else -1 if got[3] < by1 else 0)
    raise SystemExit("fly.png: could not fit the fly into %r (last %r)"
                     % (box, got))

# ---------------------------------------------------------------- previews

BG = (214, 214, 214, 255)


def on_grey(rgba):
    bg = Image.new("RGBA", rgba.size, BG)
    bg.alpha_composite(rgba)
    return bg.convert("RGB")


def la_to_rgba(la):
    g, a = la.split()
    return Image.merge("RGBA", (g, g, g, a))


def previews(icons, fly_png_bytes, outdir):
    os.makedirs(outdir, exist_ok=True)
    tiles = []
    for size, la in icons:
        k = max(1, 256 // size)
        big = la_to_rgba(la).resize((size * k, size * k), Image.NEAREST)
        img = on_grey(big)
        img.save(os.path.join(outdir, "icon-%d-x%d.png" % (size, k)))
        tiles.append(img)
    fly = Image.open(io.BytesIO(fly_png_bytes)).convert("RGBA")
    on_grey(fly).save(os.path.join(outdir, "fly.png"))
    fly2 = on_grey(fly.resize((288, 288), Image.NEAREST))
    fly2.save(os.path.join(outdir, "fly-x2.png"))

    # Contact sheet: enlarged icons on top, then actual sizes and fly.png.
    pad = 12
    top_w = sum(t.width for t in tiles) + pad * (len(tiles) + 1)
    sheet_w = max(top_w, 288 + 144 + 3 * pad)
    top_h = max(t.height for t in tiles) + 2 * pad
    sheet = Image.new("RGB", (sheet_w, top_h + 288 + 2 * pad), BG[:3])
    x = pad
    for t in tiles:
        sheet.paste(t, (x, pad))
        x += t.width + pad
    x = pad
    for size, la in icons:
        sheet.paste(on_grey(la_to_rgba(la)), (x, top_h + pad))
        x += size + pad
    sheet.paste(fly2, (sheet_w - 288 - pad, top_h))
    sheet.paste(on_grey(fly), (sheet_w - 288 - 144 - 2 * pad, top_h + pad))
    sheet.save(os.path.join(outdir, "contact-sheet.png"))

# ---------------------------------------------------------------- build

def build(root):
    with open(os.path.join(root, "art", "fly.svg"), encoding="utf-8") as f:
        svg = f.read()
    res = os.path.join(root, "res")
    prev = os.path.join(root, "build", "art-preview")
    os.makedirs(res, exist_ok=True)

    extent = fly_extent(svg, WEIGHTS[256])
    icons = [(s, icon_image(svg, s, extent)) for s in ICON_SIZES]

    entries = [(s, dib(la)) for s, la in icons[:-1]]
    # The 256 px entry must come out at exactly PNG_ENTRY_SIZE bytes.  If
    # the PNG plus its comment does not fit, the soft edges are quantised to
    # fewer grey/alpha levels (0 and 255 stay exact) until it does.
    for levels in (256, 128, 64, 32, 16, 8):
        la256 = quantise(icons[-1][1], levels)
        png256 = png_grey_alpha(la256)
        padded = pad_png(png256, PNG_ENTRY_SIZE, b"Comment", ICON_COMMENT)
        if padded is not None:
            break
    else:
        raise SystemExit("256 px PNG is %d bytes even with %d levels; the "
                         "entry holds %d" % (len(png256), levels,
                                             PNG_ENTRY_SIZE))
    icons[-1] = (256, la256)
    entries.append((256, padded))
    with open(os.path.join(res, "gnatter.ico"), "wb") as f:
        f.write(ico(entries))
    print("gnatter.ico: 256 px PNG %d bytes (%d grey/alpha levels), padded "
          "to %d" % (len(png256), levels, len(padded)))

    fx = fly_extent(svg, FLY_WEIGHTS)
    on = fly_mask(svg, fx, FLY_BOX)
    idx = bytes(0 if v else 1 for v in on.tobytes())
    flypng = png_palette(idx, on.size, FLY_TEXT)
    with open(os.path.join(res, "fly.png"), "wb") as f:
        f.write(flypng)
    print("fly.png: %d bytes" % len(flypng))

    previews(icons, flypng, prev)
    build_linux_icons(root, svg, extent, prev)

# ---------------------------------------------------------------- verify

class Checker:
    def __init__(self):
        self.errors = []

    def eq(self, what, got, want):
        if got != want:
            self.errors.append("%s: got %r, want %r" % (what, got, want))

    def ok(self, what, cond):
        if not cond:
            self.errors.append(what)


def verify_ico(path, c, png_out, decoded):
    """Checks the icon; puts each DIB entry's (grey, alpha) in `decoded`."""
    data = open(path, "rb").read()
    c.eq("ico header", struct.unpack("<HHH", data[:6]), (0, 1, 6))
    sizes = (1128, 4264, 9640, 16936, 67624, PNG_ENTRY_SIZE)
    expect_off = 6 + 16 * 6
    for i, size in enumerate(ICON_SIZES):
        e = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        b = 0 if size == 256 else size
        c.eq("entry %d" % (i + 1), e[:7], (b, b, 0, 0, 1, 32, sizes[i]))
        c.eq("entry %d offset" % (i + 1), e[7], expect_off)
        off, n = e[7], e[6]
        expect_off += n
        blob = data[off:off + n]
        c.eq("entry %d length" % (i + 1), len(blob), n)
        if size == 256:
            with open(png_out, "wb") as f:
                f.write(blob)
            try:
                chunks = png_chunks(blob)
            except ValueError as err:
                c.errors.append("256 png: %s" % err)
                continue
            c.eq("256 png IHDR", chunks[0][0:1] + (struct.unpack(
                ">IIBBBBB", chunks[0][1]),),
                (b"IHDR", (256, 256, 8, 4, 0, 0, 0)))
            c.eq("256 png text chunks",
                 sum(1 for k, _ in chunks if k == b"tEXt"), 1)
            im = Image.open(io.BytesIO(blob))
            im.load()
            c.eq("256 png mode", im.mode, "LA")
            check_pixels(c, "256", im.getchannel("L").tobytes(),
                         im.getchannel("A").tobytes(), 256)
            continue
        hdr = struct.unpack("<IiiHHIIiiII", blob[:40])
        c.eq("entry %d DIB header" % (i + 1), hdr,
             (40, size, 2 * size, 1, 32, 0, 4 * size * size, 0, 0, 0, 0))
        pix = blob[40:40 + 4 * size * size]
        mrow = ((size + 31) // 32) * 4
        mask = blob[40 + 4 * size * size:]
        c.eq("entry %d mask length" % (i + 1), len(mask), mrow * size)
        grey, alpha, bad_mask, bad_grey = bytearray(), bytearray(), 0, 0
        for y in range(size - 1, -1, -1):           # rows are bottom-up
            r = size - 1 - y
            for x in range(size):
                bl, gr, rd, a = pix[4 * (r * size + x):4 * (r * size + x) + 4]
                bad_grey += not (bl == gr == rd)
                bit = (mask[r * mrow + (x >> 3)] >> (7 - (x & 7))) & 1
                bad_mask += bit != (a == 0)
                grey.append(rd)
                alpha.append(a)
            # padding bits past the width must be clear
            for x in range(size, mrow * 8):
                bad_mask += (mask[r * mrow + (x >> 3)] >> (7 - (x & 7))) & 1
        c.eq("entry %d non-grey pixels" % (i + 1), bad_grey, 0)
        c.eq("entry %d mask/alpha mismatches" % (i + 1), bad_mask, 0)
        # The rows above were read bottom-up, as the DIB stores them.
        decoded[size] = tuple(
            b"".join(bytes(v[r * size:(r + 1) * size])
                     for r in range(size - 1, -1, -1))
            for v in (grey, alpha))
        check_pixels(c, str(size), bytes(grey), bytes(alpha), size)
    c.eq("ico file length", len(data), expect_off)


def check_pixels(c, name, grey, alpha, size):
    """Corners clear, soft edge present, white fly on black present."""
    for x, y in ((0, 0), (size - 1, 0), (0, size - 1), (size - 1, size - 1)):
        c.eq("%s corner %d,%d alpha" % (name, x, y), alpha[y * size + x], 0)
    c.ok("%s: no partial alpha at the corners" % name,
         any(0 < a < 255 for a in alpha))
    mid = size // 2
    c.eq("%s: edge midpoints opaque" % name,
         [alpha[mid], alpha[mid * size], alpha[mid * size + size - 1],
          alpha[(size - 1) * size + mid]], [255] * 4)
    c.ok("%s: has white fly pixels" % name, max(grey) == 255)
    c.ok("%s: has black ground" % name,
         any(g == 0 and a == 255 for g, a in zip(grey, alpha)))


def verify_fly(path, c):
    data = open(path, "rb").read()
    try:
        chunks = png_chunks(data)
    except ValueError as err:
        c.errors.append("fly.png: %s" % err)
        return
    kinds = [k for k, _ in chunks]
    c.eq("fly.png chunk order", kinds,
         [b"IHDR", b"PLTE", b"tRNS", b"tEXt", b"IDAT", b"IEND"])
    d = dict(chunks)
    c.eq("fly.png IHDR", struct.unpack(">IIBBBBB", d.get(b"IHDR", bytes(13))),
         (144, 144, 8, 3, 0, 0, 0))
    c.eq("fly.png PLTE", d.get(b"PLTE"), bytes((0, 0, 0, 255, 255, 255)))
    c.eq("fly.png tRNS", d.get(b"tRNS"), bytes((255, 0)))
    im = Image.open(io.BytesIO(data))
    im.load()
    c.eq("fly.png mode", im.mode, "P")
    px = im.tobytes()
    c.ok("fly.png: indices are 0 or 1", set(px) <= {0, 1})
    xs = [i % 144 for i, v in enumerate(px) if v == 0]
    ys = [i // 144 for i, v in enumerate(px) if v == 0]
    c.eq("fly.png black bbox", (min(xs), min(ys), max(xs), max(ys))
         if xs else None, FLY_BOX)


def verify_linux_icons(root, c, ico_pixels, prev):
    """PNG sizes as the directories say, the same pixels as the Windows icon
    where it has the size, and a scalable SVG that is flat and draws what the
    256 px PNG shows."""
    pngs, svg_path = linux_icon_paths(root)
    png256 = None
    for size, path in pngs:
        name = "linux %d" % size
        if not os.path.exists(path):
            c.errors.append("%s: %s is missing" % (name, path))
            continue
        try:
            chunks = png_chunks(open(path, "rb").read())
        except ValueError as err:
            c.errors.append("%s: %s" % (name, err))
            continue
        c.eq("%s IHDR" % name, struct.unpack(">IIBBBBB", chunks[0][1]),
             (size, size, 8, 4, 0, 0, 0))
        im = Image.open(path)
        im.load()
        if im.size != (size, size) or im.mode != "LA":
            continue
        grey = im.getchannel("L").tobytes()
        alpha = im.getchannel("A").tobytes()
        check_pixels(c, name, grey, alpha, size)
        if size in ico_pixels:
            c.ok("%s: same pixels as gnatter.ico's %d px entry" % (name, size),
                 ico_pixels[size] == (grey, alpha))
        if size == 256:
            png256 = (grey, alpha)

    try:
        text = open(svg_path, encoding="utf-8").read()
        ET.fromstring(text.encode("utf-8"))
    except (OSError, ET.ParseError) as err:
        c.errors.append("scalable icon: %s" % err)
        return
    for needle in ("<mask", "<style", "class=", "href", "<image", "<script"):
        c.ok("scalable icon: no %s (not every icon loader knows it)" % needle,
             needle not in text)
    if png256 is None:
        return
    out = os.path.join(prev, "linux-scalable-256.png")
    subprocess.run(["rsvg-convert", "-w", "256", "-h", "256", "-o", out,
                    svg_path], check=True)
    im = Image.open(out).convert("RGBA")
    # Another rsvg-convert may smooth edges a few levels differently; a lost
    # seam, leg or wing rim differs by far more.
    for channel, want in (("R", png256[0]), ("A", png256[1])):
        got = im.getchannel(channel).tobytes()
        diff = [abs(a - b) for a, b in zip(got, want)]
        c.ok("scalable icon drawn at 256 px: %s differs from the 256 px PNG "
             "by up to %d levels (24 allowed)" % (channel, max(diff)),
             max(diff) <= 24)


def verify(root):
    c = Checker()
    prev = os.path.join(root, "build", "art-preview")
    os.makedirs(prev, exist_ok=True)
    ico_pixels = {}
    verify_ico(os.path.join(root, "res", "gnatter.ico"), c,
               os.path.join(prev, "extracted-256.png"), ico_pixels)
    verify_fly(os.path.join(root, "res", "fly.png"), c)
    verify_linux_icons(root, c, ico_pixels, prev)
    for e in c.errors:
        print("make-art: FAIL: %s" % e, file=sys.stderr)
    if c.errors:
        return 1
    print("make-art: gnatter.ico, fly.png and the Linux icons check out")
    return 0


def main(argv):
    if len(argv) != 3 or argv[1] not in ("build", "verify"):
        print(__doc__, file=sys.stderr)
        return 2
    if argv[1] == "build":
        build(argv[2])
        return 0
    return verify(argv[2])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
