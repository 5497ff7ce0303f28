// Escape: a fly reacts to an object that looms, one coming at it so fast that it would
// arrive within about 0.3 s, not to one that is merely near: a pointer that stands still,
// moves away, passes wide or creeps up slowly leaves it be. A fast pointer is therefore
// seen as a threat from further away than a slow one. The fly jumps at once and flies off
// to the side of the pointer's track, away from it; some escapes go far or off the screen.
#include "fly_state.h"

#include <limits>

namespace gnatter {

bool threatened(const Habitat& h, const Fly& f) {
    if (!h.pointerPresent || h.pointerAt < 0) return false;
    const double size = f.drawnSize();
    const double rx = f.x - h.pointerX, ry = f.y - h.pointerY;
    const double d = std::sqrt(rx * rx + ry * ry);
    if (d > tuning::kSightBodyLengths * size || d < 1e-9) return false;
    const double speed = std::sqrt(h.pointerVX * h.pointerVX + h.pointerVY * h.pointerVY);
    const double approach = (h.pointerVX * rx + h.pointerVY * ry) / d;
    if (approach < tuning::kLoomingMinSpeed * size) return false;
    const double miss = std::fabs(h.pointerVX * ry - h.pointerVY * rx) / speed;
    if (miss > tuning::kLoomingMissBodyLengths * size) return false;
    const double contact = std::max(0.0, d - 0.5 * size) / approach;
    return contact < tuning::kTimeToContact;
}

namespace {

// How close a straight flight from the fly to `to` comes to the pointer, assuming the
// pointer keeps going the way it went for another half second and the fly flies at a
// modest escape speed: a look, ahead of time, at the path the fly means to take. Both
// move in straight lines between the moments either stops, so the closest approach in
// each stretch is worked out exactly: a fast pointer cannot slip between samples.
double closestPass(const Habitat& h, const Fly& f, Point to) {
    constexpr double kPointerAhead = 0.5, kHorizon = 1.2;
    const double flySpeed = 25.0 * f.drawnSize();
    const double length = distance(f.x, f.y, to.x, to.y);
    const double ux = length > 1e-9 ? (to.x - f.x) / length : 0.0, uy = length > 1e-9 ? (to.y - f.y) / length : 0.0;
    const double arrival = length / flySpeed;
    const double stops[] = {0.0, std::min(arrival, kPointerAhead), std::max(arrival, kPointerAhead), kHorizon};
    double closest = std::numeric_limits<double>::max();
    for (int i = 0; i + 1 < 4; ++i) {
        const double t0 = std::min(stops[i], kHorizon), t1 = std::min(stops[i + 1], kHorizon);
        if (t1 < t0) continue;
        // Where each is at t0, and how fast each moves until t1.
        const double flyAt = std::min(length, flySpeed * t0), lead = std::min(t0, kPointerAhead);
        const double fx = f.x + ux * flyAt, fy = f.y + uy * flyAt;
        const double px = h.pointerX + h.pointerVX * lead, py = h.pointerY + h.pointerVY * lead;
        const double fvx = t0 < arrival ? ux * flySpeed : 0.0, fvy = t0 < arrival ? uy * flySpeed : 0.0;
        const double pvx = t0 < kPointerAhead ? h.pointerVX : 0.0, pvy = t0 < kPointerAhead ? h.pointerVY : 0.0;
        const double rx = fx - px, ry = fy - py, vx = fvx - pvx, vy = fvy - pvy;
        const double vv = vx * vx + vy * vy;
        const double t = vv > 1e-12 ? std::min(std::max(-(rx * vx + ry * vy) / vv, 0.0), t1 - t0) : 0.0;
        closest = std::min(closest, std::sqrt((rx + vx * t) * (rx + vx * t) + (ry + vy * t) * (ry + vy * t)));
    }
    return closest;
}

}  // namespace

void escape(Habitat& h, Fly& f) {
    const double size = f.drawnSize();
    double ax = f.x - h.pointerX, ay = f.y - h.pointerY;
    const double d = std::sqrt(ax * ax + ay * ay);
    if (d > 1e-9) {
        ax /= d;
        ay /= d;
    } else {
        ax = -fm::cos(f.heading);
        ay = -fm::sin(f.heading);
    }
    // Off to the side of the pointer's track, the side the fly is on (either when it is
    // dead ahead), and away from the pointer; the other side when that one is blocked.
    const double speed = std::sqrt(h.pointerVX * h.pointerVX + h.pointerVY * h.pointerVY);
    const double nx = speed > 1e-9 ? -h.pointerVY / speed : 0.0, ny = speed > 1e-9 ? h.pointerVX / speed : 0.0;
    const double lean = nx * ax + ny * ay;
    const double side = std::fabs(lean) > 0.05 ? (lean > 0.0 ? 1.0 : -1.0) : (f.rng.chance(0.5) ? 1.0 : -1.0);
    const double jitter = f.rng.range(-0.25, 0.25);
    const bool offScreen = f.rng.chance(tuning::kEscapeOffScreen);
    const double reach = f.rng.range(tuning::kEscapeMin, tuning::kEscapeMax) * size;
    const double clearance = 2.0 * size;

    // A way whose path keeps clear of the pointer is taken at once; failing that, the
    // least bad of those tried.
    Point best{f.x, f.y};
    bool bestLeaves = false;
    double bestPass = -1.0;
    auto clearWay = [&](Point to, bool leaves) {
        const double pass = closestPass(h, f, to);
        if (pass > bestPass) {
            bestPass = pass;
            best = to;
            bestLeaves = leaves;
        }
        return pass >= clearance;
    };
    for (double s : {side, -side}) {
        const double course = fm::atan2(ay + 1.5 * s * ny, ax + 1.5 * s * nx) + jitter;
        // Down near the end of the dash, on an edge if one is close. Where the ground ends
        // before the planned spot (the fly sits near an edge), the spot slides along the
        // edge; leaving the screen is the way out then.
        const Point out{f.x + fm::cos(course) * reach, f.y + fm::sin(course) * reach};
        Point spot = landingSpot(h, f, out.x, out.y, 0.3 * reach, nullptr);
        const double along = (spot.x - f.x) * fm::cos(course) + (spot.y - f.y) * fm::sin(course);
        const bool leaves = offScreen || along < 0.6 * reach;
        if (leaves) spot = exitAlong(h, f, course);
        // Blocked on the ground: off the screen that way may still be clear.
        if (clearWay(spot, leaves) || (!leaves && clearWay(exitAlong(h, f, course), true))) break;
    }
    // The jump goes straight for it, whichever way the body faces: the body turns after.
    const double jump = distance(best.x, best.y, f.x, f.y) > 1e-6 ? fm::atan2(best.y - f.y, best.x - f.x) : f.heading + fm::kPi;
    takeOff(h, f, bestLeaves ? FlightKind::Excursion : FlightKind::Escape, {best}, jump);
    f.flight.escaping = true;
}

}  // namespace gnatter
