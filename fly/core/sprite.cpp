// The fly's picture: a house fly seen from above, drawn from ellipses and strokes in the
// fly's own frame (x forward, y to its right, one unit = one body length) and rasterised
// at its heading. Lines get a minimum width in pixels so that a 9 px fly still shows its
// legs; finer details (thorax stripes, wing veins, eye shine) appear only when they
// would be more than a smudge.
#include "sprite.h"

#include "fly_math.h"
#include "picture.h"
#include "raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <list>
#include <unordered_map>

namespace gnatter {
namespace {

const Colour kLegs{24, 21, 19, 1.0f};
const Colour kOutline{18, 16, 15, 1.0f};
const Colour kAbdomen{92, 84, 70, 1.0f};
const Colour kAbdomenMarks{32, 29, 26, 0.7f};
const Colour kThorax{112, 109, 102, 1.0f};
const Colour kThoraxStripes{34, 32, 30, 0.9f};
const Colour kHead{78, 72, 64, 1.0f};
const Colour kEyes{122, 24, 16, 1.0f};
const Colour kEyeShine{255, 190, 170, 0.35f};
const Colour kWing{205, 212, 220, 0.38f};
const Colour kWingLines{70, 70, 76, 0.45f};
const Colour kWingBlur{200, 206, 214, 0.20f};

// Leg joints for the fly's right side (y > 0): hip, knee, ankle, foot. The left side is
// the mirror image.
struct Leg {
    double p[8];
};

const Leg kStanding[3] = {
    {{0.22, 0.07, 0.30, 0.19, 0.44, 0.25, 0.53, 0.28}},     // front
    {{0.13, 0.09, 0.14, 0.25, 0.06, 0.40, 0.02, 0.46}},     // middle
    {{0.04, 0.08, -0.06, 0.22, -0.24, 0.33, -0.34, 0.37}},  // hind
};

const Leg kTucked[3] = {
    {{0.22, 0.07, 0.30, 0.13, 0.37, 0.11, 0.41, 0.09}},
    {{0.13, 0.09, 0.10, 0.17, 0.02, 0.17, -0.04, 0.15}},
    {{0.04, 0.08, -0.10, 0.15, -0.26, 0.14, -0.33, 0.12}},
};

// Front legs lifted and rubbed together in front of the head; the two frames swap which
// foot lies over the other.
const Leg kFrontRub[2][2] = {
    {{{0.22, 0.07, 0.36, 0.15, 0.46, 0.05, 0.53, -0.02}}, {{0.22, 0.07, 0.35, 0.14, 0.47, 0.06, 0.55, 0.02}}},
    {{{0.22, 0.07, 0.35, 0.14, 0.47, 0.06, 0.54, 0.01}}, {{0.22, 0.07, 0.36, 0.15, 0.45, 0.04, 0.51, -0.03}}},
};
// Hind legs swept back over the abdomen tip and rubbed together.
const Leg kHindRub[2][2] = {
    {{{0.04, 0.08, -0.10, 0.26, -0.38, 0.13, -0.52, -0.02}}, {{0.04, 0.08, -0.10, 0.25, -0.40, 0.11, -0.53, 0.03}}},
    {{{0.04, 0.08, -0.10, 0.25, -0.40, 0.11, -0.53, 0.02}}, {{0.04, 0.08, -0.10, 0.26, -0.37, 0.14, -0.50, -0.03}}},
};

// Turns a right-side leg about its hip (positive angle = foot forward) and, for a leg in
// its swing, pulls the foot in as if lifted.
Leg swung(const Leg& leg, double angle, double reach) {
    Leg out = leg;
    const double c = fm::cos(-angle), s = fm::sin(-angle);
    for (int i = 1; i < 4; ++i) {
        const double dx = leg.p[2 * i] - leg.p[0], dy = leg.p[2 * i + 1] - leg.p[1];
        out.p[2 * i] = leg.p[0] + (dx * c - dy * s) * reach;
        out.p[2 * i + 1] = leg.p[1] + (dx * s + dy * c) * reach;
    }
    return out;
}

Leg mirrored(const Leg& leg) {
    Leg out = leg;
    for (int i = 0; i < 4; ++i) out.p[2 * i + 1] = -leg.p[2 * i + 1];
    return out;
}

void addLegSegments(Path& path, const Leg& leg, double size) {
    // Thigh thicker than shin thicker than foot, never thinner than most of a pixel.
    const double widths[3] = {0.034, 0.026, 0.020};
    const double minimum[3] = {1.0, 0.9, 0.8};
    for (int i = 0; i < 3; ++i) {
        path.segment(leg.p[2 * i], leg.p[2 * i + 1], leg.p[2 * i + 2], leg.p[2 * i + 3],
                     std::max(widths[i] * size, minimum[i]));
    }
}

// Legs for the pose. In walking frames the legs move in two tripods (front and hind on
// one side with the middle leg of the other): frame 0 one tripod reaches forward, frame 2
// the other; in frames 1 and 3 the swinging tripod is lifted.
void addLeg(Path& path, const CanonicalPicture& pic, int side /* 0: right, 1: left */, int leg) {
    Leg l;
    if (pic.wingsBlurred) {
        l = kTucked[leg];
    } else if (pic.groomFrame && leg == 0 && pic.groomFrame <= 2) {
        l = kFrontRub[pic.groomFrame - 1][side];
    } else if (pic.groomFrame && leg == 2 && pic.groomFrame >= 3) {
        l = kHindRub[pic.groomFrame - 3][side];
    } else if (pic.groomFrame) {
        // Steadying legs lean toward the ones doing the work.
        l = swung(kStanding[leg], pic.groomFrame <= 2 ? 0.15 : -0.12, 1.0);
    } else {
        const bool tripodA = (leg == 1) == (side == 0);
        const int phase = (pic.walkFrame + (tripodA ? 0 : 2)) % 4;
        const double angle[4] = {0.22, 0.0, -0.22, 0.0};
        const double reach[4] = {1.0, 1.0, 1.0, 0.82};
        l = swung(kStanding[leg], angle[phase], reach[phase]);
    }
    addLegSegments(path, side ? mirrored(l) : l, pic.size);
}

// Wing joint on the right side; the wing points back and out.
constexpr double kWingRootX = 0.17, kWingRootY = 0.06;
constexpr double kWingLength = 0.70, kWingWidth = 0.20;
constexpr double kWingSpread = 0.33;  // radians off the body axis at rest
// Beating wings reach a little less far (they tilt out of the picture plane) and so stay
// within kFlyReach at the front of the stroke.
constexpr double kBeatLength = 0.55;

void addRestingWings(Path& wings, Path& lines, double size, bool details) {
    for (double side : {1.0, -1.0}) {
        const double angle = fm::kPi - side * kWingSpread;
        const double ca = fm::cos(angle), sa = fm::sin(angle);
        const double cx = kWingRootX + ca * kWingLength * 0.5, cy = side * kWingRootY + sa * kWingLength * 0.5;
        wings.ellipse(cx, cy, kWingLength * 0.5, kWingWidth * 0.5, angle);
        if (!details) continue;
        // Outline ring, and three veins fanning from the root.
        const double edge = std::max(0.012 * size, 0.6) / size;
        lines.ellipse(cx, cy, kWingLength * 0.5, kWingWidth * 0.5, angle);
        lines.ellipse(cx, cy, kWingLength * 0.5 - edge, kWingWidth * 0.5 - edge, angle, true);
        for (double v : {-0.35, 0.05, 0.45}) {
            const double along = kWingLength * 0.88, across = v * kWingWidth * 0.5;
            lines.segment(kWingRootX, side * kWingRootY, kWingRootX + ca * along - sa * across,
                          side * kWingRootY + sa * along + ca * across, std::max(0.008 * size, 0.5));
        }
    }
}

// Beating wings: a pale fan sweeping from beside the thorax to behind it, with the wing
// outlines at both ends of the stroke a little stronger.
void addBlurredWings(Path& fan, Path& ghosts) {
    for (double side : {1.0, -1.0}) {
        const double rootY = side * kWingRootY;
        fan.add(kWingRootX, rootY);
        const int n = 10;
        for (int i = 0; i <= n; ++i) {
            const double a = side * (1.45 + (2.75 - 1.45) * i / n);
            fan.add(kWingRootX + fm::cos(a) * kBeatLength, rootY + fm::sin(a) * kBeatLength);
        }
        fan.close();
        for (double a : {1.55, 2.65}) {
            const double angle = side * a;
            const double ca = fm::cos(angle), sa = fm::sin(angle);
            ghosts.ellipse(kWingRootX + ca * kBeatLength * 0.5, rootY + sa * kBeatLength * 0.5, kBeatLength * 0.5,
                           kWingWidth * 0.45, angle);
        }
    }
}

void drawShadow(Canvas& canvas, const CanonicalPicture& pic, double cx, double cy) {
    const double s = pic.size, alt = pic.altitude;
    const double sx = cx + kShadowDirX * alt, sy = cy + kShadowDirY * alt;
    const double c = pic.cosHeading, n = pic.sinHeading;
    // Body, widened by the blur of the wings when they beat.
    const Canvas::SoftEllipse body{sx - 0.04 * s * c, sy - 0.04 * s * n, 0.44 * s,
                                   (pic.wingsBlurred ? 0.30 : 0.16) * s, c, n};
    const double blur = 0.6 + 0.04 * s + 0.1 * alt;
    const float alpha = float(0.30 * (1.0 - 0.45 * alt / s));
    canvas.shadow(body, blur, alpha);
}

// Everything above the legs: body, wings, head. It depends only on size, heading and
// whether the wings beat, not on the legs' frame, so it is drawn once into a layer and
// reused; the layer always goes through the same compositing step, cached or not, so a
// picture comes out the same either way.
void drawBody(Canvas& canvas, const CanonicalPicture& pic, double centre) {
    const double s = pic.size;
    Placement at;
    at.originX = centre;
    at.originY = centre;
    at.cosH = pic.cosHeading;
    at.sinH = pic.sinHeading;
    at.scale = s;
    Path path(at), extra(at);

    // A dark rim around the body keeps it distinct on any background.
    const double rim = std::max(0.018 * s, 0.6) / s;
    path.ellipse(-0.22, 0.0, 0.27 + rim, 0.19 + rim);
    path.ellipse(0.12, 0.0, 0.17 + rim, 0.16 + rim);
    path.ellipse(0.335, 0.0, 0.085 + rim, 0.165 + rim);
    canvas.fill(path, kOutline);

    path.clear();
    path.ellipse(-0.22, 0.0, 0.27, 0.19);
    canvas.fill(path, kAbdomen);
    if (s >= 10.0) {
        path.clear();
        for (double x : {-0.10, -0.22, -0.34}) path.ellipseSlice(-0.22, 0.0, 0.27, 0.19, x - 0.045, x);
        if (s >= 20.0) path.ellipse(-0.24, 0.0, 0.22, 0.014);
        canvas.fill(path, kAbdomenMarks);
    }

    path.clear();
    path.ellipse(0.12, 0.0, 0.17, 0.16);
    canvas.fill(path, kThorax);
    if (s >= 14.0) {
        path.clear();
        for (double y : {-0.1, -0.035, 0.035, 0.1}) path.ellipse(0.12, y, 0.13 - 0.25 * std::fabs(y), 0.016);
        canvas.fill(path, kThoraxStripes);
    }

    path.clear();
    if (pic.wingsBlurred) {
        addBlurredWings(path, extra);
        canvas.fill(path, kWingBlur);
        canvas.fill(extra, kWingBlur);
    } else {
        addRestingWings(path, extra, s, s >= 20.0);
        canvas.fill(path, kWing);
        canvas.fill(extra, kWingLines);
    }

    path.clear();
    path.ellipse(0.335, 0.0, 0.085, 0.165);
    canvas.fill(path, kHead);
    path.clear();
    path.ellipse(0.33, 0.085, 0.08, 0.08, 0.3);
    path.ellipse(0.33, -0.085, 0.08, 0.08, -0.3);
    canvas.fill(path, kEyes);
    if (s >= 24.0) {
        path.clear();
        path.ellipse(0.35, 0.10, 0.025, 0.02);
        path.ellipse(0.35, -0.07, 0.025, 0.02);
        canvas.fill(path, kEyeShine);
    }
}

// Recently drawn body layers, per thread, within a memory budget, least recently used
// first out: a fly wobbling along a straight run keeps coming back to the same few
// headings, so most redraws (a new leg frame) find their body here. Each layer keeps only
// the box its pixels fill (a fly facing along an axis fills a third of its square), so
// the budget holds two to three times as many bodies.
class BodyCache {
public:
    struct Placed {
        const Layer& layer;
        int x, y;  // the layer's top-left corner in the sprite
    };

