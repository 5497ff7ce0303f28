// The flies' behaviour: a fixed-step simulation of house flies seen from above. On the
// ground a fly pauses, pivots on the spot, makes short darting runs and grooms; now and
// then, or when the pointer comes close, it takes off on a curved flight and lands
// somewhere else. Flies arrive from beyond the screen edges and leave the same way.
//
// Determinism: every random choice comes from a per-fly splitmix64 stream, timers count
// whole steps, and the state update uses only IEEE-exact operations (the trigonometry is
// our own polynomials from fly_math.h), so a seed gives bit-identical flies everywhere.
// stateHash() still folds positions quantised to 1/256 px, so the golden value in the
// tests does not hinge on the last bit of a double.
#include "swarm.h"

#include "fly_math.h"
#include "picture.h"
#include "sprite.h"
#include "world.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>

namespace gnatter {
namespace {

constexpr double kDt = Swarm::kStepSeconds;
// The longest stretch of real time one advance() simulates while anything moves: at 60 Hz
// a hitch of a quarter second is still smooth, a longer stall just pauses the flies.
constexpr double kMaxAdvanceSeconds = 0.25;
constexpr std::int64_t kMaxAdvanceSteps = 30;
// When nothing at all is scheduled, resting is reported as this long.
constexpr double kLongestRestSeconds = 3600.0;

// A fly on the ground bolts when the pointer comes this many body lengths close (with a
// floor, so the tiniest flies are not touch-proof).
constexpr double kStartleBodyLengths = 3.0;
constexpr double kStartleMinPixels = 30.0;

// How often the picture may change, as each picture change costs far more to show than a
// move. A walking fly takes a new leg frame every kLegFrameBodyLengths travelled (four
// frames make a stride of 1.4 body lengths) and its picture turns with its course only
// then; a fly turning on the spot pivots in a dozen visible jerks a second, shuffling its
// legs with each; a grooming fly rubs its legs some eight times a second; a flying fly's
// blurred wings and shadow are redrawn 15 times a second.
constexpr double kLegFrameBodyLengths = 0.35;
constexpr std::int64_t kTurnBeatSteps = 10;
constexpr std::int64_t kFlightBeatSteps = 8;

enum class Mode : std::uint8_t { Waiting, Paused, Grooming, Turning, Walking, Flying, Gone };
enum class FlightKind : std::uint8_t { Arrive, Hop, Escape, Return, Leave };

struct Flight {
    Point p0, p1, p2, p3;  // cubic Bezier
    std::int64_t start = 0, duration = 1;  // steps; start may lie ahead (a delayed arrival)
    double alt0 = 0.0, alt1 = 0.0, peak = 0.0;  // altitude in body lengths
    double speed0 = 1.0, speed1 = 1.0;          // relative speed at take-off and landing
    FlightKind kind = FlightKind::Hop;
};

struct Fly {
    fm::Rng rng;
    double baseSize = 36.0;  // body length before monitor scale
    double x = 0.0, y = 0.0, heading = 0.0;
    float scale = 1.0f;
    Mode mode = Mode::Waiting;
    std::int64_t until = 0;  // step at which the current activity ends

    double walkSpeed = 0.0;  // body lengths per second
    double walkCurve = 0.0;  // radians per second of drift while running
    double targetHeading = 0.0, turnRate = 0.0;
    bool walkAfterTurn = false;
    std::int64_t groomStart = 0, groomPeriod = 1;
    std::uint8_t groomFirstFrame = 1;
    std::int64_t turnStart = 0;  // first step of the pivot
    double legPhase = 0.0;  // in walk frames
    double altitude = 0.0;  // body lengths
    Flight flight;
    // What the picture shows while walking or flying, refreshed on leg frames and beats.
    double pictureHeading = 0.0, pictureAltitude = 0.0;
    bool pictureDue = true;

    FlyView view;
    std::uint64_t keyBefore = 0;

