// A fly on the ground: it rests (mostly, and sometimes for minutes), then walks in short
// runs, turning in saccades of 15-45 degrees rather than along curves, now and then
// side-stepping or stepping back; or it grooms, hops, chases another fly or sets off on a
// long flight.
#include "fly_state.h"

namespace gnatter {
namespace {

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

void startWalk(Habitat& h, Fly& f) {
    WalkState& w = f.walk;
    f.mode = Mode::Walking;
    const double u = f.rng.unit();
    double seconds = 0.0;
    if (u < tuning::kSideStepShare + tuning::kBackStepShare) {
        const bool sideways = u < tuning::kSideStepShare;
        w.gait = sideways ? Gait::Sideways : Gait::Backward;
        if (sideways) w.side = f.rng.chance(0.5) ? 1.0 : -1.0;
        w.speed = (sideways ? tuning::kSideStepSpeed : tuning::kBackStepSpeed) * f.rng.range(0.9, 1.1);
        seconds = f.rng.range(tuning::kSideStepMin, tuning::kSideStepMax);
        w.saccadeStart = h.now + stepsFor(seconds) + 1;  // no turn during a side-step or step back
    } else {
        w.gait = Gait::Forward;
        w.speed = f.rng.range(tuning::kWalkSpeedMin, tuning::kWalkSpeedMax);
        seconds = f.rng.range(tuning::kRunMin, tuning::kRunMax);
        // Most runs begin with a turn to a new course; the rest go on the way it faces.
        const double gap = f.rng.chance(0.6) ? 0.0 : f.rng.range(tuning::kSaccadeGapMin, tuning::kSaccadeGapMax);
        scheduleSaccade(h, f, gap);
    }
    f.until = h.now + stepsFor(seconds);
}

void startPivot(Habitat& h, Fly& f) {
    f.mode = Mode::Walking;
    f.walk.gait = Gait::Pivot;
    f.walk.speed = 0.0;
    scheduleSaccade(h, f, 0.0);
    f.until = f.walk.saccadeStart + f.walk.saccadeSteps;
}

void endRun(Habitat& h, Fly& f) {
    updatePerch(h, f);
    rest(h, f, restSeconds(f));
}

}  // namespace

void rest(Habitat& h, Fly& f, double seconds) {
    f.mode = Mode::Resting;
    f.until = h.now + stepsFor(seconds);
}

double restSeconds(Fly& f) {
    if (f.rng.chance(tuning::kLongRestShare)) {
        const double lo = fm::log(tuning::kLongRestMin), hi = fm::log(tuning::kLongRestMax);
        return fm::exp(f.rng.range(lo, hi));
    }
    const double seconds = tuning::kRestMedian * fm::exp(tuning::kRestSpread * fm::normal(f.rng));
    return std::min(std::max(seconds, tuning::kShortestRest), tuning::kLongRestMin);
}

void decide(Habitat& h, Fly& f) {
    if (f.groomNext) {
        f.groomNext = false;
        startGrooming(h, f);
        return;
    }
    if (h.now >= f.chaseDueAt && startChase(h, std::size_t(&f - h.flies.data()))) {
        f.chaseDueAt = h.now + stepsFor(f.rng.range(tuning::kChaseEveryMin, tuning::kChaseEveryMax));
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

void stepWalk(Habitat& h, Fly& f) {
    WalkState& w = f.walk;
    const std::int64_t intoSaccade = h.now - w.saccadeStart;
    if (intoSaccade >= 0 && intoSaccade < w.saccadeSteps) {
        if (intoSaccade == 0) w.from = f.heading;
        const double share = double(intoSaccade + 1) / double(w.saccadeSteps);
        f.heading = fm::wrapAngle(w.from + w.by * share);
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
    const double stride = w.speed * f.drawnSize() * kDt;
    const double nx = f.x + fm::cos(direction) * stride, ny = f.y + fm::sin(direction) * stride;
    const bool turning = intoSaccade >= 0 && intoSaccade + 1 < w.saccadeSteps;
    if (!h.world.canStand(nx, ny, h.standHalf(f))) {
        // At an edge, a fine place to stop: it stands and finishes any turn first.
        if (turning) w.speed = 0.0;
        else endRun(h, f);
        return;
    }
    f.x = nx;
    f.y = ny;
    const double before = std::floor(w.legPhase);
    w.legPhase += w.speed * kDt / tuning::kLegFrameBodyLengths;
    if (std::floor(w.legPhase) != before) f.pictureDue = true;
    if (h.now + 1 >= f.until && !turning) endRun(h, f);
}

void noteLanded(Habitat& h, Fly& f) {
    f.altitude = 0.0;
    updatePerch(h, f);
    if (f.rng.chance(tuning::kGroomAfterLanding)) {
        startGrooming(h, f);
    } else {
        rest(h, f, restSeconds(f));
    }
}

void updatePerch(Habitat& h, Fly& f) {
    f.perch = h.landmarks.windowAt(f.x, f.y);
    const WindowBox* w = h.landmarks.find(f.perch);
    f.perchRect = w ? w->rect : Rect{};
    // A take-off already due because the old perch moved stays due.
}

}  // namespace gnatter
