// Flight, as house flies fly: a jump off the ground, forward unless something startled the
// fly, acceleration to a cruising speed that never quite settles, straight legs joined by
// saccades (sharp turns of 40-140 degrees in a tenth of a second or so, which cost more
// speed the sharper they are), and a braking approach with the legs down. The body turns
// into the direction of travel over a few frames; it never flips. Most flights are short
// hops to an edge or a corner; a few circle a point for seconds or leave the screen and
// come back later.
#include "fly_state.h"

namespace gnatter {
namespace {

constexpr double kDegree = fm::kPi / 180.0;
// A fly that sees its goal further off its course than this turns sharply (a saccade).
constexpr double kSaccadeThreshold = 40.0 * kDegree;
constexpr double kSaccadeSmallest = tuning::kSaccadeMinFlying;
constexpr double kSaccadeLargest = tuning::kSaccadeMaxFlying;
// Gentle steering, radians per second, for what is left: on the way, and on the final
// approach to a landing, where the spot swings across the view faster.
constexpr double kGentleTurn = 30.0 * kDegree;
constexpr double kEagerTurn = 150.0 * kDegree;
// A goal further off the course than this, but not far enough for a saccade, is put
// right with a small flick of the course rather than a long curve.
constexpr double kFlickThreshold = 12.0 * kDegree;
constexpr double kTurnBudget = tuning::kTurnBudget;
// The body catches up with the course at most this fast (radians per second).
constexpr double kBodyTurnRate = 1200.0 * kDegree;
constexpr double kPictureTurn = 0.33;   // radians
constexpr double kPictureClimb = 0.1;   // body lengths
// A reach that means anywhere on the ground.
constexpr double kAnywhere = 1e8;
// A fly choosing a new spot in the air takes one within this of its course.
constexpr double kInFlightCone = 55.0 * kDegree;
// Spontaneous jumps lean toward the goal by at most this, plus a little scatter.
constexpr double kJumpLean = 30.0 * kDegree;
constexpr double kJumpScatter = 6.0 * kDegree;

bool landsAtEnd(FlightKind kind) { return kind != FlightKind::Leave && kind != FlightKind::Excursion; }

bool onSomeMonitor(const Habitat& h, Point p) { return !h.world.outOfSight(p.x, p.y, 0.0); }

double bearing(double fromX, double fromY, Point to) { return fm::atan2(to.y - fromY, to.x - fromX); }

double clampAbs(double v, double limit) { return std::max(-limit, std::min(limit, v)); }

double pathLength(Point from, const std::vector<Point>& waypoints) {
    double length = 0.0;
    for (const Point& p : waypoints) {
        length += distance(from.x, from.y, p.x, p.y);
        from = p;
    }
    return length;
}

// ---- the turning budget ----

double turnedLately(const FlightState& fl) {
    double sum = 0.0;
    for (float t : fl.turned) sum += double(t);
    return sum;
}

void noteTurn(FlightState& fl, double radians) {
    fl.turned[fl.turnedAt] = float(std::fabs(radians));
    fl.turnedAt = (fl.turnedAt + 1) % FlightState::kTurnMemory;
}

// ---- saccades ----

// How long a saccade of this angle takes: sharper ones take longer.
double saccadeSeconds(Fly& f, double angle) {
    constexpr double shortest = tuning::kSaccadeSecondsMinFlying, longest = tuning::kSaccadeSecondsMaxFlying;
    const double share = (std::fabs(angle) - kSaccadeSmallest) / (kSaccadeLargest - kSaccadeSmallest);
    // A little scatter, kept clear of either end (a tracker sees a turn a frame short).
    const double seconds = shortest + 0.004 + (longest - shortest - 0.013) * share + f.rng.range(-0.004, 0.008);
    return std::min(longest, std::max(shortest, seconds));
}

// The share of the turn done after `u` of its time: the course swings at a steady rate
// but for brief ramps in and out.
double saccadeProgress(double u) {
    constexpr double r = 0.15;
    u = std::min(1.0, std::max(0.0, u));
    double area = 0.0;
    if (u < r) area = 0.5 * u * u / r;
    else if (u <= 1.0 - r) area = 0.5 * r + (u - r);
    else area = 1.0 - r - 0.5 * (1.0 - u) * (1.0 - u) / r;
    return area / (1.0 - r);
}

// Where a saccade of `angle` begun now would leave the fly, roughly: the chord of its arc.
Point saccadeEnd(const Fly& f, double angle, double seconds) {
    const FlightState& fl = f.flight;
    const double arc = fl.speed * seconds * 0.85;
    const double half = 0.5 * angle;
    const double chord = std::fabs(half) > 1e-6 ? arc * fm::sin(std::fabs(half)) / std::fabs(half) : arc;
    return {f.x + fm::cos(fl.course + half) * chord, f.y + fm::sin(fl.course + half) * chord};
}

// The turn that, begun now, leaves the fly heading for `goal`: the bearing of the goal
// seen from where the turn will end, but never far past the bearing seen from here (a
// goal close by would otherwise swing the turn round).
double saccadeToward(Fly& f, Point goal, double& seconds) {
    const FlightState& fl = f.flight;
    const double direct = fm::angleDiff(bearing(f.x, f.y, goal), fl.course);
    seconds = saccadeSeconds(f, direct);
    const Point end = saccadeEnd(f, direct, seconds);
    double angle = direct;
    if (distance(end.x, end.y, goal.x, goal.y) > f.drawnSize()) {
        angle = fm::angleDiff(bearing(end.x, end.y, goal), fl.course);
        if (angle * direct < 0.0) angle = direct;
        angle = direct + clampAbs(angle - direct, 20.0 * kDegree);
    }
    seconds = saccadeSeconds(f, angle);
    return angle;
}

// Starts a saccade of about `angle`; when the last half second's turning leaves room
// only for most of it, that much, so long as it is still a saccade (a fly that could
// turn only a little of the way would circle its goal).
bool startSaccade(Habitat& h, Fly& f, double angle, double seconds) {
    FlightState& fl = f.flight;
    if (std::fabs(angle) < kSaccadeThreshold) return false;
    const double room = kTurnBudget - turnedLately(fl);
    const double wanted = std::min(std::max(std::fabs(angle), kSaccadeSmallest), kSaccadeLargest);
    const double by = (angle < 0.0 ? -1.0 : 1.0) * std::min(wanted, room);
    if (std::fabs(by) < std::max(kSaccadeSmallest, wanted - 25.0 * kDegree)) return false;
    fl.turning = true;
    fl.turn.start = h.now;
    fl.turn.steps = stepsFor(seconds);
    fl.turn.from = fl.course;
    fl.turn.by = by;
    // Sharper turns cost more speed.
    const double share = (std::fabs(by) - kSaccadeSmallest) / (kSaccadeLargest - kSaccadeSmallest);
    const double loss = tuning::kSaccadeLossMin + (tuning::kSaccadeLossMax - tuning::kSaccadeLossMin) * share;
    fl.turn.loss = std::min(0.55, std::max(0.08, loss + 0.015 * fm::normal(f.rng)));
    return true;
}

// A small correction of the course: quick, and it costs next to no speed.
void startFlick(Habitat& h, Fly& f, double angle) {
    FlightState& fl = f.flight;
    fl.turning = true;
    fl.turn.start = h.now;
    fl.turn.steps = stepsFor(0.045 + 0.04 * std::fabs(angle) / kSaccadeThreshold);
    fl.turn.from = fl.course;
    fl.turn.by = angle;
    fl.turn.loss = 0.03;
}

// ---- planning ----

// After-landing bookkeeping: down on the ground, off the screen, or gone.
void arrivedAtEnd(Habitat& h, Fly& f) {
    FlightState& fl = f.flight;
    fl.legsDown = false;
    fl.circling = false;
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
            // The other fly of a chase steers clear of where this one came down.
            if (fl.kind == FlightKind::Chase && fl.partner >= 0) {
                FlightState& other = h.flies[std::size_t(fl.partner)].flight;
                if (other.partner == int(&f - h.flies.data())) {
                    other.partnerDown = true;
                    other.partnerSpot = {f.x, f.y};
                }
            }
            if (h.world.hasGround() && !h.world.canStand(f.x, f.y, h.standHalf(f))) {
                const Point spot = h.world.nearestStandingPoint(f.x, f.y, h.standHalf(f));
                // A touchdown a hair beside the ground slides onto it; further off, it
                // goes round again.
                if (distance(spot.x, spot.y, f.x, f.y) > 0.15 * f.drawnSize()) {
                    returnToGround(h, f);
                    return;
                }
                f.x = spot.x;
                f.y = spot.y;
            }
            noteLanded(h, f);
    }
}

// Spacing between two flies' centres that each keeps: a body length of the larger.
double personalSpace(const Fly& a, const Fly& b) { return std::max(a.drawnSize(), b.drawnSize()); }

}  // namespace