    double drawnSize() const { return std::min(baseSize * scale, double(kMaxDrawnSize)); }
    bool grounded() const {
        return mode == Mode::Paused || mode == Mode::Grooming || mode == Mode::Turning || mode == Mode::Walking;
    }
};

std::int64_t stepsFor(double seconds) {
    return std::max<std::int64_t>(1, std::llround(seconds / kDt));
}

double distance(double ax, double ay, double bx, double by) {
    return std::sqrt((ax - bx) * (ax - bx) + (ay - by) * (ay - by));
}

Point bezier(const Flight& f, double u) {
    const double v = 1.0 - u;
    const double a = v * v * v, b = 3.0 * v * v * u, c = 3.0 * v * u * u, d = u * u * u;
    return {a * f.p0.x + b * f.p1.x + c * f.p2.x + d * f.p3.x, a * f.p0.y + b * f.p1.y + c * f.p2.y + d * f.p3.y};
}

Point bezierTangent(const Flight& f, double u) {
    const double v = 1.0 - u;
    const double a = 3.0 * v * v, b = 6.0 * v * u, c = 3.0 * u * u;
    return {a * (f.p1.x - f.p0.x) + b * (f.p2.x - f.p1.x) + c * (f.p3.x - f.p2.x),
            a * (f.p1.y - f.p0.y) + b * (f.p2.y - f.p1.y) + c * (f.p3.y - f.p2.y)};
}

// Share of the path covered at time share t: a cubic Hermite curve whose slope at either
// end is the relative speed there, so take-offs accelerate and landings brake.
double pathShare(const Flight& f, double t) {
    const double t2 = t * t, t3 = t2 * t;
    return (t3 - 2.0 * t2 + t) * f.speed0 + (-2.0 * t3 + 3.0 * t2) + (t3 - t2) * f.speed1;
}

// Height from the end heights, lifted toward the peak in between: quick climb, level
// cruise, late descent.
double flightAltitude(const Flight& f, double t) {
    const double s = t * t * (3.0 - 2.0 * t);
    const double base = f.alt0 + (f.alt1 - f.alt0) * s;
    const double e = 1.0 - 2.0 * t;
    const double e2 = e * e;
    const double lift = 1.0 - e2 * e2;
    return std::min(1.0, std::max(0.0, base + std::max(0.0, f.peak - base) * lift));
}

}  // namespace

std::uint64_t chooseSeed(const Options& options, std::uint64_t entropy) {
    return options.hasSeed ? options.seed : fm::mix64(entropy ^ 0x6A09E667F3BCC909ull);
}

struct Swarm::Impl {
    Options options;
    World world;
    std::vector<Fly> flies;
    std::int64_t now = 0;
    double accumulator = 0.0;
    std::int64_t departAt = -1;  // step of the timeout, or -1
    bool departing = false;
    bool pointerPresent = false, pointerMoved = false;
    double pointerX = 0.0, pointerY = 0.0;
    bool monitorsChanged = false;
    bool reportedOnce = false;  // the caller has not seen any picture before the first advance

    // Half the side of the square a fly's body needs on the ground, for every monitor.
    // A twentieth of a pixel to spare keeps the body inside after rounding to float.
    double standHalf(const Fly& f) const {
        return 0.5 * std::min(f.baseSize * world.maxScale(), double(kMaxDrawnSize)) + 0.05;
    }
    // How far a fly's picture may reach from its centre, shadow included.
    double sightReach(const Fly& f) const {
        return double(spriteSide(float(std::min(f.baseSize * world.maxScale(), double(kMaxDrawnSize)))));
    }

    void pause(Fly& f, double seconds) {
        f.mode = Mode::Paused;
        f.until = now + stepsFor(seconds);
    }

    void startWalk(Fly& f) {
        f.mode = Mode::Walking;
        f.walkSpeed = f.rng.range(2.5, 6.0);
        f.walkCurve = f.rng.range(-1.2, 1.2);
        f.until = now + stepsFor(f.rng.range(0.15, 0.9));
    }

    void startTurn(Fly& f, double target, bool thenWalk) {
        f.mode = Mode::Turning;
        f.targetHeading = fm::wrapAngle(target);
        f.turnRate = f.rng.range(5.0, 10.0);
        f.walkAfterTurn = thenWalk;
        f.turnStart = now + 1;
    }

    void startGrooming(Fly& f) {
        f.mode = Mode::Grooming;
        f.groomStart = now;
        f.groomPeriod = stepsFor(f.rng.range(0.1, 0.16));
        f.groomFirstFrame = f.rng.chance(0.6) ? 1 : 3;  // front legs more often than hind legs
        f.until = now + stepsFor(f.rng.range(1.2, 4.5));
    }

