// A fly on the ground: it rests (mostly, and sometimes for minutes), then walks in short
// runs, turning in saccades of 15-45 degrees rather than along curves, now and then
// side-stepping or stepping back; or it grooms, hops, chases another fly or sets off on a
// long flight. A run speeds up and slows down over a step or two, and its speed pulses
// with the tripod gait. Flies keep a body length apart: a walker stops short of another
// fly, and one that ends up touching another soon moves off. A fly new to the screen
// looks round first: it walks, grooms and hops to another spot between short rests.
#include "fly_state.h"

namespace gnatter {
namespace {

// Steps a fly stands after a turn before it counts as resting: a frame's worth.
constexpr std::int64_t kSettleSteps = 2;

// The sign of the next saccade: facing away from up the pane, a fly turns head-up more
// often than not.
double saccadeSign(Fly& f) {
    constexpr double kUp = 1.5 * fm::kPi;  // screen y grows downward
    const double towardUp = fm::angleDiff(kUp, f.heading);
    const bool favourUp = std::fabs(towardUp) > 0.5;
    const bool positive = favourUp ? (f.rng.chance(tuning::kHeadUpBias) == (towardUp > 0.0)) : f.rng.chance(0.5);
    return positive ? 1.0 : -1.0;
}

void scheduleSaccade(Habitat& h, Fly& f, double delaySeconds) {
    WalkState& w = f.walk;
    w.saccadeStart = h.now + (delaySeconds > 0.0 ? stepsFor(delaySeconds) : 0);
    w.saccadeSteps = stepsFor(f.rng.range(tuning::kSaccadeSecondsMin, tuning::kSaccadeSecondsMax));
    w.by = saccadeSign(f) * f.rng.range(tuning::kSaccadeMin, tuning::kSaccadeMax);
    w.from = f.heading;
}

void setRun(Habitat& h, Fly& f, double seconds) {
    WalkState& w = f.walk;
    w.runStart = h.now;
    w.rampIn = stepsFor(f.rng.range(tuning::kRampInMin, tuning::kRampInMax));
    w.rampOut = stepsFor(f.rng.range(tuning::kRampOutMin, tuning::kRampOutMax));
    w.pulse = f.rng.range(tuning::kGaitPulseMin, tuning::kGaitPulseMax);
    f.until = h.now + std::max(stepsFor(seconds), w.rampIn + w.rampOut);
}

void startGait(Habitat& h, Fly& f, Gait gait, double side) {
    WalkState& w = f.walk;
    f.mode = Mode::Walking;
    w.gait = gait;
    w.side = side;
    double seconds = 0.0;
    if (gait == Gait::Forward) {
        w.speed = f.rng.range(tuning::kWalkSpeedMin, tuning::kWalkSpeedMax);
        seconds = f.rng.range(tuning::kRunMin, tuning::kRunMax);
        // Most runs begin with a turn to a new course; the rest go on the way it faces.
        const double gap = f.rng.chance(0.6) ? 0.0 : f.rng.range(tuning::kSaccadeGapMin, tuning::kSaccadeGapMax);
        scheduleSaccade(h, f, gap);
    } else {
        w.speed = (gait == Gait::Sideways ? tuning::kSideStepSpeed : tuning::kBackStepSpeed) * f.rng.range(0.9, 1.1);
        seconds = f.rng.range(tuning::kSideStepMin, tuning::kSideStepMax);
    }
    setRun(h, f, seconds);
    // No turn during a side-step or a step back.
    if (gait != Gait::Forward) w.saccadeStart = f.until + 1;
}

void startWalk(Habitat& h, Fly& f) {
    const double u = f.rng.unit();
    if (u < tuning::kSideStepShare) {
        startGait(h, f, Gait::Sideways, f.rng.chance(0.5) ? 1.0 : -1.0);
    } else if (u < tuning::kSideStepShare + tuning::kBackStepShare) {
        startGait(h, f, Gait::Backward, 1.0);
    } else {
        startGait(h, f, Gait::Forward, 1.0);
    }
}

void startPivot(Habitat& h, Fly& f) {
    f.mode = Mode::Walking;
    f.walk.gait = Gait::Pivot;
    f.walk.speed = 0.0;
    scheduleSaccade(h, f, 0.0);
    // The fly stands a moment after the turn: it is part of the pivot, not of the rest.
    f.until = f.walk.saccadeStart + f.walk.saccadeSteps + kSettleSteps;
}

// Moves the legs on by this many body lengths of footwork.
void stepLegs(Fly& f, double bodyLengths) {
    WalkState& w = f.walk;
    const double frame = std::floor(w.legPhase);
    w.legPhase += bodyLengths / tuning::kLegFrameBodyLengths;
    if (std::floor(w.legPhase) != frame) f.pictureDue = true;
}

bool exploring(const Habitat& h, const Fly& f) { return f.exploreUntil >= 0 && h.now < f.exploreUntil; }

// The nearest other fly on the ground, and how far its centre is, in the larger body length.
const Fly* nearestNeighbour(const Habitat& h, const Fly& f, double x, double y, double& lengths) {
    const Fly* nearest = nullptr;
    lengths = 1e300;
    for (const Fly& o : h.flies) {
        if (&o == &f || !o.grounded()) continue;
        const double d = distance(x, y, o.x, o.y) / std::max(f.drawnSize(), o.drawnSize());
        if (d < lengths) {
            lengths = d;
            nearest = &o;
        }
    }
    return nearest;
}

// After landing or a run: a fly that ends up touching another moves off soon.
void checkSpace(Habitat& h, Fly& f) {
    double lengths = 0.0;
    if (nearestNeighbour(h, f, f.x, f.y, lengths) != nullptr && lengths < tuning::kTouchBodyLengths) {
        if (f.moveOnAt < 0) f.moveOnAt = h.now + stepsFor(f.rng.range(tuning::kMoveOnMin, tuning::kMoveOnMax));
    }
}

void endRun(Habitat& h, Fly& f) {
    updatePerch(h, f);
    rest(h, f, restSeconds(h, f));
    checkSpace(h, f);
}

// What a fly new to the screen does next: first what is on its agenda (a walk and a
// grooming bout in either order, then a hop to another spot), then more of the same.
void explore(Habitat& h, Fly& f) {
    const bool walk = (f.agenda & kExploreWalk) != 0, groom = (f.agenda & kExploreGroom) != 0;
    if (walk && (!groom || f.rng.chance(0.5))) {
        f.agenda &= std::uint8_t(~kExploreWalk);
        startGait(h, f, Gait::Forward, 1.0);
        return;
    }
    if (groom) {
        f.agenda &= std::uint8_t(~kExploreGroom);
        startGrooming(h, f, f.rng.range(tuning::kExploreGroomMin, tuning::kExploreGroomMax));
        return;
    }
    if ((f.agenda & kExploreHop) != 0) {
        f.agenda &= std::uint8_t(~kExploreHop);
        hop(h, f);
        return;
    }
    const double r = f.rng.unit();
    if (r < 0.4) startGait(h, f, Gait::Forward, 1.0);
    else if (r < 0.55) startPivot(h, f);
    else if (r < 0.75) startGrooming(h, f, f.rng.range(tuning::kExploreGroomMin, tuning::kExploreGroomMax));
    else hop(h, f);
}

// A rest of a fly that has settled: mostly seconds, a share of them minutes.
double settledRestSeconds(Fly& f) {
    if (f.rng.chance(tuning::kLongRestShare)) {
        const double lo = fm::log(tuning::kLongRestMin), hi = fm::log(tuning::kLongRestMax);
        return fm::exp(f.rng.range(lo, hi));
    }
    const double seconds = tuning::kRestMedian * fm::exp(tuning::kRestSpread * fm::normal(f.rng));
    return std::min(std::max(seconds, tuning::kShortestRest), tuning::kLongRestMin);
}

// The first rest after a fly has looked round: what is left of a rest of a settled fly
// caught at a random moment. Such a moment more likely falls in a long rest than a short
// one (in proportion to its length), and anywhere in it. So a fly joins the settled ones'
// rhythm at once, and a swarm that arrived together neither stays busy for minutes (long
// rests only start one by one) nor falls quiet together.
double settlingRestSeconds(Fly& f) {
    // Caught busy instead, it would rest as usual once done.
    if (!f.rng.chance(tuning::kSettledRestingShare)) return settledRestSeconds(f);
    // A rest drawn in proportion to its length: drawn as usual, kept with that odds
    // (about one in ten is kept; the bound only guards the loop).
    double seconds = settledRestSeconds(f);
    for (int tries = 0; tries < 10000 && !f.rng.chance(seconds / tuning::kLongRestMax); ++tries) {
        seconds = settledRestSeconds(f);
    }
    return std::max(tuning::kShortestRest, seconds * f.rng.unit());
}

}  // namespace

void rest(Habitat& h, Fly& f, double seconds) {
    f.mode = Mode::Resting;
    f.until = h.now + stepsFor(seconds);
}

double restSeconds(const Habitat& h, Fly& f) {
    if (exploring(h, f)) {
        // Short pauses between the first things it does, then a little longer.
        const double longest = f.agenda != 0 ? tuning::kAgendaRestMax : tuning::kExploreRestMax;
        return fm::exp(f.rng.range(fm::log(tuning::kExploreRestMin), fm::log(longest)));
    }
    if (f.exploreUntil >= 0 && !f.settled) {
        f.settled = true;
        return settlingRestSeconds(f);
    }
    return settledRestSeconds(f);
}

void decide(Habitat& h, Fly& f) {
    if (h.now >= f.chaseDueAt && startChase(h, std::size_t(&f - h.flies.data()))) {
        f.chaseDueAt = h.now + stepsFor(f.rng.range(tuning::kChaseEveryMin, tuning::kChaseEveryMax));
        return;
    }
    if (exploring(h, f)) {
        explore(h, f);
        return;
    }
    double r = f.rng.unit();
    if ((r -= tuning::kChanceLongFlight) < 0.0) {
        longFlight(h, f);
    } else if ((r -= tuning::kChanceHop) < 0.0) {
        hop(h, f);
    } else if ((r -= tuning::kChanceGroom) < 0.0) {
        startGrooming(h, f);
    } else if ((r -= tuning::kChancePivot) < 0.0) {
        startPivot(h, f);
    } else {
        startWalk(h, f);
    }
}

void moveOn(Habitat& h, Fly& f) {
    f.moveOnAt = -1;
    double lengths = 0.0;
    const Fly* other = nearestNeighbour(h, f, f.x, f.y, lengths);
    if (other == nullptr || lengths >= tuning::kTouchBodyLengths) return;
    // Right on top of the other, or by choice: a hop.
    if (lengths < 0.35 || f.rng.chance(tuning::kMoveOnByHop)) {
        hop(h, f);
        return;
    }
    // Walk off the way that leads away from it: on if it is behind, back if it is ahead,
    // else a side-step away from it; hop off when an edge or a third fly is in the way.
    const double rel = fm::angleDiff(fm::atan2(other->y - f.y, other->x - f.x), f.heading);
    Gait gait = Gait::Sideways;
    double away = f.heading + (rel > 0.0 ? -fm::kHalfPi : fm::kHalfPi);
    if (std::fabs(rel) > 1.75) {
        gait = Gait::Forward;
        away = f.heading;
    } else if (std::fabs(rel) < 0.7) {
        gait = Gait::Backward;
        away = f.heading + fm::kPi;
    }
    const double size = f.drawnSize();
    const Point step{f.x + fm::cos(away) * size, f.y + fm::sin(away) * size};
    if (!h.world.canStand(step.x, step.y, h.standHalf(f)) || crowded(h, f, step, tuning::kWalkClearance)) {
        hop(h, f);
        return;
    }
    startGait(h, f, gait, rel > 0.0 ? -1.0 : 1.0);
    // Far enough to leave a body length between them.
    const double needed = (tuning::kTouchBodyLengths + 1.0 - lengths) / (0.7 * f.walk.speed);
    if (double(f.until - h.now) * kDt < needed) setRun(h, f, needed);
}

void stepWalk(Habitat& h, Fly& f) {
    WalkState& w = f.walk;
    const std::int64_t intoSaccade = h.now - w.saccadeStart;
    if (intoSaccade >= 0 && intoSaccade < w.saccadeSteps) {
        if (intoSaccade == 0) w.from = f.heading;
        const double share = double(intoSaccade + 1) / double(w.saccadeSteps);
        f.heading = fm::wrapAngle(w.from + w.by * share);
        // Turning, the legs step as well: half a body length of footwork a radian.
        stepLegs(f, std::fabs(w.by) / double(w.saccadeSteps) * tuning::kTurnFootwork);
        // The picture turns in two jerks: halfway through and at the end.
        const std::int64_t half = w.saccadeSteps / 2;
        if (intoSaccade + 1 == half || intoSaccade + 1 == w.saccadeSteps) f.pictureDue = true;
        if (intoSaccade + 1 == w.saccadeSteps && w.gait == Gait::Forward) {
            scheduleSaccade(h, f, f.rng.range(tuning::kSaccadeGapMin, tuning::kSaccadeGapMax));
        }
    }
    if (w.gait == Gait::Pivot) {
        if (h.now + 1 >= f.until) endRun(h, f);
        return;
    }
    double direction = f.heading;
    if (w.gait == Gait::Backward) direction += fm::kPi;
    if (w.gait == Gait::Sideways) direction += w.side * fm::kHalfPi;
    // Up to speed over the first steps, down again over the last; between, the speed dips
    // as the legs change over, once a leg frame. A run that outlasts its time to finish a
    // turn stays slowed down (the easing curve would climb again past its end).
    const double in = double(h.now - w.runStart + 1) / double(w.rampIn);
    const double out = double(f.until - h.now) / double(w.rampOut);
    const double ramp = std::max(0.0, std::min(1.0, std::min(in, out)));
    const double envelope = ramp * ramp * (3.0 - 2.0 * ramp);
    const double beat = 0.5 + 0.5 * fm::cos(fm::kTwoPi * w.legPhase);
    const double speed = w.speed * std::max(0.05, envelope) * (1.0 - w.pulse * beat);
    const double stride = speed * f.drawnSize() * kDt;
    const double nx = f.x + fm::cos(direction) * stride, ny = f.y + fm::sin(direction) * stride;
    // A run ends a moment after a turn, never in the middle or at the very end of one.
    const bool turning = intoSaccade >= 0 && intoSaccade < w.saccadeSteps + kSettleSteps;
    // Another fly close by on its way: it stops short, as at an edge.
    bool blocked = false;
    double after = 0.0;
    if (nearestNeighbour(h, f, nx, ny, after) != nullptr && after < tuning::kWalkClearance) {
        double before = 0.0;
        nearestNeighbour(h, f, f.x, f.y, before);
        blocked = after < before;
    }
    if (blocked || !h.world.canStand(nx, ny, h.standHalf(f))) {
        // At an edge, a fine place to stop: it stands and finishes any turn first.
        if (turning) w.speed = 0.0;
        else endRun(h, f);
        return;
    }
    f.x = nx;
    f.y = ny;
    stepLegs(f, speed * kDt);
    if (h.now + 1 >= f.until && !turning) endRun(h, f);
}

void noteLanded(Habitat& h, Fly& f) {
    f.altitude = 0.0;
    updatePerch(h, f);
    if (!f.arrivedOnce) {
        // First time down on the screen: it looks round before it settles.
        f.arrivedOnce = true;
        f.exploreUntil = h.now + stepsFor(f.rng.range(tuning::kExploreMin, tuning::kExploreMax));
        f.agenda = kExploreWalk | kExploreGroom | kExploreHop;
    }
    if (f.rng.chance(tuning::kGroomAfterLanding)) {
        // Grooming is what flies do most right after landing, new ones as well.
        if (exploring(h, f)) f.agenda &= std::uint8_t(~kExploreGroom);
        startGrooming(h, f, exploring(h, f) ? f.rng.range(tuning::kExploreGroomMin, tuning::kExploreGroomMax) : 0.0);
    } else {
        rest(h, f, restSeconds(h, f));
    }
    checkSpace(h, f);
}

void updatePerch(Habitat& h, Fly& f) {
    f.perch = h.landmarks.windowAt(f.x, f.y);
    const WindowBox* w = h.landmarks.find(f.perch);
    f.perchRect = w ? w->rect : Rect{};
    // A take-off already due because the old perch moved stays due.
}

}  // namespace gnatter