double forwardJumpToward(Fly& f, Point goal) {
    const double lean = clampAbs(fm::angleDiff(bearing(f.x, f.y, goal), f.heading), kJumpLean);
    return fm::wrapAngle(f.heading + lean + f.rng.range(-kJumpScatter, kJumpScatter));
}

bool crowded(const Habitat& h, const Fly& f, Point p, double share) {
    for (const Fly& o : h.flies) {
        if (&o == &f) continue;
        Point at{};
        if (o.grounded()) {
            at = {o.x, o.y};
        } else if (o.mode == Mode::Flying && landsAtEnd(o.flight.kind) && !o.flight.waypoints.empty() &&
                   o.flight.chasing < 0) {
            at = o.flight.waypoints.back();
        } else {
            continue;
        }
        if (distance(p.x, p.y, at.x, at.y) < share * personalSpace(f, o)) return true;
    }
    return false;
}

namespace {

// A spot for a fly by this corner, in whichever quarter round it there is ground; when a
// fly already sits in the corner, beside it along one of the two edges.
bool cornerSpot(Habitat& h, Fly& f, Point corner, double inset, Point& spot) {
    const double size = f.drawnSize(), half = h.standHalf(f);
    const int first = int(f.rng.unit() * 4.0);
    const double slide = f.rng.range(1.25, 1.6) * size;
    const bool alongX = f.rng.chance(0.5);
    for (int q = 0; q < 4; ++q) {
        const int k = (first + q) % 4;
        const double sx = (k & 1) ? 1.0 : -1.0, sy = (k & 2) ? 1.0 : -1.0;
        for (int shift = 0; shift < 3; ++shift) {
            const bool x = shift == 1 ? alongX : !alongX;
            const double ex = shift > 0 && x ? slide : 0.0, ey = shift > 0 && !x ? slide : 0.0;
            const Point p{corner.x + sx * (inset + ex), corner.y + sy * (inset + ey)};
            if (h.world.canStand(p.x, p.y, half) && !crowded(h, f, p, tuning::kLandingSpace)) {
                spot = p;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

Point clearSpot(Habitat& h, Fly& f, Point p) {
    if (!crowded(h, f, p, tuning::kLandingSpace)) return p;
    const double size = f.drawnSize(), half = h.standHalf(f);
    const double turn = f.rng.range(0.0, fm::kTwoPi);
    for (double r : {1.6, 2.4, 3.4, 5.0}) {
        for (int k = 0; k < 8; ++k) {
            const double a = turn + k * fm::kTwoPi / 8.0;
            const Point q = h.world.nearestStandingPoint(p.x + fm::cos(a) * r * size, p.y + fm::sin(a) * r * size, half);
            if (!crowded(h, f, q, tuning::kLandingSpace)) return q;
        }
    }
    return p;  // nowhere free near by: a crowd it is, and the flies will sort it out
}

Point landingSpot(Habitat& h, Fly& f, double x, double y, double reach, const double* facing, double cone) {
    const double size = f.drawnSize(), half = h.standHalf(f);
    const bool anywhere = reach >= kAnywhere;
    const double minimum = anywhere ? 0.0 : 0.5 * reach;
    constexpr int kAttempts = 16;
    Point fallback{};
    bool hasFallback = false;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const double u = f.rng.unit();
        const double inset = f.rng.range(tuning::kEdgeInsetMin, tuning::kEdgeInsetMax) * size;
        // Near by, the fly looks round a point of the disc (ahead of it, when it faces
        // somewhere) and settles for the edge or corner nearest to that point.
        Point around{};
        if (!anywhere) {
            const double angle = facing != nullptr ? *facing + f.rng.range(-cone, cone) : f.rng.range(0.0, fm::kTwoPi);
            const double r = f.rng.range(minimum, reach);
            around = {x + fm::cos(angle) * r, y + fm::sin(angle) * r};
        }
        Point spot{};
        if (u < tuning::kEdgeLandingShare * tuning::kCornerShare) {
            Point corner{};
            const bool found = anywhere ? h.landmarks.randomCorner(f.rng, corner)
                                        : h.landmarks.nearestCorner(around.x, around.y, corner);
            if (!found || !cornerSpot(h, f, corner, inset, spot)) continue;
        } else if (u < tuning::kEdgeLandingShare) {
            Point at{}, normal{};
            const bool found = anywhere ? h.landmarks.randomEdgePoint(f.rng, at, normal)
                                        : h.landmarks.nearestEdgePoint(around.x, around.y, at, normal);
            if (!found) continue;
            spot = h.world.nearestStandingPoint(at.x + normal.x * inset, at.y + normal.y * inset, half);
        } else if (anywhere) {
            spot = h.world.randomStandingPoint(f.rng, half);
        } else {
            spot = h.world.nearestStandingPoint(around.x, around.y, half);
        }
        const double d = distance(spot.x, spot.y, x, y);
        if (d > reach || d < minimum || crowded(h, f, spot, tuning::kLandingSpace)) continue;
        // Ahead where it can be: spontaneous flights go forward.
        const bool ahead = facing == nullptr || d < 1e-6 ||
                           std::fabs(fm::angleDiff(bearing(x, y, spot), *facing)) <= cone;
        if (ahead) return spot;
        if (!hasFallback) {
            fallback = spot;
            hasFallback = true;
        }
    }
    if (hasFallback) return fallback;
    if (anywhere) return clearSpot(h, f, h.world.randomStandingPoint(f.rng, half));
    // Nothing suitable turned up (a crowded corner, say): the first free spot far enough
    // off, looking round from straight ahead.
    const double ahead = facing != nullptr ? *facing : f.rng.range(0.0, fm::kTwoPi);
    for (int k = 0; k < 8; ++k) {
        const double angle = ahead + ((k & 1) ? -1.0 : 1.0) * double((k + 1) / 2) * fm::kPi / 4.0;
        const Point p = h.world.nearestStandingPoint(x + fm::cos(angle) * reach, y + fm::sin(angle) * reach, half);
        if (distance(p.x, p.y, x, y) >= minimum && !crowded(h, f, p, tuning::kLandingSpace)) return p;
    }
    return clearSpot(h, f, h.world.nearestStandingPoint(x + fm::cos(ahead) * reach, y + fm::sin(ahead) * reach, half));
}

std::vector<Point> pathTo(Habitat& h, Fly& f, Point from, double course, Point to) {
    const double size = f.drawnSize();
    const double d = distance(from.x, from.y, to.x, to.y);
    // Far enough: now and then a dogleg, one sharp turn at C. The course leaves A turned
    // by alpha off the line to B and comes into B turned by beta the other way, so the
    // turn at C is alpha + beta. The first leg must lie near the course the fly sets off
    // on, or it would need two sharp turns in quick succession.
    if (d >= 2.0 * tuning::kLegMinBodyLengths * size && f.rng.chance(0.6)) {
        const double theta = f.rng.range(tuning::kTurnMin, tuning::kTurnMax);
        const double alpha = theta * f.rng.range(0.35, 0.65), beta = theta - alpha;
        const double base = bearing(from.x, from.y, to);
        const double legA = d * fm::sin(beta) / fm::sin(theta), legB = d * fm::sin(alpha) / fm::sin(theta);
        if (legA >= tuning::kLegMinBodyLengths * size && legB >= tuning::kLegMinBodyLengths * size) {
            const double first = f.rng.chance(0.5) ? 1.0 : -1.0;
            for (double side : {first, -first}) {
                const double leg = base + side * alpha;
                const Point c{from.x + fm::cos(leg) * legA, from.y + fm::sin(leg) * legA};
                if (onSomeMonitor(h, c) && std::fabs(fm::angleDiff(leg, course)) <= kJumpLean + kJumpScatter) return {c, to};
            }
        }
    }
    return {to};
}

void takeOff(Habitat& h, Fly& f, FlightKind kind, const std::vector<Point>& waypoints, double jump) {
    FlightState& fl = f.flight;
    const bool wasFlying = f.mode == Mode::Flying;
    const double size = f.drawnSize();
    fl.kind = kind;
    fl.waypoints = waypoints;
    fl.next = 0;
    fl.cruise = std::max(f.rng.range(tuning::kCruiseMin, tuning::kCruiseMax) * size, tuning::kCruiseMinPixels);
    // Short hops are flown slower: there is no room to reach full speed and brake again.
    const double length = pathLength({f.x, f.y}, waypoints);
    if (landsAtEnd(kind)) fl.cruise *= std::min(1.0, std::max(0.85, 0.6 + 0.03 * length / size));
    fl.start = h.now;
    fl.legsDown = false;
    fl.escaping = false;
    fl.chasing = -1;
    fl.partner = -1;
    fl.partnerDown = false;
    fl.circling = false;
    fl.urgeFrom = fl.urgeTo = 1.0;
    fl.urgeSince = fl.urgeUntil = h.now;
    if (!wasFlying) {
        fl.peak = f.rng.range(tuning::kCruiseAltitudeMin, tuning::kCruiseAltitudeMax);
        fl.fromGround = true;
        fl.tookOff = h.now;
        fl.speed = tuning::kJumpSpeed * size * f.rng.range(0.85, 1.15);
        fl.course = fm::wrapAngle(jump);
        fl.turning = false;
        for (float& t : fl.turned) t = 0.0f;
        // The jump and the first wingbeats carry the fly straight on.
        // Straight on for a moment, but never for most of a short hop.
        const double steady = std::min(f.rng.range(tuning::kJumpLegMin, tuning::kJumpLegMax), 0.25 * length / fl.cruise);
        fl.steadyUntil = h.now + stepsFor(steady);
        f.altitude = 0.0;
    }
    fl.deadline = h.now + stepsFor(length / fl.cruise * 3.0 + 3.0);
    fl.closest = 1e300;
    fl.gaveUp = false;
    f.mode = Mode::Flying;
    f.perch = 0;
    f.perchLostAt = -1;
    f.moveOnAt = -1;
    f.leaveAt = -1;
}

Point exitAlong(const Habitat& h, const Fly& f, double course) {
    const double step = 8.0 * f.drawnSize(), cx = fm::cos(course), cy = fm::sin(course);
    Point far{f.x, f.y};
    for (int i = 0; i < 512 && !h.world.outOfSight(far.x, far.y, h.sightReach(f)); ++i) {
        far = {far.x + cx * step, far.y + cy * step};
    }
    return far;
}

void hopTo(Habitat& h, Fly& f, Point spot) {
    const std::vector<Point> path = pathTo(h, f, {f.x, f.y}, f.heading, spot);
    takeOff(h, f, FlightKind::Hop, path, forwardJumpToward(f, path.front()));
}

void hop(Habitat& h, Fly& f) {
    const double reach = f.rng.range(tuning::kHopMin, tuning::kHopMax) * f.drawnSize();
    const double facing = f.heading;
    hopTo(h, f, landingSpot(h, f, f.x, f.y, reach, &facing));
}

void longFlight(Habitat& h, Fly& f) {
    const double size = f.drawnSize();
    if (f.rng.chance(tuning::kExcursionShare)) {
        // Off the screen ahead of it, back in a while.
        const Point out = exitAlong(h, f, fm::wrapAngle(f.heading + f.rng.range(-1.2, 1.2)));
        const std::vector<Point> path = pathTo(h, f, {f.x, f.y}, f.heading, out);
        takeOff(h, f, FlightKind::Excursion, path, forwardJumpToward(f, path.front()));
        return;
    }
    // Circling a point, as flies do under a lamp: the centre lies off to one side ahead,
    // so that the jump carries the fly onto the circle.
    FlightState& fl = f.flight;
    const double radius = f.rng.range(tuning::kCircleRadiusMin, tuning::kCircleRadiusMax) * size;
    const double sense = f.rng.chance(0.5) ? 1.0 : -1.0;
    const double jump = fm::wrapAngle(f.heading + f.rng.range(-kJumpScatter, kJumpScatter));
    const double side = jump + sense * fm::kHalfPi;
    const Point centre = h.world.nearestStandingPoint(f.x + fm::cos(jump) * 2.0 * size + fm::cos(side) * radius,
                                                      f.y + fm::sin(jump) * 2.0 * size + fm::sin(side) * radius,
                                                      radius + h.standHalf(f));
    const double seconds = f.rng.range(tuning::kCircleSecondsMin, tuning::kCircleSecondsMax);
    takeOff(h, f, FlightKind::Circle, {centre}, jump);
    fl.circling = true;
    fl.centre = centre;
    fl.radius = radius;
    fl.sense = sense;
    fl.circleUntil = h.now + stepsFor(seconds);
    fl.deadline = fl.circleUntil + stepsFor(4.0);
    // Round and round at a speed that keeps the turn a steady sweep, not a spin.
    fl.cruise = std::min(fl.cruise, 0.8 * tuning::kCirclingTurnRate * radius);
}

void arrive(Habitat& h, Fly& f, double delaySeconds) {
    const double reach = h.sightReach(f);
    const Point target = landingSpot(h, f, f.x, f.y, kAnywhere, nullptr);
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
    const double course = bearing(start.x, start.y, target);
    f.heading = course;
    f.mode = Mode::Flying;  // already in the air: no jump
    FlightState& fl = f.flight;
    fl.course = course;
    fl.turning = false;
    for (float& t : fl.turned) t = 0.0f;
    takeOff(h, f, FlightKind::Arrive, pathTo(h, f, start, course, target), course);
    fl.fromGround = false;
    fl.peak = f.rng.range(tuning::kCruiseAltitudeMin, tuning::kCruiseAltitudeMax);
    fl.speed = fl.cruise;
    fl.steadyUntil = h.now;
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
    const Point exit = h.world.exitPoint(f.x, f.y, h.sightReach(f));
    takeOff(h, f, FlightKind::Leave, {exit}, forwardJumpToward(f, exit));
}

void returnToGround(Habitat& h, Fly& f) {
    const Point spot = clearSpot(h, f, h.world.nearestStandingPoint(f.x, f.y, h.standHalf(f)));
    takeOff(h, f, FlightKind::Return, {spot}, forwardJumpToward(f, spot));
}

namespace {

// The course for the next step of a flight that is not in a saccade: toward the goal,
// with a saccade when the goal lies well off the course.
double steer(Habitat& h, Fly& f, Point target, bool final, bool landing, double dist) {
    FlightState& fl = f.flight;
    const double size = f.drawnSize();
    if (h.now < fl.steadyUntil) return fl.course;
    double seconds = 0.0;
    if (!final) {
        // A corner straight ahead: the saccade begins early enough for its arc to cut
        // the corner onto the next leg. A corner already behind is left out.
        const Point& after = fl.waypoints[fl.next + 1];
        const double toCorner = std::fabs(fm::angleDiff(bearing(f.x, f.y, target), fl.course));
        const double ahead = (target.x - f.x) * fm::cos(fl.course) + (target.y - f.y) * fm::sin(fl.course);
        const double angle = fm::angleDiff(bearing(target.x, target.y, after), fl.course);
        seconds = saccadeSeconds(f, angle);
        const double radius = fl.speed * seconds * 0.85 / std::max(std::fabs(angle), 1e-3);
        const double half = 0.5 * std::min(std::fabs(angle), kSaccadeLargest);
        const double lead = radius * fm::sin(half) / fm::cos(half);
        if ((toCorner < 30.0 * kDegree && ahead <= lead) || ahead < 0.0) {
            ++fl.next;
            double s = 0.0;
            const double turn = saccadeToward(f, after, s);
            if (startSaccade(h, f, turn, s)) return fl.course;
            target = after;
            dist = distance(f.x, f.y, target.x, target.y);
            final = fl.next + 1 == fl.waypoints.size();
            landing = final && landsAtEnd(fl.kind);
        }
    }
    const double error = fm::angleDiff(bearing(f.x, f.y, target), fl.course);
    if (std::fabs(error) > kSaccadeThreshold && dist > 1.5 * size) {
        const double turn = saccadeToward(f, target, seconds);
        // Close to where it means to land there is no room for a wide turn: it brakes
        // first, until the turn's arc still leaves it facing the spot.
        const double angle = std::max(std::fabs(turn), kSaccadeThreshold);
        const double fits = 0.8 * angle * dist / (2.0 * seconds * std::max(fm::sin(std::min(angle, fm::kHalfPi)), 0.3));
        if (landing && fl.speed > fits) {
            fl.brakeTo = fits;
        } else if (startSaccade(h, f, turn, seconds)) {
            return fl.course;
        }
    }
    if (std::fabs(error) > kFlickThreshold && std::fabs(error) <= kSaccadeThreshold && !landing &&
        turnedLately(fl) + std::fabs(error) <= kTurnBudget) {
        startFlick(h, f, error);
        return fl.course;
    }
    // A turn too sharp to bend into waits for its saccade on a straight course, so that
    // the half-second budget frees up for it; a fly facing away from its goal slows down
    // meanwhile, or the wait would carry it far off.
    if (std::fabs(error) > kSaccadeThreshold && dist > 1.5 * size && fl.brakeTo <= 0.0) {
        fl.brakeTo = std::max(tuning::kWaitingTurnSpeed * size, std::min(fl.speed, fl.cruise * std::max(0.0, fm::cos(error))));
        return fl.course;
    }
    // On the final approach the spot swings across the view ever faster.
    const bool eager = landing && dist < tuning::kApproachBodyLengths * size;
    double rate = eager ? kEagerTurn : kGentleTurn;
    // What the half-second budget still allows.
    rate = std::min(rate, std::max(0.0, kTurnBudget + 10.0 * kDegree - turnedLately(fl)) / kDt);
    return fl.course + clampAbs(error, rate * kDt);
}

}  // namespace

Point partnerComesDown(const Habitat& h, const Fly& f) {
    const FlightState& fl = f.flight;
    if (fl.partnerDown) return fl.partnerSpot;
    const Fly& other = h.flies[std::size_t(fl.partner)];
    return other.mode == Mode::Flying && !other.flight.waypoints.empty() ? other.flight.waypoints.back()
                                                                         : Point{other.x, other.y};
}

namespace {

// A place to come down this far along the course; on the edge there, if one runs close
// by (flies like edges even when they change their minds).
Point spotAhead(const Habitat& h, Fly& f, double on) {
    const FlightState& fl = f.flight;
    const double size = f.drawnSize(), half = h.standHalf(f);
    const Point ahead{f.x + fm::cos(fl.course) * on, f.y + fm::sin(fl.course) * on};
    Point at{}, normal{};
    if (h.landmarks.nearestEdgePoint(ahead.x, ahead.y, at, normal) && distance(at.x, at.y, ahead.x, ahead.y) < 1.5 * size) {
        const double inset = f.rng.range(tuning::kEdgeInsetMin, tuning::kEdgeInsetMax) * size;
        return h.world.nearestStandingPoint(at.x + normal.x * inset, at.y + normal.y * inset, half);
    }
    return h.world.nearestStandingPoint(ahead.x, ahead.y, half);
}

// After a chase, neither fly comes down close to where the other does.
bool nearPartner(const Habitat& h, const Fly& f, Point p) {
    const FlightState& fl = f.flight;
    if (fl.kind != FlightKind::Chase || fl.partner < 0) return false;
    const Point theirs = partnerComesDown(h, f);
    return distance(p.x, p.y, theirs.x, theirs.y) < 0.5 * tuning::kChaseLandApart * f.drawnSize();
}

// A fly that has come close to its spot but will not make it (the spot is behind it, or
// far off its course) does not go round again: it sets down a little further on.
void missedSpot(Habitat& h, Fly& f) {
    FlightState& fl = f.flight;
    const double size = f.drawnSize();
    const Point& spot = fl.waypoints.back();
    const double dist = distance(f.x, f.y, spot.x, spot.y);
    if (dist > tuning::kMissedSpotBodyLengths * size || fl.turning) return;
    const double off = std::fabs(fm::angleDiff(bearing(f.x, f.y, spot), fl.course));
    if (off < 75.0 * kDegree) return;
    const Point ahead = spotAhead(h, f, f.rng.range(2.0, 3.5) * size);
    // A spot right where the fly is (an edge just ahead) is not further on: coming down there
    // would end the flight before it began.
    if (std::fabs(fm::angleDiff(bearing(f.x, f.y, ahead), fl.course)) > 45.0 * kDegree ||
        distance(f.x, f.y, ahead.x, ahead.y) < size || crowded(h, f, ahead, tuning::kLandingSpace) ||
        nearPartner(h, f, ahead)) {
        return;
    }
    fl.waypoints.back() = ahead;
    fl.closest = 1e300;
}

// A fly a second short of its time that is nowhere near its spot gives up on it and comes
// down on one ahead of it, rather than be put there.
void runningLate(Habitat& h, Fly& f) {
    FlightState& fl = f.flight;
    if (fl.gaveUp || h.now < fl.deadline - stepsFor(1.0) || fl.turning) return;
    fl.gaveUp = true;
    const double size = f.drawnSize();
    const Point& spot = fl.waypoints.back();
    if (distance(f.x, f.y, spot.x, spot.y) < tuning::kApproachBodyLengths * size) return;
    const Point ahead = clearSpot(h, f, spotAhead(h, f, f.rng.range(6.0, 9.0) * size));
    if (nearPartner(h, f, ahead)) return;
    fl.waypoints = {ahead};
    fl.next = 0;
    fl.closest = 1e300;
    fl.deadline = h.now + stepsFor(2.0);
}

double circle(const Habitat& h, const Fly& f) {
    const FlightState& fl = f.flight;
    const double r = distance(f.x, f.y, fl.centre.x, fl.centre.y);
    const double radial = fm::atan2(f.y - fl.centre.y, f.x - fl.centre.x);
    // The radius breathes a little, so the loop is not drawn with compasses.
    const double t = double(h.now - fl.tookOff) * kDt;
    const double wanted = fl.radius * (1.0 + 0.12 * fm::sin(2.1 * t + fl.radius));
    const double desired = radial + fl.sense * (fm::kHalfPi + clampAbs(1.2 * (r - wanted) / wanted, 0.6));
    // A steady sweep, never so fast that it reads as a sharp turn.
    const double rate = std::min(1.6 * fl.speed / std::max(fl.radius, 1.0), tuning::kCirclingTurnRate);
    return fl.course + clampAbs(fm::angleDiff(desired, fl.course), rate * kDt);
}

// Done circling: on out of the loop to a spot ahead.
void leaveCircle(Habitat& h, Fly& f) {
    FlightState& fl = f.flight;
    fl.circling = false;
    const double size = f.drawnSize();
    const double reach = f.rng.range(10.0, 20.0) * size;
    const double facing = fl.course;
    Point spot = landingSpot(h, f, f.x, f.y, reach, &facing, kInFlightCone);
    if (std::fabs(fm::angleDiff(bearing(f.x, f.y, spot), fl.course)) > kInFlightCone) {
        spot = clearSpot(h, f, h.world.nearestStandingPoint(f.x + fm::cos(fl.course) * reach,
                                                            f.y + fm::sin(fl.course) * reach, h.standHalf(f)));
    }
    fl.waypoints = {spot};
    fl.next = 0;
    fl.deadline = h.now + stepsFor(4.0);
    for (float& t : fl.turned) t = float(kTurnBudget / FlightState::kTurnMemory);
}

}  // namespace

void stepFlight(Habitat& h, Fly& f) {
    FlightState& fl = f.flight;
    if (h.now < fl.start) return;  // still waiting off-screen
    const double size = f.drawnSize();
    if (fl.chasing >= 0) {
        // The chase ends in time, when the other fly is down, or at the end of its track.
        const bool trailEnds = fl.next + 1 >= fl.waypoints.size() &&
                               distance(f.x, f.y, fl.waypoints.back().x, fl.waypoints.back().y) < 3.0 * size;
        if (h.now >= fl.chaseEnd || h.flies[std::size_t(fl.chasing)].mode != Mode::Flying || trailEnds) endChase(h, f);
    }
    if (fl.circling && h.now >= fl.circleUntil) leaveCircle(h, f);
    const bool final = !fl.circling && fl.next + 1 == fl.waypoints.size();
    const bool landing = final && landsAtEnd(fl.kind) && fl.chasing < 0;
    if (landing) {
        missedSpot(h, f);
        runningLate(h, f);
    }
    const std::size_t aimed = fl.next;
    const Point target = fl.waypoints[aimed];
    const double dist = distance(f.x, f.y, target.x, target.y);

    // Steering.
    double course = fl.course;
    if (fl.turning) {
        const std::int64_t into = h.now - fl.turn.start + 1;
        course = fl.turn.from + fl.turn.by * saccadeProgress(double(into) / double(fl.turn.steps));
        if (into >= fl.turn.steps) {
            fl.turning = false;
            // A straight leg follows every saccade that found its way.
            if (std::fabs(fm::angleDiff(bearing(f.x, f.y, target), fm::wrapAngle(course))) < kSaccadeThreshold) {
                fl.steadyUntil = h.now + stepsFor(f.rng.range(tuning::kLegAfterTurnMin, tuning::kLegAfterTurnMax));
            }
        }
    } else if (fl.circling) {
        course = circle(h, f);
    } else {
        course = steer(h, f, target, final, landing, dist);
        if (fl.turning) course = fl.turn.from + fl.turn.by * saccadeProgress(1.0 / double(fl.turn.steps));
    }
    noteTurn(fl, fm::angleDiff(course, fl.course));
    fl.course = fm::wrapAngle(course);

    // Speed: it makes for a share of cruise that it changes every fraction of a second,
    // and gets there with some lag (thrust against drag); it brakes for a landing, and a
    // saccade costs speed for its duration.
    // Through a saccade the wings do the turning: the speed it came in with only dips.
    if (h.now >= fl.urgeUntil) {
        fl.urgeFrom = fl.urgeTo;
        fl.urgeTo = std::min(1.35, std::max(0.65, 1.0 + 0.18 * fm::normal(f.rng)));
        fl.urgeSince = h.now;
        fl.urgeUntil = h.now + stepsFor(f.rng.range(0.1, 0.22));
    }
    const double u = double(h.now - fl.urgeSince) / double(std::max<std::int64_t>(1, fl.urgeUntil - fl.urgeSince));
    const double urge = fl.urgeFrom + (fl.urgeTo - fl.urgeFrom) * u;
    if (fl.brakeTo > 0.0) {
        // Braking for a turn, as hard as for a landing, to a speed that still wanders.
        const double deceleration = fl.cruise * fl.cruise / (2.0 * tuning::kApproachBodyLengths * size);
        fl.speed = std::max(fl.brakeTo * urge, fl.speed - deceleration * kDt);
        fl.brakeTo = 0.0;
    } else if (!fl.turning) {
        const double goal = fl.cruise * urge;
        const double tau = fl.speed < goal ? 0.05 : 0.09;
        fl.speed += (goal - fl.speed) * std::min(1.0, kDt / tau);
    }
    const double brake = tuning::kApproachBodyLengths * size;
    const double legsDownAt = tuning::kLegsDownBodyLengths * size;
    if (landing && !fl.turning) {
        // The most it may fly at this distance and still come down at touchdown speed. A
        // fly that overshot its spot does not speed up again: it turns back slowly.
        fl.closest = std::min(fl.closest, dist);
        // The legs reach for the glass and slow the last of it.
        const double touchdown = tuning::kTouchdownSpeed * size * (0.4 + 0.6 * std::min(1.0, dist / legsDownAt));
        const double deceleration = fl.cruise * fl.cruise / (2.0 * brake);
        const double room = std::max(0.0, std::min(dist, fl.closest < brake ? fl.closest : dist) - 0.5 * size);
        fl.speed = std::min(fl.speed, std::sqrt(touchdown * touchdown + 2.0 * deceleration * room));
    }
    double speed = fl.speed;
    if (fl.turning) {
        const double u = double(h.now - fl.turn.start + 1) / double(fl.turn.steps);
        speed *= 1.0 - fl.turn.loss * fm::sin(fm::kPi * std::min(1.0, u));
    }
    const double stride = speed * kDt;

    const double climb = fl.fromGround ? std::min(1.0, double(h.now - fl.tookOff) * kDt / tuning::kClimbSeconds) : 1.0;
    const double descent = landing ? std::min(1.0, dist / brake) : 1.0;
    f.altitude = fl.peak * std::min(climb, descent);
    fl.legsDown = landing && dist < legsDownAt;

    // The body turns into the course over a few frames, never in one.
    f.heading = fm::wrapAngle(f.heading + clampAbs(fm::angleDiff(fl.course, f.heading), kBodyTurnRate * kDt));
    // The picture turns in steps of about 19 degrees and climbs in tenths of a body
    // length: through a sharp turn it changes every other frame or so, not every frame.
    if (std::fabs(fm::angleDiff(f.heading, f.pictureHeading)) > kPictureTurn ||
        std::fabs(f.altitude - f.pictureAltitude) > kPictureClimb) {
        f.pictureDue = true;
    }

    if (fl.chasing < 0) {
        const double along = (target.x - f.x) * fm::cos(fl.course) + (target.y - f.y) * fm::sin(fl.course);
        // Down: at the spot, or level with it and close (it sets down where it is). On its
        // way off the screen: once out of sight.
        const bool slow = fl.speed <= 2.0 * tuning::kTouchdownSpeed * size && h.world.canStand(f.x, f.y, h.standHalf(f));
        const bool there = dist <= std::max(stride, 0.5) ||
                           (landing && slow && (dist < 0.3 * size || (dist < 0.6 * size && along <= stride))) ||
                           (!landsAtEnd(fl.kind) && h.world.outOfSight(f.x, f.y, h.sightReach(f)));
        if (final && (there || h.now >= fl.deadline)) {
            // A point on the way off the screen is within this step's stride: go there. A
            // landing sets down where the fly is, unless it ran out of time.
            if (!landing || h.now >= fl.deadline) {
                f.x = target.x;
                f.y = target.y;
            }
            arrivedAtEnd(h, f);
            return;
        }
        // A corner passed close by, unless the steering has already moved on from it. (A
        // circling fly is never on its final leg, yet its one waypoint is no corner.)
        if (!final && fl.next + 1 < fl.waypoints.size() && fl.next == aimed && dist <= std::max(stride, 0.5 * size)) {
            ++fl.next;
        }
        if (h.now >= fl.deadline) {
            const Point& end = fl.waypoints.back();
            f.x = end.x;
            f.y = end.y;
            fl.next = fl.waypoints.size() - 1;
            arrivedAtEnd(h, f);
            return;
        }
    }
    f.x += fm::cos(fl.course) * stride;
    f.y += fm::sin(fl.course) * stride;
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