    void startFlight(Fly& f, FlightKind kind, Point target, double delaySeconds = 0.0) {
        Flight& fl = f.flight;
        const bool wasFlying = f.mode == Mode::Flying;
        const double size = f.drawnSize();
        fl.kind = kind;
        fl.p0 = {f.x, f.y};
        fl.p3 = target;
        const double dx = target.x - f.x, dy = target.y - f.y;
        const double length = std::sqrt(dx * dx + dy * dy);
        double ux = fm::cos(f.heading), uy = fm::sin(f.heading);
        const double hx = ux, hy = uy;
        if (length > 1e-6) {
            ux = dx / length;
            uy = dy / length;
        }
        const double nx = -uy, ny = ux;
        const double bend1 = f.rng.range(-0.3, 0.3) * length, bend2 = f.rng.range(-0.3, 0.3) * length;
        // A fly already in the air carries on the way it was going; one on the ground
        // leaves roughly the way it faces, unless it is fleeing.
        const double lead = wasFlying || kind == FlightKind::Hop ? 0.5 : 0.0;
        fl.p1 = {f.x + (ux * (1.0 - lead) + hx * lead) * length / 3.0 + nx * bend1,
                 f.y + (uy * (1.0 - lead) + hy * lead) * length / 3.0 + ny * bend1};
        fl.p2 = {f.x + ux * length * 2.0 / 3.0 + nx * bend2, f.y + uy * length * 2.0 / 3.0 + ny * bend2};
        const double pathLength = 0.5 * (length + distance(fl.p0.x, fl.p0.y, fl.p1.x, fl.p1.y) +
                                         distance(fl.p1.x, fl.p1.y, fl.p2.x, fl.p2.y) +
                                         distance(fl.p2.x, fl.p2.y, fl.p3.x, fl.p3.y));
        const double speed = std::max(f.rng.range(11.0, 16.0) * size, 160.0);  // px per second
        fl.start = now + (delaySeconds > 0.0 ? stepsFor(delaySeconds) : 0);
        fl.duration = std::max<std::int64_t>(stepsFor(0.3), std::llround(pathLength / speed / kDt));
        fl.peak = f.rng.range(0.35, 0.7);
        fl.alt0 = wasFlying ? f.altitude : (kind == FlightKind::Arrive ? fl.peak : 0.0);
        fl.alt1 = kind == FlightKind::Leave ? fl.peak : 0.0;
        fl.speed0 = wasFlying || kind == FlightKind::Arrive ? 1.2 : (kind == FlightKind::Escape ? 0.9 : 0.5);
        fl.speed1 = kind == FlightKind::Leave ? 1.3 : 0.4;
        f.mode = Mode::Flying;
        f.altitude = fl.alt0;
    }

    void beginArrival(Fly& f, double delaySeconds) {
        const double half = standHalf(f), reach = sightReach(f);
        const Point target = world.randomStandingPoint(f.rng, half);
        Point start = world.exitPoint(target.x, target.y, reach);
        // Come in from a little further out and off to one side, so arrivals fan out.
        const double dx = start.x - target.x, dy = start.y - target.y;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d > 1e-6) {
            const double extra = f.rng.range(0.0, 3.0) * f.drawnSize();
            const double side = f.rng.range(-0.5, 0.5) * d;
            const Point moved{start.x + dx / d * extra - dy / d * side, start.y + dy / d * extra + dx / d * side};
            if (world.outOfSight(moved.x, moved.y, reach)) start = moved;
        }
        f.x = start.x;
        f.y = start.y;
        f.heading = fm::atan2(target.y - start.y, target.x - start.x);
        startFlight(f, FlightKind::Arrive, target, delaySeconds);
    }

    void hop(Fly& f) {
        const double size = f.drawnSize(), half = standHalf(f);
        const double angle = f.rng.range(0.0, fm::kTwoPi);
        const double reachPx = std::max(f.rng.range(4.0, 14.0) * size, 60.0);
        Point target = world.nearestStandingPoint(f.x + fm::cos(angle) * reachPx, f.y + fm::sin(angle) * reachPx, half);
        if (distance(target.x, target.y, f.x, f.y) < 2.0 * size) target = world.randomStandingPoint(f.rng, half);
        startFlight(f, FlightKind::Hop, target);
    }

    double startleRadius(const Fly& f) const {
        return std::max(kStartleBodyLengths * f.drawnSize(), kStartleMinPixels);
    }

