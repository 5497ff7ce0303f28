// Flight, as house flies fly: a jump off the ground, then straight darts at 40-70 body
// lengths a second joined by sharp turns of 40-140 degrees that take a tenth of a second
// and cost a third of the speed, and a braking approach with the legs down. Most flights
// are short hops to an edge or a corner; a few circle a point for seconds or leave the
// screen and come back later.
#include "fly_state.h"

namespace gnatter {
namespace {

// A course error above this starts a sharp turn; below it the fly just corrects.
constexpr double kSharpTurnThreshold = 0.35;
constexpr double kCourseCorrection = 4.0;  // radians per second
constexpr double kPictureTurn = 0.33;   // radians
constexpr double kPictureClimb = 0.1;   // body lengths
// A reach that means anywhere on the ground.
constexpr double kAnywhere = 1e8;

bool landsAtEnd(FlightKind kind) { return kind != FlightKind::Leave && kind != FlightKind::Excursion; }

bool onSomeMonitor(const Habitat& h, Point p) { return !h.world.outOfSight(p.x, p.y, 0.0); }

double pathLength(Point from, const std::vector<Point>& waypoints) {
    double length = 0.0;
    for (const Point& p : waypoints) {
        length += distance(from.x, from.y, p.x, p.y);
        from = p;
    }
    return length;
}

// After the last waypoint: down on the ground, off the screen, or gone.
void arrivedAtEnd(Habitat& h, Fly& f) {
    FlightState& fl = f.flight;
    fl.legsDown = false;
    switch (fl.kind) {
        case FlightKind::Leave:
            if (h.world.outOfSight(f.x, f.y, h.sightReach(f))) {
                f.mode = Mode::Gone;
                f.altitude = 0.0;
            } else {
                leave(h, f);  // the monitors changed under it: find the new way out
            }
            return;
        case FlightKind::Excursion:
            if (h.world.outOfSight(f.x, f.y, h.sightReach(f))) {
                f.mode = Mode::Away;
                fl.awayUntil = h.now + stepsFor(f.rng.range(tuning::kAwayMin, tuning::kAwayMax));
            } else {
                returnToGround(h, f);
            }
            return;
        default:
            if (h.world.hasGround() && !h.world.canStand(f.x, f.y, h.standHalf(f))) {
                returnToGround(h, f);
                return;
            }
            noteLanded(h, f);
    }
}

}  // namespace

Point landingSpot(Habitat& h, Fly& f, double x, double y, double reach) {
    const double size = f.drawnSize(), half = h.standHalf(f);
    const double minimum = reach >= kAnywhere ? 0.0 : std::min(3.0 * size, 0.5 * reach);
    for (int attempt = 0; attempt < 12; ++attempt) {
        const double u = f.rng.unit();
        const double inset = f.rng.range(tuning::kEdgeInsetMin, tuning::kEdgeInsetMax) * size;
        Point spot{};
        if (u < tuning::kEdgeLandingShare * tuning::kCornerShare) {
            Point corner{};
            if (!h.landmarks.randomCorner(f.rng, corner)) continue;
            // Into whichever quarter round the corner there is ground.
            const int first = int(f.rng.unit() * 4.0);
            bool found = false;
            for (int q = 0; q < 4 && !found; ++q) {
                const int k = (first + q) % 4;
                const Point p{corner.x + ((k & 1) ? inset : -inset), corner.y + ((k & 2) ? inset : -inset)};
                if (h.world.canStand(p.x, p.y, half)) {
                    spot = p;
                    found = true;
                }
            }
            if (!found) continue;
        } else if (u < tuning::kEdgeLandingShare) {
            Point at{}, normal{};
            if (!h.landmarks.randomEdgePoint(f.rng, at, normal)) continue;
            spot = h.world.nearestStandingPoint(at.x + normal.x * inset, at.y + normal.y * inset, half);
        } else if (reach >= kAnywhere) {
            spot = h.world.randomStandingPoint(f.rng, half);
        } else {
            const double angle = f.rng.range(0.0, fm::kTwoPi), r = f.rng.range(minimum, reach);
            spot = h.world.nearestStandingPoint(x + fm::cos(angle) * r, y + fm::sin(angle) * r, half);
        }
        const double d = distance(spot.x, spot.y, x, y);
        if (d <= reach && d >= minimum) return spot;
    }
    if (reach >= kAnywhere) return h.world.randomStandingPoint(f.rng, half);
    const double angle = f.rng.range(0.0, fm::kTwoPi);
    return h.world.nearestStandingPoint(x + fm::cos(angle) * reach, y + fm::sin(angle) * reach, half);
}

std::vector<Point> pathTo(Habitat& h, Fly& f, Point from, Point to) {
    const double size = f.drawnSize();
    const double d = distance(from.x, from.y, to.x, to.y);
    if (d < 2.0 * tuning::kLegMinBodyLengths * size) return {to};
    // One sharp turn at C: the course leaves A turned by alpha off the line to B and
    // comes into B turned by beta the other way, so the turn at C is alpha + beta.
    const double theta = f.rng.range(tuning::kTurnMin, tuning::kTurnMax);
    const double alpha = theta * f.rng.range(0.35, 0.65), beta = theta - alpha;
    const double base = fm::atan2(to.y - from.y, to.x - from.x);
    const double legA = d * fm::sin(beta) / fm::sin(theta), legB = d * fm::sin(alpha) / fm::sin(theta);
    if (legA < tuning::kLegMinBodyLengths * size || legB < tuning::kLegMinBodyLengths * size) return {to};
    const double first = f.rng.chance(0.5) ? 1.0 : -1.0;
    for (double side : {first, -first}) {
        const double course = base + side * alpha;
        const Point c{from.x + fm::cos(course) * legA, from.y + fm::sin(course) * legA};
        if (onSomeMonitor(h, c)) return {c, to};
    }
    return {to};
}

void takeOff(Habitat& h, Fly& f, FlightKind kind, const std::vector<Point>& waypoints) {
    FlightState& fl = f.flight;
    const bool wasFlying = f.mode == Mode::Flying;
    const double size = f.drawnSize();
    fl.kind = kind;
    fl.waypoints = waypoints;
    fl.next = 0;
    fl.cruise = std::max(f.rng.range(tuning::kCruiseMin, tuning::kCruiseMax) * size, tuning::kCruiseMinPixels);
    fl.start = h.now;
    fl.turning = false;
    fl.legsDown = false;
    fl.escaping = false;
    fl.chasing = -1;
    if (!wasFlying) {
        fl.peak = f.rng.range(tuning::kCruiseAltitudeMin, tuning::kCruiseAltitudeMax);
        fl.fromGround = true;
        fl.tookOff = h.now;
        fl.speed = tuning::kJumpSpeed * size;
        const Point& p = waypoints.front();
        if (distance(p.x, p.y, f.x, f.y) > 1e-6) f.heading = fm::atan2(p.y - f.y, p.x - f.x);
        f.altitude = 0.0;
    }
    fl.deadline = h.now + stepsFor(pathLength({f.x, f.y}, waypoints) / fl.cruise * 3.0 + 2.0);
    f.mode = Mode::Flying;
    f.perch = 0;
    f.perchLostAt = -1;
    f.groomNext = false;
}

Point exitAlong(const Habitat& h, const Fly& f, double course) {
    const double step = 8.0 * f.drawnSize(), cx = fm::cos(course), cy = fm::sin(course);
    Point far{f.x, f.y};
    for (int i = 0; i < 512 && !h.world.outOfSight(far.x, far.y, h.sightReach(f)); ++i) {
        far = {far.x + cx * step, far.y + cy * step};
    }
    return far;
}

void hop(Habitat& h, Fly& f) {
    const double reach = f.rng.range(tuning::kHopMin, tuning::kHopMax) * f.drawnSize();
    const Point spot = landingSpot(h, f, f.x, f.y, reach);
    takeOff(h, f, FlightKind::Hop, pathTo(h, f, {f.x, f.y}, spot));
}

void longFlight(Habitat& h, Fly& f) {
    const double size = f.drawnSize();
    if (f.rng.chance(tuning::kExcursionShare)) {
        // Off the screen across a random edge of this monitor, back in a while.
        takeOff(h, f, FlightKind::Excursion, {exitAlong(h, f, f.rng.range(0.0, fm::kTwoPi))});
        return;
    }
    // Circling a point, as flies do under a lamp: a loop of straight legs and sharp turns.
    const double radius = f.rng.range(tuning::kCircleRadiusMin, tuning::kCircleRadiusMax) * size;
    const double seconds = f.rng.range(tuning::kCircleSecondsMin, tuning::kCircleSecondsMax);
    const double cruise = typicalCruise(size);
    const double away = f.rng.range(0.0, fm::kTwoPi);
    const Point centre = h.world.nearestStandingPoint(f.x + fm::cos(away) * radius * 1.5, f.y + fm::sin(away) * radius * 1.5,
                                                      radius + h.standHalf(f));
    const double sense = f.rng.chance(0.5) ? 1.0 : -1.0;
    double phase = fm::atan2(f.y - centre.y, f.x - centre.x), time = 0.0;
    Point last{f.x, f.y};
    std::vector<Point> waypoints;
    while (time < seconds && waypoints.size() < 64) {
        phase += sense * f.rng.range(0.9, 1.9);
        const double r = radius * f.rng.range(0.8, 1.2);
        const Point p{centre.x + fm::cos(phase) * r, centre.y + fm::sin(phase) * r};
        time += distance(p.x, p.y, last.x, last.y) / cruise + 0.05;
        waypoints.push_back(p);
        last = p;
    }
    const Point spot = landingSpot(h, f, centre.x, centre.y, 3.0 * radius);
    const std::vector<Point> end = pathTo(h, f, last, spot);
    waypoints.insert(waypoints.end(), end.begin(), end.end());
    takeOff(h, f, FlightKind::Circle, waypoints);
}

void arrive(Habitat& h, Fly& f, double delaySeconds) {
    const double reach = h.sightReach(f);
    const Point target = landingSpot(h, f, f.x, f.y, kAnywhere);
    Point start = h.world.exitPoint(target.x, target.y, reach);
    // Come in from a little further out and off to one side, so arrivals fan out.
    const double dx = start.x - target.x, dy = start.y - target.y;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (d > 1e-6) {
        const double extra = f.rng.range(0.0, 3.0) * f.drawnSize();
        const double side = f.rng.range(-0.5, 0.5) * d;
        const Point moved{start.x + dx / d * extra - dy / d * side, start.y + dy / d * extra + dx / d * side};
        if (h.world.outOfSight(moved.x, moved.y, reach)) start = moved;
    }
    f.x = start.x;
    f.y = start.y;
    f.heading = fm::atan2(target.y - start.y, target.x - start.x);
    f.mode = Mode::Flying;  // already in the air: no jump
    takeOff(h, f, FlightKind::Arrive, pathTo(h, f, start, target));
    FlightState& fl = f.flight;
    fl.fromGround = false;
    fl.peak = f.rng.range(tuning::kCruiseAltitudeMin, tuning::kCruiseAltitudeMax);
    fl.speed = fl.cruise;
    f.altitude = fl.peak;
    if (delaySeconds > 0.0) {
        fl.start = h.now + stepsFor(delaySeconds);
        fl.deadline += fl.start - h.now;
    }
}

void leave(Habitat& h, Fly& f) {
    if (f.mode == Mode::Gone || f.mode == Mode::Squashed) return;
    if (f.mode == Mode::Waiting || f.mode == Mode::Away || h.world.outOfSight(f.x, f.y, h.sightReach(f))) {
        f.mode = Mode::Gone;
        f.altitude = 0.0;
        return;
    }
    takeOff(h, f, FlightKind::Leave, {h.world.exitPoint(f.x, f.y, h.sightReach(f))});
}

void returnToGround(Habitat& h, Fly& f) {
    const Point spot = h.world.nearestStandingPoint(f.x, f.y, h.standHalf(f));
    takeOff(h, f, FlightKind::Return, {spot});
}

void stepFlight(Habitat& h, Fly& f) {
    FlightState& fl = f.flight;
    if (h.now < fl.start) return;  // still waiting off-screen
    if (fl.chasing >= 0 && (h.now >= fl.chaseEnd || h.flies[std::size_t(fl.chasing)].mode != Mode::Flying)) endChase(h, f);
    const double size = f.drawnSize();
    const bool following = fl.chasing >= 0;
    const Point target = following ? chaseTarget(h, f) : fl.waypoints[fl.next];
    const bool final = !following && fl.next + 1 == fl.waypoints.size();
    const bool landing = final && landsAtEnd(fl.kind);

    const double dx = target.x - f.x, dy = target.y - f.y;
    const double dist = std::sqrt(dx * dx + dy * dy);
    const double diff = dist > 1e-9 ? fm::angleDiff(fm::atan2(dy, dx), f.heading) : 0.0;
    if (!fl.turning && std::fabs(diff) > kSharpTurnThreshold) {
        fl.turning = true;
        fl.turnRate = std::fabs(diff) / f.rng.range(tuning::kTurnSecondsMin, tuning::kTurnSecondsMax);
    }
    double rate = fl.turning ? fl.turnRate : kCourseCorrection;
    // Never orbit a point: a turn that would circle it tightens until it can reach it.
    if (std::fabs(diff) > 0.5 && dist > 1e-9) rate = std::max(rate, 2.0 * fl.speed / dist);
    if (landing && dist < 3.0 * size) rate = std::max(rate, std::fabs(diff) / 0.04);
    const double turn = std::max(-rate * kDt, std::min(rate * kDt, diff));
    f.heading = fm::wrapAngle(f.heading + turn);
    if (fl.turning && std::fabs(diff - turn) < 0.03) fl.turning = false;

    double goal = fl.cruise * (fl.turning ? tuning::kTurnSpeedShare : 1.0);
    const double brake = tuning::kApproachBodyLengths * size;
    if (landing && dist < brake) goal = std::min(goal, std::max(tuning::kTouchdownSpeed * size, fl.cruise * dist / brake));
    const double accel = tuning::kAcceleration * size * kDt;
    fl.speed = fl.speed < goal ? std::min(goal, fl.speed + accel) : std::max(goal, fl.speed - 2.5 * accel);
    const double stride = fl.speed * kDt;

    const double climb = fl.fromGround ? std::min(1.0, double(h.now - fl.tookOff) * kDt / tuning::kClimbSeconds) : 1.0;
    const double descent = landing ? std::min(1.0, dist / brake) : 1.0;
    f.altitude = fl.peak * std::min(climb, descent);
    fl.legsDown = landing && dist < tuning::kLegsDownBodyLengths * size;
    // The picture turns in steps of about 19 degrees and climbs in tenths of a body
    // length: through a sharp turn it changes every other frame or so, not every frame.
    if (std::fabs(fm::angleDiff(f.heading, f.pictureHeading)) > kPictureTurn ||
        std::fabs(f.altitude - f.pictureAltitude) > kPictureClimb) {
        f.pictureDue = true;
    }

    if (!following && (dist <= std::max(stride, 0.5) || (!final && dist <= std::max(1.5 * stride, 0.5 * size)))) {
        if (final || h.now >= fl.deadline) {
            f.x = target.x;
            f.y = target.y;
            arrivedAtEnd(h, f);
            return;
        }
        ++fl.next;
    } else if (h.now >= fl.deadline && !following) {
        const Point& end = fl.waypoints.back();
        f.x = end.x;
        f.y = end.y;
        fl.next = fl.waypoints.size() - 1;
        arrivedAtEnd(h, f);
        return;
    }
    f.x += fm::cos(f.heading) * stride;
    f.y += fm::sin(f.heading) * stride;
}

void stepAway(Habitat& h, Fly& f) {
    if (h.departing) {
        f.mode = Mode::Gone;
        return;
    }
    if (h.now >= f.flight.awayUntil && h.world.hasGround()) arrive(h, f, 0.0);
}

bool flightOnScreen(const Habitat& h, const Fly& f) {
    return h.now >= f.flight.start && !h.world.outOfSight(f.x, f.y, h.sightReach(f));
}

}  // namespace gnatter
