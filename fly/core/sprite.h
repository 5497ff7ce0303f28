// Draws one fly, seen from above, into a premultiplied 32-bit BGRA buffer: our own
// small anti-aliased vector rasteriser, no platform graphics. The Win32 layer copies
// the buffer into a DIB section and hands it to UpdateLayeredWindow.
#pragma once

#include "swarm.h"

#include <cstdint>
#include <vector>

namespace gnatter {

struct Sprite {
    int width = 0, height = 0;
    // Where the fly's body centre (FlyView::x, y) lies in the buffer, in pixels from the
    // top-left corner: the window goes at (x - anchorX, y - anchorY).
    int anchorX = 0, anchorY = 0;
    // Every pixel outside the top-left fitWidth x fitHeight corner is clear: a fly
    // without a flight shadow fits the square of twice its anchor, and its window may be
    // cut down to that.
    int fitWidth = 0, fitHeight = 0;
    // width * height pixels, top row first, each 0xAARRGGBB with premultiplied colour
    // (in memory little-endian: B, G, R, A, as a Windows 32-bit DIB expects).
    std::vector<std::uint32_t> pixels;
};

// Side of the square buffer that holds a fly of this size at any heading and pose,
// its shadow included (altitude is at most one body length). Stable for a fly, so its
// window never needs resizing.
int spriteSide(float size);

// Renders the fly into `out`, reusing its storage; out.width == out.height ==
// spriteSide(fly.size). A fly in the air casts its shadow down and to the right by its
// altitude; one on the glass gets a faint contact shadow under its body. Draws exactly
// what FlyView::pictureKey says (see pictureKeyFor). Keeps a per-thread cache of drawn
// bodies (about 2 MB, more only for one body larger than that), so it is safe to call
// from several threads at once.
void renderFly(const FlyView& fly, Sprite& out);

}  // namespace gnatter