    void escape(Fly& f) {
        const double size = f.drawnSize(), half = standHalf(f), radius = startleRadius(f);
        double ax = f.x - pointerX, ay = f.y - pointerY;
        const double d = std::sqrt(ax * ax + ay * ay);
        const double away = d > 1e-6 ? fm::atan2(ay, ax) : fm::wrapAngle(f.heading + fm::kPi);
        Point best{f.x, f.y};
        double bestClearance = -1.0;
        for (int attempt = 0; attempt < 8; ++attempt) {
            const double angle = away + f.rng.range(-0.9, 0.9) * (1.0 + attempt * 0.25);
            const double reachPx = std::max(f.rng.range(5.0, 12.0) * size, 80.0);
            const Point p = world.nearestStandingPoint(f.x + fm::cos(angle) * reachPx, f.y + fm::sin(angle) * reachPx, half);
            const double clearance = distance(p.x, p.y, pointerX, pointerY);
            if (clearance > bestClearance) {
                bestClearance = clearance;
                best = p;
            }
            if (clearance >= 2.0 * radius) break;
        }
        if (bestClearance < 2.0 * radius) {
            // Cornered (a small area, the pointer in the middle): anywhere else will do.
            for (int attempt = 0; attempt < 8 && bestClearance < 2.0 * radius; ++attempt) {
                const Point p = world.randomStandingPoint(f.rng, half);
                const double clearance = distance(p.x, p.y, pointerX, pointerY);
                if (clearance > bestClearance) {
                    bestClearance = clearance;
                    best = p;
                }
            }
        }
        startFlight(f, FlightKind::Escape, best);
    }

    void leave(Fly& f) {
        if (f.mode == Mode::Gone) return;
        if (f.mode == Mode::Waiting || world.outOfSight(f.x, f.y, sightReach(f))) {
            goneFor(f);
            return;
        }
        const Point exit = world.exitPoint(f.x, f.y, sightReach(f));
        startFlight(f, FlightKind::Leave, exit);
    }

    void goneFor(Fly& f) {
        f.mode = Mode::Gone;
        f.altitude = 0.0;
    }

    void departAll() {
        departing = true;
        for (Fly& f : flies) leave(f);
    }

    // What a grounded fly does once its pause is over.
    void decide(Fly& f) {
        const double r = f.rng.unit();
        if (r < 0.05) {
            hop(f);
        } else if (r < 0.17) {
            startGrooming(f);
        } else if (r < 0.27) {
            // One draw per statement: the order of operands is up to the compiler, and
            // the order of draws must not be.
            const double angle = f.rng.range(0.4, 2.6);
            startTurn(f, f.heading + (f.rng.chance(0.5) ? angle : -angle), false);
        } else if (r < 0.85) {
            if (f.rng.chance(0.5)) startTurn(f, f.heading + f.rng.range(-2.8, 2.8), true);
            else startWalk(f);
        } else {
            pause(f, f.rng.range(1.5, 4.0));
        }
    }

    void afterRun(Fly& f) {
        pause(f, f.rng.chance(0.2) ? f.rng.range(1.2, 3.0) : f.rng.range(0.2, 1.0));
    }

    void walk(Fly& f) {
        const double half = standHalf(f);
        const double stride = f.walkSpeed * f.drawnSize() * kDt;
        f.heading = fm::wrapAngle(f.heading + f.walkCurve * kDt);
        const double nx = f.x + fm::cos(f.heading) * stride, ny = f.y + fm::sin(f.heading) * stride;
        if (!world.canStand(nx, ny, half)) {
            // At an edge with no ground beyond: face back into the area and carry on.
            const Point inside = world.randomStandingPointNear(f.x, f.y, f.rng, half);
            startTurn(f, fm::atan2(inside.y - f.y, inside.x - f.x), true);
            return;
        }
        f.x = nx;
        f.y = ny;
        const double before = std::floor(f.legPhase);
        f.legPhase += f.walkSpeed * kDt / kLegFrameBodyLengths;
        if (std::floor(f.legPhase) != before) f.pictureDue = true;
        if (now >= f.until) afterRun(f);
    }

