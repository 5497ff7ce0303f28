// The frame, the wait and the handlers of what the platform reports.
#include "fly_loop.h"

#include <algorithm>

namespace gnatter {

// The desktop is read before the flies arrive, so that their first landings know the
// windows as well as the screens' edges.
FlyLoop::FlyLoop(FlyPlatform& platform, const Options& options, std::uint64_t seed)
    : platform_(platform),
      traits_(platform.traits()),
      pointer_(platform, traits_.pointerMovesReported),
      desktop_(traits_),
      swatting_(options.swat) {
    std::vector<Monitor> monitors = platform.readMonitors();
    desktop_.read(platform, platform.now());
    desktop_.takeWindowsChanged();
    swarm_ = std::make_unique<Swarm>(options, seed, std::move(monitors), desktop_.windows());
}

// Until the first rest ends (the swarm counts its timeout in), but never less than a
// frame: should the swarm still rest when the wait is over, the loop must not spin. The
// swarm makes the change that ends a rest in the step that starts when the rest is over,
// so the wait runs half a step into it: waking at the rest's very end (or a millisecond
// early, as whole-millisecond waits do) would show nothing new and need a second wake-up
// a frame later.
double FlyLoop::restWaitSeconds(double restingSecondsLeft) {
    const double wait = restingSecondsLeft + 1.5 * Swarm::kStepSeconds;
    return std::min(std::max(wait, kFrameSeconds), kLongestRestWaitSeconds);
}

void FlyLoop::run() {
    const double start = platform_.now();
    lastFrame_ = start;
    nextWorkLog_ = start;
    countShown_ = swarm_->aliveCount();
    platform_.showFlyCount(countShown_);
    pointer_.start(start);
    while (!quitting_ && !finished_) {
        if (!paused_) tick();
        if (quitting_ || finished_) break;
        platform_.waitForEvents(*this, deadline());
    }
    pointer_.stop();
    if (traits_.logsWindowWork) platform_.logWindowWork();
}

double FlyLoop::deadline() const {
    if (paused_) return kNoDeadline;
    if (wakeNow_ || monitorsChanged_) return 0.0;
    double due = std::min({nextFrame_, pointer_.nextRead(), desktop_.nextRead(), desktop_.nextRaise()});
    if (traits_.logsWindowWork) due = std::min(due, nextWorkLog_);
    return due;
}

// Called after every wake-up: reads what is due, and runs a frame when one is due or
// when something the swarm must hear changed.
void FlyLoop::tick() {
    const double now = platform_.now();
    bool run = wakeNow_ || monitorsChanged_ || isDue(now, nextFrame_);
    if (isDue(now, desktop_.nextRead())) run = desktop_.read(platform_, now) || run;

    PointerWatch::Reading reading;
    const bool pointerDue = isDue(now, pointer_.nextRead());
    if (pointerDue) {
        reading = pointer_.read(now, swatting_);
        run = run || reading.pressed || reading.moved;
    }
    if (run) frame(now, pointerDue ? &reading : nullptr);
    if (finished_) return;
    if (isDue(now, desktop_.nextRaise())) {
        platform_.raiseFlies();
        desktop_.raised(now);
    }
    if (traits_.logsWindowWork && isDue(now, nextWorkLog_)) {
        platform_.logWindowWork();
        nextWorkLog_ = now + kWindowWorkLogSeconds;
    }
}

void FlyLoop::frame(double now, const PointerWatch::Reading* reading) {
    const double elapsed = now - lastFrame_;
    lastFrame_ = now;
    wakeNow_ = false;

    if (monitorsChanged_) {
        monitorsChanged_ = false;
        swarm_->setMonitors(platform_.readMonitors());
    }
    if (desktop_.takeWindowsChanged()) swarm_->setWindows(desktop_.windows());
    // The swarm skips time in which every fly rests in one go and clamps the rest, so
    // the real elapsed time goes in as it is.
    swarm_->advance(elapsed);
    // The swarm takes a reading as of now, so it goes in right after advance().
    if (reading != nullptr) {
        const float x = static_cast<float>(reading->x), y = static_cast<float>(reading->y);
        if (reading->moved) swarm_->setPointer(reading->present, x, y);
        if (reading->pressed && reading->present) swarm_->swat(x, y);
    }

    platform_.showFlies(*swarm_, desktop_.fullScreen());
    const std::size_t alive = swarm_->aliveCount();
    if (alive != countShown_) {
        countShown_ = alive;
        platform_.showFlyCount(alive);
    }
    if (swarm_->done()) {
        finished_ = true;
        return;
    }
    nextFrame_ = now + (swarm_->allResting() ? restWaitSeconds(swarm_->restingSecondsLeft()) : kFrameSeconds);
    pointer_.plan(now, swarm_->pointerNearFly(), swatting_);
}

void FlyLoop::onPointerReport(bool primaryPressed) { pointer_.onReport(platform_.now(), primaryPressed); }

void FlyLoop::onDesktopEvent(DesktopEvent event) { desktop_.onEvent(event, platform_.now()); }

void FlyLoop::onMonitorsChanged() { monitorsChanged_ = true; }

void FlyLoop::onPaused(bool paused) {
    if (paused == paused_) return;
    paused_ = paused;
    if (paused) {
        platform_.hideFlies();
        return;
    }
    // Back again: the time away does not count, and anything may have changed.
    lastFrame_ = platform_.now();
    wakeNow_ = true;
    desktop_.markDirty();
    pointer_.forgetPosition();
}

// While paused the flies are out of sight, and the loop would not run until the user is
// back: they are gone at once.
void FlyLoop::onLeaveRequest() {
    swarm_->requestDeparture();
    wakeNow_ = true;
    if (paused_) finished_ = true;
}

void FlyLoop::setSwatting(bool on) {
    swatting_ = on;
    if (on) forgetPresses();  // presses from while it was off
}

void FlyLoop::forgetPresses() { pointer_.forgetPresses(platform_.now()); }

}  // namespace gnatter
