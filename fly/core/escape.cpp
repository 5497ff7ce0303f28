// Escape: a fly reacts to an object that looms, one coming at it so fast that it would
// arrive within about 0.3 s, not to one that is merely near: a pointer that stands still,
// moves away, passes wide or creeps up slowly leaves it be. A fast pointer is therefore
// seen as a threat from further away than a slow one. The fly jumps at once and flies off
// to the side of the pointer's track, away from it; some escapes go far or off the screen.
#include "fly_state.h"

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
    // dead ahead), and away from the pointer.
    const double speed = std::sqrt(h.pointerVX * h.pointerVX + h.pointerVY * h.pointerVY);
    double fx = ax, fy = ay;
    if (speed > 1e-9) {
        const double nx = -h.pointerVY / speed, ny = h.pointerVX / speed;
        double side = nx * ax + ny * ay;
        side = std::fabs(side) > 0.05 ? (side > 0.0 ? 1.0 : -1.0) : (f.rng.chance(0.5) ? 1.0 : -1.0);
        fx = ax + 1.5 * side * nx;
        fy = ay + 1.5 * side * ny;
    }
    const double course = fm::atan2(fy, fx) + f.rng.range(-0.25, 0.25);
    const double cx = fm::cos(course), cy = fm::sin(course);

    if (f.rng.chance(tuning::kEscapeOffScreen)) {
        takeOff(h, f, FlightKind::Excursion, {exitAlong(h, f, course)});
        f.flight.escaping = true;
        return;
    }
    const double reach = f.rng.range(tuning::kEscapeMin, tuning::kEscapeMax) * size;
    const Point out{f.x + cx * reach, f.y + cy * reach};
    const Point spot = h.world.nearestStandingPoint(out.x, out.y, h.standHalf(f));
    // Where the ground ends before the planned spot (the fly sits near an edge and the
    // pointer comes from inside), the spot slides along the edge; should that bring it
    // back toward the pointer, it leaves the screen instead.
    const double startGap = d;
    const double endGap = distance(spot.x, spot.y, h.pointerX, h.pointerY);
    const double along = (spot.x - f.x) * cx + (spot.y - f.y) * cy;
    if (endGap < startGap + 2.0 * size || along < 2.0 * size) {
        takeOff(h, f, FlightKind::Excursion, {exitAlong(h, f, course)});
        f.flight.escaping = true;
        return;
    }
    takeOff(h, f, FlightKind::Escape, {spot});
    f.flight.escaping = true;
}

}  // namespace gnatter