    Placed get(const CanonicalPicture& pic) {
        const std::uint32_t key = std::uint32_t(pic.key & 0xfff00000u) | (std::uint32_t(pic.headingIndex) << 1) |
                                  (pic.wingsBlurred ? 1u : 0u);
        auto found = entries_.find(key);
        if (found != entries_.end()) {
            order_.splice(order_.begin(), order_, found->second.place);
            return {found->second.layer, found->second.x, found->second.y};
        }
        const int side = 2 * spriteAnchor(pic.size);
        scratch_.width = scratch_.height = side;
        scratch_.pixels.assign(std::size_t(side) * std::size_t(side), 0u);
        Canvas canvas(scratch_.pixels.data(), side, side);
        drawBody(canvas, pic, spriteAnchor(pic.size));
        scratch_.findSpans();

        int top = 0, bottom = side, left = side, right = 0;
        while (top < bottom && scratch_.spanBegin[std::size_t(top)] == scratch_.spanEnd[std::size_t(top)]) ++top;
        while (bottom > top && scratch_.spanBegin[std::size_t(bottom - 1)] == scratch_.spanEnd[std::size_t(bottom - 1)]) --bottom;
        for (int y = top; y < bottom; ++y) {
            if (scratch_.spanBegin[std::size_t(y)] == scratch_.spanEnd[std::size_t(y)]) continue;
            left = std::min(left, scratch_.spanBegin[std::size_t(y)]);
            right = std::max(right, scratch_.spanEnd[std::size_t(y)]);
        }
        if (right < left) left = right = 0;

        order_.push_front(key);
        Entry& entry = entries_[key];
        entry.place = order_.begin();
        entry.x = left;
        entry.y = top;
        Layer& layer = entry.layer;
        layer.width = right - left;
        layer.height = bottom - top;
        layer.pixels.resize(std::size_t(layer.width) * std::size_t(layer.height));
        for (int y = 0; y < layer.height; ++y) {
            std::copy_n(scratch_.pixels.data() + std::size_t(top + y) * side + left, layer.width,
                        layer.pixels.data() + std::size_t(y) * layer.width);
        }
        layer.findSpans();
        entry.bytes = (layer.pixels.size() + 2 * std::size_t(layer.height)) * sizeof(std::uint32_t) + kEntryOverhead;
        bytes_ += entry.bytes;
        // The newest entry stays, even should it alone exceed the budget.
        while (bytes_ > kBudgetBytes && order_.size() > 1) {
            auto oldest = entries_.find(order_.back());
            bytes_ -= oldest->second.bytes;
            entries_.erase(oldest);
            order_.pop_back();
        }
        return {layer, entry.x, entry.y};
    }

private:
    // Enough for a few dozen flies of any one size to find the headings they walk at,
    // without growing the program by megabytes.
    static constexpr std::size_t kBudgetBytes = std::size_t(2) << 20;
    static constexpr std::size_t kEntryOverhead = 128;  // map node, list node, vectors
    struct Entry {
        Layer layer;
        int x = 0, y = 0;
        std::list<std::uint32_t>::iterator place;
        std::size_t bytes = 0;
    };
    std::unordered_map<std::uint32_t, Entry> entries_;
    std::list<std::uint32_t> order_;  // most recently used first
    std::size_t bytes_ = 0;
    Layer scratch_;  // the full square each body is drawn into before it is cropped
};

}  // namespace

void renderFly(const FlyView& fly, Sprite& out) {
    const CanonicalPicture pic = canonicalPicture(fly.size, fly.heading, fly.pose);
    const int side = spriteSide(pic.size);
    const int anchor = spriteAnchor(pic.size);
    out.width = out.height = side;
    out.anchorX = out.anchorY = anchor;
    out.pixels.assign(std::size_t(side) * std::size_t(side), 0u);
    Canvas canvas(out.pixels.data(), side, side);

    if (pic.altitude > 0.0f) drawShadow(canvas, pic, anchor, anchor);

    Placement at;
    at.originX = anchor;  // the pixel corner at the anchor is the body centre
    at.originY = anchor;
    at.cosH = pic.cosHeading;
    at.sinH = pic.sinHeading;
    at.scale = pic.size;
    Path path(at);
    // Leg by leg: filling them together would sweep the empty space between them on
    // every row.
    for (int side = 0; side < 2; ++side) {
        for (int leg = 0; leg < 3; ++leg) {
            path.clear();
            addLeg(path, pic, side, leg);
            canvas.fill(path, kLegs);
        }
    }
    // Antennae: short and stubby, just in front of the eyes.
    if (pic.size >= 12.0f) {
        path.clear();
        const double w = std::max(0.02 * pic.size, 0.7);
        path.segment(0.40, 0.025, 0.45, 0.05, w);
        path.segment(0.40, -0.025, 0.45, -0.05, w);
        canvas.fill(path, kLegs);
    }

    static thread_local BodyCache cache;
    const BodyCache::Placed body = cache.get(pic);
    canvas.drawLayer(body.layer, body.x, body.y);
}

}  // namespace gnatter