    void turn(Fly& f) {
        if ((now - f.turnStart) % kTurnBeatSteps != 0) return;
        const double diff = fm::angleDiff(f.targetHeading, f.heading);
        const double step = f.turnRate * kDt * double(kTurnBeatSteps);
        f.legPhase = std::floor(f.legPhase) + 1.0;  // the legs shuffle round with each jerk
        f.pictureDue = true;  // a walk that follows starts from the new heading
        if (std::fabs(diff) <= step) {
            f.heading = f.targetHeading;
            if (f.walkAfterTurn) startWalk(f);
            else afterRun(f);
            return;
        }
        f.heading = fm::wrapAngle(f.heading + (diff > 0 ? step : -step));
    }

    void fly(Fly& f) {
        Flight& fl = f.flight;
        if (now < fl.start) return;  // still waiting off-screen
        const double t = std::min(1.0, double(now - fl.start + 1) / double(fl.duration));
        const double u = pathShare(fl, t);
        const Point p = bezier(fl, u);
        const Point tangent = bezierTangent(fl, u);
        if (tangent.x * tangent.x + tangent.y * tangent.y > 1e-12) f.heading = fm::atan2(tangent.y, tangent.x);
        f.x = p.x;
        f.y = p.y;
        f.altitude = flightAltitude(fl, t);
        if ((now - fl.start) % kFlightBeatSteps == 0) f.pictureDue = true;
        if (t < 1.0) return;
        f.x = fl.p3.x;
        f.y = fl.p3.y;
        if (fl.kind == FlightKind::Leave) {
            if (world.outOfSight(f.x, f.y, sightReach(f))) goneFor(f);
            else leave(f);  // the monitors changed under it: find the new way out
            return;
        }
        f.altitude = 0.0;
        if (!world.canStand(f.x, f.y, standHalf(f)) && world.hasGround()) {
            startFlight(f, FlightKind::Return, world.nearestStandingPoint(f.x, f.y, standHalf(f)));
            return;
        }
        pause(f, f.rng.range(0.3, 1.2));
    }

    void handleMonitorChange() {
        for (Fly& f : flies) {
            if (f.mode == Mode::Gone || f.mode == Mode::Waiting) continue;
            if (f.mode == Mode::Flying) {
                // Re-aim flights whose end no longer works on the new desktop.
                if (f.flight.kind == FlightKind::Leave) {
                    const Point exit = world.exitPoint(f.flight.p3.x, f.flight.p3.y, sightReach(f));
                    if (exit.x != f.flight.p3.x || exit.y != f.flight.p3.y) leave(f);
                } else if (world.hasGround() && !world.canStand(f.flight.p3.x, f.flight.p3.y, standHalf(f))) {
                    if (now < f.flight.start) beginArrival(f, double(f.flight.start - now) * kDt);
                    else startFlight(f, FlightKind::Return, world.nearestStandingPoint(f.x, f.y, standHalf(f)));
                }
            } else if (world.hasGround() && !world.canStand(f.x, f.y, standHalf(f))) {
                startFlight(f, FlightKind::Return, world.nearestStandingPoint(f.x, f.y, standHalf(f)));
            }
        }
    }

    void handlePointer() {
        for (Fly& f : flies) {
            if (f.grounded() && distance(f.x, f.y, pointerX, pointerY) < startleRadius(f)) escape(f);
        }
    }

    void updateView(Fly& f) {
        f.scale = world.scaleAt(f.x, f.y);
        FlyView& v = f.view;
        v.x = float(f.x);
        v.y = float(f.y);
        v.heading = float(f.heading);
        v.size = float(f.drawnSize());
        v.visible = f.mode != Mode::Gone && f.mode != Mode::Waiting;
        // On the ground outside a run nothing bends the course, so the picture simply follows.
        if (f.pictureDue || (f.mode != Mode::Walking && f.mode != Mode::Flying)) {
            f.pictureHeading = f.heading;
            f.pictureAltitude = f.altitude;
            f.pictureDue = false;
        }
        Pose pose;
        pose.headingHeld = true;
        pose.heading = float(f.pictureHeading);
        if (f.mode == Mode::Flying) {
            pose.stance = Stance::Flying;
            pose.altitude = float(f.pictureAltitude * f.drawnSize());
        } else if (f.mode == Mode::Grooming) {
            const std::int64_t beat = (now - f.groomStart) / f.groomPeriod;
            pose.stance = Stance::Grooming;
            pose.groom = f.groomFirstFrame == 1 ? Groom::FrontLegs : Groom::HindLegs;
            pose.groomFrame = std::uint8_t(beat & 1);
        } else {
            pose.walkFrame = std::uint8_t(std::int64_t(std::floor(f.legPhase)) % kWalkFrames);
        }
        v.pose = pose;
        v.pictureKey = pictureKeyFor(v.size, v.heading, v.pose);
    }

