// The fly's picture: a house fly seen from above on glass, drawn from ellipses, strokes
// and polygons in the fly's own frame (x forward, y to its right, one unit = one body
// length) and rasterised at its heading. Lines get a minimum width in pixels so that a
// 9 px fly still shows its legs; finer details (thorax stripes, abdomen mottling, wing
// veins, eye shine) appear only when they would be more than a smudge.
#include "sprite.h"

#include "fly_math.h"
#include "picture.h"
#include "raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <list>
#include <unordered_map>

namespace gnatter {
namespace {

// A house fly under a window's light: a grey thorax with four black stripes, a dark
// abdomen chequered with grey dust and yellowish only along the base of its flanks, dark
// red eyes, nearly black legs and smoky see-through wings. Seen whole it reads as a dark,
// nearly neutral grey. A fly too small for a marking gets the part under it in the mean
// colour of part and marking (see bodyPalette), so it reads the same at every size.
const Colour kLegs{24, 21, 19, 1.0f};
const Colour kAbdomenSides{94, 87, 74, 1.0f};    // darker, yellowish flanks
const Colour kAbdomenMiddle{58, 55, 51, 1.0f};    // dark grey back
const Colour kMottleLight{150, 147, 138, 0.42f};  // grey dusted patches
const Colour kMottleDark{26, 24, 22, 0.55f};
const Colour kThoraxEdge{72, 70, 66, 1.0f};
const Colour kThorax{126, 124, 118, 1.0f};
const Colour kThoraxStripes{24, 23, 22, 0.95f};
const Colour kHead{50, 47, 43, 1.0f};
const Colour kFace{196, 178, 128, 0.85f};         // the pale gold stripe between the eyes
const Colour kEyes{108, 30, 22, 1.0f};
const Colour kEyeShine{255, 196, 176, 0.35f};
const Colour kWing{112, 116, 122, 0.32f};
const Colour kWingBase{180, 150, 88, 0.40f};
const Colour kWingVeins{48, 40, 32, 0.62f};
const Colour kWingBlur{170, 174, 180, 0.20f};
const Colour kStreak{90, 86, 80, 0.10f};
const Colour kSmear{108, 96, 72, 0.50f};          // a squashed fly's body fluid on the glass
const Colour kInnards{148, 140, 116, 0.85f};      // pressed out where the abdomen split
constexpr float kContactShadow = 0.20f;  // darkest, under the middle of the body

// Below these sizes (in pixels) a marking is not drawn: it would be a smudge.
constexpr double kBackSize = 6.0, kThoraxEdgeSize = 10.0, kMottleSize = 12.0, kStripeSize = 14.0;

// The body's shapes, in body lengths: the abdomen's outline and the darker back inside
// it, the thorax's outline and its paler inside, and the thorax stripes' width.
constexpr double kAbdomenX = -0.22, kAbdomenRX = 0.27, kAbdomenRY = 0.20;
constexpr double kBackX = -0.23, kBackRX = 0.25, kBackRY = 0.145;
constexpr double kThoraxX = 0.12, kThoraxRX = 0.17, kThoraxRY = 0.155;
constexpr double kInnerX = 0.125, kInnerRX = 0.15, kInnerRY = 0.135;
constexpr double kStripeY[4] = {-0.095, -0.033, 0.033, 0.095};
constexpr double kStripeRY = 0.017;
double stripeLength(double y) { return 0.125 - 0.3 * std::fabs(y); }

// Mottling on the abdomen's back: soft light and dark patches of uneven size, overlapping,
// offset from segment to segment so that they never line up into bands; mirrored on the
// left side. A dark line runs down the middle.
struct Patch {
    double x, y, rx, ry, angle;
    bool dark;
};
const Patch kPatches[] = {
    {-0.04, 0.060, 0.060, 0.045, 0.5, false}, {-0.10, 0.095, 0.050, 0.040, -0.3, true},
    {-0.15, 0.050, 0.055, 0.040, 0.2, true},  {-0.20, 0.105, 0.060, 0.045, 0.6, false},
    {-0.26, 0.060, 0.050, 0.045, -0.4, false}, {-0.31, 0.100, 0.045, 0.035, 0.3, true},
    {-0.36, 0.050, 0.045, 0.035, 0.1, true},  {-0.42, 0.070, 0.035, 0.030, 0.4, false},
};
constexpr double kMidlineX = -0.25, kMidlineRX = 0.21, kMidlineRY = 0.018;

// `base` with `paint` laid over `share` of its area: what a marked part averages to.
Colour averaged(Colour base, Colour paint, double share) {
    const float t = std::min(1.0f, float(share) * paint.a);
    return {base.r + (paint.r - base.r) * t, base.g + (paint.g - base.g) * t, base.b + (paint.b - base.b) * t, base.a};
}

// The colours the body's parts are filled with at size s: each marking drawn, or its
// part in the mean colour of both. Shares are by area (markings that overlap count
// twice, which the coarse sizes never show).
struct BodyPalette {
    Colour abdomenSides, abdomenMiddle, thoraxEdge, thorax;
};

BodyPalette bodyPalette(double s) {
    BodyPalette p{kAbdomenSides, kAbdomenMiddle, kThoraxEdge, kThorax};
    const double back = kBackRX * kBackRY;
    if (s < kMottleSize) {
        double light = 0.0, dark = 0.0;
        for (const Patch& patch : kPatches) (patch.dark ? dark : light) += 2.0 * patch.rx * patch.ry;
        p.abdomenMiddle = averaged(p.abdomenMiddle, kMottleLight, light / back);
        p.abdomenMiddle = averaged(p.abdomenMiddle, kMottleDark, (dark + kMidlineRX * kMidlineRY) / back);
    }
    if (s < kBackSize) p.abdomenSides = averaged(p.abdomenSides, p.abdomenMiddle, back / (kAbdomenRX * kAbdomenRY));
    if (s < kStripeSize) {
        double stripes = 0.0;
        for (double y : kStripeY) stripes += stripeLength(y) * kStripeRY;
        p.thorax = averaged(p.thorax, kThoraxStripes, stripes / (kInnerRX * kInnerRY));
    }
    if (s < kThoraxEdgeSize) p.thoraxEdge = averaged(p.thoraxEdge, p.thorax, kInnerRX * kInnerRY / (kThoraxRX * kThoraxRY));
    return p;
}

// ---------------------------------------------------------------------------------------
// Legs. Joints for the fly's right side (y > 0): hip, knee, ankle, foot. The left side is
// the mirror image, except in a squashed fly.
struct Leg {
    double p[8];
};

const Leg kStanding[3] = {
    {{0.20, 0.07, 0.30, 0.20, 0.44, 0.27, 0.54, 0.30}},     // front
    {{0.11, 0.09, 0.13, 0.26, 0.06, 0.41, 0.02, 0.48}},     // middle
    {{0.02, 0.08, -0.08, 0.23, -0.26, 0.34, -0.36, 0.40}},  // hind
};
const Leg kTucked[3] = {
    {{0.20, 0.07, 0.30, 0.13, 0.37, 0.11, 0.41, 0.09}},
    {{0.11, 0.09, 0.10, 0.17, 0.02, 0.17, -0.04, 0.15}},
    {{0.02, 0.08, -0.10, 0.15, -0.26, 0.14, -0.33, 0.12}},
};
// Take-off: front legs drawn in, middle and hind legs stretched down and back.
const Leg kJumping[3] = {
    {{0.20, 0.07, 0.30, 0.17, 0.40, 0.15, 0.47, 0.12}},
    {{0.11, 0.09, 0.10, 0.26, -0.10, 0.38, -0.20, 0.42}},
    {{0.02, 0.08, -0.12, 0.22, -0.40, 0.26, -0.55, 0.24}},
};
// Touchdown: legs reaching forward and out for the glass.
const Leg kLanding[3] = {
    {{0.20, 0.07, 0.34, 0.18, 0.52, 0.22, 0.64, 0.22}},
    {{0.11, 0.09, 0.20, 0.26, 0.30, 0.40, 0.34, 0.46}},
    {{0.02, 0.08, -0.04, 0.26, -0.12, 0.42, -0.12, 0.50}},
};
// Swatted flat: legs splayed every which way and bent at the joints, right side then
// left. Two have come apart: see kSquashedBreaks.
const Leg kSquashedLegs[2][3] = {
    {{{0.18, 0.10, 0.34, 0.22, 0.39, 0.40, 0.52, 0.47}},
     {{0.08, 0.13, 0.17, 0.31, 0.09, 0.49, 0.13, 0.58}},
     {{-0.02, 0.13, -0.17, 0.30, -0.38, 0.40, -0.47, 0.50}}},
    {{{0.19, -0.10, 0.36, -0.17, 0.54, -0.14, 0.63, -0.23}},
     {{0.08, -0.13, 0.05, -0.31, -0.07, -0.46, -0.04, -0.56}},
     {{-0.02, -0.13, -0.21, -0.25, -0.30, -0.45, -0.41, -0.52}}},
};
// Where each squashed leg came apart: the joint it broke at (3: whole), and whether the
// part below was lost or lies knocked off by (dx, dy).
struct Break {
    int at;
    bool lost;
    double dx, dy;
};
const Break kSquashedBreaks[2][3] = {
    {{3, false, 0.0, 0.0}, {2, true, 0.0, 0.0}, {3, false, 0.0, 0.0}},     // right middle: foot lost
    {{3, false, 0.0, 0.0}, {1, false, 0.04, -0.08}, {3, false, 0.0, 0.0}},  // left middle: broken at the knee
};

// The pair of legs doing the cleaning in each grooming action, in its two frames. Legs
// working on the head, wings or abdomen lie over them, so everything below the knee is
// drawn above the body.
struct GroomingLegs {
    int leg;  // 0 front, 2 hind
    bool over;
    Leg frames[kGroomFrames];
};
const GroomingLegs kGrooming[kGroomActions] = {
    // Head: front legs drawn over the eyes, then over the front of the head.
    {0, true, {{{0.20, 0.07, 0.36, 0.22, 0.46, 0.13, 0.37, 0.05}}, {{0.20, 0.07, 0.38, 0.21, 0.50, 0.10, 0.45, 0.02}}}},
    // FrontLegs: rubbed together in front of the head, feet meeting, then reaching on.
    {0, false, {{{0.20, 0.07, 0.35, 0.18, 0.50, 0.08, 0.57, 0.015}}, {{0.20, 0.07, 0.33, 0.17, 0.52, 0.06, 0.61, 0.012}}}},
    // Wings: hind legs sweeping over the wings, near the base then out to the tips.
    {2, true, {{{0.02, 0.08, -0.10, 0.30, -0.34, 0.36, -0.50, 0.26}}, {{0.02, 0.08, -0.08, 0.31, -0.40, 0.30, -0.64, 0.16}}}},
    // Abdomen: hind legs rubbing its sides, then its tip.
    {2, true, {{{0.02, 0.08, -0.10, 0.30, -0.26, 0.26, -0.34, 0.14}}, {{0.02, 0.08, -0.12, 0.31, -0.38, 0.22, -0.48, 0.07}}}},
    // HindLegs: rubbed together behind the abdomen.
    {2, false, {{{0.02, 0.08, -0.12, 0.27, -0.44, 0.16, -0.60, 0.02}}, {{0.02, 0.08, -0.13, 0.28, -0.48, 0.13, -0.66, 0.015}}}},
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

// A leg narrows from the hip to the foot: its width at the hip, knee, ankle and foot,
// in body lengths, and the least each may have in pixels, so that a 9 px fly still
// shows its legs.
constexpr double kLegWidth[4] = {0.040, 0.030, 0.021, 0.013};
constexpr double kLegMinimum[4] = {1.0, 0.95, 0.85, 0.8};

// The leg's segments between joints `from` and `to` (0 hip .. 3 foot), moved by (dx, dy).
void addLegSegments(Path& path, const Leg& leg, double size, int from = 0, int to = 3, double dx = 0.0,
                    double dy = 0.0) {
    for (int i = from; i < to; ++i) {
        path.taperedSegment(leg.p[2 * i] + dx, leg.p[2 * i + 1] + dy, leg.p[2 * i + 2] + dx, leg.p[2 * i + 3] + dy,
                            std::max(kLegWidth[i] * size, kLegMinimum[i]),
                            std::max(kLegWidth[i + 1] * size, kLegMinimum[i + 1]));
    }
}

// The leg as the pose holds it, on the fly's right side; squashed legs come mirrored
// already. In walking frames the legs move in two tripods (front and hind on one side
// with the middle leg of the other): frame 0 one tripod reaches forward, frame 2 the
// other; in frames 1 and 3 the swinging tripod is lifted. Frame k is thus the mirror
// image of frame k + 2.
Leg legFor(const CanonicalPicture& pic, int side /* 0: right, 1: left */, int leg, bool* over) {
    *over = false;
    switch (pic.stance) {
    case Stance::Jumping: return kJumping[leg];
    case Stance::Flying: return kTucked[leg];
    case Stance::Landing: return kLanding[leg];
    case Stance::Squashed: return kSquashedLegs[side][leg];
    case Stance::Grooming: {
        const GroomingLegs& g = kGrooming[static_cast<int>(pic.groom)];
        if (leg == g.leg) {
            *over = g.over;
            return g.frames[pic.groomFrame];
        }
        // The four legs it stands on lean toward the ones at work and spread a little.
        const bool front = g.leg == 0;
        return swung(kStanding[leg], front ? (leg == 1 ? 0.16 : 0.06) : (leg == 1 ? -0.14 : -0.08), 1.0);
    }
    default: {
        const bool tripodA = (leg == 1) == (side == 0);
        const int phase = (pic.walkFrame + (tripodA ? 0 : 2)) % 4;
        const double angle[4] = {0.22, 0.0, -0.22, 0.0};
        const double reach[4] = {1.0, 1.0, 1.0, 0.82};
        return swung(kStanding[leg], angle[phase], reach[phase]);
    }
    }
}

// ---------------------------------------------------------------------------------------
// Wings. Each is an egg-shaped blade, narrow at the root and broadest two thirds out,
// laid out along `angle` from its root on the right side; the left wing is its mirror
// image. u runs from root (0) to tip (1), v across in wing widths, positive toward the
// leading edge (the outer side when folded).
constexpr double kWingRootX = 0.07, kWingRootY = 0.115;
constexpr double kWingLength = 0.84, kWingWidth = 0.34;
constexpr double kWingSpread = 0.26;     // radians off the body axis, folded at rest
constexpr double kOpeningSpread = 0.80;  // take-off: wings lifting into the beat
constexpr double kBeatLength = 0.68;     // beating wings tilt out of the picture plane

struct WingFrame {
    double rootX, rootY, cosA, sinA, length, width;
    double mirror;  // 1 for the right wing, -1 for the left

    WingFrame(double spread, double length, double width, double mirrorY)
        : rootX(kWingRootX), rootY(kWingRootY), cosA(-fm::cos(spread)), sinA(fm::sin(spread)), length(length),
          width(width), mirror(mirrorY) {}
    double x(double u, double v) const { return rootX + u * length * cosA + v * width * sinA; }
    double y(double u, double v) const { return mirror * (rootY + u * length * sinA - v * width * cosA); }
};

// Half-widths of the blade at u: the leading edge runs straighter than the trailing one.
double bladeProfile(double u) { return 2.0 * std::sqrt(std::max(0.0, u * (1.0 - u))) * (0.6 + 0.55 * u); }
double leadingEdge(double u) { return 0.425 * bladeProfile(u); }
double trailingEdge(double u) { return -0.575 * bladeProfile(u); }

// Adds the blade outline, always traced in the same turning sense so that two wings
// filled together add up rather than cancel where they overlap.
void addBlade(Path& path, const WingFrame& w) {
    constexpr int n = 14;
    double xs[2 * n], ys[2 * n];
    int k = 0;
    for (int i = 0; i <= n; ++i) {
        const double t = fm::kPi * i / n, u = 0.5 * (1.0 - fm::cos(t));
        xs[k] = w.x(u, leadingEdge(u));
        ys[k++] = w.y(u, leadingEdge(u));
    }
    for (int i = n - 1; i >= 1; --i) {
        const double t = fm::kPi * i / n, u = 0.5 * (1.0 - fm::cos(t));
        xs[k] = w.x(u, trailingEdge(u));
        ys[k++] = w.y(u, trailingEdge(u));
    }
    for (int i = 0; i < k; ++i) {
        const int j = w.mirror > 0 ? i : k - 1 - i;
        path.add(xs[j], ys[j]);
    }
    path.close();
}

void addVein(Path& path, const WingFrame& w, std::initializer_list<double> uv, double widthPixels) {
    const double* p = uv.begin();
    const int n = int(uv.size() / 2);
    for (int i = 0; i + 1 < n; ++i) {
        path.segment(w.x(p[2 * i], p[2 * i + 1]), w.y(p[2 * i], p[2 * i + 1]), w.x(p[2 * i + 2], p[2 * i + 3]),
                     w.y(p[2 * i + 2], p[2 * i + 3]), widthPixels);
    }
}

// A house fly's venation: the costa along the leading edge, the radial veins, and the
// fourth (medial) vein running back straight and then bending sharply forward to end
// near the tip, narrowing the cell between them; cross veins and the cubital vein from
// 48 px. Below that the costa and two long veins; below 24 px none.
void addVeins(Path& path, const WingFrame& w, double size) {
    if (size < 24.0) return;
    const double fine = std::max(0.0055 * size, 0.5), costa = std::max(0.009 * size, 0.6);
    for (int i = 0; i < 5; ++i) {
        const double u0 = 0.03 + 0.9 * i / 5, u1 = 0.03 + 0.9 * (i + 1) / 5;
        addVein(path, w, {u0, leadingEdge(u0) - 0.03, u1, leadingEdge(u1) - 0.03}, costa);
    }
    addVein(path, w, {0.04, 0.0, 0.5, 0.02, 0.985, 0.05}, fine);  // R4+5 to the tip
    if (size < 48.0) {
        addVein(path, w, {0.05, -0.04, 0.45, -0.13, 0.9, -0.12}, fine);
        return;
    }
    addVein(path, w, {0.02, 0.04, 0.30, 0.22, 0.48, leadingEdge(0.48) - 0.03}, fine);  // R1
    addVein(path, w, {0.03, 0.02, 0.45, 0.16, 0.85, leadingEdge(0.85) - 0.03}, fine);  // R2+3
    addVein(path, w, {0.05, -0.04, 0.42, -0.14, 0.73, -0.20, 0.84, -0.07, 0.97, -0.01}, fine);  // M, bent
    addVein(path, w, {0.07, -0.08, 0.40, -0.30, 0.62, trailingEdge(0.62) + 0.03}, fine);  // CuA
    addVein(path, w, {0.42, 0.015, 0.42, -0.13}, fine);   // r-m
    addVein(path, w, {0.55, -0.145, 0.53, -0.45}, fine);  // dm-cu
}

// Folded (or opening) wings over the abdomen; the squashed fly's lie askew.
void drawWings(Canvas& canvas, const Placement& at, double size, double rightSpread, double leftSpread,
               double length, float opacity) {
    Path blade(at), base(at), veins(at);
    const WingFrame wings[2] = {{rightSpread, length, kWingWidth * length / kWingLength, 1.0},
                                {leftSpread, length, kWingWidth * length / kWingLength, -1.0}};
    for (const WingFrame& w : wings) {
        addBlade(blade, w);
        if (size >= 20.0) {
            base.ellipse(w.x(0.07, 0.0), w.y(0.07, 0.0), 0.055 * length, 0.03, w.mirror * fm::atan2(w.sinA, w.cosA));
        }
        addVeins(veins, w, size);
    }
    Colour wing = kWing, veinColour = kWingVeins;
    wing.a *= opacity;
    veinColour.a *= opacity;
    canvas.fill(blade, wing);
    if (size >= 20.0) canvas.fill(base, kWingBase);
    canvas.fill(veins, veinColour);
}

// Beating wings: a pale fan sweeping from beside the head to behind the abdomen, with the
// wing at both ends of the stroke a little stronger (not when streaked by speed).
void drawBeatingWings(Canvas& canvas, const Placement& at, bool streaked) {
    Path fan(at), ghosts(at);
    for (double side : {1.0, -1.0}) {
        const double rootY = side * kWingRootY;
        const int n = 12;
        const double from = streaked ? 1.2 : 1.35, to = streaked ? 2.95 : 2.85;
        double xs[n + 2], ys[n + 2];
        xs[0] = kWingRootX;
        ys[0] = rootY;
        for (int i = 0; i <= n; ++i) {
            const double a = side * (from + (to - from) * i / n);
            xs[i + 1] = kWingRootX + fm::cos(a) * kBeatLength;
            ys[i + 1] = rootY + fm::sin(a) * kBeatLength;
        }
        for (int i = 0; i < n + 2; ++i) {
            const int j = side > 0 ? i : n + 1 - i;
            fan.add(xs[j], ys[j]);
        }
        fan.close();
        if (streaked) continue;
        for (double a : {1.45, 2.75}) {
            const double angle = side * a;
            const double ca = fm::cos(angle), sa = fm::sin(angle);
            ghosts.ellipse(kWingRootX + ca * kBeatLength * 0.5, rootY + sa * kBeatLength * 0.5, kBeatLength * 0.5,
                           kWingWidth * 0.4, angle);
        }
    }
    Colour fanColour = kWingBlur;
    if (streaked) fanColour.a = 0.11f;
    canvas.fill(fan, fanColour);
    canvas.fill(ghosts, kWingBlur);
}

// A fast fly leaves a short smear of itself along its path, fading toward its end.
void drawStreak(Canvas& canvas, const Placement& at) {
    for (double tail : {-0.80, -0.72, -0.64, -0.56}) {
        Path streak(at);
        const double xs[] = {0.05, -0.30, 0.5 * (tail - 0.30), tail};
        const double ys[] = {0.17, 0.19, 0.12, 0.0};
        for (int i = 0; i < 4; ++i) streak.add(xs[i], -ys[i]);
        for (int i = 2; i >= 0; --i) streak.add(xs[i], ys[i]);
        streak.close();
        canvas.fill(streak, kStreak);
    }
}

// ---------------------------------------------------------------------------------------
// The body. A squashed fly's is drawn through a placement that flattens it (shorter and
// wider), with a torn outline.

// A burst outline's radius, relative to the ellipse's, round it from the front (toward
// the fly's right): gentle bulges and dents, and three splits (a flank, the tip, the
// other flank) where the inside was pressed out.
constexpr double kTear[20] = {1.00, 0.97, 1.04, 1.01, 0.96, 1.03, 0.80, 1.02, 0.98, 1.05,
                              0.82, 1.00, 0.96, 1.04, 0.99, 0.78, 1.03, 0.97, 1.02, 0.99};

// An ellipse, or with `torn` its outline broken by kTear, traced like Path::ellipse.
// Between the table's points the radius is the mean of its neighbours, so the splits stay
// sharp and the rest rounds out.
void addOutline(Path& path, double cx, double rx, double ry, bool torn) {
    if (!torn) {
        path.ellipse(cx, 0.0, rx, ry);
        return;
    }
    constexpr int n = sizeof kTear / sizeof kTear[0];
    for (int i = 0; i < 2 * n; ++i) {
        const double r = i % 2 == 0 ? kTear[i / 2] : 0.5 * (kTear[i / 2] + kTear[(i / 2 + 1) % n]);
        const double a = fm::kPi * i / n;
        path.add(cx + rx * r * fm::cos(a), ry * r * fm::sin(a));
    }
    path.close();
}

void drawAbdomen(Canvas& canvas, const Placement& at, double s, const BodyPalette& colours, bool torn) {
    Path path(at);
    addOutline(path, kAbdomenX, kAbdomenRX, kAbdomenRY, torn);
    canvas.fill(path, colours.abdomenSides);
    if (s < kBackSize) return;
    path.clear();
    addOutline(path, kBackX, kBackRX, kBackRY, torn);
    canvas.fill(path, colours.abdomenMiddle);
    if (s < kMottleSize) return;
    Path light(at), dark(at);
    for (const Patch& p : kPatches) {
        for (double side : {1.0, -1.0}) (p.dark ? dark : light).ellipse(p.x, side * p.y, p.rx, p.ry, side * p.angle);
    }
    canvas.fill(light, kMottleLight);
    canvas.fill(dark, kMottleDark);
    path.clear();
    path.ellipse(kMidlineX, 0.0, kMidlineRX, kMidlineRY);
    canvas.fill(path, kMottleDark);
}

// Where a swatted abdomen split: its soft inside pressed out over one flank and the tip.
void drawInnards(Canvas& canvas, const Placement& at) {
    Path path(at);
    path.ellipse(-0.28, 0.19, 0.06, 0.028, 0.35);
    path.ellipse(-0.47, -0.05, 0.04, 0.025, -0.5);
    canvas.fill(path, kInnards);
}

void drawThorax(Canvas& canvas, const Placement& at, double s, const BodyPalette& colours) {
    Path path(at);
    path.ellipse(kThoraxX, 0.0, kThoraxRX, kThoraxRY);
    if (s >= kStripeSize) path.ellipse(-0.045, 0.0, 0.05, 0.085);  // scutellum
    canvas.fill(path, colours.thoraxEdge);
    if (s < kThoraxEdgeSize) return;
    path.clear();
    path.ellipse(kInnerX, 0.0, kInnerRX, kInnerRY);
    canvas.fill(path, colours.thorax);
    if (s < kStripeSize) return;
    // The four dark stripes down the back, the outer pair shorter.
    path.clear();
    for (double y : kStripeY) path.ellipse(0.14, y, stripeLength(y), kStripeRY);
    canvas.fill(path, kThoraxStripes);
}

void drawHead(Canvas& canvas, const Placement& at, double s, double tilt) {
    Path path(at);
    path.ellipse(0.355, 0.0, 0.085, 0.165, tilt);
    canvas.fill(path, kHead);
    path.clear();
    path.ellipse(0.335, 0.09, 0.085, 0.075, 0.35 + tilt);
    path.ellipse(0.335, -0.09, 0.085, 0.075, -0.35 + tilt);
    canvas.fill(path, kEyes);
    if (s >= 16.0) {
        path.clear();
        path.ellipse(0.37, 0.0, 0.06, 0.02, tilt);
        canvas.fill(path, kFace);
    }
    if (s >= 24.0) {
        path.clear();
        path.ellipse(0.355, 0.10, 0.025, 0.02, 0.5);
        path.ellipse(0.355, -0.10, 0.025, 0.02, -0.5);
        canvas.fill(path, kEyeShine);
    }
}

// What the body layer shows: it depends on the size, heading and this alone.
enum class BodyForm : std::uint8_t { Folded, Opening, Beating, Streaked, Squashed };

BodyForm bodyFormOf(const CanonicalPicture& pic) {
    switch (pic.stance) {
    case Stance::Jumping: return BodyForm::Opening;
    case Stance::Flying: return pic.motionBlur ? BodyForm::Streaked : BodyForm::Beating;
    case Stance::Landing: return BodyForm::Beating;
    case Stance::Squashed: return BodyForm::Squashed;
    default: return BodyForm::Folded;
    }
}

Placement placementFor(const CanonicalPicture& pic, double centre) {
    Placement at;
    at.originX = centre;  // the pixel corner at the anchor is the body centre
    at.originY = centre;
    at.cosH = pic.cosHeading;
    at.sinH = pic.sinHeading;
    at.scale = pic.size;
    return at;
}

// On the glass, a faint, soft contact shadow just round the body, so that the fly does
// not look pasted on. It lies over the legs' inner ends, which are nearly black anyway,
// and so goes into the body layer.
void drawContactShadow(Canvas& canvas, const CanonicalPicture& pic, double centre) {
    const double s = pic.size, c = pic.cosHeading, n = pic.sinHeading;
    const Canvas::SoftEllipse body{centre - 0.02 * s * c, centre - 0.02 * s * n, 0.45 * s, 0.19 * s, c, n};
    canvas.shadow(body, 0.6 + 0.04 * s, kContactShadow);
}

// A squashed fly's small smear on the glass, wiped back from the abdomen's tip, and a
// couple of drops: under its legs, translucent and darker than the glass it lies on.
void drawSmear(Canvas& canvas, const Placement& at) {
    Path smear(at);
    smear.ellipse(-0.53, 0.13, 0.12, 0.045, 0.5);
    smear.ellipse(-0.63, 0.17, 0.028, 0.022);
    smear.ellipse(-0.36, -0.27, 0.022, 0.018);
    canvas.fill(smear, kSmear);
}

// How far a swatted fly is flattened: along its length, across it, and its head.
constexpr double kSquashLength = 0.86, kSquashWidth = 1.38, kSquashHead = 1.12;

Placement flattened(const Placement& at) {
    Placement flat = at;
    flat.stretchX = kSquashLength;
    flat.stretchY = kSquashWidth;
    return flat;
}

// A swatted fly's head, and its antennae: flattened less, and knocked a little aside.
Placement knockedHead(const Placement& at) {
    Placement head = at;
    head.stretchX = kSquashLength;
    head.stretchY = kSquashHead;
    head.originX -= at.sinH * 0.03 * at.scale;
    head.originY += at.cosH * 0.03 * at.scale;
    return head;
}

// Everything above the legs: body, wings, head, and under them the contact shadow.
void drawBody(Canvas& canvas, const CanonicalPicture& pic, BodyForm form, bool contact, double centre) {
    const double s = pic.size;
    const Placement at = placementFor(pic, centre);
    const BodyPalette colours = bodyPalette(s);
    if (contact) drawContactShadow(canvas, pic, centre);
    if (form == BodyForm::Squashed) {
        const Placement flat = flattened(at);
        drawAbdomen(canvas, flat, s, colours, true);
        drawInnards(canvas, flat);
        drawThorax(canvas, flat, s, colours);
        drawWings(canvas, at, s, 0.95, -0.08, kWingLength * 0.86, 0.9f);
        drawHead(canvas, knockedHead(at), s, 0.30);
        return;
    }
    if (form == BodyForm::Streaked) drawStreak(canvas, at);
    if (form == BodyForm::Beating || form == BodyForm::Streaked) drawBeatingWings(canvas, at, form == BodyForm::Streaked);
    drawAbdomen(canvas, at, s, colours, false);
    drawThorax(canvas, at, s, colours);
    if (form == BodyForm::Folded) drawWings(canvas, at, s, kWingSpread, kWingSpread, kWingLength, 1.0f);
    if (form == BodyForm::Opening) {
        drawWings(canvas, at, s, kOpeningSpread, kOpeningSpread, kWingLength * 0.82, 0.8f);
    }
    drawHead(canvas, at, s, 0.0);
}

void drawFlightShadow(Canvas& canvas, const CanonicalPicture& pic, BodyForm form, double cx, double cy) {
    const double s = pic.size, alt = pic.altitude;
    const double sx = cx + kShadowDirX * alt, sy = cy + kShadowDirY * alt;
    const double c = pic.cosHeading, n = pic.sinHeading;
    // Body, widened by the blur of the wings when they beat.
    const double wings = form == BodyForm::Opening ? 0.24 : 0.30;
    const Canvas::SoftEllipse body{sx - 0.04 * s * c, sy - 0.04 * s * n, 0.44 * s, wings * s, c, n};
    // Higher up, the shadow spreads and pales.
    const double blur = 0.6 + 0.04 * s + 0.1 * alt;
    const float alpha = float(0.30 * (1.0 - 0.45 * alt / s));
    canvas.shadow(body, blur, alpha);
}

// ---------------------------------------------------------------------------------------
// Recently drawn body layers, per thread, within a memory budget, least recently used
// first out: a fly wobbling along a straight run keeps coming back to the same few
// headings, so most redraws (a new leg frame) find their body here. Each layer keeps only
// its drawn spans (a fly fills a third to a half of its square), so the budget holds two
// to three times as many bodies. A layer always goes through the
// same compositing step, cached or not, so a picture comes out the same either way.
class BodyCache {
public:
    struct Entry {
        Layer body;
        std::list<std::uint64_t>::iterator place;
        std::size_t bytes = 0;
    };

    // The entry stays valid until the next call: the newest entry is never evicted.
    const Entry& get(const CanonicalPicture& pic, BodyForm form, bool contact) {
        // Size, heading, form and the contact shadow.
        const std::uint64_t key = (pic.key >> 14 << 4) | std::uint64_t(form) << 1 | std::uint64_t(contact);
        auto found = entries_.find(key);
        if (found != entries_.end()) {
            order_.splice(order_.begin(), order_, found->second.place);
            return found->second;
        }
        order_.push_front(key);
        Entry& entry = entries_[key];
        entry.place = order_.begin();
        const int anchor = spriteAnchor(pic.size);
        draw(entry.body, 2 * anchor, [&](Canvas& c) { drawBody(c, pic, form, contact, anchor); });
        entry.bytes = entry.body.bytes() + kEntryOverhead;
        bytes_ += entry.bytes;
        // The newest entry stays, even should it alone exceed the budget.
        while (bytes_ > kBudgetBytes && order_.size() > 1) {
            auto oldest = entries_.find(order_.back());
            bytes_ -= oldest->second.bytes;
            entries_.erase(oldest);
            order_.pop_back();
        }
        return entry;
    }

private:
    // Enough for a few dozen flies of any one size to find the headings they walk at,
    // without growing the program by megabytes.
    static constexpr std::size_t kBudgetBytes = std::size_t(2) << 20;
    static constexpr std::size_t kEntryOverhead = 192;  // map node, list node, vectors

    // Draws into the full square, then keeps only what is drawn.
    template <class DrawFn>
    void draw(Layer& layer, int side, DrawFn drawFn) {
        scratch_.assign(std::size_t(side) * std::size_t(side), 0u);
        Canvas canvas(scratch_.data(), side, side);
        drawFn(canvas);
        layer.take(scratch_.data(), side, side);
        // A square for a very large fly is not kept beside the budget.
        if (scratch_.size() * sizeof(std::uint32_t) > kBudgetBytes) std::vector<std::uint32_t>().swap(scratch_);
    }

    std::unordered_map<std::uint64_t, Entry> entries_;
    std::list<std::uint64_t> order_;  // most recently used first
    std::size_t bytes_ = 0;
    std::vector<std::uint32_t> scratch_;  // the full square each layer is drawn into
};

// Legs one by one: filling them together would sweep the empty space between them on
// every row. `over` picks the parts that lie above the body (grooming legs below the knee).
void drawLegs(Canvas& canvas, const CanonicalPicture& pic, const Placement& at, bool over) {
    Path path(at);
    for (int side = 0; side < 2; ++side) {
        for (int leg = 0; leg < 3; ++leg) {
            bool legOver = false;
            Leg l = legFor(pic, side, leg, &legOver);
            if (over && !legOver) continue;
            if (side && pic.stance != Stance::Squashed) l = mirrored(l);
            path.clear();
            if (over) {
                addLegSegments(path, l, pic.size, 1, 3);
            } else if (pic.stance == Stance::Squashed) {
                const Break& b = kSquashedBreaks[side][leg];
                addLegSegments(path, l, pic.size, 0, b.at);
                if (!b.lost) addLegSegments(path, l, pic.size, b.at, 3, b.dx, b.dy);
            } else {
                addLegSegments(path, l, pic.size, 0, legOver ? 1 : 3);
            }
            canvas.fill(path, kLegs);
        }
    }
}

// A squashed fly fades out: every premultiplied channel scaled alike.
void fadeOut(Sprite& out, int fade) {
    const std::uint32_t keep = std::uint32_t(256 * (kSquashFadeSteps - fade) / kSquashFadeSteps);
    for (std::uint32_t& p : out.pixels) {
        const std::uint32_t rb = ((p & 0x00ff00ffu) * keep >> 8) & 0x00ff00ffu;
        const std::uint32_t ag = (((p >> 8) & 0x00ff00ffu) * keep) & 0xff00ff00u;
        p = rb | ag;
    }
}

}  // namespace

void renderFly(const FlyView& fly, Sprite& out) {
    const CanonicalPicture pic = canonicalPicture(fly.size, fly.heading, fly.pose);
    const int side = spriteSide(pic.size);
    const int anchor = spriteAnchor(pic.size);
    out.width = out.height = side;
    out.anchorX = out.anchorY = anchor;
    out.fitWidth = out.fitHeight = pic.castsFlightShadow() ? side : 2 * anchor;
    out.pixels.assign(std::size_t(side) * std::size_t(side), 0u);
    Canvas canvas(out.pixels.data(), side, side);

    static thread_local BodyCache cache;
    const BodyForm form = bodyFormOf(pic);
    const bool squashed = form == BodyForm::Squashed;
    const BodyCache::Entry& body = cache.get(pic, form, !pic.castsFlightShadow() && !squashed);
    const Placement at = placementFor(pic, anchor);
    if (pic.castsFlightShadow()) drawFlightShadow(canvas, pic, form, anchor, anchor);
    if (squashed) drawSmear(canvas, at);

    drawLegs(canvas, pic, at, false);
    // Antennae: short and stubby, just in front of the eyes.
    if (pic.size >= 12.0f) {
        Path path(squashed ? knockedHead(at) : at);
        const double w = std::max(0.02 * pic.size, 0.7);
        path.segment(0.40, 0.025, 0.45, 0.05, w);
        path.segment(0.40, -0.025, 0.45, -0.05, w);
        canvas.fill(path, kLegs);
    }
    canvas.drawLayer(body.body);
    if (pic.stance == Stance::Grooming) drawLegs(canvas, pic, at, true);
    if (pic.fade > 0) fadeOut(out, pic.fade);
}

}  // namespace gnatter