    void step() {
        if (!departing && departAt >= 0 && now >= departAt) departAll();
        if (monitorsChanged) {
            monitorsChanged = false;
            handleMonitorChange();
        }
        if (pointerMoved) {
            pointerMoved = false;
            if (pointerPresent && !departing) handlePointer();
        }
        for (Fly& f : flies) {
            switch (f.mode) {
                case Mode::Waiting:
                    if (world.hasGround()) beginArrival(f, 0.0);
                    break;
                case Mode::Paused:
                    if (now >= f.until) decide(f);
                    break;
                case Mode::Grooming:
                    if (now >= f.until) afterRun(f);
                    break;
                case Mode::Turning: turn(f); break;
                case Mode::Walking: walk(f); break;
                case Mode::Flying: fly(f); break;
                case Mode::Gone: break;
            }
            updateView(f);
        }
        ++now;
    }

    // Steps from now during which the fly neither moves nor changes its picture: a pause,
    // or the time between two leg rubs or two jerks of a pivot (so that a lone grooming
    // or turning fly lets the caller sleep between pictures); 0 when the next step may
    // change something, and the longest rest when nothing at all is due.
    std::int64_t stillSteps(const Fly& f) const {
        const std::int64_t forever = std::llround(kLongestRestSeconds / kDt);
        switch (f.mode) {
            case Mode::Gone: return forever;
            case Mode::Waiting: return world.hasGround() ? 0 : forever;
            case Mode::Paused: return std::max<std::int64_t>(0, f.until - now);
            case Mode::Grooming: {
                if (now >= f.until || now <= f.groomStart) return 0;
                const std::int64_t sinceBeat = (now - f.groomStart) % f.groomPeriod;
                return sinceBeat == 0 ? 0 : std::min(f.until - now, f.groomPeriod - sinceBeat);
            }
            case Mode::Turning: {
                if (now <= f.turnStart) return 0;
                const std::int64_t sinceBeat = (now - f.turnStart) % kTurnBeatSteps;
                return sinceBeat == 0 ? 0 : kTurnBeatSteps - sinceBeat;
            }
            default: return 0;
        }
    }

    bool resting() const {
        if (pointerMoved || monitorsChanged) return false;
        if (!departing && departAt >= 0 && now >= departAt) return false;
        for (const Fly& f : flies) {
            if (stillSteps(f) == 0) return false;
        }
        return true;
    }

    // Whole steps until something is due, assuming resting() holds.
    std::int64_t restingSteps() const {
        std::int64_t left = std::llround(kLongestRestSeconds / kDt);
        if (!departing && departAt >= 0) left = std::min(left, departAt - now);
        for (const Fly& f : flies) left = std::min(left, stillSteps(f));
        return std::max<std::int64_t>(0, left);
    }
};

Swarm::Swarm(const Options& options, std::uint64_t seed, std::vector<Monitor> monitors) : impl_(new Impl) {
    Impl& s = *impl_;
    s.options = options;
    s.world.set(monitors);
    const int count = std::min(std::max(options.count, 1), 200);
    const double base = std::min(std::max(options.sizePixels, 4), 256);
    const double variation = std::min(std::max(options.variationPercent, 0), 100) / 100.0;
    if (options.timeoutSeconds > 0) s.departAt = std::int64_t(options.timeoutSeconds) * 120;
    s.flies.resize(std::size_t(count));
    fm::Rng seeder(seed);
    // Arrivals trickle in over up to a second and a half rather than as one wave.
    const double spread = std::min(1.5, 0.1 + 0.05 * count);
    for (Fly& f : s.flies) {
        f.rng = fm::Rng(seeder.next());
        f.baseSize = std::max(4.0, base * (1.0 + variation * f.rng.range(-1.0, 1.0)));
        f.heading = f.rng.range(0.0, fm::kTwoPi);
        if (s.world.hasGround()) s.beginArrival(f, f.rng.range(0.0, spread));
        s.updateView(f);
        f.view.pictureChanged = true;
    }
}

Swarm::~Swarm() = default;

void Swarm::setMonitors(std::vector<Monitor> monitors) {
    impl_->world.set(monitors);
    impl_->monitorsChanged = true;
}

void Swarm::setPointer(bool present, float x, float y) {
    Impl& s = *impl_;
    if (!std::isfinite(x) || !std::isfinite(y)) present = false;
    if (present && (!s.pointerPresent || s.pointerX != x || s.pointerY != y)) s.pointerMoved = true;
    s.pointerPresent = present;
    if (present) {
        s.pointerX = x;
        s.pointerY = y;
    }
}

void Swarm::setWindows(std::vector<WindowBox>) {}

bool Swarm::pointerNearFly() const { return false; }

bool Swarm::swat(float, float) { return false; }

std::size_t Swarm::aliveCount() const { return impl_->flies.size(); }

void Swarm::requestDeparture() {
    if (!impl_->departing) impl_->departAll();
}

int Swarm::advance(double elapsedSeconds) {
    Impl& s = *impl_;
    if (!(elapsedSeconds > 0.0)) elapsedSeconds = 0.0;  // negative or NaN
    for (Fly& f : s.flies) {
        f.keyBefore = f.view.pictureKey;
        f.view.pictureChanged = false;
    }
    std::int64_t steps = 0;
    // Time in which nothing is due is skipped in one go, however long: nothing moves, so
    // nothing can jump, and a caller that slept for restingSecondsLeft() wakes on time.
    if (s.resting()) {
        const std::int64_t idle = std::min<std::int64_t>(s.restingSteps(),
            std::int64_t(std::min(elapsedSeconds / kDt, 1e9)));
        s.now += idle;
        steps += idle;
        elapsedSeconds -= double(idle) * kDt;
    }
    s.accumulator += std::min(elapsedSeconds, kMaxAdvanceSeconds);
    // A hair of tolerance so 1/60 s reliably makes two steps of 1/120 s.
    std::int64_t taken = 0;
    while (s.accumulator >= kDt - 1e-9 && taken < kMaxAdvanceSteps) {
        s.accumulator -= kDt;
        s.step();
        ++taken;
    }
    if (s.accumulator < 0.0 || taken == kMaxAdvanceSteps) s.accumulator = std::max(0.0, std::min(s.accumulator, kDt));
    for (Fly& f : s.flies) {
        if (f.view.pictureKey != f.keyBefore || !s.reportedOnce) f.view.pictureChanged = true;
    }
    s.reportedOnce = true;
    return int(std::min<std::int64_t>(steps + taken, std::numeric_limits<int>::max()));
}

bool Swarm::done() const {
    if (!impl_->departing) return false;
    for (const Fly& f : impl_->flies) {
        if (f.mode != Mode::Gone) return false;
    }
    return true;
}

bool Swarm::allResting() const { return impl_->resting(); }

double Swarm::restingSecondsLeft() const {
    return impl_->resting() ? double(impl_->restingSteps()) * kDt : 0.0;
}

std::size_t Swarm::flyCount() const { return impl_->flies.size(); }

const FlyView& Swarm::flyView(std::size_t index) const {
    if (index >= impl_->flies.size()) throw std::out_of_range("Swarm::flyView: no such fly");
    return impl_->flies[index].view;
}

std::uint64_t Swarm::stateHash() const {
    const Impl& s = *impl_;
    std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a over 64-bit words
    auto fold = [&h](std::uint64_t w) {
        for (int i = 0; i < 8; ++i) {
            h ^= (w >> (8 * i)) & 0xff;
            h *= 0x100000001b3ull;
        }
    };
    auto fixed = [](double v) { return std::uint64_t(std::llround(v * 256.0)); };
    fold(std::uint64_t(s.now));
    fold(s.departing ? 1 : 0);
    for (const Fly& f : s.flies) {
        fold(std::uint64_t(f.mode));
        fold(fixed(f.x));
        fold(fixed(f.y));
        fold(fixed(f.heading * 256.0));
        fold(fixed(f.baseSize));
        fold(fixed(f.altitude * 256.0));
        fold(std::uint64_t(f.until));
        fold(f.rng.state);
        fold(f.view.pictureKey);
        fold(f.view.visible ? 1 : 0);
    }
    return fm::mix64(h);
}

}  // namespace gnatter
